// A sound decoded piece by piece, for files too long to hold in memory. Pure interface.
#pragma once

#include <cstddef>
#include <vector>

namespace velmora::audio {

class PcmSource {
 public:
  virtual ~PcmSource() = default;
  virtual int Channels() const = 0;
  virtual int SampleRate() const = 0;
  // Appends the next decoded piece (interleaved float frames) to `samples`. False at the end of
  // the sound or on a decoding error; nothing is appended then.
  virtual bool ReadMore(std::vector<float>& samples) = 0;
};

}  // namespace velmora::audio
