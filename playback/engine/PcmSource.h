// A sound decoded piece by piece, for files too long to hold in memory. Pure interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace velmora::audio {

class PcmSource {
 public:
  virtual ~PcmSource() = default;
  virtual int Channels() const = 0;
  virtual int SampleRate() const = 0;
  // The length the file declares, in frames at SampleRate(); 0 when it declares none. Read
  // from headers only, so it may lie: nothing that allocates may trust it.
  virtual uint64_t DeclaredFrames() const = 0;
  // Appends the next decoded piece (interleaved float frames) to `samples`. False at the end of
  // the sound or on a decoding error; nothing is appended then.
  virtual bool ReadMore(std::vector<float>& samples) = 0;
};

}  // namespace velmora::audio
