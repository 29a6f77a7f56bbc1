// The board's sliding message: slide in from the left, rest, slide out, and again with the
// shop text. A plain state machine; the window owns the timers and does what each step asks.
#pragma once

#include <string>

namespace velmora::ui {

class Marquee {
 public:
  static constexpr int kWidth = 310;
  static constexpr int kRestLeft = 30;
  static constexpr int kGoneLeft = -kWidth;
  static constexpr int kStep = 10;
  static constexpr unsigned kRestMs = 2500;

  enum class Phase { Stopped, SlidingIn, Resting, SlidingOut };
  // What the window must do after a step.
  enum class Action { None, StopSlideInStartRest, StopSlideOutStartSlideIn };

  Marquee(std::wstring tipText, std::wstring shopText);

  // The window was created: the tip text, starting wholly left of the window, slides in.
  void Start();
  Action SlideInTick();
  Action SlideOutTick();
  // The rest is over: the tip text slides out.
  void RestEnded();

  int Left() const { return left_; }
  const std::wstring& Caption() const { return caption_; }
  Phase CurrentPhase() const { return phase_; }

 private:
  std::wstring tip_;
  std::wstring shop_;
  std::wstring caption_;
  int left_ = kGoneLeft;
  Phase phase_ = Phase::Stopped;
};

}  // namespace velmora::ui
