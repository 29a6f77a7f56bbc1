#include "config/Captions.h"

#include "config/ConfigStore.h"

namespace velmora::config {

void PlainCaptionHolder::SetCaption(EffectSlot slot, const std::wstring& caption) {
  if (IsValidSlot(slot)) captions_[static_cast<size_t>(SlotOrdinal(slot))] = caption;
}

std::wstring PlainCaptionHolder::Caption(EffectSlot slot) const {
  return IsValidSlot(slot) ? captions_[static_cast<size_t>(SlotOrdinal(slot))] : std::wstring();
}

void LoadCaptions(const ConfigStore& store, CaptionHolder& holder) {
  for (const CategoryInfo& c : kCategories) {
    for (int i = 1; i <= c.slotCount; ++i) {
      holder.SetCaption({c.number, i}, store.ReadValue(c.titleSection, SlotKey(i)));
    }
  }
  const CategoryInfo& custom = Category(4);
  for (int i = 1; i <= custom.slotCount; ++i) {
    if (holder.Caption({custom.number, i}).empty()) holder.SetCaption({custom.number, i}, kCustomPlaceholderCaption);
  }
}

}  // namespace velmora::config
