// libFuzzer target for the Ogg Vorbis wrapper (stb_vorbis underneath) and the conversion
// behind it (built natively by scripts/fuzz.sh): the whole-file decoder, the reader that
// streams long files from an open file, and the length read from the last page.
#include "playback/engine/Decoders.h"
#include "tests/fuzz/FuzzCheck.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

VELMORA_FUZZ_TARGET(vorbis) {
  using namespace velmora::audio;
  PcmBuffer pcm;
  pcm.channels = 7;  // stale contents must not survive a failed decode
  pcm.samples.assign(3, 2.0f);
  const bool decoded = DecodeVorbis(data, size, pcm);
  if (decoded) fuzz::Require(LooksLikeOgg(data, size));
  fuzz::CheckDecodeAndConvert(decoded, pcm, 8);

  // Any bytes may claim a length; only the rate's range is promised.
  uint64_t frames = 0;
  int rate = 0;
  if (OggDeclaredLength(data, size, data, size, frames, rate)) fuzz::Require(rate >= 1 && rate <= 768000);

  if (size == 0) return 0;
  std::FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "rb");
  std::unique_ptr<PcmSource> source = OpenVorbisSource(file, size);
  if (!source) return 0;
  fuzz::Require(LooksLikeOgg(data, size));
  fuzz::Require(source->Channels() >= 1 && source->Channels() <= 8);
  fuzz::Require(source->SampleRate() >= 1 && source->SampleRate() <= 768000);
  std::vector<float> streamed;
  while (streamed.size() <= kMaxSourceFrames && source->ReadMore(streamed)) {
    fuzz::Require(streamed.size() % static_cast<size_t>(source->Channels()) == 0);
  }
  fuzz::CheckSamples(streamed);
  // Read from a file or from memory, stb_vorbis decodes the same stream.
  if (decoded && streamed.size() <= kMaxSourceFrames) fuzz::Require(streamed == pcm.samples);
  return 0;
}
