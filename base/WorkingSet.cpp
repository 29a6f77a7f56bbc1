#include "base/WorkingSet.h"

#include <windows.h>
#include <shlwapi.h>

namespace velmora {

namespace {

DWORD WINAPI TrimWorkingSet(void*) {
  // The next use faults the needed pages back in.
  ::SetProcessWorkingSetSize(::GetCurrentProcess(), static_cast<SIZE_T>(-1), static_cast<SIZE_T>(-1));
  return 0;
}

}  // namespace

void StartWorkingSetTrim() { ::SHCreateThread(TrimWorkingSet, nullptr, 0, nullptr); }

}  // namespace velmora
