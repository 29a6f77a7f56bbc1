// zuboinf.ini through the real profile functions and the real registry under Wine.
#include "base/Paths.h"
#include "config/ConfigKeys.h"
#include "config/ConfigStore.h"
#include "config/Encoding.h"
#include "tests/support/Files.h"
#include "tests/support/Registry.h"
#include "tests/support/TempProgramDir.h"

#include <gtest/gtest.h>
#include <windows.h>

using namespace velmora::config;
using velmora::test::Gbk;
using velmora::test::ReadBytes;
using velmora::test::TempProgramDir;
using velmora::test::WriteBytes;

namespace {

// 乗 and 淺 end in byte 0x5C ('\\') in GBK: byte-wise path handling takes them for separators.
const std::wstring kTrickyPath = L"D:\\音效\\乗淺\\淺乗.wav";

}  // namespace

TEST(Encoding, TrailByteBackslashSurvives) {
  ASSERT_EQ(Gbk(L"乗")[1], '\\');
  ASSERT_EQ(Gbk(L"淺")[1], '\\');
  bool exact = false;
  const std::string bytes = ToConfigText(kTrickyPath, &exact);
  EXPECT_TRUE(exact);
  EXPECT_EQ(FromConfigText(bytes), kTrickyPath);
  EXPECT_TRUE(FitsConfigText(kTrickyPath));
  // Emoji and Hangul have no GBK form.
  EXPECT_FALSE(FitsConfigText(L"C:\\a\\\U0001F600.wav"));
  EXPECT_FALSE(FitsConfigText(L"C:\\a\\한국.wav"));
  ToConfigText(L"한", &exact);
  EXPECT_FALSE(exact);
}

TEST(Encoding, DamagedBytesCostOnlyThemselves) {
  // A lead byte followed by a non-trail byte, a lone 0xFF, then good text.
  const std::wstring decoded = FromConfigText(std::string("\x81 ab\xff") + Gbk(L"掌声"));
  EXPECT_EQ(decoded, std::wstring(L"\xFFFD ab\xFFFD掌声"));
  // Half a character at the end.
  EXPECT_EQ(FromConfigText(Gbk(L"掌") + "\xC9"), std::wstring(L"掌\xFFFD"));
}

TEST(ConfigStore, ValuesTravelAsGbkBytesNextToTheExe) {
  TempProgramDir dir(L"配置");
  ConfigStore store(dir.Path());
  EXPECT_EQ(store.ConfigFilePath(), dir.Path() + L"\\zuboinf.ini");

  EXPECT_TRUE(store.WriteValue(L"常用路径", L"1", kTrickyPath));
  EXPECT_TRUE(store.WriteValue(L"常用标题", L"1", L"乗淺"));
  EXPECT_EQ(store.ReadValue(L"常用路径", L"1"), kTrickyPath);
  EXPECT_EQ(store.ReadValue(L"常用标题", L"1"), L"乗淺");

  const std::string bytes = ReadBytes(store.ConfigFilePath());
  EXPECT_NE(bytes.find(Gbk(L"[常用路径]")), std::string::npos);
  EXPECT_NE(bytes.find("1=" + Gbk(kTrickyPath)), std::string::npos);

  // Overwriting keeps one key; an empty value keeps the key and reads as "".
  store.WriteValue(L"常用标题", L"1", L"");
  EXPECT_EQ(store.ReadValue(L"常用标题", L"1"), L"");
  EXPECT_NE(ReadBytes(store.ConfigFilePath()).find(Gbk(L"[常用标题]") + "\r\n1=\r\n"), std::string::npos);
}

TEST(ConfigStore, MissingFileSectionOrKeyGivesTheDefault) {
  TempProgramDir dir;
  ConfigStore store(dir.Path());
  EXPECT_EQ(store.ReadValue(kKeyboardSection, kKeyboardKey, kKeyboardMain), L"大");
  EXPECT_EQ(store.ReadValue(kDeviceSection, kDeviceKey), L"");
  EXPECT_FALSE(velmora::PathExists(store.ConfigFilePath()));  // reading never creates the file

  store.WriteValue(kVolumeSection, kVolumeKey, L"60");
  EXPECT_EQ(store.ReadValue(kDeviceSection, kDeviceKey), L"");             // section missing
  EXPECT_EQ(store.ReadValue(kVolumeSection, L"w", L"默认"), L"默认");     // key missing
  EXPECT_EQ(store.ReadValue(L"IDV", L"V"), L"60");                          // names ignore case
}

TEST(ConfigStore, HandEditedFileReadsSensibly) {
  TempProgramDir dir;
  ConfigStore store(dir.Path());
  WriteBytes(store.ConfigFilePath(),
             "junk before any section\r\n"
             "[" + Gbk(L"键盘") + "]\r\n"
             "; a comment\r\n"
             "no equals sign here\r\n"
             "  INFO  =  " + Gbk(L"小") + "  \r\n"
             "INFO=" + Gbk(L"大") + "\r\n"
             "=orphan value\r\n"
             "[rj]\n" + Gbk(L"热键开关") + "=" + Gbk(L"真") + "\n");  // bare LF line ends too
  EXPECT_EQ(store.ReadValue(kKeyboardSection, kKeyboardKey, kKeyboardMain), L"小");  // first duplicate wins
  EXPECT_EQ(store.ReadValue(kHotkeySwitchSection, kHotkeySwitchKey), L"真");
  EXPECT_EQ(store.ReadValue(kKeyboardSection, L"no equals sign here"), L"");
}

TEST(ConfigStore, ValuesLongerThanTheBufferAreCutOnACharacterBoundary) {
  TempProgramDir dir;
  ConfigStore store(dir.Path());
  const std::string longTail = Gbk(std::wstring(6000, L'中'));
  // 10239 bytes fit; byte 10239 is the first half of a character.
  WriteBytes(store.ConfigFilePath(), "[s]\r\ncut=" + std::string(10238, 'a') + longTail + "\r\n" +
                                         "whole=" + std::string(10237, 'a') + longTail + "\r\nafter=ok\r\n");
  // Compared as booleans: a failure would otherwise print ten thousand characters.
  const std::wstring cut = store.ReadValue(L"s", L"cut");
  EXPECT_EQ(cut.size(), 10238u);
  EXPECT_TRUE(cut == std::wstring(10238, L'a'));
  const std::wstring whole = store.ReadValue(L"s", L"whole");
  EXPECT_EQ(whole.size(), 10238u);
  EXPECT_TRUE(whole == std::wstring(10237, L'a') + L"中");
  EXPECT_EQ(store.ReadValue(L"s", L"after"), L"ok");
}

TEST(ConfigStore, InvalidGbkInOneValueLeavesTheRestIntact) {
  TempProgramDir dir;
  ConfigStore store(dir.Path());
  WriteBytes(store.ConfigFilePath(), "[s]\r\nbefore=" + Gbk(L"掌声") + "\r\nbad=ab\xff\x81zz\r\nafter=" +
                                         Gbk(L"欢呼") + "\r\n");
  EXPECT_EQ(store.ReadValue(L"s", L"before"), L"掌声");
  EXPECT_EQ(store.ReadValue(L"s", L"after"), L"欢呼");
  const std::wstring bad = store.ReadValue(L"s", L"bad");
  EXPECT_EQ(bad.substr(0, 2), L"ab");
  EXPECT_EQ(bad.find(L'\0'), std::wstring::npos);
  // A write elsewhere keeps the neighbours.
  store.WriteValue(L"s", L"new", L"值");
  EXPECT_EQ(store.ReadValue(L"s", L"before"), L"掌声");
  EXPECT_EQ(store.ReadValue(L"s", L"after"), L"欢呼");
  EXPECT_EQ(store.ReadValue(L"s", L"new"), L"值");
}

TEST(ConfigStore, TenMegabyteFileStillReadsAndWrites) {
  TempProgramDir dir;
  ConfigStore store(dir.Path());
  std::string big = "[" + Gbk(L"常用路径") + "]\r\n";
  const std::string line = "=C:\\" + Gbk(L"很长的文件夹名字") + std::string(60, 'x') + ".wav\r\n";
  for (int i = 1; big.size() < 10 * 1024 * 1024; ++i) big += std::to_string(i) + line;
  big += "[idv]\r\nv=55\r\n";
  ASSERT_TRUE(WriteBytes(store.ConfigFilePath(), big));

  EXPECT_EQ(store.ReadValue(kVolumeSection, kVolumeKey), L"55");
  EXPECT_EQ(store.ReadValue(L"常用路径", L"5000").substr(0, 3), L"C:\\");
  EXPECT_TRUE(store.WriteValue(kVolumeSection, kVolumeKey, L"56"));
  EXPECT_EQ(store.ReadValue(kVolumeSection, kVolumeKey), L"56");
  EXPECT_EQ(store.ReadValue(L"常用路径", L"5000").substr(0, 3), L"C:\\");
  EXPECT_GE(ReadBytes(store.ConfigFilePath()).size(), big.size());
}

TEST(ConfigStore, FailedWritesAreSilentAndLoseNothing) {
  TempProgramDir dir;
  ConfigStore store(dir.Path());
  store.WriteValue(kVolumeSection, kVolumeKey, L"40");
  const std::string before = ReadBytes(store.ConfigFilePath());

  {
    // Another program holds the file and denies writing: as good as a read-only folder.
    HANDLE holder = ::CreateFileW(store.ConfigFilePath().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(store.WriteValue(kVolumeSection, kVolumeKey, L"90"));
    EXPECT_FALSE(store.WriteValue(kDeviceSection, kDeviceKey, L"2"));
    EXPECT_EQ(store.ReadValue(kVolumeSection, kVolumeKey), L"40");
    ::CloseHandle(holder);
  }
  EXPECT_EQ(ReadBytes(store.ConfigFilePath()), before);
  EXPECT_TRUE(store.WriteValue(kDeviceSection, kDeviceKey, L"2"));
  EXPECT_EQ(store.ReadValue(kVolumeSection, kVolumeKey), L"40");

  // The program folder itself is gone.
  ConfigStore nowhere(dir.Path() + L"\\不存在");
  EXPECT_FALSE(nowhere.WriteValue(kVolumeSection, kVolumeKey, L"1"));
  EXPECT_EQ(nowhere.ReadValue(kVolumeSection, kVolumeKey, L"x"), L"x");
}

TEST(ConfigStore, AFileThatLostItsSectionsComesBackFromTheCopy) {
  TempProgramDir dir;
  ConfigStore store(dir.Path());
  const std::wstring copy = store.ConfigFilePath() + L".bak";
  store.SafeguardFile();  // no file yet: nothing to keep, nothing made
  EXPECT_FALSE(velmora::PathExists(copy));
  store.WriteValue(kVolumeSection, kVolumeKey, L"40");
  store.SafeguardFile();
  EXPECT_EQ(ReadBytes(copy), ReadBytes(store.ConfigFilePath()));
  // Cut short by a power loss: empty, or a line without any section.
  for (const char* damaged : {"", "音量=7\r\n"}) {
    WriteBytes(store.ConfigFilePath(), damaged);
    EXPECT_FALSE(store.HasSections());
    store.SafeguardFile();
    EXPECT_EQ(store.ReadValue(kVolumeSection, kVolumeKey), L"40") << damaged;
  }
  // A file whose copy is damaged too stays as it is.
  WriteBytes(copy, "");
  WriteBytes(store.ConfigFilePath(), "");
  store.SafeguardFile();
  EXPECT_EQ(ReadBytes(store.ConfigFilePath()), "");
}

TEST(ConfigStore, TwoGenerationsOfCopiesAndNoWriteLeavesAPart) {
  TempProgramDir dir;
  ConfigStore store(dir.Path());
  const std::wstring file = store.ConfigFilePath();
  store.WriteValue(kVolumeSection, kVolumeKey, L"40");
  store.SafeguardFile();
  const std::string forty = ReadBytes(file);
  store.WriteValue(kVolumeSection, kVolumeKey, L"50");
  EXPECT_FALSE(velmora::PathExists(file + L".tmp")) << "a write left its copy behind";
  store.SafeguardFile();
  EXPECT_EQ(ReadBytes(file + L".bak"), ReadBytes(file));
  EXPECT_EQ(ReadBytes(file + L".bak2"), forty);

  // Emptied, at two starts in a row: back from the newest copy each time.
  for (int start = 0; start < 2; ++start) {
    WriteBytes(file, "");
    store.SafeguardFile();
    EXPECT_EQ(store.ReadValue(kVolumeSection, kVolumeKey), L"50") << start;
  }
  // The newest copy lost its sections as well: one generation deeper.
  WriteBytes(file + L".bak", "");
  WriteBytes(file, "");
  store.SafeguardFile();
  EXPECT_EQ(store.ReadValue(kVolumeSection, kVolumeKey), L"40");

  // A start on a file damaged but still with a section copies it; the good copy before it moves
  // down a generation instead of being lost.
  store.SafeguardFile();
  WriteBytes(file, "[idv]\r\n");
  store.SafeguardFile();
  EXPECT_EQ(ReadBytes(file + L".bak"), "[idv]\r\n");
  EXPECT_EQ(ReadBytes(file + L".bak2"), forty);
}

TEST(ConfigStore, ProgramFolderOutsideTheAnsiCodePage) {
  TempProgramDir dir(L"한국어");
  ConfigStore store(dir.Path());
  EXPECT_TRUE(store.WriteValue(kVolumeSection, kVolumeKey, L"70"));
  EXPECT_EQ(store.ReadValue(kVolumeSection, kVolumeKey), L"70");
  EXPECT_TRUE(velmora::PathExists(store.ConfigFilePath()));  // the real file, under its long name
}

TEST(Registry, LocationValueRoundTrip) {
  velmora::test::SavedUserRegistryValue saved(kLocationRegistryKey);
  saved.Clear();
  EXPECT_EQ(ReadUserRegistryText(kLocationRegistryKey), L"");
  EXPECT_EQ(ReadUserRegistryText(L"Software\\no such key at all"), L"");

  const std::wstring stamp = L"C:\\乗淺\\velmora.exe %-1";
  EXPECT_TRUE(WriteUserRegistryText(kLocationRegistryKey, stamp));
  EXPECT_EQ(ReadUserRegistryText(kLocationRegistryKey), stamp);

  saved.Set(REG_EXPAND_SZ, L"%WINDIR%\\音效");
  const std::wstring expanded = ReadUserRegistryText(kLocationRegistryKey);
  EXPECT_EQ(expanded.find(L'%'), std::wstring::npos);
  EXPECT_GT(expanded.size(), std::wstring(L"\\音效").size());
  EXPECT_EQ(expanded.substr(expanded.size() - 3), L"\\音效");
}

TEST(Harness, RunsUnderCodePage936) {
  // Everything above assumes the machine the tests run on uses GBK as its ANSI code page.
  EXPECT_EQ(::GetACP(), 936u);
}
