#include "app/InstanceLock.h"

#include "base/Paths.h"

#include <windows.h>

namespace velmora::app {

bool AcquireInstanceLock(const std::wstring& programDirectory, UniqueFile& held) {
  const std::wstring path = programDirectory + L"\\" + kLockFileName;
  if (PathExists(path)) {
    held.Reset(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    return held.Valid();
  }
  {
    UniqueFile created(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                     nullptr));
    if (created) {
      const char zero = 0;
      DWORD written = 0;
      ::WriteFile(created.Get(), &zero, 1, &written, nullptr);
    }
  }
  ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE);
  // As written down for this step, the outcome of this open is not examined: a folder where the
  // file cannot be made still runs.
  held.Reset(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr));
  return true;
}

}  // namespace velmora::app
