#include "app/InstanceLock.h"


#include <windows.h>

namespace velmora::app {

bool AcquireInstanceLock(const std::wstring& programDirectory, UniqueFile& held) {
  const std::wstring path = programDirectory + L"\\" + kLockFileName;
  // Made (hidden, with its zero byte) or opened in one exclusive step, so no second instance can
  // slip in between.
  held.Reset(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE, nullptr));
  DWORD error = ::GetLastError();
  if (held) {
    if (error != ERROR_ALREADY_EXISTS) {
      const char zero = 0;
      DWORD written = 0;
      ::WriteFile(held.Get(), &zero, 1, &written, nullptr);  // a failed write changes nothing here
    }
    return true;
  }
  if (error == ERROR_SHARING_VIOLATION) return false;  // another instance holds it
  // A lock file that cannot be written (read-only, copied from an archive, or in a folder the
  // user may only read) can still be held for reading; where even that fails the program starts
  // without the lock rather than never again.
  held.Reset(::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  error = ::GetLastError();
  return held.Valid() || error != ERROR_SHARING_VIOLATION;
}

}  // namespace velmora::app
