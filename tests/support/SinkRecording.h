// What a test sink really played, read from the recorder the test script keeps on its monitor
// (s16le, 44.1 kHz, stereo; see scripts/audio-server.sh).
#pragma once

#include "tests/support/Signals.h"

#include <string>
#include <vector>

namespace velmora::test {

class SinkRecording {
 public:
  // Starts at the recording's current end: only what plays from now on is read.
  explicit SinkRecording(const std::string& sinkName);
  // The left channel of everything recorded since the start, as floats in [-1, 1].
  std::vector<float> Left() const;
  // Polls the recording until `after` samples have been recorded past the first sample above
  // `threshold` (or `timeoutMs` passed) and returns it. Wine's audio path is slower to start
  // when the machine is busy, so tests wait for what they expect instead of sleeping blindly.
  std::vector<float> WaitForSound(double threshold, size_t after, unsigned timeoutMs = 4000) const;
  // Polls until `count` samples have been recorded since the start (what plays over that
  // stretch of time is then all there), or `timeoutMs` passed; returns the recording.
  std::vector<float> WaitForSamples(size_t count, unsigned timeoutMs = 4000) const;
  // Polls until the last `quiet` samples are all below `threshold`; returns the recording.
  std::vector<float> WaitForSilence(double threshold, size_t quiet, unsigned timeoutMs = 4000) const;
  // Frames in the whole recording file now, and where this recording started in it: indexes
  // into the file that stay comparable across recordings of the same sink.
  long long FileFrames() const;
  long long StartFrame() const { return start_ / 4; }

 private:
  std::wstring path_;
  long long start_ = 0;
};

}  // namespace velmora::test

namespace velmora::test {

// Runs a shell command on the Linux side (Wine starts Unix programs through CreateProcess) and
// waits until it has finished. For changing the test sound server: default sink, unplugging.
// False when it did not finish within `timeoutMs`.
bool RunHostCommand(const std::string& command, unsigned timeoutMs = 10000);

// Changes the test sound server through scripts/test-audio-ctl.sh: action "default", "unplug"
// or "plug" for sink "velmora_a" / "velmora_b".
bool ChangeSoundServer(const std::string& action, const std::string& sink);

// Plays the WAV file `wavBytes` into a test sink ("velmora_mic": the microphone, whose monitor
// is the default capture device) from the Linux side; returns once it has started.
bool PlayIntoSink(const std::string& sink, const std::string& wavBytes);

// The engine's device number of a test sink ("VelmoraSinkA"), or -1.
int TestSinkDevice(const wchar_t* description);
// The capture device number of a test sink's monitor, which Wine lists as a microphone
// ("Monitor of VelmoraSinkA"): what plays on the sink is what it captures. -1 when not listed.
int TestSinkCaptureDevice(const wchar_t* description);

}  // namespace velmora::test
