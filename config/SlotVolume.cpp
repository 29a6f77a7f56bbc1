#include "config/SlotVolume.h"

#include "config/ConfigKeys.h"
#include "config/ConfigStore.h"

#include <algorithm>

namespace velmora::config {

namespace {

constexpr int kMinSlotLevel = 1;

}  // namespace

int ParseSlotLevel(std::wstring_view stored) {
  const size_t first = stored.find_first_not_of(L' ');
  if (first == std::wstring_view::npos) return kFullSlotLevel;
  const std::wstring_view digits = stored.substr(first, stored.find_last_not_of(L' ') - first + 1);
  if (digits.size() > 9 || digits.find_first_not_of(L"0123456789") != std::wstring_view::npos) return kFullSlotLevel;
  return std::clamp(static_cast<int>(ParseConfigNumber(digits)), kMinSlotLevel, kFullSlotLevel);
}

int ReadSlotLevel(const ConfigStore& store, EffectSlot slot) {
  return ParseSlotLevel(store.ReadValue(Category(slot.category).volumeSection, SlotKey(slot.index)));
}

void WriteSlotLevel(const ConfigStore& store, EffectSlot slot, int level) {
  store.WriteValue(Category(slot.category).volumeSection, SlotKey(slot.index),
                   ConfigNumberText(std::clamp(level, kMinSlotLevel, kFullSlotLevel)));
}

int ReadHotkeyLevel(const ConfigStore& store, const std::wstring& name) {
  return ParseSlotLevel(store.ReadValue(kHotkeyVolumeSection, name));
}

void WriteHotkeyLevel(const ConfigStore& store, const std::wstring& name, int level) {
  store.WriteValue(kHotkeyVolumeSection, name, ConfigNumberText(std::clamp(level, kMinSlotLevel, kFullSlotLevel)));
}

}  // namespace velmora::config
