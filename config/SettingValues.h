// What the stored texts of zuboinf.ini mean: the rules for switches, levels, ports and codes,
// odd values included, in one place. Pure logic: no Windows calls. config/Settings.h reads and
// writes the sections with these rules.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velmora::config {

// A switch as stored: "真", "假", or anything else (missing, empty, odd), which the settings
// window shows with neither of its two choices made and the program treats as off.
enum class Switch { Unset, On, Off };
Switch ParseSwitch(std::wstring_view stored);
const wchar_t* SwitchText(bool on);
inline bool IsOn(Switch value) { return value == Switch::On; }

// The digit hotkeys: on the main keyboard ("大"), on the numeric keypad ("小"), or none.
enum class DigitKeys { Main, Keypad, None };
// What the settings window shows for the stored text: only "大" and "小" choose; missing or odd
// chooses neither (None).
DigitKeys ShownDigitKeys(const std::optional<std::wstring>& stored);
// What gets registered: missing is the main keyboard; an odd text registers no digits.
DigitKeys RegisteredDigitKeys(const std::optional<std::wstring>& stored);
const wchar_t* DigitKeysText(DigitKeys keys);  // "大" or "小"

// A slot's hotkey name, or a [快捷键] value, meaning "no hotkey" / "hotkey released".
inline constexpr wchar_t kNoHotkey[] = L"无";

// Volume levels, the board's, each route's and each slot's: 1 (muted) .. 100.
inline constexpr int kMinLevel = 1;
inline constexpr int kMaxLevel = 100;
// A stored route level: missing is 100, anything else read as a number and kept within 1..100.
int ParseRouteLevel(std::wstring_view stored);
// The board's stored volume: missing is 100 (a first start must not be silent); anything else
// is its number, which the volume control brings into range.
int ParseBoardVolume(std::wstring_view stored);

// How far the voice is lowered while an effect plays: 0 (off) .. 30 dB; odd values are brought
// into range.
inline constexpr int kMaxMicDuckingDb = 30;
int ParseDuckingDb(std::wstring_view stored);

// A stored device number: the program's lists number the default device 1 and endpoints from 2.
// Missing or out of range (0, text, past 1000) is the default device.
int ParseRouteDevice(std::wstring_view stored);

// The remote control's port: a whole number 1..65535, anything else (missing, text, 0, 70000)
// 39393.
inline constexpr int kDefaultPort = 39393;
int ParsePort(std::wstring_view stored);

// The remote control's access code: 16 random bytes, stored as 32 lowercase hex digits.
inline constexpr size_t kTokenBytes = 16;
bool IsWellFormedToken(std::string_view token);
std::string TokenFromBytes(const uint8_t (&bytes)[kTokenBytes]);

}  // namespace velmora::config
