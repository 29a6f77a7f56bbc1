// The voices and their mix: the hand-off between the controlling thread, which starts and stops
// voices, and the render thread, which mixes them into the device buffer. Pure logic (a mutex
// and atomics, no Windows), so it also runs natively under ThreadSanitizer (scripts/race.sh).
//
// Threads: every voice operation comes from one controlling thread (the UI thread); Mix and
// HasAudibleVoice from the render thread; LastPlayTiming from anywhere. They meet in the voice
// table, under a lock held for the length of one buffer fill. Nothing that allocates, decodes or
// joins a thread runs under the lock: a replaced sound or feed is released after it.
#pragma once

#include "playback/engine/Pcm.h"
#include "playback/engine/StreamFeed.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace velmora::audio {

class Mixer {
 public:
  // `clock` stamps plays and first writes (QueryPerformanceCounter ticks in the engine).
  explicit Mixer(int64_t (*clock)());
  Mixer(const Mixer&) = delete;
  Mixer& operator=(const Mixer&) = delete;

  // Ids are never reused; 0 is no voice, also when memory ran out.
  uint32_t AddVoice(std::shared_ptr<const Sound> sound) noexcept;
  // `open` starts a feed from the file's beginning (called again when the voice restarts);
  // `lengthFrames` is what the file declares.
  using FeedOpener = std::function<std::shared_ptr<StreamFeed>()>;
  uint32_t AddStreamVoice(FeedOpener open, uint64_t lengthFrames) noexcept;
  bool FreeVoice(uint32_t id) noexcept;
  // False also when a restarted stream cannot be opened again.
  bool PlayVoice(uint32_t id, bool restart) noexcept;
  bool StopVoice(uint32_t id) noexcept;
  bool SetVoiceVolume(uint32_t id, float volume) noexcept;
  bool VoiceFrames(uint32_t id, uint64_t* position, uint64_t* length) const noexcept;
  bool SetVoicePosition(uint32_t id, uint64_t frame) noexcept;
  void FreeAll() noexcept;

  // Render thread. Mixes `frames` frames of every playing voice into `out` (stereo float) and
  // advances them; `queuedFrames` are already in the device ahead of them. Returns whether
  // anything but silence was written.
  bool Mix(float* out, uint32_t frames, uint32_t queuedFrames);
  bool HasAudibleVoice() const;

  struct PlayTiming {
    int64_t requested = 0;
    int64_t firstWrite = 0;
    uint32_t queuedFrames = 0;
  };
  PlayTiming LastPlayTiming() const;

 private:
  struct Voice {
    uint32_t id = 0;
    std::shared_ptr<const Sound> sound;  // a sound in memory, or
    std::shared_ptr<StreamFeed> feed;    // one decoding as it plays
    FeedOpener reopen;
    uint64_t streamLength = 0;
    uint64_t position = 0;  // frames
    float volume = 1.0f;
    bool playing = false;
    bool timed = false;  // first write still to be stamped
  };

  Voice* FindVoice(uint32_t id);
  const Voice* FindVoice(uint32_t id) const;
  uint32_t Add(Voice voice);

  int64_t (*clock_)();
  std::vector<float> scratch_;  // render thread only
  mutable std::mutex lock_;
  std::vector<Voice> voices_;
  uint32_t nextId_ = 1;
  PlayTiming timing_;  // under lock_, so a reader never sees one play's request with another's write
};

}  // namespace velmora::audio
