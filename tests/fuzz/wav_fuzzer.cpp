// libFuzzer target for the WAV reader and the conversion behind it (built natively by
// scripts/fuzz.sh): the whole-file decoder, and the reader that streams long files piece by
// piece, which must hand over exactly the same samples.
#include "playback/engine/Decoders.h"
#include "tests/fuzz/FuzzCheck.h"

#include <cstddef>
#include <cstdint>
#include <memory>

VELMORA_FUZZ_TARGET(wav) {
  using namespace velmora::audio;
  PcmBuffer pcm;
  pcm.channels = 7;  // stale contents must not survive a failed decode
  pcm.samples.assign(3, 2.0f);
  const bool decoded = DecodeWav(data, size, pcm);
  if (decoded) fuzz::Require(LooksLikeWav(data, size));
  fuzz::CheckDecodeAndConvert(decoded, pcm, kMaxSourceChannels);

  std::unique_ptr<PcmSource> source = OpenWavSource(std::make_unique<MemoryBytes>(data, size));
  fuzz::Require(static_cast<bool>(source) == decoded);
  if (!source) return 0;
  fuzz::Require(source->Channels() == pcm.channels && source->SampleRate() == pcm.sampleRate);
  // The declared length is the data chunk's, whatever the file holds; never more than is there.
  fuzz::Require(source->DeclaredFrames() * static_cast<uint64_t>(pcm.channels) <= size);
  std::vector<float> streamed;
  while (source->ReadMore(streamed)) fuzz::Require(streamed.size() % static_cast<size_t>(pcm.channels) == 0);
  fuzz::Require(streamed.size() / static_cast<size_t>(pcm.channels) == source->DeclaredFrames());
  if (source->DeclaredFrames() <= kMaxSourceFrames) fuzz::Require(streamed == pcm.samples);
  return 0;
}
