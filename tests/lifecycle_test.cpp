// The real program started as a process: first start, second instance, another copy, the
// automatic rebuild, the ways to end it, the tray menu, the notice window, odd stored values.
#include "app/TrayIcon.h"
#include "base/Paths.h"
#include "config/ConfigKeys.h"
#include "config/ConfigStore.h"
#include "playback/AudioPlayer.h"
#include "tests/support/Files.h"
#include "tests/support/SinkRecording.h"
#include "tests/support/ProgramCopy.h"
#include "tests/support/Registry.h"
#include "tests/support/Waiting.h"
#include "tests/support/WindowCapture.h"
#include "ui/MainLayout.h"
#include "ui/SettingsWindow.h"
#include "ui/controls/ControlPaint.h"

#include <gtest/gtest.h>

#include <string>
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

using velmora::config::ConfigStore;
using velmora::test::ProgramCopy;
using velmora::test::PressKey;
using velmora::test::TrayIconCount;
using velmora::test::WaitFor;

namespace {

constexpr UINT kTrayMessage = WM_APP + 1;
const wchar_t kStampKey[] = L"Software\\tamble";

// The icon reports `button`: true once the menu is open and its loop takes the keys (pressed
// before, the board would take them).
bool OpenTrayMenu(HWND board, LPARAM button = WM_RBUTTONUP) {
  ::PostMessageW(board, kTrayMessage, 1, button);
  const DWORD program = ::GetWindowThreadProcessId(board, nullptr);
  return WaitFor([program] { return velmora::test::OpenMenu() != nullptr && velmora::test::InMenuMode(program); },
                 5000);
}

// As a user would: the icon reports a button, the menu opens, keys pick an item.
bool ChooseTrayItem(HWND board, int downPresses, LPARAM button = WM_RBUTTONUP) {
  if (!OpenTrayMenu(board, button)) return false;
  for (int i = 0; i < downPresses; ++i) PressKey(VK_DOWN);
  PressKey(VK_RETURN);
  return WaitFor([] { return velmora::test::OpenMenu() == nullptr; }, 5000);
}

// The line of text (0 = the first item; the separator has none) beside which the open menu
// shows a check mark, or -1 when it shows none. Only a check mark is drawn left of the texts.
// `rows` is how many lines of text it showed.
int CheckedMenuLine(HWND menu, int& rows) {
  const velmora::test::Capture shot = velmora::test::Capture::OfWindowOnScreen(menu);
  const int margin = ::GetSystemMetrics(SM_CXMENUCHECK);
  const auto dark = [&shot](int x, int y) {
    const COLORREF c = shot.At(x, y);
    return GetRValue(c) < 80 && GetGValue(c) < 80 && GetBValue(c) < 80;
  };
  int line = -1, textRows = 0;
  bool inText = false;
  for (int y = 3; y < shot.Height() - 3; ++y) {
    bool text = false, mark = false;
    for (int x = margin + 2; x < shot.Width() - 3 && !text; ++x) text = dark(x, y);
    for (int x = 3; x < margin && !mark; ++x) mark = dark(x, y);
    if (text && !inText) ++textRows;
    inText = text;
    if (mark && line < 0) line = textRows - 1;
  }
  rows = textRows;
  return line;
}

// Opens the board's tray menu, reads CheckedMenuLine off it and closes it again; -2 when no menu
// opened. The screen may still show the menu opened before until the new one has painted itself,
// so the reading is taken until it is `expected` (within a deadline) and the last one returned.
int TrayMenuCheckedLine(HWND board, int expected) {
  if (!OpenTrayMenu(board)) return -2;
  const HWND menu = velmora::test::OpenMenu();
  // Read once the menu shows every line of text (the separator has none).
  constexpr int kTextLines = 9;
  int line = -1, rows = 0;
  WaitFor([&] { return (line = CheckedMenuLine(menu, rows)), rows == kTextLines && line == expected; }, 3000);
  PressKey(VK_ESCAPE);
  WaitFor([] { return velmora::test::OpenMenu() == nullptr; }, 5000);
  return line;
}

int SliderLevel(HWND board) {
  HWND slider = ::FindWindowExW(board, nullptr, TRACKBAR_CLASSW, nullptr);
  return slider ? static_cast<int>(::SendMessageW(slider, TBM_GETPOS, 0, 0)) : -1;
}

class Lifecycle : public ::testing::Test {
 protected:
  void SetUp() override { iconsBefore_ = TrayIconCount(); }
  // Marks `copy` as the place the program last ran: its start then rebuilds nothing.
  void RecordLocation(const ProgramCopy& copy) { stamp_.Set(REG_SZ, copy.Exe() + L" %-1"); }
  // The test sinks' device numbers; false without them.
  bool FindSinks() {
    sinkA_ = velmora::test::TestSinkDevice(L"VelmoraSinkA");
    sinkB_ = velmora::test::TestSinkDevice(L"VelmoraSinkB");
    return sinkA_ >= 2 && sinkB_ >= 2;
  }
  // The same, and F9 set to play a 1 kHz tone of `seconds` on output `device`, hotkeys on.
  void RecordWithF9(const ProgramCopy& copy, ConfigStore& store, int device, double seconds) {
    RecordLocation(copy);
    const std::wstring tone = copy / L"效.wav";
    velmora::test::WriteBytes(tone, velmora::test::ToneWav(1000, seconds, 0.5));
    store.WriteValue(L"id", L"id", std::to_wstring(device));
    store.WriteValue(L"rj", L"热键开关", L"真");
    store.WriteValue(L"快捷键", L"F9", tone);
  }

  velmora::test::SavedUserRegistryValue stamp_{kStampKey};
  int iconsBefore_ = 0;
  int sinkA_ = -1, sinkB_ = -1;
};

// Presses `key` on the X server as a user would. Wine hands a hotkey over only while one of its
// windows has the X focus: the board's is given it first.
bool PressOnBoard(HWND board, const std::string& key) {
  RECT boardRect;
  ::GetWindowRect(board, &boardRect);
  ::SetCursorPos(boardRect.left + 300, boardRect.top + 430);
  velmora::test::RunHostCommand("xdotool search --onlyvisible --name Velmora windowfocus");
  return velmora::test::RunHostCommand("xdotool key " + key);
}

}  // namespace

TEST_F(Lifecycle, FirstStartSecondInstanceAndAnotherCopy) {
  stamp_.Clear();
  ProgramCopy first(L"首次");
  ASSERT_TRUE(first.Start());
  ASSERT_TRUE(first.WaitSettled());
  const HWND board = first.Board();
  // A new location: device back to 1, the stamp recorded, the folders made, hidden in the tray.
  ConfigStore store(first.Folder());
  EXPECT_EQ(store.ReadValue(L"id", L"id"), L"1");
  EXPECT_EQ(velmora::config::ReadUserRegistryText(kStampKey), first.Exe() + L" %-1");
  for (const wchar_t* folder : {L"音效\\常用音效", L"音效\\气氛音效", L"音效\\其他音效", L"音效\\自定义音效", L"音效\\备用音效"})
    EXPECT_TRUE(velmora::IsDirectory(first / folder)) << "missing folder";
  EXPECT_FALSE(::IsWindowVisible(board));
  EXPECT_EQ(TrayIconCount(), iconsBefore_ + 1);
  // The lock: one byte (held open exclusively, so not even readable now), hidden and archive.
  WIN32_FILE_ATTRIBUTE_DATA lock{};
  ASSERT_TRUE(::GetFileAttributesExW((first / L"zubo").c_str(), GetFileExInfoStandard, &lock));
  EXPECT_EQ(lock.nFileSizeLow, 1u);
  EXPECT_EQ(velmora::test::ReadBytes(first / L"zubo"), "");
  EXPECT_EQ(::GetFileAttributesW((first / L"zubo").c_str()) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE),
            static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE));

  // A second start from the same folder ends at once with 0, leaving no second icon.
  {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION second{};
    std::wstring command = L"\"" + first.Exe() + L"\"";
    ASSERT_TRUE(::CreateProcessW(first.Exe().c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                 first.Folder().c_str(), &startup, &second));
    ASSERT_EQ(::WaitForSingleObject(second.hProcess, 30000), WAIT_OBJECT_0);
    DWORD code = 99;
    ::GetExitCodeProcess(second.hProcess, &code);
    EXPECT_EQ(code, 0u);
    ::CloseHandle(second.hProcess);
    ::CloseHandle(second.hThread);
    EXPECT_TRUE(WaitFor([&] { return TrayIconCount() == iconsBefore_ + 1; }, 3000)) << "a dead icon stayed behind";
    EXPECT_TRUE(first.Running());
    EXPECT_TRUE(::IsWindow(board));
  }

  // A copy in another folder runs beside it and rebuilds from its own folders.
  ProgramCopy other(L"另一份");
  velmora::test::WriteBytes(other / L"音效", "");  // made a folder below
  ::DeleteFileW((other / L"音效").c_str());
  velmora::test::MakeFile(other / L"音效\\常用音效", L"掌声.wav");
  ASSERT_TRUE(other.Start());
  ASSERT_TRUE(other.WaitSettled());
  EXPECT_TRUE(first.Running());
  EXPECT_EQ(ConfigStore(other.Folder()).ReadValue(L"常用路径", L"1"), other / L"音效\\常用音效\\掌声.wav");
  EXPECT_EQ(TrayIconCount(), iconsBefore_ + 2);
}

TEST_F(Lifecycle, AutomaticRebuildAndOddStoredValues) {
  ProgramCopy copy(L"自动");
  RecordLocation(copy);
  velmora::test::MakeFile(copy / L"音效\\气氛音效", L"欢呼.wav");
  ConfigStore store(copy.Folder());
  store.WriteValue(L"更新", L"开关", L"真");
  store.WriteValue(L"id", L"id", L"xyz");  // garbage device: the no-sound device
  store.WriteValue(L"idv", L"v", L"250");
  ASSERT_TRUE(copy.Start());
  ASSERT_TRUE(copy.WaitSettled());
  EXPECT_EQ(store.ReadValue(L"喊麦路径", L"1"), copy / L"音效\\气氛音效\\欢呼.wav");
  // Rebuilt at start: hidden in the tray.
  EXPECT_TRUE(WaitFor([&] { return !::IsWindowVisible(copy.Board()); }));
  EXPECT_EQ(SliderLevel(copy.Board()), 100);
  EXPECT_EQ(store.ReadValue(L"id", L"id"), L"xyz");  // nothing rewrites it

  ProgramCopy odd(L"怪值");
  RecordLocation(odd);
  velmora::test::MakeFile(odd / L"音效\\常用音效", L"掌声.wav");
  ConfigStore oddStore(odd.Folder());
  oddStore.WriteValue(L"更新", L"开关", L"是");  // neither switch text: no rebuild
  oddStore.WriteValue(L"idv", L"v", L"abc");
  ASSERT_TRUE(odd.Start());
  ASSERT_TRUE(odd.WaitSettled());
  EXPECT_TRUE(::IsWindowVisible(odd.Board()));
  EXPECT_EQ(oddStore.ReadValue(L"常用路径", L"1"), L"");
  EXPECT_EQ(SliderLevel(odd.Board()), 1);

  ProgramCopy fresh(L"新装");
  RecordLocation(fresh);
  ASSERT_TRUE(fresh.Start());
  ASSERT_TRUE(fresh.WaitSettled());
  EXPECT_EQ(SliderLevel(fresh.Board()), 100) << "a fresh install must not start silent";
}

namespace {

// The stored volume ("[idv]" "v=") taken out of the configuration's bytes, so two files that
// differ only in it compare equal.
std::string WithoutVolume(std::string bytes) {
  const size_t section = bytes.find("[idv]");
  const size_t key = section == std::string::npos ? section : bytes.find("\nv=", section);
  if (key != std::string::npos) bytes.erase(key + 3, bytes.find('\n', key + 1) - key - 3);
  return bytes;
}

}  // namespace

// Killed in the middle of hundreds of volume steps (each stored as it is made), at a different
// moment each time: the configuration is always the whole file, before one write or after it. A
// start after that (the next round) finds it whole too, and the copy it keeps is whole.
TEST_F(Lifecycle, KilledWhileWritingLeavesTheConfigurationWhole) {
  ProgramCopy copy(L"写到一半");
  const std::wstring file = copy / L"zuboinf.ini";
  ConfigStore(copy.Folder()).WriteValue(L"idv", L"v", L"50");
  std::string reference;
  for (int round = 0; round < 6; ++round) {
    SCOPED_TRACE(round);
    ASSERT_TRUE(copy.Start());
    ASSERT_TRUE(copy.WaitSettled());
    const HWND board = copy.Board();
    ASSERT_NE(board, nullptr);
    const std::string settled = velmora::test::ReadBytes(file);
    if (round == 0) reference = WithoutVolume(settled);
    ASSERT_NE(reference.find("[idv]"), std::string::npos);
    EXPECT_EQ(WithoutVolume(settled), reference);
    if (round > 0) {
      EXPECT_EQ(WithoutVolume(velmora::test::ReadBytes(file + L".bak")), reference);
    }

    const velmora::ui::DpiScale scale(velmora::ui::WindowDpi(board));
    for (int i = 0; i < 300; ++i) {
      const auto control = i % 2 ? velmora::ui::MainControl::VolumeDown : velmora::ui::MainControl::VolumeUp;
      const POINT at = velmora::test::Centre(scale.Rect(velmora::ui::MainControlDesign(control).rect));
      for (const UINT message : {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP})
        ::PostMessageW(board, message, message == WM_LBUTTONDOWN ? MK_LBUTTON : 0, MAKELPARAM(at.x, at.y));
    }
    // Killed once a few writes (more each round) were seen to land.
    std::string last = settled;
    int changes = 0;
    WaitFor([&] {
      std::string now = velmora::test::ReadBytes(file);
      if (now != last) {
        ++changes;
        last = std::move(now);
      }
      return changes >= 1 + 3 * round;
    }, 20000);
    EXPECT_GE(changes, 1) << "the volume steps were not stored";
    ASSERT_TRUE(copy.Kill());
    EXPECT_EQ(WithoutVolume(velmora::test::ReadBytes(file)), reference);
    // The tray lets a dead program's icon go once it sees its window is gone.
    EXPECT_TRUE(WaitFor([&] { return TrayIconCount() == iconsBefore_; }, 10000));
  }
}

TEST_F(Lifecycle, EveryWayOfClosingEndsWithZeroAndRemovesTheIcon) {
  for (int way = 0; way < 3; ++way) {
    ProgramCopy copy(L"关闭");
    RecordLocation(copy);
    ASSERT_TRUE(copy.Start());
    ASSERT_TRUE(copy.WaitSettled());
    const HWND board = copy.Board();
    ASSERT_TRUE(::IsWindowVisible(board));
    ASSERT_EQ(TrayIconCount(), iconsBefore_ + 1);
    if (way == 0) {  // the 关闭 button (design 667, 0, 60 x 50)
      ::PostMessageW(board, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(690, 25));
      ::PostMessageW(board, WM_LBUTTONUP, 0, MAKELPARAM(690, 25));
    } else if (way == 1) {  // Esc
      ::PostMessageW(board, WM_KEYDOWN, VK_ESCAPE, 0);
    } else {  // the tray menu's 退出, the last item
      ASSERT_TRUE(ChooseTrayItem(board, 9));
    }
    DWORD code = 99;
    ASSERT_TRUE(copy.WaitExit(10000, &code)) << "way " << way;
    EXPECT_EQ(code, 0u) << "way " << way;
    EXPECT_TRUE(WaitFor([&] { return TrayIconCount() == iconsBefore_; }, 3000)) << "icon left by way " << way;
  }
}

TEST_F(Lifecycle, TrayMenuShowsHidesRebuildsAndExplains) {
  ProgramCopy copy(L"托盘");
  RecordLocation(copy);
  ASSERT_TRUE(copy.Start());
  ASSERT_TRUE(copy.WaitSettled());
  const HWND board = copy.Board();
  ASSERT_TRUE(::IsWindowVisible(board));

  ASSERT_TRUE(ChooseTrayItem(board, 2));  // 最小化界面
  EXPECT_TRUE(WaitFor([&] { return !::IsWindowVisible(board); }));
  ASSERT_TRUE(ChooseTrayItem(board, 2));  // 最小化界面 again: nothing changes
  EXPECT_FALSE(::IsWindowVisible(board));

  // A double click neither opens the menu nor shows the board: by the time a right click posted
  // after it has opened the menu, it has been handled.
  ::PostMessageW(board, kTrayMessage, 1, WM_LBUTTONDBLCLK);
  EXPECT_EQ(velmora::test::OpenMenu(), nullptr);
  ASSERT_TRUE(OpenTrayMenu(board));
  EXPECT_FALSE(::IsWindowVisible(board));
  PressKey(VK_ESCAPE);
  ASSERT_TRUE(WaitFor([] { return velmora::test::OpenMenu() == nullptr; }, 5000));

  // The left button opens the same menu; 显示界面.
  ASSERT_TRUE(ChooseTrayItem(board, 1, WM_LBUTTONUP));
  EXPECT_TRUE(WaitFor([&] { return ::IsWindowVisible(board) != FALSE; }));
  // Minimised (which hides it), then 显示界面: back on the screen, restored.
  ::ShowWindow(board, SW_MINIMIZE);
  EXPECT_TRUE(WaitFor([&] { return !::IsWindowVisible(board); }));
  ASSERT_TRUE(ChooseTrayItem(board, 1));
  EXPECT_TRUE(WaitFor([&] { return ::IsWindowVisible(board) && !::IsIconic(board); }));

  // A click elsewhere closes the menu without choosing anything.
  ASSERT_TRUE(OpenTrayMenu(board));
  ::SetCursorPos(900, 700);
  INPUT click[2] = {};
  click[0].type = click[1].type = INPUT_MOUSE;
  click[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  click[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
  ::SendInput(2, click, sizeof(INPUT));
  EXPECT_TRUE(WaitFor([] { return velmora::test::OpenMenu() == nullptr; }, 5000)) << "the menu stayed open";
  EXPECT_TRUE(::IsWindowVisible(board));

  // 更新配置 from the minimised board: rebuilt, and the board is on the screen and restored.
  ::ShowWindow(board, SW_MINIMIZE);
  EXPECT_TRUE(WaitFor([&] { return !::IsWindowVisible(board); }));
  velmora::test::MakeFile(copy / L"音效\\其他音效", L"敲门声.wav");
  ASSERT_TRUE(ChooseTrayItem(board, 5));
  EXPECT_TRUE(WaitFor([&] { return ::IsWindowVisible(board) && !::IsIconic(board); }));
  EXPECT_EQ(ConfigStore(copy.Folder()).ReadValue(L"其他路径", L"1"), copy / L"音效\\其他音效\\敲门声.wav");

  // 软件说明: the instructions, closed by Esc.
  ASSERT_TRUE(ChooseTrayItem(board, 4));
  HWND instructions = nullptr;
  EXPECT_TRUE(WaitFor([&] {
    instructions = velmora::test::FindProcessWindow(copy.ProcessId(), L"VelmoraInstructions");
    return instructions && ::IsWindowVisible(instructions);
  }));
  if (instructions) {
    ::SetForegroundWindow(instructions);
    EXPECT_TRUE(WaitFor([&] { return ::GetForegroundWindow() == instructions; }));
    PressKey(VK_ESCAPE);
    EXPECT_TRUE(WaitFor([&] { return !::IsWindow(instructions); })) << "Esc did not close the instructions";
  }

  // The shell restarted: the icon comes back, and there is still only one.
  ::SendMessageW(board, ::RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
  EXPECT_TRUE(WaitFor([&] { return TrayIconCount() == iconsBefore_ + 1; })) << TrayIconCount();
}

// 监听 right after 音效输出设置 and 麦克风直通 right after 监听, each checked by its own switch.
TEST(TrayMenu, MonitorAndMicAreCheckItemsAfterOutputSettings) {
  for (const auto& [monitorOn, micOn] : {std::pair{false, false}, std::pair{true, false}, std::pair{false, true}}) {
    const velmora::UniqueMenu owned = velmora::app::CreateTrayMenu({monitorOn, micOn});
    HMENU menu = owned.Get();
    std::vector<std::wstring> texts;
    for (int i = 0; i < ::GetMenuItemCount(menu); ++i) {
      wchar_t text[32] = L"";
      ::GetMenuStringW(menu, i, text, 32, MF_BYPOSITION);
      texts.push_back(text);
      EXPECT_EQ((::GetMenuState(menu, i, MF_BYPOSITION) & MF_CHECKED) != 0, (monitorOn && i == 7) || (micOn && i == 8))
          << i;
    }
    EXPECT_EQ(texts, (std::vector<std::wstring>{L"显示界面", L"最小化界面", L"", L"软件设置", L"软件说明", L"更新配置",
                                                L"音效输出设置", L"监听", L"麦克风直通", L"退出"}));
    EXPECT_EQ(::GetMenuItemID(menu, 7), static_cast<UINT>(velmora::app::TrayCommand::Monitor));
    EXPECT_EQ(::GetMenuItemID(menu, 8), static_cast<UINT>(velmora::app::TrayCommand::Mic));
  }
}

// 监听 in the running program: started with it as stored (an effect is heard on the monitor's
// sink as well), checked in the menu as stored, and switched by choosing it.
TEST_F(Lifecycle, TrayMonitorItemShowsAndSwitchesTheStoredMonitor) {
  ASSERT_TRUE(FindSinks()) << "run the tests through scripts/test.sh";
  const int sinkA = sinkA_, sinkB = sinkB_;
  ProgramCopy copy(L"监听");
  ConfigStore store(copy.Folder());
  RecordWithF9(copy, store, sinkA, 1.0);
  store.WriteValue(L"监听", L"开关", L"真");
  store.WriteValue(L"监听", L"id", std::to_wstring(sinkB));
  ASSERT_TRUE(copy.Start());
  ASSERT_TRUE(copy.WaitSettled());
  const HWND board = copy.Board();

  for (const bool on : {true, false}) {
    EXPECT_EQ(TrayMenuCheckedLine(board, on ? 6 : -1), on ? 6 : -1) << "监听 is the seventh line";

    // The effect of F9: always on the output, on the monitor only when on.
    velmora::test::SinkRecording outputSink("velmora_a");
    velmora::test::SinkRecording monitorSink("velmora_b");
    ASSERT_TRUE(PressOnBoard(board, "F9"));
    EXPECT_GE(velmora::test::FirstAbove(outputSink.WaitForSound(0.05, 4410), 0.05), 0) << "the effect did not play";
    const std::vector<float> heard = monitorSink.WaitForSound(0.05, 4410, on ? 4000 : 500);
    EXPECT_EQ(velmora::test::FirstAbove(heard, 0.05) >= 0, on) << (on ? "the monitor is silent" : "still monitored");

    ASSERT_TRUE(ChooseTrayItem(board, 7));
    EXPECT_TRUE(WaitFor([&] { return store.ReadValue(L"监听", L"开关") == (on ? L"假" : L"真"); }));
  }
}

// 麦克风直通 in the running program: started with it as stored (what the microphone picks up is
// heard on the output device), checked in the menu as stored, and switched by choosing it. The
// microphone is sink B's monitor, and this test plays the voice into sink B.
TEST_F(Lifecycle, TrayMicItemShowsAndSwitchesTheStoredMic) {
  const int sinkA = velmora::test::TestSinkDevice(L"VelmoraSinkA");
  const int sinkB = velmora::test::TestSinkDevice(L"VelmoraSinkB");
  const int micB = velmora::test::TestSinkCaptureDevice(L"VelmoraSinkB");
  ASSERT_GE(sinkA, 2) << "run the tests through scripts/test.sh";
  ASSERT_GE(sinkB, 2);
  ASSERT_GE(micB, 2);
  ProgramCopy copy(L"麦克风");
  RecordLocation(copy);
  const std::wstring voice = copy / L"声.wav";
  velmora::test::WriteBytes(voice, velmora::test::ToneWav(1000, 1.0, 0.5));
  ConfigStore store(copy.Folder());
  store.WriteValue(L"id", L"id", std::to_wstring(sinkA));
  store.WriteValue(L"麦克风", L"开关", L"真");
  store.WriteValue(L"麦克风", L"id", std::to_wstring(micB));
  ASSERT_TRUE(copy.Start());
  ASSERT_TRUE(copy.WaitSettled());
  const HWND board = copy.Board();
  velmora::playback::AudioPlayer speaker;
  ASSERT_EQ(velmora::playback::StartAudio(speaker, sinkB), 1);

  for (const bool on : {true, false}) {
    EXPECT_EQ(TrayMenuCheckedLine(board, on ? 7 : -1), on ? 7 : -1) << "麦克风直通 is the eighth line";

    velmora::test::SinkRecording output("velmora_a");
    const velmora::playback::StreamHandle stream = speaker.OpenAndPlay(voice, 1, 0);
    ASSERT_NE(stream, 0u);
    const std::vector<float> heard = output.WaitForSound(0.05, 4410, on ? 4000 : 1500);
    EXPECT_EQ(velmora::test::FirstAbove(heard, 0.05) >= 0, on) << (on ? "the voice is not heard" : "still heard");
    speaker.StopChannel(stream);

    ASSERT_TRUE(ChooseTrayItem(board, 8));
    EXPECT_TRUE(WaitFor([&] { return store.ReadValue(L"麦克风", L"开关") == (on ? L"假" : L"真"); }));
  }
  speaker.ReleaseLibrary();
}

TEST_F(Lifecycle, NoticeIsOnScreenWhileManyFilesAreRebuilt) {
  stamp_.Clear();
  ProgramCopy copy(L"通知");
  for (const wchar_t* folder : {L"音效\\常用音效", L"音效\\气氛音效", L"音效\\其他音效", L"音效\\自定义音效"}) {
    velmora::test::MakeFolders(copy / folder);
    for (int i = 0; i < 2500; ++i) {
      HANDLE file = ::CreateFileW((copy / folder + L"\\音" + std::to_wstring(i) + L".wav").c_str(), GENERIC_WRITE, 0,
                                  nullptr, CREATE_ALWAYS, 0, nullptr);
      ::CloseHandle(file);
    }
  }
  ASSERT_TRUE(copy.Start());
  HWND notice = nullptr;
  ASSERT_TRUE(WaitFor([&] {
    notice = velmora::test::FindProcessWindow(copy.ProcessId(), L"VelmoraNotice");
    return notice && ::IsWindowVisible(notice);
  }, 20000)) << "no notice window";
  // Painted on the screen while the rebuild runs: blue with the red waiting text.
  velmora::test::Capture shot = velmora::test::Capture::OfScreen(notice);
  WaitFor([&] { return (shot = velmora::test::Capture::OfScreen(notice)).At(3, 3) == RGB(0, 0, 255) || !::IsWindow(notice); },
          300);
  EXPECT_EQ(shot.At(3, 3), RGB(0, 0, 255));
  EXPECT_GT(shot.Count(RECT{0, 0, shot.Width(), shot.Height()}, RGB(255, 0, 0)), 30);
  ASSERT_TRUE(copy.WaitSettled(60000));
  EXPECT_EQ(ConfigStore(copy.Folder()).ReadValue(L"自定义路径", L"2500"), copy / L"音效\\自定义音效\\音2499.wav");
}

// The running program with hotkeys on: a key pressed on the X server plays the file stored
// under its name on the chosen device; with hotkeys off nothing is registered.
TEST_F(Lifecycle, HotkeysOfTheRunningProgramPlayOnTheDevice) {
  velmora::playback::AudioPlayer lister;
  int sink = -1;
  for (int n = 2; n < 64 && sink < 0; ++n)
    if (lister.DeviceName(n).find(L"VelmoraSinkA") != std::wstring::npos) sink = n;
  ASSERT_GE(sink, 2) << "run the tests through scripts/test.sh";

  for (bool on : {true, false}) {
    ProgramCopy copy(on ? L"热键开" : L"热键关");
    RecordLocation(copy);
    const std::wstring tone = copy / L"键.wav";
    velmora::test::WriteBytes(tone, velmora::test::ToneWav(1000, 3.0, 0.5));
    ConfigStore store(copy.Folder());
    store.WriteValue(L"id", L"id", std::to_wstring(sink));
    store.WriteValue(L"快捷键", L"F9", tone);
    store.WriteValue(L"快捷键音量", L"F9", L"50");  // the level of the slot F9 was assigned from
    store.WriteValue(L"再按停止", L"开关", L"真");
    if (on) store.WriteValue(L"rj", L"热键开关", L"真");
    ASSERT_TRUE(copy.Start());
    ASSERT_TRUE(copy.WaitSettled());
    EXPECT_EQ(velmora::test::FindProcessWindow(copy.ProcessId(), L"VelmoraHotkeyHost") != nullptr, on);
    velmora::test::SinkRecording heard("velmora_a");
    ASSERT_TRUE(PressOnBoard(copy.Board(), "F9"));
    const std::vector<float> samples = heard.WaitForSound(0.05, 8820, on ? 4000 : 1500);
    const long long onset = velmora::test::FirstAbove(samples, 0.05);
    EXPECT_EQ(onset >= 0, on) << (on ? "F9 played nothing" : "F9 played while off");
    if (onset < 0) continue;
    EXPECT_NEAR(velmora::test::MedianToneAmplitude(samples, 1000, static_cast<size_t>(onset), 4410), 0.25, 0.04);
    // Pressed again while it sounds: it stops.
    ASSERT_TRUE(PressOnBoard(copy.Board(), "F9"));
    velmora::test::SinkRecording("velmora_a").WaitForSilence(0.005, 4410);
    velmora::test::SinkRecording after("velmora_a");
    EXPECT_LT(velmora::test::FirstAbove(after.WaitForSound(0.005, 1, 400), 0.005), 0) << "a second F9 did not stop the effect";
  }
}

// A message box of the program's, or nullptr; its text into `text`.
HWND ProgramBox(DWORD pid, std::wstring* text = nullptr) {
  const HWND box = velmora::test::FindProcessWindow(pid, L"#32770");
  if (box && text) {
    wchar_t buffer[256] = {};
    ::GetWindowTextW(::GetDlgItem(box, 0xFFFF), buffer, 256);  // a message box's text
    *text = buffer;
  }
  return box && ::IsWindowVisible(box) ? box : nullptr;
}

// The road a host takes when the output is pulled out mid-show: chosen in the settings window,
// an effect playing, the sink pulled out (no box for that) and put back, and the next effect is
// heard there; one played while it is gone shows 打开文件失败.
TEST_F(Lifecycle, AnOutputPulledOutMidEffectIsHeardAgainOnceBack) {
  ASSERT_TRUE(FindSinks()) << "run the tests through scripts/test.sh";
  const int sinkA = sinkA_, sinkB = sinkB_;
  ProgramCopy copy(L"插拔");
  ConfigStore store(copy.Folder());
  RecordWithF9(copy, store, sinkA, 3.0);
  ASSERT_TRUE(copy.Start());
  ASSERT_TRUE(copy.WaitSettled());
  const HWND board = copy.Board();
  const DWORD pid = copy.ProcessId();

  // 软件设置 from the tray, sink B picked in its list, the confirmation answered.
  ASSERT_TRUE(OpenTrayMenu(board));
  for (int i = 0; i < 3; ++i) PressKey(VK_DOWN);
  PressKey(VK_RETURN);
  HWND settings = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (settings = velmora::test::FindProcessWindow(pid, L"VelmoraSettings")); }));
  HWND combo = nullptr;  // made, and filled, after the window itself
  ASSERT_TRUE(WaitFor([&] {
    combo = ::GetDlgItem(settings, velmora::ui::SettingsWindow::kDeviceCombo);
    return combo && ::SendMessageW(combo, CB_GETCOUNT, 0, 0) > sinkB - 1;
  }));
  ::SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(sinkB - 1), 0);
  ::PostMessageW(settings, WM_COMMAND, MAKEWPARAM(velmora::ui::SettingsWindow::kDeviceCombo, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo));
  std::wstring text;
  HWND box = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (box = ProgramBox(pid, &text)); }));
  EXPECT_EQ(text, L"声卡通道设置成功");
  ::PostMessageW(box, WM_COMMAND, IDOK, 0);
  ASSERT_TRUE(WaitFor([&] { return !ProgramBox(pid); }));
  ::PostMessageW(settings, WM_CLOSE, 0, 0);
  ASSERT_TRUE(WaitFor([&] { return !::IsWindow(settings); }));
  EXPECT_EQ(store.ReadValue(L"id", L"id"), std::to_wstring(sinkB));

  velmora::test::SinkRecording playing("velmora_b");
  ASSERT_TRUE(PressOnBoard(board, "F9"));
  ASSERT_GE(velmora::test::FirstAbove(playing.WaitForSound(0.05, 4410), 0.05), 0) << "the effect did not play";
  ASSERT_TRUE(velmora::test::ChangeSoundServer("unplug", "velmora_b"));
  EXPECT_FALSE(WaitFor([&] { return ProgramBox(pid) != nullptr; }, 1500)) << "the pull opened a box";

  // Gone: a play shows the message (once the program has seen the device go).
  ASSERT_TRUE(WaitFor([&] {
    if (!PressOnBoard(board, "F9")) return false;
    return WaitFor([&] { return (box = ProgramBox(pid, &text)); }, 800);
  }, 8000)) << "a play on the pulled device showed nothing";
  EXPECT_EQ(text, L"打开文件失败");
  ::PostMessageW(box, WM_COMMAND, IDOK, 0);
  ASSERT_TRUE(WaitFor([&] { return !ProgramBox(pid); }));

  ASSERT_TRUE(velmora::test::ChangeSoundServer("plug", "velmora_b"));
  velmora::test::SinkRecording back("velmora_b");  // the next effect, as soon as it is back
  ASSERT_TRUE(PressOnBoard(board, "F9"));
  EXPECT_GE(velmora::test::FirstAbove(back.WaitForSound(0.05, 4410, 6000), 0.05), 0) << "not heard once back";
  EXPECT_EQ(ProgramBox(pid), nullptr);
}

// The running program's editor and settings windows, reached as a user reaches them.
TEST_F(Lifecycle, EditorAndSettingsOfTheRunningProgram) {
  ProgramCopy copy(L"窗口");
  RecordLocation(copy);
  ASSERT_TRUE(copy.Start());
  ASSERT_TRUE(copy.WaitSettled());
  const HWND board = copy.Board();
  // Right button on 常用音效按钮2 (page 160, 26 → window 159, 72).
  ::PostMessageW(board, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(200, 100));
  HWND editor = nullptr;
  // Found once it is on the screen with its controls (it exists before they are made).
  ASSERT_TRUE(WaitFor([&] {
    editor = velmora::test::FindProcessWindow(copy.ProcessId(), L"VelmoraEditor");
    return editor && ::IsWindowVisible(editor) && ::GetDlgItem(editor, 103);
  }));
  ::SendMessageW(::GetDlgItem(editor, 101), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"编辑过"));
  ::SendMessageW(::GetDlgItem(editor, 103), BM_CLICK, 0, 0);  // 注册热键
  EXPECT_TRUE(WaitFor([&] { return !::IsWindow(editor); }));
  EXPECT_EQ(ConfigStore(copy.Folder()).ReadValue(L"常用标题", L"2"), L"编辑过");

  // 软件设置 from the tray: a modal settings window, closed by Esc.
  ASSERT_TRUE(OpenTrayMenu(board));
  for (int i = 0; i < 3; ++i) PressKey(VK_DOWN);
  PressKey(VK_RETURN);
  HWND settings = nullptr;
  ASSERT_TRUE(WaitFor([&] { return (settings = velmora::test::FindProcessWindow(copy.ProcessId(), L"VelmoraSettings")); }));
  ::PostMessageW(settings, WM_CLOSE, 0, 0);
  EXPECT_TRUE(WaitFor([&] { return !::IsWindow(settings); }));
  EXPECT_TRUE(copy.Running());
}
