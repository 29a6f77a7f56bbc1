#include "playback/engine/StreamFeed.h"

#include "playback/engine/Pcm.h"
#include "playback/engine/StreamConverter.h"

#include <algorithm>
#include <chrono>
#include <exception>

namespace velmora::audio {

namespace {
constexpr size_t kRingFrames = kEngineRate * 2;
constexpr auto kFullWait = std::chrono::milliseconds(20);  // the ring holds two seconds: a nap costs nothing
// How far a later reader may fall behind reader 0 before it skips ahead: well inside the ring,
// so the decoder always has room for reader 0.
constexpr uint64_t kMaxLagFrames = kRingFrames / 2;
}  // namespace

StreamFeed::StreamFeed(std::unique_ptr<PcmSource> source, ThreadScope scope)
    : source_(std::move(source)),
      scope_(std::move(scope)),
      ring_(kRingFrames * kEngineChannels),
      capacityFrames_(kRingFrames) {
  present_[0] = true;
  thread_ = std::thread([this] { Produce(); });
}

StreamFeed::~StreamFeed() {
  {
    std::lock_guard<std::mutex> lock(napLock_);
    stop_ = true;
  }
  napEnd_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void StreamFeed::Retire(std::shared_ptr<StreamFeed> feed) noexcept {
  if (!feed) return;
  try {
    std::thread([feed = std::move(feed)]() mutable { feed.reset(); }).detach();
  } catch (const std::exception&) {
    // No thread to be had: `feed` goes here after all, as it always could.
  }
}

void StreamFeed::Produce() {
  // Nothing may leave a thread function: a piece that cannot be allocated, or a decoder that
  // throws, ends the sound early instead of the program.
  try {
    std::shared_ptr<void> held = scope_ ? scope_() : nullptr;
    Decode();
  } catch (const std::exception&) {
  }
  ended_ = true;
}

void StreamFeed::Decode() {
  const size_t channels = static_cast<size_t>(std::max(source_->Channels(), 1));
  StreamConverter converter(static_cast<int>(channels), source_->SampleRate());
  // The source's latest piece, handed to the converter as it makes room: besides the ring, the
  // feed holds that one piece and the converter's few thousand frames, whatever a piece's size.
  std::vector<float> piece;
  size_t pushed = 0;  // frames of `piece` the converter has taken
  bool finished = false;
  while (!stop_) {
    const uint64_t written = written_.load();
    const uint64_t lead = read_[0].load();
    uint64_t slowest = lead;
    for (int r = 1; r < kMaxReaders; ++r) {
      // The read position is stored before the reader is marked present, so it is never stale.
      // A reader that stopped pulling (its device is gone) holds nothing back: past the lag
      // limit it skips ahead to reader 0 when it pulls again.
      if (!present_[r].load()) continue;
      const uint64_t read = read_[r].load();
      if (read < lead && lead - read <= kMaxLagFrames) slowest = std::min(slowest, read);
    }
    const size_t space = capacityFrames_ - static_cast<size_t>(written - slowest);
    if (space == 0) {
      std::unique_lock<std::mutex> lock(napLock_);
      napEnd_.wait_for(lock, kFullWait, [this] { return stop_.load(); });
      continue;
    }
    // Converted straight into the free slots, up to the ring's end at most (the next round wraps).
    const size_t at = static_cast<size_t>(written % capacityFrames_);
    const size_t made = converter.Pull(&ring_[at * kEngineChannels], std::min(space, capacityFrames_ - at));
    if (made > 0) {
      written_.store(written + made);  // publishes the frames to the render thread
      continue;
    }
    // The converter needs more: the rest of the piece, then the next one, then the end.
    const size_t pieceFrames = piece.size() / channels;
    if (pushed < pieceFrames) {
      pushed += converter.Push(piece.data() + pushed * channels, pieceFrames - pushed);
      continue;
    }
    if (finished) break;
    piece.clear();
    pushed = 0;
    if (!source_->ReadMore(piece)) {
      converter.Finish();
      finished = true;
    }
  }
}

size_t StreamFeed::Pull(int reader, float* out, size_t frames) {
  uint64_t read = read_[reader].load();
  if (reader != 0) {
    const uint64_t lead = read_[0].load();
    if (lead > read + kMaxLagFrames) read = lead;
  }
  const size_t available = static_cast<size_t>(written_.load() - read);
  const size_t n = std::min(frames, available);
  for (size_t f = 0; f < n; ++f) {
    const size_t slot = static_cast<size_t>((read + f) % capacityFrames_) * kEngineChannels;
    out[f * kEngineChannels] = ring_[slot];
    out[f * kEngineChannels + 1] = ring_[slot + 1];
  }
  read_[reader].store(read + n);  // frees the slots for the decoding thread
  return n;
}

bool StreamFeed::Drained(int reader) const { return ended_.load() && written_.load() == read_[reader].load(); }

void StreamFeed::Join(int reader) {
  if (reader <= 0 || reader >= kMaxReaders) return;
  read_[reader].store(read_[0].load());
  present_[reader].store(true);
}

void StreamFeed::Leave(int reader) {
  if (reader > 0 && reader < kMaxReaders) present_[reader].store(false);
}

}  // namespace velmora::audio
