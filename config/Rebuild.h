// The configuration rebuild: every file in the four category folders becomes a slot's path and
// caption.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velmora::config {

class ConfigStore;
class CaptionHolder;

struct WorkItem {
  std::wstring path;     // what the slot stores; always a path that opens (see ScanCategoryFolder)
  std::wstring caption;  // from the file's real name
};

// The files (not folders) of one category folder, hidden and system files included, sorted by
// name the way Explorer sorts them ("2.wav" before "10.wav"). A file whose full path cannot be
// written in the configuration's code page is stored under its short 8.3 path when the volume
// has one, and left out otherwise. A missing folder yields an empty list.
std::vector<WorkItem> ScanCategoryFolder(std::wstring_view programDirectory, int category);

// The same for any folder (a folder dropped on the board is taken as the rebuild takes one).
std::vector<WorkItem> ScanFolder(const std::wstring& folder);

// The rebuild's order of file names: Explorer's, digits compared as numbers.
bool NameComesFirst(const std::wstring& a, const std::wstring& b);

using KeyValues = std::vector<std::pair<std::wstring, std::wstring>>;

// Stores the keys in one write of the file, merged with what the section holds: an existing key
// is replaced where it stands, a new one is appended, every other line stays as it was. The
// result is the file that one WriteValue per key, in order, would leave.
bool WriteSectionKeys(const ConfigStore& store, std::wstring_view section, const KeyValues& keys);

// Scans categories 1..4 and writes each one's path and title keys "1".."count" (no upper limit:
// keys above the slot count are written too and never read). Keys above a folder's new count
// keep what they held. Then reloads the captions into `holder`.
void RebuildConfiguration(const ConfigStore& store, CaptionHolder& holder);

}  // namespace velmora::config
