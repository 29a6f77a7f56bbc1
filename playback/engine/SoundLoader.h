// Turns a sound file into a ready Sound, with a bounded cache of decoded sounds keyed by path,
// size and last-write time, so a repeated effect starts without touching the disk (beyond one
// attribute query) and an edited file is decoded again.
#pragma once

#include "playback/engine/Pcm.h"
#include "playback/engine/StreamFeed.h"

#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <string>

namespace velmora::audio {

class MediaFoundationSession;

class SoundLoader {
 public:
  // Decoded sounds are kept up to `cacheBytes` in all (least recently used go first).
  explicit SoundLoader(size_t cacheBytes = size_t{256} << 20);
  ~SoundLoader();
  SoundLoader(const SoundLoader&) = delete;
  SoundLoader& operator=(const SoundLoader&) = delete;

  // What a file becomes: a sound in memory (files up to a minute, cached), or for a longer one
  // a way to start decoding it as it plays, from its first sample within a period or two, in
  // memory that does not grow with its length. Neither for a missing file, a folder, anything
  // no decoder accepts, or when memory runs out; never throws.
  struct Loaded {
    std::shared_ptr<const Sound> sound;
    std::function<std::shared_ptr<StreamFeed>()> openStream;
    uint64_t streamFrames = 0;  // the long file's declared length at 44,100 Hz (0: unknown)
    // The sound's loudness; a long file's from its first kStreamLoudnessSeconds, and only when
    // asked for (none measured otherwise).
    LoudnessInfo loudness;
    explicit operator bool() const { return sound || openStream; }
  };
  // `measureStream`: a long file's loudness is wanted. Its first seconds are decoded once for it
  // before it starts, on the first play only; the result is cached as decoded sounds are.
  Loaded Load(const std::wstring& path, bool measureStream = false);
  static constexpr double kStreamLoudnessSeconds = 30.0;

  // Starts Media Foundation ahead of the first file that needs it.
  void WarmUp();

  size_t CachedBytes() const { return cachedBytes_; }
  size_t CachedSounds() const { return entries_.size(); }

 private:
  struct Entry {
    std::wstring path;
    uint64_t size = 0;
    uint64_t writeTime = 0;
    std::shared_ptr<const Sound> sound;
  };

  // A long file's measured loudness, kept far longer than a sound: it is a few bytes.
  struct StreamEntry {
    std::wstring path;
    uint64_t size = 0;
    uint64_t writeTime = 0;
    LoudnessInfo loudness;
  };

  Loaded Decode(const std::wstring& path, bool measureStream);

  size_t capacity_;
  size_t cachedBytes_ = 0;
  std::list<Entry> entries_;               // most recently used first
  std::list<StreamEntry> streamLoudness_;  // most recently used first
  std::unique_ptr<MediaFoundationSession> mediaFoundation_;
};

}  // namespace velmora::audio
