#include "remote/UiLink.h"

namespace velmora::remote {

namespace {

constexpr UINT kJobMessage = WM_APP + 0x52;

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

LRESULT UiLink::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept {
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
