#include "tests/support/ProgramCopy.h"

#include "tests/support/Files.h"
#include "tests/support/Waiting.h"

#include "app/StartupSignal.h"

#include <cstdio>
#include <cstdlib>

namespace velmora::test {

std::wstring BuiltProgramPath() {
  wchar_t self[MAX_PATH];
  const DWORD n = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path(self, n);
  path.resize(path.rfind(L'\\'));  // tests/ or bench/
  path.resize(path.rfind(L'\\'));  // build root
  return path + L"\\app\\velmora.exe";
}

ProgramCopy::ProgramCopy(std::wstring_view tag) : dir_(tag) {
  if (!::CopyFileW(BuiltProgramPath().c_str(), Exe().c_str(), FALSE)) copyError_ = ::GetLastError();
}

ProgramCopy::~ProgramCopy() {
  if (process_.hProcess) {
    if (Running()) {
      ::TerminateProcess(process_.hProcess, 1);
      ::WaitForSingleObject(process_.hProcess, 5000);
    }
    ::CloseHandle(process_.hProcess);
    ::CloseHandle(process_.hThread);
  }
}

bool ProgramCopy::Start() {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  std::wstring command = L"\"" + Exe() + L"\"";
  // Suspended until the event it sets when start-up is done exists, so the signal cannot be missed.
  if (!::CreateProcessW(Exe().c_str(), command.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr,
                        Folder().c_str(), &startup, &process_)) {
    // Says why, so that a start that fails once can be traced.
    std::fprintf(stderr, "starting %ls failed: error %lu (copying it: error %lu)\n", Exe().c_str(),
                 ::GetLastError(), copyError_);
    return false;
  }
  startupDone_.Reset(::CreateEventW(nullptr, TRUE, FALSE, app::StartupEventName(process_.dwProcessId).c_str()));
  // The test command counts the Wine processes a run starts.
  if (const char* log = std::getenv("VELMORA_WINE_START_LOG")) {
    if (std::FILE* file = ::_wfopen(FromUnixPath(log).c_str(), L"ab")) {
      std::fputs("velmora.exe\n", file);
      std::fclose(file);
    }
  }
  return ::ResumeThread(process_.hThread) != static_cast<DWORD>(-1);
}

HWND FindProcessWindow(DWORD pid, const wchar_t* className) {
  HWND found = nullptr;
  while ((found = ::FindWindowExW(nullptr, found, className, nullptr)) != nullptr) {
    DWORD owner = 0;
    ::GetWindowThreadProcessId(found, &owner);
    if (owner == pid) return found;
  }
  return nullptr;
}

HWND ProgramCopy::Board(DWORD timeoutMs) const {
  HWND board = nullptr;
  WaitFor([&] { return (board = FindProcessWindow(process_.dwProcessId, L"VelmoraBoard")) != nullptr || !Running(); },
          timeoutMs);
  return board;
}

bool ProgramCopy::WaitSettled(DWORD timeoutMs) const {
  // The process or the event: a process that ends during start-up (a second instance) is no wait.
  const HANDLE either[] = {startupDone_.Get(), process_.hProcess};
  return startupDone_ && ::WaitForMultipleObjects(2, either, FALSE, timeoutMs) == WAIT_OBJECT_0;
}

bool ProgramCopy::WaitExit(DWORD timeoutMs, DWORD* code) {
  if (::WaitForSingleObject(process_.hProcess, timeoutMs) != WAIT_OBJECT_0) return false;
  if (code) ::GetExitCodeProcess(process_.hProcess, code);
  return true;
}

bool ProgramCopy::Kill() {
  if (!process_.hProcess) return false;
  ::TerminateProcess(process_.hProcess, 1);
  const bool gone = ::WaitForSingleObject(process_.hProcess, 10000) == WAIT_OBJECT_0;
  ::CloseHandle(process_.hProcess);
  ::CloseHandle(process_.hThread);
  process_ = PROCESS_INFORMATION{};
  return gone;
}

bool ProgramCopy::Running() const {
  return process_.hProcess && ::WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT;
}

int TrayIconCount() {
  int count = 0;
  HWND tray = nullptr;
  while ((tray = ::FindWindowExW(nullptr, tray, L"__winex11_standalone_tray", nullptr)) != nullptr) {
    HWND icon = nullptr;
    while ((icon = ::FindWindowExW(tray, icon, L"__winex11_tray_icon", nullptr)) != nullptr) ++count;
  }
  return count;
}

HWND OpenMenu() {
  // Menu windows of menus closed before (of this or an ended process) may linger hidden.
  HWND menu = nullptr;
  while ((menu = ::FindWindowExW(nullptr, menu, L"#32768", nullptr)) != nullptr)
    if (::IsWindowVisible(menu)) return menu;
  return nullptr;
}

void PressKey(WORD key) {
  INPUT inputs[2] = {};
  inputs[0].type = inputs[1].type = INPUT_KEYBOARD;
  inputs[0].ki.wVk = inputs[1].ki.wVk = key;
  inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
  ::SendInput(2, inputs, sizeof(INPUT));
}

}  // namespace velmora::test
