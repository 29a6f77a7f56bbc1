// The effect board as data: every control with its design rectangle, colours and caption, and
// the 100 effect buttons of the four pages. The window is built from these tables and the tests
// check the screen against them. Pure data: no Windows headers.
#pragma once

#include "config/Catalogue.h"
#include "ui/controls/ControlDesign.h"

#include <array>
#include <cstddef>

namespace velmora::ui {

inline constexpr int kBoardWidth = 724;
inline constexpr int kBoardHeight = 478;
inline constexpr wchar_t kBoardTitle[] = L"Velmora音效软件";

// The page container's origin in window coordinates: page controls at (x, y) sit at (x-1, y+46).
inline constexpr int kPageOriginX = -1;
inline constexpr int kPageOriginY = 46;

inline constexpr Colour kBarPurple = Rgb(88, 48, 224);       // 0xE03058
inline constexpr Colour kHighlight = Rgb(128, 128, 255);     // 0xFF8080
inline constexpr Colour kBoardBackground = Rgb(21, 1, 83);
inline constexpr Colour kWhite = Rgb(255, 255, 255);

// The window's own controls, bottom of the stacking order first.
enum class MainControl {
  Pages,
  TitleCommon,
  TitleAtmosphere,
  TitleOther,
  TitleCustom,
  Minimise,
  Close,
  Divider,
  BottomBar,
  OutputSettings,
  ContactLink,
  WebsiteLink,
  ShopLink,
  VolumeUp,
  VolumeDown,
  Stop,
  Marquee,
  Count
};

inline constexpr size_t kMainControlCount = static_cast<size_t>(MainControl::Count);

const std::array<ControlDesign, kMainControlCount>& MainControls();
const ControlDesign& MainControlDesign(MainControl id);

struct EffectButtonDesign {
  config::EffectSlot slot;
  DesignRect rect;  // relative to the page container
  const wchar_t* caption;  // the design caption, replaced from the configuration at start
  Colour back;
};

inline constexpr size_t kEffectButtonCount = 100;
const std::array<EffectButtonDesign, kEffectButtonCount>& EffectButtons();

// The title label that selects page 0..3, and back.
MainControl TitleForPage(int page);
int PageForTitle(MainControl title);  // -1 for anything that is no title

// The marquee's two texts and the tooltip of the stop button.
inline constexpr wchar_t kTipText[] = L"温馨提示：首次使用前请先设置输出通道";
inline constexpr wchar_t kStopTooltip[] = L"Alt+A停止播放音效";

}  // namespace velmora::ui
