#include "playback/engine/Mixer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <utility>

namespace velmora::audio {

namespace {
constexpr size_t kMaxVoices = 64;
// The most silence written ahead of a voice to start it with the other outputs: a start time
// further off than this is a clock gone wrong, not a device to wait for.
constexpr int64_t kMaxLeadFrames = kEngineRate / 10;
// How much later than expected a device's queue may read for no other reason than where in its
// period it was asked (periods are 10 ms in shared mode).
constexpr int64_t kMaxPhaseFrames = kEngineRate * 15 / 1000;
// A write lets the expected end of the queue creep this share of its length later than the
// frames it adds: far more than two sound cards' clocks drift apart.
constexpr uint32_t kDriftShare = 64;
}  // namespace

Mixer::Mixer(int64_t (*clock)(), int64_t ticksPerSecond) : clock_(clock), ticksPerSecond_(ticksPerSecond) {
  // Room for a whole second of every output's mix here, so a render thread never allocates
  // (shared-mode buffers hold tens of milliseconds).
  for (int o = 0; o < kMaxOutputs; ++o) {
    scratch_[o].resize(static_cast<size_t>(kEngineRate) * kEngineChannels);
    inputScratch_[o].resize(scratch_[o].size());
  }
}

Mixer::Voice* Mixer::FindVoice(uint32_t id) {
  for (Voice& voice : voices_) {
    if (voice.id == id) return &voice;
  }
  return nullptr;
}

const Mixer::Voice* Mixer::FindVoice(uint32_t id) const {
  for (const Voice& voice : voices_) {
    if (voice.id == id) return &voice;
  }
  return nullptr;
}

uint32_t Mixer::Add(Voice voice) {
  std::lock_guard<std::mutex> lock(lock_);
  if (voices_.size() >= kMaxVoices) return 0;
  voices_.reserve(kMaxVoices);  // once: the render thread never waits on a reallocation after that
  voice.id = nextId_++;
  if (nextId_ == 0) nextId_ = 1;
  JoinOutputs(voice);
  voices_.push_back(std::move(voice));
  return voices_.back().id;
}

uint32_t Mixer::AddVoice(std::shared_ptr<const Sound> sound) noexcept {
  if (!sound) return 0;
  try {
    Voice voice;
    voice.sound = std::move(sound);
    return Add(std::move(voice));
  } catch (const std::exception&) {
    return 0;
  }
}

uint32_t Mixer::AddStreamVoice(FeedOpener open, uint64_t lengthFrames) noexcept {
  if (!open) return 0;
  try {
    Voice voice;
    voice.feed = open();
    if (!voice.feed) return 0;
    voice.reopen = std::move(open);
    voice.streamLength = lengthFrames;
    return Add(std::move(voice));
  } catch (const std::exception&) {  // the ring or the decoding thread could not be had
    return 0;
  }
}

bool Mixer::FreeVoice(uint32_t id) noexcept {
  Voice released;  // the sound or the decoding thread goes outside the lock
  std::shared_ptr<const Sound> fadesEnded[kMaxOutputs][kMaxFades];  // likewise
  {
    std::lock_guard<std::mutex> lock(lock_);
    const auto found = std::find_if(voices_.begin(), voices_.end(), [id](const Voice& v) { return v.id == id; });
    if (id == 0 || found == voices_.end()) return false;
    for (int o = 0; o < kMaxOutputs; ++o) {
      for (size_t f = 0; f < kMaxFades; ++f) {
        if (fades_[o][f].done >= kCutFadeFrames) fadesEnded[o][f] = std::move(fades_[o][f].sound);
      }
    }
    if (found->playing) StartFades(*found);
    released = std::move(*found);
    voices_.erase(found);
  }
  StreamFeed::Retire(std::move(released.feed));
  return true;
}

void Mixer::StartFades(const Voice& voice) {
  if (!voice.sound) return;  // a stream's ring cannot go back: it ends where it is
  const size_t slot = nextFade_++ % kMaxFades;
  for (int o = 0; o < kMaxOutputs; ++o) {
    if (!present_[o] || voice.position[o] >= voice.sound->Frames()) continue;
    fades_[o][slot] = Fade{voice.sound, voice.position[o], 0, voice.volume * voice.leveling};
  }
}

void Mixer::MixFades(int output, float* out, uint32_t frames) {
  for (Fade& fade : fades_[output]) {
    if (!fade.sound || fade.done >= kCutFadeFrames) continue;
    const uint64_t length = fade.sound->Frames();
    const uint64_t n =
        std::min<uint64_t>({frames, kCutFadeFrames - fade.done, length > fade.position ? length - fade.position : 0});
    const float* source = fade.sound->samples.data() + fade.position * kEngineChannels;
    const float volume = fade.volume * gain_[output];
    for (uint64_t i = 0; i < n; ++i) {
      const float gain = volume * static_cast<float>(kCutFadeFrames - fade.done - i) / kCutFadeFrames;
      for (int c = 0; c < kEngineChannels; ++c) out[i * kEngineChannels + c] += source[i * kEngineChannels + c] * gain;
    }
    fade.position += n;
    fade.done = n == 0 ? kCutFadeFrames : fade.done + static_cast<uint32_t>(n);
  }
}

void Mixer::JoinOutputs(Voice& voice) {
  for (int o = 1; o < kMaxOutputs; ++o) {
    voice.position[o] = voice.position[0];
    if (!voice.feed) continue;
    if (present_[o]) {
      voice.feed->Join(o);
    } else {
      voice.feed->Leave(o);
    }
  }
}

void Mixer::SetOutputPresent(int output, bool present) noexcept {
  if (output <= 0 || output >= kMaxOutputs) return;
  std::lock_guard<std::mutex> lock(lock_);
  if (present_[output] == present) return;
  present_[output] = present;
  for (Voice& voice : voices_) {
    JoinOutputs(voice);
    voice.timed[output] = false;
  }
}

void Mixer::SetOutputGain(int output, float gain) noexcept {
  if (output < 0 || output >= kMaxOutputs) return;
  std::lock_guard<std::mutex> lock(lock_);
  gain_[output] = std::clamp(gain, 0.0f, 1.0f);
}

void Mixer::OutputStopped(int output) noexcept {
  if (output < 0 || output >= kMaxOutputs) return;
  std::lock_guard<std::mutex> lock(lock_);
  playout_[output] = 0;
}

void Mixer::FreeAll() noexcept {
  std::vector<Voice> released;
  std::lock_guard<std::mutex> lock(lock_);
  released.swap(voices_);
  // `released` goes after the lock: declared first, destroyed last.
}

bool Mixer::PlayVoice(uint32_t id, bool restart, bool together) noexcept {
  std::shared_ptr<StreamFeed> fresh;  // a streamed voice starts again from a new feed
  std::shared_ptr<StreamFeed> old;
  try {
    if (restart) {
      FeedOpener reopen;
      {
        std::lock_guard<std::mutex> lock(lock_);
        Voice* voice = FindVoice(id);
        if (!voice) return false;
        if (voice->feed && voice->position[0] > 0) reopen = voice->reopen;
      }
      if (reopen && !(fresh = reopen())) return false;
    }
  } catch (const std::exception&) {
    return false;
  }
  std::unique_lock<std::mutex> lock(lock_);
  Voice* voice = FindVoice(id);
  if (!voice) return false;
  if (fresh) old = std::exchange(voice->feed, std::move(fresh));
  if (restart) voice->position[0] = 0;
  JoinOutputs(*voice);  // every output starts it together, from where output 0 starts it
  voice->playing = true;
  const int64_t now = clock_();
  voice->startAt = 0;
  if (together && ticksPerSecond_ > 0) {
    voice->startAt = now;
    for (int o = 0; o < kMaxOutputs; ++o) {
      if (present_[o]) voice->startAt = std::max(voice->startAt, playout_[o]);
    }
  }
  for (int o = 0; o < kMaxOutputs; ++o) {
    voice->timed[o] = present_[o];
    if (present_[o]) timing_[o] = {now, 0, 0};
  }
  lock.unlock();
  StreamFeed::Retire(std::move(old));
  return true;
}

bool Mixer::StopVoice(uint32_t id) noexcept {
  std::lock_guard<std::mutex> lock(lock_);
  Voice* voice = FindVoice(id);
  if (!voice) return false;
  if (voice->playing) StartFades(*voice);
  voice->playing = false;
  for (bool& timed : voice->timed) timed = false;
  return true;
}

bool Mixer::SetVoiceVolume(uint32_t id, float volume) noexcept {
  std::lock_guard<std::mutex> lock(lock_);
  Voice* voice = FindVoice(id);
  if (!voice) return false;
  voice->volume = std::clamp(volume, 0.0f, 1.0f);
  return true;
}

bool Mixer::SetVoiceLeveling(uint32_t id, float gain) noexcept {
  std::lock_guard<std::mutex> lock(lock_);
  Voice* voice = FindVoice(id);
  if (!voice) return false;
  voice->leveling = std::clamp(gain, 0.0f, kMaxLevelingGain);
  return true;
}

bool Mixer::VoiceFrames(uint32_t id, uint64_t* position, uint64_t* length) const noexcept {
  std::lock_guard<std::mutex> lock(lock_);
  const Voice* voice = FindVoice(id);
  if (!voice) return false;
  if (position) *position = voice->position[0];
  if (length) *length = voice->sound ? voice->sound->Frames() : voice->streamLength;
  return true;
}

bool Mixer::SetVoicePosition(uint32_t id, uint64_t frame) noexcept {
  std::lock_guard<std::mutex> lock(lock_);
  Voice* voice = FindVoice(id);
  if (!voice || !voice->sound || frame > voice->sound->Frames()) return false;  // streams do not seek
  for (uint64_t& position : voice->position) position = frame;
  return true;
}

int64_t Mixer::WriteSoundsAt(int output, int64_t asked, uint32_t queuedFrames, uint32_t frames) {
  const auto ticks = [this](int64_t n) { return n * ticksPerSecond_ / kEngineRate; };
  // The end of what the device held when it was asked. A device takes its queue a period at a
  // time, so this reads late by up to a period unless it was asked right at a period's turn,
  // as the device's own wake-ups are; a wake-up of ours (a play) comes at any point of it. The
  // earliest reading so far, carried on by what was written since, is the right one; it may
  // creep later a little on every write, for the clocks' drift, and is given up for a reading
  // later by more than a period can explain (the device fell behind).
  const int64_t reading = asked + ticks(queuedFrames);
  int64_t& end = playout_[output];
  if (queuedFrames == 0 || end == 0 || reading > end + ticks(kMaxPhaseFrames)) {
    end = reading;  // ran dry, just started or fell behind: the reading is all there is
  } else {
    end = std::max(asked, std::min(end + ticks(frames / kDriftShare), reading));
  }
  const int64_t start = end;
  end += ticks(frames);
  return start;
}

bool Mixer::Mix(int output, float* out, uint32_t frames, uint32_t queuedFrames, int64_t queuedAt) {
  std::memset(out, 0, static_cast<size_t>(frames) * kEngineChannels * sizeof(float));
  if (output < 0 || output >= kMaxOutputs) return false;
  // Sized before the lock, so the render thread never allocates while the UI thread waits.
  std::vector<float>& scratch = scratch_[output];
  if (scratch.size() < static_cast<size_t>(frames) * kEngineChannels) scratch.resize(frames * kEngineChannels);
  if (inputScratch_[output].size() < scratch.size()) inputScratch_[output].resize(scratch.size());
  bool sound = false;
  std::lock_guard<std::mutex> lock(lock_);
  if (!present_[output]) return false;
  const int64_t now = clock_();
  const bool clocked = queuedAt != kUnclocked && ticksPerSecond_ > 0;
  const int64_t asked = queuedAt == kQueuedNow ? now : queuedAt;
  const int64_t start = clocked ? WriteSoundsAt(output, asked, queuedFrames, frames) : asked;
  for (Voice& voice : voices_) {
    if (!voice.playing) continue;
    // A voice held for its start time begins `lead` frames into this buffer, or not yet.
    uint32_t lead = 0;
    if (voice.timed[output] && voice.startAt != 0 && ticksPerSecond_ > 0) {
      const int64_t wanted = (voice.startAt - start) * kEngineRate / ticksPerSecond_;
      if (wanted >= static_cast<int64_t>(frames) && wanted <= kMaxLeadFrames) continue;
      if (wanted > 0 && wanted <= kMaxLeadFrames) lead = static_cast<uint32_t>(wanted);
    }
    uint64_t& position = voice.position[output];
    uint64_t n = 0;
    const float* source = nullptr;
    if (voice.sound) {
      const uint64_t length = voice.sound->Frames();
      if (position >= length) continue;
      n = std::min<uint64_t>(frames - lead, length - position);
      source = voice.sound->samples.data() + position * kEngineChannels;
    } else if (voice.feed) {
      n = voice.feed->Pull(output, scratch.data(), frames - lead);
      source = scratch.data();
    }
    if (n == 0) continue;
    const float volume = voice.volume * voice.leveling * gain_[output];
    float* into = out + static_cast<size_t>(lead) * kEngineChannels;
    for (uint64_t i = 0; i < n * kEngineChannels; ++i) into[i] += source[i] * volume;
    position += n;
    sound = true;
    if (voice.timed[output]) {
      voice.timed[output] = false;
      timing_[output].queuedFrames = queuedFrames + lead;
      timing_[output].firstWrite = now;
    }
  }
  for (const Fade& fade : fades_[output]) sound = sound || (fade.sound && fade.done < kCutFadeFrames);
  MixFades(output, out, frames);
  if (!clocked) playout_[output] = 0;
  if (input_ && inputRouted_[output]) {
    MixInput(output, out, frames, sound, now);
    sound = true;
  }
  if (sound) {
    for (uint64_t i = 0; i < static_cast<uint64_t>(frames) * kEngineChannels; ++i)
      out[i] = std::clamp(out[i], -1.0f, 1.0f);
  }
  return sound;
}

void Mixer::SetInput(std::shared_ptr<LiveInput> input) noexcept {
  std::lock_guard<std::mutex> lock(lock_);
  input_.swap(input);
  for (float& gain : inputGainNow_) gain = 0.0f;  // a new input fades in from silence
  // The old input goes after the lock: declared first, released last.
}

void Mixer::SetInputGain(float gain) noexcept {
  std::lock_guard<std::mutex> lock(lock_);
  inputGain_ = std::clamp(gain, 0.0f, 1.0f);
}

void Mixer::SetInputRouted(int output, bool routed) noexcept {
  if (output <= 0 || output >= kMaxOutputs) return;  // output 0 always has it
  std::lock_guard<std::mutex> lock(lock_);
  if (routed && !inputRouted_[output]) inputGainNow_[output] = 0.0f;
  inputRouted_[output] = routed;
}

void Mixer::SetInputDucking(float db) noexcept {
  std::lock_guard<std::mutex> lock(lock_);
  duckGain_ = db > 0 ? std::pow(10.0f, -std::min(db, 60.0f) / 20.0f) : 1.0f;
}

void Mixer::MixInput(int output, float* out, uint32_t frames, bool voices, int64_t now) {
  float* voice = inputScratch_[output].data();
  if (!input_->Read(output, voice, frames, now)) return;
  // Per frame: the level moves to its new value across this buffer, the ducking with its own
  // attack and release, so neither a volume step nor an effect's start clicks.
  static const float kAttack = 1.0f - std::exp(-1.0f / (0.010f * kEngineRate));
  static const float kRelease = 1.0f - std::exp(-1.0f / (0.300f * kEngineRate));
  const float duckTo = voices ? duckGain_ : 1.0f;
  const float duckRate = duckTo < duckNow_[output] ? kAttack : kRelease;
  const float gainStep = (inputGain_ * gain_[output] - inputGainNow_[output]) / static_cast<float>(frames);
  float gain = inputGainNow_[output];
  float duck = duckNow_[output];
  for (uint32_t i = 0; i < frames; ++i) {
    gain += gainStep;
    duck += (duckTo - duck) * duckRate;
    for (int c = 0; c < kEngineChannels; ++c) out[i * kEngineChannels + c] += voice[i * kEngineChannels + c] * gain * duck;
  }
  inputGainNow_[output] = inputGain_ * gain_[output];
  duckNow_[output] = duck;
}

bool Mixer::HasAudibleVoice(int output) const {
  std::lock_guard<std::mutex> lock(lock_);
  if (output < 0 || output >= kMaxOutputs || !present_[output]) return false;
  if (input_ && inputRouted_[output]) return true;
  for (const Fade& fade : fades_[output]) {
    if (fade.sound && fade.done < kCutFadeFrames) return true;
  }
  for (const Voice& voice : voices_) {
    if (!voice.playing) continue;
    if (voice.sound && voice.position[output] < voice.sound->Frames()) return true;
    if (voice.feed && !voice.feed->Drained(output)) return true;
  }
  return false;
}

Mixer::PlayTiming Mixer::LastPlayTiming(int output) const {
  std::lock_guard<std::mutex> lock(lock_);
  return output >= 0 && output < kMaxOutputs ? timing_[output] : PlayTiming{};
}

}  // namespace velmora::audio
