// Reading of raw profile-file text: when a whole section may be written at once, and what a stored
// value means as a number. Pure logic: no Windows calls.
#pragma once

#include <string>
#include <string_view>

namespace velmora::config {

// True when replacing the section through the platform's section write leaves the same file as
// writing its keys one by one: the section occurs at most once and each of its non-blank lines
// is "name=value" with a name that is not a comment. Comments, lines without "=" and repeated
// headers are kept by single-key writes but dropped by a section write. Section names match
// case-insensitively in ASCII and with surrounding blanks ignored; anything in doubt counts as
// not plain, which only costs speed. A file with a byte-order mark is never plain.
bool SectionIsPlain(std::string_view fileBytes, std::string_view section);

// A section or key name as the profile functions match it: blanks (and a line's CR) trimmed.
std::string_view TrimProfileName(std::string_view name);

// The numeric reading of a stored value: leading blanks, an optional sign and digits; anything
// else ends the number, and text without digits reads as 0. A fraction is truncated toward zero.
long ParseConfigNumber(std::wstring_view text);

// The decimal text the program stores for a number.
std::wstring ConfigNumberText(long value);

}  // namespace velmora::config
