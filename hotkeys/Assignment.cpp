#include "hotkeys/Assignment.h"

#include "config/ConfigKeys.h"
#include "config/ConfigStore.h"
#include "config/SlotVolume.h"

#include <windows.h>

namespace velmora::hotkeys {

namespace {

// Slot keys "1".."150" are read in every slot-hotkey section, as many as a section can hold
// after a rebuild of a large folder.
constexpr int kSlotKeysChecked = 150;

bool IsName(const std::wstring& name) { return !name.empty() && name != config::kNoHotkey; }

// Hotkey names are keys of 快捷键, and the profile functions find keys whatever their case.
bool SameName(const std::wstring& a, const std::wstring& b) {
  return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                TRUE) == CSTR_EQUAL;
}

// Does any slot other than `except` have `name`?
bool HeldByAnotherSlot(const config::ConfigStore& store, const std::wstring& name, config::EffectSlot except) {
  for (const config::CategoryInfo& c : config::kCategories) {
    for (int i = 1; i <= kSlotKeysChecked; ++i) {
      if (c.number == except.category && i == except.index) continue;
      const std::wstring taken = store.ReadValue(c.hotkeySection, config::SlotKey(i));
      if (!taken.empty() && SameName(taken, name)) return true;
    }
  }
  return false;
}

}  // namespace

std::wstring ConflictMessage(const std::wstring& name) { return L"热键" + name + L"已经被其它音效占用"; }

void MessageBoxConflictReporter::HotkeyTaken(const std::wstring& name) {
  // Modal over the window the user picked the name in (the editor), so it cannot be closed, and
  // its handler pulled from under the box, while the box is open.
  ::MessageBoxW(::GetActiveWindow(), ConflictMessage(name).c_str(), L"信息：", MB_OK);
}

bool CheckHotkeyConflict(const config::ConfigStore& store, const std::wstring& selected, config::EffectSlot editing,
                         ConflictReporter& reporter) {
  if (selected == config::kNoHotkey) return false;
  if (!HeldByAnotherSlot(store, selected, editing)) return false;
  reporter.HotkeyTaken(selected);
  return true;
}

void StoreSlotHotkey(const config::ConfigStore& store, config::EffectSlot slot, const std::wstring& name,
                     const std::wstring& path, const std::wstring& previousName) {
  if (name.empty()) return;
  const config::CategoryInfo& c = config::Category(slot.category);
  const std::wstring key = config::SlotKey(slot.index);
  if (name == config::kNoHotkey) {
    store.WriteValue(c.hotkeySection, key, config::kNoHotkey);
    if (IsName(previousName)) store.WriteValue(config::kHotkeyPathSection, previousName, config::kNoHotkey);
    return;
  }
  store.WriteValue(c.hotkeySection, key, name);
  store.WriteValue(config::kHotkeyPathSection, name, path);
  // The hotkey plays at the volume the slot has now, as it plays the slot's file.
  config::WriteHotkeyLevel(store, name, config::ReadSlotLevel(store, slot));
  // The old name would otherwise keep playing this slot's old file.
  if (IsName(previousName) && !SameName(previousName, name) && !HeldByAnotherSlot(store, previousName, slot))
    store.WriteValue(config::kHotkeyPathSection, previousName, config::kNoHotkey);
}

}  // namespace velmora::hotkeys
