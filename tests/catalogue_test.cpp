// Captions and each slot's own volume, read from the configuration. The catalogue itself
// (categories, slots, button names) is tested natively, in tests/unit/config_test.cpp.
#include "config/Captions.h"
#include "config/Catalogue.h"
#include "config/SlotVolume.h"
#include "config/ConfigStore.h"
#include "tests/support/TempProgramDir.h"

#include <gtest/gtest.h>

using namespace velmora::config;

TEST(Captions, LoadFillsEveryButtonAndMarksEmptyCustomSlots) {
  velmora::test::TempProgramDir dir;
  ConfigStore store(dir.Path());
  store.WriteValue(L"常用标题", L"1", L"掌声");
  store.WriteValue(L"喊麦标题", L"23", L"欢呼");
  store.WriteValue(L"自定义", L"2", L"我的");
  store.WriteValue(L"自定义标题", L"3", L"不读这里");  // the custom page's titles live in 自定义
  store.WriteValue(L"常用标题", L"30", L"多余");        // above the slot count: never shown

  PlainCaptionHolder holder;
  holder.SetCaption({1, 2}, L"old text");
  LoadCaptions(store, holder);
  EXPECT_EQ(holder.Caption({1, 1}), L"掌声");
  EXPECT_EQ(holder.Caption({1, 2}), L"");  // missing title clears the old caption
  EXPECT_EQ(holder.Caption({2, 23}), L"欢呼");
  EXPECT_EQ(holder.Caption({4, 2}), L"我的");
  EXPECT_EQ(holder.Caption({4, 1}), L"自定义");
  EXPECT_EQ(holder.Caption({4, 3}), L"自定义");
  EXPECT_EQ(holder.Caption({3, 5}), L"");
}

// A slot's own volume: odd stored values never silence an effect.
TEST(SlotVolume, StoredLevelsAreMadeSound) {
  using velmora::config::ParseSlotLevel;
  EXPECT_EQ(ParseSlotLevel(L""), 100);
  EXPECT_EQ(ParseSlotLevel(L" 30 "), 30);
  EXPECT_EQ(ParseSlotLevel(L"1"), 1);
  EXPECT_EQ(ParseSlotLevel(L"0"), 1);
  EXPECT_EQ(ParseSlotLevel(L"250"), 100);
  EXPECT_EQ(ParseSlotLevel(L"99999999999"), 100);
  EXPECT_EQ(ParseSlotLevel(L"-5"), 100);
  EXPECT_EQ(ParseSlotLevel(L"半"), 100);
  EXPECT_EQ(ParseSlotLevel(L"3.5"), 100);
}
