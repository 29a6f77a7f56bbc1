// libFuzzer target for the planning of files dropped on an effect button (built natively by
// scripts/fuzz.sh): the pure part, once the dropped items are resolved to files, with any slot of
// the board, any list of files and any set of slots that hold a file now.
//
// The input: a byte each for the category and the slot, one for a single file, thirteen for the
// slots that hold a file (a bit each, in board order); the rest is the files, one a line, each
// path and caption split at a tab. What must hold: the files fill the page in order from the slot
// dropped on and never past its end, each slot asked about once, the count of those replaced is
// right, and only a drop of several files that replaces some asks first.
#include "config/Catalogue.h"
#include "hotkeys/DroppedFiles.h"
#include "tests/fuzz/FuzzCheck.h"

#include <algorithm>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace velmora;
using audio::fuzz::Require;

std::wstring Widen(std::string_view bytes) {
  std::wstring text;
  for (const char c : bytes) text.push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

VELMORA_FUZZ_TARGET(drop) {
  const int category = 1 + static_cast<int>(audio::fuzz::TakeBytes(data, size, 1) % config::kCategoryCount);
  const int slotCount = config::Category(category).slotCount;
  const config::EffectSlot slot{category, 1 + static_cast<int>(audio::fuzz::TakeBytes(data, size, 1)) % slotCount};
  const bool singleAsked = audio::fuzz::TakeBytes(data, size, 1) & 1;
  std::bitset<config::kSlotCount> holding;
  for (size_t i = 0; i < config::kSlotCount; i += 8) {
    const uint32_t bits = audio::fuzz::TakeBytes(data, size, 1);
    for (size_t b = 0; b < 8 && i + b < config::kSlotCount; ++b) holding[i + b] = (bits >> b) & 1;
  }

  std::vector<config::WorkItem> files;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (size_t start = 0; start < text.size();) {
    const size_t end = std::min(text.find('\n', start), text.size());
    const std::string_view line = text.substr(start, end - start);
    const size_t tab = line.find('\t');
    files.push_back({Widen(line.substr(0, tab)), tab == std::string_view::npos ? L"" : Widen(line.substr(tab + 1))});
    start = end + 1;
  }
  // One file aimed at a slot is the only single drop there is.
  const bool single = singleAsked && files.size() == 1;

  std::vector<config::EffectSlot> asked;
  const hotkeys::DropPlan plan = hotkeys::FillFromSlot(slot, files, single, [&](config::EffectSlot target) {
    Require(config::IsValidSlot(target));
    asked.push_back(target);
    return holding[static_cast<size_t>(config::SlotOrdinal(target))];
  });

  const size_t fits = static_cast<size_t>(slotCount - slot.index + 1);
  Require(plan.fills.size() == std::min(files.size(), fits));
  Require(asked.size() == plan.fills.size());
  int replaced = 0;
  for (size_t i = 0; i < plan.fills.size(); ++i) {
    const hotkeys::SlotFill& fill = plan.fills[i];
    Require(fill.slot == config::EffectSlot{category, slot.index + static_cast<int>(i)} && asked[i] == fill.slot);
    Require(fill.file.path == files[i].path && fill.file.caption == files[i].caption);
    replaced += holding[static_cast<size_t>(config::SlotOrdinal(fill.slot))] ? 1 : 0;
  }
  Require(plan.replaced == replaced);
  Require(plan.ask == (!single && replaced > 0));
  Require(!plan.refused);
  return 0;
}
