// The configuration's pure parts: the catalogue of categories, slots and button names, the
// numeric reading of stored values, and when a section may be written in one go. The file itself,
// through the profile functions, is tested under Wine (tests/config_store_test.cpp).
#include "config/Catalogue.h"
#include "config/ProfileText.h"
#include "config/SettingValues.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

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

TEST(ConfigNumbers, ParseLikeTheStoredTextMeans) {
  struct Case {
    const wchar_t* text;
    long value;
  };
  const Case cases[] = {{L"1", 1},   {L"90", 90},     {L"250", 250}, {L"", 0},       {L"abc", 0},
                        {L"-3", -3}, {L" 12abc", 12}, {L"3.9", 3},   {L"+7", 7},     {L"真", 0},
                        {L"007", 7}, {L"99999999999999999999", 2147483647L},
                        {L"-2147483648", -2147483647L - 1}, {L"-99999999999", -2147483647L - 1}};
  for (const Case& c : cases) EXPECT_EQ(ParseConfigNumber(c.text), c.value) << c.text;
  EXPECT_EQ(ConfigNumberText(90), L"90");
}

TEST(SettingValues, OddValuesAsTheProgramHasAlwaysReadThem) {
  using namespace velmora::config;
  EXPECT_EQ(ParseSwitch(L"真"), Switch::On);
  EXPECT_EQ(ParseSwitch(L"假"), Switch::Off);
  for (const wchar_t* odd : {L"", L"是", L"真 ", L"1"}) EXPECT_EQ(ParseSwitch(odd), Switch::Unset);
  EXPECT_EQ(ParseRouteLevel(L""), 100);  // missing: full
  EXPECT_EQ(ParseRouteLevel(L"0"), 1);
  EXPECT_EQ(ParseRouteLevel(L"250"), 100);
  EXPECT_EQ(ParseRouteLevel(L"abc"), 1);  // present but no number reads as 0, kept in range
  EXPECT_EQ(ParseBoardVolume(L""), 100);
  EXPECT_EQ(ParseBoardVolume(L"250"), 250);  // brought into range by the volume control
  EXPECT_EQ(ParseDuckingDb(L"45"), 30);
  EXPECT_EQ(ParseDuckingDb(L"-3"), 0);
  EXPECT_EQ(ParseRouteDevice(L""), 1);
  EXPECT_EQ(ParseRouteDevice(L"1001"), 1);
  EXPECT_EQ(ParseRouteDevice(L"3"), 3);
}

TEST(ProfileText, PlainSectionsOnly) {
  EXPECT_TRUE(SectionIsPlain("", "s"));
  EXPECT_TRUE(SectionIsPlain("[a]\r\n;c\r\njunk\r\n[s]\r\n1=x\r\n\r\n 2 = y \r\n[b]\r\njunk\r\n", "s"));
  EXPECT_TRUE(SectionIsPlain("[S]\n1=x\n", "s"));
  EXPECT_FALSE(SectionIsPlain("[s]\r\n;c\r\n", "s"));
  EXPECT_FALSE(SectionIsPlain("[ S ]\r\njunk\r\n", "s"));
  EXPECT_FALSE(SectionIsPlain("[s]\r\n=v\r\n", "s"));
  EXPECT_FALSE(SectionIsPlain("[s]\r\n1=x\r\n[s]\r\n2=y\r\n", "s"));
  EXPECT_FALSE(SectionIsPlain("[s]\r\n[broken\r\n", "s"));
  EXPECT_FALSE(SectionIsPlain("\xFF\xFE[\0s\0]\0", "s"));
}
