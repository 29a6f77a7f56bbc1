// Configuration rebuild over 4 x 125, 4 x 1,250 and 4 x 5,000 files: total time and time per
// file, the one-pass section writes against one profile write per key at the small sizes.
#include "config/Captions.h"
#include "config/Catalogue.h"
#include "config/ConfigStore.h"
#include "config/Rebuild.h"
#include "tests/support/Files.h"
#include "tests/support/TempProgramDir.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace velmora::config;

namespace {

double NowMs() {
  static const double frequency = [] {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER t;
  ::QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) * 1000.0 / frequency;
}

void MakeBoard(const velmora::test::TempProgramDir& dir, int perCategory) {
  for (int c = 1; c <= kCategoryCount; ++c) {
    const std::wstring folder = CategoryFolder(dir.Path(), c);
    velmora::test::MakeFolders(folder);
    for (int i = 1; i <= perCategory; ++i) {
      const std::wstring path = folder + L"\\主播音效" + std::to_wstring(i) + L".mp3";
      HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
      ::CloseHandle(file);
    }
  }
}

// Median time of `runs` rebuilds, each starting without a configuration file.
double MedianMs(const ConfigStore& store, int runs, const std::function<void()>& rebuild) {
  std::vector<double> times;
  for (int r = 0; r < runs; ++r) {
    ::DeleteFileW(store.ConfigFilePath().c_str());
    const double start = NowMs();
    rebuild();
    times.push_back(NowMs() - start);
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

void KeyByKey(const ConfigStore& store) {
  for (int c = 1; c <= kCategoryCount; ++c) {
    const std::vector<WorkItem> items = ScanCategoryFolder(store.ProgramDirectory(), c);
    for (size_t i = 0; i < items.size(); ++i) {
      store.WriteValue(Category(c).pathSection, SlotKey(static_cast<int>(i + 1)), items[i].path);
      store.WriteValue(Category(c).titleSection, SlotKey(static_cast<int>(i + 1)), items[i].caption);
    }
  }
}

}  // namespace

int main() {
  struct Size {
    int perCategory;
    int runs;
    bool keyByKey;
  };
  const Size sizes[] = {{125, 7, true}, {1250, 5, false}, {5000, 3, false}};
  double usPerFile125 = 0;
  double usPerFile5000 = 0;
  for (const Size& size : sizes) {
    velmora::test::TempProgramDir dir(L"基准");
    MakeBoard(dir, size.perCategory);
    const ConfigStore store(dir.Path());
    PlainCaptionHolder captions;
    const int files = 4 * size.perCategory;
    const double ms = MedianMs(store, size.runs, [&] { RebuildConfiguration(store, captions); });
    const double usPerFile = ms * 1000.0 / files;
    std::printf("rebuild.ms_4x%d: %.1f ms\n", size.perCategory, ms);
    std::printf("rebuild.us_per_file_4x%d: %.1f us\n", size.perCategory, usPerFile);
    if (size.keyByKey) {
      const double naive = MedianMs(store, 3, [&] { KeyByKey(store); });
      std::printf("rebuild.key_by_key_ms_4x%d: %.1f ms\n", size.perCategory, naive);
      std::printf("rebuild.speedup_over_key_by_key_4x%d: %.1f x\n", size.perCategory, naive / ms);
    }
    if (size.perCategory == 125) usPerFile125 = usPerFile;
    if (size.perCategory == 5000) usPerFile5000 = usPerFile;
    std::fflush(stdout);
  }
  std::printf("rebuild.per_file_ratio: %.2f x\n", usPerFile5000 / usPerFile125);
  return 0;
}
