// Decoding through Windows Media Foundation: MP3, AAC/M4A, WMA, FLAC and whatever else the
// system has a decoder for. Used for every format our own decoders do not handle.
#pragma once

#include "playback/engine/Pcm.h"
#include "playback/engine/PcmSource.h"

#include <memory>

#include <string>

namespace velmora::audio {

// Keeps COM and Media Foundation started on the calling thread for its lifetime. Hold one on a
// thread that decodes many files, so each decode does not start and stop Media Foundation.
// Works on a thread whose COM apartment is already single-threaded (the UI thread): it then
// leaves that apartment as it found it.
class MediaFoundationSession {
 public:
  MediaFoundationSession() noexcept;
  ~MediaFoundationSession();

  MediaFoundationSession(const MediaFoundationSession&) = delete;
  MediaFoundationSession& operator=(const MediaFoundationSession&) = delete;

  // False when Media Foundation could not be started (missing on "N" editions of Windows).
  bool Started() const noexcept { return mfStarted_; }

 private:
  bool comInitialized_ = false;
  bool mfStarted_ = false;
};

// Decodes the whole file at `path` into float samples at the file's own rate and channel count.
// Only the first audio stream is read. False, with `out` left empty, for a missing or unreadable
// file, a format no installed decoder accepts, a decoding error, no samples at all, or more than
// kMaxSourceFrames frames. Callable on any thread; it starts Media Foundation itself for the call
// when no MediaFoundationSession is held on the thread.
bool DecodeWithMediaFoundation(const std::wstring& path, PcmBuffer& out);

// Opens `path` for decoding piece by piece (long files are played while they decode). Null when
// no installed decoder takes the file. `declaredSeconds` gets the length the file declares, 0
// when it declares none. The source may be read on any thread.
std::unique_ptr<PcmSource> OpenMediaFoundationSource(const std::wstring& path, double* declaredSeconds);

}  // namespace velmora::audio
