// The skinned frame's geometry and the engine's small rules, apart from any window: where the
// caption buttons sit, which one a point hits, which edge a press resizes from, the fixed sample
// positions of the average colour and the steps of the hover fade.
#pragma once

#include <cstdint>
#include <vector>

namespace velmora::skin {

struct FloatRect {
  float x = 0, y = 0, width = 0, height = 0;
};

enum CaptionButtonKind : int {
  kCloseButton = 0,
  kMaximiseButton = 1,
  kMinimiseButton = 2,
  kMenuButton = 3,
  kHelpButton = 4,
  kCustomButton = 5
};

constexpr int kMargin = 3;  // the engine margin: edge thickness and caption offsets
constexpr int kMinCaptionHeight = 25;
constexpr int kCaptionBlockHeight = 22;
constexpr int kCaptionButtonStep = 27;  // one button's width plus its separator
constexpr int kFadeSteps = 8;
constexpr int kFadeAlphaStep = 30;  // 8 × 30 = 240, the full hover highlight

// The kinds of the caption buttons a window gets, left to right: help, main menu, minimise and
// maximise when it has them, and always close.
std::vector<int> CaptionButtonKinds(bool help, bool menu, bool minimise, bool maximise);
// A button's share of the block's width: 26, the close button 38 (it is drawn 40 wide, reaching
// past the window's right edge).
int CaptionButtonWidth(int kind);
// The caption-button block's width for buttons of these widths: their sum, a pixel between each
// two, and three more.
int CaptionBlockWidth(const std::vector<int>& buttonWidths);
// Where the block starts in a client area `clientWidth` wide: flush with the right edge, a
// pixel past it.
int CaptionBlockX(int clientWidth, int blockWidth);
// Whether (x, y) lies in the block, its edges included.
bool InCaptionBlock(int blockX, int blockY, int blockWidth, int blockHeight, int x, int y);
// Whether a press at (x, y) is the caption buttons' rather than the frame's: inside the block's
// width, from its third row down to its height. The rows above stay the edge a press sizes or
// moves the window from.
bool PressOnCaptionBlock(int blockX, int blockWidth, int blockHeight, int x, int y);
// Button i (1-based) of a block starting at blockX: 26 wide, the close button 40.
FloatRect CaptionButtonRect(int blockX, int index, int kind);
// 1-based index of the button whose rectangle strictly contains (x, y), or 0; only points
// inside the block's horizontal extent from blockX and its vertical extent count.
int HitTestCaptionButton(const std::vector<FloatRect>& buttons, int blockX, int blockY, int blockHeight, float x,
                         float y);

// The sizing edge (1 left, 2 right, 3 top, 6 bottom, 4 top-left, 5 top-right, 7 bottom-left,
// 8 bottom-right) of the first zone holding (x, y) in a w × h client area, or 0.
int ResizeZoneAt(int x, int y, int w, int h);

// The first output of the C runtime's generator seeded with `seed`.
int SeededRandom(uint32_t seed);
struct SamplePoint {
  int x, y;
};
// Sample i (1-based) of the average colour in a w × h picture: the same on every run.
SamplePoint AverageColourSample(int i, int w, int h);

// The hover highlight's alpha at fade step s (0..8), fading in or out.
constexpr int FadeInAlpha(int step) { return step * kFadeAlphaStep; }
constexpr int FadeOutAlpha(int step) { return (kFadeSteps - step) * kFadeAlphaStep; }

}  // namespace velmora::skin
