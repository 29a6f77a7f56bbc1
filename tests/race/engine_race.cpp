// The engine's shared state under ThreadSanitizer, natively (scripts/race.sh): the voice table
// (Mixer) and the stream feeds, driven the way the program drives them. One thread plays the
// UI thread (starting, restarting, stopping, freeing voices, sounds and streams), one the
// render thread (mixing period after period), one reads the play timing as the benchmarks do;
// one writes the microphone's packets as the capture thread does; every stream feed adds its own
// decoding thread. A data race makes TSan fail the run. Every allocation made on a render or
// capture thread once it is running is counted (through the sanitizer's allocation hooks): a
// device thread must never wait on the heap, so any is a failure.
#include "playback/engine/Mixer.h"
#include "playback/engine/PcmSource.h"
#include "playback/engine/StreamFeed.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include <sanitizer/allocator_interface.h>

using namespace velmora::audio;

namespace {

thread_local bool t_deviceThread = false;
std::atomic<uint64_t> g_deviceAllocations{0};

void CountAllocation(const volatile void*, size_t) {
  if (t_deviceThread) ++g_deviceAllocations;
}
void IgnoreFree(const volatile void*) {}

int64_t Now() { return std::chrono::steady_clock::now().time_since_epoch().count(); }

// A tone in pieces of varying size, at a rate that needs converting.
class ToneSource final : public PcmSource {
 public:
  ToneSource(int channels, int rate, uint64_t frames, unsigned seed)
      : channels_(channels), rate_(rate), frames_(frames), random_(seed) {}
  int Channels() const override { return channels_; }
  int SampleRate() const override { return rate_; }
  uint64_t DeclaredFrames() const override { return frames_; }
  bool ReadMore(std::vector<float>& samples) override {
    if (done_ >= frames_) return false;
    const uint64_t n = std::min<uint64_t>(frames_ - done_, 1 + random_() % 6000);
    for (uint64_t f = 0; f < n; ++f, ++done_) {
      const float v = 0.5f * static_cast<float>(std::sin(static_cast<double>(done_) * 0.06));
      for (int c = 0; c < channels_; ++c) samples.push_back(v);
    }
    return true;
  }

 private:
  int channels_;
  int rate_;
  uint64_t frames_;
  uint64_t done_ = 0;
  std::minstd_rand random_;
};

}  // namespace

int main() {
  const char* limit = std::getenv("RACE_SECONDS");
  const auto seconds = std::chrono::seconds(limit ? std::atoi(limit) : 20);
  __sanitizer_install_malloc_and_free_hooks(&CountAllocation, &IgnoreFree);
  Mixer mixer(&Now, 1000000000);
  std::atomic<bool> stop{false};
  std::atomic<uint64_t> periods{0};
  std::atomic<uint64_t> plays{0};

  // The output device's and the monitor's render threads, each at its own pace.
  auto renderer = [&](int output, int pauseUs) {
    return std::thread([&, output, pauseUs] {
      std::vector<float> buffer(441 * 2);
      mixer.EnableTakeBack(output, true);
      t_deviceThread = true;  // the stream is open from here on
      while (!stop) {
        if (mixer.TakeBackWanted(output)) mixer.TakeBack(output, 441);  // a replace: the queue dropped
        mixer.HasAudibleVoice(output);
        mixer.Mix(output, buffer.data(), 441, 882, Now());
        for (const float v : buffer) {
          if (!(v >= -1.0f && v <= 1.0f)) std::abort();
        }
        if (++periods % 997 == 0) mixer.OutputStopped(output);  // a second of silence stopped its stream
        std::this_thread::sleep_for(std::chrono::microseconds(pauseUs));
      }
    });
  };
  std::thread render = renderer(0, 500);
  std::thread monitor = renderer(1, 650);
  // The microphone's capture thread, now and then lost and back.
  auto input = std::make_shared<LiveInput>(1000000000);
  std::thread capture([&] {
    std::vector<float> packet(441 * 2, 0.1f);
    t_deviceThread = true;
    for (unsigned n = 0; !stop; ++n) {
      input->Write(n % 7 == 0 ? nullptr : packet.data(), 441, Now());
      if (n % 500 == 0) input->Restart();
      std::this_thread::sleep_for(std::chrono::microseconds(450));
    }
  });
  std::thread timing([&] {
    while (!stop) {
      if (input->Stats(static_cast<int>(periods % 2)).ratio > 1.01) std::abort();
      const Mixer::PlayTiming t = mixer.LastPlayTiming();
      if (t.firstWrite != 0 && t.firstWrite < t.requested) std::abort();  // one play's request, another's write
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  });

  // The UI thread.
  auto sound = std::make_shared<Sound>();
  sound->samples.assign(44100 * 2, 0.25f);
  std::minstd_rand random(42);
  std::vector<uint32_t> ids;
  const auto end = std::chrono::steady_clock::now() + seconds;
  while (std::chrono::steady_clock::now() < end) {
    const unsigned action = random() % 10;
    if (action < 2 || ids.empty()) {
      uint32_t id = 0;
      if (random() % 2) {
        id = mixer.AddVoice(sound);
      } else {
        const unsigned seed = static_cast<unsigned>(random());
        const int channels = 1 + static_cast<int>(seed % 6);
        const int rate = seed % 3 == 0 ? 44100 : 22050 + static_cast<int>(seed % 30000);
        id = mixer.AddStreamVoice(
            [=] {
              return std::make_shared<StreamFeed>(
                  std::make_unique<ToneSource>(channels, rate, 30000 + seed % 200000, seed));
            },
            30000);
      }
      if (id != 0) ids.push_back(id);
    } else {
      const uint32_t id = ids[random() % ids.size()];
      switch (action) {
        case 2:
        case 3:
          mixer.PlayVoice(id, random() % 2 == 0, random() % 2 == 0);
          ++plays;
          break;
        case 4:
          mixer.StopVoice(id);
          if (random() % 8 == 0) mixer.SetOutputPresent(1, random() % 2 == 0);  // monitor off / on
          if (random() % 8 == 0) mixer.OutputClosed(static_cast<int>(random() % 2));
          break;
        case 5:
          mixer.SetVoiceVolume(id, static_cast<float>(random() % 100) / 100.0f);
          if (random() % 2 == 0) mixer.SetVoiceLeveling(id, static_cast<float>(random() % 400) / 100.0f);
          if (random() % 4 == 0) mixer.SetInput(random() % 3 == 0 ? nullptr : input);  // microphone off / on
          if (random() % 4 == 0) mixer.SetInputRouted(1, random() % 2 == 0);
          if (random() % 4 == 0) mixer.SetInputGain(static_cast<float>(random() % 100) / 100.0f);
          if (random() % 4 == 0) mixer.SetInputDucking(static_cast<float>(random() % 31));
          break;
        case 6: {
          uint64_t position = 0, length = 0;
          mixer.VoiceFrames(id, &position, &length);
          mixer.SetVoicePosition(id, position / 2);
          break;
        }
        default:
          if (ids.size() > 6 || random() % 4 == 0) {
            mixer.FreeVoice(id);
            ids.erase(std::find(ids.begin(), ids.end(), id));
          }
          break;
      }
    }
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 3000));
  }
  mixer.FreeAll();
  stop = true;
  render.join();
  monitor.join();
  capture.join();
  timing.join();
  std::printf("race: %llu periods mixed, %llu plays, no race reported\n",
              static_cast<unsigned long long>(periods.load()), static_cast<unsigned long long>(plays.load()));
  std::printf("race: allocations on device threads: %llu\n",
              static_cast<unsigned long long>(g_deviceAllocations.load()));
  return g_deviceAllocations.load() == 0 ? 0 : 1;
}
