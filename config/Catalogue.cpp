#include "config/Catalogue.h"

namespace velmora::config {

const CategoryInfo& Category(int number) {
  if (number < 1 || number > kCategoryCount) return kCategories[0];
  return kCategories[static_cast<size_t>(number - 1)];
}

bool IsValidSlot(EffectSlot slot) {
  return slot.category >= 1 && slot.category <= kCategoryCount && slot.index >= 1 &&
         slot.index <= Category(slot.category).slotCount;
}

std::wstring SlotKey(int index) { return std::to_wstring(index); }

std::wstring ButtonName(EffectSlot slot) {
  if (!IsValidSlot(slot)) return {};
  const CategoryInfo& c = Category(slot.category);
  if (slot.index == 1) return c.firstButton;
  return std::wstring(c.buttonPrefix) + std::to_wstring(slot.index - c.buttonOffset);
}

std::optional<EffectSlot> SlotFromButtonName(std::wstring_view name) {
  for (const CategoryInfo& c : kCategories) {
    if (name == c.firstButton) return EffectSlot{c.number, 1};
    const std::wstring_view prefix = c.buttonPrefix;
    if (name.size() <= prefix.size() || name.substr(0, prefix.size()) != prefix) continue;
    const std::wstring_view digits = name.substr(prefix.size());
    if (digits.size() > 3 || digits[0] == L'0') continue;
    int number = 0;
    bool allDigits = true;
    for (wchar_t ch : digits) {
      if (ch < L'0' || ch > L'9') {
        allDigits = false;
        break;
      }
      number = number * 10 + (ch - L'0');
    }
    if (!allDigits) continue;
    const EffectSlot slot{c.number, number + c.buttonOffset};
    // Index 1 has its own name; "常用音效按钮1" was matched above, "自定义0" is no button.
    if (slot.index >= 2 && IsValidSlot(slot)) return slot;
  }
  return std::nullopt;
}

int SlotOrdinal(EffectSlot slot) {
  int ordinal = 0;
  for (int c = 1; c < slot.category; ++c) ordinal += Category(c).slotCount;
  return ordinal + slot.index - 1;
}

EffectSlot SlotFromOrdinal(int ordinal) {
  for (const CategoryInfo& c : kCategories) {
    if (ordinal < c.slotCount) return EffectSlot{c.number, ordinal + 1};
    ordinal -= c.slotCount;
  }
  return {};
}

std::wstring CaptionFromFileName(std::wstring_view path) {
  const size_t slash = path.rfind(L'\\');
  const std::wstring_view name = slash == std::wstring_view::npos ? path : path.substr(slash + 1);
  const size_t dot = name.find(L'.');
  if (dot == std::wstring_view::npos) return {};
  return std::wstring(name.substr(0, dot));
}

std::wstring EffectsRoot(std::wstring_view programDirectory) {
  return std::wstring(programDirectory) + L"\\" + kEffectsFolder;
}

std::wstring CategoryFolder(std::wstring_view programDirectory, int category) {
  return EffectsRoot(programDirectory) + L"\\" + Category(category).folder;
}

std::wstring SpareFolder(std::wstring_view programDirectory) {
  return EffectsRoot(programDirectory) + L"\\" + kSpareFolder;
}

}  // namespace velmora::config
