#include "ui/Marquee.h"

namespace velmora::ui {

Marquee::Marquee(std::wstring tipText, std::wstring shopText) : tip_(std::move(tipText)), shop_(std::move(shopText)) {}

void Marquee::Start() {
  caption_ = tip_;
  left_ = kGoneLeft;
  phase_ = Phase::SlidingIn;
}

Marquee::Action Marquee::SlideInTick() {
  if (phase_ != Phase::SlidingIn) return Action::None;
  if (left_ != kRestLeft) left_ += kStep;
  if (left_ != kRestLeft) return Action::None;
  phase_ = Phase::Resting;
  return Action::StopSlideInStartRest;
}

void Marquee::RestEnded() {
  if (phase_ != Phase::Resting) return;
  caption_ = tip_;
  phase_ = Phase::SlidingOut;
}

Marquee::Action Marquee::SlideOutTick() {
  if (phase_ != Phase::SlidingOut) return Action::None;
  if (left_ <= kRestLeft) left_ -= kStep;
  if (left_ != kGoneLeft) return Action::None;
  caption_ = shop_;
  phase_ = Phase::SlidingIn;
  return Action::StopSlideOutStartSlideIn;
}

}  // namespace velmora::ui
