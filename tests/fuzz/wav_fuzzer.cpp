// libFuzzer target for the WAV reader and the conversion behind it (built natively by
// scripts/fuzz.sh).
#include "playback/engine/Decoders.h"
#include "tests/fuzz/FuzzCheck.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace velmora::audio;
  PcmBuffer pcm;
  pcm.channels = 7;  // stale contents must not survive a failed decode
  pcm.samples.assign(3, 2.0f);
  const bool decoded = DecodeWav(data, size, pcm);
  if (decoded) fuzz::Require(LooksLikeWav(data, size));
  fuzz::CheckDecodeAndConvert(decoded, pcm, 32);
  return 0;
}
