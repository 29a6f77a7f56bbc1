// Reading of raw profile-file text, for deciding when a whole section may be written at once.
// Pure byte logic: no Windows calls.
#pragma once

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

}  // namespace velmora::config
