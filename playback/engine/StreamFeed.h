// A long sound played while it decodes: a thread of its own decodes and converts ahead into a
// ring of about two seconds, the render thread takes from it. Memory stays the same whatever
// the file's length. Pure logic (std::thread and atomics), so it also runs natively under
// ThreadSanitizer (scripts/race.sh).
//
// Threads: the constructor, the destructor and Buffered run on the controlling thread; Pull and
// Drained on the render thread (one at a time); the source is read on the feed's own thread
// only. The ring is single-producer single-consumer: the decoding thread writes frames, then
// publishes them with `written_`; the render thread reads them, then frees them with `read_`.
#pragma once

#include "playback/engine/PcmSource.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace velmora::audio {

class StreamFeed {
 public:
  // Called first on the decoding thread; what it returns is held until that thread ends (the
  // COM initialisation a Media Foundation reader needs).
  using ThreadScope = std::function<std::shared_ptr<void>()>;

  // Throws when the ring or the thread cannot be had; the engine turns that into a failed play.
  explicit StreamFeed(std::unique_ptr<PcmSource> source, ThreadScope scope = {});
  ~StreamFeed();  // stops the decoding thread and waits for it
  StreamFeed(const StreamFeed&) = delete;
  StreamFeed& operator=(const StreamFeed&) = delete;

  // Render thread: copies up to `frames` stereo frames into `out`; the number copied. Fewer
  // than asked while the decoder is behind (the rest is silence) or at the end.
  size_t Pull(float* out, size_t frames);
  // The source is exhausted (or failed) and everything has been pulled.
  bool Drained() const;
  // Frames decoded ahead and not yet pulled.
  size_t Buffered() const { return static_cast<size_t>(written_.load() - read_.load()); }

 private:
  void Produce();
  void Decode();

  std::unique_ptr<PcmSource> source_;
  ThreadScope scope_;
  std::vector<float> ring_;
  size_t capacityFrames_;
  std::atomic<uint64_t> written_{0};  // frames ever written / read; the ring index is modulo
  std::atomic<uint64_t> read_{0};
  std::atomic<bool> stop_{false};
  std::atomic<bool> ended_{false};
  std::thread thread_;
};

}  // namespace velmora::audio
