// A long sound played while it decodes: a thread of its own decodes and converts ahead into a
// ring of about two seconds, the render thread takes from it. Memory stays the same whatever
// the file's length.
#pragma once

#include "playback/engine/PcmSource.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

namespace velmora::audio {

class StreamFeed {
 public:
  explicit StreamFeed(std::unique_ptr<PcmSource> source);
  ~StreamFeed();  // stops the decoding thread and waits for it
  StreamFeed(const StreamFeed&) = delete;
  StreamFeed& operator=(const StreamFeed&) = delete;

  // Render thread: copies up to `frames` stereo frames into `out`; the number copied. Fewer
  // than asked while the decoder is behind (the rest is silence) or at the end.
  size_t Pull(float* out, size_t frames);
  // The source is exhausted and everything has been pulled.
  bool Drained() const;
  // Frames decoded ahead and not yet pulled.
  size_t Buffered() const { return static_cast<size_t>(written_.load() - read_.load()); }

 private:
  void Produce();

  std::unique_ptr<PcmSource> source_;
  std::vector<float> ring_;
  size_t capacityFrames_;
  std::atomic<uint64_t> written_{0};  // frames ever written / read; the ring index is modulo
  std::atomic<uint64_t> read_{0};
  std::atomic<bool> stop_{false};
  std::atomic<bool> ended_{false};
  std::thread thread_;
};

}  // namespace velmora::audio
