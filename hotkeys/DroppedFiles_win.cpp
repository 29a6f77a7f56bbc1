#include "hotkeys/DroppedFiles.h"

#include "base/Paths.h"
#include "config/Settings.h"
#include "config/ConfigStore.h"
#include "config/Encoding.h"
#include "hotkeys/Assignment.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace velmora::hotkeys {

namespace {

// A drive's root comes with its backslash ("D:\"); the folder scan adds its own.
std::wstring WithoutTrailingBackslash(std::wstring path) {
  while (path.size() > 1 && path.back() == L'\\') path.pop_back();
  return path;
}

// The files of several dropped items, as the rebuild would list them were they one folder.
std::vector<config::WorkItem> FilesOfItems(const std::vector<std::wstring>& paths) {
  std::vector<std::pair<std::wstring, std::wstring>> named;  // name, full path
  for (const std::wstring& path : paths) {
    std::wstring full = WithoutTrailingBackslash(path);
    const size_t slash = full.rfind(L'\\');
    named.emplace_back(full.substr(slash == std::wstring::npos ? 0 : slash + 1), std::move(full));
  }
  std::stable_sort(named.begin(), named.end(),
                   [](const auto& a, const auto& b) { return config::NameComesFirst(a.first, b.first); });
  std::vector<config::WorkItem> files;
  for (const auto& [name, full] : named) {
    if (IsDirectory(full)) {
      std::vector<config::WorkItem> inside = config::ScanFolder(full);
      files.insert(files.end(), std::make_move_iterator(inside.begin()), std::make_move_iterator(inside.end()));
      continue;
    }
    std::wstring stored = config::StorablePath(full);
    if (!stored.empty()) files.push_back({std::move(stored), config::CaptionFromFileName(name)});
  }
  return files;
}

}  // namespace

DropPlan PlanDrop(const config::ConfigStore& store, config::EffectSlot slot, const std::vector<std::wstring>& paths) {
  DropPlan plan;
  if (!config::IsValidSlot(slot) || paths.empty()) return plan;
  std::vector<config::WorkItem> files;
  const bool single = paths.size() == 1 && !IsDirectory(paths[0]);
  if (single) {
    std::wstring stored = config::StorablePath(paths[0]);
    if (stored.empty()) {
      plan.refused = true;
      return plan;
    }
    files.push_back({std::move(stored), config::CaptionFromFileName(paths[0])});
  } else {
    files = FilesOfItems(paths);
  }
  return FillFromSlot(slot, std::move(files), single,
                      [&store](config::EffectSlot target) { return !config::ReadSlotPath(store, target).empty(); });
}

void ApplyDrop(const config::ConfigStore& store, const DropPlan& plan) {
  for (const SlotFill& fill : plan.fills) {
    config::WriteSlotCaption(store, fill.slot, fill.file.caption);
    config::WriteSlotPath(store, fill.slot, fill.file.path);
    // As 注册热键 with the name unchanged: the name's entry in 快捷键 now plays the new file.
    const std::wstring name = config::ReadSlotHotkey(store, fill.slot.category, fill.slot.index);
    if (!name.empty() && !config::IsNoHotkey(name)) StoreSlotHotkey(store, fill.slot, name, fill.file.path, name);
  }
}

}  // namespace velmora::hotkeys
