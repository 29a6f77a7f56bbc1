#include "hotkeys/DroppedFiles.h"

#include <utility>

namespace velmora::hotkeys {

DropPlan FillFromSlot(config::EffectSlot slot, std::vector<config::WorkItem> files, bool single,
                      const std::function<bool(config::EffectSlot)>& holdsFile) {
  DropPlan plan;
  if (!config::IsValidSlot(slot)) return plan;
  const config::CategoryInfo& c = config::Category(slot.category);
  for (size_t i = 0; i < files.size() && static_cast<size_t>(c.slotCount - slot.index) >= i; ++i) {
    const config::EffectSlot target{slot.category, slot.index + static_cast<int>(i)};
    if (holdsFile(target)) ++plan.replaced;
    plan.fills.push_back({target, std::move(files[i])});
  }
  // One file goes where it was aimed, as the editor saves without asking.
  plan.ask = !single && plan.replaced > 0;
  return plan;
}

std::wstring ReplaceQuestion(int count) { return L"替换" + std::to_wstring(count) + L"个音效？"; }

}  // namespace velmora::hotkeys
