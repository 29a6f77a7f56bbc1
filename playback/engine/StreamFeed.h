// A long sound played while it decodes: a thread of its own decodes and converts ahead into a
// ring of about two seconds, the render thread takes from it. Memory stays the same whatever
// the file's length: beside the ring, one decoded piece, whatever size the source's pieces come
// in. Pure logic (std::thread and atomics), so it also runs natively under ThreadSanitizer
// (scripts/race.sh).
//
// Several outputs play the same sound, each at its own device's pace, from one decoding: each is
// a reader of the ring with a read position of its own. Reader 0 (the output device) is always
// there; the others join and leave as their outputs come and go.
//
// Threads: the constructor, the destructor and Buffered run on the controlling thread; Pull and
// Drained of one reader on that reader's render thread; Join and Leave under the mixer's lock;
// the source is read on the feed's own thread only. The decoding thread writes frames, then
// publishes them with `written_`; each reader reads them, then frees them with its `read_`; the
// decoding thread only overwrites what every present reader has read.
#pragma once

#include "playback/engine/PcmSource.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <condition_variable>
#include <mutex>
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
  ~StreamFeed();  // stops the decoding thread and waits for it (a nap of its ends at once)
  // Lets a feed go without waiting for its decoding thread: the last reference is dropped on a
  // thread of its own, so the controlling (UI) thread never joins a decoder.
  static void Retire(std::shared_ptr<StreamFeed> feed) noexcept;
  StreamFeed(const StreamFeed&) = delete;
  StreamFeed& operator=(const StreamFeed&) = delete;

  static constexpr int kMaxReaders = 2;

  // Render thread of `reader`: copies up to `frames` stereo frames into `out`; the number copied.
  // Fewer than asked while the decoder is behind (the rest is silence) or at the end. A reader
  // other than 0 that has fallen far behind reader 0 (its device's clock runs slower, or it
  // paused) skips ahead to it, so it never holds the decoder, and so the output device, back.
  size_t Pull(int reader, float* out, size_t frames);
  size_t Pull(float* out, size_t frames) { return Pull(0, out, frames); }
  // The source is exhausted (or failed) and `reader` has pulled everything.
  bool Drained(int reader = 0) const;
  // Frames decoded ahead and not yet pulled by reader 0.
  size_t Buffered() const { return static_cast<size_t>(written_.load() - read_[0].load()); }
  // Reader `reader` (1..) starts where reader 0 is now, or leaves (its output went away).
  void Join(int reader);
  void Leave(int reader);

 private:
  void Produce();
  void Decode();

  std::unique_ptr<PcmSource> source_;
  ThreadScope scope_;
  std::vector<float> ring_;
  size_t capacityFrames_;
  std::atomic<uint64_t> written_{0};  // frames ever written / read; the ring index is modulo
  std::atomic<uint64_t> read_[kMaxReaders] = {};
  std::atomic<bool> present_[kMaxReaders] = {};
  std::atomic<bool> stop_{false};
  std::mutex napLock_;  // the decoding thread naps on napEnd_ while the ring is full
  std::condition_variable napEnd_;
  std::atomic<bool> ended_{false};
  std::thread thread_;
};

}  // namespace velmora::audio
