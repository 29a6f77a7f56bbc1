#include "config/Rebuild.h"

#include "base/Handles.h"
#include "base/Paths.h"
#include "config/Captions.h"
#include "config/Catalogue.h"
#include "config/ConfigStore.h"
#include "config/Encoding.h"
#include "config/ProfileText.h"

#include <windows.h>
#include <shlwapi.h>

#include <algorithm>
#include <unordered_map>

namespace velmora::config {

namespace {

std::vector<std::wstring> ListFiles(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW data;
  UniqueFind find(::FindFirstFileExW((folder + L"\\*.*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                     nullptr, FIND_FIRST_EX_LARGE_FETCH));
  if (!find) return names;
  do {
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) names.emplace_back(data.cFileName);
  } while (::FindNextFileW(find.Get(), &data));
  std::sort(names.begin(), names.end(), NameComesFirst);
  return names;
}

// The configuration file's bytes (empty when it cannot be read, which only costs speed below).
std::string ReadFileBytes(const std::wstring& path) {
  std::string bytes;
  ReadWholeFile(path, bytes, size_t{1} << 30);
  return bytes;
}

// The name part of a profile line as the profile functions match it: up to '=', blanks trimmed.
std::string_view LineKey(std::string_view line) {
  return TrimProfileName(line.substr(0, line.find('=')));
}

}  // namespace

bool NameComesFirst(const std::wstring& a, const std::wstring& b) { return ::StrCmpLogicalW(a.c_str(), b.c_str()) < 0; }

std::vector<WorkItem> ScanCategoryFolder(std::wstring_view programDirectory, int category) {
  return ScanFolder(CategoryFolder(programDirectory, category));
}

std::vector<WorkItem> ScanFolder(const std::wstring& folder) {
  std::vector<WorkItem> items;
  for (const std::wstring& name : ListFiles(folder)) {
    std::wstring path = StorablePath(folder + L"\\" + name);
    if (path.empty()) continue;
    items.push_back({std::move(path), CaptionFromFileName(name)});
  }
  return items;
}

bool WriteSectionKeys(const ConfigStore& store, std::wstring_view section, const KeyValues& keys) {
  if (keys.empty()) return true;
  if (!SectionIsPlain(ReadFileBytes(store.ConfigFilePath()), ToConfigText(section))) {
    // Hand-edited section (comments, stray lines): a section write would drop them, so take
    // the slow road that keeps every line.
    bool ok = true;
    for (const auto& [key, value] : keys) ok = store.WriteValue(section, key, value) && ok;
    return ok;
  }
  std::vector<std::string> lines = store.ReadSectionLines(section);

  // First occurrence of each name wins, as it does for a single write.
  std::unordered_map<std::string, size_t> position;
  position.reserve(lines.size() + keys.size());
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].find('=') == std::string::npos) continue;
    position.emplace(std::string(LineKey(lines[i])), i);
  }

  for (const auto& [key, value] : keys) {
    std::string keyBytes = ToConfigText(key);
    std::string line = keyBytes + "=" + ToConfigText(value);
    const auto found = position.find(keyBytes);
    if (found != position.end()) {
      lines[found->second] = std::move(line);
    } else {
      position.emplace(std::move(keyBytes), lines.size());
      lines.push_back(std::move(line));
    }
  }
  return store.WriteSectionLines(section, lines);
}

void RebuildConfiguration(const ConfigStore& store, CaptionHolder& holder) {
  for (const CategoryInfo& c : kCategories) {
    const std::vector<WorkItem> items = ScanCategoryFolder(store.ProgramDirectory(), c.number);
    if (items.empty()) continue;  // an empty or missing folder keeps the category's old keys
    KeyValues paths;
    KeyValues titles;
    paths.reserve(items.size());
    titles.reserve(items.size());
    for (size_t i = 0; i < items.size(); ++i) {
      const std::wstring key = SlotKey(static_cast<int>(i + 1));
      paths.emplace_back(key, items[i].path);
      titles.emplace_back(key, items[i].caption);
    }
    WriteSectionKeys(store, c.pathSection, paths);   // a failed write is not reported
    WriteSectionKeys(store, c.titleSection, titles);
  }
  LoadCaptions(store, holder);
}

}  // namespace velmora::config
