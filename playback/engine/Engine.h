// The audio engine: one output (a WASAPI endpoint in shared mode, or the null output), one
// render thread that owns it, and a small table of voices the UI thread starts and stops.
//
// Threads: every public method is called on one controlling thread (the UI thread). The render
// thread owns the device; the two meet only in the voice table, under a lock held for the
// length of one buffer fill, and in a few atomics. A play never sets up a device: the client is
// created once in Open. The stream is started when a voice plays, with its first samples
// already in the buffer, and stopped after a second of silence, so an idle board costs no CPU.
#pragma once

#include "playback/engine/Pcm.h"
#include "playback/engine/StreamFeed.h"

#include <atomic>
#include <functional>
#include <future>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace velmora::audio {

class AudioEngine {
 public:
  AudioEngine();
  ~AudioEngine();
  AudioEngine(const AudioEngine&) = delete;
  AudioEngine& operator=(const AudioEngine&) = delete;

  // Opens device 0 (null), 1 (default) or 2.. (an endpoint; see Devices.h). Waits until the
  // render thread has the device running or has failed. False when already open.
  bool Open(int device);
  // Stops the render thread, releases the device and every voice.
  void Close();
  bool IsOpen() const { return thread_.joinable(); }
  int Device() const { return device_.load(); }
  // True while the opened endpoint is gone (unplugged, disabled) and not yet back.
  bool DeviceLost() const { return lost_.load(); }

  // Voices. Ids are never reused; 0 is no voice.
  uint32_t CreateVoice(std::shared_ptr<const Sound> sound);
  // A voice for a long file played while it decodes. `open` starts a feed from the file's
  // beginning (called again when the voice restarts); `lengthFrames` is what the file declares.
  using FeedOpener = std::function<std::shared_ptr<StreamFeed>()>;
  uint32_t CreateStreamVoice(FeedOpener open, uint64_t lengthFrames);
  bool FreeVoice(uint32_t id);
  bool PlayVoice(uint32_t id, bool restart);
  bool PauseVoice(uint32_t id);
  bool StopVoice(uint32_t id);
  bool SetVoiceVolume(uint32_t id, float volume);
  bool VoiceFrames(uint32_t id, uint64_t* position, uint64_t* length) const;
  bool SetVoicePosition(uint32_t id, uint64_t frame);

  // Device changes. On Windows the endpoint notifications call these; tests call them too,
  // since Wine never sends the notifications.
  void OnDefaultDeviceChanged();
  void OnDeviceRemoved(const std::wstring& endpointId);
  // An endpoint was added or became active again: while ours is lost, look for it at once
  // instead of at the next retry.
  void OnDeviceArrived();

  // When the last PlayVoice was asked for, when its first samples were written into the
  // device buffer (QueryPerformanceCounter ticks; 0 until it happens) and how many frames were
  // still queued ahead of them in the device then (what the listener hears before the new
  // effect, the end of the old one included).
  struct PlayTiming {
    int64_t requested = 0;
    int64_t firstWrite = 0;
    uint32_t queuedFrames = 0;
  };
  PlayTiming LastPlayTiming() const;

 private:
  struct Voice {
    uint32_t id = 0;
    std::shared_ptr<const Sound> sound;   // a sound in memory, or
    std::shared_ptr<StreamFeed> feed;      // one decoding as it plays
    FeedOpener reopen;
    uint64_t streamLength = 0;
    uint64_t position = 0;  // frames
    float volume = 1.0f;
    bool playing = false;
    bool timed = false;  // first write still to be stamped
  };

  void RenderThread(int device, std::wstring endpointId);
  void ReportStarted(bool ok);
  void RunNullOutput();
  // Mixes `frames` frames of every playing voice into `out` (stereo float) and advances them;
  // `queuedFrames` are already in the device ahead of them. Returns whether anything but
  // silence was written.
  bool Mix(float* out, uint32_t frames, uint32_t queuedFrames);
  bool HasAudibleVoice() const;
  Voice* FindVoice(uint32_t id);
  const Voice* FindVoice(uint32_t id) const;
  void Wake();

  std::vector<float> scratch_;  // render thread only
  mutable std::mutex voicesLock_;
  std::vector<Voice> voices_;
  uint32_t nextId_ = 1;

  std::thread thread_;
  std::atomic<int> device_{-1};  // read by the endpoint notifications on the system's thread
  void* stopEvent_ = nullptr;  // HANDLE; kept opaque so this header stays free of windows.h
  void* wakeEvent_ = nullptr;
  std::atomic<bool> lost_{false};
  std::atomic<bool> reopenDefault_{false};
  std::atomic<bool> checkDevice_{false};
  std::promise<bool>* startup_ = nullptr;  // set by the render thread until it has started
  std::atomic<int64_t> playRequested_{0};
  std::atomic<int64_t> playFirstWrite_{0};
  std::atomic<uint32_t> playQueuedFrames_{0};
};

}  // namespace velmora::audio
