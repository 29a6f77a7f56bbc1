// zuboinf.ini next to the executable, read and written through the platform's ANSI profile
// functions so that files written by earlier versions keep working byte for byte. Nothing is
// cached: every read goes to the file, every write reaches it at once - through a copy beside it
// that the profile function writes and that then replaces the file in one step, so a crash or a
// power cut in the middle of a write leaves the old file or the new one, never a part.
#pragma once

#include "config/ProfileText.h"

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::config {

// Every value is read into a buffer of this many bytes, the terminating zero included.
inline constexpr DWORD kReadBufferBytes = 10240;

class ConfigStore {
 public:
  // `programDirectory` has no trailing backslash.
  explicit ConfigStore(std::wstring programDirectory);

  const std::wstring& ProgramDirectory() const { return programDirectory_; }
  std::wstring ConfigFilePath() const;

  // The stored text, or `defaultValue` when the file, section or key is missing.
  std::wstring ReadValue(std::wstring_view section, std::wstring_view key,
                         std::wstring_view defaultValue = {}) const;

  // The stored text, or nothing when the file, section or key is missing (an empty value is
  // stored text).
  std::optional<std::wstring> ReadOptional(std::wstring_view section, std::wstring_view key) const;

  // Stores the text, creating file, section and key as needed. Callers ignore the result on
  // purpose: a read-only folder simply keeps the old file.
  bool WriteValue(std::wstring_view section, std::wstring_view key, std::wstring_view value) const;

  // The section's lines as the profile functions hand them out, still GBK bytes, so that keys
  // the program does not touch are written back exactly as they were.
  std::vector<std::string> ReadSectionLines(std::wstring_view section) const;

  // Replaces the section's lines in one write of the file.
  bool WriteSectionLines(std::wstring_view section, const std::vector<std::string>& lines) const;

  // Whether the file has at least one section.
  bool HasSections() const;

  // Keeps two generations of copies beside the file, zuboinf.ini.bak and the older
  // zuboinf.ini.bak2, at start-up before anything is read: a file with sections is copied to
  // .bak, the copy there moving to .bak2 first when it has sections itself; a file that exists
  // but has no section left is replaced by the newest copy that has one. Every step ignores
  // failures, as every write to the configuration does.
  void SafeguardFile() const;

 private:
  // The file name as the ANSI profile functions take it (in the process's code page; the
  // volume's short name when the folder's name cannot be written in it).
  std::string ProfilePath() const;
  // Runs a profile function's write on a copy of the file (`profilePath` names the copy), then
  // puts the copy in the file's place. False, the file untouched, when any step fails.
  bool WriteThroughCopy(const std::function<bool(const char* profilePath)>& write) const;

  std::wstring programDirectory_;
};

// The default value of a HKEY_CURRENT_USER key as text: "" when the key or value is missing,
// REG_EXPAND_SZ comes back expanded.
std::wstring ReadUserRegistryText(std::wstring_view subkey);

// Writes the key's default value as REG_SZ, creating the key when needed.
bool WriteUserRegistryText(std::wstring_view subkey, std::wstring_view value);

}  // namespace velmora::config
