// RIFF/WAVE reader. Users drop in WAV files written by every tool of the last thirty years, so
// the chunk walk is forgiving about sizes (files cut short, streaming writers that never came
// back to fill the size in, missing pad bytes) and strict about the format itself: anything
// whose sample layout does not add up is refused rather than played as noise.
#include "playback/engine/Decoders.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

namespace velmora::audio {
namespace {

constexpr uint16_t kFormatPcm = 0x0001;
constexpr uint16_t kFormatFloat = 0x0003;
constexpr uint16_t kFormatExtensible = 0xFFFE;
constexpr int kMaxChannels = 32;
constexpr uint32_t kMaxRate = 768000;
constexpr uint32_t kStreamingSize = 0xFFFFFFFF;

// KSDATAFORMAT_SUBTYPE_PCM / _IEEE_FLOAT share everything after the first two bytes:
// xxxxxxxx-0000-0010-8000-00aa00389b71, stored little-endian.
constexpr uint8_t kSubtypeTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                      0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

uint16_t ReadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

uint32_t ReadU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

uint64_t ReadU64(const uint8_t* p) {
  return static_cast<uint64_t>(ReadU32(p)) | (static_cast<uint64_t>(ReadU32(p + 4)) << 32);
}

bool IsId(const uint8_t* p, const char (&id)[5]) { return std::memcmp(p, id, 4) == 0; }

// Chunk ids are four printable ASCII characters; used to tell a real next chunk from the middle
// of the previous one's data.
bool LooksLikeChunkId(const uint8_t* p) {
  for (int i = 0; i < 4; ++i) {
    if (p[i] < 0x20 || p[i] > 0x7E) return false;
  }
  return true;
}

enum class Encoding { kUnsigned8, kSigned, kFloat };

struct Format {
  Encoding encoding = Encoding::kSigned;
  int channels = 0;
  int sampleRate = 0;
  size_t bytesPerSample = 0;  // container size
};

bool ParseFormat(const uint8_t* body, size_t length, Format& format) {
  if (length < 16) return false;
  uint16_t tag = ReadU16(body);
  const uint16_t channels = ReadU16(body + 2);
  const uint32_t rate = ReadU32(body + 4);
  const uint16_t blockAlign = ReadU16(body + 12);
  const uint16_t bits = ReadU16(body + 14);
  uint16_t validBits = 0;

  if (tag == kFormatExtensible) {
    // cbSize 22: valid bits, channel mask, subformat GUID.
    if (length < 40 || ReadU16(body + 16) < 22) return false;
    validBits = ReadU16(body + 18);
    const uint8_t* guid = body + 24;
    if (std::memcmp(guid + 2, kSubtypeTail, sizeof(kSubtypeTail)) != 0) return false;
    tag = ReadU16(guid);
    if (tag != kFormatPcm && tag != kFormatFloat) return false;
  }

  if (channels == 0 || channels > kMaxChannels) return false;
  if (rate == 0 || rate > kMaxRate) return false;
  if (bits == 0) return false;

  // Plain PCM may state a bit depth below its container (12 bits in 16); the samples are
  // left-justified, so reading the whole container gives the right value either way.
  const size_t container = (static_cast<size_t>(bits) + 7) / 8;
  if (tag == kFormatPcm) {
    if (container > 4) return false;
    format.encoding = container == 1 ? Encoding::kUnsigned8 : Encoding::kSigned;
  } else if (tag == kFormatFloat) {
    if (bits != 32 && bits != 64) return false;
    format.encoding = Encoding::kFloat;
  } else {
    return false;  // ADPCM, mu-law and friends are left to Media Foundation
  }
  if (validBits > bits) return false;
  if (blockAlign != container * channels) return false;

  format.channels = channels;
  format.sampleRate = static_cast<int>(rate);
  format.bytesPerSample = container;
  return true;
}

// NaN and infinities become silence rather than a full-scale click.
float Clean(double value) {
  if (!std::isfinite(value)) return 0.0f;
  if (value > 1.0) return 1.0f;
  if (value < -1.0) return -1.0f;
  return static_cast<float>(value);
}

void ConvertSamples(const uint8_t* src, size_t count, const Format& format, float* dst) {
  switch (format.encoding) {
    case Encoding::kUnsigned8:
      for (size_t i = 0; i < count; ++i) dst[i] = static_cast<float>(static_cast<int>(src[i]) - 128) / 128.0f;
      return;
    case Encoding::kSigned:
      if (format.bytesPerSample == 2) {
        for (size_t i = 0; i < count; ++i) {
          dst[i] = static_cast<float>(static_cast<int16_t>(ReadU16(src + 2 * i))) / 32768.0f;
        }
      } else if (format.bytesPerSample == 3) {
        for (size_t i = 0; i < count; ++i) {
          const uint8_t* p = src + 3 * i;
          // Put the 24 bits at the top of a 32-bit word so the sign comes along for free.
          const uint32_t word = (static_cast<uint32_t>(p[0]) << 8) | (static_cast<uint32_t>(p[1]) << 16) |
                                (static_cast<uint32_t>(p[2]) << 24);
          dst[i] = static_cast<float>(static_cast<double>(static_cast<int32_t>(word)) / 2147483648.0);
        }
      } else {
        for (size_t i = 0; i < count; ++i) {
          dst[i] = static_cast<float>(static_cast<double>(static_cast<int32_t>(ReadU32(src + 4 * i))) / 2147483648.0);
        }
      }
      return;
    case Encoding::kFloat:
      if (format.bytesPerSample == 4) {
        for (size_t i = 0; i < count; ++i) {
          const uint32_t bits = ReadU32(src + 4 * i);
          float value;
          std::memcpy(&value, &bits, sizeof(value));
          dst[i] = Clean(value);
        }
      } else {
        for (size_t i = 0; i < count; ++i) {
          const uint64_t bits = ReadU64(src + 8 * i);
          double value;
          std::memcpy(&value, &bits, sizeof(value));
          dst[i] = Clean(value);
        }
      }
      return;
  }
}

}  // namespace

bool LooksLikeWav(const uint8_t* data, size_t size) {
  return data != nullptr && size >= 12 && IsId(data, "RIFF") && IsId(data + 8, "WAVE");
}

bool DecodeWav(const uint8_t* data, size_t size, PcmBuffer& out) {
  out = PcmBuffer{};
  if (!LooksLikeWav(data, size)) return false;

  // The RIFF size is ignored: writers get it wrong more often than the chunk sizes, and the
  // walk below never trusts a size past the end of the file anyway.
  Format format;
  bool haveFormat = false;
  const uint8_t* samples = nullptr;
  size_t dataBytes = 0;

  size_t offset = 12;
  while (size - offset >= 8 && !(haveFormat && samples)) {
    const uint8_t* header = data + offset;
    const uint32_t declared = ReadU32(header + 4);
    const size_t bodyOffset = offset + 8;
    const size_t available = size - bodyOffset;
    const size_t body = declared < available ? declared : available;

    if (IsId(header, "fmt ") && !haveFormat) {
      if (!ParseFormat(data + bodyOffset, body, format)) return false;
      haveFormat = true;
    } else if (IsId(header, "data") && !samples) {
      // A size of 0xFFFFFFFF (or any size past the end) comes from a writer that was cut off
      // or never seeked back: the samples run to the end of the file.
      samples = data + bodyOffset;
      dataBytes = declared == kStreamingSize ? available : body;
    }

    if (declared >= available) break;  // this chunk runs to the end of the file
    size_t next = bodyOffset + declared;
    if (declared & 1u) {
      // Chunks are padded to even sizes with a zero byte, but some writers forget it: when
      // the byte after an odd chunk is the start of a chunk id rather than padding, go on
      // from there.
      const bool padMissing = size - next >= 8 && data[next] != 0 && LooksLikeChunkId(data + next);
      if (!padMissing) next += 1;
    }
    offset = next;
    if (offset > size) break;
  }

  if (!haveFormat || !samples) return false;

  const size_t channels = static_cast<size_t>(format.channels);
  const size_t frameBytes = format.bytesPerSample * channels;
  size_t frames = dataBytes / frameBytes;
  if (frames == 0) return false;
  if (frames > kMaxSourceFrames) frames = kMaxSourceFrames;  // keep the first ten minutes

  try {
    out.samples.resize(frames * channels);
  } catch (const std::bad_alloc&) {
    out = PcmBuffer{};
    return false;
  }
  ConvertSamples(samples, frames * channels, format, out.samples.data());
  out.channels = format.channels;
  out.sampleRate = format.sampleRate;
  return true;
}

}  // namespace velmora::audio
