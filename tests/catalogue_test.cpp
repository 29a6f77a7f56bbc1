// Categories, slots, button names, captions.
#include "config/Captions.h"
#include "config/Catalogue.h"
#include "config/SlotVolume.h"
#include "config/ConfigStore.h"
#include "tests/support/TempProgramDir.h"

#include <gtest/gtest.h>

#include <set>

using namespace velmora::config;

TEST(Catalogue, HundredSlotsWithDistinctButtonsThatMapBack) {
  int total = 0;
  std::set<std::wstring> names;
  for (const CategoryInfo& c : kCategories) {
    total += c.slotCount;
    for (int i = 1; i <= c.slotCount; ++i) {
      const EffectSlot slot{c.number, i};
      const std::wstring name = ButtonName(slot);
      EXPECT_TRUE(names.insert(name).second) << "duplicate button name";
      ASSERT_TRUE(SlotFromButtonName(name).has_value());
      EXPECT_EQ(*SlotFromButtonName(name), slot);
      EXPECT_EQ(SlotFromOrdinal(SlotOrdinal(slot)), slot);
    }
  }
  EXPECT_EQ(total, kSlotCount);
  EXPECT_EQ(SlotOrdinal({4, 24}), 99);
}

TEST(Catalogue, CustomPageNamesAreOffsetByOne) {
  EXPECT_EQ(ButtonName({1, 29}), L"常用音效按钮29");
  EXPECT_EQ(ButtonName({2, 23}), L"喊麦音效按钮23");
  EXPECT_EQ(ButtonName({4, 1}), L"自定义");
  EXPECT_EQ(ButtonName({4, 2}), L"自定义1");
  EXPECT_EQ(ButtonName({4, 24}), L"自定义23");
  EXPECT_EQ(ButtonName({1, 30}), L"");
  for (const wchar_t* notAButton :
       {L"自定义0", L"自定义24", L"常用音效按钮30", L"常用音效按钮0", L"常用音效按钮01", L"喊麦音效按钮24",
        L"其他音效按钮", L"自定义1x", L"选择夹1", L""}) {
    EXPECT_FALSE(SlotFromButtonName(notAButton).has_value()) << notAButton;
  }
}

TEST(Catalogue, SectionsAndFolders) {
  EXPECT_STREQ(Category(4).titleSection, L"自定义");  // no 标题 suffix on the custom page
  EXPECT_STREQ(Category(2).pathSection, L"喊麦路径");
  EXPECT_STREQ(Category(2).folder, L"气氛音效");
  EXPECT_EQ(CategoryFolder(L"C:\\板", 3), L"C:\\板\\音效\\其他音效");
  EXPECT_EQ(SpareFolder(L"C:\\板"), L"C:\\板\\音效\\备用音效");
  EXPECT_EQ(SlotKey(7), L"7");
}

TEST(Catalogue, CaptionIsTheNameUpToItsFirstDot) {
  EXPECT_EQ(CaptionFromFileName(L"C:\\音效\\常用音效\\掌声.mp3"), L"掌声");
  EXPECT_EQ(CaptionFromFileName(L"C:\\x\\a.b.wav"), L"a");
  EXPECT_EQ(CaptionFromFileName(L"C:\\x\\readme"), L"");
  EXPECT_EQ(CaptionFromFileName(L"C:\\x\\.hidden"), L"");
  EXPECT_EQ(CaptionFromFileName(L"C:\\dir.with.dots\\readme"), L"");  // dots in folders do not count
  EXPECT_EQ(CaptionFromFileName(L"掌声.mp3"), L"掌声");
  // Characters whose GBK form ends in 0x5C are not separators.
  EXPECT_EQ(CaptionFromFileName(L"D:\\乗\\淺乗.wav"), L"淺乗");
}

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
