// The settings window on the real window: filled from the configuration, its check-box rules,
// device switches moving the sound between the test sinks (and a failed one keeping it), the
// monitor's device list and volume, the microphone's rows, and hotkeys off and on in one run.
#include "config/ConfigStore.h"
#include "hotkeys/HotkeyHost.h"
#include "playback/AudioPlayer.h"
#include "playback/DeviceChoice.h"
#include "app/SettingsController.h"
#include "playback/Playback.h"
#include "tests/support/Dialogs.h"
#include "tests/support/Files.h"
#include "tests/support/SinkRecording.h"
#include "tests/support/TempProgramDir.h"
#include "tests/support/WindowCapture.h"
#include "ui/SettingsWindow.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

using velmora::config::ConfigStore;
using velmora::test::PumpMessages;
using velmora::ui::SettingsWindow;

namespace {

class Silent : public velmora::playback::FailureReporter {
 public:
  void OpenFailed() override { ++failures; }
  int failures = 0;
};

class NoHotkeyActions : public velmora::hotkeys::HotkeyActions {
 public:
  void PlayFile(const std::wstring&, int) override {}
  void StopPlayback() override {}
};

// The program's own behind the window: the real controller, player and hotkeys. The remote
// rows are tried on the running program (remote_test.cpp).
struct ProgramSide {
  ProgramSide(velmora::playback::AudioPlayer& player, const ConfigStore& store)
      : hotkeys(store, noHotkeys), controller(player, store, hotkeys, nullptr, hooks) {}
  NoHotkeyActions noHotkeys;
  velmora::hotkeys::HotkeySwitch hotkeys;
  velmora::app::SettingsController::Hooks hooks{[] { return velmora::ui::RemoteView{}; },
                                                [] { return velmora::ui::RemoteView{}; }, [this] { ++rebuilds; },
                                                [this] { ++instructions; }};
  velmora::app::SettingsController controller;
  int rebuilds = 0, instructions = 0;
};

bool Checked(HWND control) { return ::SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED; }

std::wstring ItemText(HWND combo, int item) {
  std::wstring text(static_cast<size_t>(::SendMessageW(combo, CB_GETLBTEXTLEN, item, 0)), L'\0');
  ::SendMessageW(combo, CB_GETLBTEXT, item, reinterpret_cast<LPARAM>(text.data()));
  return text;
}

using velmora::test::ChildRect;

class SettingsTest : public ::testing::Test {
 protected:
  void TearDown() override {
    if (window_.Hwnd()) ::DestroyWindow(window_.Hwnd());
    side_.hotkeys.Unload();
    player_.ReleaseLibrary();
  }
  void Click(SettingsWindow::ControlId id) {
    ::SendMessageW(window_.Hwnd(), WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                   reinterpret_cast<LPARAM>(window_.Control(id)));
  }
  // Picks device item `index` as the user would, answering the message box; returns its text.
  // The box is modal over the settings window, and the choice is stored before it shows.
  std::wstring PickDevice(int index) {
    velmora::test::MessageBoxWatcher watcher(L"信息：");
    watcher.WhileShown([this] { storedWhileShown_ = store_.ReadValue(L"id", L"id"); });
    HWND combo = window_.Control(SettingsWindow::kDeviceCombo);
    ::SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    ::SendMessageW(window_.Hwnd(), WM_COMMAND, MAKEWPARAM(SettingsWindow::kDeviceCombo, CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(combo));
    const velmora::test::MessageBoxSeen seen = watcher.Finish();
    EXPECT_EQ(watcher.Count(), 1) << "one message per choice";
    EXPECT_FALSE(seen.hasIcon);
    EXPECT_EQ(seen.owner, window_.Hwnd());
    EXPECT_FALSE(seen.ownerEnabled) << "a second pick could start a switch inside the first";
    return seen.text;
  }
  // Picks item `index` of a drop-down list as the user would.
  void PickItem(SettingsWindow::ControlId list, int index) {
    HWND combo = window_.Control(list);
    ::SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    ::SendMessageW(window_.Hwnd(), WM_COMMAND, MAKEWPARAM(list, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
  }
  void PickMonitorItem(int index) { PickItem(SettingsWindow::kMonitorCombo, index); }
  std::wstring Stored(const wchar_t* key) const { return store_.ReadValue(L"监听", key); }
  std::wstring MicStored(const wchar_t* key) const { return store_.ReadValue(L"麦克风", key); }
  std::wstring storedWhileShown_;

  velmora::test::TempProgramDir dir_{L"设置"};
  ConfigStore store_{dir_.Path()};
  velmora::playback::AudioPlayer player_;
  ProgramSide side_{player_, store_};
  velmora::app::SettingsController& actions_ = side_.controller;
  SettingsWindow window_{store_, actions_};
};

}  // namespace

TEST_F(SettingsTest, FillsFromTheConfigurationAndKeepsTheBoxesExclusive) {
  store_.WriteValue(L"rj", L"热键开关", L"真");
  store_.WriteValue(L"更新", L"开关", L"假");
  store_.WriteValue(L"键盘", L"INFO", L"中");  // neither: both unchecked
  ASSERT_TRUE(window_.Open(nullptr));
  HWND combo = window_.Control(SettingsWindow::kDeviceCombo);
  int named = 0;
  for (int n = 1; n <= 128; ++n) named += player_.DeviceName(n) != L"!!!!!!";
  EXPECT_EQ(::SendMessageW(combo, CB_GETCOUNT, 0, 0), named);
  EXPECT_EQ(::SendMessageW(combo, CB_GETCURSEL, 0, 0), CB_ERR) << "no id: nothing selected";
  EXPECT_TRUE(Checked(window_.Control(SettingsWindow::kHotkeysOn)));
  EXPECT_FALSE(Checked(window_.Control(SettingsWindow::kHotkeysOff)));
  EXPECT_TRUE(Checked(window_.Control(SettingsWindow::kManualRebuild)));
  EXPECT_FALSE(Checked(window_.Control(SettingsWindow::kKeypad)));
  EXPECT_FALSE(Checked(window_.Control(SettingsWindow::kMainKeyboard)));
  // The monitor rows lie under the output row: "不监听", then the output list's devices in its
  // order; with nothing stored, not monitoring at full level.
  HWND monitor = window_.Control(SettingsWindow::kMonitorCombo);
  HWND level = window_.Control(SettingsWindow::kMonitorLevel);
  EXPECT_EQ(velmora::test::WindowText(window_.Control(SettingsWindow::kMonitorLabel)), L"监听输出:");
  EXPECT_EQ(velmora::test::WindowText(window_.Control(SettingsWindow::kMonitorLevelLabel)), L"监听音量:");
  const RECT output = ChildRect(combo), monitorRow = ChildRect(monitor), levelRow = ChildRect(level);
  EXPECT_EQ(monitorRow.left, output.left);
  EXPECT_EQ(monitorRow.right, output.right);
  EXPECT_GE(monitorRow.top, output.bottom);
  EXPECT_GE(levelRow.top, monitorRow.bottom);
  EXPECT_LE(levelRow.bottom, ChildRect(window_.Control(SettingsWindow::kHotkeysOn)).top);
  ASSERT_EQ(::SendMessageW(monitor, CB_GETCOUNT, 0, 0), named + 1);
  EXPECT_EQ(ItemText(monitor, 0), L"不监听");
  for (int i = 0; i < named; ++i) EXPECT_EQ(ItemText(monitor, i + 1), ItemText(combo, i));
  EXPECT_EQ(::SendMessageW(monitor, CB_GETCURSEL, 0, 0), 0);
  EXPECT_EQ(::SendMessageW(level, TBM_GETPOS, 0, 0), 100);
  // The microphone's four rows under the monitor's, each below the last and ending where the
  // others end; everything below them, and the window's bottom, lowered by their height. With
  // nothing stored: not used, full level, not to the monitor, no ducking.
  EXPECT_EQ(velmora::test::WindowText(window_.Control(SettingsWindow::kMicLevelLabel)), L"麦克风音量:");
  int bottom = levelRow.bottom;
  for (const auto id : {SettingsWindow::kMicCombo, SettingsWindow::kMicLevel, SettingsWindow::kMicToMonitor,
                        SettingsWindow::kMicDucking}) {
    const RECT row = ChildRect(window_.Control(id));
    EXPECT_GE(row.top, bottom) << id;
    EXPECT_LE(row.right, output.right) << id;
    bottom = row.bottom;
  }
  const auto& scale = window_.Scale();
  RECT client;
  ::GetClientRect(window_.Hwnd(), &client);
  EXPECT_EQ(client.bottom, scale(346 + 64 + 128 + 96));
  EXPECT_EQ(ChildRect(window_.Control(SettingsWindow::kHotkeysOn)).top, scale(144 + 64 + 128 + 96));
  // The remote rows between the microphone's and the hotkeys', within the others' width; with
  // nothing stored, off on the default port without a code.
  EXPECT_EQ(velmora::test::WindowText(window_.Control(SettingsWindow::kRemotePort)), L"39393");
  EXPECT_FALSE(Checked(window_.Control(SettingsWindow::kRemoteOn)));
  EXPECT_EQ(velmora::test::WindowText(window_.Control(SettingsWindow::kRemoteCode)), L"");
  for (const auto id : {SettingsWindow::kRemoteOn, SettingsWindow::kRemotePort, SettingsWindow::kRemoteLan,
                        SettingsWindow::kRemoteCode, SettingsWindow::kRemoteNewCode, SettingsWindow::kRemoteStatus}) {
    const RECT row = ChildRect(window_.Control(id));
    EXPECT_GE(row.top, bottom) << id;
    EXPECT_LE(row.right, output.right) << id;
    EXPECT_LE(row.bottom, ChildRect(window_.Control(SettingsWindow::kHotkeysOn)).top) << id;
  }
  HWND ducking = window_.Control(SettingsWindow::kMicDucking);
  EXPECT_EQ(::SendMessageW(window_.Control(SettingsWindow::kMicCombo), CB_GETCURSEL, 0, 0), 0);
  EXPECT_EQ(::SendMessageW(window_.Control(SettingsWindow::kMicLevel), TBM_GETPOS, 0, 0), 100);
  EXPECT_FALSE(Checked(window_.Control(SettingsWindow::kMicToMonitor)));
  EXPECT_EQ(ItemText(ducking, static_cast<int>(::SendMessageW(ducking, CB_GETCURSEL, 0, 0))), L"不闪避");

  Click(SettingsWindow::kKeypad);
  Click(SettingsWindow::kKeypad);  // already checked: stays checked, written again
  EXPECT_TRUE(Checked(window_.Control(SettingsWindow::kKeypad)));
  EXPECT_EQ(store_.ReadValue(L"键盘", L"INFO"), L"小");
  Click(SettingsWindow::kMainKeyboard);
  EXPECT_FALSE(Checked(window_.Control(SettingsWindow::kKeypad)));
  EXPECT_EQ(store_.ReadValue(L"键盘", L"INFO"), L"大");

  Click(SettingsWindow::kAutoRebuild);
  EXPECT_EQ(store_.ReadValue(L"更新", L"开关"), L"真");
  EXPECT_FALSE(Checked(window_.Control(SettingsWindow::kManualRebuild)));
  Click(SettingsWindow::kAutoRebuild);  // unchecking writes nothing
  EXPECT_FALSE(Checked(window_.Control(SettingsWindow::kAutoRebuild)));
  EXPECT_FALSE(Checked(window_.Control(SettingsWindow::kManualRebuild)));
  EXPECT_EQ(store_.ReadValue(L"更新", L"开关"), L"真");

  // 立即更新配置 and 软件说明 reach the program; 确定并保存 only closes.
  ::SendMessageW(window_.Hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(250, 417 + 96));
  ::SendMessageW(window_.Hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(300, 520 + 96));
  EXPECT_EQ(side_.rebuilds, 1);
  EXPECT_EQ(side_.instructions, 1);
  const std::string before = velmora::test::ReadBytes(store_.ConfigFilePath());
  ::SendMessageW(window_.Hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(400, 520 + 96));
  EXPECT_EQ(window_.Hwnd(), nullptr);
  EXPECT_EQ(velmora::test::ReadBytes(store_.ConfigFilePath()), before);
}

TEST_F(SettingsTest, DeviceSwitchesMoveTheSoundAndAFailedOneKeepsIt) {
  const int sinkA = velmora::test::TestSinkDevice(L"VelmoraSinkA");
  const int sinkB = velmora::test::TestSinkDevice(L"VelmoraSinkB");
  ASSERT_GE(sinkA, 2) << "run the tests through scripts/test.sh";
  ASSERT_GE(sinkB, 2);
  Silent silent;
  velmora::playback::Playback playback(player_, store_, silent);
  const std::wstring tone = dir_ / L"音.wav";
  velmora::test::WriteBytes(tone, velmora::test::ToneWav(1000, 1.0, 0.5));
  store_.WriteValue(L"id", L"id", std::to_wstring(sinkA));
  const unsigned listingsBefore = velmora::audio::EndpointListings();
  ASSERT_TRUE(window_.Open(nullptr));
  EXPECT_EQ(velmora::audio::EndpointListings() - listingsBefore, 2u)
      << "one look at the outputs and one at the microphones per opening";
  EXPECT_EQ(::SendMessageW(window_.Control(SettingsWindow::kDeviceCombo), CB_GETCURSEL, 0, 0), sinkA - 1);

  for (const auto& [device, heard, quiet] : {std::tuple{sinkB, "velmora_b", "velmora_a"},
                                             std::tuple{sinkA, "velmora_a", "velmora_b"}}) {
    EXPECT_EQ(PickDevice(device - 1), L"声卡通道设置成功");
    EXPECT_EQ(storedWhileShown_, std::to_wstring(device));
    EXPECT_EQ(store_.ReadValue(L"id", L"id"), std::to_wstring(device));
    // The switch went to the endpoint the list showed.
    EXPECT_EQ(store_.ReadValue(L"id", L"endpoint"), player_.EndpointId(device));
    EXPECT_NE(store_.ReadValue(L"id", L"endpoint"), L"");
    velmora::test::SinkRecording on(heard);
    velmora::test::SinkRecording off(quiet);
    ASSERT_TRUE(playback.PlayFile(tone));
    EXPECT_GE(velmora::test::FirstAbove(on.WaitForSound(0.05, 4410), 0.05), 0) << "nothing on " << heard;
    EXPECT_LT(velmora::test::Peak(off.Left()), 0.01);
    playback.StopPlayback();
  }

  // The sink goes away between listing and choosing: the message, nothing stored, and the
  // program keeps playing on the device it had.
  ASSERT_TRUE(velmora::test::ChangeSoundServer("unplug", "velmora_b"));
  EXPECT_EQ(PickDevice(sinkB - 1), L"声卡通道设置失败");
  EXPECT_EQ(store_.ReadValue(L"id", L"id"), std::to_wstring(sinkA));
  velmora::test::SinkRecording still("velmora_a");
  EXPECT_TRUE(playback.PlayFile(tone)) << "the failed switch left the program without sound";
  EXPECT_GE(velmora::test::FirstAbove(still.WaitForSound(0.05, 4410), 0.05), 0);
  ASSERT_TRUE(velmora::test::ChangeSoundServer("plug", "velmora_b"));
}

// Item k of the monitor list is device k. A pick is stored and heard on its sink; one that does
// not open says so and is still stored. The level moves in the board's steps of ten.
TEST_F(SettingsTest, MonitorPicksAndLevelAreStoredAsMade) {
  const int sinkA = velmora::test::TestSinkDevice(L"VelmoraSinkA");
  const int sinkB = velmora::test::TestSinkDevice(L"VelmoraSinkB");
  ASSERT_GE(sinkA, 2) << "run the tests through scripts/test.sh";
  ASSERT_GE(sinkB, 2);
  ASSERT_EQ(velmora::playback::StartAudio(player_, sinkA), 1);
  Silent silent;
  velmora::playback::Playback playback(player_, store_, silent);
  const std::wstring tone = dir_ / L"音.wav";
  velmora::test::WriteBytes(tone, velmora::test::ToneWav(1000, 1.0, 0.5));
  store_.WriteValue(L"监听", L"开关", L"真");
  store_.WriteValue(L"监听", L"id", std::to_wstring(sinkB));
  store_.WriteValue(L"监听", L"v", L"40");
  ASSERT_TRUE(window_.Open(nullptr));
  HWND level = window_.Control(SettingsWindow::kMonitorLevel);
  EXPECT_EQ(::SendMessageW(window_.Control(SettingsWindow::kMonitorCombo), CB_GETCURSEL, 0, 0), sinkB);
  EXPECT_EQ(::SendMessageW(level, TBM_GETPOS, 0, 0), 40);

  for (const bool on : {false, true}) {
    velmora::test::MessageBoxWatcher watcher(L"信息：");
    PickMonitorItem(on ? sinkB : 0);
    EXPECT_EQ(Stored(L"开关"), on ? L"真" : L"假");
    velmora::test::SinkRecording monitorSink("velmora_b");
    ASSERT_TRUE(playback.PlayFile(tone));
    const std::vector<float> heard = monitorSink.WaitForSound(0.05, 4410, on ? 4000 : 1500);
    EXPECT_EQ(velmora::test::FirstAbove(heard, 0.05) >= 0, on) << (on ? "the monitor is silent" : "still monitored");
    playback.StopPlayback();
    EXPECT_EQ(watcher.Count(), 0) << "no message for a pick that worked";
  }
  EXPECT_EQ(Stored(L"id"), std::to_wstring(sinkB));
  EXPECT_EQ(Stored(L"endpoint"), player_.EndpointId(sinkB));
  EXPECT_NE(Stored(L"endpoint"), L"");

  // As the keys move it: 40 → 30, down to 10 and then 1 (silence), and up again to 11.
  for (const auto& [key, presses, stored] : {std::tuple{VK_LEFT, 1, L"30"}, std::tuple{VK_LEFT, 2, L"10"},
                                             std::tuple{VK_LEFT, 1, L"1"}, std::tuple{VK_RIGHT, 1, L"11"}}) {
    for (int i = 0; i < presses; ++i) ::SendMessageW(level, WM_KEYDOWN, key, 0);
    EXPECT_EQ(Stored(L"v"), stored);
  }

  // The sink goes away between listing and choosing: the message, and the choice kept.
  PickMonitorItem(0);
  ASSERT_TRUE(velmora::test::ChangeSoundServer("unplug", "velmora_b"));
  velmora::test::MessageBoxWatcher watcher(L"信息：");
  PickMonitorItem(sinkB);
  const velmora::test::MessageBoxSeen seen = watcher.Finish();
  EXPECT_EQ(seen.text, L"监听通道设置失败");
  EXPECT_EQ(seen.owner, window_.Hwnd());
  EXPECT_EQ(Stored(L"开关"), L"真");
  EXPECT_EQ(Stored(L"id"), std::to_wstring(sinkB));
  ASSERT_TRUE(velmora::test::ChangeSoundServer("plug", "velmora_b"));
}

// Item k of the microphone list is capture device k, as for the monitor: a pick opens it and
// 不使用 closes it, one that does not open says so and is still stored. The volume moves in the
// board's steps; the check box and the ducking list write at once.
TEST_F(SettingsTest, MicPicksAndControlsAreStoredAsMade) {
  const int sinkA = velmora::test::TestSinkDevice(L"VelmoraSinkA");
  const int micB = velmora::test::TestSinkCaptureDevice(L"VelmoraSinkB");
  ASSERT_GE(sinkA, 2) << "run the tests through scripts/test.sh";
  ASSERT_GE(micB, 2) << "the test sinks' monitors are the microphones";
  ASSERT_EQ(velmora::playback::StartAudio(player_, sinkA), 1);
  store_.WriteValue(L"麦克风", L"开关", L"真");
  store_.WriteValue(L"麦克风", L"id", std::to_wstring(micB));
  store_.WriteValue(L"麦克风", L"v", L"40");
  store_.WriteValue(L"麦克风", L"监听", L"真");
  store_.WriteValue(L"麦克风", L"闪避", L"14");  // between two items: the lower one shows
  ASSERT_TRUE(window_.Open(nullptr));
  HWND mic = window_.Control(SettingsWindow::kMicCombo);
  HWND level = window_.Control(SettingsWindow::kMicLevel);
  HWND toMonitor = window_.Control(SettingsWindow::kMicToMonitor);
  HWND ducking = window_.Control(SettingsWindow::kMicDucking);
  EXPECT_EQ(::SendMessageW(mic, CB_GETCURSEL, 0, 0), micB);
  EXPECT_NE(ItemText(mic, micB).find(L"VelmoraSinkB"), std::wstring::npos);
  EXPECT_EQ(::SendMessageW(level, TBM_GETPOS, 0, 0), 40);
  EXPECT_TRUE(Checked(toMonitor));
  EXPECT_EQ(ItemText(ducking, static_cast<int>(::SendMessageW(ducking, CB_GETCURSEL, 0, 0))), L"12 dB");

  for (const bool on : {false, true}) {
    velmora::test::MessageBoxWatcher watcher(L"信息：");
    PickItem(SettingsWindow::kMicCombo, on ? micB : 0);
    EXPECT_EQ(MicStored(L"开关"), on ? L"真" : L"假");
    EXPECT_EQ(player_.Engine().InputOpen(), on);
    EXPECT_EQ(watcher.Count(), 0) << "no message for a pick that worked";
  }
  EXPECT_EQ(MicStored(L"id"), std::to_wstring(micB));
  EXPECT_EQ(MicStored(L"endpoint"), player_.CaptureEndpointId(micB));
  EXPECT_NE(MicStored(L"endpoint"), L"");

  // As the keys move it: 40 → 30, down to 1 (silence), and up again to 11.
  for (const auto& [key, presses, stored] :
       {std::tuple{VK_LEFT, 1, L"30"}, std::tuple{VK_LEFT, 3, L"1"}, std::tuple{VK_RIGHT, 1, L"11"}}) {
    for (int i = 0; i < presses; ++i) ::SendMessageW(level, WM_KEYDOWN, key, 0);
    EXPECT_EQ(MicStored(L"v"), stored);
  }
  EXPECT_EQ(Stored(L"v"), L"") << "the monitor's volume is its own";

  for (const bool on : {false, true}) {
    Click(SettingsWindow::kMicToMonitor);
    EXPECT_EQ(Checked(toMonitor), on);
    EXPECT_EQ(MicStored(L"监听"), on ? L"真" : L"假");
  }
  const wchar_t* const depths[] = {L"不闪避", L"6 dB", L"12 dB", L"18 dB", L"24 dB", L"30 dB"};
  ASSERT_EQ(::SendMessageW(ducking, CB_GETCOUNT, 0, 0), 6);
  for (const int item : {5, 1, 2, 3, 4, 0}) {
    EXPECT_EQ(ItemText(ducking, item), depths[item]);
    PickItem(SettingsWindow::kMicDucking, item);
    EXPECT_EQ(MicStored(L"闪避"), std::to_wstring(item * 6));
  }

  // The sink (and so its monitor) goes away between listing and choosing: the message, and
  // the choice kept.
  PickItem(SettingsWindow::kMicCombo, 0);
  ASSERT_TRUE(velmora::test::ChangeSoundServer("unplug", "velmora_b"));
  velmora::test::MessageBoxWatcher watcher(L"信息：");
  PickItem(SettingsWindow::kMicCombo, micB);
  const velmora::test::MessageBoxSeen seen = watcher.Finish();
  EXPECT_EQ(watcher.Count(), 1);
  EXPECT_EQ(seen.text, L"麦克风设置失败");
  EXPECT_EQ(seen.owner, window_.Hwnd());
  EXPECT_FALSE(seen.hasIcon);
  EXPECT_EQ(MicStored(L"开关"), L"真");
  EXPECT_EQ(MicStored(L"id"), std::to_wstring(micB));
  ASSERT_TRUE(velmora::test::ChangeSoundServer("plug", "velmora_b"));
}

// With no microphone found the player's capture list is empty (as after an enumeration that
// failed or found none; under Wine a sound server without sources still shows one), and the
// list still offers 不使用 and the system's default microphone, which may come later.
TEST_F(SettingsTest, WithNoCaptureDeviceTheMicListOffersOffAndTheDefault) {
  class NoneFound : public velmora::app::SettingsController {
   public:
    using SettingsController::SettingsController;
    void RefreshCaptureDevices() override {}
  } actions(player_, store_, side_.hotkeys, nullptr, side_.hooks);
  SettingsWindow window(store_, actions);
  ASSERT_TRUE(window.Open(nullptr));
  HWND mic = window.Control(SettingsWindow::kMicCombo);
  ASSERT_EQ(::SendMessageW(mic, CB_GETCOUNT, 0, 0), 2);
  EXPECT_EQ(ItemText(mic, 0), L"不使用");
  EXPECT_EQ(ItemText(mic, 1), L"系统默认麦克风");
  ::DestroyWindow(window.Hwnd());
}

namespace {
struct SecondAsk {
  velmora::ui::SettingsDialog* dialog = nullptr;
  HWND owner = nullptr;
  int windowsBefore = 0, windowsAfter = 0;
  bool ownerEnabled = true;
} g_ask;

BOOL CALLBACK CountSettings(HWND hwnd, LPARAM count) {
  wchar_t name[32] = {};
  ::GetClassNameW(hwnd, name, 32);
  if (std::wstring(name) == SettingsWindow::kClassName) ++*reinterpret_cast<int*>(count);
  return TRUE;
}

void CALLBACK AskAgainThenClose(HWND, UINT, UINT_PTR timer, DWORD) {
  ::KillTimer(nullptr, timer);
  ::EnumThreadWindows(::GetCurrentThreadId(), CountSettings, reinterpret_cast<LPARAM>(&g_ask.windowsBefore));
  g_ask.ownerEnabled = ::IsWindowEnabled(g_ask.owner) != FALSE;
  g_ask.dialog->Run(g_ask.owner);  // returns at once
  ::EnumThreadWindows(::GetCurrentThreadId(), CountSettings, reinterpret_cast<LPARAM>(&g_ask.windowsAfter));
  ::DestroyWindow(g_ask.dialog->OpenWindow());
}
}  // namespace

TEST_F(SettingsTest, OneModalWindowWhoseOwnerWaits) {
  g_ask.owner = ::CreateWindowExW(0, L"STATIC", L"board", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr,
                                  nullptr, nullptr);
  velmora::ui::SettingsDialog dialog(store_, actions_);
  g_ask.dialog = &dialog;
  ::SetTimer(nullptr, 0, 200, AskAgainThenClose);
  dialog.Run(g_ask.owner);
  EXPECT_EQ(g_ask.windowsBefore, 1);
  EXPECT_EQ(g_ask.windowsAfter, 1) << "asked again, the open window came forward";
  EXPECT_FALSE(g_ask.ownerEnabled);
  EXPECT_TRUE(::IsWindowEnabled(g_ask.owner));
  EXPECT_EQ(dialog.OpenWindow(), nullptr);
  ::DestroyWindow(g_ask.owner);
}

TEST_F(SettingsTest, TheNoteReadsInFullWithinItsLabel) {
  ASSERT_TRUE(window_.Open(nullptr));
  const velmora::test::Capture shot = velmora::test::Capture::OfClient(window_.Hwnd());
  // The note's label is 72 design pixels tall from y = 528; its last line (手动更新配置…) ends
  // in the bottom rows, above the buttons.
  const auto& scale = window_.Scale();
  int white = 0;
  for (int y = scale(528 + 72 - 13); y < scale(528 + 72); ++y)
    for (int x = 0; x < scale(270); ++x) {
      const COLORREF c = shot.At(x, y);
      white += GetRValue(c) > 200 && GetGValue(c) > 200 && GetBValue(c) > 200;
    }
  EXPECT_GT(white, 40) << "the last line of the note is cut off";
}

TEST_F(SettingsTest, HotkeysOffAndOnInOneRunNeverTwoHosts) {
  ASSERT_TRUE(window_.Open(nullptr));
  Click(SettingsWindow::kHotkeysOff);  // not loaded: nothing written
  EXPECT_EQ(store_.ReadValue(L"rj", L"热键开关"), L"");
  Click(SettingsWindow::kHotkeysOn);
  ASSERT_TRUE(side_.hotkeys.Loaded());
  const velmora::hotkeys::HotkeyHost* first = side_.hotkeys.Current();
  const int firstId = first->Registrations().front().identifier;
  Click(SettingsWindow::kHotkeysOn);  // asked again: the same host, nothing registered twice
  EXPECT_EQ(side_.hotkeys.Current(), first);
  EXPECT_EQ(side_.hotkeys.Current()->Registrations().front().identifier, firstId);
  EXPECT_EQ(store_.ReadValue(L"rj", L"热键开关"), L"真");
  Click(SettingsWindow::kHotkeysOff);
  EXPECT_FALSE(side_.hotkeys.Loaded());
  EXPECT_EQ(store_.ReadValue(L"rj", L"热键开关"), L"假");
  Click(SettingsWindow::kHotkeysOn);
  ASSERT_TRUE(side_.hotkeys.Loaded());
  EXPECT_EQ(side_.hotkeys.Current()->Registrations().front().identifier, firstId + 48);
}

// Keys another program holds are listed, and tried again when hotkeys are switched off and on;
// 再按停止 and 音量均衡 are switches of their own.
TEST_F(SettingsTest, RefusedHotkeysAreListedAndTriedAgain) {
  HWND holder = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  ASSERT_TRUE(::RegisterHotKey(holder, 1, 0, VK_F5));
  ASSERT_TRUE(::RegisterHotKey(holder, 2, MOD_ALT, 'Q'));
  ASSERT_TRUE(window_.Open(nullptr));
  HWND list = window_.Control(SettingsWindow::kRefusedHotkeys);
  EXPECT_EQ(velmora::test::WindowText(list), L"");
  Click(SettingsWindow::kHotkeysOn);
  EXPECT_EQ(velmora::test::WindowText(list), L"以下快捷键被其他程序占用：F5、Alt+Q");
  Click(SettingsWindow::kHotkeysOff);
  EXPECT_EQ(velmora::test::WindowText(list), L"") << "nothing is refused while hotkeys are off";
  ::UnregisterHotKey(holder, 1);
  Click(SettingsWindow::kHotkeysOn);
  EXPECT_EQ(velmora::test::WindowText(list), L"以下快捷键被其他程序占用：Alt+Q");
  ::UnregisterHotKey(holder, 2);
  ::DestroyWindow(holder);

  const int registeredBefore = side_.hotkeys.Current()->Registrations().front().identifier;
  Click(SettingsWindow::kPressAgain);
  EXPECT_EQ(store_.ReadValue(L"再按停止", L"开关"), L"真");
  // Registered again, now without the keyboard's repeat.
  EXPECT_EQ(side_.hotkeys.Current()->Registrations().front().identifier, registeredBefore + 48);
  Click(SettingsWindow::kPressAgain);
  EXPECT_EQ(store_.ReadValue(L"再按停止", L"开关"), L"假");
  Click(SettingsWindow::kLeveling);
  EXPECT_EQ(store_.ReadValue(L"均衡", L"开关"), L"真");
  EXPECT_TRUE(Checked(window_.Control(SettingsWindow::kLeveling)));
}

TEST_F(SettingsTest, TheStoredDeviceFollowsItsEndpointWhenNumbersShift) {
  const int sinkB = velmora::test::TestSinkDevice(L"VelmoraSinkB");
  ASSERT_GE(sinkB, 2);
  ASSERT_TRUE(velmora::playback::SwitchOutputDevice(player_, store_, sinkB));
  const std::wstring endpoint = store_.ReadValue(L"id", L"endpoint");
  ASSERT_FALSE(endpoint.empty());
  // Another device took a lower number since: the stored number is stale, the endpoint is not.
  store_.WriteValue(L"id", L"id", std::to_wstring(sinkB + 7));
  EXPECT_EQ(velmora::playback::ResolveStoredDevice(store_), sinkB);
  EXPECT_EQ(store_.ReadValue(L"id", L"id"), std::to_wstring(sinkB));
  // The chosen endpoint is gone: no other device is taken in its place.
  store_.WriteValue(L"id", L"endpoint", L"{0.0.0.00000000}.{no-such-endpoint}");
  EXPECT_EQ(velmora::playback::ResolveStoredDevice(store_), -1);
  // The no-sound and default devices have no endpoint and keep their numbers.
  store_.WriteValue(L"id", L"id", L"1");
  EXPECT_EQ(velmora::playback::ResolveStoredDevice(store_), 1);
}
