#include "playback/engine/SoundLoader.h"

#include "base/Handles.h"
#include "playback/engine/Decoders.h"
#include "playback/engine/MediaFoundationDecoder.h"

#include <windows.h>

#include <algorithm>
#include <vector>

namespace velmora::audio {

namespace {

// A compressed file longer than this plays while it decodes instead of being held in memory.
constexpr double kStreamAboveSeconds = 60.0;

// Files up to this size are read whole and handed to our own decoders; larger ones (a long WAV,
// a sparse file) go to Media Foundation, which reads them as it decodes.
constexpr uint64_t kMaxReadBytes = uint64_t{64} << 20;

bool ReadWholeFile(const std::wstring& path, uint64_t size, std::vector<uint8_t>& bytes) {
  UniqueFile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return false;
  bytes.resize(static_cast<size_t>(size));
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD chunk = 0;
    const DWORD want = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, size_t{1} << 24));
    if (!::ReadFile(file.Get(), bytes.data() + done, want, &chunk, nullptr) || chunk == 0) break;
    done += chunk;
  }
  bytes.resize(done);
  return true;
}

}  // namespace

SoundLoader::SoundLoader(size_t cacheBytes) : capacity_(cacheBytes) {}

SoundLoader::~SoundLoader() = default;

void SoundLoader::WarmUp() {
  if (!mediaFoundation_) mediaFoundation_ = std::make_unique<MediaFoundationSession>();
}

SoundLoader::Loaded SoundLoader::Load(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA attributes;
  if (path.empty() || !::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &attributes)) return {};
  if (attributes.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return {};
  const uint64_t size = (uint64_t{attributes.nFileSizeHigh} << 32) | attributes.nFileSizeLow;
  const uint64_t writeTime =
      (uint64_t{attributes.ftLastWriteTime.dwHighDateTime} << 32) | attributes.ftLastWriteTime.dwLowDateTime;

  for (auto it = entries_.begin(); it != entries_.end(); ++it) {
    if (it->path != path) continue;
    if (it->size == size && it->writeTime == writeTime) {
      entries_.splice(entries_.begin(), entries_, it);  // most recently used
      Loaded hit;
      hit.sound = entries_.front().sound;
      return hit;
    }
    cachedBytes_ -= it->sound->Bytes();  // the file changed: decode it again
    entries_.erase(it);
    break;
  }

  Loaded loaded = Decode(path, size);
  if (!loaded.sound || loaded.sound->Bytes() > capacity_) return loaded;
  entries_.push_front({path, size, writeTime, loaded.sound});
  cachedBytes_ += loaded.sound->Bytes();
  while (cachedBytes_ > capacity_ && !entries_.empty()) {
    cachedBytes_ -= entries_.back().sound->Bytes();
    entries_.pop_back();
  }
  return loaded;
}

SoundLoader::Loaded SoundLoader::Decode(const std::wstring& path, uint64_t size) {
  PcmBuffer pcm;
  bool decoded = false;
  if (size <= kMaxReadBytes) {
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(path, size, bytes) || bytes.empty()) return {};
    if (LooksLikeWav(bytes.data(), bytes.size())) {
      decoded = DecodeWav(bytes.data(), bytes.size(), pcm);
    } else if (LooksLikeOgg(bytes.data(), bytes.size())) {
      decoded = DecodeVorbis(bytes.data(), bytes.size(), pcm);
    }
  }
  if (!decoded) {
    // Everything else, and WAV encodings our parser does not take (ADPCM, µ-law…).
    WarmUp();
    double seconds = 0;
    std::unique_ptr<PcmSource> source = OpenMediaFoundationSource(path, &seconds);
    if (!source) return {};
    if (seconds > kStreamAboveSeconds) {
      Loaded streamed;
      streamed.streamFrames = static_cast<uint64_t>(seconds * kEngineRate);
      // The first feed takes the source already open; a restart opens the file again.
      auto first = std::make_shared<std::unique_ptr<PcmSource>>(std::move(source));
      streamed.openStream = [path, first]() -> std::shared_ptr<StreamFeed> {
        std::unique_ptr<PcmSource> next = first->get() ? std::move(*first) : OpenMediaFoundationSource(path, nullptr);
        return next ? std::make_shared<StreamFeed>(std::move(next)) : nullptr;
      };
      return streamed;
    }
    pcm = PcmBuffer();
    pcm.channels = source->Channels();
    pcm.sampleRate = source->SampleRate();
    const size_t maxSamples = kMaxSourceFrames * static_cast<size_t>(std::max(pcm.channels, 1));
    while (source->ReadMore(pcm.samples)) {
      if (pcm.samples.size() > maxSamples) return {};
    }
    decoded = !pcm.samples.empty();
  }
  if (!decoded) return {};
  auto sound = std::make_shared<Sound>();
  if (!ToEngineFormat(pcm, *sound)) return {};
  Loaded loaded;
  loaded.sound = std::move(sound);
  return loaded;
}

}  // namespace velmora::audio
