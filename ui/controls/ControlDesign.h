// What the windows' self-drawn controls are made of: kinds, design rectangles, colours.
// Pure data: no Windows headers, so layout tables and their tests stay plain.
#pragma once

#include <cstdint>

namespace velmora::ui {

// A Windows colour reference, 0x00BBGGRR.
using Colour = uint32_t;
constexpr Colour Rgb(int r, int g, int b) {
  return static_cast<Colour>(r) | (static_cast<Colour>(g) << 8) | (static_cast<Colour>(b) << 16);
}
inline constexpr Colour kNoColour = 0xFFFFFFFFu;  // transparent: nothing is filled

struct DesignRect {
  int x = 0;
  int y = 0;
  int w = 0;
  int h = 0;
  bool Contains(int px, int py) const { return px >= x && py >= y && px < x + w && py < y + h; }
};

enum class ControlKind { ColourButton, Label, HyperlinkLabel, TransparentLabel, PageContainer };

enum class TextAlign { Left, Centre, Right };

struct Colours {
  Colour text = 0;
  Colour back = kNoColour;
};

struct ControlDesign {
  int id;              // the window's own enum value
  const wchar_t* name;  // the design name
  ControlKind kind;
  DesignRect rect;      // in the parent's client coordinates at 96 DPI
  const wchar_t* caption;
  Colours normal;
  Colours hover;        // colour button: mouse over or held; hyperlink label: text on hover
  Colours focus;
  int fontHeight = 0;   // character height in pixels; 0 = the default GUI font
  TextAlign align = TextAlign::Centre;
  bool dragsWindow = false;  // pressing it and dragging moves the window
};

}  // namespace velmora::ui
