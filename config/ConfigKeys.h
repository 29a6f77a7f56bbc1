// Section names, key names and value texts of zuboinf.ini, spelled exactly as stored.
#pragma once

#include "config/SettingValues.h"  // the value texts: kNoHotkey

namespace velmora::config {

inline constexpr wchar_t kConfigFileName[] = L"zuboinf.ini";

// Switch values.
inline constexpr wchar_t kOn[] = L"真";
inline constexpr wchar_t kOff[] = L"假";


// Global hotkeys on or off.
inline constexpr wchar_t kHotkeySwitchSection[] = L"rj";
inline constexpr wchar_t kHotkeySwitchKey[] = L"热键开关";

// Rebuild at every start ("真") or only when the program moved ("假").
inline constexpr wchar_t kAutoRebuildSection[] = L"更新";
inline constexpr wchar_t kAutoRebuildKey[] = L"开关";

// Digit hotkeys on the main keyboard ("大") or the numeric keypad ("小").
inline constexpr wchar_t kKeyboardSection[] = L"键盘";
inline constexpr wchar_t kKeyboardKey[] = L"INFO";
inline constexpr wchar_t kKeyboardMain[] = L"大";
inline constexpr wchar_t kKeyboardKeypad[] = L"小";

// Output device number.
inline constexpr wchar_t kDeviceSection[] = L"id";
inline constexpr wchar_t kDeviceKey[] = L"id";
// The endpoint ID behind the stored device number (empty for the no-sound and default devices).
inline constexpr wchar_t kDeviceEndpointKey[] = L"endpoint";

// Volume level 1..100.
inline constexpr wchar_t kVolumeSection[] = L"idv";
inline constexpr wchar_t kVolumeKey[] = L"v";

// The monitor (监听): a second output that plays every effect with the output device.
// 开关 "真"/"假" (missing = off), id and endpoint as for the output device, v 1..100 (missing =
// 100). Older versions ignore the section.
inline constexpr wchar_t kMonitorSection[] = L"监听";
inline constexpr wchar_t kMonitorSwitchKey[] = L"开关";
inline constexpr wchar_t kMonitorDeviceKey[] = L"id";
inline constexpr wchar_t kMonitorEndpointKey[] = L"endpoint";
inline constexpr wchar_t kMonitorVolumeKey[] = L"v";
inline constexpr wchar_t kMicSection[] = L"麦克风";
inline constexpr wchar_t kMicSwitchKey[] = L"开关";
inline constexpr wchar_t kMicDeviceKey[] = L"id";
inline constexpr wchar_t kMicEndpointKey[] = L"endpoint";
inline constexpr wchar_t kMicVolumeKey[] = L"v";
inline constexpr wchar_t kMicToMonitorKey[] = L"监听";
inline constexpr wchar_t kMicDuckingKey[] = L"闪避";

// Even loudness (均衡): 开关 "真"/"假" (missing = off): every effect is played at a gain that
// brings it to one loudness.
inline constexpr wchar_t kLevelingSection[] = L"均衡";
inline constexpr wchar_t kLevelingSwitchKey[] = L"开关";

// The remote control (遥控): 开关 "真"/"假" (missing = off), 端口 1..65535 (missing or odd =
// 39393), 局域网 "真"/"假" (missing = off: 127.0.0.1 only), 令牌 32 lowercase hex digits, made
// when the control is first switched on.
inline constexpr wchar_t kRemoteSection[] = L"遥控";
inline constexpr wchar_t kRemoteSwitchKey[] = L"开关";
inline constexpr wchar_t kRemotePortKey[] = L"端口";
inline constexpr wchar_t kRemoteLanKey[] = L"局域网";
inline constexpr wchar_t kRemoteTokenKey[] = L"令牌";

// Hotkey name -> sound file path.
inline constexpr wchar_t kHotkeyPathSection[] = L"快捷键";
// Hotkey name -> the volume (1..100, missing = 100) of the slot the hotkey was assigned from,
// written beside the path. Older versions ignore it.
inline constexpr wchar_t kHotkeyVolumeSection[] = L"快捷键音量";

// Press again to stop (再按停止): 开关 "真"/"假" (missing = off: a press restarts the effect).
inline constexpr wchar_t kPressAgainSection[] = L"再按停止";
inline constexpr wchar_t kPressAgainKey[] = L"开关";

// Each category's slot sections, the slot's index as the key (config/Catalogue.h): the sound
// file, the caption, the hotkey name and the slot's own volume (1..100, missing = 100).
inline constexpr wchar_t kCommonPathSection[] = L"常用路径";
inline constexpr wchar_t kCommonTitleSection[] = L"常用标题";
inline constexpr wchar_t kCommonHotkeySection[] = L"常用快捷键if";
inline constexpr wchar_t kCommonVolumeSection[] = L"常用音量";
inline constexpr wchar_t kShoutPathSection[] = L"喊麦路径";
inline constexpr wchar_t kShoutTitleSection[] = L"喊麦标题";
inline constexpr wchar_t kShoutHotkeySection[] = L"喊麦快捷键if";
inline constexpr wchar_t kShoutVolumeSection[] = L"喊麦音量";
inline constexpr wchar_t kOtherPathSection[] = L"其他路径";
inline constexpr wchar_t kOtherTitleSection[] = L"其他标题";
inline constexpr wchar_t kOtherHotkeySection[] = L"其他快捷键if";
inline constexpr wchar_t kOtherVolumeSection[] = L"其他音量";
inline constexpr wchar_t kCustomPathSection[] = L"自定义路径";
inline constexpr wchar_t kCustomTitleSection[] = L"自定义";
inline constexpr wchar_t kCustomHotkeySection[] = L"自定义快捷键if";
inline constexpr wchar_t kCustomVolumeSection[] = L"自定义音量";

// HKEY_CURRENT_USER key whose default value holds where the program last ran.
inline constexpr wchar_t kLocationRegistryKey[] = L"Software\\tamble";

}  // namespace velmora::config
