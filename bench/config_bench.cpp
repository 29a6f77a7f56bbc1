// One setting written to a configuration of a full board (4 x 25 slots, paths and captions): the
// median of 1,000 writes through the store (a copy beside the file, flushed, put in its place)
// and, for comparison in the same run, of 1,000 writes of the profile function straight into the
// file as earlier versions wrote.
#include "bench/BenchFigures.h"
#include "config/Catalogue.h"
#include "config/ConfigKeys.h"
#include "config/ConfigStore.h"
#include "config/Encoding.h"
#include "tests/support/TempProgramDir.h"

#include <windows.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

using namespace velmora::config;
using velmora::bench::Now;
using velmora::bench::Percentile;
using velmora::bench::TicksToMs;

namespace {

constexpr int kWrites = 1000;

void FillBoard(const ConfigStore& store) {
  for (int c = 1; c <= kCategoryCount; ++c) {
    for (int i = 1; i <= 25; ++i) {
      const std::wstring caption = L"主播音效" + std::to_wstring(i);
      store.WriteValue(Category(c).pathSection, SlotKey(i), L"D:\\直播\\音效\\" + caption + L".mp3");
      store.WriteValue(Category(c).titleSection, SlotKey(i), caption);
    }
  }
  store.WriteValue(kVolumeSection, kVolumeKey, L"50");
}

std::vector<double> Time(const std::function<void(int)>& write) {
  std::vector<double> ms;
  ms.reserve(kWrites);
  for (int i = 0; i < kWrites; ++i) {
    const int64_t t0 = Now();
    write(i);
    ms.push_back(TicksToMs(Now() - t0));
  }
  return ms;
}

}  // namespace

int main() {
  velmora::test::TempProgramDir dir(L"写入基准");
  const ConfigStore store(dir.Path());
  FillBoard(store);
  const auto level = [](int i) { return ConfigNumberText(i % 2 ? 60 : 50); };
  const std::vector<double> through = Time([&](int i) { store.WriteValue(kVolumeSection, kVolumeKey, level(i)); });

  // The same file, written in place by the profile function alone.
  velmora::test::TempProgramDir oldDir(L"写入基准旧");
  const ConfigStore oldStore(oldDir.Path());
  FillBoard(oldStore);
  const std::string file = ToConfigText(oldStore.ConfigFilePath());  // the ANSI code page is GBK here
  const std::string section = ToConfigText(kVolumeSection);
  const std::string key = ToConfigText(kVolumeKey);
  const std::vector<double> inPlace = Time([&](int i) {
    ::WritePrivateProfileStringA(section.c_str(), key.c_str(), ToConfigText(level(i)).c_str(), file.c_str());
  });

  const bool whole = store.ReadValue(kVolumeSection, kVolumeKey) == level(kWrites - 1) &&
                     oldStore.ReadValue(kVolumeSection, kVolumeKey) == level(kWrites - 1);
  if (!whole) std::printf("error: a write did not land\n");
  std::printf("config.write_ms: %.3f ms\n", Percentile(through, 0.5));
  std::printf("config.write_p99_ms: %.3f ms\n", Percentile(through, 0.99));
  std::printf("config.write_in_place_ms: %.3f ms\n", Percentile(inPlace, 0.5));
  std::printf("config.write_cost_ratio: %.1f x\n", Percentile(through, 0.5) / Percentile(inPlace, 0.5));
  return 0;
}
