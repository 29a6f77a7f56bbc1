#include "app/PlayRoads.h"

#include "config/Settings.h"
#include "hotkeys/HotkeyTable.h"

namespace velmora::app {

namespace {

// What the remote control hears of a play on the click or the hotkey road.
remote::PlayOutcome Outcome(playback::PlayResult result) {
  switch (result) {
    case playback::PlayResult::Played:
      return remote::PlayOutcome::Played;
    case playback::PlayResult::NoFile:
      return remote::PlayOutcome::NoFile;
    case playback::PlayResult::Stopped:
      return remote::PlayOutcome::Stopped;
    case playback::PlayResult::Failed:
      break;
  }
  return remote::PlayOutcome::Failed;
}

}  // namespace

playback::PlayResult PlayRoads::PlayFromBoard(config::EffectSlot slot) {
  const playback::PlayResult result = playback_.PlayEffect(slot.category, slot.index);
  // Nothing happened, or nothing plays: no event.
  if (result == playback::PlayResult::NoFile || result == playback::PlayResult::Failed) return result;
  if (result == playback::PlayResult::Stopped) {
    Tell(remote::BoardEvent::Stop);
    return result;
  }
  lastSlot_ = slot;
  lastHotkeyFile_.clear();
  Tell(remote::BoardEvent::Play);
  return result;
}

void PlayRoads::PlayFile(const std::wstring& path, int slotLevel) { PlayFromHotkey(path, slotLevel); }

playback::PlayResult PlayRoads::PlayFromHotkey(const std::wstring& path, int slotLevel) {
  const playback::PlayResult result = playback_.PlayHotkeyFile(path, slotLevel);
  if (result == playback::PlayResult::Failed) return result;
  if (result == playback::PlayResult::Stopped) {
    Tell(remote::BoardEvent::Stop);
    return result;
  }
  lastSlot_ = {};
  lastHotkeyFile_ = path;
  Tell(remote::BoardEvent::Play);
  return result;
}

void PlayRoads::StopPlayback() {
  playback_.StopPlayback();
  Tell(remote::BoardEvent::Stop);
}

void PlayRoads::StepVolume(int delta) {
  playback_.StepVolume(delta);
  Tell(remote::BoardEvent::Volume);
}

void PlayRoads::SetVolumeLevel(int level) {
  playback_.ApplyVolume(level);
  Tell(remote::BoardEvent::Volume);
}

remote::PlayOutcome PlayRoads::PlaySlotForRemote(int category, int index) {
  const config::EffectSlot slot{category, index};
  if (!config::IsValidSlot(slot)) return remote::PlayOutcome::NoSuchSlot;
  const playback::MessageBoxReporter::Quiet quiet(reporter_);
  return Outcome(PlayFromBoard(slot));
}

remote::PlayOutcome PlayRoads::PlayHotkeyForRemote(const std::wstring& name) {
  if (!hotkeys::IsHostHotkeyName(name)) return remote::PlayOutcome::NoSuchHotkey;
  const std::optional<hotkeys::HotkeyPlay> play = hotkeys::LookUpHotkey(store_, name);  // as a press reads it
  if (!play) return remote::PlayOutcome::NoFile;
  const playback::MessageBoxReporter::Quiet quiet(reporter_);
  return Outcome(PlayFromHotkey(play->path, play->slotLevel));
}

config::EffectSlot PlayRoads::LastSlot() {
  if (!lastHotkeyFile_.empty()) {
    // The slot whose file a hotkey played, found once when first asked for.
    for (int ordinal = 0; ordinal < config::kSlotCount && lastSlot_.category == 0; ++ordinal) {
      const config::EffectSlot slot = config::SlotFromOrdinal(ordinal);
      if (config::ReadSlotPath(store_, slot) == lastHotkeyFile_) lastSlot_ = slot;
    }
    lastHotkeyFile_.clear();
  }
  return lastSlot_;
}

}  // namespace velmora::app
