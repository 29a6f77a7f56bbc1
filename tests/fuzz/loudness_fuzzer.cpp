// libFuzzer target for the loudness meter (built natively by scripts/fuzz.sh): stereo at any rate
// the engine takes, fed in pieces of sizes the input picks. The samples are the input's own
// bytes, either as float (NaN, infinities, 1e38 and denormals included) or as 8-bit samples in
// [-1, 1], looped a chosen number of times so that a short input still fills the 400 ms blocks.
//
// The input: three bytes for the rate, four to seed the pieces' sizes, one for the samples' kind
// and how many times they loop; the rest is the samples. What must hold: a measured loudness is
// finite (and, for samples within full scale, no louder than the weighting can make them), an
// unmeasured one is exactly kNoLoudness, the peak is finite and the same in one go as in pieces,
// and the leveling gain stays within 0..+12 dB.
#include "playback/engine/Loudness.h"
#include "playback/engine/Pcm.h"
#include "tests/fuzz/FuzzCheck.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

using namespace velmora::audio;

// Enough for a few blocks at the highest rate; a longer input adds nothing new.
constexpr size_t kMaxFrames = size_t{1} << 19;

void CheckInfo(const LoudnessInfo& info, bool withinFullScale) {
  fuzz::Require(std::isfinite(info.lufs) && std::isfinite(info.peak) && info.peak >= 0.0f);
  fuzz::Require(info.Measured() || info.lufs == LoudnessInfo::kNoLoudness);
  // The weighting's impulse response sums to at most 3.43 in magnitude (at 384 kHz; less below),
  // so from samples within full scale no weighted sample passes 3.43 and no block reads above
  // 10 log10(2 x 3.43^2) - 0.691 = +13.0. A filter that runs away passes it at once.
  if (withinFullScale) fuzz::Require(info.lufs <= 13.1f && info.peak <= 1.0f);
  const float gain = LevelingGain(info);
  fuzz::Require(std::isfinite(gain) && gain >= 0.0f && gain <= kMaxLevelingGain);
}

}  // namespace

VELMORA_FUZZ_TARGET(loudness) {
  const int rate = fuzz::SourceRate(fuzz::TakeBytes(data, size, 3));
  fuzz::PieceSizes pieces(fuzz::TakeBytes(data, size, 4));
  const uint32_t kind = fuzz::TakeBytes(data, size, 1);
  const bool floats = kind & 1;
  const size_t loops = 1 + (kind >> 1);

  std::vector<float> stereo;
  if (floats) {
    stereo.resize(size / sizeof(float) / 2 * 2);
    if (!stereo.empty()) std::memcpy(stereo.data(), data, stereo.size() * sizeof(float));
  } else {
    for (size_t i = 0; i + 1 < size; ++i) stereo.push_back(static_cast<float>(static_cast<int8_t>(data[i])) / 128.0f);
    stereo.resize(stereo.size() / 2 * 2);
  }
  if (stereo.empty()) return 0;
  const size_t frames = stereo.size() / 2;
  const size_t total = std::min(frames * loops, kMaxFrames);

  LoudnessMeter meter(rate), inOneGo(rate);
  float peak = 0.0f;
  for (size_t done = 0; done < total;) {
    const size_t at = done % frames;
    const size_t n = std::min({pieces.Next(), frames - at, total - done});
    meter.Add(&stereo[at * 2], n);
    done += n;
    if (done == total / 2) CheckInfo(meter.Result(), !floats);  // asked mid-way, as a long file is
  }
  for (size_t done = 0; done < total; done += std::min(frames, total - done)) {
    inOneGo.Add(stereo.data(), std::min(frames, total - done));
  }
  for (const float v : stereo) peak = std::max(peak, std::isfinite(v) ? std::fabs(v) : 0.0f);

  const LoudnessInfo info = meter.Result();
  CheckInfo(info, !floats);
  fuzz::Require(info.peak == peak && inOneGo.Result().peak == peak);
  fuzz::Require(meter.Seconds() == static_cast<double>(total) / rate);
  return 0;
}
