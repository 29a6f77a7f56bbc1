#include "tests/support/ProgramCopy.h"

#include "tests/support/Files.h"

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
  ::CopyFileW(BuiltProgramPath().c_str(), Exe().c_str(), FALSE);
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
  ::Sleep(100);  // the ended process lets go of its files
}

bool ProgramCopy::Start() {
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  std::wstring command = L"\"" + Exe() + L"\"";
  return ::CreateProcessW(Exe().c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, Folder().c_str(),
                          &startup, &process_) != FALSE;
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
  for (DWORD waited = 0;; waited += 25) {
    if (HWND board = FindProcessWindow(process_.dwProcessId, L"VelmoraBoard")) return board;
    if (waited >= timeoutMs || !Running()) return nullptr;
    ::Sleep(25);
  }
}

bool ProgramCopy::WaitSettled(DWORD timeoutMs) const {
  for (DWORD waited = 0; waited < timeoutMs; waited += 50) {
    if (::GetFileAttributesW((dir_ / L"zubo").c_str()) != INVALID_FILE_ATTRIBUTES && Board(0)) {
      ::Sleep(1500);  // after the lock: folders, the optional rebuild, showing or hiding
      return true;
    }
    if (!Running()) return false;
    ::Sleep(50);
  }
  return false;
}

bool ProgramCopy::WaitExit(DWORD timeoutMs, DWORD* code) {
  if (::WaitForSingleObject(process_.hProcess, timeoutMs) != WAIT_OBJECT_0) return false;
  if (code) ::GetExitCodeProcess(process_.hProcess, code);
  return true;
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
  HWND menu = ::FindWindowW(L"#32768", nullptr);
  return menu && ::IsWindowVisible(menu) ? menu : nullptr;
}

void PressKey(WORD key) {
  INPUT inputs[2] = {};
  inputs[0].type = inputs[1].type = INPUT_KEYBOARD;
  inputs[0].ki.wVk = inputs[1].ki.wVk = key;
  inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
  ::SendInput(2, inputs, sizeof(INPUT));
  ::Sleep(50);
}

}  // namespace velmora::test
