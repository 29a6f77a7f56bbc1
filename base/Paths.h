// Small file-system helpers on UTF-16 paths.
#pragma once

#include <string>
#include <string_view>

namespace velmora {

// Full path of the running executable.
std::wstring ModulePath();

// Directory of the running executable, without a trailing backslash.
std::wstring ProgramDirectory();

// Everything after the last backslash (the whole text when there is none).
std::wstring_view FileNamePart(std::wstring_view path);

// Everything before the last backslash (empty when there is none).
std::wstring_view DirectoryPart(std::wstring_view path);

// True when anything (file or directory) exists at the path.
bool PathExists(const std::wstring& path);

bool IsDirectory(const std::wstring& path);

// The volume's short (8.3) form of an existing path, or empty when there is none.
std::wstring ShortPath(const std::wstring& path);

// Reads a whole file (shared with writers, in pieces). False when it cannot be opened, is
// larger than `maxBytes`, or memory for it cannot be had; `bytes` then holds nothing. A read
// that stops early keeps what was read.
bool ReadWholeFile(const std::wstring& path, std::string& bytes, size_t maxBytes);

// Puts the finished file `temp` in the place of `target` in one step, so that whoever stops us
// at any moment leaves the old file or the new one, never a part: `temp` is flushed to the disk
// first, then renamed over `target` (keeping its attributes), or to it where there is none yet.
// False (and `temp` deleted) when it cannot; `target` is then as it was.
bool PutInPlace(const std::wstring& temp, const std::wstring& target);

// `bytes` as the whole new content of `target`, through a temporary file beside it and PutInPlace.
bool WriteFileInPlace(const std::wstring& target, std::string_view bytes);

}  // namespace velmora
