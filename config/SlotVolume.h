// Each effect's own volume: the slot's level in its category's volume section, and the level a
// hotkey plays at (the level of the slot it was assigned from, kept beside its path). A click
// plays at the board's level times the slot's, a hotkey at its slot's level.
#pragma once

#include "config/Catalogue.h"

#include <string>
#include <string_view>

namespace velmora::config {

class ConfigStore;

inline constexpr int kFullSlotLevel = 100;

// A stored level: 1..100 as it stands (a larger or smaller number is brought into range);
// missing or anything that is not a whole number is 100, so a damaged value never silences an
// effect.
int ParseSlotLevel(std::wstring_view stored);

int ReadSlotLevel(const ConfigStore& store, EffectSlot slot);
void WriteSlotLevel(const ConfigStore& store, EffectSlot slot, int level);
int ReadHotkeyLevel(const ConfigStore& store, const std::wstring& name);
void WriteHotkeyLevel(const ConfigStore& store, const std::wstring& name, int level);

}  // namespace velmora::config
