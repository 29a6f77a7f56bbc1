// Reading and answering the message boxes the program shows, from a second thread.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace velmora::test {

struct MessageBoxSeen {
  bool found = false;
  std::wstring text;
  bool hasIcon = false;
  bool onlyOk = false;
  HWND owner = nullptr;        // the window the box is modal over
  bool ownerEnabled = false;   // whether that window still took input while the box was open
};

// Starts watching for a message box with this caption; Finish() closes it with OK and reports.
class MessageBoxWatcher {
 public:
  explicit MessageBoxWatcher(std::wstring caption);
  ~MessageBoxWatcher();
  MessageBoxWatcher(const MessageBoxWatcher&) = delete;
  MessageBoxWatcher& operator=(const MessageBoxWatcher&) = delete;
  // Waits up to `ms` for the box to have been seen and answered.
  MessageBoxSeen Finish(DWORD ms = 5000);
  // How many boxes with the caption were answered so far.
  int Count() const { return count_; }
  // Runs on the watching thread while a box is on the screen, before it is answered.
  void WhileShown(std::function<void()> check) { whileShown_ = std::move(check); }

 private:
  static DWORD WINAPI Watch(LPVOID self);
  std::wstring caption_;
  std::function<void()> whileShown_;
  MessageBoxSeen seen_;
  volatile LONG stop_ = 0;
  volatile LONG count_ = 0;
  HANDLE thread_ = nullptr;
};

}  // namespace velmora::test
