#include "remote/Utf8.h"

namespace velmora::remote {

namespace {

void Append(std::string& out, char32_t c) {
  const auto put = [&out](char32_t byte) { out.push_back(static_cast<char>(byte)); };
  if (c < 0x80) {
    put(c);
    return;
  }
  if (c < 0x800) {
    put(0xC0 | (c >> 6));
  } else if (c < 0x10000) {
    put(0xE0 | (c >> 12));
    put(0x80 | ((c >> 6) & 0x3F));
  } else {
    put(0xF0 | (c >> 18));
    put(0x80 | ((c >> 12) & 0x3F));
    put(0x80 | ((c >> 6) & 0x3F));
  }
  put(0x80 | (c & 0x3F));
}

bool IsHighSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

// By hand rather than through WideCharToMultiByte (which gives the same bytes), so the JSON the
// remote control sends is built and tested natively too. A wchar_t wider than 16 bits (the
// native tests) holds whole code points, and the same loop reads it.
std::string ToUtf8(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = static_cast<char32_t>(text[i]);
    const char32_t next = i + 1 < text.size() ? static_cast<char32_t>(text[i + 1]) : 0;
    if (IsHighSurrogate(c) && IsLowSurrogate(next)) {
      c = 0x10000 + ((c - 0xD800) << 10) + (next - 0xDC00);
      ++i;
    } else if (IsHighSurrogate(c) || IsLowSurrogate(c) || c > 0x10FFFF) {
      c = 0xFFFD;
    }
    Append(out, c);
  }
  return out;
}

}  // namespace velmora::remote
