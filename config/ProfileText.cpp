#include "config/ProfileText.h"

namespace velmora::config {

namespace {

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
}

}  // namespace

long ParseConfigNumber(std::wstring_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == L' ' || text[i] == L'\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) {
    negative = text[i] == L'-';
    ++i;
  }
  // Windows' LONG_MAX and LONG_MIN, also where long is wider (the native tests).
  const long long limit = negative ? 2147483648LL : 2147483647LL;
  long long value = 0;
  for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
    value = value * 10 + (text[i] - L'0');
    if (value > limit) value = limit;  // saturate: "99999999999" is simply "very large"
  }
  return static_cast<long>(negative ? -value : value);
}

std::wstring ConfigNumberText(long value) { return std::to_wstring(value); }

std::string_view TrimProfileName(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

bool SectionIsPlain(std::string_view fileBytes, std::string_view section) {
  if (fileBytes.size() >= 2) {
    const unsigned char b0 = static_cast<unsigned char>(fileBytes[0]);
    const unsigned char b1 = static_cast<unsigned char>(fileBytes[1]);
    if ((b0 == 0xFF && b1 == 0xFE) || (b0 == 0xFE && b1 == 0xFF) || (b0 == 0xEF && b1 == 0xBB)) return false;
  }
  const std::string_view wanted = TrimProfileName(section);
  bool inside = false;
  int occurrences = 0;
  size_t start = 0;
  while (start <= fileBytes.size()) {
    size_t end = fileBytes.find('\n', start);
    if (end == std::string_view::npos) end = fileBytes.size();
    const std::string_view line = TrimProfileName(fileBytes.substr(start, end - start));
    start = end + 1;

    if (!line.empty() && line.front() == '[') {
      const size_t close = line.rfind(']');
      if (close == std::string_view::npos) {
        if (inside) return false;  // a broken header inside our section
        continue;
      }
      inside = SameName(TrimProfileName(line.substr(1, close - 1)), wanted);
      if (inside && ++occurrences > 1) return false;
      continue;
    }
    if (!inside || line.empty()) continue;
    if (line.front() == ';' || line.front() == '#') return false;
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos || TrimProfileName(line.substr(0, equals)).empty()) return false;
  }
  return true;
}

}  // namespace velmora::config
