#include "playback/engine/Mixer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>
#include <utility>

namespace velmora::audio {

namespace {
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

namespace {
constexpr size_t kCommandRing = 512;
constexpr size_t kReleasedRing = 512;
}  // namespace

Mixer::Mixer(int64_t (*clock)(), int64_t ticksPerSecond)
    : clock_(clock), ticksPerSecond_(ticksPerSecond), commands_(kCommandRing), released_(kReleasedRing) {
  // Everything the render threads use is sized here, so none of them ever allocates: room for a
  // whole second of every output's mix (shared-mode buffers hold tens of milliseconds), and for
  // every voice there can be.
  for (int o = 0; o < kMaxOutputs; ++o) {
    scratch_[o].resize(static_cast<size_t>(kEngineRate) * kEngineChannels);
    inputScratch_[o].resize(scratch_[o].size());
  }
  voices_.reserve(kMaxVoices);
  entries_.reserve(kMaxVoices);
  for (bool& free : slotFree_) free = true;
}

// ---- The controlling thread's side ----

// Hands `command` over, and applies what is waiting at once if no render thread is mixing.
// False when the ring stays full (no render thread has drained it and the lock never came free).
bool Mixer::Send(Command& command) {
  Collect();
  if (!commands_.Push(command)) {
    // A full ring: no render thread has mixed for hundreds of commands (the outputs are idle).
    // Nothing then holds the lock for long, so wait for it this once.
    std::lock_guard<std::mutex> lock(lock_);
    Apply();
    if (!commands_.Push(command)) return false;
  }
  if (lock_.try_lock()) {
    Apply();
    lock_.unlock();
  }
  Collect();
  return true;
}

// Releases what the render threads let go of.
void Mixer::Collect() {
  Released released;
  while (released_.Pop(released)) {
    StreamFeed::Retire(std::move(released.feed));
    if (released.slot >= 0) slotFree_[released.slot] = true;
    released = Released{};
  }
}

Mixer::Entry* Mixer::FindEntry(uint32_t id) {
  for (Entry& entry : entries_) {
    if (entry.id == id) return &entry;
  }
  return nullptr;
}

uint32_t Mixer::Add(Voice voice, FeedOpener reopen, uint64_t length) {
  Collect();
  if (entries_.size() >= kMaxVoices) return 0;
  // A freed voice's slot comes back once the render side has let go of it.
  auto slot = std::find(std::begin(slotFree_), std::end(slotFree_), true);
  if (slot == std::end(slotFree_)) {
    {
      std::lock_guard<std::mutex> lock(lock_);
      Apply();
    }
    Collect();
    slot = std::find(std::begin(slotFree_), std::end(slotFree_), true);
    if (slot == std::end(slotFree_)) return 0;
  }
  const uint32_t id = nextId_++;
  if (nextId_ == 0) nextId_ = 1;
  voice.id = id;
  voice.slot = static_cast<uint32_t>(slot - std::begin(slotFree_));
  positions_[voice.slot].store(0, std::memory_order_relaxed);
  Command command;
  command.kind = Command::Kind::kAdd;
  command.voice = std::move(voice);
  const uint32_t index = command.voice.slot;
  if (!Send(command)) return 0;
  *slot = false;
  entries_.push_back(Entry{id, index, std::move(reopen), length});
  return id;
}

uint32_t Mixer::AddVoice(std::shared_ptr<const Sound> sound) noexcept {
  if (!sound) return 0;
  try {
    Voice voice;
    const uint64_t length = sound->Frames();
    voice.sound = std::move(sound);
    return Add(std::move(voice), nullptr, length);
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
    return Add(std::move(voice), std::move(open), lengthFrames);
  } catch (const std::exception&) {  // the ring or the decoding thread could not be had
    return 0;
  }
}

bool Mixer::FreeVoice(uint32_t id) noexcept {
  const auto found = std::find_if(entries_.begin(), entries_.end(), [id](const Entry& e) { return e.id == id; });
  if (id == 0 || found == entries_.end()) return false;
  entries_.erase(found);
  Command command;
  command.kind = Command::Kind::kFree;
  command.id = id;
  Send(command);
  return true;
}

bool Mixer::PlayVoice(uint32_t id, bool restart, bool together) noexcept {
  Entry* entry = FindEntry(id);
  if (!entry) return false;
  Command command;
  try {
    // A streamed voice that has begun starts again from a new feed.
    if (restart && entry->reopen && positions_[entry->slot].load(std::memory_order_relaxed) > 0 &&
        !(command.feed = entry->reopen())) {
      return false;
    }
  } catch (const std::exception&) {
    return false;
  }
  command.kind = Command::Kind::kPlay;
  command.id = id;
  command.flag = restart;
  command.together = together;
  command.requested = clock_();
  command.playSeq = ++playSeq_;
  if (restart) positions_[entry->slot].store(0, std::memory_order_relaxed);
  {
    std::lock_guard<std::mutex> lock(timingLock_);
    for (int o = 0; o < kMaxOutputs; ++o) {
      if (presentView_[o]) timing_[o] = Timing{PlayTiming{command.requested, 0, 0}, command.playSeq};
    }
  }
  return Send(command);
}

bool Mixer::SendToVoice(uint32_t id, Command::Kind kind, float value) {
  if (!FindEntry(id)) return false;
  Command command;
  command.kind = kind;
  command.id = id;
  command.value = value;
  return Send(command);
}

bool Mixer::SendSetting(Command::Kind kind, int output, bool flag, float value) {
  Command command;
  command.kind = kind;
  command.output = output;
  command.flag = flag;
  command.value = value;
  return Send(command);
}

bool Mixer::StopVoice(uint32_t id) noexcept { return SendToVoice(id, Command::Kind::kStop); }

bool Mixer::SetVoiceVolume(uint32_t id, float volume) noexcept {
  return SendToVoice(id, Command::Kind::kVolume, std::clamp(volume, 0.0f, 1.0f));
}

bool Mixer::SetVoiceLeveling(uint32_t id, float gain) noexcept {
  return SendToVoice(id, Command::Kind::kLeveling, std::clamp(gain, 0.0f, kMaxLevelingGain));
}

bool Mixer::VoiceFrames(uint32_t id, uint64_t* position, uint64_t* length) const noexcept {
  for (const Entry& entry : entries_) {
    if (entry.id != id) continue;
    if (position) *position = positions_[entry.slot].load(std::memory_order_relaxed);
    if (length) *length = entry.length;
    return true;
  }
  return false;
}

bool Mixer::SetVoicePosition(uint32_t id, uint64_t frame) noexcept {
  const Entry* entry = FindEntry(id);
  if (!entry || entry->reopen || frame > entry->length) return false;  // streams do not seek
  positions_[entry->slot].store(frame, std::memory_order_relaxed);
  Command command;
  command.kind = Command::Kind::kPosition;
  command.id = id;
  command.frame = frame;
  return Send(command);
}

void Mixer::FreeAll() noexcept {
  entries_.clear();
  Command command;
  command.kind = Command::Kind::kClear;
  Send(command);
}

void Mixer::SetOutputPresent(int output, bool present) noexcept {
  if (output <= 0 || output >= kMaxOutputs) return;
  presentView_[output] = present;
  SendSetting(Command::Kind::kPresent, output, present);
}

void Mixer::SetOutputGain(int output, float gain) noexcept {
  if (output >= 0 && output < kMaxOutputs) SendSetting(Command::Kind::kGain, output, false, std::clamp(gain, 0.0f, 1.0f));
}

void Mixer::OutputClosed(int output) noexcept {
  if (output >= 0 && output < kMaxOutputs) SendSetting(Command::Kind::kStopped, output);
}

void Mixer::SetInput(std::shared_ptr<LiveInput> input) noexcept {
  Command command;
  command.kind = Command::Kind::kInput;
  command.input = std::move(input);
  Send(command);
}

void Mixer::SetInputGain(float gain) noexcept {
  SendSetting(Command::Kind::kInputGain, 0, false, std::clamp(gain, 0.0f, 1.0f));
}

void Mixer::SetInputRouted(int output, bool routed) noexcept {
  if (output > 0 && output < kMaxOutputs) SendSetting(Command::Kind::kInputRouted, output, routed);  // 0 always has it
}

void Mixer::SetInputDucking(float db) noexcept {
  SendSetting(Command::Kind::kDucking, 0, false, db > 0 ? std::pow(10.0f, -std::min(db, 60.0f) / 20.0f) : 1.0f);
}

Mixer::PlayTiming Mixer::LastPlayTiming(int output) const {
  std::lock_guard<std::mutex> lock(timingLock_);
  return output >= 0 && output < kMaxOutputs ? timing_[output].timing : PlayTiming{};
}

// ---- The render side, under lock_ ----

void Mixer::Apply() {
  Command command;
  while (commands_.Pop(command)) {
    ApplyOne(command);
    command = Command{};
  }
}

// Hands `released` back to the controlling thread; should its ring ever be full, lets go here.
void Mixer::Release(Released released) {
  if (!released.sound && !released.feed && !released.input && released.slot < 0) return;
  released_.Push(released);
}

Mixer::Voice* Mixer::FindVoice(uint32_t id) {
  for (Voice& voice : voices_) {
    if (voice.id == id) return &voice;
  }
  return nullptr;
}

void Mixer::ApplyOne(Command& command) {
  using Kind = Command::Kind;
  switch (command.kind) {
    case Kind::kAdd:
    case Kind::kClear:
    case Kind::kFree:
      ApplyToTable(command);
      return;
    case Kind::kPlay:
    case Kind::kStop:
    case Kind::kVolume:
    case Kind::kLeveling:
    case Kind::kPosition:
      ApplyToVoice(command);
      return;
    default:
      ApplySetting(command);
      return;
  }
}

// A voice added, freed, or all of them.
void Mixer::ApplyToTable(Command& command) {
  if (command.kind == Command::Kind::kAdd) {
    JoinOutputs(command.voice);
    voices_.push_back(std::move(command.voice));  // room for every voice was reserved
    return;
  }
  if (command.kind == Command::Kind::kClear) {
    for (Voice& voice : voices_) Release(Released{std::move(voice.sound), std::move(voice.feed), nullptr, static_cast<int>(voice.slot)});
    voices_.clear();
    return;
  }
  const auto found = std::find_if(voices_.begin(), voices_.end(), [&](const Voice& v) { return v.id == command.id; });
  if (found == voices_.end()) return;
  if (found->playing) StartFades(*found);
  Release(Released{std::move(found->sound), std::move(found->feed), nullptr, static_cast<int>(found->slot)});
  voices_.erase(found);
}

// An output's or the live input's setting.
void Mixer::ApplySetting(Command& command) {
  const int o = command.output;
  switch (command.kind) {
    case Command::Kind::kPresent:
      if (present_[o] == command.flag) return;
      present_[o] = command.flag;
      for (Voice& voice : voices_) {
        JoinOutputs(voice);
        voice.timed[o] = false;
      }
      return;
    case Command::Kind::kGain:
      gain_[o] = command.value;
      return;
    case Command::Kind::kStopped:
      playout_[o] = 0;
      soundHeld_[o] = false;
      takeBackOn_[o] = false;
      takeBack_[o] = false;
      return;
    case Command::Kind::kInput:
      std::swap(input_, command.input);
      for (float& gain : inputGainNow_) gain = 0.0f;  // a new input fades in from silence
      Release(Released{nullptr, nullptr, std::move(command.input), -1});
      return;
    case Command::Kind::kInputGain:
      inputGain_ = command.value;
      return;
    case Command::Kind::kInputRouted:
      if (command.flag && !inputRouted_[o]) inputGainNow_[o] = 0.0f;
      inputRouted_[o] = command.flag;
      return;
    case Command::Kind::kDucking:
      duckGain_ = command.value;
      return;
    default:
      return;
  }
}

// A change to one voice; a voice freed meanwhile takes nothing (a restart's new feed goes back).
void Mixer::ApplyToVoice(Command& command) {
  Voice* voice = FindVoice(command.id);
  if (!voice) {
    Release(Released{nullptr, std::move(command.feed), nullptr, -1});
    return;
  }
  switch (command.kind) {
    case Command::Kind::kPlay:
      StartVoice(*voice, command);
      break;
    case Command::Kind::kStop:
      if (voice->playing) StartFades(*voice);
      voice->playing = false;
      for (bool& timed : voice->timed) timed = false;
      break;
    case Command::Kind::kVolume:
      voice->volume = command.value;
      break;
    case Command::Kind::kLeveling:
      voice->leveling = command.value;
      break;
    case Command::Kind::kPosition:
      if (voice->sound && command.frame <= voice->sound->Frames()) {
        for (uint64_t& position : voice->position) position = command.frame;
        positions_[voice->slot].store(command.frame, std::memory_order_relaxed);
      }
      break;
    default:
      break;
  }
}

void Mixer::StartVoice(Voice& voice, Command& command) {
  // Something else sounding, or still held by the device (a voice just freed), where the device
  // can take its queue back: it will, and the new voice need not wait behind it there.
  for (int o = 0; o < kMaxOutputs; ++o)
    takeBack_[o] = takeBack_[o] || (takeBackOn_[o] && present_[o] && (soundHeld_[o] || Audible(o)));
  if (command.feed) Release(Released{nullptr, std::exchange(voice.feed, std::move(command.feed)), nullptr, -1});
  if (command.flag) voice.position[0] = 0;
  JoinOutputs(voice);  // every output starts it together, from where output 0 starts it
  voice.playing = true;
  voice.startAt = 0;
  if (command.together && ticksPerSecond_ > 0) {
    voice.startAt = command.requested;
    for (int o = 0; o < kMaxOutputs; ++o) {
      if (present_[o] && !takeBack_[o]) voice.startAt = std::max(voice.startAt, playout_[o]);
    }
  }
  voice.playSeq = command.playSeq;
  for (int o = 0; o < kMaxOutputs; ++o) {
    voice.timed[o] = present_[o];
    voice.writtenStart[o] = 0;
  }
  positions_[voice.slot].store(voice.position[0], std::memory_order_relaxed);
}

void Mixer::StartFades(const Voice& voice) {
  if (!voice.sound) return;  // a stream's ring cannot go back: it ends where it is
  const size_t slot = nextFade_++ % kMaxFades;
  for (int o = 0; o < kMaxOutputs; ++o) {
    Fade& fade = fades_[o][slot];
    Release(Released{std::move(fade.sound), nullptr, nullptr, -1});
    fade = Fade{};
    if (!present_[o] || voice.position[o] >= voice.sound->Frames()) continue;
    fade = Fade{voice.sound, voice.position[o], 0, voice.volume * voice.leveling, voice.position[o], voice.writtenEnd[o], 0};
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
    if (fade.done == 0 && n > 0) fade.writtenFrom = written_[output];
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

void Mixer::OutputStopped(int output) noexcept {
  if (output < 0 || output >= kMaxOutputs) return;
  std::lock_guard<std::mutex> lock(lock_);
  playout_[output] = 0;
  soundHeld_[output] = false;
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
  if (output < 0 || output >= kMaxOutputs) {
    std::memset(out, 0, static_cast<size_t>(frames) * kEngineChannels * sizeof(float));
    return false;
  }
  // More than the scratch holds (a second) is mixed a second at a time.
  std::vector<float>& scratch = scratch_[output];
  const uint32_t most = static_cast<uint32_t>(scratch.size() / kEngineChannels);
  if (frames > most) {
    bool sound = false;
    for (uint32_t done = 0; done < frames; done += most) {
      const uint32_t n = std::min(most, frames - done);
      sound = Mix(output, out + static_cast<size_t>(done) * kEngineChannels, n, queuedFrames + done, queuedAt) || sound;
    }
    return sound;
  }
  std::memset(out, 0, static_cast<size_t>(frames) * kEngineChannels * sizeof(float));
  bool sound = false;
  std::lock_guard<std::mutex> lock(lock_);
  Apply();
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
    if (voice.writtenStart[output] == 0) voice.writtenStart[output] = written_[output] + lead + 1;
    voice.writtenEnd[output] = written_[output] + lead + n;
    if (voice.timed[output]) {
      voice.timed[output] = false;
      std::lock_guard<std::mutex> timingLock(timingLock_);
      if (timing_[output].playSeq == voice.playSeq) {
        timing_[output].timing.queuedFrames = queuedFrames + lead;
        timing_[output].timing.firstWrite = now;
      }
    }
    if (output == 0) positions_[voice.slot].store(position, std::memory_order_relaxed);
  }
  for (const Fade& fade : fades_[output]) sound = sound || (fade.sound && fade.done < kCutFadeFrames);
  MixFades(output, out, frames);
  written_[output] += frames;
  soundHeld_[output] = sound || (input_ && inputRouted_[output]);
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

bool Mixer::HasAudibleVoice(int output) {
  std::lock_guard<std::mutex> lock(lock_);
  Apply();
  return Audible(output);
}

bool Mixer::Audible(int output) const {
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

void Mixer::EnableTakeBack(int output, bool on) {
  if (output < 0 || output >= kMaxOutputs) return;
  std::lock_guard<std::mutex> lock(lock_);
  takeBackOn_[output] = on;
  takeBack_[output] = false;
}

bool Mixer::TakeBackWanted(int output) {
  if (output < 0 || output >= kMaxOutputs) return false;
  std::lock_guard<std::mutex> lock(lock_);
  Apply();
  return std::exchange(takeBack_[output], false);
}

void Mixer::TakeBack(int output, uint32_t frames) {
  if (output < 0 || output >= kMaxOutputs) return;
  std::lock_guard<std::mutex> lock(lock_);
  const uint64_t kept = written_[output] - std::min<uint64_t>(frames, written_[output]);  // the device's last frame
  for (Voice& voice : voices_) {
    if (!voice.sound || voice.writtenEnd[output] <= kept) continue;
    const uint64_t back = std::min(voice.writtenEnd[output] - kept, voice.position[output]);
    voice.position[output] -= back;
    voice.writtenEnd[output] = kept;
    if (voice.writtenStart[output] > kept) {  // its start was dropped too: written, and stamped, again
      voice.writtenStart[output] = 0;
      voice.timed[output] = voice.playing;
    }
    if (output == 0) positions_[voice.slot].store(voice.position[0], std::memory_order_relaxed);
  }
  for (Fade& fade : fades_[output]) {
    if (!fade.sound) continue;
    if (fade.voiceEnd > kept) {
      // Part of what came before the cut was dropped: the fade starts where the device stopped.
      fade.position = fade.cutAt - std::min(fade.voiceEnd - kept, fade.cutAt);
      fade.cutAt = fade.position;
      fade.voiceEnd = kept;
      fade.done = 0;
    } else if (fade.done > 0 && fade.writtenFrom + fade.done > kept) {
      // Part of the fade was dropped: it goes on from the device's last frame.
      const uint64_t heard = kept > fade.writtenFrom ? kept - fade.writtenFrom : 0;
      fade.done = static_cast<uint32_t>(heard);
      fade.position = fade.cutAt + heard;
    }
  }
  if (input_ && inputRouted_[output]) input_->Rewind(output, frames);
  written_[output] = kept;
  playout_[output] = 0;
  soundHeld_[output] = false;
}

}  // namespace velmora::audio
