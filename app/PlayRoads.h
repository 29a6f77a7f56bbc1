// The roads by which an effect plays: a click on the board, a hotkey, and a request of the
// remote control, which takes the click's or the hotkey's road (with the hotkey looked up once,
// as a press looks it up). Stop and the volume steps go the same way. Every road tells the
// remote control's clients what happened.
#pragma once

#include "config/Catalogue.h"
#include "hotkeys/HotkeyHost.h"
#include "playback/Playback.h"
#include "remote/RemoteActions.h"

#include <functional>
#include <string>

namespace velmora::config {
class ConfigStore;
}

namespace velmora::app {

class PlayRoads final : public hotkeys::HotkeyActions {
 public:
  using Notify = std::function<void(remote::BoardEvent)>;
  PlayRoads(playback::Playback& playback, const config::ConfigStore& store, playback::MessageBoxReporter& reporter)
      : playback_(playback), store_(store), reporter_(reporter) {}
  // Where the events go (the remote control, made after the roads).
  void SetNotify(Notify notify) { notify_ = std::move(notify); }

  // A click on an effect button.
  playback::PlayResult PlayFromBoard(config::EffectSlot slot);
  // hotkeys::HotkeyActions: the hotkey road plays at its slot's level of full volume.
  void PlayFile(const std::wstring& path, int slotLevel) override;
  void StopPlayback() override;
  void StepVolume(int delta);
  void SetVolumeLevel(int level);

  // The remote control's requests: as a click or a press, but a failure is the client's to
  // hear of, never a message box over the host's screen.
  remote::PlayOutcome PlaySlotForRemote(int category, int index);
  remote::PlayOutcome PlayHotkeyForRemote(const std::wstring& name);

  // The slot played last (0, 0 for none): a hotkey's file is matched to its slot only when
  // someone asks.
  config::EffectSlot LastSlot();

 private:
  playback::PlayResult PlayFromHotkey(const std::wstring& path, int slotLevel);
  void Tell(remote::BoardEvent event) {
    if (notify_) notify_(event);
  }

  playback::Playback& playback_;
  const config::ConfigStore& store_;
  playback::MessageBoxReporter& reporter_;
  Notify notify_;
  // What played last: a slot, or a hotkey's file whose slot is looked up when asked.
  config::EffectSlot lastSlot_{};
  std::wstring lastHotkeyFile_;
};

}  // namespace velmora::app
