// The decoders. Each returns false (and leaves `out` empty) for anything it cannot decode;
// none throws, crashes or allocates beyond kMaxSourceFrames on hostile input.
#pragma once

#include "playback/engine/Pcm.h"

#include <cstddef>
#include <cstdint>

namespace velmora::audio {

// RIFF/WAVE: PCM 8/16/24/32-bit, IEEE float 32/64-bit, WAVE_FORMAT_EXTENSIBLE with either,
// any channel count (1..32) and rate (1..768,000). Pure parsing code.
bool DecodeWav(const uint8_t* data, size_t size, PcmBuffer& out);

// Ogg Vorbis through stb_vorbis. Pure parsing code.
bool DecodeVorbis(const uint8_t* data, size_t size, PcmBuffer& out);

// Cheap sniffing of the container, so the right decoder is tried first.
bool LooksLikeWav(const uint8_t* data, size_t size);
bool LooksLikeOgg(const uint8_t* data, size_t size);

}  // namespace velmora::audio
