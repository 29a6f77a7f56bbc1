// What clicks, hotkeys, stop and the volume buttons do: one current stream, the playback
// status and the volume level.
#pragma once

#include "config/SettingValues.h"
#include "playback/AudioPlayer.h"

#include <string>

namespace velmora::config {
class ConfigStore;
}

namespace velmora::playback {

inline constexpr wchar_t kStatusPlaying[] = L"播放中";
inline constexpr wchar_t kStatusStopped[] = L"停止中";
inline constexpr wchar_t kOpenFailedText[] = L"打开文件失败";
inline constexpr wchar_t kOpenFailedCaption[] = L"错误";

inline constexpr int kMinVolumeLevel = config::kMinLevel;
inline constexpr int kMaxVolumeLevel = config::kMaxLevel;

// Shows the user that a sound file could not be played.
class FailureReporter {
 public:
  virtual ~FailureReporter() = default;
  virtual void OpenFailed() = 0;
};

// The message box: "打开文件失败" / "错误", OK, exclamation mark, no owner, task-modal. While a
// Quiet lives it shows none: a play the remote control asked for tells its client instead, and
// never opens a box (with its own message loop) over the host's screen.
class MessageBoxReporter final : public FailureReporter {
 public:
  void OpenFailed() override;

  class Quiet {
   public:
    explicit Quiet(MessageBoxReporter& reporter) : reporter_(reporter), was_(reporter.quiet_) { reporter_.quiet_ = true; }
    ~Quiet() { reporter_.quiet_ = was_; }
    Quiet(const Quiet&) = delete;
    Quiet& operator=(const Quiet&) = delete;

   private:
    MessageBoxReporter& reporter_;
    bool was_;
  };

 private:
  bool quiet_ = false;
};

// Where the volume level lives: the board's hidden slider, or the playback state itself until
// there is one. Writes are kept within 1..100.
class VolumeLevelHolder {
 public:
  virtual ~VolumeLevelHolder() = default;
  virtual int Level() const = 0;
  virtual void SetLevel(int level) = 0;
};

// What became of a play asked for by a click or a hotkey (or by the remote control, which takes
// the same roads). Stopped: pressed again while that effect sounded, with 再按停止 on.
enum class PlayResult { Played, NoFile, Failed, Stopped };

class Playback {
 public:
  Playback(AudioPlayer& player, const config::ConfigStore& store, FailureReporter& reporter);

  // Plays the slot's file at the board's volume times the slot's own; a slot without a path
  // does nothing. With 再按停止 on, a press for the effect that sounds stops it instead.
  PlayResult PlayEffect(int category, int index);
  // The hotkey road: the file at `slotLevel` (1..100) of full volume, whatever the board's
  // level; with 再按停止 on, a press for the effect that sounds stops it instead.
  PlayResult PlayHotkeyFile(const std::wstring& path, int slotLevel);
  // Plays a file at full volume. False, after the message, when it fails.
  bool PlayFile(const std::wstring& path);
  void StopPlayback();
  void StepVolume(int delta);
  void ApplyVolume(int level);

  int VolumeLevel() const { return holder_->Level(); }
  // Sets the level (limited to 1..100) without applying or storing it: start-up uses this.
  void SetVolumeLevel(int level);
  // From now on the level lives in `holder` (the board's slider); it takes the current level.
  void HoldVolumeIn(VolumeLevelHolder& holder);

  const std::wstring& CurrentFile() const { return currentFile_; }
  StreamHandle CurrentStream() const { return currentStream_; }
  const std::wstring& PlaybackStatus() const { return status_; }
  // Started and neither stopped nor played to its end.
  bool Sounding() const;

 private:
  bool Open(const std::wstring& path, const float* startVolume);
  // With 再按停止 on and `path` the effect that sounds: stops it and says so.
  bool StoppedByPressAgain(const std::wstring& path);
  // The volume handed to the player: the board's level times the current effect's own.
  float EffectVolume() const;

  AudioPlayer& player_;
  const config::ConfigStore& store_;
  FailureReporter& reporter_;
  std::wstring currentFile_;
  StreamHandle currentStream_ = 0;
  int slotLevel_ = kMaxVolumeLevel;  // the current effect's own level
  std::wstring status_;
  class OwnLevel final : public VolumeLevelHolder {
   public:
    int Level() const override { return level_; }
    void SetLevel(int level) override;

   private:
    int level_ = kMaxVolumeLevel;
  };
  OwnLevel ownLevel_;
  VolumeLevelHolder* holder_ = &ownLevel_;
};

}  // namespace velmora::playback
