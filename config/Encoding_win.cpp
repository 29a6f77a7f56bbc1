#include "config/Encoding.h"

#include "base/Paths.h"

#include <windows.h>

namespace velmora::config {

namespace {

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
  return DecodeByCharacter(bytes, [](std::string_view character, wchar_t& decoded) {
    wchar_t units[2];
    if (DecodeStrict(character.data(), static_cast<int>(character.size()), units, 2) != 1) return false;
    decoded = units[0];
    return true;
  });
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
