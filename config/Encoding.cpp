#include "config/Encoding.h"

namespace velmora::config {

bool IsGbkLeadByte(unsigned char byte) { return byte >= 0x81 && byte <= 0xFE; }

std::wstring DecodeByCharacter(std::string_view bytes, CharacterDecoder decodeOne) {
  constexpr wchar_t kReplacement = 0xFFFD;
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
    const size_t width = IsGbkLeadByte(lead) && i + 1 < bytes.size() ? 2 : 1;
    wchar_t decoded = 0;
    if (decodeOne(bytes.substr(i, width), decoded)) {
      out.push_back(decoded);
      i += width;
    } else {
      out.push_back(kReplacement);
      ++i;
    }
  }
  return out;
}

}  // namespace velmora::config
