// The fixed table of global hotkeys, in registration order. Pure data: no Windows headers.
#pragma once

#include "config/SettingValues.h"

#include <string>
#include <vector>

namespace velmora::hotkeys {

inline constexpr int kFirstIdentifier = 33000;  // the process's counter starts here
inline constexpr unsigned kModAlt = 0x0001;      // MOD_ALT

struct HotkeyRow {
  std::wstring name;  // the key of section 快捷键
  unsigned modifiers;
  unsigned virtualKey;
  bool stops;  // Alt+A stops playback
};

// F1..F12, the digits 1..9, 0 (on the main keyboard, on the keypad, or none), Alt+A..Alt+Z.
std::vector<HotkeyRow> HotkeyRows(config::DigitKeys digits);

// The key as the user presses it: "F5", "1", "Alt+Q"; a keypad digit "小键盘1".
std::wstring KeyText(const HotkeyRow& row);

// The names the host ever reads.
bool IsHostHotkeyName(const std::wstring& name);

}  // namespace velmora::hotkeys
