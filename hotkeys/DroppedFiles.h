// Sound files dropped on an effect button: which slot gets which file, and what is written. The
// board asks the user before a drop of several files replaces any; everything else is here, so
// it runs without a window. Filling the page is pure (DroppedFiles.cpp); reading the dropped items
// and the configuration is Win32 glue (DroppedFiles_win.cpp).
#pragma once

#include "config/Catalogue.h"
#include "config/Rebuild.h"

#include <functional>
#include <string>
#include <vector>

namespace velmora::config {
class ConfigStore;
}

namespace velmora::hotkeys {

struct SlotFill {
  config::EffectSlot slot;
  config::WorkItem file;  // the path as stored, the caption from the real name
};

struct DropPlan {
  std::vector<SlotFill> fills;  // in slot order, from the slot dropped on
  int replaced = 0;             // how many of those slots hold a file now
  bool ask = false;             // several files replace some: the user confirms first
  bool refused = false;         // one file the configuration cannot name, refused as the editor does
};

// One file is taken as the editor's 修改音效 takes it: any file, stored in a form the
// configuration holds (its short path when GBK cannot write its name), refused when it has
// neither. Several files, or folders, are taken as the rebuild takes a category folder: a
// folder's own files (not its sub-folders), files the configuration cannot name left out,
// dropped items in the rebuild's name order. They fill the page from `slot` on; what does not fit
// is ignored. Only slots of the page are ever touched.
DropPlan PlanDrop(const config::ConfigStore& store, config::EffectSlot slot, const std::vector<std::wstring>& paths);

// PlanDrop's pure part, once the dropped items are resolved to `files` (`single`: one file aimed
// at the valid slot `slot`): they fill the page from `slot` on, and `holdsFile` tells which slots
// hold a file now.
DropPlan FillFromSlot(config::EffectSlot slot, std::vector<config::WorkItem> files, bool single,
                      const std::function<bool(config::EffectSlot)>& holdsFile);

// Writes each fill as the editor's 注册热键 saves a slot: caption and path; the hotkey name stays,
// and a slot that has one (not "无") has that hotkey play the new file.
void ApplyDrop(const config::ConfigStore& store, const DropPlan& plan);

// "替换" + count + "个音效？"
std::wstring ReplaceQuestion(int count);

}  // namespace velmora::hotkeys
