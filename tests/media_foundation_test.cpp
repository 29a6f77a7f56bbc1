// Media Foundation decoding of the sounds scripts/make-test-sounds.sh makes: every good one is a
// sine at amplitude 0.5, so rate, layout, length, pitch and level can all be checked.
#include "playback/engine/MediaFoundationDecoder.h"

#include "tests/support/Files.h"

#include <gtest/gtest.h>
#include <objbase.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <future>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace velmora::audio {
namespace {

using Clock = std::chrono::steady_clock;

constexpr double kPi = 3.14159265358979323846;

std::string Utf8(std::wstring_view text) {
  const int length = static_cast<int>(text.size());
  const int needed = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(needed), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), length, out.data(), needed, nullptr, nullptr);
  return out;
}

std::wstring SoundPath(std::wstring_view name) {
  return test::FromUnixPath(VELMORA_TEST_SOUNDS_UNIX) + L"\\" + std::wstring(name);
}

// A missing sound must fail the test: a decoder that refuses everything would otherwise pass
// every "bad file" case.
::testing::AssertionResult HaveSound(const std::wstring& path) {
  if (::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "missing test sound " << Utf8(path)
                                       << "; make them with: bash scripts/make-test-sounds.sh "
                                       << VELMORA_TEST_SOUNDS_UNIX;
}

// How many decodes this process has started: the first one also pays for loading Media
// Foundation and its GStreamer back end under Wine, which the timing report singles out.
std::atomic<int> g_decodes{0};

bool CountedDecode(const std::wstring& path, PcmBuffer& out) {
  ++g_decodes;
  return DecodeWithMediaFoundation(path, out);
}

enum class Outcome { Decoded, Refused, Hung };

struct DecodeRun {
  Outcome outcome = Outcome::Hung;
  PcmBuffer pcm;
  double milliseconds = 0;
};

// Decodes on a thread of its own (no session held there, as on a fresh worker) and gives up
// waiting after `limit`, so a decoder that hangs fails the test instead of stalling the run.
// The thread owns everything it touches, so it can be left behind safely.
DecodeRun DecodeWithin(const std::wstring& path, std::chrono::seconds limit = std::chrono::seconds(20)) {
  struct Shared {
    std::wstring path;
    PcmBuffer pcm;
    bool ok = false;
    std::promise<void> done;
  };
  auto shared = std::make_shared<Shared>();
  shared->path = path;
  std::future<void> finished = shared->done.get_future();
  const Clock::time_point start = Clock::now();
  std::thread([shared] {
    shared->ok = CountedDecode(shared->path, shared->pcm);
    shared->done.set_value();
  }).detach();

  DecodeRun run;
  if (finished.wait_for(limit) != std::future_status::ready) return run;
  run.milliseconds = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  run.outcome = shared->ok ? Outcome::Decoded : Outcome::Refused;
  run.pcm = std::move(shared->pcm);
  return run;
}

const char* Describe(Outcome outcome) {
  switch (outcome) {
    case Outcome::Decoded:
      return "decoded";
    case Outcome::Refused:
      return "refused";
    case Outcome::Hung:
      return "hung";
  }
  return "?";
}

// Amplitude of the `frequency` component of one channel over [first, first + count) frames
// (Goertzel). A pure sine of amplitude A at that frequency gives A; a tone a few hertz away
// gives almost nothing, so this pins pitch and rate together.
double ToneAmplitude(const PcmBuffer& pcm, int channel, size_t first, size_t count, double frequency) {
  const double coefficient = 2.0 * std::cos(2.0 * kPi * frequency / pcm.sampleRate);
  double s1 = 0;
  double s2 = 0;
  const size_t stride = static_cast<size_t>(pcm.channels);
  for (size_t frame = first; frame < first + count; ++frame) {
    const double s0 = pcm.samples[frame * stride + static_cast<size_t>(channel)] + coefficient * s1 - s2;
    s2 = s1;
    s1 = s0;
  }
  const double power = s1 * s1 + s2 * s2 - coefficient * s1 * s2;
  return 2.0 * std::sqrt(std::max(power, 0.0)) / static_cast<double>(count);
}

struct Expected {
  int sampleRate;
  int channels;
  double frequency;
  double seconds = 0.5;
};

// Lossy encoders add priming and padding the decoder may or may not trim.
constexpr double kLengthTolerance = 0.060;

void ExpectSine(const PcmBuffer& pcm, const Expected& expected) {
  ASSERT_EQ(pcm.sampleRate, expected.sampleRate);
  ASSERT_EQ(pcm.channels, expected.channels);
  ASSERT_EQ(pcm.samples.size() % static_cast<size_t>(pcm.channels), 0u);
  const double seconds = static_cast<double>(pcm.Frames()) / pcm.sampleRate;
  EXPECT_NEAR(seconds, expected.seconds, kLengthTolerance);

  // 0.1 s in, 0.3 s long: clear of the encoders' onset ringing and of any priming silence left
  // at the start.
  const size_t first = static_cast<size_t>(pcm.sampleRate / 10);
  const size_t count = static_cast<size_t>(pcm.sampleRate * 3 / 10);
  ASSERT_GE(pcm.Frames(), first + count);

  // AAC rings up to about 0.62 in its first frame (ffmpeg's own decoder shows the same), so the
  // level is judged where the tone is steady and the whole sound only has to stay near it.
  float steadyPeak = 0;
  float peak = 0;
  const size_t stride = static_cast<size_t>(pcm.channels);
  for (size_t i = 0; i < pcm.samples.size(); ++i) {
    const float magnitude = std::fabs(pcm.samples[i]);
    peak = std::max(peak, magnitude);
    if (i >= first * stride && i < (first + count) * stride) steadyPeak = std::max(steadyPeak, magnitude);
  }
  EXPECT_NEAR(steadyPeak, 0.5, 0.1);
  EXPECT_LT(peak, 0.75f);
  const double other = expected.frequency == 1000.0 ? 440.0 : 1000.0;
  for (int channel = 0; channel < pcm.channels; ++channel) {
    SCOPED_TRACE("channel " + std::to_string(channel));
    EXPECT_NEAR(ToneAmplitude(pcm, channel, first, count, expected.frequency), 0.5, 0.1);
    EXPECT_LT(ToneAmplitude(pcm, channel, first, count, other), 0.02);
  }
}

void ExpectDecodesSine(std::wstring_view name, const Expected& expected) {
  SCOPED_TRACE(Utf8(name));
  const std::wstring path = SoundPath(name);
  ASSERT_TRUE(HaveSound(path));
  const DecodeRun run = DecodeWithin(path);
  ASSERT_EQ(run.outcome, Outcome::Decoded) << Describe(run.outcome);
  std::printf("[ media foundation ] %s: %d Hz, %d ch, %.3f s, %.0f ms\n", Utf8(name).c_str(), run.pcm.sampleRate,
              run.pcm.channels, static_cast<double>(run.pcm.Frames()) / run.pcm.sampleRate, run.milliseconds);
  std::fflush(stdout);
  ExpectSine(run.pcm, expected);
}

TEST(MediaFoundationDecode, Mp3) { ExpectDecodesSine(L"sine1k.mp3", {44100, 2, 1000.0}); }

TEST(MediaFoundationDecode, Mp3OfTheOtherPitch) { ExpectDecodesSine(L"sine440.mp3", {44100, 2, 440.0}); }

TEST(MediaFoundationDecode, Flac24BitAt48k) { ExpectDecodesSine(L"sine1k.flac", {48000, 2, 1000.0}); }

TEST(MediaFoundationDecode, AacMonoAt48k) { ExpectDecodesSine(L"sine1k.m4a", {48000, 1, 1000.0}); }

TEST(MediaFoundationDecode, Wma) { ExpectDecodesSine(L"sine1k.wma", {44100, 2, 1000.0}); }

// In code page 936 乗 is 0x81 0x5C, and 0x5C is '\': a path that went through ANSI anywhere
// would be cut there.
TEST(MediaFoundationDecode, NameWhoseAnsiBytesHoldABackslash) { ExpectDecodesSine(L"乗车.mp3", {44100, 2, 1000.0}); }

// Our own decoders handle WAV and Ogg; Media Foundation is only their fallback and does not read
// Ogg on stock Windows. Whatever it accepts must still come out right.
TEST(MediaFoundationDecode, WavAndOggWhenTheSystemAcceptsThem) {
  struct Case {
    const wchar_t* name;
    Expected expected;
  };
  const Case cases[] = {
      {L"sine1k-s16-stereo-44100.wav", {44100, 2, 1000.0}},
      {L"sine1k-u8-mono-22050.wav", {22050, 1, 1000.0}},
      {L"sine1k-s24-stereo-48000.wav", {48000, 2, 1000.0}},
      {L"sine1k-f32-mono-44100.wav", {44100, 1, 1000.0}},
      {L"sine660-3s.wav", {44100, 2, 660.0, 3.0}},
      {L"掌声.wav", {44100, 2, 1000.0}},
      {L"sine1k.ogg", {44100, 2, 1000.0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Utf8(c.name));
    const std::wstring path = SoundPath(c.name);
    ASSERT_TRUE(HaveSound(path));
    const DecodeRun run = DecodeWithin(path);
    std::printf("[ media foundation ] %s: %s", Utf8(c.name).c_str(), Describe(run.outcome));
    if (run.outcome == Outcome::Decoded) {
      std::printf(" (%d Hz, %d ch, %.3f s, %.0f ms)", run.pcm.sampleRate, run.pcm.channels,
                  static_cast<double>(run.pcm.Frames()) / run.pcm.sampleRate, run.milliseconds);
    }
    std::printf("\n");
    std::fflush(stdout);
    ASSERT_NE(run.outcome, Outcome::Hung);
    if (run.outcome == Outcome::Decoded) ExpectSine(run.pcm, c.expected);
  }
}

TEST(MediaFoundationDecode, RefusesBrokenFilesWithoutHanging) {
  const wchar_t* const names[] = {
      L"empty.wav",   L"empty.mp3",  L"random.mp3",    L"random.wav",      L"random.ogg",
      L"random.flac", L"random.m4a", L"truncated.mp3", L"lying-sizes.wav",
  };
  for (const wchar_t* name : names) {
    SCOPED_TRACE(Utf8(name));
    const std::wstring path = SoundPath(name);
    ASSERT_TRUE(HaveSound(path));
    const DecodeRun run = DecodeWithin(path);
    EXPECT_EQ(run.outcome, Outcome::Refused) << Describe(run.outcome);
    EXPECT_TRUE(run.pcm.samples.empty());
    EXPECT_EQ(run.pcm.channels, 0);
  }
}

TEST(MediaFoundationDecode, RefusesWhatIsNotAFile) {
  const std::wstring folder = test::FromUnixPath(VELMORA_TEST_SOUNDS_UNIX);
  ASSERT_TRUE(HaveSound(folder));
  std::wstring tooLong = folder;
  while (tooLong.size() <= 300) tooLong += L"\\no-such-folder-with-a-long-name";
  tooLong += L"\\sine1k.mp3";
  const std::wstring paths[] = {SoundPath(L"no-such-sound.mp3"), folder, tooLong, L""};
  for (const std::wstring& path : paths) {
    SCOPED_TRACE(Utf8(path));
    const DecodeRun run = DecodeWithin(path);
    EXPECT_EQ(run.outcome, Outcome::Refused) << Describe(run.outcome);
  }
}

// A stream longer than the engine's limit is refused as a whole, not cut to the limit.
TEST(MediaFoundationDecode, RefusesMoreThanTheFrameLimit) {
  const std::wstring path = SoundPath(L"too-long.flac");
  ASSERT_TRUE(HaveSound(path));
  const DecodeRun run = DecodeWithin(path, std::chrono::seconds(120));
  std::printf("[ media foundation ] too-long.flac: %s after %.0f ms\n", Describe(run.outcome), run.milliseconds);
  std::fflush(stdout);
  EXPECT_EQ(run.outcome, Outcome::Refused) << Describe(run.outcome);
  EXPECT_TRUE(run.pcm.samples.empty());
}

// The data chunk claims ten times the bytes that follow. Reading what is there is fine; inventing
// the rest is not.
TEST(MediaFoundationDecode, WavWhoseDataSizeLiesGivesOnlyWhatIsThere) {
  const std::wstring path = SoundPath(L"long-data-size.wav");
  ASSERT_TRUE(HaveSound(path));
  const DecodeRun run = DecodeWithin(path);
  std::printf("[ media foundation ] long-data-size.wav: %s\n", Describe(run.outcome));
  std::fflush(stdout);
  ASSERT_NE(run.outcome, Outcome::Hung);
  if (run.outcome == Outcome::Decoded) ExpectSine(run.pcm, {44100, 2, 1000.0});
}

// Paths past MAX_PATH are the platform's business (Windows opens them only for programs that
// opt in). A file that is really there must either decode correctly or be refused cleanly.
TEST(MediaFoundationDecode, FileDeepInALongPath) {
  const std::wstring source = SoundPath(L"sine1k.mp3");
  ASSERT_TRUE(HaveSound(source));
  wchar_t temp[MAX_PATH] = {};
  ASSERT_NE(::GetTempPathW(MAX_PATH, temp), 0u);
  const std::wstring root = std::wstring(temp) + L"velmora-long-path-" + std::to_wstring(::GetCurrentProcessId());
  std::wstring folder = root;
  ASSERT_TRUE(::CreateDirectoryW(root.c_str(), nullptr)) << Utf8(root);
  std::vector<std::wstring> created{root};
  while (folder.size() <= 280) {
    folder += L"\\a-folder-name-that-is-forty-characters-x";
    ASSERT_TRUE(::CreateDirectoryW((L"\\\\?\\" + folder).c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS)
        << Utf8(folder);
    created.push_back(folder);
  }
  const std::wstring target = folder + L"\\sine1k.mp3";
  ASSERT_TRUE(::CopyFileW(source.c_str(), (L"\\\\?\\" + target).c_str(), FALSE));

  const DecodeRun run = DecodeWithin(target);
  std::printf("[ media foundation ] %zu-character path: %s\n", target.size(), Describe(run.outcome));
  std::fflush(stdout);
  EXPECT_NE(run.outcome, Outcome::Hung);
  if (run.outcome == Outcome::Decoded) ExpectSine(run.pcm, {44100, 2, 1000.0});

  ::DeleteFileW((L"\\\\?\\" + target).c_str());
  for (auto it = created.rbegin(); it != created.rend(); ++it) ::RemoveDirectoryW((L"\\\\?\\" + *it).c_str());
}

// The UI thread already lives in a single-threaded apartment: the session must work there and
// leave the apartment to its owner.
TEST(MediaFoundationSession, WorksInsideAnExistingSingleThreadedApartment) {
  const std::wstring path = SoundPath(L"sine1k.mp3");
  ASSERT_TRUE(HaveSound(path));
  bool started = false;
  bool decoded = false;
  HRESULT afterSession = E_FAIL;
  std::thread([&] {
    if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return;
    {
      MediaFoundationSession session;
      started = session.Started();
      PcmBuffer pcm;
      decoded = CountedDecode(path, pcm);
    }
    // S_FALSE: the apartment still exists, so the session did not end it.
    afterSession = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (SUCCEEDED(afterSession)) ::CoUninitialize();
    ::CoUninitialize();
  }).join();
  EXPECT_TRUE(started);
  EXPECT_TRUE(decoded);
  EXPECT_EQ(afterSession, S_FALSE);
}

// On a thread without COM, the session's COM initialisation is undone when it ends.
TEST(MediaFoundationSession, UndoesOnlyWhatItStarted) {
  bool started = false;
  HRESULT afterSession = E_FAIL;
  std::thread([&] {
    {
      MediaFoundationSession session;
      started = session.Started();
    }
    // S_OK: this is a first initialisation again, so the session's own one was released.
    afterSession = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (SUCCEEDED(afterSession)) ::CoUninitialize();
  }).join();
  EXPECT_TRUE(started);
  EXPECT_EQ(afterSession, S_OK);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Not a pass/fail check: how long one MP3 takes to open and decode decides whether the engine
// may decode on a key press or must do it ahead of time.
TEST(MediaFoundationTiming, Mp3OpenAndDecode) {
  const std::wstring path = SoundPath(L"sine1k.mp3");
  ASSERT_TRUE(HaveSound(path));
  auto timeOne = [&path] {
    PcmBuffer pcm;
    const Clock::time_point start = Clock::now();
    const bool ok = CountedDecode(path, pcm);
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    EXPECT_TRUE(ok);
    return ms;
  };

  const bool firstInProcess = g_decodes.load() == 0;
  const double withoutSession = timeOne();
  std::vector<double> withSession;
  {
    const Clock::time_point start = Clock::now();
    MediaFoundationSession session;
    const double startup = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    ASSERT_TRUE(session.Started());
    for (int i = 0; i < 7; ++i) withSession.push_back(timeOne());
    std::printf("[ timing ] session start %.1f ms\n", startup);
  }
  std::printf(
      "[ timing ] mp3 open+decode without a session %.1f ms%s; with one held: median %.1f ms, min %.1f, "
      "max %.1f\n",
      withoutSession, firstInProcess ? " (first decode in this process)" : "", Median(withSession),
      *std::min_element(withSession.begin(), withSession.end()),
      *std::max_element(withSession.begin(), withSession.end()));
  std::fflush(stdout);
}

}  // namespace
}  // namespace velmora::audio
