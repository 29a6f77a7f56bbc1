// The rebuild, the location check and the folders, on real folders and the real registry.
#include "base/Paths.h"
#include "config/Captions.h"
#include "config/Catalogue.h"
#include "config/ConfigKeys.h"
#include "config/ConfigStore.h"
#include "config/Encoding.h"
#include "config/Folders.h"
#include "config/Location.h"
#include "config/Rebuild.h"
#include "tests/support/Files.h"
#include "tests/support/Registry.h"
#include "tests/support/TempProgramDir.h"

#include <gtest/gtest.h>
#include <windows.h>

using namespace velmora::config;
using velmora::test::Gbk;
using velmora::test::MakeFile;
using velmora::test::ReadBytes;
using velmora::test::TempProgramDir;
using velmora::test::WriteBytes;

namespace {

std::vector<std::wstring> Paths(const std::vector<WorkItem>& items) {
  std::vector<std::wstring> out;
  for (const WorkItem& item : items) out.push_back(item.path);
  return out;
}

void MakeFiles(const std::wstring& folder, int count, const std::wstring& stem = L"音") {
  for (int i = 1; i <= count; ++i) MakeFile(folder, stem + std::to_wstring(i) + L".wav");
}

}  // namespace

TEST(Scan, TakesEveryFileInNaturalOrderAndNoFolders) {
  TempProgramDir dir(L"扫描");
  const std::wstring folder = CategoryFolder(dir.Path(), 1);
  for (const wchar_t* name : {L"10.wav", L"2.wav", L"1.wav", L"b.mp3", L"A.wav", L"readme", L"掌声.mp3"})
    MakeFile(folder, name);
  const std::wstring hidden = MakeFile(folder, L"隐藏.wav");
  ::SetFileAttributesW(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  MakeFile(folder + L"\\子文件夹", L"inner.wav");

  const std::vector<WorkItem> items = ScanCategoryFolder(dir.Path(), 1);
  const std::wstring f = folder + L"\\";
  ASSERT_EQ(items.size(), 8u);
  // Digits by value, then letters without regard to case; Chinese names follow in the
  // locale's collation, which is not ours to fix.
  const std::vector<std::wstring> paths = Paths(items);
  EXPECT_EQ(std::vector<std::wstring>(paths.begin(), paths.begin() + 6),
            (std::vector<std::wstring>{f + L"1.wav", f + L"2.wav", f + L"10.wav", f + L"A.wav", f + L"b.mp3",
                                       f + L"readme"}));
  EXPECT_EQ(items[5].caption, L"");  // no dot, no caption
  const bool chineseAsExpected = (items[6].path == f + L"掌声.mp3" && items[7].path == f + L"隐藏.wav") ||
                                 (items[6].path == f + L"隐藏.wav" && items[7].path == f + L"掌声.mp3");
  EXPECT_TRUE(chineseAsExpected);
  EXPECT_EQ(items[6].path == f + L"掌声.mp3" ? items[6].caption : items[7].caption, L"掌声");

  EXPECT_TRUE(ScanCategoryFolder(dir.Path(), 2).empty());  // missing folder
}

TEST(Scan, NamesOutsideGbkAreStoredUnderAPathThatOpens) {
  TempProgramDir dir;
  const std::wstring folder = CategoryFolder(dir.Path(), 3);
  MakeFile(folder, L"\U0001F600笑.wav");
  MakeFile(folder, L"한국.mp3");
  MakeFile(folder, L"乗淺.wav");

  const std::vector<WorkItem> items = ScanCategoryFolder(dir.Path(), 3);
  ASSERT_EQ(items.size(), 3u);
  for (const WorkItem& item : items) {
    EXPECT_TRUE(FitsConfigText(item.path)) << "would be stored as a path that does not exist";
    EXPECT_TRUE(velmora::PathExists(item.path));
  }
  bool sawEmoji = false;
  for (const WorkItem& item : items) sawEmoji = sawEmoji || item.caption == L"\U0001F600笑";
  EXPECT_TRUE(sawEmoji);  // the caption comes from the real name

  // After the trip through the file the stored path still opens.
  ConfigStore store(dir.Path());
  PlainCaptionHolder holder;
  RebuildConfiguration(store, holder);
  bool sawTricky = false;
  for (int i = 1; i <= 3; ++i) {
    EXPECT_TRUE(velmora::PathExists(store.ReadValue(L"其他路径", SlotKey(i)))) << i;
    sawTricky = sawTricky || holder.Caption({3, i}) == L"乗淺";
  }
  EXPECT_TRUE(sawTricky);
}

TEST(Rebuild, EachCategoryCountsItsOwnFilesWithoutUpperLimit) {
  TempProgramDir dir(L"重建");
  ConfigStore store(dir.Path());
  MakeFiles(CategoryFolder(dir.Path(), 1), 30);
  MakeFiles(CategoryFolder(dir.Path(), 2), 20, L"气氛");
  MakeFile(CategoryFolder(dir.Path(), 4), L"readme");

  PlainCaptionHolder holder;
  RebuildConfiguration(store, holder);

  EXPECT_EQ(store.ReadValue(L"常用路径", L"30"), CategoryFolder(dir.Path(), 1) + L"\\音30.wav");
  EXPECT_EQ(store.ReadValue(L"常用标题", L"30"), L"音30");
  EXPECT_EQ(store.ReadValue(L"喊麦路径", L"20"), CategoryFolder(dir.Path(), 2) + L"\\气氛20.wav");
  EXPECT_EQ(store.ReadValue(L"喊麦路径", L"21"), L"");
  EXPECT_EQ(holder.Caption({1, 29}), L"音29");
  EXPECT_EQ(holder.Caption({2, 1}), L"气氛1");
  EXPECT_EQ(holder.Caption({4, 1}), L"自定义");  // "readme" gives an empty title
  EXPECT_EQ(store.ReadValue(L"自定义", L"1"), L"");
  EXPECT_EQ(store.ReadValue(L"自定义路径", L"1"), CategoryFolder(dir.Path(), 4) + L"\\readme");
  EXPECT_EQ(store.ReadValue(L"其他路径", L"1"), L"");
}

TEST(Rebuild, ShrinkingOrEmptyFoldersKeepTheOldKeys) {
  TempProgramDir dir;
  ConfigStore store(dir.Path());
  const std::wstring folder = CategoryFolder(dir.Path(), 1);
  MakeFiles(folder, 10);
  PlainCaptionHolder holder;
  RebuildConfiguration(store, holder);

  for (int i = 1; i <= 6; ++i) ::DeleteFileW((folder + L"\\音" + std::to_wstring(i) + L".wav").c_str());
  RebuildConfiguration(store, holder);
  EXPECT_EQ(store.ReadValue(L"常用路径", L"1"), folder + L"\\音7.wav");
  EXPECT_EQ(store.ReadValue(L"常用路径", L"4"), folder + L"\\音10.wav");
  EXPECT_EQ(store.ReadValue(L"常用路径", L"5"), folder + L"\\音5.wav");  // old key kept
  EXPECT_EQ(store.ReadValue(L"常用标题", L"10"), L"音10");
  EXPECT_EQ(holder.Caption({1, 5}), L"音5");

  for (int i = 7; i <= 10; ++i) ::DeleteFileW((folder + L"\\音" + std::to_wstring(i) + L".wav").c_str());
  const std::string before = ReadBytes(store.ConfigFilePath());
  RebuildConfiguration(store, holder);
  EXPECT_EQ(ReadBytes(store.ConfigFilePath()), before);
}

TEST(Rebuild, TouchesOnlyPathAndTitleKeys) {
  TempProgramDir dir;
  ConfigStore store(dir.Path());
  store.WriteValue(L"常用快捷键if", L"1", L"F1");
  store.WriteValue(kHotkeyPathSection, L"F1", L"C:\\旧\\掌声.wav");
  store.WriteValue(kHotkeySwitchSection, kHotkeySwitchKey, kOn);
  store.WriteValue(kDeviceSection, kDeviceKey, L"3");
  MakeFiles(CategoryFolder(dir.Path(), 1), 3);
  PlainCaptionHolder holder;
  RebuildConfiguration(store, holder);
  EXPECT_EQ(store.ReadValue(L"常用快捷键if", L"1"), L"F1");
  EXPECT_EQ(store.ReadValue(kHotkeyPathSection, L"F1"), L"C:\\旧\\掌声.wav");
  EXPECT_EQ(store.ReadValue(kHotkeySwitchSection, kHotkeySwitchKey), L"真");
  EXPECT_EQ(store.ReadValue(kDeviceSection, kDeviceKey), L"3");
}

// The one-pass section write must leave exactly the file that one write per key leaves.
TEST(Rebuild, SectionWritesMatchKeyByKeyWritesByteForByte) {
  const std::string plain =
      "[" + Gbk(L"快捷键") + "]\r\nF1=C:\\a.wav\r\n"
      "[" + Gbk(L"常用路径") + "]\r\n2=old2\r\n  40 = beyond  \r\nabc=keep\r\n2=duplicate\r\n1=old1\r\n"
      "[rj]\r\n" + Gbk(L"热键开关") + "=" + Gbk(L"真") + "\r\n"
      "[" + Gbk(L"常用标题") + "]\r\n7=" + Gbk(L"旧标题") + "\r\n";
  const std::string handEdited =
      "; my board\r\n[" + Gbk(L"常用路径") + "]\r\n; keep me\r\n1=old1\r\nstray line\r\n=no name\r\n"
      "[" + Gbk(L"常用路径") + "]\r\n3=second header\r\n[" + Gbk(L"喊麦标题") + "]\r\n[broken\r\n1=x\r\n";

  for (const std::string& initial : {std::string(), plain, handEdited}) {
    TempProgramDir dir(L"对比");
    ConfigStore store(dir.Path());
    MakeFiles(CategoryFolder(dir.Path(), 1), 12, L"乗");
    MakeFiles(CategoryFolder(dir.Path(), 2), 3, L"淺");
    MakeFiles(CategoryFolder(dir.Path(), 4), 1);

    if (!initial.empty()) WriteBytes(store.ConfigFilePath(), initial);
    for (int c = 1; c <= kCategoryCount; ++c) {
      const std::vector<WorkItem> items = ScanCategoryFolder(dir.Path(), c);
      for (size_t i = 0; i < items.size(); ++i) {
        store.WriteValue(Category(c).pathSection, SlotKey(static_cast<int>(i + 1)), items[i].path);
        store.WriteValue(Category(c).titleSection, SlotKey(static_cast<int>(i + 1)), items[i].caption);
      }
    }
    const std::string keyByKey = ReadBytes(store.ConfigFilePath());

    if (initial.empty()) {
      ::DeleteFileW(store.ConfigFilePath().c_str());
    } else {
      WriteBytes(store.ConfigFilePath(), initial);
    }
    PlainCaptionHolder holder;
    RebuildConfiguration(store, holder);
    EXPECT_EQ(ReadBytes(store.ConfigFilePath()), keyByKey) << "initial file:\n" << initial;
  }
}

TEST(Rebuild, WriteFailureLosesNothing) {
  TempProgramDir dir;
  ConfigStore store(dir.Path());
  store.WriteValue(L"常用路径", L"1", L"C:\\old.wav");
  const std::string before = ReadBytes(store.ConfigFilePath());
  MakeFiles(CategoryFolder(dir.Path(), 1), 5);
  HANDLE holder = ::CreateFileW(store.ConfigFilePath().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  PlainCaptionHolder captions;
  RebuildConfiguration(store, captions);
  ::CloseHandle(holder);
  EXPECT_EQ(ReadBytes(store.ConfigFilePath()), before);
  EXPECT_EQ(store.ReadValue(L"常用路径", L"1"), L"C:\\old.wav");
}

namespace {

class RecordingHandler : public LocationChangeHandler {
 public:
  explicit RecordingHandler(const ConfigStore& store) : store_(store) {}
  void RunRebuild() override {
    calls += L"rebuild(id=" + store_.ReadValue(kDeviceSection, kDeviceKey) + L");";
    RebuildConfiguration(store_, captions);
  }
  void HideMainWindow() override { calls += L"hide;"; }

  std::wstring calls;
  PlainCaptionHolder captions;

 private:
  const ConfigStore& store_;
};

}  // namespace

TEST(Location, MovedProgramResetsDeviceRebuildsAndHides) {
  velmora::test::SavedUserRegistryValue saved(kLocationRegistryKey);
  saved.Clear();
  TempProgramDir first(L"第一份");
  TempProgramDir second(L"第二份");
  ConfigStore one(first.Path());
  ConfigStore two(second.Path());
  one.WriteValue(kDeviceSection, kDeviceKey, L"3");
  MakeFile(CategoryFolder(first.Path(), 1), L"一.wav");
  MakeFile(CategoryFolder(second.Path(), 1), L"二.wav");

  RecordingHandler handler(one);
  EXPECT_TRUE(CheckLocation(one, L"velmora.exe", handler));
  EXPECT_EQ(handler.calls, L"rebuild(id=1);hide;");
  EXPECT_EQ(ReadUserRegistryText(kLocationRegistryKey), first.Path() + L"\\velmora.exe %-1");
  EXPECT_EQ(handler.captions.Caption({1, 1}), L"一");

  RecordingHandler again(one);
  EXPECT_FALSE(CheckLocation(one, L"velmora.exe", again));
  EXPECT_EQ(again.calls, L"");

  // The copy in another folder shares the registry value: each start from the other one rebuilds.
  RecordingHandler other(two);
  EXPECT_TRUE(CheckLocation(two, L"velmora.exe", other));
  EXPECT_EQ(two.ReadValue(L"常用路径", L"1"), CategoryFolder(second.Path(), 1) + L"\\二.wav");
  one.WriteValue(kDeviceSection, kDeviceKey, L"2");
  RecordingHandler back(one);
  EXPECT_TRUE(CheckLocation(one, L"velmora.exe", back));
  EXPECT_EQ(one.ReadValue(kDeviceSection, kDeviceKey), L"1");

  // A renamed executable is a new location too, and case counts.
  RecordingHandler renamed(one);
  EXPECT_TRUE(CheckLocation(one, L"VELMORA.exe", renamed));
}

TEST(Folders, CreatesTheSixFoldersAndKeepsWhatExists) {
  TempProgramDir dir(L"文件夹");
  MakeFile(CategoryFolder(dir.Path(), 2), L"留下.wav");
  EnsureFolders(dir.Path());
  for (int c = 1; c <= kCategoryCount; ++c) EXPECT_TRUE(velmora::IsDirectory(CategoryFolder(dir.Path(), c)));
  EXPECT_TRUE(velmora::IsDirectory(SpareFolder(dir.Path())));
  EXPECT_TRUE(velmora::PathExists(CategoryFolder(dir.Path(), 2) + L"\\留下.wav"));
  EnsureFolders(dir.Path());  // idempotent

  // A file where the effects folder should be: nothing is replaced, nothing crashes.
  TempProgramDir blocked;
  WriteBytes(EffectsRoot(blocked.Path()), "not a folder");
  EnsureFolders(blocked.Path());
  EXPECT_EQ(ReadBytes(EffectsRoot(blocked.Path())), "not a folder");
  EXPECT_FALSE(velmora::PathExists(CategoryFolder(blocked.Path(), 1)));
  EnsureFolders(blocked.Path() + L"\\不存在\\更深");  // missing program folder: silently nothing
}
