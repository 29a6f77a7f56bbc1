#include "playback/engine/MediaFoundationDecoder.h"

#include "base/ComPtr.h"

#include <windows.h>
// <mfapi.h> must not meet <ksmedia.h>; the format GUIDs we need all come from <mfapi.h>.
#include <mfapi.h>
#include <mfidl.h>
#include <mfreadwrite.h>
#include <objbase.h>
#include <propidl.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <exception>
#include <vector>

namespace velmora::audio {
namespace {

class BufferLock {
 public:
  explicit BufferLock(IMFMediaBuffer* buffer) noexcept : buffer_(buffer) {
    locked_ = SUCCEEDED(buffer_->Lock(&data_, nullptr, &length_));
  }
  ~BufferLock() {
    if (locked_) buffer_->Unlock();
  }
  BufferLock(const BufferLock&) = delete;
  BufferLock& operator=(const BufferLock&) = delete;

  bool Locked() const noexcept { return locked_; }
  const BYTE* Data() const noexcept { return data_; }
  DWORD Length() const noexcept { return length_; }

 private:
  IMFMediaBuffer* buffer_;
  BYTE* data_ = nullptr;
  DWORD length_ = 0;
  bool locked_ = false;
};

// The names are enum constants; the reader's methods take them as DWORD stream indices.
constexpr DWORD kAudioStream = static_cast<DWORD>(MF_SOURCE_READER_FIRST_AUDIO_STREAM);
constexpr DWORD kAllStreams = static_cast<DWORD>(MF_SOURCE_READER_ALL_STREAMS);

// A reader that keeps answering without samples, end of stream or error would spin forever;
// real gaps come one or two at a time.
constexpr int kMaxReadsWithoutSample = 1000;

// Growing the sample vector is cheap next to decoding, so a duration the file claims (which
// may lie) buys at most this much room up front.
constexpr UINT64 kMaxReservedSeconds = 30;

enum class SampleFormat { Float32, Int16 };

struct OutputFormat {
  SampleFormat format = SampleFormat::Float32;
  int channels = 0;
  int sampleRate = 0;
  size_t bytesPerFrame = 0;
};

bool RequestOutput(IMFSourceReader* reader, const GUID& subtype, UINT32 bitsPerSample) {
  ComPtr<IMFMediaType> partial;
  if (FAILED(::MFCreateMediaType(partial.Put()))) return false;
  if (FAILED(partial->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio))) return false;
  if (FAILED(partial->SetGUID(MF_MT_SUBTYPE, subtype))) return false;
  if (bitsPerSample != 0 && FAILED(partial->SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, bitsPerSample))) return false;
  return SUCCEEDED(reader->SetCurrentMediaType(kAudioStream, nullptr, partial.Get()));
}

// What the reader will really deliver, which is the only thing worth trusting: the partial type
// we asked for leaves channels and rate to the decoder.
bool ReadOutputFormat(IMFSourceReader* reader, OutputFormat& format) {
  ComPtr<IMFMediaType> type;
  if (FAILED(reader->GetCurrentMediaType(kAudioStream, type.Put()))) return false;
  GUID subtype{};
  UINT32 channels = 0;
  UINT32 rate = 0;
  UINT32 bits = 0;
  if (FAILED(type->GetGUID(MF_MT_SUBTYPE, &subtype))) return false;
  if (FAILED(type->GetUINT32(MF_MT_AUDIO_NUM_CHANNELS, &channels))) return false;
  if (FAILED(type->GetUINT32(MF_MT_AUDIO_SAMPLES_PER_SECOND, &rate))) return false;
  if (FAILED(type->GetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, &bits))) return false;
  // The same bounds the WAV reader applies; anything outside is a broken stream.
  if (channels == 0 || channels > 32 || rate == 0 || rate > 768000) return false;

  if (subtype == MFAudioFormat_Float && bits == 32) {
    format.format = SampleFormat::Float32;
  } else if (subtype == MFAudioFormat_PCM && bits == 16) {
    format.format = SampleFormat::Int16;
  } else {
    return false;
  }
  format.channels = static_cast<int>(channels);
  format.sampleRate = static_cast<int>(rate);
  format.bytesPerFrame = size_t{channels} * (bits / 8);
  return true;
}

bool SameFormat(const OutputFormat& a, const OutputFormat& b) {
  return a.format == b.format && a.channels == b.channels && a.sampleRate == b.sampleRate;
}

// Lossy decoders overshoot full scale a little; the engine expects [-1, 1] and no NaN.
float Sanitize(float value) {
  if (!(value == value)) return 0.0f;
  return std::clamp(value, -1.0f, 1.0f);
}

void AppendSamples(const OutputFormat& format, const BYTE* data, size_t bytes, std::vector<float>& samples) {
  if (format.format == SampleFormat::Float32) {
    const size_t count = bytes / sizeof(float);
    const size_t start = samples.size();
    samples.resize(start + count);
    std::memcpy(samples.data() + start, data, count * sizeof(float));
    for (size_t i = start; i < samples.size(); ++i) samples[i] = Sanitize(samples[i]);
  } else {
    const size_t count = bytes / sizeof(int16_t);
    samples.reserve(samples.size() + count);
    for (size_t i = 0; i < count; ++i) {
      int16_t value = 0;
      std::memcpy(&value, data + i * sizeof(int16_t), sizeof(value));
      samples.push_back(static_cast<float>(value) / 32768.0f);
    }
  }
}

void ReserveForDuration(IMFSourceReader* reader, const OutputFormat& format, std::vector<float>& samples) {
  PropVariant duration;
  if (SUCCEEDED(reader->GetPresentationAttribute(static_cast<DWORD>(MF_SOURCE_READER_MEDIASOURCE), MF_PD_DURATION,
                                                 &duration)) &&
      duration->vt == VT_UI8) {
    const UINT64 rate = static_cast<UINT64>(format.sampleRate);
    const UINT64 seconds = std::min<UINT64>(duration->uhVal.QuadPart / 10'000'000 + 1, kMaxReservedSeconds);
    const UINT64 frames = std::min<UINT64>(seconds * rate, kMaxSourceFrames);
    samples.reserve(static_cast<size_t>(frames) * static_cast<size_t>(format.channels));
  }
}

// Only regular files go to the source resolver: it would also take an http:// address (and wait
// on the network) or a folder, and neither is a sound effect.
bool IsRegularFile(const std::wstring& path) {
  if (path.empty()) return false;
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

double DeclaredSeconds(IMFSourceReader* reader) {
  PropVariant duration;
  double seconds = 0;
  if (SUCCEEDED(reader->GetPresentationAttribute(static_cast<DWORD>(MF_SOURCE_READER_MEDIASOURCE), MF_PD_DURATION,
                                                 &duration)) &&
      duration->vt == VT_UI8) {
    seconds = static_cast<double>(duration->uhVal.QuadPart) / 10'000'000.0;
  }
  return seconds;
}

// One open file: the reader set up for float (or 16-bit) output of its first audio stream.
class ReaderSource final : public PcmSource {
 public:
  bool Open(const std::wstring& path) {
    if (!IsRegularFile(path)) return false;
    if (FAILED(::MFCreateSourceReaderFromURL(path.c_str(), nullptr, reader_.Put()))) return false;
    // Video, subtitles and any further audio tracks would only cost decoding time.
    if (FAILED(reader_->SetStreamSelection(kAllStreams, FALSE))) return false;
    if (FAILED(reader_->SetStreamSelection(kAudioStream, TRUE))) return false;
    // Float keeps the decoder's full precision; some decoders only offer 16-bit integers.
    if (!RequestOutput(reader_.Get(), MFAudioFormat_Float, 0) && !RequestOutput(reader_.Get(), MFAudioFormat_PCM, 16))
      return false;
    if (!ReadOutputFormat(reader_.Get(), format_)) return false;
    declaredFrames_ = static_cast<uint64_t>(DeclaredSeconds(reader_.Get()) * format_.sampleRate);
    return true;
  }

  int Channels() const override { return format_.channels; }
  int SampleRate() const override { return format_.sampleRate; }
  uint64_t DeclaredFrames() const override { return declaredFrames_; }
  IMFSourceReader* Reader() const { return reader_.Get(); }
  const OutputFormat& Format() const { return format_; }

  bool ReadMore(std::vector<float>& samples) override {
    if (ended_) return false;
    int readsWithoutSample = 0;
    for (;;) {
      DWORD flags = 0;
      ComPtr<IMFSample> sample;
      if (FAILED(reader_->ReadSample(kAudioStream, 0, nullptr, &flags, nullptr, sample.Put())) ||
          (flags & MF_SOURCE_READERF_ERROR) != 0)
        return Fail();
      if ((flags & MF_SOURCE_READERF_CURRENTMEDIATYPECHANGED) != 0) {
        // A stream that changes rate or layout halfway would need two buffers; no sound effect
        // does that, so treat it as broken rather than play it at the wrong speed.
        OutputFormat changed;
        if (!ReadOutputFormat(reader_.Get(), changed) || !SameFormat(changed, format_)) return Fail();
      }
      const bool end = (flags & MF_SOURCE_READERF_ENDOFSTREAM) != 0;
      if (end) ended_ = true;
      // The last call may carry both a sample and the end flag; take the sample first.
      if (sample) {
        ComPtr<IMFMediaBuffer> buffer;
        if (FAILED(sample->ConvertToContiguousBuffer(buffer.Put()))) return Fail();
        BufferLock lock(buffer.Get());
        if (!lock.Locked()) return Fail();
        // A buffer that ends inside a frame would shift every later channel by one.
        if (lock.Length() % format_.bytesPerFrame != 0) return Fail();
        if (lock.Length() == 0) {
          if (end) return false;
          continue;
        }
        AppendSamples(format_, lock.Data(), lock.Length(), samples);
        return true;
      }
      if (end || ++readsWithoutSample > kMaxReadsWithoutSample) {
        ended_ = true;
        return false;
      }
    }
  }

  bool Failed() const { return failed_; }

 private:
  bool Fail() {
    ended_ = true;
    failed_ = true;
    return false;
  }

  ComPtr<IMFSourceReader> reader_;
  OutputFormat format_;
  uint64_t declaredFrames_ = 0;
  bool ended_ = false;
  bool failed_ = false;
};

bool Decode(const std::wstring& path, PcmBuffer& out) try {
  ReaderSource source;
  if (!source.Open(path)) return false;
  std::vector<float> samples;
  ReserveForDuration(source.Reader(), source.Format(), samples);
  const size_t maxSamples = kMaxSourceFrames * static_cast<size_t>(source.Channels());
  while (source.ReadMore(samples)) {
    if (samples.size() > maxSamples) return false;
  }
  if (source.Failed() || samples.empty()) return false;
  out.channels = source.Channels();
  out.sampleRate = source.SampleRate();
  out.samples = std::move(samples);
  return true;
} catch (const std::exception&) {
  // A file that decodes far past what it declared runs into bad_alloc (or, in a 32-bit process,
  // length_error) before the frame limit: a refusal like any other.
  out = PcmBuffer{};
  return false;
}

// A source that owns the Media Foundation session its reader lives in, so it can be handed to
// another thread and outlive the caller's session.
class SessionSource final : public PcmSource {
 public:
  int Channels() const override { return source.Channels(); }
  int SampleRate() const override { return source.SampleRate(); }
  uint64_t DeclaredFrames() const override { return source.DeclaredFrames(); }
  bool ReadMore(std::vector<float>& samples) override { return source.ReadMore(samples); }

  MediaFoundationSession session;  // declared first: outlives the reader
  ReaderSource source;
};

}  // namespace

MediaFoundationSession::MediaFoundationSession() noexcept {
  const HRESULT com = ::CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  // RPC_E_CHANGED_MODE: the thread already lives in a single-threaded apartment (a UI thread).
  // Media Foundation works there too; that apartment is not ours to end.
  comInitialized_ = SUCCEEDED(com);
  if (!comInitialized_ && com != RPC_E_CHANGED_MODE) return;
  mfStarted_ = SUCCEEDED(::MFStartup(MF_VERSION, MFSTARTUP_LITE));
}

MediaFoundationSession::~MediaFoundationSession() {
  if (mfStarted_) ::MFShutdown();
  if (comInitialized_) ::CoUninitialize();
}

std::unique_ptr<PcmSource> OpenMediaFoundationSource(const std::wstring& path, double* declaredSeconds) {
  if (declaredSeconds) *declaredSeconds = 0;
  try {
    auto opened = std::make_unique<SessionSource>();
    if (!opened->session.Started() || !opened->source.Open(path)) return nullptr;
    if (declaredSeconds) *declaredSeconds = DeclaredSeconds(opened->source.Reader());
    return opened;
  } catch (const std::exception&) {
    return nullptr;
  }
}

bool DecodeWithMediaFoundation(const std::wstring& path, PcmBuffer& out) {
  out = PcmBuffer{};
  // MFStartup counts its callers, so this is cheap when the thread already holds a session.
  // Declared before anything the reader creates, so every Media Foundation object is released
  // before MFShutdown.
  MediaFoundationSession session;
  if (!session.Started()) return false;
  return Decode(path, out);
}

}  // namespace velmora::audio
