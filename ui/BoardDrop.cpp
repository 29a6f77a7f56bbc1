#include "ui/BoardDrop.h"

#include "hotkeys/DroppedFiles.h"
#include "ui/EditorWindow.h"

namespace velmora::ui {

bool DropFilesOnSlot(const config::ConfigStore& store, config::CaptionHolder& board, EditorHost& editors, HWND owner,
                     config::EffectSlot slot, const std::vector<std::wstring>& paths) {
  const hotkeys::DropPlan plan = hotkeys::PlanDrop(store, slot, paths);
  if (plan.refused) {
    ::MessageBeep(MB_ICONWARNING);  // as the editor refuses a file the configuration cannot name
    return false;
  }
  if (plan.fills.empty()) return false;
  if (plan.ask && ::MessageBoxW(owner, hotkeys::ReplaceQuestion(plan.replaced).c_str(), L"信息：", MB_YESNO) != IDYES)
    return false;
  hotkeys::ApplyDrop(store, plan);
  std::vector<config::EffectSlot> slots;
  for (const hotkeys::SlotFill& fill : plan.fills) slots.push_back(fill.slot);
  editors.SlotsRewritten(slots);
  config::LoadCaptions(store, board);
  return true;
}

}  // namespace velmora::ui
