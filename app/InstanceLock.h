// At most one instance per program folder: the file "zubo" there, one zero byte, hidden, held
// open with exclusive sharing for as long as the instance runs.
#pragma once

#include "base/Handles.h"

#include <string>

namespace velmora::app {

inline constexpr wchar_t kLockFileName[] = L"zubo";

// Takes the lock; false only when another instance holds it (the open fails with a sharing
// violation). A lock file left behind by an instance that has ended is simply opened again; one
// that cannot be opened at all for any other reason lets the program start without the lock.
bool AcquireInstanceLock(const std::wstring& programDirectory, UniqueFile& held);

}  // namespace velmora::app
