// Program entry: the configuration, the audio player, the effect board, and the message loop.
#include "base/ComPtr.h"
#include "base/Paths.h"
#include "config/Captions.h"
#include "config/ConfigKeys.h"
#include "config/ConfigStore.h"
#include "config/Folders.h"
#include "playback/AudioPlayer.h"
#include "playback/Playback.h"
#include "ui/MainWindow.h"

#include <windows.h>
#include <shellapi.h>

namespace {

using namespace velmora;

// What the board's controls do in the running program.
class BoardActionsImpl final : public ui::BoardActions {
 public:
  explicit BoardActionsImpl(playback::Playback& playback) : playback_(playback) {}

  void PlayEffect(config::EffectSlot slot) override { playback_.PlayEffect(slot.category, slot.index); }
  void EditEffect(config::EffectSlot) override {
    // The effect editor plugs in here.
  }
  void StopPlayback() override { playback_.StopPlayback(); }
  void StepVolume(int delta) override { playback_.StepVolume(delta); }
  void OpenOutputSettings() override {
    // The settings window plugs in here.
  }
  void OpenLink(const wchar_t* url) override {
    // Whatever the shell does with it, nothing is reported.
    ::ShellExecuteW(nullptr, L"open", url, nullptr, nullptr, SW_SHOWNORMAL);
  }
  void BoardDestroyed() override { ::PostQuitMessage(0); }

 private:
  playback::Playback& playback_;
};

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  ComInit com(COINIT_APARTMENTTHREADED);  // the shell and the file dialog want a single-threaded apartment
  const config::ConfigStore store(ProgramDirectory());
  playback::AudioPlayer player;
  playback::MessageBoxReporter reporter;
  playback::Playback playback(player, store, reporter);
  BoardActionsImpl actions(playback);
  ui::MainWindow board(actions);
  if (!board.Create()) return 1;
  playback.HoldVolumeIn(board);

  config::LoadCaptions(store, board);
  playback::StartAudio(player, static_cast<int>(config::ParseConfigNumber(
                                   store.ReadValue(config::kDeviceSection, config::kDeviceKey))));
  const std::wstring volume = store.ReadValue(config::kVolumeSection, config::kVolumeKey);
  playback.SetVolumeLevel(volume.empty() ? playback::kMaxVolumeLevel
                                         : static_cast<int>(config::ParseConfigNumber(volume)));
  config::EnsureFolders(store.ProgramDirectory());
  ::ShowWindow(board.Hwnd(), SW_SHOW);
  ::UpdateWindow(board.Hwnd());

  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  player.ReleaseLibrary();
  return 0;
}
