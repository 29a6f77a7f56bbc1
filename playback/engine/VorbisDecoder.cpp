// Ogg Vorbis through stb_vorbis, decoding from memory (short effects) or from an open file as it
// plays (long ones).
//
// stb_vorbis (1.22, as Debian ships it) trusts its headers too much for files users pick up
// anywhere. Fuzzing it (tests/fuzz/vorbis_fuzzer.cpp) showed, and its public bug list confirms:
//  - comment header: a vendor or comment length beyond the packet, or a comment count whose
//    list cannot be allocated, makes it write before its buffer or walk a null list while
//    cleaning up;
//  - setup header: a codebook whose entries x dimensions overflows an int turns into a negative
//    allocation size and writes through a wild pointer; a large lookup-1 codebook overflows a
//    float-to-int conversion.
// So before stb_vorbis sees a file, the comment and setup packets are read here the same way it
// reads them and anything it would mishandle is refused. It also allocates only from an arena
// we hand it, sized for the comments plus a bounded allowance for the decoder, so no header
// can make it take unbounded memory.
#include "playback/engine/Decoders.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <limits>
#include <memory>
#include <vector>

// The memory and FILE* APIs are used (the FILE* one reads exactly like the memory one, a byte or
// a block at a time, so what the header checks below assume holds for both); push-data would
// just be dead code.
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

constexpr int kMaxChannels = kMaxSourceChannels;
constexpr unsigned kMaxRate = kMaxSourceRate;
constexpr int kChunkFrames = 4096;
// A streamed file's headers are looked for in its first bytes, read in growing steps; cover art
// in the comments is what makes them long.
constexpr size_t kFirstHeadBytes = size_t{256} << 10;
constexpr size_t kMaxHeadBytes = size_t{64} << 20;
// The last page of a stream is at most 65,307 bytes long.
constexpr size_t kTailBytes = size_t{64} << 10;

// Real files need well under 200 KB of decoder state besides their comments; more is granted
// only when stb_vorbis asks for it, up to the cap.
constexpr size_t kDecoderMemory = size_t{1} << 20;
constexpr size_t kMaxDecoderMemory = size_t{16} << 20;
// Comments can carry cover art, so they get their own allowance on top, up to this much.
constexpr size_t kMaxCommentMemory = size_t{256} << 20;
// stb_vorbis underestimates the scratch memory residue type 2 needs while decoding (by up to
// half) and does not check that allocation; twice its estimate plus this stays clear of it.
constexpr size_t kScratchSlack = size_t{64} << 10;
// Codebook tables stb_vorbis sizes as a product of header fields; beyond this their byte
// counts no longer fit its int sizes. Real codebooks are a few thousand values.
constexpr uint64_t kMaxCodebookValues = uint64_t{1} << 24;

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

uint32_t ReadU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

// The header packets after the identification one, read the way stb_vorbis's start_decoder
// reads them: the first page holds only the 30-byte identification packet; the comment packet
// starts the second page; a packet runs over pages flagged as continuations until a segment
// shorter than 255 ends it; the next packet starts right after, or on the next page. Anything
// that does not follow this layout is refused, so what is checked is what stb_vorbis reads.
class HeaderPackets {
 public:
  HeaderPackets(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

  // The bytes ended before the packet did: a longer head of the file may hold it.
  bool Truncated() const { return m_truncated; }

  bool Next(std::vector<uint8_t>& packet) {
    packet.clear();
    if (!m_started) {
      if (m_size < kPageHeader + 1 + 30) return Short();
      if (m_data[26] != 1 || m_data[27] != 30) return false;
      m_nextPage = kPageHeader + 1 + 30;
      m_started = true;
    }
    if (m_segment == m_segments && !LoadPage(false)) return false;
    for (;;) {
      while (m_segment < m_segments) {
        const size_t length = m_data[m_lacing + m_segment];
        ++m_segment;
        packet.insert(packet.end(), m_data + m_body, m_data + m_body + length);
        m_body += length;
        if (length < 255) return true;
      }
      if (!LoadPage(true)) return false;
    }
  }

 private:
  static constexpr size_t kPageHeader = 27;

  bool Short() {
    m_truncated = true;
    return false;
  }

  bool LoadPage(bool continuation) {
    const size_t page = m_nextPage;
    if (m_size - page < kPageHeader) return Short();
    const uint8_t* header = m_data + page;
    if (std::memcmp(header, "OggS", 4) != 0 || header[4] != 0) return false;
    if (((header[5] & 1) != 0) != continuation) return false;
    // An empty page would make stb_vorbis reuse the previous page's lacing values.
    const size_t segments = header[26];
    if (segments == 0) return false;
    if (m_size - page - kPageHeader < segments) return Short();
    size_t bodyBytes = 0;
    for (size_t i = 0; i < segments; ++i) bodyBytes += header[kPageHeader + i];
    const size_t body = page + kPageHeader + segments;
    if (m_size - body < bodyBytes) return Short();
    m_lacing = page + kPageHeader;
    m_segments = segments;
    m_segment = 0;
    m_body = body;
    m_nextPage = body + bodyBytes;
    return true;
  }

  const uint8_t* m_data;
  size_t m_size;
  bool m_started = false;
  bool m_truncated = false;
  size_t m_nextPage = 0;
  size_t m_lacing = 0;
  size_t m_segments = 0;
  size_t m_segment = 0;
  size_t m_body = 0;
};

bool HasHeaderType(const std::vector<uint8_t>& packet, uint8_t type) {
  return packet.size() >= 7 && packet[0] == type && std::memcmp(&packet[1], "vorbis", 6) == 0;
}

size_t SetupAllocation(uint64_t bytes) { return static_cast<size_t>((bytes + 7) & ~uint64_t{7}); }

// Checks the comment packet and returns the arena bytes stb_vorbis will take to store it
// (each allocation rounded to 8 like its setup allocator does), or 0 when it is malformed.
size_t CommentMemory(const std::vector<uint8_t>& packet) {
  if (!HasHeaderType(packet, 3)) return 0;
  const size_t n = packet.size();
  size_t at = 7;
  if (n - at < 4) return 0;
  const uint64_t vendor = ReadU32(&packet[at]);
  at += 4;
  if (vendor > n - at) return 0;
  at += static_cast<size_t>(vendor);
  uint64_t memory = SetupAllocation(vendor + 1);

  if (n - at < 4) return 0;
  const uint64_t count = ReadU32(&packet[at]);
  at += 4;
  if (count > (n - at) / 4) return 0;
  if (count > 0) memory += SetupAllocation(count * sizeof(char*));
  for (uint64_t i = 0; i < count; ++i) {
    if (n - at < 4) return 0;
    const uint64_t length = ReadU32(&packet[at]);
    at += 4;
    if (length > n - at) return 0;
    at += static_cast<size_t>(length);
    memory += SetupAllocation(length + 1);
    if (memory > kMaxCommentMemory) return 0;
  }
  if (at >= n || (packet[at] & 1) == 0) return 0;  // framing bit
  return static_cast<size_t>(memory);
}

// Vorbis bit packing: least significant bit first. Running out is an error here, where
// stb_vorbis would carry on reading zeros.
class BitReader {
 public:
  BitReader(const std::vector<uint8_t>& bytes, size_t startByte) : m_bytes(bytes), m_bit(startByte * 8) {}

  bool Read(int count, uint32_t& value) {
    value = 0;
    if (static_cast<uint64_t>(m_bytes.size()) * 8 - m_bit < static_cast<uint64_t>(count)) return false;
    for (int i = 0; i < count; ++i, ++m_bit) {
      const uint32_t bit = (m_bytes[static_cast<size_t>(m_bit / 8)] >> (m_bit % 8)) & 1u;
      value |= bit << i;
    }
    return true;
  }

  bool Skip(uint64_t count) {
    if (static_cast<uint64_t>(m_bytes.size()) * 8 - m_bit < count) return false;
    m_bit += count;
    return true;
  }

 private:
  const std::vector<uint8_t>& m_bytes;
  uint64_t m_bit;
};

// base^exponent, or anything above `cap` once it exceeds it.
uint64_t PowCapped(uint64_t base, uint32_t exponent, uint64_t cap) {
  if (base <= 1) return base;
  uint64_t result = 1;
  for (uint32_t i = 0; i < exponent; ++i) {
    result *= base;
    if (result > cap) return cap + 1;
  }
  return result;
}

// One codebook as stb_vorbis's start_decoder parses it, refusing the shapes it cannot take.
bool CheckCodebook(BitReader& bits) {
  uint32_t sync = 0, dimensions = 0, entries = 0, ordered = 0;
  if (!bits.Read(24, sync) || sync != 0x564342) return false;
  if (!bits.Read(16, dimensions) || !bits.Read(24, entries) || !bits.Read(1, ordered)) return false;
  if (dimensions == 0 && entries != 0) return false;

  if (ordered) {
    uint32_t length = 0;
    if (!bits.Read(5, length)) return false;
    ++length;
    for (uint32_t entry = 0; entry < entries; ++length) {
      uint32_t run = 0;
      if (!bits.Read(ilog(static_cast<int32>(entries - entry)), run)) return false;
      if (length >= 32 || run > entries - entry) return false;
      entry += run;
    }
  } else {
    uint32_t sparse = 0;
    if (!bits.Read(1, sparse)) return false;
    for (uint32_t entry = 0; entry < entries; ++entry) {
      uint32_t present = 1;
      if (sparse && !bits.Read(1, present)) return false;
      uint32_t length = 0;
      if (present && (!bits.Read(5, length) || length + 1 == 32)) return false;
    }
  }

  uint32_t lookup = 0;
  if (!bits.Read(4, lookup) || lookup > 2) return false;
  if (lookup == 0) return true;
  uint32_t ignored = 0, valueBits = 0;
  if (!bits.Read(32, ignored) || !bits.Read(32, ignored) || !bits.Read(4, valueBits) || !bits.Read(1, ignored)) {
    return false;
  }
  ++valueBits;
  const uint64_t elements = uint64_t{entries} * dimensions;
  if (elements == 0 || elements > kMaxCodebookValues) return false;
  uint64_t values = elements;
  if (lookup == 1) {
    // stb_vorbis finds the largest r with r^dimensions <= entries in float and casts powers
    // of r + 1 (its estimate may be one high) to int; those must fit.
    uint64_t low = 1, high = entries;
    while (low < high) {
      const uint64_t mid = low + (high - low + 1) / 2;
      if (PowCapped(mid, dimensions, entries) <= entries) {
        low = mid;
      } else {
        high = mid - 1;
      }
    }
    constexpr uint64_t kIntMax = static_cast<uint64_t>(std::numeric_limits<int>::max());
    if (PowCapped(low + 2, dimensions, kIntMax) > kIntMax) return false;
    const int counted = lookup1_values(static_cast<int>(entries), static_cast<int>(dimensions));
    if (counted <= 0) return false;
    values = static_cast<uint64_t>(counted);
  }
  return bits.Skip(values * valueBits);
}

bool SetupIsSafe(const std::vector<uint8_t>& packet) {
  if (!HasHeaderType(packet, 5)) return false;
  BitReader bits(packet, 7);
  uint32_t codebooks = 0;
  if (!bits.Read(8, codebooks)) return false;
  for (uint32_t i = 0; i <= codebooks; ++i) {
    if (!CheckCodebook(bits)) return false;
  }
  // Floors, residues, mappings and modes come next; stb_vorbis bounds those itself.
  return true;
}

// Checks the comment and setup packets at the start of `head` the way stb_vorbis will read
// them. Gives the arena bytes the comments need, or 0; `truncated` when `head` ended first.
size_t CheckHeaders(const uint8_t* head, size_t size, bool& truncated) {
  HeaderPackets packets(head, size);
  std::vector<uint8_t> packet;
  size_t commentMemory = 0;
  if (packets.Next(packet)) commentMemory = CommentMemory(packet);
  const bool safe = commentMemory != 0 && packets.Next(packet) && SetupIsSafe(packet);
  truncated = packets.Truncated();
  return safe ? commentMemory : 0;
}

// Opens the stream in the arena stb_vorbis works in: its setup tables, then scratch space
// carved from the top while decoding. Grown (within the cap) when it says it needs more.
// `open(alloc, error)` opens from the file's first byte each time; null when it refuses.
template <typename Open>
VorbisHandle OpenInArena(size_t commentMemory, Open open, std::unique_ptr<char[]>& arena) {
  const size_t maxArena = commentMemory + kMaxDecoderMemory;
  size_t arenaSize = commentMemory + kDecoderMemory;
  for (int attempt = 0; attempt < 3; ++attempt) {
    arena = std::make_unique<char[]>(arenaSize);
    const stb_vorbis_alloc alloc{arena.get(), static_cast<int>(arenaSize)};
    int error = VORBIS__no_error;
    VorbisHandle decoder(open(&alloc, &error));
    if (!decoder) {
      if (error != VORBIS_outofmem || arenaSize == maxArena) return nullptr;
      arenaSize = maxArena;
      continue;
    }
    const stb_vorbis_info info = stb_vorbis_get_info(decoder.get());
    const size_t needed = size_t{info.setup_memory_required} + 2 * size_t{info.temp_memory_required} + kScratchSlack;
    if (needed <= arenaSize) {
      if (info.sample_rate > kMaxRate || !AcceptedFormat(info.channels, static_cast<int>(info.sample_rate)))
        return nullptr;
      return decoder;
    }
    decoder.reset();
    if (needed > maxArena) return nullptr;
    arenaSize = needed;
  }
  return nullptr;
}

float Clean(float value) {
  if (!std::isfinite(value)) return 0.0f;
  if (value > 1.0f) return 1.0f;
  if (value < -1.0f) return -1.0f;
  return value;
}

// Decodes the next chunk, up to `maxFrames` frames, onto `samples` in WAVE channel order; the
// frames added. A stream cut short decodes up to the damage, like a WAV whose data runs past
// the end.
size_t ReadChunk(stb_vorbis* decoder, std::vector<float>& chunk, std::vector<float>& samples, size_t maxFrames) {
  const stb_vorbis_info info = stb_vorbis_get_info(decoder);
  const size_t channels = static_cast<size_t>(info.channels);
  const int* order = kVorbisToWave[info.channels - 1];
  chunk.resize(kChunkFrames * channels);
  const int got =
      stb_vorbis_get_samples_float_interleaved(decoder, info.channels, chunk.data(), static_cast<int>(chunk.size()));
  if (got <= 0) return 0;
  const size_t take = std::min(static_cast<size_t>(got), maxFrames);
  const size_t base = samples.size();
  samples.resize(base + take * channels);
  for (size_t f = 0; f < take; ++f) {
    const float* from = &chunk[f * channels];
    float* to = &samples[base + f * channels];
    for (size_t c = 0; c < channels; ++c) to[c] = Clean(from[order[c]]);
  }
  return take;
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

bool ReadFileAt(std::FILE* file, uint64_t offset, std::vector<uint8_t>& bytes) {
  if (std::fseek(file, static_cast<long>(offset), SEEK_SET) != 0) return false;
  return std::fread(bytes.data(), 1, bytes.size(), file) == bytes.size();
}

// A file decoded as it plays. stb_vorbis reads it through the FILE*, a page at a time.
class VorbisSource final : public PcmSource {
 public:
  VorbisSource(FileHandle file, std::unique_ptr<char[]> arena, VorbisHandle decoder, uint64_t declared)
      : file_(std::move(file)), arena_(std::move(arena)), decoder_(std::move(decoder)), declared_(declared) {
    const stb_vorbis_info info = stb_vorbis_get_info(decoder_.get());
    channels_ = info.channels;
    rate_ = static_cast<int>(info.sample_rate);
  }

  int Channels() const override { return channels_; }
  int SampleRate() const override { return rate_; }
  uint64_t DeclaredFrames() const override { return declared_; }
  bool ReadMore(std::vector<float>& samples) override {
    return ReadChunk(decoder_.get(), chunk_, samples, kChunkFrames) > 0;
  }

 private:
  // In this order: the decoder lives in the arena and reads the file.
  FileHandle file_;
  std::unique_ptr<char[]> arena_;
  VorbisHandle decoder_;
  uint64_t declared_;
  int channels_ = 0;
  int rate_ = 0;
  std::vector<float> chunk_;
};

uint64_t ReadU64(const uint8_t* p) { return uint64_t{ReadU32(p)} | (uint64_t{ReadU32(p + 4)} << 32); }

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
    bool truncated = false;
    const size_t commentMemory = CheckHeaders(data, size, truncated);
    if (commentMemory == 0) return false;
    std::unique_ptr<char[]> arena;
    VorbisHandle decoder = OpenInArena(
        commentMemory,
        [&](const stb_vorbis_alloc* alloc, int* error) {
          return stb_vorbis_open_memory(data, static_cast<int>(size), error, alloc);
        },
        arena);
    if (!decoder) return false;

    std::vector<float> chunk;
    size_t frames = 0;
    while (frames < kMaxSourceFrames) {
      const size_t got = ReadChunk(decoder.get(), chunk, out.samples, kMaxSourceFrames - frames);
      if (got == 0) break;
      frames += got;
    }
    if (frames == 0) {
      out = PcmBuffer{};
      return false;
    }
    const stb_vorbis_info info = stb_vorbis_get_info(decoder.get());
    out.channels = info.channels;
    out.sampleRate = static_cast<int>(info.sample_rate);
    return true;
  } catch (const std::exception&) {  // bad_alloc, or length_error from a vector past its limit
    out = PcmBuffer{};
    return false;
  }
}

std::unique_ptr<PcmSource> OpenVorbisSource(std::FILE* file, uint64_t size) {
  FileHandle owned(file);
  // stb_vorbis keeps its file offsets in longs, 32 bits on Windows.
  if (!file || size < 28 || size > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) return nullptr;
  try {
    // The headers, from a head of the file long enough to hold them.
    std::vector<uint8_t> head;
    size_t commentMemory = 0;
    for (size_t want = kFirstHeadBytes;; want *= 4) {
      head.resize(static_cast<size_t>(std::min<uint64_t>(size, want)));
      if (!ReadFileAt(file, 0, head) || !LooksLikeOgg(head.data(), head.size())) return nullptr;
      bool truncated = false;
      commentMemory = CheckHeaders(head.data(), head.size(), truncated);
      if (commentMemory != 0) break;
      if (!truncated || head.size() == size || want >= kMaxHeadBytes) return nullptr;
    }
    // The length, from the last page.
    std::vector<uint8_t> tail(static_cast<size_t>(std::min<uint64_t>(size, kTailBytes)));
    uint64_t declared = 0;
    int rate = 0;
    if (!ReadFileAt(file, size - tail.size(), tail) ||
        !OggDeclaredLength(head.data(), head.size(), tail.data(), tail.size(), declared, rate)) {
      declared = 0;  // unknown: the caller does not trust it anyway
    }
    head = std::vector<uint8_t>();

    std::unique_ptr<char[]> arena;
    VorbisHandle decoder = OpenInArena(
        commentMemory,
        [&](const stb_vorbis_alloc* alloc, int* error) -> stb_vorbis* {
          if (std::fseek(file, 0, SEEK_SET) != 0) return nullptr;
          return stb_vorbis_open_file_section(file, 0, error, alloc, static_cast<unsigned>(size));
        },
        arena);
    if (!decoder) return nullptr;
    if (static_cast<int>(stb_vorbis_get_info(decoder.get()).sample_rate) != rate) declared = 0;
    return std::make_unique<VorbisSource>(std::move(owned), std::move(arena), std::move(decoder), declared);
  } catch (const std::exception&) {
    return nullptr;
  }
}

bool OggDeclaredLength(const uint8_t* head, size_t headSize, const uint8_t* tail, size_t tailSize, uint64_t& frames,
                       int& sampleRate) {
  frames = 0;
  sampleRate = 0;
  // First page: one 30-byte packet, "\x01vorbis", version, channels, rate.
  if (!LooksLikeOgg(head, headSize) || headSize < 58 || head[26] != 1 || head[27] != 30) return false;
  if (head[28] != 1 || std::memcmp(head + 29, "vorbis", 6) != 0) return false;
  const uint32_t serial = ReadU32(head + 14);
  const uint32_t rate = ReadU32(head + 40);
  if (rate == 0 || rate > kMaxRate || tail == nullptr || tailSize < 27) return false;
  // The last page of this stream that ends a packet (granule position not -1).
  for (size_t at = tailSize - 27 + 1; at-- > 0;) {
    const uint8_t* page = tail + at;
    if (std::memcmp(page, "OggS", 4) != 0 || page[4] != 0 || ReadU32(page + 14) != serial) continue;
    const size_t segments = page[26];
    if (tailSize - at - 27 < segments) continue;
    size_t body = 0;
    for (size_t i = 0; i < segments; ++i) body += page[27 + i];
    if (tailSize - at - 27 - segments < body) continue;
    const uint64_t granule = ReadU64(page + 6);
    if (granule == ~uint64_t{0}) continue;
    frames = granule;
    sampleRate = static_cast<int>(rate);
    return true;
  }
  return false;
}

}  // namespace velmora::audio
