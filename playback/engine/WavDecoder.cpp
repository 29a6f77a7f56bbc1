// RIFF/WAVE reader. Users drop in WAV files written by every tool of the last thirty years, so
// the chunk walk is forgiving about sizes (files cut short, streaming writers that never came
// back to fill the size in, missing pad bytes) and strict about the format itself: anything
// whose sample layout does not add up is refused rather than played as noise.
#include "playback/engine/Decoders.h"

#include "playback/engine/ByteSource.h"
#include "playback/engine/PcmSource.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
#include <vector>

namespace velmora::audio {
namespace {

constexpr uint16_t kFormatPcm = 0x0001;
constexpr uint16_t kFormatFloat = 0x0003;
constexpr uint16_t kFormatExtensible = 0xFFFE;
constexpr uint32_t kStreamingSize = 0xFFFFFFFF;
// Real files have a handful of chunks before the samples; walking a file of millions of tiny
// chunks would only cost time.
constexpr int kMaxChunks = 4096;
// What a streamed WAV reads from disk per piece.
constexpr size_t kPieceBytes = size_t{64} << 10;

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

  if (rate > static_cast<uint32_t>(kMaxSourceRate) || !AcceptedFormat(channels, static_cast<int>(rate))) return false;
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

// Where the samples of a WAV file are and how they are laid out.
struct Layout {
  Format format;
  uint64_t dataOffset = 0;
  uint64_t frames = 0;
};

// The chunk walk. The RIFF size is ignored: writers get it wrong more often than the chunk
// sizes, and the walk never trusts a size past the end of the file anyway.
// `stated` (when given) gets the fmt chunk's channel count and rate, whatever its encoding, even
// when the layout is refused.
struct Stated {
  bool found = false;
  uint32_t channels = 0;
  uint32_t rate = 0;
};

bool FindLayout(ByteSource& file, Layout& layout, Stated* stated = nullptr) {
  const uint64_t size = file.Size();
  uint8_t riff[12];
  if (size < 12 || file.ReadAt(0, riff, 12) != 12 || !LooksLikeWav(riff, 12)) return false;

  bool haveFormat = false;
  bool haveData = false;
  uint64_t dataBytes = 0;
  uint64_t offset = 12;
  for (int chunk = 0; size - offset >= 8 && !(haveFormat && haveData); ++chunk) {
    if (chunk == kMaxChunks) return false;
    uint8_t header[8];
    if (file.ReadAt(offset, header, 8) != 8) return false;
    const uint32_t declared = ReadU32(header + 4);
    const uint64_t bodyOffset = offset + 8;
    const uint64_t available = size - bodyOffset;
    const uint64_t body = declared < available ? declared : available;

    if (IsId(header, "fmt ") && !haveFormat) {
      uint8_t fmt[64];  // the longest layout read is WAVE_FORMAT_EXTENSIBLE's 40 bytes
      const size_t want = body < sizeof(fmt) ? static_cast<size_t>(body) : sizeof(fmt);
      if (file.ReadAt(bodyOffset, fmt, want) != want) return false;
      if (stated && want >= 8) *stated = Stated{true, ReadU16(fmt + 2), ReadU32(fmt + 4)};
      if (!ParseFormat(fmt, want, layout.format)) return false;
      haveFormat = true;
    } else if (IsId(header, "data") && !haveData) {
      // A size of 0xFFFFFFFF (or any size past the end) comes from a writer that was cut off
      // or never seeked back: the samples run to the end of the file.
      layout.dataOffset = bodyOffset;
      dataBytes = declared == kStreamingSize ? available : body;
      haveData = true;
    }

    if (declared >= available) break;  // this chunk runs to the end of the file
    uint64_t next = bodyOffset + declared;
    if (declared & 1u) {
      // Chunks are padded to even sizes with a zero byte, but some writers forget it: when
      // the byte after an odd chunk is the start of a chunk id rather than padding, go on
      // from there.
      uint8_t peek[4];
      const bool padMissing =
          size - next >= 8 && file.ReadAt(next, peek, 4) == 4 && peek[0] != 0 && LooksLikeChunkId(peek);
      if (!padMissing) next += 1;
    }
    offset = next;
    if (offset > size) break;
  }
  if (!haveFormat || !haveData) return false;
  layout.frames = dataBytes / (layout.format.bytesPerSample * static_cast<uint64_t>(layout.format.channels));
  return layout.frames > 0;
}

// Reads the samples a piece at a time, straight from the file.
class WavSource final : public PcmSource {
 public:
  WavSource(std::unique_ptr<ByteSource> file, const Layout& layout)
      : file_(std::move(file)),
        layout_(layout),
        frameBytes_(layout.format.bytesPerSample * static_cast<size_t>(layout.format.channels)) {}

  int Channels() const override { return layout_.format.channels; }
  int SampleRate() const override { return layout_.format.sampleRate; }
  uint64_t DeclaredFrames() const override { return layout_.frames; }

  bool ReadMore(std::vector<float>& samples) override {
    if (done_ >= layout_.frames) return false;
    // At least one frame per piece, however wide: 32 channels of doubles are 256 bytes.
    const uint64_t pieceFrames = std::max<uint64_t>(1, kPieceBytes / frameBytes_);
    const uint64_t frames = std::min(pieceFrames, layout_.frames - done_);
    bytes_.resize(static_cast<size_t>(frames) * frameBytes_);
    const size_t got = file_->ReadAt(layout_.dataOffset + done_ * frameBytes_, bytes_.data(), bytes_.size());
    const size_t whole = got / frameBytes_;  // a file cut short ends at its last whole frame
    if (whole == 0) {
      done_ = layout_.frames;
      return false;
    }
    const size_t count = whole * static_cast<size_t>(layout_.format.channels);
    const size_t start = samples.size();
    samples.resize(start + count);
    ConvertSamples(bytes_.data(), count, layout_.format, samples.data() + start);
    done_ += whole;
    return true;
  }

 private:
  std::unique_ptr<ByteSource> file_;
  Layout layout_;
  size_t frameBytes_;
  uint64_t done_ = 0;
  std::vector<uint8_t> bytes_;
};

}  // namespace

bool LooksLikeWav(const uint8_t* data, size_t size) {
  return data != nullptr && size >= 12 && IsId(data, "RIFF") && IsId(data + 8, "WAVE");
}

bool DecodeWav(const uint8_t* data, size_t size, PcmBuffer& out) {
  out = PcmBuffer{};
  if (!LooksLikeWav(data, size)) return false;
  MemoryBytes file(data, size);
  Layout layout;
  if (!FindLayout(file, layout)) return false;

  const size_t channels = static_cast<size_t>(layout.format.channels);
  size_t frames = static_cast<size_t>(std::min<uint64_t>(layout.frames, kMaxSourceFrames));  // the first ten minutes
  try {
    out.samples.resize(frames * channels);
  } catch (const std::exception&) {
    out = PcmBuffer{};
    return false;
  }
  ConvertSamples(data + layout.dataOffset, frames * channels, layout.format, out.samples.data());
  out.channels = layout.format.channels;
  out.sampleRate = layout.format.sampleRate;
  return true;
}

bool WavStatesRefusedLayout(ByteSource& file) {
  Layout layout;
  Stated stated;
  FindLayout(file, layout, &stated);
  return stated.found &&
         (stated.rate > static_cast<uint32_t>(kMaxSourceRate) || stated.channels > static_cast<uint32_t>(kMaxSourceChannels) ||
          !AcceptedFormat(static_cast<int>(stated.channels), static_cast<int>(stated.rate)));
}

std::unique_ptr<PcmSource> OpenWavSource(std::unique_ptr<ByteSource> file) {
  if (!file) return nullptr;
  Layout layout;
  if (!FindLayout(*file, layout)) return nullptr;
  return std::make_unique<WavSource>(std::move(file), layout);
}

}  // namespace velmora::audio
