// Ogg Vorbis through stb_vorbis, decoding from memory. stb_vorbis allocates from a fixed arena
// we hand it, so a hostile header asking for enormous codebooks fails to open instead of
// taking the machine's memory.
#include "playback/engine/Decoders.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <vector>

// Only the memory API is used; the FILE* and push-data parts would just be dead code.
#define STB_VORBIS_NO_STDIO
#define STB_VORBIS_NO_PUSHDATA_API
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wall"
#pragma GCC diagnostic ignored "-Wextra"
#pragma GCC diagnostic ignored "-Wpedantic"
#pragma GCC diagnostic ignored "-Wshadow"
#pragma GCC diagnostic ignored "-Wconversion"
#pragma GCC diagnostic ignored "-Wsign-conversion"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wunused-value"
#pragma GCC diagnostic ignored "-Wunused-variable"
#pragma GCC diagnostic ignored "-Wold-style-cast"
#pragma GCC diagnostic ignored "-Wcast-qual"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include "stb_vorbis.h"
#pragma GCC diagnostic pop
// stb_vorbis leaves single-letter macros behind.
#undef L
#undef C
#undef R

namespace velmora::audio {
namespace {

constexpr int kMaxChannels = 8;
constexpr unsigned kMaxRate = 768000;
constexpr int kChunkFrames = 4096;

// Real files need well under 200 KB of decoder state; the larger arena is only tried when the
// small one runs out, and caps what any stream can claim.
constexpr int kArenaSizes[] = {1 << 20, 16 << 20};

struct VorbisCloser {
  void operator()(stb_vorbis* decoder) const { stb_vorbis_close(decoder); }
};
using VorbisHandle = std::unique_ptr<stb_vorbis, VorbisCloser>;

// Vorbis orders channels L C R for 3.0 and above; the rest of the engine (and WAVE) expects
// FL FR FC LFE, rears, sides. Row n-1 gives, for each WAVE position, the Vorbis channel.
constexpr int kVorbisToWave[kMaxChannels][kMaxChannels] = {
    {0},
    {0, 1},
    {0, 2, 1},
    {0, 1, 2, 3},
    {0, 2, 1, 3, 4},
    {0, 2, 1, 5, 3, 4},
    {0, 2, 1, 6, 5, 3, 4},
    {0, 2, 1, 7, 5, 6, 3, 4},
};

float Clean(float value) {
  if (!std::isfinite(value)) return 0.0f;
  if (value > 1.0f) return 1.0f;
  if (value < -1.0f) return -1.0f;
  return value;
}

}  // namespace

bool LooksLikeOgg(const uint8_t* data, size_t size) {
  // Capture pattern plus stream structure version 0.
  return data != nullptr && size >= 5 && std::memcmp(data, "OggS", 4) == 0 && data[4] == 0;
}

bool DecodeVorbis(const uint8_t* data, size_t size, PcmBuffer& out) {
  out = PcmBuffer{};
  if (!LooksLikeOgg(data, size)) return false;
  if (size > static_cast<size_t>(std::numeric_limits<int>::max())) return false;

  try {
    std::unique_ptr<char[]> arena;
    VorbisHandle decoder;
    for (const int arenaSize : kArenaSizes) {
      arena.reset(new char[static_cast<size_t>(arenaSize)]);
      const stb_vorbis_alloc alloc{arena.get(), arenaSize};
      int error = VORBIS__no_error;
      decoder.reset(stb_vorbis_open_memory(data, static_cast<int>(size), &error, &alloc));
      if (decoder || error != VORBIS_outofmem) break;
    }
    if (!decoder) return false;

    const stb_vorbis_info info = stb_vorbis_get_info(decoder.get());
    if (info.channels < 1 || info.channels > kMaxChannels) return false;
    if (info.sample_rate == 0 || info.sample_rate > kMaxRate) return false;

    const size_t channels = static_cast<size_t>(info.channels);
    const int* order = kVorbisToWave[info.channels - 1];
    std::vector<float> chunk(kChunkFrames * channels);
    std::vector<float>& samples = out.samples;
    size_t frames = 0;
    // A stream cut short decodes up to the damage, like a WAV whose data runs past the end.
    while (frames < kMaxSourceFrames) {
      const int got = stb_vorbis_get_samples_float_interleaved(decoder.get(), info.channels, chunk.data(),
                                                               static_cast<int>(chunk.size()));
      if (got <= 0) break;
      size_t take = static_cast<size_t>(got);
      if (take > kMaxSourceFrames - frames) take = kMaxSourceFrames - frames;
      const size_t base = samples.size();
      samples.resize(base + take * channels);
      for (size_t f = 0; f < take; ++f) {
        const float* from = &chunk[f * channels];
        float* to = &samples[base + f * channels];
        for (size_t c = 0; c < channels; ++c) to[c] = Clean(from[order[c]]);
      }
      frames += take;
    }
    if (frames == 0) {
      out = PcmBuffer{};
      return false;
    }
    out.channels = info.channels;
    out.sampleRate = static_cast<int>(info.sample_rate);
    return true;
  } catch (const std::bad_alloc&) {
    out = PcmBuffer{};
    return false;
  }
}

}  // namespace velmora::audio
