// Which hotkey an effect slot has: the editor's choices, the conflict check, and what saving a
// slot writes.
#pragma once

#include "config/Catalogue.h"

#include <array>
#include <string>

namespace velmora::config {
class ConfigStore;
}

namespace velmora::hotkeys {

// The editor's hotkey combo box items, in order.
inline constexpr std::array<const wchar_t*, 22> kHotkeyList = {
    L"无", L"F1", L"F2", L"F3", L"F4", L"F5", L"F6", L"F7", L"F8", L"F9", L"F10",
    L"F11", L"1", L"2", L"3", L"4", L"5", L"6", L"7", L"8", L"9", L"0"};

// Shows the user that a hotkey is taken.
class ConflictReporter {
 public:
  virtual ~ConflictReporter() = default;
  virtual void HotkeyTaken(const std::wstring& name) = 0;
};

// "热键" + name + "已经被其它音效占用", caption "信息：", OK, no icon, no owner.
class MessageBoxConflictReporter final : public ConflictReporter {
 public:
  void HotkeyTaken(const std::wstring& name) override;
};

std::wstring ConflictMessage(const std::wstring& name);

// Run when a name is picked from the list for the slot being edited. True (after one message)
// when another slot already has the name: the editor then clears its combo box. "无" is never
// checked, and the edited slot's own current name does not count against it.
bool CheckHotkeyConflict(const config::ConfigStore& store, const std::wstring& selected, config::EffectSlot editing,
                         ConflictReporter& reporter);

// Saving a slot: N the combo's text, P the path box, Q the name the slot had when the editor
// opened. Empty N writes nothing; "无" releases Q; otherwise the slot gets N and N plays P at
// the slot's stored volume.
// When N replaces another name Q, Q is released too unless another slot still holds it.
void StoreSlotHotkey(const config::ConfigStore& store, config::EffectSlot slot, const std::wstring& name,
                     const std::wstring& path, const std::wstring& previousName);

// What the editor hands over when a slot is saved: the fields as they stand, and the hotkey
// name the slot had when the editor was filled.
struct SlotEdit {
  std::wstring caption;
  std::wstring path;
  std::wstring hotkey;
  std::wstring previousHotkey;
  int level = 100;  // the slot's own volume, 1..100
};

// Saving a slot: caption, path and level, then its hotkey (StoreSlotHotkey), which plays at
// the level just stored.
void SaveSlot(const config::ConfigStore& store, config::EffectSlot slot, const SlotEdit& edit);

}  // namespace velmora::hotkeys
