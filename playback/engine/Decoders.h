// The decoders. Each returns false (or null) for anything it cannot decode; none throws,
// crashes or allocates beyond kMaxSourceFrames on hostile input. Pure parsing code.
//
// Two ways in: a whole file in memory (short effects, which are cached decoded), or a source
// that reads the file as it decodes (long files, played while they decode; see PcmSource.h).
#pragma once

#include "playback/engine/ByteSource.h"
#include "playback/engine/Pcm.h"
#include "playback/engine/PcmSource.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

namespace velmora::audio {

// RIFF/WAVE: PCM 8/16/24/32-bit, IEEE float 32/64-bit, WAVE_FORMAT_EXTENSIBLE with either,
// the channel counts and rates AcceptedFormat takes. Keeps at most kMaxSourceFrames.
bool DecodeWav(const uint8_t* data, size_t size, PcmBuffer& out);
// The same files read piece by piece from `file`, to their end; the length is the data
// chunk's. Null when the header is not one DecodeWav takes.
std::unique_ptr<PcmSource> OpenWavSource(std::unique_ptr<ByteSource> file);

// Whether the file's fmt chunk states a channel count or rate AcceptedFormat refuses, whatever
// its encoding (ADPCM too): such a file is refused at once rather than handed to another decoder,
// which could only produce the same layout (and some take a very long time over odd ones).
bool WavStatesRefusedLayout(ByteSource& file);

// Ogg Vorbis through stb_vorbis. Keeps at most kMaxSourceFrames.
bool DecodeVorbis(const uint8_t* data, size_t size, PcmBuffer& out);
// The same, read from an open file of `size` bytes as it decodes; the source owns and closes
// `file` (also when it returns null). The length is the last page's granule position.
std::unique_ptr<PcmSource> OpenVorbisSource(std::FILE* file, uint64_t size);
// The length an Ogg Vorbis file declares, from its first page (`head`: the identification
// header, which has the rate) and its last bytes (`tail`: the last page of that stream holds
// the granule position, the stream's length in frames). False when either is missing.
bool OggDeclaredLength(const uint8_t* head, size_t headSize, const uint8_t* tail, size_t tailSize, uint64_t& frames,
                       int& sampleRate);

// Cheap sniffing of the container, so the right decoder is tried first.
bool LooksLikeWav(const uint8_t* data, size_t size);
bool LooksLikeOgg(const uint8_t* data, size_t size);

}  // namespace velmora::audio
