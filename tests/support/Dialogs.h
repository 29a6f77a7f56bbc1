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
  bool yesNo = false;         // Yes and No, and no other button
  HWND owner = nullptr;       // the window the box is modal over
  bool ownerEnabled = false;  // whether that window still took input while the box was open
};

// A visible dialog window (class #32770) of this process, with this caption when one is given;
// nullptr when there is none.
HWND FindOwnDialog(const wchar_t* caption = nullptr);

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
  // The button boxes are answered with from now on (IDOK unless told).
  void AnswerWith(int command) { answer_ = command; }

 private:
  static DWORD WINAPI Watch(LPVOID self);
  std::wstring caption_;
  std::function<void()> whileShown_;
  volatile LONG answer_ = IDOK;
  MessageBoxSeen seen_;
  volatile LONG stop_ = 0;
  volatile LONG count_ = 0;
  HANDLE thread_ = nullptr;
};

}  // namespace velmora::test
