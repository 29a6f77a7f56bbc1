// A copy of the built program in a folder of its own, started as a real process.
#pragma once

#include "base/Handles.h"
#include "tests/support/TempProgramDir.h"

#include <windows.h>

#include <string>

namespace velmora::test {

// The built velmora.exe, next to the tests' build folder.
std::wstring BuiltProgramPath();

class ProgramCopy {
 public:
  explicit ProgramCopy(std::wstring_view tag);
  ~ProgramCopy();  // a copy still running is ended
  ProgramCopy(const ProgramCopy&) = delete;
  ProgramCopy& operator=(const ProgramCopy&) = delete;

  const std::wstring& Folder() const { return dir_.Path(); }
  std::wstring Exe() const { return dir_ / L"velmora.exe"; }
  std::wstring operator/(std::wstring_view relative) const { return dir_ / relative; }

  bool Start();
  DWORD ProcessId() const { return process_.dwProcessId; }
  // The board window of this process (hidden or not), once it exists; nullptr on time-out.
  HWND Board(DWORD timeoutMs = 30000) const;
  // Waits until the program says its start-up has finished (false when it ended first).
  bool WaitSettled(DWORD timeoutMs = 30000) const;
  // True when the process ended within the time; its exit code in `code`.
  bool WaitExit(DWORD timeoutMs, DWORD* code);
  bool Running() const;
  // Ends the process at once, as a crash or the task manager would; true once it is gone.
  bool Kill();

 private:
  TempProgramDir dir_;
  PROCESS_INFORMATION process_{};
  UniqueKernelHandle startupDone_;
  DWORD copyError_ = 0;  // why the program could not be copied here, if it could not
};

// Icons in the notification area (Wine's tray window).
int TrayIconCount();
// The popup menu on the screen, or nullptr.
HWND OpenMenu();
// A top-level window of class `className` owned by process `pid` (any visibility), or nullptr.
HWND FindProcessWindow(DWORD pid, const wchar_t* className);
// Presses and releases a key (goes to whatever has the focus).
void PressKey(WORD key);

}  // namespace velmora::test
