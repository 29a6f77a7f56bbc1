#include "remote/UiLink.h"

namespace velmora::remote {

namespace {

constexpr UINT kJobMessage = WM_APP + 0x52;
constexpr UINT_PTR kEndTimer = 1;

}  // namespace

bool UiLink::Create() {
  if (Hwnd()) return true;
  if (!RegisterClassOnce(kClassName, nullptr, 0)) return false;
  if (!Window::Create(kClassName, L"", 0, 0, 0, 0, 0, 0, HWND_MESSAGE)) return false;
  window_.store(Hwnd());
  return true;
}

bool UiLink::Post(std::unique_ptr<UiJob> job) {
  const HWND window = window_.load();
  if (!window || !::PostMessageW(window, kJobMessage, 0, reinterpret_cast<LPARAM>(job.get()))) return false;
  job.release();  // the window owns it now
  return true;
}

void UiLink::WatchForEnd() {
  if (Hwnd()) ::SetTimer(Hwnd(), kEndTimer, kEndCheckMs, nullptr);
}

void UiLink::StopWatching() {
  if (Hwnd()) ::KillTimer(Hwnd(), kEndTimer);
}

LRESULT UiLink::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  if (message == WM_TIMER && wParam == kEndTimer) {
    try {
      const BoardState state = actions_.State();
      if (state.playing) return 0;
      StopWatching();
      if (ended_) ended_(state);
    } catch (...) {  // no memory for the event: the clients learn of it with the next one
      StopWatching();
    }
    return 0;
  }
  if (message != kJobMessage) return Window::HandleMessage(message, wParam, lParam);
  std::unique_ptr<UiJob> job(reinterpret_cast<UiJob*>(lParam));
  if (!job->Wanted()) return 0;
  // A window procedure must not throw: whatever fails (no memory for the answer) fails this
  // one request.
  try {
    job->Finish(Execute(job->GetCommand(), actions_));
  } catch (...) {
    try {
      job->Finish(ErrorAnswer(500, "internal", texts::kBusy));
    } catch (...) {  // nothing is left to tell the client with; the connection times out
    }
  }
  return 0;
}

}  // namespace velmora::remote
