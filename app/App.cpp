#include "app/App.h"

#include "app/EditorSkin.h"
#include "app/InstanceLock.h"
#include "app/StartupSignal.h"
#include "base/Paths.h"
#include "config/Captions.h"
#include "config/Folders.h"
#include "config/Rebuild.h"
#include "config/Settings.h"
#include "playback/DeviceChoice.h"
#include "playback/Leveling.h"
#include "playback/Route.h"
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

App::App()
    : store_(ProgramDirectory()),
      playback_(player_, store_, reporter_),
      board_(*this),
      roads_(playback_, store_, reporter_),
      hotkeys_(store_, roads_),
      remote_(roads_, playback_, board_, store_),
      settings_(player_, store_, hotkeys_, nullptr,
                SettingsController::Hooks{[this] { return remote_.Restart(); }, [this] { return remote_.Current(); },
                                          [this] { RebuildInNotice(); },
                                          [] { ui::InstructionsWindow::Open(false); }}),
      tray_(player_, store_, [this](TrayCommand command) { OnTrayCommand(command); }) {
  editors_.SetSkinHook(SkinEditor);
  editors_.SetRefusedNames([this] { return hotkeys_.FailedNames(); });
}

int App::Run() {
  if (!board_.Create()) return 1;  // its creation starts the marquee
  settings_.SetHotkeyOwner(board_.Hwnd());
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
  StartAudioAsStored();
  tray_.Add(board_.Hwnd());
  playback_.SetVolumeLevel(config::BoardVolumeSetting::Read(store_).level);
  if (!AcquireInstanceLock(store_.ProgramDirectory(), lock_)) EndSecondInstance();
  config::EnsureFolders(store_.ProgramDirectory());
  if (config::IsOn(config::HotkeySwitchSetting::Read(store_).enabled)) hotkeys_.Load(board_.Hwnd());
  if (config::IsOn(config::AutoRebuildSetting::Read(store_).automatic)) {
    RebuildInNotice();
    HideMainWindow();
  }
  // A port that is taken leaves the board as it is: the settings window tells of it.
  remote_.Restart();
}

void App::StartAudioAsStored() {
  const int device = playback::ResolveStoredDevice(store_);
  if (device >= 0) {
    playback::StartAudio(player_, device);
    playback::ApplyRoute(player_, store_, playback::kMonitorRoute);  // the monitor, when on, plays beside it
    playback::ApplyMic(player_, store_);                              // and the voice goes out with the effects
  }
  playback::ApplyLevelingSetting(player_, store_);
}

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

void App::CaptionsChanged() { remote_.Notify(remote::BoardEvent::Captions); }

void App::RebuildInNotice() {
  ui::NoticeWindow::Run([this] {
    config::RebuildConfiguration(store_, board_);  // ends with LoadCaptions
    CaptionsChanged();
    ShowRestored(board_.Hwnd());
  });
}

void App::HideMainWindow() {
  ::ShowWindow(board_.Hwnd(), SW_HIDE);
  startHidden_ = true;
}

void App::ShowMainWindow() {
  ShowRestored(board_.Hwnd());
  ::SetForegroundWindow(board_.Hwnd());
}

void App::EditEffect(config::EffectSlot slot) {
  editors_.Open(slot, store_, board_.Hwnd(), conflicts_, [this] {
    config::LoadCaptions(store_, board_);
    CaptionsChanged();
  });
}

void App::DropFiles(config::EffectSlot slot, std::vector<std::wstring> paths) {
  if (ui::DropFilesOnSlot(store_, board_, editors_, board_.Hwnd(), slot, paths)) CaptionsChanged();
}

// Modal over the board, hidden or not, so the board cannot open a second one meanwhile.
void App::OpenSettings() { settingsDialog_.Run(board_.Hwnd()); }

void App::OpenLink(const wchar_t* url) {
  // Whatever the shell does with it, nothing is reported.
  ::ShellExecuteW(nullptr, L"open", url, nullptr, nullptr, SW_SHOWNORMAL);
}

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
      OpenSettings();
      break;
    case TrayCommand::Instructions:
      ui::InstructionsWindow::Open(true, board_.Hwnd());
      break;
    case TrayCommand::Rebuild:
      RebuildInNotice();  // leaves the board visible
      break;
    case TrayCommand::Exit:
      ::DestroyWindow(board_.Hwnd());
      break;
    case TrayCommand::Monitor:  // the tray switches its routes itself
    case TrayCommand::Mic:
      break;
  }
}

bool App::BoardMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  result = 0;
  return tray_.HandleMessage(message, wParam, lParam);
}

}  // namespace velmora::app
