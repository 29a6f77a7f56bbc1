#include "config/ConfigStore.h"

#include "base/Handles.h"
#include "base/Paths.h"
#include "config/ConfigKeys.h"
#include "config/Encoding.h"

#include <mutex>

namespace velmora::config {

namespace {

// The file name in the process's ANSI code page: that is how the A profile functions read it.
bool ToAnsiFileName(const std::wstring& path, std::string& out) {
  BOOL usedDefault = FALSE;
  const int length = static_cast<int>(path.size());
  const int needed =
      ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, path.data(), length, nullptr, 0, nullptr, &usedDefault);
  if (needed <= 0 || usedDefault) return false;
  out.assign(static_cast<size_t>(needed), '\0');
  ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, path.data(), length, out.data(), needed, nullptr,
                        &usedDefault);
  return !usedDefault;
}

bool ProfileHasSections(const std::string& path) {
  char names[4] = {};
  return !path.empty() && ::GetPrivateProfileSectionNamesA(names, sizeof(names), path.c_str()) > 0;
}

// No configuration file comes near this; one that does is not ours to copy around.
constexpr size_t kMaxFileBytes = size_t{64} << 20;

// One write at a time goes through the temporary copy.
std::mutex& WriteMutex() {
  static std::mutex mutex;
  return mutex;
}

// The whole file or nothing: a read cut short must never be written back as the file.
bool ReadAll(const std::wstring& path, std::string& bytes) {
  WIN32_FILE_ATTRIBUTE_DATA before;
  if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &before)) return false;
  const uint64_t size = (uint64_t{before.nFileSizeHigh} << 32) | before.nFileSizeLow;
  if (!ReadWholeFile(path, bytes, kMaxFileBytes)) return false;
  if (bytes.size() == size) return true;
  ::SetLastError(ERROR_READ_FAULT);
  return false;
}

// `from`'s bytes as the whole new content of `to`, in one step; false when `from` cannot be read.
bool CopyInPlace(const std::wstring& from, const std::wstring& to) {
  std::string bytes;
  return ReadAll(from, bytes) && WriteFileInPlace(to, bytes);
}

}  // namespace

ConfigStore::ConfigStore(std::wstring programDirectory) : programDirectory_(std::move(programDirectory)) {}

std::wstring ConfigStore::ConfigFilePath() const { return programDirectory_ + L"\\" + kConfigFileName; }

std::string ConfigStore::ProfilePath() const {
  std::string ansi;
  if (ToAnsiFileName(ConfigFilePath(), ansi)) return ansi;
  // A folder name outside the ANSI code page: its 8.3 name is plain ASCII.
  const std::wstring shortDirectory = ShortPath(programDirectory_);
  if (!shortDirectory.empty() && ToAnsiFileName(shortDirectory + L"\\" + kConfigFileName, ansi)) return ansi;
  return {};
}

std::optional<std::wstring> ConfigStore::ReadOptional(std::wstring_view section, std::wstring_view key) const {
  // The profile functions tell a missing key only by handing out the default: one no stored
  // value can hold (a control character the file cannot carry as a value) marks it.
  static constexpr wchar_t kMissing[] = L"\x01\x02";
  std::wstring value = ReadValue(section, key, kMissing);
  if (value == kMissing) return std::nullopt;
  return value;
}

std::wstring ConfigStore::ReadValue(std::wstring_view section, std::wstring_view key,
                                    std::wstring_view defaultValue) const {
  const std::string path = ProfilePath();
  if (path.empty()) return std::wstring(defaultValue);
  const std::string sectionBytes = ToConfigText(section);
  const std::string keyBytes = ToConfigText(key);
  const std::string defaultBytes = ToConfigText(defaultValue);
  std::string buffer(kReadBufferBytes, '\0');
  const DWORD n = ::GetPrivateProfileStringA(sectionBytes.c_str(), keyBytes.c_str(), defaultBytes.c_str(),
                                             buffer.data(), kReadBufferBytes, path.c_str());
  buffer.resize(n);
  // Some profile implementations count a terminator into a cut-off result: a value never
  // holds a zero byte, so it ends at the first one.
  const size_t zero = buffer.find('\0');
  if (zero != std::string::npos) buffer.resize(zero);
  // A value cut off by the buffer may end in half a character; drop that half rather than
  // turn it into a replacement mark.
  if (n + 2 >= kReadBufferBytes) {
    size_t i = 0;
    while (i < buffer.size()) {
      const bool lead = ::IsDBCSLeadByteEx(kConfigCodePage, static_cast<BYTE>(buffer[i]));
      if (lead && i + 1 == buffer.size()) {
        buffer.pop_back();
        break;
      }
      i += lead ? 2 : 1;
    }
  }
  return FromConfigText(buffer);
}

bool ConfigStore::WriteThroughCopy(const std::function<bool(const char* profilePath)>& write) const {
  const std::string path = ProfilePath();
  if (path.empty()) return false;
  std::lock_guard<std::mutex> lock(WriteMutex());
  const std::wstring file = ConfigFilePath();
  const std::wstring temp = file + L".tmp";
  const std::string tempPath = path + ".tmp";
  std::string bytes;
  if (ReadAll(file, bytes)) {
    UniqueFile copy(::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
    DWORD wrote = 0;
    if (!copy || bytes.size() > MAXDWORD ||
        !::WriteFile(copy.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr) ||
        wrote != bytes.size()) {
      copy.Reset();
      ::DeleteFileW(temp.c_str());
      return false;
    }
  } else {
    const DWORD error = ::GetLastError();
    // Held by another program, or unreadable: the write fails as the profile function's would.
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) return false;
    ::DeleteFileW(temp.c_str());  // no file yet: the profile function makes the first one
  }
  if (!write(tempPath.c_str())) {
    ::DeleteFileW(temp.c_str());
    return false;
  }
  return PutInPlace(temp, file);
}

bool ConfigStore::WriteValue(std::wstring_view section, std::wstring_view key, std::wstring_view value) const {
  const std::string sectionBytes = ToConfigText(section);
  const std::string keyBytes = ToConfigText(key);
  const std::string valueBytes = ToConfigText(value);
  return WriteThroughCopy([&](const char* profilePath) {
    return ::WritePrivateProfileStringA(sectionBytes.c_str(), keyBytes.c_str(), valueBytes.c_str(), profilePath) !=
           FALSE;
  });
}

std::vector<std::string> ConfigStore::ReadSectionLines(std::wstring_view section) const {
  std::vector<std::string> lines;
  const std::string path = ProfilePath();
  if (path.empty()) return lines;
  const std::string sectionBytes = ToConfigText(section);
  // The function says "too small" by returning size - 2; grow until the section fits.
  std::string buffer(64 * 1024, '\0');
  DWORD n = 0;
  for (;;) {
    const DWORD size = static_cast<DWORD>(buffer.size());
    n = ::GetPrivateProfileSectionA(sectionBytes.c_str(), buffer.data(), size, path.c_str());
    if (n + 2 < size) break;
    buffer.assign(buffer.size() * 4, '\0');
  }
  size_t start = 0;
  while (start < n) {
    const size_t end = buffer.find('\0', start);
    if (end == std::string::npos || end == start) break;
    lines.emplace_back(buffer, start, end - start);
    start = end + 1;
  }
  return lines;
}

bool ConfigStore::WriteSectionLines(std::wstring_view section, const std::vector<std::string>& lines) const {
  size_t total = 1;
  for (const std::string& line : lines) total += line.size() + 1;
  std::string block;
  block.reserve(total);
  for (const std::string& line : lines) {
    block += line;
    block.push_back('\0');
  }
  block.push_back('\0');
  const std::string sectionBytes = ToConfigText(section);
  return WriteThroughCopy([&](const char* profilePath) {
    return ::WritePrivateProfileSectionA(sectionBytes.c_str(), block.data(), profilePath) != FALSE;
  });
}

std::wstring ReadUserRegistryText(std::wstring_view subkey) {
  const std::wstring key(subkey);
  DWORD bytes = 0;
  // Without RRF_NOEXPAND a REG_EXPAND_SZ value is expanded and reported as REG_SZ.
  constexpr DWORD kTypes = RRF_RT_REG_SZ;
  if (::RegGetValueW(HKEY_CURRENT_USER, key.c_str(), nullptr, kTypes, nullptr, nullptr, &bytes) != ERROR_SUCCESS)
    return {};
  for (int attempt = 0; attempt < 4; ++attempt) {
    std::wstring value(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    const LSTATUS status =
        ::RegGetValueW(HKEY_CURRENT_USER, key.c_str(), nullptr, kTypes, nullptr, value.data(), &bytes);
    if (status == ERROR_SUCCESS) {
      value.resize(bytes / sizeof(wchar_t));
      while (!value.empty() && value.back() == L'\0') value.pop_back();
      return value;
    }
    if (status != ERROR_MORE_DATA) return {};
  }
  return {};
}

bool WriteUserRegistryText(std::wstring_view subkey, std::wstring_view value) {
  const std::wstring key(subkey);
  HKEY raw = nullptr;
  if (::RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &raw, nullptr) !=
      ERROR_SUCCESS)
    return false;
  UniqueRegKey opened(raw);
  const std::wstring text(value);
  const DWORD bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
  return ::RegSetValueExW(opened.Get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), bytes) ==
         ERROR_SUCCESS;
}

bool ConfigStore::HasSections() const { return ProfileHasSections(ProfilePath()); }

void ConfigStore::SafeguardFile() const {
  const std::string path = ProfilePath();
  if (path.empty()) return;
  std::lock_guard<std::mutex> lock(WriteMutex());
  const std::wstring file = ConfigFilePath();
  const std::wstring copies[] = {file + L".bak", file + L".bak2"};  // newest first
  const std::string copyPaths[] = {path + ".bak", path + ".bak2"};
  if (ProfileHasSections(path)) {
    // A copy moves down a generation only when it is worth keeping, so a start on a damaged
    // file that still has a section leaves the copy before it.
    if (ProfileHasSections(copyPaths[0])) CopyInPlace(copies[0], copies[1]);
    CopyInPlace(file, copies[0]);
    return;
  }
  if (!PathExists(file)) return;  // the first start: nothing to keep yet
  for (size_t i = 0; i < 2; ++i) {
    if (ProfileHasSections(copyPaths[i]) && CopyInPlace(copies[i], file)) {
      // The profile functions may still hold the damaged file: let them read it again.
      ::WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());
      return;
    }
  }
}

}  // namespace velmora::config
