#include "config/Encoding.h"

#include "base/Paths.h"

#include <windows.h>

namespace velmora::config {

namespace {

constexpr wchar_t kReplacement = 0xFFFD;

int DecodeStrict(const char* bytes, int length, wchar_t* out, int capacity) {
  return ::MultiByteToWideChar(kConfigCodePage, MB_ERR_INVALID_CHARS, bytes, length, out, capacity);
}

}  // namespace

std::string ToConfigText(std::wstring_view text, bool* exact) {
  if (exact) *exact = true;
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  BOOL usedDefault = FALSE;
  const int needed = ::WideCharToMultiByte(kConfigCodePage, WC_NO_BEST_FIT_CHARS, text.data(), length,
                                           nullptr, 0, "?", &usedDefault);
  std::string out(static_cast<size_t>(needed), '\0');
  usedDefault = FALSE;
  ::WideCharToMultiByte(kConfigCodePage, WC_NO_BEST_FIT_CHARS, text.data(), length, out.data(), needed, "?",
                        &usedDefault);
  if (exact) *exact = needed > 0 && !usedDefault;
  return out;
}

std::wstring FromConfigText(std::string_view bytes) {
  if (bytes.empty()) return {};
  const int length = static_cast<int>(bytes.size());
  const int needed = DecodeStrict(bytes.data(), length, nullptr, 0);
  if (needed > 0) {
    std::wstring out(static_cast<size_t>(needed), L'\0');
    DecodeStrict(bytes.data(), length, out.data(), needed);
    return out;
  }

  // Damaged text: decode character by character so only the bad bytes are lost.
  std::wstring out;
  out.reserve(bytes.size());
  size_t i = 0;
  while (i < bytes.size()) {
    const unsigned char lead = static_cast<unsigned char>(bytes[i]);
    if (lead < 0x80) {
      out.push_back(static_cast<wchar_t>(lead));
      ++i;
      continue;
    }
    wchar_t decoded[2];
    const int width = ::IsDBCSLeadByteEx(kConfigCodePage, lead) && i + 1 < bytes.size() ? 2 : 1;
    const int n = DecodeStrict(bytes.data() + i, width, decoded, 2);
    if (n == 1) {
      out.push_back(decoded[0]);
      i += static_cast<size_t>(width);
    } else {
      out.push_back(kReplacement);
      ++i;
    }
  }
  return out;
}

bool FitsConfigText(std::wstring_view text) {
  bool exact = false;
  const std::string bytes = ToConfigText(text, &exact);
  return exact && FromConfigText(bytes) == text;
}

std::wstring StorablePath(const std::wstring& path) {
  if (FitsConfigText(path)) return path;
  const std::wstring shortForm = ShortPath(path);
  return !shortForm.empty() && FitsConfigText(shortForm) ? shortForm : std::wstring();
}

}  // namespace velmora::config
