#include "playback/engine/Mixer.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <utility>

namespace velmora::audio {

namespace {
constexpr size_t kMaxVoices = 64;
}  // namespace

Mixer::Mixer(int64_t (*clock)()) : clock_(clock) {}

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
  {
    std::lock_guard<std::mutex> lock(lock_);
    const auto found = std::find_if(voices_.begin(), voices_.end(), [id](const Voice& v) { return v.id == id; });
    if (id == 0 || found == voices_.end()) return false;
    released = std::move(*found);
    voices_.erase(found);
  }
  return true;
}

void Mixer::FreeAll() noexcept {
  std::vector<Voice> released;
  std::lock_guard<std::mutex> lock(lock_);
  released.swap(voices_);
  // `released` goes after the lock: declared first, destroyed last.
}

bool Mixer::PlayVoice(uint32_t id, bool restart) noexcept {
  std::shared_ptr<StreamFeed> fresh;  // a streamed voice starts again from a new feed
  std::shared_ptr<StreamFeed> old;
  try {
    if (restart) {
      FeedOpener reopen;
      {
        std::lock_guard<std::mutex> lock(lock_);
        Voice* voice = FindVoice(id);
        if (!voice) return false;
        if (voice->feed && voice->position > 0) reopen = voice->reopen;
      }
      if (reopen && !(fresh = reopen())) return false;
    }
  } catch (const std::exception&) {
    return false;
  }
  std::lock_guard<std::mutex> lock(lock_);
  Voice* voice = FindVoice(id);
  if (!voice) return false;
  if (fresh) old = std::exchange(voice->feed, std::move(fresh));
  if (restart) voice->position = 0;
  voice->playing = true;
  voice->timed = true;
  timing_ = {clock_(), 0, 0};
  return true;
  // `old` (declared before the lock) is released after it.
}

bool Mixer::StopVoice(uint32_t id) noexcept {
  std::lock_guard<std::mutex> lock(lock_);
  Voice* voice = FindVoice(id);
  if (!voice) return false;
  voice->playing = false;
  voice->timed = false;
  return true;
}

bool Mixer::SetVoiceVolume(uint32_t id, float volume) noexcept {
  std::lock_guard<std::mutex> lock(lock_);
  Voice* voice = FindVoice(id);
  if (!voice) return false;
  voice->volume = std::clamp(volume, 0.0f, 1.0f);
  return true;
}

bool Mixer::VoiceFrames(uint32_t id, uint64_t* position, uint64_t* length) const noexcept {
  std::lock_guard<std::mutex> lock(lock_);
  const Voice* voice = FindVoice(id);
  if (!voice) return false;
  if (position) *position = voice->position;
  if (length) *length = voice->sound ? voice->sound->Frames() : voice->streamLength;
  return true;
}

bool Mixer::SetVoicePosition(uint32_t id, uint64_t frame) noexcept {
  std::lock_guard<std::mutex> lock(lock_);
  Voice* voice = FindVoice(id);
  if (!voice || !voice->sound || frame > voice->sound->Frames()) return false;  // streams do not seek
  voice->position = frame;
  return true;
}

bool Mixer::Mix(float* out, uint32_t frames, uint32_t queuedFrames) {
  std::memset(out, 0, static_cast<size_t>(frames) * kEngineChannels * sizeof(float));
  // Sized before the lock, so the render thread never allocates while the UI thread waits.
  if (scratch_.size() < static_cast<size_t>(frames) * kEngineChannels) scratch_.resize(frames * kEngineChannels);
  bool sound = false;
  std::lock_guard<std::mutex> lock(lock_);
  for (Voice& voice : voices_) {
    if (!voice.playing) continue;
    uint64_t n = 0;
    const float* source = nullptr;
    if (voice.sound) {
      const uint64_t length = voice.sound->Frames();
      if (voice.position >= length) continue;
      n = std::min<uint64_t>(frames, length - voice.position);
      source = voice.sound->samples.data() + voice.position * kEngineChannels;
    } else if (voice.feed) {
      n = voice.feed->Pull(scratch_.data(), frames);
      source = scratch_.data();
    }
    if (n == 0) continue;
    const float volume = voice.volume;
    for (uint64_t i = 0; i < n * kEngineChannels; ++i) out[i] += source[i] * volume;
    voice.position += n;
    sound = true;
    if (voice.timed) {
      voice.timed = false;
      timing_.queuedFrames = queuedFrames;
      timing_.firstWrite = clock_();
    }
  }
  if (sound) {
    for (uint64_t i = 0; i < static_cast<uint64_t>(frames) * kEngineChannels; ++i)
      out[i] = std::clamp(out[i], -1.0f, 1.0f);
  }
  return sound;
}

bool Mixer::HasAudibleVoice() const {
  std::lock_guard<std::mutex> lock(lock_);
  for (const Voice& voice : voices_) {
    if (!voice.playing) continue;
    if (voice.sound && voice.position < voice.sound->Frames()) return true;
    if (voice.feed && !voice.feed->Drained()) return true;
  }
  return false;
}

Mixer::PlayTiming Mixer::LastPlayTiming() const {
  std::lock_guard<std::mutex> lock(lock_);
  return timing_;
}

}  // namespace velmora::audio
