#include "playback/Playback.h"

#include "config/Catalogue.h"
#include "config/ConfigStore.h"
#include "config/Settings.h"
#include "config/SlotVolume.h"

#include <windows.h>

#include <algorithm>
#include <exception>

namespace velmora::playback {

void MessageBoxReporter::OpenFailed() {
  if (quiet_) return;
  ::MessageBoxW(nullptr, kOpenFailedText, kOpenFailedCaption, MB_OK | MB_ICONEXCLAMATION | MB_TASKMODAL);
}

Playback::Playback(AudioPlayer& player, const config::ConfigStore& store, FailureReporter& reporter)
    : player_(player), store_(store), reporter_(reporter) {}

float Playback::EffectVolume() const {
  // Level 1 is silence, on the board as on a slot (the player silences exactly 0.01).
  if (slotLevel_ <= kMinVolumeLevel) return 0.0f;
  return static_cast<float>(static_cast<double>(VolumeLevel()) / 100.0 * (static_cast<double>(slotLevel_) / 100.0));
}

bool Playback::StoppedByPressAgain(const std::wstring& path) {
  if (path != currentFile_ || !Sounding()) return false;
  if (!config::PressAgainSetting::Read(store_).on) return false;
  StopPlayback();
  return true;
}

PlayResult Playback::PlayEffect(int category, int index) {
  std::wstring path;
  int slotLevel = kMaxVolumeLevel;
  try {
    path = config::ReadSlotPath(store_, config::EffectSlot{category, index});
    if (!path.empty()) slotLevel = config::ReadSlotLevel(store_, config::EffectSlot{category, index});
  } catch (const std::exception&) {  // no memory for the slot's path: the play fails as any other
    reporter_.OpenFailed();
    return PlayResult::Failed;
  }
  if (path.empty()) return PlayResult::NoFile;
  if (StoppedByPressAgain(path)) return PlayResult::Stopped;
  slotLevel_ = slotLevel;
  // The volume is set before the first sample goes out: set after the start, the first buffer
  // would already sound at full volume, a loud blip at a low level.
  const float volume = EffectVolume();
  const bool opened = Open(path, &volume);
  player_.SetChannelVolume(volume, currentStream_, 0);
  return opened ? PlayResult::Played : PlayResult::Failed;
}

PlayResult Playback::PlayHotkeyFile(const std::wstring& path, int slotLevel) {
  if (StoppedByPressAgain(path)) return PlayResult::Stopped;
  slotLevel_ = std::clamp(slotLevel, kMinVolumeLevel, kMaxVolumeLevel);
  if (slotLevel_ == kMaxVolumeLevel) return PlayFile(path) ? PlayResult::Played : PlayResult::Failed;
  const float volume = slotLevel_ <= kMinVolumeLevel ? 0.0f : static_cast<float>(slotLevel_ / 100.0);
  return Open(path, &volume) ? PlayResult::Played : PlayResult::Failed;
}

bool Playback::PlayFile(const std::wstring& path) {
  slotLevel_ = kMaxVolumeLevel;
  return Open(path, nullptr);
}

bool Playback::Open(const std::wstring& path, const float* startVolume) {
  // Clicks and hotkeys arrive in message handlers, which must not throw: no memory for the
  // path is a failed play like any other (the player itself never throws).
  try {
    currentFile_ = path;
  } catch (const std::exception&) {
    reporter_.OpenFailed();
    return false;
  }
  if (startVolume) {
    currentStream_ = player_.OpenAndPlay(currentFile_, 0, currentStream_);
    if (currentStream_ != 0) {
      player_.SetChannelVolume(*startVolume, currentStream_, 0);
      player_.PlayChannel(currentStream_, 1);
    }
  } else {
    currentStream_ = player_.OpenAndPlay(currentFile_, 1, currentStream_);
  }
  if (currentStream_ == 0) {
    reporter_.OpenFailed();
    return false;
  }
  status_ = kStatusPlaying;
  return true;
}

bool Playback::Sounding() const {
  if (status_ != kStatusPlaying || currentStream_ == 0) return false;
  // A stream still decoding may not know its length yet: it counts as sounding.
  const float length = player_.ChannelLength(currentStream_);
  return length <= 0 || player_.ChannelPosition(currentStream_) < static_cast<double>(length);
}

void Playback::StopPlayback() {
  if (status_.empty()) return;
  player_.StopChannel(currentStream_);
  status_ = kStatusStopped;
}

void Playback::OwnLevel::SetLevel(int level) { level_ = std::clamp(level, kMinVolumeLevel, kMaxVolumeLevel); }

void Playback::SetVolumeLevel(int level) { holder_->SetLevel(std::clamp(level, kMinVolumeLevel, kMaxVolumeLevel)); }

void Playback::HoldVolumeIn(VolumeLevelHolder& holder) {
  const int level = VolumeLevel();
  holder_ = &holder;
  SetVolumeLevel(level);
}

void Playback::StepVolume(int delta) {
  SetVolumeLevel(VolumeLevel() + delta);
  ApplyVolume(VolumeLevel());
}

void Playback::ApplyVolume(int level) {
  SetVolumeLevel(level);
  player_.SetChannelVolume(EffectVolume(), currentStream_, 0);
  config::BoardVolumeSetting::Write(store_, VolumeLevel());
}

}  // namespace velmora::playback
