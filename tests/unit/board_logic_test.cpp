// What the board and its windows are made of, as data: the button grid, the marquee's cycle,
// the hotkey table and the skinned frame's zones. On real windows they are tested under Wine.
#include "hotkeys/HotkeyTable.h"
#include "skin/SkinGeometry.h"
#include "ui/MainLayout.h"
#include "ui/Marquee.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

using namespace velmora::hotkeys;
using namespace velmora::ui;

TEST(BoardLayout, HundredButtonsOnFourPagesNeverCovered) {
  std::set<int> ordinals;
  for (const EffectButtonDesign& button : EffectButtons()) {
    ASSERT_TRUE(velmora::config::IsValidSlot(button.slot));
    EXPECT_TRUE(ordinals.insert(velmora::config::SlotOrdinal(button.slot)).second);
    const DesignRect& r = button.rect;
    // Grid sizes, inside the visible window, clear of the marquee band.
    EXPECT_TRUE((r.w == 60 || r.w == 130) && (r.h == 60 || r.h == 130));
    EXPECT_GE(r.x + kPageOriginX, 0);
    EXPECT_LE(r.x + kPageOriginX + r.w, kBoardWidth);
    EXPECT_LE(r.y + kPageOriginY + r.h, 373);
    for (const EffectButtonDesign& other : EffectButtons()) {
      if (&other == &button || other.slot.category != button.slot.category) continue;
      const DesignRect& o = other.rect;
      const bool overlap = r.x < o.x + o.w && o.x < r.x + r.w && r.y < o.y + o.h && o.y < r.y + r.h;
      EXPECT_FALSE(overlap) << velmora::config::SlotOrdinal(button.slot) << " and "
                            << velmora::config::SlotOrdinal(other.slot);
    }
    // The stop and volume buttons lie above the pages: no effect button may hide under them.
    for (MainControl id : {MainControl::VolumeUp, MainControl::VolumeDown, MainControl::Stop}) {
      const DesignRect& s = MainControlDesign(id).rect;
      const int x = r.x + kPageOriginX, y = r.y + kPageOriginY;
      EXPECT_FALSE(x < s.x + s.w && s.x < x + r.w && y < s.y + s.h && s.y < y + r.h)
          << "slot " << velmora::config::SlotOrdinal(button.slot) << " under a volume/stop button";
    }
  }
  EXPECT_EQ(ordinals.size(), 100u);
}

TEST(BoardMarquee, SlidesRestsAndAlternatesTexts) {
  Marquee marquee(L"tip", L"shop");
  marquee.Start();
  EXPECT_EQ(marquee.Left(), -310);
  EXPECT_EQ(marquee.Caption(), L"tip");
  int ticks = 0;
  while (marquee.SlideInTick() == Marquee::Action::None) ++ticks;
  EXPECT_EQ(ticks + 1, 34);
  EXPECT_EQ(marquee.Left(), 30);
  EXPECT_EQ(marquee.CurrentPhase(), Marquee::Phase::Resting);
  EXPECT_EQ(marquee.SlideInTick(), Marquee::Action::None);  // resting: ticks change nothing
  EXPECT_EQ(marquee.Left(), 30);
  marquee.RestEnded();
  EXPECT_EQ(marquee.Caption(), L"tip");
  ticks = 0;
  while (marquee.SlideOutTick() == Marquee::Action::None) ++ticks;
  EXPECT_EQ(ticks + 1, 34);
  EXPECT_EQ(marquee.Left(), -310);
  EXPECT_EQ(marquee.Caption(), L"shop");  // the shop text only after the first slide out
  while (marquee.SlideInTick() == Marquee::Action::None) {
  }
  EXPECT_EQ(marquee.Caption(), L"shop");
  marquee.RestEnded();
  EXPECT_EQ(marquee.Caption(), L"tip");  // the rest ends with the tip text, which slides out
}

TEST(HotkeyTable, FortyEightOrThirtyEightInOrder) {
  using velmora::config::DigitKeys;
  using velmora::config::RegisteredDigitKeys;
  const auto main = HotkeyRows(RegisteredDigitKeys(std::nullopt));  // missing: the main keyboard
  ASSERT_EQ(main.size(), 48u);
  EXPECT_EQ(main[0].name, L"F1");
  EXPECT_EQ(main[11].virtualKey, 0x7Bu);
  EXPECT_EQ(main[12].name, L"1");
  EXPECT_EQ(main[12].virtualKey, 0x31u);
  EXPECT_EQ(main[21].name, L"0");
  EXPECT_EQ(main[21].virtualKey, 0x30u);
  EXPECT_TRUE(main[22].stops);
  EXPECT_EQ(main[22].modifiers, kModAlt);
  EXPECT_EQ(main[47].name, L"Z");
  const auto keypad = HotkeyRows(RegisteredDigitKeys(L"小"));
  ASSERT_EQ(keypad.size(), 48u);
  EXPECT_EQ(keypad[12].virtualKey, 0x61u);  // VK_NUMPAD1
  EXPECT_EQ(keypad[21].virtualKey, 0x60u);  // VK_NUMPAD0
  EXPECT_EQ(keypad[12].name, L"1");         // the same names: assignments carry over
  EXPECT_EQ(HotkeyRows(RegisteredDigitKeys(L"大")).size(), 48u);
  EXPECT_EQ(HotkeyRows(RegisteredDigitKeys(L"中")).size(), 38u);  // an odd choice registers no digits
  EXPECT_EQ(HotkeyRows(RegisteredDigitKeys(L"")).size(), 38u);
  EXPECT_EQ(velmora::config::ShownDigitKeys(std::nullopt), DigitKeys::None);  // the window chooses neither
}

TEST(SkinGeometry, ResizeZonesInTheirOrder) {
  using velmora::skin::ResizeZoneAt;
  EXPECT_EQ(ResizeZoneAt(2, 100, 399, 214), 1);
  EXPECT_EQ(ResizeZoneAt(397, 100, 399, 214), 2);
  EXPECT_EQ(ResizeZoneAt(200, 1, 399, 214), 3);
  EXPECT_EQ(ResizeZoneAt(200, 212, 399, 214), 6);
  EXPECT_EQ(ResizeZoneAt(5, 5, 399, 214), 4);
  EXPECT_EQ(ResizeZoneAt(395, 8, 399, 214), 5);
  EXPECT_EQ(ResizeZoneAt(9, 206, 399, 214), 7);
  EXPECT_EQ(ResizeZoneAt(392, 210, 399, 214), 8);
  EXPECT_EQ(ResizeZoneAt(200, 100, 399, 214), 0);
  EXPECT_EQ(ResizeZoneAt(6, 100, 399, 214), 0);
  EXPECT_EQ(velmora::skin::FadeOutAlpha(8), 0);
  EXPECT_EQ(velmora::skin::FadeInAlpha(8), 240);
}

TEST(SkinGeometry, CaptionButtonsInTheirBlock) {
  namespace skin = velmora::skin;
  // The editor's buttons: minimise, maximise and close in a block flush with a 399-pixel client.
  const std::vector<int> kinds = skin::CaptionButtonKinds(false, false, true, true);
  ASSERT_EQ(kinds, (std::vector<int>{skin::kMinimiseButton, skin::kMaximiseButton, skin::kCloseButton}));
  EXPECT_EQ(skin::CaptionButtonKinds(true, true, false, false),
            (std::vector<int>{skin::kHelpButton, skin::kMenuButton, skin::kCloseButton}));
  std::vector<int> widths;
  for (int kind : kinds) widths.push_back(skin::CaptionButtonWidth(kind));
  EXPECT_EQ(skin::CaptionBlockWidth(widths), 95);
  EXPECT_EQ(skin::CaptionBlockWidth({skin::CaptionButtonWidth(skin::kCloseButton)}), 41);
  const int x = skin::CaptionBlockX(399, 95);
  std::vector<skin::FloatRect> rects;
  for (int i = 0; i < 3; ++i) rects.push_back(skin::CaptionButtonRect(x, i + 1, kinds[static_cast<size_t>(i)]));
  EXPECT_FLOAT_EQ(rects[0].x, 307.0f);
  EXPECT_FLOAT_EQ(rects[1].x, 334.0f);
  EXPECT_FLOAT_EQ(rects[2].x + rects[2].width, 401.0f);  // two pixels past the right edge
  EXPECT_EQ(skin::HitTestCaptionButton(rects, x, 0, skin::kCaptionBlockHeight, 320, 10), 1);
  EXPECT_EQ(skin::HitTestCaptionButton(rects, x, 0, skin::kCaptionBlockHeight, 380, 10), 3);
  EXPECT_EQ(skin::HitTestCaptionButton(rects, x, 0, skin::kCaptionBlockHeight, 307, 10), 0);  // strictly inside
  // Hover counts the block's edges; a press in its top rows is still the frame's.
  EXPECT_TRUE(skin::InCaptionBlock(x, 0, 95, 22, x, 0));
  EXPECT_TRUE(skin::InCaptionBlock(x, 0, 95, 22, x + 95, 22));
  EXPECT_FALSE(skin::InCaptionBlock(x, 0, 95, 22, x - 1, 10));
  EXPECT_FALSE(skin::InCaptionBlock(x, 0, 95, 22, x, 23));
  EXPECT_FALSE(skin::PressOnCaptionBlock(x, 95, 22, 320, 2));
  EXPECT_TRUE(skin::PressOnCaptionBlock(x, 95, 22, 320, 3));
  EXPECT_FALSE(skin::PressOnCaptionBlock(x, 95, 22, 320, 23));
}
