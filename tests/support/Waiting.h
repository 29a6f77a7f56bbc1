// Waiting for a condition with a deadline, never for a fixed time: a test goes on the moment what
// it waits for has happened, and fails when it does not happen in time.
#pragma once

#include <windows.h>

#include <functional>

namespace velmora::test {

// Checks `condition` until it holds or `timeoutMs` have passed (another process or thread makes
// it true); the result of a last check.
bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs = 10000);

// The same for what this thread's own windows do: their messages are dispatched meanwhile.
bool PumpUntil(const std::function<bool()>& condition, DWORD timeoutMs = 5000);

// Dispatches this thread's messages until none is waiting (paints included): everything the
// windows of this thread were asked to do so far is done.
void PumpMessages();

// Dispatches this thread's messages for `ms`: for a test that must see that something does NOT
// happen (a timer that must not fire, a window that must stay), where no condition can end it.
void PumpFor(DWORD ms);

}  // namespace velmora::test
