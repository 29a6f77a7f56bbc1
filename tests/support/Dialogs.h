// Reading and answering the message boxes the program shows, from a second thread.
#pragma once

#include <windows.h>

#include <string>

namespace velmora::test {

struct MessageBoxSeen {
  bool found = false;
  std::wstring text;
  bool hasIcon = false;
  bool onlyOk = false;
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

 private:
  static DWORD WINAPI Watch(LPVOID self);
  std::wstring caption_;
  MessageBoxSeen seen_;
  volatile LONG stop_ = 0;
  volatile LONG count_ = 0;
  HANDLE thread_ = nullptr;
};

}  // namespace velmora::test
