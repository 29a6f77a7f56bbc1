#include "tests/support/Dialogs.h"

#include "tests/support/Waiting.h"

namespace velmora::test {

namespace {

BOOL CALLBACK ReadChild(HWND child, LPARAM param) {
  auto* seen = reinterpret_cast<MessageBoxSeen*>(param);
  wchar_t className[64] = {};
  ::GetClassNameW(child, className, 64);
  if (std::wstring(className) == L"Static") {
    if ((::GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
      seen->hasIcon = seen->hasIcon || (::SendMessageW(child, STM_GETICON, 0, 0) != 0 && ::IsWindowVisible(child));
    } else {
      wchar_t text[512] = {};
      ::GetWindowTextW(child, text, 512);
      if (text[0] != 0) seen->text = text;
    }
  }
  return TRUE;
}

}  // namespace

HWND FindOwnDialog(const wchar_t* caption) {
  HWND dialog = nullptr;
  while ((dialog = ::FindWindowExW(nullptr, dialog, L"#32770", caption)) != nullptr) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(dialog, &pid);
    if (pid == ::GetCurrentProcessId() && ::IsWindowVisible(dialog)) return dialog;
  }
  return nullptr;
}

MessageBoxWatcher::MessageBoxWatcher(std::wstring caption) : caption_(std::move(caption)) {
  thread_ = ::CreateThread(nullptr, 0, Watch, this, 0, nullptr);
}

MessageBoxWatcher::~MessageBoxWatcher() {
  ::InterlockedExchange(&stop_, 1);
  ::WaitForSingleObject(thread_, 5000);
  ::CloseHandle(thread_);
}

DWORD WINAPI MessageBoxWatcher::Watch(LPVOID param) {
  auto* self = static_cast<MessageBoxWatcher*>(param);
  for (;;) {
    HWND box = nullptr;
    WaitFor([&] {
      box = ::FindWindowW(L"#32770", self->caption_.c_str());
      if (box && !::IsWindowVisible(box)) box = nullptr;
      return box || self->stop_;
    }, INFINITE);
    if (self->stop_) break;
    {
      MessageBoxSeen seen;
      seen.found = true;
      // A box just made visible may not have its text yet on a busy machine: read it again for a
      // moment before taking it as empty.
      WaitFor([&] {
        seen.hasIcon = false;
        ::EnumChildWindows(box, ReadChild, reinterpret_cast<LPARAM>(&seen));
        return !seen.text.empty();
      }, 500);
      seen.onlyOk = ::GetDlgItem(box, IDOK) != nullptr && ::GetDlgItem(box, IDCANCEL) == nullptr &&
                    ::GetDlgItem(box, IDYES) == nullptr;
      seen.yesNo = ::GetDlgItem(box, IDYES) != nullptr && ::GetDlgItem(box, IDNO) != nullptr &&
                   ::GetDlgItem(box, IDOK) == nullptr && ::GetDlgItem(box, IDCANCEL) == nullptr;
      seen.owner = ::GetWindow(box, GW_OWNER);
      seen.ownerEnabled = seen.owner && ::IsWindowEnabled(seen.owner);
      if (self->whileShown_) self->whileShown_();
      self->seen_ = seen;
      ::InterlockedIncrement(&self->count_);
      ::SendMessageW(box, WM_COMMAND, static_cast<WPARAM>(self->answer_), 0);
      WaitFor([box] { return !::IsWindowVisible(box); }, 2000);  // the same box is not answered twice
    }
  }
  return 0;
}

MessageBoxSeen MessageBoxWatcher::Finish(DWORD ms) {
  WaitFor([this] { return count_ != 0; }, ms);
  return seen_;
}

}  // namespace velmora::test
