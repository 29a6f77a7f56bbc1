// The application's side of the remote control: what it may ask of the board, answered on the
// UI thread through the roads a click, a hotkey, the stop and the volume buttons take; the
// board's changes told to its clients; and the control started and stopped as section 遥控 says.
#pragma once

#include "app/PlayRoads.h"
#include "remote/RemoteControl.h"
#include "ui/MainWindow.h"
#include "ui/SettingsWindow.h"

namespace velmora::config {
class ConfigStore;
}

namespace velmora::app {

class RemoteLink final : public remote::RemoteActions {
 public:
  RemoteLink(PlayRoads& roads, const playback::Playback& playback, const ui::MainWindow& board,
             const config::ConfigStore& store);

  // Starts the control with section 遥控 as stored now (restarting it when it runs), or stops it
  // when that says off; and what it does now, as the settings window shows it.
  ui::RemoteView Restart();
  ui::RemoteView Current() const;
  void Stop() { control_.Stop(); }
  void Notify(remote::BoardEvent event);

  // remote::RemoteActions
  remote::BoardView Slots() override;
  remote::BoardState State() override;
  remote::PlayOutcome PlaySlot(int category, int index) override;
  remote::PlayOutcome PlayHotkey(const std::wstring& name) override;
  void StopPlayback() override { roads_.StopPlayback(); }
  void StepVolume(int delta) override { roads_.StepVolume(delta); }
  void SetVolumeLevel(int level) override { roads_.SetVolumeLevel(level); }

 private:
  PlayRoads& roads_;
  const playback::Playback& playback_;
  const ui::MainWindow& board_;
  const config::ConfigStore& store_;
  remote::RemoteControl control_{*this};
};

}  // namespace velmora::app
