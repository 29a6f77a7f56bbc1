// libFuzzer target for the way long files play (built natively by scripts/fuzz.sh): a whole file
// read as the engine streams it - a WAV over memory, an Ogg Vorbis file, or raw float frames of
// any accepted layout - its pieces cut again to sizes the input picks, through the stream
// converter pulled in runs of chosen sizes, and through a stream feed pulled to its end.
//
// The input: four bytes seed the sizes of the source's pieces, four the sizes of the pulls; the
// rest is the file. Raw frames (anything neither WAV nor Ogg) start with their channel count and
// rate. What must hold: every sample finite and within [-1, 1], no call doing more than it was
// allowed, the converter holding no more than its bound, the whole sound coming out at the
// length it has at 44.1 kHz, and the same samples however it was cut and by either way.
#include "playback/engine/Decoders.h"
#include "playback/engine/StreamConverter.h"
#include "playback/engine/StreamFeed.h"
#include "tests/fuzz/FuzzCheck.h"

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace {

using namespace velmora::audio;

// More than this many source frames is not converted: a few kilobytes of Ogg can decode to
// minutes, and a 64 KB file says all there is to say well before that.
constexpr uint64_t kMaxFrames = uint64_t{1} << 18;

// Raw float frames in any layout and rate the engine takes.
class RawSource final : public PcmSource {
 public:
  RawSource(const uint8_t* data, size_t size) {
    channels_ = 1 + static_cast<int>(fuzz::TakeBytes(data, size, 1) % kMaxSourceChannels);
    rate_ = fuzz::SourceRate(fuzz::TakeBytes(data, size, 3));
    const size_t frames = size / sizeof(float) / static_cast<size_t>(channels_);
    samples_.resize(frames * static_cast<size_t>(channels_));
    if (!samples_.empty()) std::memcpy(samples_.data(), data, samples_.size() * sizeof(float));
  }
  int Channels() const override { return channels_; }
  int SampleRate() const override { return rate_; }
  uint64_t DeclaredFrames() const override { return 0; }
  bool ReadMore(std::vector<float>& samples) override {
    if (done_ || samples_.empty()) return false;
    samples.insert(samples.end(), samples_.begin(), samples_.end());
    done_ = true;
    return true;
  }

 private:
  int channels_;
  int rate_;
  std::vector<float> samples_;
  bool done_ = false;
};

std::unique_ptr<PcmSource> Open(const uint8_t* data, size_t size) {
  if (LooksLikeOgg(data, size)) {
    std::FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    return file ? OpenVorbisSource(file, size) : nullptr;
  }
  if (LooksLikeWav(data, size)) return OpenWavSource(std::make_unique<MemoryBytes>(data, size));
  return std::make_unique<RawSource>(data, size);
}

// A source's frames handed on in pieces of the chosen sizes, at most kMaxFrames of them.
class Recut final : public PcmSource {
 public:
  Recut(std::unique_ptr<PcmSource> source, uint32_t seed)
      : source_(std::move(source)), channels_(static_cast<size_t>(source_->Channels())), sizes_(seed) {}
  int Channels() const override { return source_->Channels(); }
  int SampleRate() const override { return source_->SampleRate(); }
  uint64_t DeclaredFrames() const override { return source_->DeclaredFrames(); }
  bool ReadMore(std::vector<float>& samples) override {
    const size_t want = static_cast<size_t>(std::min<uint64_t>(sizes_.Next(), kMaxFrames - handed_));
    held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(at_));
    at_ = 0;
    while (held_.size() / channels_ < want && source_->ReadMore(held_)) {
    }
    const size_t frames = std::min(want, held_.size() / channels_);
    if (frames == 0) return false;
    samples.insert(samples.end(), held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(frames * channels_));
    at_ = frames * channels_;
    handed_ += frames;
    return true;
  }

 private:
  std::unique_ptr<PcmSource> source_;
  size_t channels_;
  fuzz::PieceSizes sizes_;
  std::vector<float> held_;
  size_t at_ = 0;
  uint64_t handed_ = 0;
};

// Room for the longest pull, made once: filling it anew for every run would cost more than the
// conversion it checks.
float* RunBuffer() {
  static std::vector<float> buffer(fuzz::PieceSizes::kMost * kEngineChannels);
  return buffer.data();
}

void CheckFrames(const float* stereo, size_t frames) {
  for (size_t i = 0; i < frames * kEngineChannels; ++i)
    fuzz::Require(std::isfinite(stereo[i]) && stereo[i] >= -1.0f && stereo[i] <= 1.0f);
}

// The whole of `source` through a converter: its pieces pushed as far as the converter takes
// them, pulled in runs of the chosen sizes. `sourceFrames` counts what went in.
std::vector<float> Convert(PcmSource& source, uint32_t pullSeed, uint64_t& sourceFrames) {
  const size_t channels = static_cast<size_t>(source.Channels());
  StreamConverter converter(source.Channels(), source.SampleRate());
  fuzz::PieceSizes runs(pullSeed);
  std::vector<float> out;
  float* run = RunBuffer();
  const auto drain = [&] {
    for (;;) {
      const size_t asked = runs.Next();
      const size_t made = converter.Pull(run, asked);
      fuzz::Require(made <= asked);
      if (made == 0) return;
      CheckFrames(run, made);
      out.insert(out.end(), run, run + made * kEngineChannels);
    }
  };
  std::vector<float> piece;
  sourceFrames = 0;
  while (source.ReadMore(piece)) {
    fuzz::Require(piece.size() % channels == 0);
    const size_t frames = piece.size() / channels;
    for (size_t pushed = 0; pushed < frames; drain()) {
      const size_t taken = converter.Push(piece.data() + pushed * channels, frames - pushed);
      fuzz::Require(taken <= frames - pushed && converter.Pending() <= StreamConverter::kMaxPendingFrames);
      pushed += taken;
    }
    sourceFrames += frames;
    piece.clear();
  }
  converter.Finish();
  piece.assign(channels, 0.5f);
  fuzz::Require(converter.Push(piece.data(), 1) == 0);  // nothing after the end
  drain();
  return out;
}

// The same through a stream feed, pulled in runs of the chosen sizes until it is drained.
std::vector<float> Feed(std::unique_ptr<PcmSource> source, uint32_t pullSeed) {
  StreamFeed feed(std::move(source));
  fuzz::PieceSizes runs(pullSeed);
  std::vector<float> out;
  float* run = RunBuffer();
  while (!feed.Drained()) {
    const size_t asked = runs.Next();
    const size_t got = feed.Pull(run, asked);
    fuzz::Require(got <= asked);
    out.insert(out.end(), run, run + got * kEngineChannels);
    if (got == 0) std::this_thread::sleep_for(std::chrono::microseconds(100));  // the decoder is behind
  }
  return out;
}

}  // namespace

VELMORA_FUZZ_TARGET(stream) {
  const uint32_t pieceSeed = fuzz::TakeBytes(data, size, 4);
  const uint32_t pullSeed = fuzz::TakeBytes(data, size, 4);
  std::unique_ptr<PcmSource> source = Open(data, size);
  if (!source || !AcceptedFormat(source->Channels(), source->SampleRate())) return 0;
  const int rate = source->SampleRate();
  Recut recut(std::move(source), pieceSeed);
  uint64_t frames = 0;
  const std::vector<float> converted = Convert(recut, pullSeed, frames);

  // Every frame in comes out, at 44.1 kHz: as long as the engine makes the sound when it
  // converts it whole.
  const auto from = static_cast<uint64_t>(rate);
  const uint64_t expected = rate == kEngineRate ? frames : (frames * uint64_t{kEngineRate} + from - 1) / from;
  fuzz::Require(converted.size() == expected * kEngineChannels);

  // Handed over all at once and pulled as far as it goes each time, the same samples.
  Recut whole(Open(data, size), 0);
  uint64_t wholeFrames = 0;
  {
    const size_t channels = static_cast<size_t>(whole.Channels());
    StreamConverter converter(whole.Channels(), rate);
    std::vector<float> all, out(static_cast<size_t>(expected + 1) * kEngineChannels);
    while (wholeFrames < kMaxFrames && whole.ReadMore(all)) wholeFrames = all.size() / channels;
    size_t made = 0;
    for (size_t pushed = 0; pushed < wholeFrames;) {
      pushed += converter.Push(all.data() + pushed * channels, static_cast<size_t>(wholeFrames) - pushed);
      made += converter.Pull(out.data() + made * kEngineChannels, out.size() / kEngineChannels - made);
    }
    converter.Finish();
    made += converter.Pull(out.data() + made * kEngineChannels, out.size() / kEngineChannels - made);
    fuzz::Require(wholeFrames == frames && made == expected);
    fuzz::Require(std::equal(converted.begin(), converted.end(), out.begin()));
  }

  // And played from a feed on its own thread, the same again. A sound longer than the feed's ring
  // (two seconds) makes its thread wait for room in naps of 20 ms: one such input in eight is
  // played, so the ring's wrapping is covered and the fuzzer keeps its pace.
  if (expected <= kEngineRate * 2 || (pieceSeed >> 29) == 0)
    fuzz::Require(Feed(std::make_unique<Recut>(Open(data, size), pieceSeed), pullSeed) == converted);
  return 0;
}
