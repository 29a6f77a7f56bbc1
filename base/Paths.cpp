#include "base/Paths.h"

#include "base/Handles.h"

#include <windows.h>

#include <algorithm>
#include <exception>

namespace velmora {

std::wstring ModulePath() {
  // Long paths can exceed MAX_PATH; grow until the whole name fits.
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) {
      buffer.resize(n);
      return buffer;
    }
    buffer.resize(buffer.size() * 2);
  }
}

std::wstring ProgramDirectory() { return std::wstring(DirectoryPart(ModulePath())); }

std::wstring_view FileNamePart(std::wstring_view path) {
  const size_t slash = path.rfind(L'\\');
  return slash == std::wstring_view::npos ? path : path.substr(slash + 1);
}

std::wstring_view DirectoryPart(std::wstring_view path) {
  const size_t slash = path.rfind(L'\\');
  return slash == std::wstring_view::npos ? std::wstring_view() : path.substr(0, slash);
}

bool PathExists(const std::wstring& path) {
  return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsDirectory(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::wstring ShortPath(const std::wstring& path) {
  const DWORD needed = ::GetShortPathNameW(path.c_str(), nullptr, 0);
  if (needed == 0) return {};
  std::wstring buffer(needed, L'\0');
  const DWORD n = ::GetShortPathNameW(path.c_str(), buffer.data(), needed);
  if (n == 0 || n >= needed) return {};
  buffer.resize(n);
  return buffer;
}

bool ReadWholeFile(const std::wstring& path, std::string& bytes, size_t maxBytes) {
  bytes.clear();
  UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  LARGE_INTEGER size{};
  if (!file || !::GetFileSizeEx(file.Get(), &size) || size.QuadPart < 0 ||
      static_cast<unsigned long long>(size.QuadPart) > maxBytes)
    return false;
  try {
    bytes.resize(static_cast<size_t>(size.QuadPart));
  } catch (const std::exception&) {  // bad_alloc, or length_error past the address space
    bytes = std::string();
    return false;
  }
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD chunk = 0;
    const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, size_t{1} << 24));
    if (!::ReadFile(file.Get(), bytes.data() + done, want, &chunk, nullptr) || chunk == 0) break;
    done += chunk;
  }
  bytes.resize(done);
  return true;
}

namespace {

bool FlushToDisk(const std::wstring& path) {
  UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  return file && ::FlushFileBuffers(file.Get());
}

// `temp`, already on the disk, takes the place of `target` by one rename that replaces it, written
// through. Not ReplaceFileW: where it moves the old file aside, moves the new one in and then
// deletes the old (as Wine's does), a process ended between those steps leaves no file at all.
// The old file's attributes (hidden, archive) go over to the new one.
bool Place(const std::wstring& temp, const std::wstring& target) {
  const DWORD attributes = ::GetFileAttributesW(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
    ::SetFileAttributesW(temp.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  const bool placed =
      ::MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
  if (!placed) ::DeleteFileW(temp.c_str());
  return placed;
}

}  // namespace

bool PutInPlace(const std::wstring& temp, const std::wstring& target) {
  if (!FlushToDisk(temp)) {
    ::DeleteFileW(temp.c_str());
    return false;
  }
  return Place(temp, target);
}

bool WriteFileInPlace(const std::wstring& target, std::string_view bytes) {
  const std::wstring temp = target + L".tmp";
  {
    UniqueFile file(::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
    if (!file) return false;
    size_t done = 0;
    while (done < bytes.size()) {
      DWORD wrote = 0;
      const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, size_t{1} << 24));
      if (!::WriteFile(file.Get(), bytes.data() + done, want, &wrote, nullptr) || wrote == 0) break;
      done += wrote;
    }
    if (done != bytes.size() || !::FlushFileBuffers(file.Get())) {
      file.Reset();
      ::DeleteFileW(temp.c_str());
      return false;
    }
  }
  return Place(temp, target);
}

}  // namespace velmora
