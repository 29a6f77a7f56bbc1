// How loud a sound is, and the gain that brings it to the board's even level (音量均衡).
// Loudness is the integrated loudness of ITU-R BS.1770-4: K-weighted (a high shelf and a
// high-pass, derived for the actual sample rate), mean square over 400 ms blocks every 100 ms,
// blocks gated at -70 LUFS and then 10 LU below the ungated level. Channels are the stereo pair
// the engine plays, each weighted 1. Pure logic: no Windows calls, so it builds natively too.
#pragma once

#include <cstddef>
#include <vector>

namespace velmora::audio {

// What is known of a sound's level: its integrated loudness and its largest sample.
struct LoudnessInfo {
  float lufs = kNoLoudness;  // kNoLoudness: silent, or too short for a single block
  float peak = 0.0f;         // 0..1 (and above, for a file that clips)

  static constexpr float kNoLoudness = -1000.0f;
  bool Measured() const { return lufs > kNoLoudness; }
};

// The even level every sound is brought to, the most a quiet one is raised, and the highest a
// raised or lowered sound's peak may reach.
inline constexpr float kLevelingTargetLufs = -16.0f;
inline constexpr float kMaxLevelingBoostDb = 12.0f;
inline constexpr float kLevelingCeilingDbfs = -1.0f;
// The largest factor LevelingGain returns: +12 dB.
inline constexpr float kMaxLevelingGain = 3.98107171f;

// Measures interleaved stereo float fed to it in pieces of any size.
class LoudnessMeter {
 public:
  explicit LoudnessMeter(int sampleRate);

  void Add(const float* stereo, size_t frames);
  // What everything added so far measures.
  LoudnessInfo Result() const;
  // Seconds of audio added so far.
  double Seconds() const { return static_cast<double>(frames_) / rate_; }

 private:
  // A biquad in direct form I, per channel, run in double: the high-pass at 38 Hz sits so close
  // to the unit circle that float state would drift. The high-pass's b are 1, -2, 1 and its
  // input is the shelf's output, so it keeps no x of its own.
  struct Biquad {
    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
    double x1[2] = {}, x2[2] = {}, y1[2] = {}, y2[2] = {};
  };

  int rate_;
  size_t stepFrames_;  // 100 ms: blocks start this far apart and are four steps long
  Biquad shelf_, highPass_;
  size_t frames_ = 0;
  size_t inStep_ = 0;
  double stepEnergy_ = 0;      // sum of both channels' squared K-weighted samples in this step
  std::vector<double> steps_;  // each finished step's energy
  float peak_ = 0.0f;
};

// The whole of a stereo sound at `sampleRate` measured at once.
LoudnessInfo MeasureLoudness(const float* stereo, size_t frames, int sampleRate);

// The factor that brings a sound to -16 LUFS: raised by +12 dB at most, lowered without limit,
// and never so far that its peak goes above -1 dBFS (so leveling never clips, whatever it is
// asked to do). 1 for a sound with no loudness measured (silent, too short).
float LevelingGain(const LoudnessInfo& info);

}  // namespace velmora::audio
