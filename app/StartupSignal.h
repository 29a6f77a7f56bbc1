// The moment start-up has finished (the lock taken, folders made, an automatic rebuild done, the
// board shown or hidden): whoever started the program and wants to act on it then — a launcher,
// our own tests — creates this manual-reset event before the process runs and waits on it,
// instead of guessing how long start-up takes.
#pragma once

#include "base/Handles.h"

#include <windows.h>

#include <string>

namespace velmora::app {

inline std::wstring StartupEventName(DWORD processId) {
  return L"Local\\Velmora.StartupDone." + std::to_wstring(processId);
}

// Sets the event when somebody created it; nobody waiting costs nothing.
inline void SignalStartupDone() {
  const UniqueKernelHandle done(::OpenEventW(EVENT_MODIFY_STATE, FALSE, StartupEventName(::GetCurrentProcessId()).c_str()));
  if (done) ::SetEvent(done.Get());
}

}  // namespace velmora::app
