#include "playback/engine/SoundLoader.h"

#include "base/ComPtr.h"
#include "base/Handles.h"
#include "playback/engine/ByteSource.h"
#include "playback/engine/Decoders.h"
#include "playback/engine/Loudness.h"
#include "playback/engine/MediaFoundationDecoder.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <exception>
#include <optional>
#include <vector>

namespace velmora::audio {

namespace {

// A file longer than this plays while it decodes instead of being held in memory, whatever its
// format: streamers keep 10-60-minute background music in these slots.
constexpr double kStreamAboveSeconds = 60.0;

// A file decoded whole holds its source samples in memory before they are converted: past this
// many (two minutes of 48 kHz stereo) it plays as a stream instead. Files that declare a short
// length and run on (a VBR MP3 without its length table, a lying header) end up here too.
constexpr size_t kMaxWholeSamples = size_t{48000} * 2 * 120;

// What a file decoded whole gets reserved from its declared length before any of it is read.
constexpr int kReserveSeconds = 10;

// Long files whose loudness is remembered; a board has at most a few hundred.
constexpr size_t kMaxStreamLoudness = 512;

// Loudness is measured on what plays: the source folded to stereo as the engine folds it, at the
// source's own rate (the meter's filters are made for any rate, so nothing is resampled for it).
void MeasureFolded(LoudnessMeter& meter, const float* samples, size_t frames, int channels,
                   std::vector<float>& stereo) {
  stereo.resize(frames * kEngineChannels);
  const size_t step = static_cast<size_t>(std::max(channels, 1));
  for (size_t f = 0; f < frames; ++f)
    FoldFrameToStereo(samples + f * step, channels, stereo[f * kEngineChannels], stereo[f * kEngineChannels + 1]);
  meter.Add(stereo.data(), frames);
}

// A long file whose first seconds were read to measure them: it hands those pieces back first,
// freeing each as it goes, then reads on. The stream plays from it, so measuring costs no second
// opening of the file (a Media Foundation reader takes up to a fifth of a second to open).
class MeasuredSource final : public PcmSource {
 public:
  explicit MeasuredSource(std::unique_ptr<PcmSource> source) : source_(std::move(source)) {}

  LoudnessInfo MeasureHead() {
    const int channels = std::max(source_->Channels(), 1);
    const auto frames =
        static_cast<size_t>(SoundLoader::kStreamLoudnessSeconds * static_cast<double>(source_->SampleRate()));
    LoudnessMeter meter(source_->SampleRate());
    std::vector<float> stereo;
    for (size_t done = 0; done < frames;) {
      std::vector<float> piece;
      if (!source_->ReadMore(piece)) {
        ended_ = true;
        break;
      }
      const size_t n = std::min(piece.size() / static_cast<size_t>(channels), frames - done);
      MeasureFolded(meter, piece.data(), n, channels, stereo);
      done += n;
      head_.push_back(std::move(piece));
    }
    return meter.Result();
  }

  int Channels() const override { return source_->Channels(); }
  int SampleRate() const override { return source_->SampleRate(); }
  uint64_t DeclaredFrames() const override { return source_->DeclaredFrames(); }
  bool ReadMore(std::vector<float>& samples) override {
    if (head_.empty()) return !ended_ && source_->ReadMore(samples);
    samples.insert(samples.end(), head_.front().begin(), head_.front().end());
    head_.pop_front();
    return true;
  }

 private:
  std::unique_ptr<PcmSource> source_;
  std::deque<std::vector<float>> head_;
  bool ended_ = false;
};

// Our file reader for the WAV parser: reads where it is asked, never more.
class FileBytes final : public ByteSource {
 public:
  explicit FileBytes(const std::wstring& path)
      : file_(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr)) {
    LARGE_INTEGER size{};
    if (file_ && ::GetFileSizeEx(file_.Get(), &size)) size_ = static_cast<uint64_t>(size.QuadPart);
  }
  bool IsOpen() const { return static_cast<bool>(file_); }
  uint64_t Size() const override { return size_; }
  size_t ReadAt(uint64_t offset, void* out, size_t count) override {
    size_t done = 0;
    while (done < count) {
      OVERLAPPED at{};
      const uint64_t from = offset + done;
      at.Offset = static_cast<DWORD>(from);
      at.OffsetHigh = static_cast<DWORD>(from >> 32);
      const DWORD want = static_cast<DWORD>(std::min<size_t>(count - done, size_t{1} << 24));
      DWORD got = 0;
      if (!::ReadFile(file_.Get(), static_cast<uint8_t*>(out) + done, want, &got, &at) || got == 0) break;
      done += got;
    }
    return done;
  }

 private:
  UniqueFile file_;
  uint64_t size_ = 0;
};

std::unique_ptr<PcmSource> OpenWavFile(const std::wstring& path) {
  auto file = std::make_unique<FileBytes>(path);
  if (!file->IsOpen()) return nullptr;
  return OpenWavSource(std::move(file));
}

std::unique_ptr<PcmSource> OpenVorbisFile(const std::wstring& path) {
  std::FILE* file = ::_wfopen(path.c_str(), L"rb");
  if (!file) return nullptr;
  if (::_fseeki64(file, 0, SEEK_END) != 0) {
    std::fclose(file);
    return nullptr;
  }
  const int64_t size = ::_ftelli64(file);
  return OpenVorbisSource(file, size > 0 ? static_cast<uint64_t>(size) : 0);
}

using SourceOpener = std::unique_ptr<PcmSource> (*)(const std::wstring&);

std::unique_ptr<PcmSource> OpenMediaFoundationFile(const std::wstring& path) {
  return OpenMediaFoundationSource(path, nullptr);
}

bool ReadHead(const std::wstring& path, uint8_t (&head)[12]) {
  FileBytes file(path);
  return file.IsOpen() && file.ReadAt(0, head, sizeof(head)) == sizeof(head);
}

// A file our own reader refused that Media Foundation would only make worse: a WAV whose header
// states a layout the engine does not play (whatever its encoding), or an Ogg Vorbis stream (Media
// Foundation has nothing better for it; other codecs in Ogg still go there). Handed on, such files
// could keep the decoder busy far longer than a click may take.
bool RefusedAsOurs(const std::wstring& path, SourceOpener open) {
  FileBytes file(path);
  if (!file.IsOpen()) return false;
  if (open == &OpenWavFile) return WavStatesRefusedLayout(file);
  uint8_t head[35];
  return file.ReadAt(0, head, sizeof(head)) == sizeof(head) && head[28] == 1 && std::memcmp(head + 29, "vorbis", 6) == 0;
}

// A long file: the first feed takes the source already open, a restart opens the file again.
SoundLoader::Loaded Streamed(std::unique_ptr<PcmSource> source, const std::wstring& path, SourceOpener open,
                             bool mediaFoundation, uint64_t engineFrames) {
  SoundLoader::Loaded streamed;
  streamed.streamFrames = engineFrames;
  auto first = std::make_shared<std::unique_ptr<PcmSource>>(std::move(source));
  StreamFeed::ThreadScope scope;
  // Media Foundation's objects are free-threaded, but every call needs COM on its thread.
  if (mediaFoundation) scope = [] { return std::shared_ptr<void>(std::make_shared<ComInit>()); };
  streamed.openStream = [path, open, first, scope]() -> std::shared_ptr<StreamFeed> {
    std::unique_ptr<PcmSource> next = *first ? std::move(*first) : open(path);
    return next ? std::make_shared<StreamFeed>(std::move(next), scope) : nullptr;
  };
  return streamed;
}

}  // namespace

SoundLoader::SoundLoader(size_t cacheBytes) : capacity_(cacheBytes) {}

SoundLoader::~SoundLoader() = default;

void SoundLoader::WarmUp() {
  try {
    if (!mediaFoundation_) mediaFoundation_ = std::make_unique<MediaFoundationSession>();
  } catch (const std::exception&) {  // tried again by the next file that needs it
  }
}

SoundLoader::Loaded SoundLoader::Load(const std::wstring& path, bool measureStream) {
  // Called from a message handler: running out of memory anywhere in here (std::bad_alloc,
  // std::length_error) is a file that could not be opened, never the end of the program.
  try {
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
        hit.loudness = hit.sound->loudness;
        return hit;
      }
      cachedBytes_ -= it->sound->Bytes();  // the file changed: decode it again
      entries_.erase(it);
      break;
    }

    std::optional<LoudnessInfo> known;
    if (measureStream) {
      for (auto it = streamLoudness_.begin(); it != streamLoudness_.end(); ++it) {
        if (it->path != path) continue;
        if (it->size == size && it->writeTime == writeTime) {
          streamLoudness_.splice(streamLoudness_.begin(), streamLoudness_, it);
          known = it->loudness;
        } else {
          streamLoudness_.erase(it);  // the file changed: measure it again
        }
        break;
      }
    }

    Loaded loaded = Decode(path, measureStream && !known);
    if (loaded.openStream && measureStream) {
      if (known) {
        loaded.loudness = *known;
      } else {
        streamLoudness_.push_front({path, size, writeTime, loaded.loudness});
        if (streamLoudness_.size() > kMaxStreamLoudness) streamLoudness_.pop_back();
      }
    }
    if (!loaded.sound || loaded.sound->Bytes() > capacity_) return loaded;
    entries_.push_front({path, size, writeTime, loaded.sound});
    cachedBytes_ += loaded.sound->Bytes();
    while (cachedBytes_ > capacity_ && !entries_.empty()) {
      cachedBytes_ -= entries_.back().sound->Bytes();
      entries_.pop_back();
    }
    return loaded;
  } catch (const std::exception&) {
    return {};
  }
}

SoundLoader::Loaded SoundLoader::Decode(const std::wstring& path, bool measureStream) {
  // Our own decoders first, for the formats they know; they read the file as they go, so
  // finding out a file's length costs a header (WAV) or its last page (Ogg).
  uint8_t head[12];
  SourceOpener open = nullptr;
  if (ReadHead(path, head)) {
    if (LooksLikeWav(head, sizeof(head))) {
      open = &OpenWavFile;
    } else if (LooksLikeOgg(head, sizeof(head))) {
      open = &OpenVorbisFile;
    }
  }
  std::unique_ptr<PcmSource> source = open ? open(path) : nullptr;
  if (!source && open && RefusedAsOurs(path, open)) return {};
  const bool mediaFoundation = !source;
  if (mediaFoundation) {
    // Everything else, and WAV encodings our parser does not take (ADPCM, µ-law…).
    WarmUp();
    open = &OpenMediaFoundationFile;
    source = open(path);
    if (!source) return {};
  }

  // Nothing is sized from a format the engine does not play (a header that says 1 Hz).
  if (!AcceptedFormat(source->Channels(), source->SampleRate())) return {};
  const int rate = source->SampleRate();
  const size_t channels = static_cast<size_t>(std::max(source->Channels(), 1));
  const uint64_t declared = source->DeclaredFrames();
  const double seconds = static_cast<double>(declared) / rate;
  if (seconds > kStreamAboveSeconds || declared > kMaxWholeSamples / channels) {
    const uint64_t engineFrames = static_cast<uint64_t>(seconds * kEngineRate);
    if (!measureStream) return Streamed(std::move(source), path, open, mediaFoundation, engineFrames);
    auto measured = std::make_unique<MeasuredSource>(std::move(source));
    const LoudnessInfo loudness = measured->MeasureHead();
    Loaded streamed = Streamed(std::move(measured), path, open, mediaFoundation, engineFrames);
    streamed.loudness = loudness;
    return streamed;
  }

  PcmBuffer pcm;
  pcm.channels = source->Channels();
  pcm.sampleRate = rate;
  // The declared length may lie: room for a few seconds up front, the rest as it really comes.
  pcm.samples.reserve(static_cast<size_t>(std::min<uint64_t>(declared, uint64_t{kReserveSeconds} * rate)) * channels);
  while (source->ReadMore(pcm.samples)) {
    if (pcm.samples.size() > kMaxWholeSamples) {
      // It runs far past what it declared: play it as it decodes, from its beginning.
      source.reset();
      LoudnessInfo loudness;
      if (measureStream) {
        LoudnessMeter meter(rate);
        std::vector<float> stereo;
        const size_t frames = std::min(pcm.Frames(), static_cast<size_t>(kStreamLoudnessSeconds * rate));
        MeasureFolded(meter, pcm.samples.data(), frames, pcm.channels, stereo);
        loudness = meter.Result();
      }
      pcm = PcmBuffer();
      Loaded streamed = Streamed(nullptr, path, open, mediaFoundation, 0);
      streamed.loudness = loudness;
      return streamed;
    }
  }
  source.reset();
  if (pcm.samples.empty()) return {};
  auto sound = std::make_shared<Sound>();
  if (!ToEngineFormat(pcm, *sound)) return {};
  // Measured whether or not leveling is on now: it is cheap next to the decoding, and a cached
  // sound then levels as soon as the switch is turned on.
  sound->loudness = MeasureLoudness(sound->samples.data(), sound->Frames(), kEngineRate);
  Loaded loaded;
  loaded.loudness = sound->loudness;
  loaded.sound = std::move(sound);
  return loaded;
}

}  // namespace velmora::audio
