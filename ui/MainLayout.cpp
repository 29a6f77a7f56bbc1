#include "ui/MainLayout.h"

namespace velmora::ui {

namespace {

constexpr Colours kOnBar{kWhite, kBarPurple};
constexpr Colours kOnHighlight{kWhite, kHighlight};

ControlDesign Design(MainControl id, const wchar_t* name, ControlKind kind, DesignRect rect, const wchar_t* caption,
                 Colours normal, Colours hover, Colours focus, TextAlign align = TextAlign::Centre,
                 bool dragsWindow = false, int fontHeight = 0) {
  return ControlDesign{static_cast<int>(id), name, kind, rect, caption, normal, hover, focus, fontHeight, align,
                     dragsWindow};
}

ControlDesign Flat(MainControl id, const wchar_t* name, DesignRect rect, const wchar_t* caption, Colour back) {
  const Colours colours{kWhite, back};
  return Design(id, name, ControlKind::ColourButton, rect, caption, colours, colours, colours);
}

ControlDesign Title(MainControl id, const wchar_t* name, DesignRect rect, const wchar_t* caption) {
  return Design(id, name, ControlKind::Label, rect, caption, kOnBar, kOnBar, kOnBar, TextAlign::Centre, true);
}

ControlDesign Link(MainControl id, const wchar_t* name, DesignRect rect, const wchar_t* caption) {
  return Design(id, name, ControlKind::HyperlinkLabel, rect, caption, kOnBar, kOnHighlight, kOnBar);
}

const std::array<ControlDesign, kMainControlCount> kControls = {
    Design(MainControl::Pages, L"选择夹1", ControlKind::PageContainer, {-1, 46, 900, 368}, L"",
         {kWhite, kBoardBackground}, {kWhite, kBoardBackground}, {kWhite, kBoardBackground}),
    Title(MainControl::TitleCommon, L"主播常用音效", {0, 0, 152, 50}, L"常用音效"),
    Title(MainControl::TitleAtmosphere, L"喊麦常用音效", {152, 0, 152, 50}, L"气氛音效"),
    Title(MainControl::TitleOther, L"其他常用音效", {304, 0, 152, 50}, L"其他音效"),
    Title(MainControl::TitleCustom, L"自定义音效", {456, 0, 151, 50}, L"自定义音效"),
    Design(MainControl::Minimise, L"最小化", ControlKind::ColourButton, {607, -10, 60, 60}, L"_", kOnBar, kOnHighlight,
         kOnBar, TextAlign::Centre, false, 19),
    Design(MainControl::Close, L"关闭", ControlKind::ColourButton, {667, 0, 60, 50}, L"×", kOnBar,
         {kWhite, Rgb(255, 0, 0)}, kOnBar, TextAlign::Centre, false, 21),
    Design(MainControl::Divider, L"分割线", ControlKind::Label, {-22, 413, 760, 1}, L"", kOnBar, kOnBar, kOnBar,
         TextAlign::Centre, true),
    Design(MainControl::BottomBar, L"底栏", ControlKind::Label, {0, 447, 727, 314}, L"", kOnBar, kOnBar, kOnBar,
         TextAlign::Centre, true),
    Design(MainControl::OutputSettings, L"输出设置", ControlKind::ColourButton, {20, 447, 130, 31}, L"音效输出通道设置",
         kOnBar, kOnHighlight, kOnHighlight),
    Link(MainControl::ContactLink, L"QQ链接", {168, 450, 185, 25}, L"联系我QQ"),
    Link(MainControl::WebsiteLink, L"网站链接", {338, 450, 185, 25}, L"Velmora官网"),
    Link(MainControl::ShopLink, L"网店链接", {519, 450, 216, 25}, L"淘宝店铺"),
    Flat(MainControl::VolumeUp, L"音量加", {578, 212, 60, 60}, L"音量 +", Rgb(0, 153, 0)),
    Flat(MainControl::VolumeDown, L"音量减", {648, 212, 60, 60}, L"音量 -", Rgb(255, 6, 74)),
    Flat(MainControl::Stop, L"停止播放", {578, 282, 130, 60}, L"停止播放", Rgb(255, 128, 0)),
    Design(MainControl::Marquee, L"温馨提示", ControlKind::TransparentLabel, {-310, 373, 310, 40},
         L"欢迎使用Zubo盒子音频音效器", {kWhite, kNoColour}, {kWhite, kNoColour}, {kWhite, kNoColour},
         TextAlign::Left),
};

const std::array<EffectButtonDesign, kEffectButtonCount> kButtons = {{
    {{1, 1}, {20, 26, 130, 130}, L"", Rgb(235, 171, 1)},
    {{1, 2}, {160, 26, 130, 60}, L"激烈掌声", Rgb(153, 0, 153)},
    {{1, 3}, {300, 26, 60, 60}, L"不错呦", Rgb(57, 30, 123)},
    {{1, 4}, {370, 26, 60, 60}, L"鄙视", Rgb(84, 57, 234)},
    {{1, 5}, {440, 26, 60, 60}, L"手枪\r\n上膛", Rgb(185, 168, 242)},
    {{1, 6}, {510, 26, 60, 60}, L"手枪声", Rgb(55, 55, 255)},
    {{1, 7}, {579, 26, 60, 60}, L"鞭打", Rgb(117, 85, 196)},
    {{1, 8}, {649, 26, 60, 60}, L"扇耳光", Rgb(0, 136, 255)},
    {{1, 9}, {160, 96, 60, 60}, L"欢呼掌声", Rgb(144, 0, 255)},
    {{1, 10}, {230, 96, 60, 60}, L"轻微掌声", Rgb(117, 85, 196)},
    {{1, 11}, {300, 96, 130, 60}, L"惊呼声", Rgb(128, 128, 255)},
    {{1, 12}, {440, 96, 60, 60}, L"机枪\r\n扫射", Rgb(88, 87, 85)},
    {{1, 13}, {510, 96, 60, 60}, L"机关\r\n枪声", Rgb(88, 48, 224)},
    {{1, 14}, {579, 96, 60, 60}, L"乌鸦叫", Rgb(128, 0, 128)},
    {{1, 15}, {649, 96, 60, 60}, L"恐怖\r\n笑声", Rgb(57, 30, 123)},
    {{1, 16}, {20, 166, 130, 60}, L"观众笑", Rgb(128, 128, 255)},
    {{1, 17}, {160, 166, 60, 60}, L"弹簧", Rgb(96, 96, 96)},
    {{1, 18}, {230, 166, 60, 60}, L"幽默1", Rgb(0, 136, 255)},
    {{1, 19}, {300, 166, 60, 60}, L"男麦吻", Rgb(144, 0, 255)},
    {{1, 20}, {370, 166, 60, 60}, L"女麦吻", Rgb(128, 0, 128)},
    {{1, 21}, {440, 166, 130, 60}, L"可惜不是你", Rgb(144, 0, 255)},
    {{1, 22}, {20, 236, 60, 60}, L"拍手笑", Rgb(88, 48, 224)},
    {{1, 23}, {90, 236, 60, 60}, L"闷笑", Rgb(0, 136, 255)},
    {{1, 24}, {160, 236, 60, 60}, L"幽默2", Rgb(55, 55, 255)},
    {{1, 25}, {230, 236, 60, 60}, L"幽默3", Rgb(57, 30, 123)},
    {{1, 26}, {300, 236, 60, 60}, L"男出场", Rgb(125, 190, 255)},
    {{1, 27}, {370, 236, 60, 60}, L"女出场", Rgb(255, 128, 192)},
    {{1, 28}, {440, 236, 60, 60}, L"亮灯", Rgb(0, 87, 0)},
    {{1, 29}, {510, 236, 60, 60}, L"灭灯", Rgb(128, 0, 0)},
    {{2, 1}, {20, 26, 130, 60}, L"舒缓开场音乐", Rgb(88, 48, 224)},
    {{2, 2}, {160, 26, 60, 60}, L"掌声\r\n呐喊", Rgb(144, 0, 255)},
    {{2, 3}, {230, 26, 60, 60}, L"打拳声", Rgb(0, 136, 255)},
    {{2, 4}, {300, 26, 60, 60}, L"教学鼓", Rgb(187, 27, 70)},
    {{2, 5}, {370, 26, 60, 60}, L"英文\r\n正数", Rgb(0, 96, 192)},
    {{2, 6}, {440, 26, 130, 130}, L"激情开场", Rgb(235, 171, 1)},
    {{2, 7}, {580, 26, 130, 60}, L"小黄人", Rgb(128, 0, 0)},
    {{2, 8}, {20, 96, 60, 60}, L"豪迈开场", Rgb(153, 0, 153)},
    {{2, 9}, {90, 96, 60, 60}, L"节奏\r\n开场", Rgb(64, 128, 128)},
    {{2, 10}, {160, 96, 60, 60}, L"蜡笔\r\n小新", Rgb(57, 30, 123)},
    {{2, 11}, {230, 96, 60, 60}, L"报警110", Rgb(128, 128, 255)},
    {{2, 12}, {300, 96, 130, 60}, L"read go开始", Rgb(255, 128, 192)},
    {{2, 13}, {580, 96, 130, 60}, L"曾小贤", Rgb(88, 48, 224)},
    {{2, 14}, {20, 166, 130, 130}, L"穿越火线\r\n僵尸来了!", Rgb(115, 155, 250)},
    {{2, 15}, {160, 166, 130, 60}, L"正常心跳", Rgb(128, 128, 128)},
    {{2, 16}, {300, 166, 60, 60}, L"手机\r\n铃声", Rgb(128, 0, 128)},
    {{2, 17}, {370, 166, 60, 60}, L"吃东西", Rgb(0, 96, 192)},
    {{2, 18}, {440, 166, 130, 60}, L"警铃", Rgb(144, 0, 255)},
    {{2, 19}, {160, 236, 130, 60}, L"鞭炮声", Rgb(88, 48, 224)},
    {{2, 20}, {300, 236, 60, 60}, L"438列车", Rgb(55, 55, 255)},
    {{2, 21}, {370, 236, 60, 60}, L"直播\r\n开始", Rgb(57, 30, 123)},
    {{2, 22}, {440, 236, 60, 60}, L"警车\r\n开道", Rgb(88, 48, 224)},
    {{2, 23}, {510, 236, 60, 60}, L"警车\r\n鸣笛", Rgb(96, 96, 96)},
    {{3, 1}, {20, 27, 60, 60}, L"鼓声", Rgb(144, 0, 255)},
    {{3, 2}, {90, 27, 60, 60}, L"刀剑\r\n出鞘", Rgb(128, 127, 254)},
    {{3, 3}, {160, 27, 130, 130}, L"砸玻璃", Rgb(128, 0, 128)},
    {{3, 4}, {300, 27, 60, 60}, L"下雨声", Rgb(144, 0, 255)},
    {{3, 5}, {370, 27, 60, 60}, L"古风开场", Rgb(128, 127, 254)},
    {{3, 6}, {440, 27, 130, 130}, L"梁山伯与祝英台", Rgb(128, 0, 0)},
    {{3, 7}, {579, 27, 60, 60}, L"千年\r\n等一回", Rgb(144, 0, 255)},
    {{3, 8}, {649, 27, 60, 60}, L"伤不起", Rgb(128, 127, 254)},
    {{3, 9}, {20, 97, 60, 60}, L"救护车", Rgb(57, 30, 123)},
    {{3, 10}, {90, 97, 60, 60}, L"婴儿\r\n笑声", Rgb(190, 102, 255)},
    {{3, 11}, {300, 97, 60, 60}, L"键盘声", Rgb(57, 30, 123)},
    {{3, 12}, {370, 97, 60, 60}, L"敲门声", Rgb(190, 102, 255)},
    {{3, 13}, {579, 97, 60, 60}, L"淋浴", Rgb(57, 30, 123)},
    {{3, 14}, {649, 97, 60, 60}, L"哈利\r\n路亚", Rgb(190, 102, 255)},
    {{3, 15}, {20, 167, 130, 130}, L"公交车报站", Rgb(255, 98, 176)},
    {{3, 16}, {160, 167, 60, 60}, L"新闻\r\n片头", Rgb(144, 0, 255)},
    {{3, 17}, {230, 167, 60, 60}, L"新闻\r\n联播", Rgb(128, 127, 254)},
    {{3, 18}, {300, 167, 130, 130}, L"飞机起飞", Rgb(206, 0, 103)},
    {{3, 19}, {440, 167, 60, 60}, L"众人\r\n小笑", Rgb(144, 0, 255)},
    {{3, 20}, {510, 167, 60, 60}, L"斗地主", Rgb(128, 127, 254)},
    {{3, 21}, {160, 237, 60, 60}, L"直升\r\n飞机", Rgb(57, 30, 123)},
    {{3, 22}, {230, 237, 60, 60}, L"哦哦哦", Rgb(192, 102, 255)},
    {{3, 23}, {440, 236, 60, 60}, L"紧张\r\n气氛", Rgb(57, 30, 123)},
    {{3, 24}, {510, 237, 60, 60}, L"尖叫", Rgb(190, 102, 255)},
    {{4, 1}, {20, 27, 60, 60}, L"自定义", Rgb(144, 0, 255)},
    {{4, 2}, {90, 27, 130, 60}, L"自定义", Rgb(128, 128, 128)},
    {{4, 3}, {230, 27, 60, 60}, L"自定义", Rgb(128, 0, 128)},
    {{4, 4}, {300, 27, 60, 60}, L"自定义", Rgb(144, 0, 255)},
    {{4, 5}, {370, 27, 60, 60}, L"自定义", Rgb(128, 127, 254)},
    {{4, 6}, {440, 27, 130, 60}, L"自定义", Rgb(128, 0, 0)},
    {{4, 7}, {579, 27, 60, 60}, L"自定义", Rgb(144, 0, 255)},
    {{4, 8}, {649, 27, 60, 60}, L"自定义", Rgb(128, 127, 254)},
    {{4, 9}, {20, 97, 60, 60}, L"自定义", Rgb(57, 30, 123)},
    {{4, 10}, {90, 97, 60, 60}, L"自定义", Rgb(190, 102, 255)},
    {{4, 11}, {160, 97, 130, 60}, L"自定义", Rgb(0, 128, 0)},
    {{4, 12}, {300, 97, 60, 60}, L"自定义", Rgb(57, 30, 123)},
    {{4, 13}, {370, 97, 130, 60}, L"自定义", Rgb(0, 96, 192)},
    {{4, 14}, {510, 97, 60, 60}, L"自定义", Rgb(128, 127, 254)},
    {{4, 15}, {579, 97, 60, 60}, L"自定义", Rgb(255, 128, 0)},
    {{4, 16}, {649, 97, 60, 60}, L"自定义", Rgb(190, 102, 255)},
    {{4, 17}, {20, 167, 130, 130}, L"自定义", Rgb(128, 128, 0)},
    {{4, 18}, {160, 167, 60, 60}, L"自定义", Rgb(144, 0, 255)},
    {{4, 19}, {230, 167, 60, 60}, L"自定义", Rgb(192, 102, 255)},
    {{4, 20}, {160, 237, 130, 60}, L"自定义", Rgb(57, 30, 123)},
    {{4, 21}, {300, 167, 130, 130}, L"自定义", Rgb(206, 0, 103)},
    {{4, 22}, {440, 167, 60, 60}, L"自定义", Rgb(144, 0, 255)},
    {{4, 23}, {510, 167, 60, 60}, L"自定义", Rgb(190, 102, 255)},
    {{4, 24}, {440, 236, 130, 60}, L"自定义", Rgb(255, 0, 0)},
}};

}  // namespace

const std::array<ControlDesign, kMainControlCount>& MainControls() { return kControls; }

const ControlDesign& MainControlDesign(MainControl id) { return kControls[static_cast<size_t>(id)]; }

const std::array<EffectButtonDesign, kEffectButtonCount>& EffectButtons() { return kButtons; }

MainControl TitleForPage(int page) {
  static constexpr MainControl kTitles[] = {MainControl::TitleCommon, MainControl::TitleAtmosphere,
                                            MainControl::TitleOther, MainControl::TitleCustom};
  return page >= 0 && page < 4 ? kTitles[page] : MainControl::TitleCommon;
}

int PageForTitle(MainControl title) {
  switch (title) {
    case MainControl::TitleCommon:
      return 0;
    case MainControl::TitleAtmosphere:
      return 1;
    case MainControl::TitleOther:
      return 2;
    case MainControl::TitleCustom:
      return 3;
    default:
      return -1;
  }
}

}  // namespace velmora::ui
