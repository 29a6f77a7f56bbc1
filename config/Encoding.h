// The one place where text crosses code page 936: everything inside the program is UTF-16,
// the configuration file is GBK bytes. The conversion is explicit, never through the process's
// ANSI code page, which differs from one machine to the next.
#pragma once

#include <string>
#include <string_view>

namespace velmora::config {

inline constexpr unsigned kConfigCodePage = 936;

// UTF-16 to GBK. A character GBK cannot hold becomes '?'; `exact` (when given) tells whether
// every character survived, so callers can refuse to store a path that would no longer open.
std::string ToConfigText(std::wstring_view text, bool* exact = nullptr);

// GBK to UTF-16. A byte that does not start a valid GBK character becomes U+FFFD and decoding
// goes on with the next byte, so one damaged character never swallows the rest of a value.
std::wstring FromConfigText(std::string_view bytes);

// True when the text survives the trip to GBK and back unchanged.
bool FitsConfigText(std::wstring_view text);

// A file's path as the configuration can hold it so that it always opens: the path itself when
// GBK can hold it, otherwise its short 8.3 form; empty when neither (a volume without short
// names), and the file is better left out than stored as a path that names nothing.
std::wstring StorablePath(const std::wstring& path);

// FromConfigText's walk through damaged text, which needs no code page (Encoding.cpp, pure): GBK's
// byte structure tells where a character may start. A byte from 0x81 to 0xFE leads two bytes.
bool IsGbkLeadByte(unsigned char byte);
// Decodes one whole character's bytes to its UTF-16 unit; false when they are none.
using CharacterDecoder = bool (*)(std::string_view character, wchar_t& decoded);
// ASCII passes as it is; any other character (a lead byte and the byte behind it, or one byte)
// goes through `decodeOne`, and a byte that starts none becomes U+FFFD, decoding going on with the
// next byte.
std::wstring DecodeByCharacter(std::string_view bytes, CharacterDecoder decodeOne);

}  // namespace velmora::config
