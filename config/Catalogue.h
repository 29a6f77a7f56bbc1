// The four effect categories, their slots, folders, configuration sections and button names.
// Pure data and string rules: no Windows calls here.
#pragma once

#include "config/ConfigKeys.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace velmora::config {

struct CategoryInfo {
  int number;                    // 1..4
  const wchar_t* folder;         // under EffectsRoot
  const wchar_t* pathSection;    // slot key -> sound file
  const wchar_t* titleSection;   // slot key -> caption
  const wchar_t* hotkeySection;  // slot key -> hotkey name
  const wchar_t* volumeSection;  // slot key -> the slot's own volume, 1..100 (missing = 100)
  int slotCount;
  // Button names: firstButton for slot 1, then buttonPrefix + (index - buttonOffset).
  const wchar_t* firstButton;
  const wchar_t* buttonPrefix;
  int buttonOffset;
};

inline constexpr int kCategoryCount = 4;
inline constexpr int kSlotCount = 100;

inline constexpr std::array<CategoryInfo, kCategoryCount> kCategories{{
    {1, L"常用音效", kCommonPathSection, kCommonTitleSection, kCommonHotkeySection, kCommonVolumeSection, 29,
     L"常用音效按钮1", L"常用音效按钮", 0},
    {2, L"气氛音效", kShoutPathSection, kShoutTitleSection, kShoutHotkeySection, kShoutVolumeSection, 23,
     L"喊麦音效按钮1", L"喊麦音效按钮", 0},
    {3, L"其他音效", kOtherPathSection, kOtherTitleSection, kOtherHotkeySection, kOtherVolumeSection, 24,
     L"其他音效按钮1", L"其他音效按钮", 0},
    // The custom page's first button is plain "自定义"; slot i >= 2 is "自定义(i-1)".
    {4, L"自定义音效", kCustomPathSection, kCustomTitleSection, kCustomHotkeySection, kCustomVolumeSection, 24,
     L"自定义", L"自定义", 1},
}};

// What an empty custom-slot caption shows.
inline constexpr wchar_t kCustomPlaceholderCaption[] = L"自定义";

inline constexpr wchar_t kEffectsFolder[] = L"音效";
inline constexpr wchar_t kSpareFolder[] = L"备用音效";

// Category 1..4; anything else is a programming error and yields category 1's entry.
const CategoryInfo& Category(int number);

struct EffectSlot {
  int category = 0;  // 1..4
  int index = 0;     // 1..slot count of the category
  friend bool operator==(const EffectSlot&, const EffectSlot&) = default;
};

bool IsValidSlot(EffectSlot slot);

// The slot's key in its category's sections: the index as decimal text.
std::wstring SlotKey(int index);

// The button that shows the slot, and back; nullopt for a name that is no effect button.
std::wstring ButtonName(EffectSlot slot);
std::optional<EffectSlot> SlotFromButtonName(std::wstring_view name);

// Position 0..99 of a slot in board order (category 1 first), and back.
int SlotOrdinal(EffectSlot slot);
EffectSlot SlotFromOrdinal(int ordinal);

// Caption for a sound file: the file name up to its first dot; empty without a dot.
std::wstring CaptionFromFileName(std::wstring_view path);

// "<program>\音效", its category folders and the spare folder, without trailing backslash.
std::wstring EffectsRoot(std::wstring_view programDirectory);
std::wstring CategoryFolder(std::wstring_view programDirectory, int category);
std::wstring SpareFolder(std::wstring_view programDirectory);

}  // namespace velmora::config
