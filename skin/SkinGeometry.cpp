#include "skin/SkinGeometry.h"

#include <cmath>

namespace velmora::skin {

std::vector<int> CaptionButtonKinds(bool help, bool menu, bool minimise, bool maximise) {
  std::vector<int> kinds;
  if (help) kinds.push_back(kHelpButton);
  if (menu) kinds.push_back(kMenuButton);
  if (minimise) kinds.push_back(kMinimiseButton);
  if (maximise) kinds.push_back(kMaximiseButton);
  kinds.push_back(kCloseButton);
  return kinds;
}

int CaptionButtonWidth(int kind) { return kind == kCloseButton ? 38 : 26; }

int CaptionBlockWidth(const std::vector<int>& buttonWidths) {
  int sum = 0;
  for (int width : buttonWidths) sum += width;
  return sum + static_cast<int>(buttonWidths.size()) - 1 + 3;
}

int CaptionBlockX(int clientWidth, int blockWidth) { return clientWidth - blockWidth + 1; }

bool InCaptionBlock(int blockX, int blockY, int blockWidth, int blockHeight, int x, int y) {
  return x >= blockX && x <= blockX + blockWidth && y >= blockY && y <= blockY + blockHeight;
}

bool PressOnCaptionBlock(int blockX, int blockWidth, int blockHeight, int x, int y) {
  return x >= blockX && x <= blockX + blockWidth && y <= blockHeight && y >= 3;
}

FloatRect CaptionButtonRect(int blockX, int index, int kind) {
  return FloatRect{static_cast<float>(blockX + 2 + (index - 1) * kCaptionButtonStep), 1.0f,
                   kind == kCloseButton ? 40.0f : 26.0f, 18.0f};
}

int HitTestCaptionButton(const std::vector<FloatRect>& buttons, int blockX, int blockY, int blockHeight, float x,
                         float y) {
  if (x < static_cast<float>(blockX) || y < static_cast<float>(blockY) || y > static_cast<float>(blockY + blockHeight))
    return 0;
  constexpr float kTolerance = 1e-7f;
  for (size_t i = 0; i < buttons.size(); ++i) {
    const FloatRect& r = buttons[i];
    if (x > r.x + kTolerance && x < r.x + r.width - kTolerance && y > r.y + kTolerance &&
        y < r.y + r.height - kTolerance)
      return static_cast<int>(i) + 1;
  }
  return 0;
}

int ResizeZoneAt(int x, int y, int w, int h) {
  constexpr int e = kMargin;
  constexpr int corner = 10;
  const bool midY = y > corner && y < h - corner;
  const bool midX = x > corner && x < w - corner;
  if (x <= e && midY) return 1;
  if (x >= w - e && midY) return 2;
  if (y <= e && midX) return 3;
  if (y >= h - e && midX) return 6;
  if (x <= corner && y <= corner) return 4;
  if (x >= w - corner && y <= corner) return 5;
  if (x <= corner && y >= h - corner) return 7;
  if (x >= w - corner && y >= h - corner) return 8;
  return 0;
}

int SeededRandom(uint32_t seed) {
  const uint32_t state = seed * 214013u + 2531011u;
  return static_cast<int>((state >> 16) & 0x7FFF);
}

SamplePoint AverageColourSample(int i, int w, int h) {
  return SamplePoint{SeededRandom(static_cast<uint32_t>(3 * i)) % w, SeededRandom(static_cast<uint32_t>(i)) % h};
}

}  // namespace velmora::skin
