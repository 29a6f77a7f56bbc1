#include "tests/support/Waiting.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

namespace velmora::test {

namespace {

void DispatchWaiting() {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

// Waits up to `ms` for a message to arrive for this thread (or simply for `ms` when `pump` is
// false), so a poll costs no processor time while nothing happens.
void Nap(DWORD ms, bool pump) {
  if (pump) {
    ::MsgWaitForMultipleObjectsEx(0, nullptr, ms, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  } else {
    ::Sleep(ms);
  }
}

bool Poll(const std::function<bool()>& condition, DWORD timeoutMs, bool pump) {
  const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
  for (;;) {
    if (pump) DispatchWaiting();
    if (condition()) return true;
    if (::GetTickCount64() >= deadline) break;
    Nap(10, pump);
  }
  if (pump) DispatchWaiting();
  const bool held = condition();
  // VELMORA_TRACE_WAITS=1 names every wait that ran out: in a passing test that is time lost, or
  // a check of something that must not happen.
  if (!held && std::getenv("VELMORA_TRACE_WAITS")) {
    std::fprintf(stderr, "wait of %lu ms ran out in %s\n", static_cast<unsigned long>(timeoutMs),
                 ::testing::UnitTest::GetInstance()->current_test_info()
                     ? ::testing::UnitTest::GetInstance()->current_test_info()->name()
                     : "?");
  }
  return held;
}

}  // namespace

bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs) { return Poll(condition, timeoutMs, false); }

bool PumpUntil(const std::function<bool()>& condition, DWORD timeoutMs) { return Poll(condition, timeoutMs, true); }

void PumpMessages() { DispatchWaiting(); }

void PumpFor(DWORD ms) {
  const ULONGLONG until = ::GetTickCount64() + ms;
  do {
    DispatchWaiting();
    Nap(5, true);
  } while (::GetTickCount64() < until);
}

}  // namespace velmora::test
