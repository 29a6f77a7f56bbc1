// The remote control's link window on a thread that pumps messages, as the program's UI thread
// does: for tests and benchmarks that run the server in their own process.
#pragma once

#include "remote/UiLink.h"

#include <windows.h>

#include <future>
#include <thread>

namespace velmora::test {

class UiThread {
 public:
  explicit UiThread(remote::RemoteActions& actions) {
    std::promise<void> ready;
    thread_ = std::thread([this, &actions, &ready] {
      remote::UiLink link(actions);
      link.Create();
      link_ = &link;
      id_ = ::GetCurrentThreadId();
      ready.set_value();
      MSG msg;
      while (::GetMessageW(&msg, nullptr, 0, 0) > 0) ::DispatchMessageW(&msg);
      link_ = nullptr;
    });
    ready.get_future().wait();
  }
  ~UiThread() {
    ::PostThreadMessageW(id_, WM_QUIT, 0, 0);
    thread_.join();
  }
  UiThread(const UiThread&) = delete;
  UiThread& operator=(const UiThread&) = delete;
  remote::UiLink& Link() { return *link_; }

 private:
  std::thread thread_;
  remote::UiLink* link_ = nullptr;
  DWORD id_ = 0;
};

}  // namespace velmora::test
