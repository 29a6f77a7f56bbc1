#include "hotkeys/HotkeyTable.h"

namespace velmora::hotkeys {

std::vector<HotkeyRow> HotkeyRows(config::DigitKeys digits) {
  std::vector<HotkeyRow> rows;
  for (unsigned i = 0; i < 12; ++i) rows.push_back({L"F" + std::to_wstring(i + 1), 0, 0x70 + i, false});
  const bool keypad = digits == config::DigitKeys::Keypad;
  if (digits != config::DigitKeys::None) {
    // 1..9 then 0; keypad codes 0x60.., main-keyboard codes 0x30..
    for (unsigned digit : {1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 9u, 0u})
      rows.push_back({std::to_wstring(digit), 0, (keypad ? 0x60u : 0x30u) + digit, false});
  }
  for (wchar_t letter = L'A'; letter <= L'Z'; ++letter)
    rows.push_back({std::wstring(1, letter), kModAlt, static_cast<unsigned>(letter), letter == L'A'});
  return rows;
}

std::wstring KeyText(const HotkeyRow& row) {
  if (row.modifiers & kModAlt) return L"Alt+" + row.name;
  if (row.virtualKey >= 0x60 && row.virtualKey <= 0x69) return L"小键盘" + row.name;
  return row.name;
}

bool IsHostHotkeyName(const std::wstring& name) {
  for (const HotkeyRow& row : HotkeyRows(config::DigitKeys::Main)) {
    if (row.name == name && !row.stops) return true;
  }
  return false;
}

}  // namespace velmora::hotkeys
