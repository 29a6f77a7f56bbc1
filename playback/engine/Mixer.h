// The voices and their mix: the hand-off between the controlling thread, which starts and stops
// voices, and the outputs' render threads, which mix them into their device buffers. Pure logic
// (a mutex and atomics, no Windows), so it also runs natively under ThreadSanitizer
// (scripts/race.sh).
//
// Outputs: output 0 is the output device, 1 the monitor. Every voice plays on every present
// output, each at its own device's pace with a position of its own, from one decoded sound (a
// streamed one from one decoding: see StreamFeed). A voice sounds at its volume times its
// leveling; each output has a gain of its own on top of that.
//
// Threads: every voice operation comes from one controlling thread (the UI thread); Mix,
// HasAudibleVoice and OutputStopped of an output from that output's render thread;
// LastPlayTiming from anywhere. The voice table belongs to the render threads, under a lock they
// hold for one buffer fill. The controlling thread never waits for that lock: it answers from a
// view of its own (which voices exist, how long they are, where output 0 last left them) and
// hands each change over as a command in a ring, applied by the next render thread to mix, or at
// once by the controlling thread itself when it finds the lock free. What a render thread lets
// go of (a freed voice's sound, a replaced feed) comes back through a second ring and is released
// on the controlling thread, so a render thread neither allocates nor frees, decodes or joins.
#pragma once

#include "playback/engine/LiveInput.h"
#include "playback/engine/Pcm.h"
#include "playback/engine/SpscRing.h"
#include "playback/engine/StreamFeed.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace velmora::audio {

inline constexpr int kMaxOutputs = StreamFeed::kMaxReaders;
// An effect that is cut (replaced or stopped) fades out over this many frames, 3 ms, so the cut
// never clicks.
inline constexpr uint32_t kCutFadeFrames = kEngineRate * 3 / 1000;

class Mixer {
 public:
  // `clock` stamps plays and first writes (QueryPerformanceCounter ticks in the engine), which
  // tick `ticksPerSecond` times a second (0: plays are never held for a start time).
  explicit Mixer(int64_t (*clock)(), int64_t ticksPerSecond = 0);
  Mixer(const Mixer&) = delete;
  Mixer& operator=(const Mixer&) = delete;

  // Ids are never reused; 0 is no voice, also when memory ran out.
  uint32_t AddVoice(std::shared_ptr<const Sound> sound) noexcept;
  // `open` starts a feed from the file's beginning (called again when the voice restarts);
  // `lengthFrames` is what the file declares.
  using FeedOpener = std::function<std::shared_ptr<StreamFeed>()>;
  uint32_t AddStreamVoice(FeedOpener open, uint64_t lengthFrames) noexcept;
  // A voice that was sounding fades out over kCutFadeFrames on every output, after what each
  // device already holds of it.
  bool FreeVoice(uint32_t id) noexcept;
  // False also when a restarted stream cannot be opened again. `together`: every present output's
  // device sounds the first sample at the same time, the soonest time all of them can (each has
  // its own amount queued ahead of it, on its own period's phase): an output that could sound it
  // sooner writes silence ahead of it. Otherwise each starts it as soon as it can.
  bool PlayVoice(uint32_t id, bool restart, bool together = false) noexcept;
  // Render thread of `output`: its stream stopped, what it writes next sounds at once.
  void OutputStopped(int output) noexcept;
  // The same, from the controlling thread once the output's render thread is gone.
  void OutputClosed(int output) noexcept;
  // Fades the voice out over kCutFadeFrames after what each device already holds.
  bool StopVoice(uint32_t id) noexcept;
  bool SetVoiceVolume(uint32_t id, float volume) noexcept;
  // The voice's leveling (音量均衡), 0..kMaxLevelingGain: a factor of its own beside the volume,
  // which the volume buttons change and this survives.
  bool SetVoiceLeveling(uint32_t id, float gain) noexcept;
  bool VoiceFrames(uint32_t id, uint64_t* position, uint64_t* length) const noexcept;
  bool SetVoicePosition(uint32_t id, uint64_t frame) noexcept;
  void FreeAll() noexcept;

  // An output other than 0 comes (its voices join where output 0 is) or goes. Output 0 is
  // always present.
  void SetOutputPresent(int output, bool present) noexcept;
  // The output's own gain (0..1) on top of the voices' volumes.
  void SetOutputGain(int output, float gain) noexcept;

  // The live input (the microphone), mixed under the voices at a gain of its own into output 0
  // and, when routed there, the other outputs; null for none. With ducking (dB > 0) it is
  // lowered by that much while a voice sounds on the same output (10 ms down, 300 ms back up).
  // An output the input is routed to never counts as idle.
  void SetInput(std::shared_ptr<LiveInput> input) noexcept;
  void SetInputGain(float gain) noexcept;
  void SetInputRouted(int output, bool routed) noexcept;
  void SetInputDucking(float db) noexcept;

  // Render thread of `output`. Mixes `frames` frames of every playing voice into `out` (stereo
  // float) and advances them; `queuedFrames` are already in the device ahead of them. Returns
  // whether anything but silence was written.
  // `queuedAt`: when the device reported `queuedFrames` (clock ticks), since the render thread
  // may be held up between asking and mixing; kQueuedNow for now, kUnclocked for an output no
  // device pulls in real time (an offline output), which never makes a play wait.
  static constexpr int64_t kQueuedNow = -1;
  static constexpr int64_t kUnclocked = 0;
  bool Mix(int output, float* out, uint32_t frames, uint32_t queuedFrames, int64_t queuedAt = kQueuedNow);
  bool Mix(float* out, uint32_t frames, uint32_t queuedFrames) { return Mix(0, out, frames, queuedFrames); }
  bool HasAudibleVoice(int output = 0);

  // Render thread of `output`: whether its device can take back what it holds (see TakeBack);
  // off until said.
  void EnableTakeBack(int output, bool on);
  // Render thread of `output`: whether a play since the last call started while something else
  // sounded there, so what its device still holds of that should be taken back and the new
  // effect written first. Clears the request.
  bool TakeBackWanted(int output);
  // Render thread of `output`: its device dropped the last `frames` frames written to it (the
  // stream was reset). Every voice, fade and the live input go back to where they were at the
  // last frame the device kept, to be written again: a cut voice's 3 ms fade then starts from
  // there, under the new effect. A streamed voice cannot go back; it goes on from where it is.
  void TakeBack(int output, uint32_t frames);

  struct PlayTiming {
    int64_t requested = 0;
    int64_t firstWrite = 0;
    uint32_t queuedFrames = 0;
  };
  PlayTiming LastPlayTiming(int output = 0) const;

 private:
  static constexpr size_t kMaxVoices = 64;
  // A voice as the render threads play it.
  struct Voice {
    uint32_t id = 0;
    uint32_t slot = 0;                   // its place in positions_
    std::shared_ptr<const Sound> sound;  // a sound in memory, or
    std::shared_ptr<StreamFeed> feed;    // one decoding as it plays
    uint64_t position[kMaxOutputs] = {};  // frames, each output's own
    float volume = 1.0f;
    float leveling = 1.0f;
    int64_t startAt = 0;
    uint64_t playSeq = 0;  // the play that started it, for its timing
    // Where in its output's written frames (written_) its last sample went, and its first since
    // the play (0 before it); for a take-back.
    uint64_t writtenEnd[kMaxOutputs] = {};
    uint64_t writtenStart[kMaxOutputs] = {};
    bool playing = false;
    bool timed[kMaxOutputs] = {};  // first write on that output still to be stamped
  };
  // A voice as the controlling thread knows it.
  struct Entry {
    uint32_t id = 0;
    uint32_t slot = 0;
    FeedOpener reopen;  // streamed voices only
    uint64_t length = 0;
  };
  // A cut voice fading out on one output: the sound it reads and how far the fade has gone.
  struct Fade {
    std::shared_ptr<const Sound> sound;
    uint64_t position = 0;
    uint32_t done = 0;  // frames of the fade written; kCutFadeFrames when over
    float volume = 0.0f;
    // For a take-back: where the voice was cut, where its last sample went in the output's
    // written frames, and where the fade's first went (0 before).
    uint64_t cutAt = 0;
    uint64_t voiceEnd = 0;
    uint64_t writtenFrom = 0;
  };
  // A change handed from the controlling thread to the render threads.
  struct Command {
    enum class Kind : uint8_t {
      kAdd, kFree, kPlay, kStop, kVolume, kLeveling, kPosition, kClear,
      kPresent, kGain, kStopped, kInput, kInputGain, kInputRouted, kDucking,
    };
    Kind kind = Kind::kClear;
    uint32_t id = 0;
    int output = 0;
    bool flag = false;  // restart, present, routed
    bool together = false;
    float value = 0.0f;
    uint64_t frame = 0;
    int64_t requested = 0;
    uint64_t playSeq = 0;
    Voice voice;                        // kAdd
    std::shared_ptr<StreamFeed> feed;   // kPlay: the restarted stream's new feed
    std::shared_ptr<LiveInput> input;   // kInput
  };
  // What a render thread let go of, released on the controlling thread; a freed voice's slot
  // becomes free again with it.
  struct Released {
    std::shared_ptr<const Sound> sound;
    std::shared_ptr<StreamFeed> feed;
    std::shared_ptr<LiveInput> input;
    int slot = -1;
  };
  static constexpr size_t kMaxFades = 8;  // per output; the oldest gives way

  // Controlling thread.
  bool Send(Command& command);
  bool SendToVoice(uint32_t id, Command::Kind kind, float value = 0.0f);
  bool SendSetting(Command::Kind kind, int output, bool flag = false, float value = 0.0f);
  void Collect();
  Entry* FindEntry(uint32_t id);
  uint32_t Add(Voice voice, FeedOpener reopen, uint64_t length);

  // Under lock_.
  void Apply();
  void ApplyOne(Command& command);
  void ApplyToTable(Command& command);
  void ApplySetting(Command& command);
  void ApplyToVoice(Command& command);
  void StartVoice(Voice& voice, Command& command);
  void Release(Released released);
  void StartFades(const Voice& voice);
  void MixFades(int output, float* out, uint32_t frames);
  void JoinOutputs(Voice& voice);
  // When a write of `frames` to a device asked at `asked` starts to sound.
  int64_t WriteSoundsAt(int output, int64_t asked, uint32_t queuedFrames, uint32_t frames);
  Voice* FindVoice(uint32_t id);
  void MixInput(int output, float* out, uint32_t frames, bool voices, int64_t now);
  bool Audible(int output) const;

  int64_t (*clock_)();
  int64_t ticksPerSecond_;

  // The controlling thread's own.
  std::vector<Entry> entries_;
  bool slotFree_[kMaxVoices];
  uint32_t nextId_ = 1;
  uint64_t playSeq_ = 0;
  bool presentView_[kMaxOutputs] = {true};

  // Between the two sides.
  SpscRing<Command> commands_;
  SpscRing<Released> released_;
  std::atomic<uint64_t> positions_[kMaxVoices] = {};  // each voice's position on output 0, by slot
  mutable std::mutex timingLock_;                     // held for a copy only
  struct Timing {
    PlayTiming timing;
    uint64_t playSeq = 0;
  } timing_[kMaxOutputs];

  // The render threads', under lock_.
  mutable std::mutex lock_;
  std::vector<Voice> voices_;
  std::vector<float> scratch_[kMaxOutputs];  // each output's render thread its own
  std::vector<float> inputScratch_[kMaxOutputs];
  bool present_[kMaxOutputs] = {true};
  float gain_[kMaxOutputs] = {1.0f, 1.0f};
  // When what each output has written so far runs out of its device (clock ticks; 0 while its
  // stream is stopped): the soonest a voice started now can sound there. Set by the write itself,
  // so a play either is in that write or comes after all of it; read back by the next write as
  // the best guess of when it sounds.
  int64_t playout_[kMaxOutputs] = {};
  uint64_t written_[kMaxOutputs] = {};  // frames each output has written since it was made
  bool takeBackOn_[kMaxOutputs] = {};   // see EnableTakeBack
  bool takeBack_[kMaxOutputs] = {};     // see TakeBackWanted
  bool soundHeld_[kMaxOutputs] = {};    // the output's last write was not silence
  Fade fades_[kMaxOutputs][kMaxFades];
  size_t nextFade_ = 0;
  std::shared_ptr<LiveInput> input_;
  float inputGain_ = 1.0f;
  bool inputRouted_[kMaxOutputs] = {true};
  float duckGain_ = 1.0f;  // the input's gain while a voice sounds
  // Each output's render thread: where its input gain and ducking envelope stand.
  float inputGainNow_[kMaxOutputs] = {};
  float duckNow_[kMaxOutputs] = {1.0f, 1.0f};
};

}  // namespace velmora::audio
