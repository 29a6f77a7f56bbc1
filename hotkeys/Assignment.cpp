#include "hotkeys/Assignment.h"

#include "config/Settings.h"
#include "config/SlotVolume.h"

#include <windows.h>

namespace velmora::hotkeys {

namespace {

// Slot keys "1".."150" are read in every slot-hotkey section, as many as a section can hold
// after a rebuild of a large folder.
constexpr int kSlotKeysChecked = 150;

bool IsName(const std::wstring& name) { return !name.empty() && !config::IsNoHotkey(name); }

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
      const std::wstring taken = config::ReadSlotHotkey(store, c.number, i);
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
  if (config::IsNoHotkey(selected)) return false;
  if (!HeldByAnotherSlot(store, selected, editing)) return false;
  reporter.HotkeyTaken(selected);
  return true;
}

void StoreSlotHotkey(const config::ConfigStore& store, config::EffectSlot slot, const std::wstring& name,
                     const std::wstring& path, const std::wstring& previousName) {
  if (name.empty()) return;
  if (config::IsNoHotkey(name)) {
    config::WriteSlotHotkey(store, slot, name);
    if (IsName(previousName)) config::WriteHotkeyFile(store, previousName, name);
    return;
  }
  config::WriteSlotHotkey(store, slot, name);
  config::WriteHotkeyFile(store, name, path);
  // The hotkey plays at the volume the slot has now, as it plays the slot's file.
  config::WriteHotkeyLevel(store, name, config::ReadSlotLevel(store, slot));
  // The old name would otherwise keep playing this slot's old file.
  if (IsName(previousName) && !SameName(previousName, name) && !HeldByAnotherSlot(store, previousName, slot))
    config::WriteHotkeyFile(store, previousName, config::kNoHotkey);
}

void SaveSlot(const config::ConfigStore& store, config::EffectSlot slot, const SlotEdit& edit) {
  config::WriteSlotCaption(store, slot, edit.caption);
  config::WriteSlotPath(store, slot, edit.path);
  config::WriteSlotLevel(store, slot, edit.level);  // before the hotkey, which plays at it
  StoreSlotHotkey(store, slot, edit.hotkey, edit.path, edit.previousHotkey);
}

}  // namespace velmora::hotkeys
