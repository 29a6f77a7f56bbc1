// The built-in decoders and the conversion to the render format, fed with files assembled byte
// by byte here (WAV) or made by oggenc and checked in with the fuzz corpus (Ogg Vorbis).
#include "playback/engine/Decoders.h"
#include "playback/engine/Pcm.h"
#include "tests/support/HostFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <utility>
#include <vector>

using namespace velmora::audio;
using velmora::test::HostFileNames;
using velmora::test::ReadHostFile;

namespace {

constexpr double kPi = 3.14159265358979323846;

// ---- building WAV files ---------------------------------------------------------------------

void PutU16(std::string& s, uint32_t v) {
  s.push_back(static_cast<char>(v & 0xFF));
  s.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void PutU24(std::string& s, uint32_t v) {
  PutU16(s, v & 0xFFFF);
  s.push_back(static_cast<char>((v >> 16) & 0xFF));
}
void PutU32(std::string& s, uint32_t v) {
  PutU16(s, v & 0xFFFF);
  PutU16(s, v >> 16);
}
void PutF32(std::string& s, float v) {
  uint32_t bits;
  std::memcpy(&bits, &v, sizeof(bits));
  PutU32(s, bits);
}
void PutF64(std::string& s, double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, sizeof(bits));
  PutU32(s, static_cast<uint32_t>(bits));
  PutU32(s, static_cast<uint32_t>(bits >> 32));
}

// A chunk with its pad byte (or without, to imitate writers that forget it).
std::string Chunk(const char* id, const std::string& body, bool pad = true) {
  std::string s(id, 4);
  PutU32(s, static_cast<uint32_t>(body.size()));
  s += body;
  if (pad && body.size() % 2 == 1) s.push_back('\0');
  return s;
}

std::string Riff(const std::string& chunks) {
  std::string s = "RIFF";
  PutU32(s, static_cast<uint32_t>(4 + chunks.size()));
  return s + "WAVE" + chunks;
}

struct Fmt {
  uint16_t tag = 1;
  uint16_t channels = 1;
  uint32_t rate = 44100;
  uint16_t bits = 16;
  int blockAlign = -1;  // -1: the consistent value
};

std::string FmtBody(const Fmt& f) {
  const uint16_t align =
      f.blockAlign >= 0 ? static_cast<uint16_t>(f.blockAlign) : static_cast<uint16_t>(f.channels * ((f.bits + 7) / 8));
  std::string s;
  PutU16(s, f.tag);
  PutU16(s, f.channels);
  PutU32(s, f.rate);
  PutU32(s, f.rate * align);
  PutU16(s, align);
  PutU16(s, f.bits);
  return s;
}

// WAVE_FORMAT_EXTENSIBLE; `subtype` is the first field of the subformat GUID (1 PCM, 3 float).
std::string ExtensibleBody(Fmt f, uint16_t validBits, uint16_t subtype, uint32_t mask = 0) {
  f.tag = 0xFFFE;
  std::string s = FmtBody(f);
  PutU16(s, 22);
  PutU16(s, validBits);
  PutU32(s, mask);
  PutU16(s, subtype);
  const uint8_t tail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
  s.append(reinterpret_cast<const char*>(tail), sizeof(tail));
  return s;
}

std::string Pcm16(std::initializer_list<int> values) {
  std::string s;
  for (int v : values) PutU16(s, static_cast<uint32_t>(v) & 0xFFFF);
  return s;
}

std::string SimpleWav(const Fmt& f, const std::string& data) {
  return Riff(Chunk("fmt ", FmtBody(f)) + Chunk("data", data));
}

bool Decode(const std::string& file, PcmBuffer& out) {
  return DecodeWav(reinterpret_cast<const uint8_t*>(file.data()), file.size(), out);
}

// A failed decode must say so and leave nothing behind.
void ExpectRejected(const std::string& file) {
  PcmBuffer out;
  out.channels = 2;
  out.sampleRate = 8000;
  out.samples = {0.5f, 0.5f};
  EXPECT_FALSE(Decode(file, out));
  EXPECT_EQ(out.channels, 0);
  EXPECT_EQ(out.sampleRate, 0);
  EXPECT_TRUE(out.samples.empty());
}

// ---- measuring signals ----------------------------------------------------------------------

std::vector<float> Channel(const std::vector<float>& interleaved, size_t channels, size_t channel) {
  std::vector<float> out;
  for (size_t i = channel; i < interleaved.size(); i += channels) out.push_back(interleaved[i]);
  return out;
}

// Frequency from the rising zero crossings (interpolated between samples), ignoring `skip`
// samples at each end where filters and codecs ramp in and out.
double MeasureFrequency(const std::vector<float>& x, int rate, size_t skip) {
  double first = -1.0;
  double last = -1.0;
  int crossings = 0;
  for (size_t i = skip + 1; i + skip < x.size(); ++i) {
    if (x[i - 1] < 0.0f && x[i] >= 0.0f) {
      const double at = static_cast<double>(i - 1) + x[i - 1] / (x[i - 1] - x[i]);
      if (first < 0) first = at;
      last = at;
      ++crossings;
    }
  }
  if (crossings < 2) return 0.0;
  return (crossings - 1) * rate / (last - first);
}

double Rms(const std::vector<float>& x, size_t from, size_t to) {
  double sum = 0.0;
  for (size_t i = from; i < to; ++i) sum += static_cast<double>(x[i]) * x[i];
  return std::sqrt(sum / static_cast<double>(to - from));
}

PcmBuffer Sine(int channels, int rate, size_t frames, double hz, double amplitude) {
  PcmBuffer pcm;
  pcm.channels = channels;
  pcm.sampleRate = rate;
  for (size_t f = 0; f < frames; ++f) {
    const float v = static_cast<float>(amplitude * std::sin(2.0 * kPi * hz * static_cast<double>(f) / rate));
    for (int c = 0; c < channels; ++c) pcm.samples.push_back(v);
  }
  return pcm;
}

void ExpectSane(const PcmBuffer& pcm, int maxChannels) {
  EXPECT_GE(pcm.channels, 1);
  EXPECT_LE(pcm.channels, maxChannels);
  EXPECT_TRUE(AcceptedFormat(pcm.channels, pcm.sampleRate));
  ASSERT_GT(pcm.channels, 0);
  EXPECT_EQ(pcm.samples.size() % static_cast<size_t>(pcm.channels), 0u);
  EXPECT_LE(pcm.Frames(), kMaxSourceFrames);
  for (const float v : pcm.samples) {
    ASSERT_TRUE(std::isfinite(v) && v >= -1.0f && v <= 1.0f) << v;
  }
}

std::string FuzzFolder(const char* kind) { return std::string(VELMORA_FUZZ_REGRESSIONS_UNIX) + "/" + kind; }

std::string ReadFixture(const char* kind, const char* name) { return ReadHostFile(FuzzFolder(kind) + "/" + name); }

}  // namespace

// ---- WAV: sample formats --------------------------------------------------------------------

TEST(WavFormats, UnsignedEightBitIsCentredOn128) {
  PcmBuffer pcm;
  ASSERT_TRUE(Decode(SimpleWav({1, 1, 8000, 8}, std::string("\x80\x00\xFF\xC0", 4)), pcm));
  EXPECT_EQ(pcm.channels, 1);
  EXPECT_EQ(pcm.sampleRate, 8000);
  EXPECT_EQ(pcm.samples, (std::vector<float>{0.0f, -1.0f, 127.0f / 128.0f, 0.5f}));
}

TEST(WavFormats, SixteenBitStereoIsExact) {
  PcmBuffer pcm;
  ASSERT_TRUE(Decode(SimpleWav({1, 2, 48000, 16}, Pcm16({0x4000, -0x8000, 0x7FFF, -0x4000})), pcm));
  EXPECT_EQ(pcm.channels, 2);
  EXPECT_EQ(pcm.sampleRate, 48000);
  EXPECT_EQ(pcm.Frames(), 2u);
  EXPECT_EQ(pcm.samples, (std::vector<float>{0.5f, -1.0f, 32767.0f / 32768.0f, -0.5f}));
}

TEST(WavFormats, TwentyFourBitSignExtends) {
  std::string data;
  for (uint32_t v : {0x400000u, 0xFFFFFFu, 0x800000u, 0xC00000u, 0x000001u}) PutU24(data, v);
  PcmBuffer pcm;
  ASSERT_TRUE(Decode(SimpleWav({1, 1, 96000, 24}, data), pcm));
  ASSERT_EQ(pcm.samples.size(), 5u);
  EXPECT_EQ(pcm.samples[0], 0.5f);
  EXPECT_EQ(pcm.samples[1], -1.0f / 8388608.0f);
  EXPECT_EQ(pcm.samples[2], -1.0f);
  EXPECT_EQ(pcm.samples[3], -0.5f);
  EXPECT_EQ(pcm.samples[4], 1.0f / 8388608.0f);
}

TEST(WavFormats, ThirtyTwoBitInteger) {
  std::string data;
  for (uint32_t v : {0x40000000u, 0x80000000u, 0xE0000000u}) PutU32(data, v);
  PcmBuffer pcm;
  ASSERT_TRUE(Decode(SimpleWav({1, 1, 44100, 32}, data), pcm));
  EXPECT_EQ(pcm.samples, (std::vector<float>{0.5f, -1.0f, -0.25f}));
}

TEST(WavFormats, TwelveBitsInSixteenBitContainer) {
  // Left-justified, so the 16-bit reading is already right.
  PcmBuffer pcm;
  ASSERT_TRUE(Decode(SimpleWav({1, 1, 22050, 12}, Pcm16({0x4000, -0x2000})), pcm));
  EXPECT_EQ(pcm.samples, (std::vector<float>{0.5f, -0.25f}));
}

TEST(WavFormats, FloatValuesPassAndBadOnesAreTamed) {
  std::string data;
  for (float v : {0.25f, -0.75f, std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                  -std::numeric_limits<float>::infinity(), 1.5f, -3.0f}) {
    PutF32(data, v);
  }
  PcmBuffer pcm;
  ASSERT_TRUE(Decode(SimpleWav({3, 1, 44100, 32}, data), pcm));
  EXPECT_EQ(pcm.samples, (std::vector<float>{0.25f, -0.75f, 0.0f, 0.0f, 0.0f, 1.0f, -1.0f}));
}

TEST(WavFormats, DoubleFloat) {
  std::string data;
  for (double v : {0.125, -0.5, std::numeric_limits<double>::quiet_NaN(), 1e300, 1.0 / 3.0}) PutF64(data, v);
  PcmBuffer pcm;
  ASSERT_TRUE(Decode(SimpleWav({3, 1, 44100, 64}, data), pcm));
  EXPECT_EQ(pcm.samples, (std::vector<float>{0.125f, -0.5f, 0.0f, 1.0f, static_cast<float>(1.0 / 3.0)}));
}

TEST(WavFormats, ExtensibleFloatSixChannels) {
  std::string data;
  for (int i = 0; i < 12; ++i) PutF32(data, static_cast<float>(i) / 16.0f);
  PcmBuffer pcm;
  ASSERT_TRUE(Decode(Riff(Chunk("fmt ", ExtensibleBody({0, 6, 48000, 32}, 32, 3, 0x3F)) + Chunk("data", data)), pcm));
  EXPECT_EQ(pcm.channels, 6);
  EXPECT_EQ(pcm.sampleRate, 48000);
  ASSERT_EQ(pcm.samples.size(), 12u);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(pcm.samples[static_cast<size_t>(i)], static_cast<float>(i) / 16.0f);
}

TEST(WavFormats, ExtensibleTwentyFourValidBitsInThirtyTwo) {
  std::string data;
  PutU32(data, 0x40000000u);  // samples sit in the top 24 bits of each container
  PutU32(data, 0xFFFFFF00u);
  PcmBuffer pcm;
  ASSERT_TRUE(Decode(Riff(Chunk("fmt ", ExtensibleBody({0, 1, 44100, 32}, 24, 1)) + Chunk("data", data)), pcm));
  EXPECT_EQ(pcm.samples, (std::vector<float>{0.5f, -1.0f / 8388608.0f}));
}

TEST(WavFormats, ExtensiblePcmSixteen) {
  PcmBuffer pcm;
  ASSERT_TRUE(Decode(
      Riff(Chunk("fmt ", ExtensibleBody({0, 2, 44100, 16}, 16, 1, 3)) + Chunk("data", Pcm16({0x2000, -0x2000}))), pcm));
  EXPECT_EQ(pcm.samples, (std::vector<float>{0.25f, -0.25f}));
}

// ---- WAV: chunk walk ------------------------------------------------------------------------

TEST(WavChunks, OddChunksArePaddedAndUnknownOnesSkipped) {
  const std::string file = Riff(Chunk("junk", "abc") + Chunk("fmt ", FmtBody({1, 1, 8000, 8})) +
                                Chunk("LIST", std::string("INFOxyz", 7)) + Chunk("data", "\x80\xC0\x40"));
  PcmBuffer pcm;
  ASSERT_TRUE(Decode(file, pcm));
  EXPECT_EQ(pcm.samples, (std::vector<float>{0.0f, 0.5f, -0.5f}));
}

TEST(WavChunks, MissingPadByteIsTolerated) {
  const std::string file =
      Riff(Chunk("junk", "abc", false) + Chunk("fmt ", FmtBody({1, 1, 8000, 16})) + Chunk("data", Pcm16({0x4000})));
  PcmBuffer pcm;
  ASSERT_TRUE(Decode(file, pcm));
  EXPECT_EQ(pcm.samples, (std::vector<float>{0.5f}));
}

TEST(WavChunks, DataBeforeFormat) {
  const std::string file = Riff(Chunk("data", Pcm16({0x4000, 0x2000})) + Chunk("fmt ", FmtBody({1, 2, 32000, 16})));
  PcmBuffer pcm;
  ASSERT_TRUE(Decode(file, pcm));
  EXPECT_EQ(pcm.channels, 2);
  EXPECT_EQ(pcm.sampleRate, 32000);
  EXPECT_EQ(pcm.samples, (std::vector<float>{0.5f, 0.25f}));
}

TEST(WavChunks, FirstOfDuplicateChunksWins) {
  const std::string file = Riff(Chunk("fmt ", FmtBody({1, 1, 8000, 16})) + Chunk("data", Pcm16({0x4000})) +
                                Chunk("fmt ", FmtBody({1, 2, 9000, 8})) + Chunk("data", "\x00\x00"));
  PcmBuffer pcm;
  ASSERT_TRUE(Decode(file, pcm));
  EXPECT_EQ(pcm.sampleRate, 8000);
  EXPECT_EQ(pcm.samples, (std::vector<float>{0.5f}));
}

TEST(WavChunks, DataLongerThanFileKeepsWholeFramesPresent) {
  std::string file = SimpleWav({1, 2, 8000, 16}, Pcm16({0x4000, 0x2000, -0x4000, -0x2000, 0x1000}));
  // Claim far more than is there; the trailing half frame must be dropped, not read past.
  const size_t dataSizeAt = file.find("data") + 4;
  std::string size;
  PutU32(size, 1000000);
  file.replace(dataSizeAt, 4, size);
  PcmBuffer pcm;
  ASSERT_TRUE(Decode(file, pcm));
  EXPECT_EQ(pcm.samples, (std::vector<float>{0.5f, 0.25f, -0.5f, -0.25f}));
}

TEST(WavChunks, StreamingSizeRunsToEndOfFile) {
  std::string file = Riff(Chunk("fmt ", FmtBody({1, 1, 8000, 16})) + "data");
  PutU32(file, 0xFFFFFFFF);
  file += Pcm16({0x4000, 0x2000, 0x1000});
  // The RIFF size of a streamed file is just as wrong; it must not matter.
  file.replace(4, 4, std::string("\0\0\0\0", 4));
  PcmBuffer pcm;
  ASSERT_TRUE(Decode(file, pcm));
  EXPECT_EQ(pcm.samples, (std::vector<float>{0.5f, 0.25f, 0.125f}));
}

TEST(WavChunks, LongStreamIsCutAtTheSourceLimit) {
  std::string file = Riff(Chunk("fmt ", FmtBody({1, 1, 8000, 8})) + "data");
  PutU32(file, 0xFFFFFFFF);
  file.append(kMaxSourceFrames + 100, '\x80');
  PcmBuffer pcm;
  ASSERT_TRUE(Decode(file, pcm));
  EXPECT_EQ(pcm.Frames(), kMaxSourceFrames);
}

TEST(WavChunks, TrailingBytesAfterTheLastChunk) {
  const std::string file = SimpleWav({1, 1, 8000, 16}, Pcm16({0x4000})) + "xyz";
  PcmBuffer pcm;
  ASSERT_TRUE(Decode(file, pcm));
  EXPECT_EQ(pcm.samples, (std::vector<float>{0.5f}));
}

// ---- WAV: refusals --------------------------------------------------------------------------

TEST(WavRejects, ChannelCounts) {
  ExpectRejected(SimpleWav({1, 0, 8000, 16}, Pcm16({1, 2})));
  ExpectRejected(SimpleWav({1, 9, 8000, 16}, std::string(18 * 4, '\0')));
  PcmBuffer pcm;
  EXPECT_TRUE(Decode(SimpleWav({1, 8, 8000, 16}, std::string(16 * 2, '\0')), pcm));
  EXPECT_EQ(pcm.Frames(), 2u);
}

TEST(WavRejects, SampleRates) {
  ExpectRejected(SimpleWav({1, 1, 0, 16}, Pcm16({1, 2})));
  ExpectRejected(SimpleWav({1, 1, 1, 16}, Pcm16({1, 2})));
  ExpectRejected(SimpleWav({1, 1, 7999, 16}, Pcm16({1, 2})));
  ExpectRejected(SimpleWav({1, 1, 384001, 16}, Pcm16({1, 2})));
  PcmBuffer pcm;
  EXPECT_TRUE(Decode(SimpleWav({1, 1, 384000, 16}, Pcm16({1, 2})), pcm));
  EXPECT_TRUE(Decode(SimpleWav({1, 1, 8000, 16}, Pcm16({1, 2})), pcm));
}

TEST(WavRejects, StatedLayoutsTheEngineDoesNotPlayWhateverTheEncoding) {
  const auto refused = [](const std::string& file) {
    MemoryBytes bytes(reinterpret_cast<const uint8_t*>(file.data()), file.size());
    return WavStatesRefusedLayout(bytes);
  };
  EXPECT_TRUE(refused(SimpleWav({0x11, 1, 1, 4, 256}, std::string(256, '\0'))));  // IMA ADPCM at 1 Hz
  EXPECT_FALSE(refused(SimpleWav({0x11, 1, 44100, 4, 256}, std::string(256, '\0'))));
  EXPECT_TRUE(refused(SimpleWav({1, 9, 8000, 16}, std::string(18 * 2, '\0'))));
  EXPECT_FALSE(refused(SimpleWav({1, 2, 48000, 16}, Pcm16({1, 2}))));
  EXPECT_FALSE(refused("RIFF\x04\0\0\0WAVE"));  // no fmt chunk: nothing stated
}

TEST(WavRejects, InconsistentBlockAlign) {
  ExpectRejected(SimpleWav({1, 2, 8000, 16, 2}, Pcm16({1, 2, 3, 4})));
  ExpectRejected(SimpleWav({1, 2, 8000, 16, 0}, Pcm16({1, 2, 3, 4})));
  ExpectRejected(SimpleWav({3, 1, 8000, 32, 8}, std::string(16, '\0')));
}

TEST(WavRejects, UnsupportedBitsAndFormats) {
  ExpectRejected(SimpleWav({1, 1, 8000, 0, 2}, Pcm16({1, 2})));
  ExpectRejected(SimpleWav({1, 1, 8000, 40}, std::string(10, '\0')));
  ExpectRejected(SimpleWav({3, 1, 8000, 16}, Pcm16({1, 2})));  // half floats
  ExpectRejected(SimpleWav({3, 1, 8000, 24}, std::string(6, '\0')));
  ExpectRejected(SimpleWav({2, 1, 8000, 4, 1}, "abcd"));  // MS ADPCM
  ExpectRejected(SimpleWav({7, 1, 8000, 8}, "abcd"));     // mu-law
}

TEST(WavRejects, BrokenExtensible) {
  const std::string data = Pcm16({1, 2});
  std::string unknownGuid = ExtensibleBody({0, 1, 8000, 16}, 16, 1);
  unknownGuid[24 + 15] = '\x72';
  ExpectRejected(Riff(Chunk("fmt ", unknownGuid) + Chunk("data", data)));
  ExpectRejected(Riff(Chunk("fmt ", ExtensibleBody({0, 1, 8000, 16}, 16, 2)) + Chunk("data", data)));
  ExpectRejected(Riff(Chunk("fmt ", ExtensibleBody({0, 1, 8000, 16}, 20, 1)) + Chunk("data", data)));
  ExpectRejected(Riff(Chunk("fmt ", ExtensibleBody({0, 1, 8000, 16}, 16, 1).substr(0, 24)) + Chunk("data", data)));
}

TEST(WavRejects, MissingOrEmptyPieces) {
  ExpectRejected(Riff(Chunk("fmt ", FmtBody({1, 1, 8000, 16}))));
  ExpectRejected(Riff(Chunk("data", Pcm16({1, 2}))));
  ExpectRejected(SimpleWav({1, 1, 8000, 16}, ""));
  ExpectRejected(SimpleWav({1, 2, 8000, 16}, Pcm16({1})));  // less than one frame
  ExpectRejected(Riff(Chunk("fmt ", FmtBody({1, 1, 8000, 16}).substr(0, 14)) + Chunk("data", Pcm16({1}))));
  // Format chunk cut off by the end of the file.
  ExpectRejected(Riff(Chunk("data", Pcm16({1, 2})) + Chunk("fmt ", FmtBody({1, 1, 8000, 16})).substr(0, 20)));
}

TEST(WavRejects, NotAWaveFile) {
  std::string rifx = SimpleWav({1, 1, 8000, 16}, Pcm16({1}));
  rifx[3] = 'X';
  ExpectRejected(rifx);
  ExpectRejected("RIFF\x10\0\0\0AVI LIST");
  ExpectRejected("RIFF");
  ExpectRejected("");
  PcmBuffer pcm;
  EXPECT_FALSE(DecodeWav(nullptr, 0, pcm));
}

TEST(WavRejects, EveryTruncationOfAValidFileIsSafe) {
  const std::string file = Riff(Chunk("LIST", "odd") + Chunk("fmt ", ExtensibleBody({0, 2, 44100, 24}, 24, 1)) +
                                Chunk("data", std::string(6 * 5, '\x11')));
  for (size_t n = 0; n <= file.size(); ++n) {
    PcmBuffer pcm;
    if (Decode(file.substr(0, n), pcm)) {
      EXPECT_EQ(pcm.channels, 2);
      EXPECT_LE(pcm.Frames(), 5u);
      EXPECT_GE(pcm.Frames(), 1u);
    }
  }
  PcmBuffer whole;
  EXPECT_TRUE(Decode(file, whole));
}

TEST(DecoderSniffing, RecognisesContainers) {
  const std::string wav = SimpleWav({1, 1, 8000, 16}, Pcm16({1}));
  const auto* w = reinterpret_cast<const uint8_t*>(wav.data());
  EXPECT_TRUE(LooksLikeWav(w, wav.size()));
  EXPECT_FALSE(LooksLikeOgg(w, wav.size()));
  EXPECT_FALSE(LooksLikeWav(w, 11));
  const std::string ogg = ReadFixture("vorbis", "sine-440hz-mono-22050hz.ogg");
  const auto* o = reinterpret_cast<const uint8_t*>(ogg.data());
  ASSERT_FALSE(ogg.empty());
  EXPECT_TRUE(LooksLikeOgg(o, ogg.size()));
  EXPECT_FALSE(LooksLikeWav(o, ogg.size()));
  EXPECT_FALSE(LooksLikeOgg(o, 3));
  EXPECT_FALSE(LooksLikeOgg(nullptr, 0));
}

// ---- conversion to the render format --------------------------------------------------------

TEST(PcmConvert, RefusesMalformedBuffers) {
  Sound sound;
  sound.samples = {1.0f, 1.0f};
  EXPECT_FALSE(ToEngineFormat(PcmBuffer{}, sound));
  EXPECT_TRUE(sound.samples.empty());
  EXPECT_FALSE(ToEngineFormat(PcmBuffer{0, 44100, {0.1f}}, sound));
  EXPECT_FALSE(ToEngineFormat(PcmBuffer{-1, 44100, {0.1f}}, sound));
  EXPECT_FALSE(ToEngineFormat(PcmBuffer{1, 0, {0.1f}}, sound));
  EXPECT_FALSE(ToEngineFormat(PcmBuffer{1, -44100, {0.1f}}, sound));
  EXPECT_FALSE(ToEngineFormat(PcmBuffer{2, 44100, {}}, sound));
  EXPECT_FALSE(ToEngineFormat(PcmBuffer{2, 44100, {0.1f, 0.2f, 0.3f}}, sound));  // torn frame
}

TEST(PcmConvert, RefusesFormatsTheEngineDoesNotPlay) {
  // 700 frames at 1 Hz would be 30.9 million frames at 44.1 kHz.
  Sound sound;
  EXPECT_FALSE(ToEngineFormat(PcmBuffer{1, 1, std::vector<float>(700, 0.1f)}, sound));
  EXPECT_FALSE(ToEngineFormat(PcmBuffer{1, 7999, std::vector<float>(10, 0.1f)}, sound));
  EXPECT_FALSE(ToEngineFormat(PcmBuffer{1, 384001, std::vector<float>(10, 0.1f)}, sound));
  EXPECT_FALSE(ToEngineFormat(PcmBuffer{9, 44100, std::vector<float>(18, 0.1f)}, sound));
  EXPECT_TRUE(sound.samples.empty());
  EXPECT_TRUE(ToEngineFormat(PcmBuffer{8, 8000, std::vector<float>(80, 0.1f)}, sound));
  EXPECT_EQ(sound.Frames(), 56u);  // 10 frames at 8 kHz, rounded up
  EXPECT_TRUE(ToEngineFormat(PcmBuffer{1, 384000, std::vector<float>(384, 0.1f)}, sound));
  EXPECT_EQ(sound.Frames(), 45u);
}

TEST(PcmConvert, StereoAtEngineRatePassesThroughClamped) {
  PcmBuffer pcm{2, 44100, {0.25f, -0.5f, 1.5f, -2.0f, std::numeric_limits<float>::quiet_NaN(), 0.75f}};
  Sound sound;
  ASSERT_TRUE(ToEngineFormat(pcm, sound));
  EXPECT_EQ(sound.samples, (std::vector<float>{0.25f, -0.5f, 1.0f, -1.0f, 0.0f, 0.75f}));
  EXPECT_EQ(sound.Bytes(), 6 * sizeof(float));
}

TEST(PcmConvert, MonoGoesToBothSides) {
  PcmBuffer pcm{1, 44100, {0.1f, -0.2f, 0.3f}};
  Sound sound;
  ASSERT_TRUE(ToEngineFormat(pcm, sound));
  EXPECT_EQ(sound.samples, (std::vector<float>{0.1f, 0.1f, -0.2f, -0.2f, 0.3f, 0.3f}));
}

TEST(PcmConvert, FivePointOneKeepsFrontsAndCentre) {
  // FL FR FC LFE BL BR: only the fronts and the centre (at -3 dB) reach the two speakers.
  PcmBuffer pcm{6, 44100, {0.1f, 0.2f, 0.4f, 0.9f, 0.9f, 0.9f, -0.1f, 0.0f, 0.0f, -0.9f, 0.5f, 0.5f}};
  Sound sound;
  ASSERT_TRUE(ToEngineFormat(pcm, sound));
  ASSERT_EQ(sound.Frames(), 2u);
  EXPECT_NEAR(sound.samples[0], 0.1f + 0.4f * 0.70710678f, 1e-6);
  EXPECT_NEAR(sound.samples[1], 0.2f + 0.4f * 0.70710678f, 1e-6);
  EXPECT_EQ(sound.samples[2], -0.1f);
  EXPECT_EQ(sound.samples[3], 0.0f);
}

TEST(PcmConvert, QuadKeepsOnlyTheFronts) {
  // FL FR BL BR: the third channel is a rear speaker, not a centre.
  PcmBuffer pcm{4, 44100, {0.1f, 0.2f, 0.7f, 0.8f}};
  Sound sound;
  ASSERT_TRUE(ToEngineFormat(pcm, sound));
  EXPECT_EQ(sound.samples, (std::vector<float>{0.1f, 0.2f}));
}

TEST(PcmConvert, Downsample48kKeepsLengthPitchAndLevel) {
  const size_t frames = 48000;
  const PcmBuffer pcm = Sine(2, 48000, frames, 1000.0, 0.5);
  Sound sound;
  ASSERT_TRUE(ToEngineFormat(pcm, sound));
  EXPECT_EQ(sound.Frames(), 44100u);
  const std::vector<float> left = Channel(sound.samples, 2, 0);
  EXPECT_NEAR(MeasureFrequency(left, 44100, 500), 1000.0, 0.5);
  EXPECT_NEAR(Rms(left, 500, left.size() - 500), 0.5 / std::sqrt(2.0), 0.002);
  EXPECT_EQ(left, Channel(sound.samples, 2, 1));
}

TEST(PcmConvert, Upsample22050DoublesLengthAndKeepsPitch) {
  const PcmBuffer pcm = Sine(1, 22050, 11025, 440.0, 0.8);
  Sound sound;
  ASSERT_TRUE(ToEngineFormat(pcm, sound));
  EXPECT_EQ(sound.Frames(), 22050u);
  const std::vector<float> left = Channel(sound.samples, 2, 0);
  EXPECT_NEAR(MeasureFrequency(left, 44100, 500), 440.0, 0.5);
  EXPECT_NEAR(Rms(left, 500, left.size() - 500), 0.8 / std::sqrt(2.0), 0.003);
}

TEST(PcmConvert, RatesWithoutACommonFactorKeepPitchAndLevel) {
  // 37,589 and 44,101 Hz share no factor with 44,100, so no short cycle of filter phases exists.
  for (int rate : {37589, 44101}) {
    const PcmBuffer pcm = Sine(1, rate, static_cast<size_t>(rate) / 2, 1000.0, 0.5);
    Sound sound;
    ASSERT_TRUE(ToEngineFormat(pcm, sound));
    EXPECT_EQ(sound.Frames(), (static_cast<size_t>(rate) / 2 * 44100 + static_cast<size_t>(rate) - 1) / rate);
    const std::vector<float> left = Channel(sound.samples, 2, 0);
    EXPECT_NEAR(MeasureFrequency(left, 44100, 500), 1000.0, 0.5) << rate;
    EXPECT_NEAR(Rms(left, 500, left.size() - 500), 0.5 / std::sqrt(2.0), 0.002) << rate;
  }
}

TEST(PcmConvert, OddRatesRoundTheLengthUp) {
  Sound sound;
  ASSERT_TRUE(ToEngineFormat(PcmBuffer{1, 8000, std::vector<float>(1001, 0.0f)}, sound));
  EXPECT_EQ(sound.Frames(), 5519u);  // ceil(1001 * 44100 / 8000)
  ASSERT_TRUE(ToEngineFormat(PcmBuffer{1, 96000, std::vector<float>(7, 0.0f)}, sound));
  EXPECT_EQ(sound.Frames(), 4u);
}

TEST(PcmConvert, ConstantLevelSurvivesResampling) {
  for (int rate : {8000, 32000, 48000, 96000}) {
    PcmBuffer pcm{1, rate, std::vector<float>(static_cast<size_t>(rate) / 4, 0.5f)};
    Sound sound;
    ASSERT_TRUE(ToEngineFormat(pcm, sound));
    const std::vector<float> left = Channel(sound.samples, 2, 0);
    for (size_t i = 1000; i + 1000 < left.size(); ++i) ASSERT_NEAR(left[i], 0.5f, 0.001f) << rate << " @" << i;
  }
}

TEST(PcmConvert, ContentAboveTheNewNyquistDoesNotAlias) {
  // 30 kHz at 96 kHz has no place at 44.1 kHz; a naive resampler folds it to 14.1 kHz.
  const PcmBuffer pcm = Sine(1, 96000, 48000, 30000.0, 0.9);
  Sound sound;
  ASSERT_TRUE(ToEngineFormat(pcm, sound));
  const std::vector<float> left = Channel(sound.samples, 2, 0);
  EXPECT_LT(Rms(left, 500, left.size() - 500), 0.9 / std::sqrt(2.0) * 0.001);  // below -60 dB
}

TEST(PcmConvert, ResampledPeaksStayInRange) {
  // A full-scale square wave rings past +-1 through any band-limited filter.
  PcmBuffer pcm{1, 32000, {}};
  for (int i = 0; i < 3200; ++i) pcm.samples.push_back((i / 40) % 2 ? 1.0f : -1.0f);
  Sound sound;
  ASSERT_TRUE(ToEngineFormat(pcm, sound));
  for (const float v : sound.samples) ASSERT_TRUE(v >= -1.0f && v <= 1.0f) << v;
}

// ---- Ogg Vorbis -----------------------------------------------------------------------------

TEST(VorbisDecode, MonoSine) {
  const std::string file = ReadFixture("vorbis", "sine-440hz-mono-22050hz.ogg");
  ASSERT_FALSE(file.empty());
  PcmBuffer pcm;
  ASSERT_TRUE(DecodeVorbis(reinterpret_cast<const uint8_t*>(file.data()), file.size(), pcm));
  EXPECT_EQ(pcm.channels, 1);
  EXPECT_EQ(pcm.sampleRate, 22050);
  EXPECT_EQ(pcm.Frames(), 6615u);  // 0.3 s
  EXPECT_NEAR(MeasureFrequency(pcm.samples, 22050, 300), 440.0, 2.0);
  ExpectSane(pcm, 8);

  Sound sound;
  ASSERT_TRUE(ToEngineFormat(pcm, sound));
  EXPECT_EQ(sound.Frames(), 13230u);
  EXPECT_NEAR(MeasureFrequency(Channel(sound.samples, 2, 1), 44100, 600), 440.0, 2.0);
}

TEST(VorbisDecode, SurroundComesOutInWaveOrder) {
  // Encoded from a WAVE 5.1 file with one tone per channel; Vorbis stores L C R ... LFE.
  const std::string file = ReadFixture("vorbis", "tones-300-500-700-100-1100-1300hz-5.1-32000hz.ogg");
  ASSERT_FALSE(file.empty());
  PcmBuffer pcm;
  ASSERT_TRUE(DecodeVorbis(reinterpret_cast<const uint8_t*>(file.data()), file.size(), pcm));
  EXPECT_EQ(pcm.channels, 6);
  EXPECT_EQ(pcm.sampleRate, 32000);
  EXPECT_EQ(pcm.Frames(), 6400u);  // 0.2 s
  const double expected[6] = {300, 500, 700, 100, 1100, 1300};
  for (size_t c = 0; c < 6; ++c) {
    EXPECT_NEAR(MeasureFrequency(Channel(pcm.samples, 6, c), 32000, 400), expected[c], expected[c] * 0.01)
        << "channel " << c;
  }
}

TEST(VorbisDecode, DamagedStreams) {
  const std::string file = ReadFixture("vorbis", "sine-440hz-mono-22050hz.ogg");
  ASSERT_GT(file.size(), 3500u);
  const auto* bytes = reinterpret_cast<const uint8_t*>(file.data());
  PcmBuffer full;
  ASSERT_TRUE(DecodeVorbis(bytes, file.size(), full));

  // Cut inside the headers: nothing to play.
  for (size_t n : {size_t{0}, size_t{4}, size_t{30}, size_t{100}, size_t{3000}}) {
    PcmBuffer pcm;
    EXPECT_FALSE(DecodeVorbis(bytes, n, pcm)) << n;
    EXPECT_TRUE(pcm.samples.empty());
  }
  // Cut inside the audio: what was there still plays, sample for sample.
  PcmBuffer cut;
  ASSERT_TRUE(DecodeVorbis(bytes, file.size() - 100, cut));
  ASSERT_GE(cut.Frames(), 2048u);
  EXPECT_TRUE(std::equal(cut.samples.begin(), cut.samples.begin() + 2048, full.samples.begin()));

  // A broken identification header.
  std::string bad = file;
  bad[30] = 'X';  // "\x01vorbis" -> "\x01vorXis"
  PcmBuffer pcm;
  EXPECT_FALSE(DecodeVorbis(reinterpret_cast<const uint8_t*>(bad.data()), bad.size(), pcm));
  // Ogg framing around garbage.
  std::string garbage = "OggS";
  garbage.push_back('\0');
  for (int i = 0; i < 4000; ++i) garbage.push_back(static_cast<char>((i * 7919) >> 3));
  EXPECT_FALSE(DecodeVorbis(reinterpret_cast<const uint8_t*>(garbage.data()), garbage.size(), pcm));
  // A WAV is not Ogg.
  const std::string wav = SimpleWav({1, 1, 8000, 16}, Pcm16({1}));
  EXPECT_FALSE(DecodeVorbis(reinterpret_cast<const uint8_t*>(wav.data()), wav.size(), pcm));
}

namespace {

// Re-packs the header pages of an oggenc file with a different comment packet: the first page
// and the audio pages stay byte for byte, the comment and setup packets are laced anew (split
// over continuation pages when longer than one page holds).
std::string WithCommentPacket(const std::string& file, const std::string& comment) {
  const size_t secondPage = 58;
  const size_t segments = static_cast<uint8_t>(file[secondPage + 26]);
  size_t body = secondPage + 27 + segments;
  std::vector<std::string> packets;
  std::string current;
  for (size_t i = 0; i < segments; ++i) {
    const size_t length = static_cast<uint8_t>(file[secondPage + 27 + i]);
    current += file.substr(body, length);
    body += length;
    if (length < 255) packets.push_back(std::exchange(current, {}));
  }
  EXPECT_EQ(packets.size(), 2u);  // comment + setup, as oggenc lays them out
  EXPECT_EQ(file.compare(body, 4, "OggS"), 0);
  packets[0] = comment;

  std::vector<uint8_t> lacing;
  std::string payload;
  for (const std::string& packet : packets) {
    for (size_t left = packet.size();; left -= 255) {
      lacing.push_back(static_cast<uint8_t>(left < 255 ? left : 255));
      if (left < 255) break;
    }
    payload += packet;
  }
  std::string out = file.substr(0, secondPage);
  size_t laced = 0;
  size_t sent = 0;
  bool continued = false;
  while (laced < lacing.size()) {
    const size_t count = std::min<size_t>(255, lacing.size() - laced);
    std::string page = file.substr(secondPage, 27);
    page[5] = continued ? '\x01' : '\0';
    page[26] = static_cast<char>(count);
    size_t bytes = 0;
    for (size_t i = 0; i < count; ++i) {
      page.push_back(static_cast<char>(lacing[laced + i]));
      bytes += lacing[laced + i];
    }
    continued = lacing[laced + count - 1] == 255;
    out += page + payload.substr(sent, bytes);
    laced += count;
    sent += bytes;
  }
  return out + file.substr(body);
}

std::string CommentPacket(const std::string& vendor, const std::vector<std::string>& comments) {
  std::string s = "\x03vorbis";
  PutU32(s, static_cast<uint32_t>(vendor.size()));
  s += vendor;
  PutU32(s, static_cast<uint32_t>(comments.size()));
  for (const std::string& c : comments) {
    PutU32(s, static_cast<uint32_t>(c.size()));
    s += c;
  }
  return s + '\x01';
}

bool DecodeOgg(const std::string& file, PcmBuffer& out) {
  return DecodeVorbis(reinterpret_cast<const uint8_t*>(file.data()), file.size(), out);
}

}  // namespace

TEST(VorbisDecode, LargeCommentsLikeCoverArtStillPlay) {
  const std::string file = ReadFixture("vorbis", "sine-440hz-mono-22050hz.ogg");
  PcmBuffer original;
  ASSERT_TRUE(DecodeOgg(file, original));

  // ~200 KB over several pages, plus a thousand tiny comments.
  std::vector<std::string> comments(1000, "A=b");
  comments.push_back("METADATA_BLOCK_PICTURE=" + std::string(200000, 'Q'));
  PcmBuffer pcm;
  ASSERT_TRUE(DecodeOgg(WithCommentPacket(file, CommentPacket("velmora", comments)), pcm));
  EXPECT_EQ(pcm.samples, original.samples);

  ASSERT_TRUE(DecodeOgg(WithCommentPacket(file, CommentPacket("", {})), pcm));
  EXPECT_EQ(pcm.samples, original.samples);
}

TEST(VorbisDecode, LyingCommentHeaderIsRefused) {
  const std::string file = ReadFixture("vorbis", "sine-440hz-mono-22050hz.ogg");
  std::string tooManyComments = CommentPacket("v", {"a=b"});
  tooManyComments[7 + 4 + 1] = '\x40';  // count 0x40 with one comment's bytes behind it
  std::string longVendor = CommentPacket("v", {});
  longVendor[7] = '\xFF';
  longVendor[8] = '\xFF';
  std::string longComment = CommentPacket("v", {"a=b"});
  longComment[7 + 4 + 1 + 4 + 1] = '\x7F';
  std::string noFraming = CommentPacket("v", {});
  noFraming.back() = '\0';
  for (const std::string& packet : {tooManyComments, longVendor, longComment, noFraming}) {
    PcmBuffer pcm;
    EXPECT_FALSE(DecodeOgg(WithCommentPacket(file, packet), pcm));
    EXPECT_TRUE(pcm.samples.empty());
  }
}

// ---- every input the fuzzers ever tripped over ----------------------------------------------

namespace {

void ReplayAll(const char* kind, size_t atLeast) {
  const std::vector<std::string> names = HostFileNames(FuzzFolder(kind));
  EXPECT_GE(names.size(), atLeast) << kind;
  for (const std::string& name : names) {
    SCOPED_TRACE(std::string(kind) + "/" + name);
    const std::string bytes = ReadHostFile(FuzzFolder(kind) + "/" + name);
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    // Both decoders see every file: a crasher for one is still hostile input for the other.
    for (const bool wav : {true, false}) {
      PcmBuffer pcm;
      const bool ok = wav ? DecodeWav(data, bytes.size(), pcm) : DecodeVorbis(data, bytes.size(), pcm);
      if (!ok) {
        EXPECT_TRUE(pcm.samples.empty());
        continue;
      }
      ExpectSane(pcm, 8);
      Sound sound;
      if (ToEngineFormat(pcm, sound)) {
        EXPECT_EQ(sound.samples.size() % 2, 0u);
        for (const float v : sound.samples) ASSERT_TRUE(std::isfinite(v) && v >= -1.0f && v <= 1.0f) << v;
      }
    }
  }
}

}  // namespace

TEST(FuzzRegressions, WavInputs) { ReplayAll("wav", 1); }

TEST(FuzzRegressions, VorbisInputs) { ReplayAll("vorbis", 2); }

// ---- long files, read as they decode --------------------------------------------------------

namespace {

std::unique_ptr<PcmSource> OpenVorbisSound(const char* name) {
  const std::string path = std::string(VELMORA_TEST_SOUNDS_UNIX) + "/" + name;
  std::error_code error;
  const uintmax_t size = std::filesystem::file_size(path, error);
  std::FILE* file = error ? nullptr : std::fopen(path.c_str(), "rb");
  if (!file) return nullptr;
  return OpenVorbisSource(file, size);
}

}  // namespace

TEST(LongFiles, VorbisDeclaresItsLengthAndDecodesAllOfIt) {
  // Twelve minutes: longer than a whole decode keeps, so nothing may cut it short here.
  std::unique_ptr<PcmSource> source = OpenVorbisSound("long-12min-22050.ogg");
  ASSERT_TRUE(source) << "run scripts/make-test-sounds.sh";
  EXPECT_EQ(source->Channels(), 1);
  EXPECT_EQ(source->SampleRate(), 22050);
  EXPECT_EQ(source->DeclaredFrames(), 720u * 22050u);
  std::vector<float> piece;
  uint64_t frames = 0;
  while (source->ReadMore(piece)) {
    frames += piece.size();
    piece.clear();
  }
  EXPECT_EQ(frames, source->DeclaredFrames());
}

TEST(LongFiles, WavReadInPiecesMatchesTheWholeDecode) {
  for (const char* name : {"float-nan-inf-and-out-of-range.wav", "streaming-data-size-ffffffff.wav",
                           "data-size-past-end-with-half-frame.wav", "extensible-float-5.1-48000.wav"}) {
    SCOPED_TRACE(name);
    const std::string file = ReadFixture("wav", name);
    PcmBuffer whole;
    ASSERT_TRUE(Decode(file, whole));
    std::unique_ptr<PcmSource> source =
        OpenWavSource(std::make_unique<MemoryBytes>(reinterpret_cast<const uint8_t*>(file.data()), file.size()));
    ASSERT_TRUE(source);
    EXPECT_EQ(source->DeclaredFrames(), whole.Frames());
    std::vector<float> read;
    while (source->ReadMore(read)) {
    }
    EXPECT_EQ(read, whole.samples);
  }
  const std::string notWav = "RIFF\x04\0\0\0WAVE";
  EXPECT_FALSE(
      OpenWavSource(std::make_unique<MemoryBytes>(reinterpret_cast<const uint8_t*>(notWav.data()), notWav.size())));
}
