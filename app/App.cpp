#include "app/App.h"

#include "app/EditorSkin.h"
#include "app/InstanceLock.h"
#include "app/StartupSignal.h"
#include "assets/resource.h"
#include "base/Paths.h"
#include "config/Captions.h"
#include "config/ConfigKeys.h"
#include "config/Folders.h"
#include "config/Rebuild.h"
#include "playback/DeviceChoice.h"
#include "playback/Microphone.h"
#include "playback/Leveling.h"
#include "playback/Monitor.h"
#include "ui/BoardDrop.h"
#include "ui/EditorWindow.h"
#include "ui/SmallWindows.h"

#include <shellapi.h>

namespace velmora::app {

namespace {

// On the screen and restored: a board minimised to the tray is hidden and still iconic, and
// SW_SHOW alone would bring it back minimised.
void ShowRestored(HWND board) {
  if (::IsIconic(board)) {
    ::ShowWindow(board, SW_RESTORE);
  } else if (!::IsWindowVisible(board)) {
    ::ShowWindow(board, SW_SHOW);
  }
}

}  // namespace

App::App() : store_(ProgramDirectory()), playback_(player_, store_, reporter_), board_(*this) {
  ui::EditorWindow::SetSkinHook(SkinEditor);
  ui::EditorWindow::SetRefusedNames([] {
    const hotkeys::HotkeyHost* host = hotkeys::HotkeyHost::Current();
    return host ? host->FailedNames() : std::vector<std::wstring>{};
  });
}

int App::Run() {
  if (!board_.Create()) return 1;  // its creation starts the marquee
  StartupSequence();
  if (!startHidden_) {
    ::ShowWindow(board_.Hwnd(), SW_SHOW);
    ::UpdateWindow(board_.Hwnd());
  }
  SignalStartupDone();
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (ui::HandleEscape(msg)) continue;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  return 0;
}

void App::StartupSequence() {
  store_.SafeguardFile();
  playback_.HoldVolumeIn(board_);
  config::LoadCaptions(store_, board_);
  // A new location: device back to "1", the configuration rebuilt, the board hidden.
  config::CheckLocation(store_, FileNamePart(ModulePath()), *this);
  // The board shows no menu bar: TrayMenu is only ever a popup.
  const int device = StoredDevice();
  if (device >= 0) {
    playback::StartAudio(player_, device);
    playback::ApplyMonitorSetting(player_, store_);  // the monitor, when it is on, plays beside it
    playback::ApplyMicSetting(player_, store_);      // and the voice goes out with the effects
  }
  playback::ApplyLevelingSetting(player_, store_);
  trayIcon_ = static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON,
                                              ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), 0));
  tray_.Add(board_.Hwnd(), trayIcon_);
  // A fresh install has no stored level; starting at level 1 (silence) would make a new user's
  // first clicks play nothing, so a missing key means the slider's design position, 100.
  const std::wstring volume = store_.ReadValue(config::kVolumeSection, config::kVolumeKey);
  playback_.SetVolumeLevel(volume.empty() ? playback::kMaxVolumeLevel
                                          : static_cast<int>(config::ParseConfigNumber(volume)));
  if (!AcquireInstanceLock(store_.ProgramDirectory(), lock_)) EndSecondInstance();
  config::EnsureFolders(store_.ProgramDirectory());
  if (store_.ReadValue(config::kHotkeySwitchSection, config::kHotkeySwitchKey) == config::kOn) LoadHotkeyHost();
  if (store_.ReadValue(config::kAutoRebuildSection, config::kAutoRebuildKey) == config::kOn) {
    RebuildInNotice();
    HideMainWindow();
  }
  // A port that is taken leaves the board as it is: the settings window tells of it.
  RestartRemote();
}

void App::LoadHotkeyHost() { hotkeys::HotkeyHost::Load(store_, *this, board_.Hwnd()); }

void App::PlayFile(const std::wstring& path, int slotLevel) { PlayFromHotkey(path, slotLevel); }

void App::EndSecondInstance() {
  // Another instance runs from this folder: end silently with exit code 0, but leave neither a
  // dead icon in the notification area nor the audio device behind.
  tray_.Remove();
  player_.ReleaseLibrary();
  ::TerminateProcess(::GetCurrentProcess(), 0);
  for (;;) ::Sleep(INFINITE);
}

void App::ShutdownSequence() {
  remote_.Stop();
  player_.ReleaseLibrary();
  tray_.Remove();
  skin::SkinEngine::End();
  // Everything is released and every write is on disk; ending here also spares the process the
  // teardown of Media Foundation's back end, which under Wine sometimes crashes on the way out.
  ::TerminateProcess(::GetCurrentProcess(), 0);
  for (;;) ::Sleep(INFINITE);
}

void App::RebuildInNotice() {
  ui::NoticeWindow::Run([this] {
    config::RebuildConfiguration(store_, board_);  // ends with LoadCaptions
    NotifyRemote(remote::BoardEvent::Captions);
    ShowRestored(board_.Hwnd());
  });
}

void App::RunRebuild() { RebuildInNotice(); }

void App::HideMainWindow() {
  ::ShowWindow(board_.Hwnd(), SW_HIDE);
  startHidden_ = true;
}

void App::ShowMainWindow() {
  ShowRestored(board_.Hwnd());
  ::SetForegroundWindow(board_.Hwnd());
}

void App::PlayEffect(config::EffectSlot slot) { PlayFromBoard(slot); }

void App::EditEffect(config::EffectSlot slot) {
  ui::EditorWindow::Open(slot, store_, board_.Hwnd(), conflicts_, [this] {
    config::LoadCaptions(store_, board_);
    NotifyRemote(remote::BoardEvent::Captions);
  });
}

void App::DropFiles(config::EffectSlot slot, std::vector<std::wstring> paths) {
  if (ui::DropFilesOnSlot(store_, board_, board_.Hwnd(), slot, paths)) NotifyRemote(remote::BoardEvent::Captions);
}

void App::StopPlayback() {
  playback_.StopPlayback();
  NotifyRemote(remote::BoardEvent::Stop);
}

void App::StepVolume(int delta) {
  playback_.StepVolume(delta);
  NotifyRemote(remote::BoardEvent::Volume);
}

void App::OpenOutputSettings() { OpenSettings(board_.Hwnd()); }

void App::OpenSettings(HWND owner) { ui::SettingsWindow::RunModal(store_, *this, owner); }

int App::StoredDevice() { return playback::ResolveStoredDevice(store_); }

void App::RefreshDevices() { player_.RefreshDevices(); }

std::wstring App::DeviceName(int device) { return player_.DeviceName(device); }

bool App::SwitchOutputDevice(int device) { return playback::SwitchOutputDevice(player_, store_, device); }

bool App::SwitchMonitorDevice(int device) { return playback::SwitchMonitorDevice(player_, store_, device); }

void App::SetMonitorLevel(int level) { playback::SetMonitorLevel(player_, store_, level); }

void App::RefreshCaptureDevices() { player_.RefreshCaptureDevices(); }

std::wstring App::CaptureDeviceName(int device) { return player_.CaptureDeviceName(device); }

bool App::SwitchMicDevice(int device) { return playback::SwitchMicDevice(player_, store_, device); }

void App::SetMicLevel(int level) { playback::SetMicLevel(player_, store_, level); }

void App::SetMicToMonitor(bool on) { playback::SetMicToMonitor(player_, store_, on); }

void App::SetMicDucking(int db) { playback::SetMicDucking(player_, store_, db); }

void App::HotkeysOn() { LoadHotkeyHost(); }

void App::HotkeysOff() { hotkeys::HotkeyHost::Unload(); }

bool App::HotkeysLoaded() { return hotkeys::HotkeyHost::HostLoaded(); }

std::vector<std::wstring> App::RefusedHotkeys() {
  const hotkeys::HotkeyHost* host = hotkeys::HotkeyHost::Current();
  return host ? host->FailedKeys() : std::vector<std::wstring>{};
}

void App::PressAgainChanged() {
  // Registered again with or without the system's repeat, which a second press must not see.
  if (!hotkeys::HotkeyHost::HostLoaded()) return;
  hotkeys::HotkeyHost::Unload();
  LoadHotkeyHost();
}

bool App::LevelingOn() { return playback::ReadLevelingSetting(store_); }

void App::SetLeveling(bool on) { playback::SetLevelingOn(player_, store_, on); }

void App::RebuildNow() { RebuildInNotice(); }

void App::OpenInstructions() { ui::InstructionsWindow::Open(false); }

void App::OpenLink(const wchar_t* url) {
  // Whatever the shell does with it, nothing is reported.
  ::ShellExecuteW(nullptr, L"open", url, nullptr, nullptr, SW_SHOWNORMAL);
}

void App::BoardDestroyed() { ShutdownSequence(); }

void App::OnTrayCommand(TrayCommand command) {
  switch (command) {
    case TrayCommand::ShowBoard:
      ShowMainWindow();
      break;
    case TrayCommand::HideBoard:
      ::ShowWindow(board_.Hwnd(), SW_HIDE);
      break;
    case TrayCommand::Settings:
    case TrayCommand::OutputSettings:
      // Modal over the board, hidden or not, so the board cannot open a second one meanwhile.
      OpenSettings(board_.Hwnd());
      break;
    case TrayCommand::Instructions:
      ui::InstructionsWindow::Open(true, board_.Hwnd());
      break;
    case TrayCommand::Rebuild:
      RebuildInNotice();  // leaves the board visible
      break;
    case TrayCommand::Monitor:
      // The opposite of what the menu showed: it was read from the same setting a moment ago.
      playback::SetMonitorOn(player_, store_, !playback::ReadMonitorSetting(store_).on);
      break;
    case TrayCommand::Mic:
      playback::SetMicOn(player_, store_, !playback::ReadMicSetting(store_).on);  // as for 监听
      break;
    case TrayCommand::Exit:
      ::DestroyWindow(board_.Hwnd());
      break;
  }
}

bool App::BoardMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  result = 0;
  if (message == kTrayMessage) {
    // Left button up and right button up (or the menu key) open the menu; a double click does
    // nothing of its own.
    const UINT mouse = static_cast<UINT>(lParam);
    if (mouse == WM_LBUTTONUP || mouse == WM_RBUTTONUP || mouse == WM_CONTEXTMENU)
      tray_.ShowMenu(TrayChecks{playback::ReadMonitorSetting(store_).on, playback::ReadMicSetting(store_).on});
    return true;
  }
  if (message == TrayIcon::TaskbarCreatedMessage()) {
    tray_.ReAdd();
    return true;
  }
  if (message == WM_COMMAND && HIWORD(wParam) == 0 && LOWORD(wParam) >= static_cast<UINT>(TrayCommand::ShowBoard) &&
      LOWORD(wParam) <= static_cast<UINT>(TrayCommand::Exit)) {
    OnTrayCommand(static_cast<TrayCommand>(LOWORD(wParam)));
    return true;
  }
  return false;
}

}  // namespace velmora::app
