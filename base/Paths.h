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

}  // namespace velmora
