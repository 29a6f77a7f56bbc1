// Global hotkeys: the key table, the host window with its registrations and dispatch (also with
// real key presses from the X server, through the real audio path), and the assignment rules.
#include "config/ConfigKeys.h"
#include "config/ConfigStore.h"
#include "hotkeys/Assignment.h"
#include "hotkeys/HotkeyHost.h"
#include "hotkeys/HotkeyTable.h"
#include "playback/AudioPlayer.h"
#include "playback/Playback.h"
#include "tests/support/Dialogs.h"
#include "tests/support/Files.h"
#include "tests/support/SinkRecording.h"
#include "tests/support/TempProgramDir.h"
#include "tests/support/WindowCapture.h"

#include <gtest/gtest.h>
#include <windows.h>

using namespace velmora::hotkeys;
using velmora::config::ConfigStore;
using velmora::config::EffectSlot;
using velmora::test::PumpMessages;
using velmora::test::PumpUntil;

namespace {

class RecordingActions : public HotkeyActions {
 public:
  void PlayFile(const std::wstring& path, int slotLevel) override {
    played.push_back(path);
    levels.push_back(slotLevel);
  }
  void StopPlayback() override { ++stops; }
  std::vector<std::wstring> played;
  std::vector<int> levels;
  int stops = 0;
};

int IdentifierOf(const HotkeyHost& host, const std::wstring& name) {
  for (const auto& registration : host.Registrations())
    if (registration.row.name == name) return registration.identifier;
  return -1;
}

class HostTest : public ::testing::Test {
 protected:
  void TearDown() override { hotkeys_.Unload(); }
  HotkeyHost* Load() { return hotkeys_.Load(nullptr); }
  void Press(const HotkeyHost& host, const std::wstring& name) {
    ::SendMessageW(host.Hwnd(), WM_HOTKEY, static_cast<WPARAM>(IdentifierOf(host, name)), 0);
  }

  velmora::test::TempProgramDir dir_{L"热键"};
  ConfigStore store_{dir_.Path()};
  RecordingActions actions_;
  velmora::hotkeys::HotkeySwitch hotkeys_{store_, actions_};
};

// A Wine window with the X focus: Wine hands hotkeys over only then (on Windows they are global).
HWND FocusedWineWindow() {
  HWND window = ::CreateWindowExW(0, L"STATIC", L"velmora-hotkey-focus", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50,
                                  nullptr, nullptr, nullptr, nullptr);
  ::SetForegroundWindow(window);
  velmora::test::PumpUntil([window] { return ::GetForegroundWindow() == window; });
  ::SetCursorPos(25, 25);
  velmora::test::RunHostCommand("xdotool search --name velmora-hotkey-focus windowfocus");
  PumpMessages();
  return window;
}

bool XKey(const char* keys) { return velmora::test::RunHostCommand(std::string("xdotool ") + keys); }

}  // namespace

TEST_F(HostTest, RegistersDispatchesAndCountsIdentifiers) {
  HotkeyHost* host = Load();
  ASSERT_NE(host, nullptr);
  EXPECT_TRUE(hotkeys_.Loaded());
  EXPECT_EQ(Load(), host) << "asking again must not make a second host";
  ASSERT_EQ(host->Registrations().size(), 48u);  // no 键盘 section: the main-keyboard digits
  EXPECT_EQ(host->Registrations().front().identifier, 33001);
  EXPECT_EQ(host->Registrations().back().identifier, 33048);

  store_.WriteValue(L"快捷键", L"F5", L"C:\\音效\\掌声.wav");
  store_.WriteValue(L"快捷键", L"F6", L"无");
  store_.WriteValue(L"快捷键", L"F7", L"");
  store_.WriteValue(L"快捷键", L"b", L"C:\\b.wav");
  store_.WriteValue(L"快捷键音量", L"B", L"40");  // F5 has none: full
  store_.WriteValue(L"快捷键", L"A", L"C:\\a.wav");
  Press(*host, L"F5");
  Press(*host, L"F6");
  Press(*host, L"F7");
  Press(*host, L"F8");
  Press(*host, L"B");
  Press(*host, L"A");
  EXPECT_EQ(actions_.played, (std::vector<std::wstring>{L"C:\\音效\\掌声.wav", L"C:\\b.wav"}));
  EXPECT_EQ(actions_.stops, 1);  // Alt+A stops whatever is stored under "A"
  EXPECT_EQ(actions_.levels, (std::vector<int>{100, 40}));
  // Read at every press: a new assignment works at once.
  store_.WriteValue(L"快捷键", L"F8", L"C:\\new.wav");
  Press(*host, L"F8");
  EXPECT_EQ(actions_.played.back(), L"C:\\new.wav");
  ::SendMessageW(host->Hwnd(), WM_HOTKEY, 12345, 0);  // not ours: ignored
  EXPECT_EQ(actions_.played.size(), 3u);

  // Off and on again: new identifiers from 33049, every key still works.
  hotkeys_.Unload();
  EXPECT_FALSE(hotkeys_.Loaded());
  host = Load();
  ASSERT_NE(host, nullptr);
  EXPECT_EQ(host->Registrations().front().identifier, 33049);
  Press(*host, L"F5");
  EXPECT_EQ(actions_.played.back(), L"C:\\音效\\掌声.wav");
}

TEST_F(HostTest, AKeyHeldElsewhereIsRefusedWithoutHarm) {
  HWND other = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  ASSERT_TRUE(::RegisterHotKey(other, 1, MOD_ALT, 'Q'));
  store_.WriteValue(L"键盘", L"INFO", L"小");
  HotkeyHost* host = Load();
  ASSERT_NE(host, nullptr);
  EXPECT_EQ(host->FailedNames(), (std::vector<std::wstring>{L"Q"}));
  EXPECT_EQ(IdentifierOf(*host, L"Q"), 0);
  EXPECT_NE(IdentifierOf(*host, L"R"), 0);
  EXPECT_EQ(host->Registrations()[13].row.virtualKey, 0x62u);  // keypad 2
  ::UnregisterHotKey(other, 1);
  ::DestroyWindow(other);
}

// Real key presses from the X server reach the host and play through the real audio path.
TEST_F(HostTest, KeysFromTheXServerPlayThroughTheDevice) {
  velmora::playback::AudioPlayer player;
  int sink = -1;
  for (int n = 2; n < 64 && sink < 0; ++n)
    if (player.DeviceName(n).find(L"VelmoraSinkA") != std::wstring::npos) sink = n;
  ASSERT_GE(sink, 2) << "run the tests through scripts/test.sh";
  ASSERT_EQ(velmora::playback::StartAudio(player, sink), 1);
  class Reporter : public velmora::playback::FailureReporter {
   public:
    void OpenFailed() override {}
  } reporter;
  velmora::playback::Playback playback(player, store_, reporter);
  class Forward : public HotkeyActions {
   public:
    explicit Forward(velmora::playback::Playback& p) : playback_(p) {}
    void PlayFile(const std::wstring& path, int slotLevel) override {
      ++plays;
      playback_.PlayHotkeyFile(path, slotLevel);
    }
    void StopPlayback() override {
      ++stops;
      playback_.StopPlayback();
    }
    int plays = 0, stops = 0;

   private:
    velmora::playback::Playback& playback_;
  } forward(playback);

  const std::wstring tone = dir_ / L"键.wav";
  velmora::test::WriteBytes(tone, velmora::test::ToneWav(1000, 3.0, 0.5));
  store_.WriteValue(L"快捷键", L"F5", tone);
  store_.WriteValue(L"快捷键", L"3", tone);
  store_.WriteValue(L"键盘", L"INFO", L"小");
  velmora::hotkeys::HotkeySwitch forwarded(store_, forward);
  ASSERT_NE(forwarded.Load(nullptr), nullptr);
  HWND focus = FocusedWineWindow();

  velmora::test::SinkRecording sink1("velmora_a");
  ASSERT_TRUE(XKey("key F5"));
  PumpUntil([&] { return forward.plays >= 1; });
  EXPECT_EQ(forward.plays, 1);
  EXPECT_GE(velmora::test::FirstAbove(sink1.WaitForSound(0.05, 4410), 0.05), 0) << "F5 played nothing";
  ASSERT_TRUE(XKey("key alt+a"));
  PumpUntil([&] { return forward.stops >= 1; });
  EXPECT_EQ(forward.stops, 1);
  EXPECT_EQ(playback.PlaybackStatus(), velmora::playback::kStatusStopped);

  // Keypad chosen: KP_3 plays "3", the main-keyboard 3 is not taken.
  ASSERT_TRUE(XKey("key KP_3"));
  PumpUntil([&] { return forward.plays >= 2; });
  EXPECT_EQ(forward.plays, 2);
  // The main-keyboard 3, then KP_3 again: once the second has played, the first was handled.
  ASSERT_TRUE(XKey("key 3 KP_3"));
  PumpUntil([&] { return forward.plays >= 3; });
  EXPECT_EQ(forward.plays, 3) << "the main-keyboard 3 played";

  // Held down, the key repeats and restarts the effect each time.
  ASSERT_TRUE(XKey("keydown F5 sleep 1.2 keyup F5"));
  PumpUntil([&] { return forward.plays > 5; });
  EXPECT_GT(forward.plays, 5);
  ::DestroyWindow(focus);
}

TEST(HotkeyAssignment, ConflictCheckAndItsMessage) {
  velmora::test::TempProgramDir dir;
  ConfigStore store(dir.Path());
  store.WriteValue(L"喊麦快捷键if", L"7", L"F1");
  store.WriteValue(L"常用快捷键if", L"3", L"F2");
  EXPECT_EQ(ConflictMessage(L"F1"), L"热键F1已经被其它音效占用");

  MessageBoxConflictReporter boxes;
  {
    // Asked from the window the user works in (the editor): the box is modal over it.
    HWND editor = ::CreateWindowExW(0, L"STATIC", L"editor", WS_POPUP | WS_VISIBLE, 10, 10, 100, 100, nullptr,
                                    nullptr, nullptr, nullptr);
    ::SetForegroundWindow(editor);
    ::SetActiveWindow(editor);
    velmora::test::MessageBoxWatcher watcher(L"信息：");
    EXPECT_TRUE(CheckHotkeyConflict(store, L"F1", EffectSlot{1, 3}, boxes));
    const velmora::test::MessageBoxSeen seen = watcher.Finish();
    EXPECT_TRUE(seen.found);
    EXPECT_EQ(seen.text, L"热键F1已经被其它音效占用");
    EXPECT_FALSE(seen.hasIcon);
    EXPECT_TRUE(seen.onlyOk);
    EXPECT_EQ(seen.owner, editor);
    EXPECT_FALSE(seen.ownerEnabled);
    EXPECT_EQ(watcher.Count(), 1);  // once per pick
    ::DestroyWindow(editor);
  }
  {
    velmora::test::MessageBoxWatcher watcher(L"信息：");
    EXPECT_FALSE(CheckHotkeyConflict(store, L"无", EffectSlot{1, 3}, boxes));
    EXPECT_FALSE(CheckHotkeyConflict(store, L"F2", EffectSlot{1, 3}, boxes)) << "a slot's own key is no conflict";
    // Names are keys of 快捷键, where case does not count.
    EXPECT_TRUE(CheckHotkeyConflict(store, L"f1", EffectSlot{1, 3}, boxes));
    EXPECT_TRUE(CheckHotkeyConflict(store, L"F2", EffectSlot{1, 4}, boxes));
    watcher.Finish();
    EXPECT_EQ(watcher.Count(), 2);
  }
}

TEST(HotkeyAssignment, SavingWritesTheSlotAndTheMap) {
  velmora::test::TempProgramDir dir;
  ConfigStore store(dir.Path());
  const EffectSlot slot{2, 4};
  StoreSlotHotkey(store, slot, L"", L"C:\\x.wav", L"");
  EXPECT_EQ(store.ReadValue(L"喊麦快捷键if", L"4"), L"");
  store.WriteValue(L"喊麦音量", L"4", L"60");
  StoreSlotHotkey(store, slot, L"F3", L"C:\\x.wav", L"");
  EXPECT_EQ(store.ReadValue(L"喊麦快捷键if", L"4"), L"F3");
  EXPECT_EQ(store.ReadValue(L"快捷键", L"F3"), L"C:\\x.wav");
  EXPECT_EQ(store.ReadValue(L"快捷键音量", L"F3"), L"60") << "the hotkey plays at its slot's volume";
  // From F3 to F4: F4 plays the file, F3 is released (no other slot has it).
  StoreSlotHotkey(store, slot, L"F4", L"C:\\x.wav", L"F3");
  EXPECT_EQ(store.ReadValue(L"快捷键", L"F4"), L"C:\\x.wav");
  EXPECT_EQ(store.ReadValue(L"快捷键", L"F3"), L"无");
  // A name another slot still shows is not released.
  store.WriteValue(L"其他快捷键if", L"1", L"F4");
  StoreSlotHotkey(store, slot, L"F5", L"C:\\x.wav", L"F4");
  EXPECT_EQ(store.ReadValue(L"快捷键", L"F4"), L"C:\\x.wav");
  // 无 releases the previous name.
  StoreSlotHotkey(store, slot, L"无", L"C:\\x.wav", L"F5");
  EXPECT_EQ(store.ReadValue(L"喊麦快捷键if", L"4"), L"无");
  EXPECT_EQ(store.ReadValue(L"快捷键", L"F5"), L"无");
  // Typed text is stored as typed.
  StoreSlotHotkey(store, slot, L"a", L"C:\\y.wav", L"无");
  EXPECT_EQ(store.ReadValue(L"喊麦快捷键if", L"4"), L"a");
  EXPECT_EQ(store.ReadValue(L"快捷键", L"a"), L"C:\\y.wav");
  // Names are keys of 快捷键, where case does not count: a typed "f6" elsewhere still holds F6.
  store.WriteValue(L"其他快捷键if", L"2", L"f6");
  StoreSlotHotkey(store, slot, L"F6", L"C:\\z.wav", L"a");
  StoreSlotHotkey(store, slot, L"F7", L"C:\\z.wav", L"F6");
  EXPECT_EQ(store.ReadValue(L"快捷键", L"F6"), L"C:\\z.wav");
  // And the same name in another case is the same key, not one to release.
  StoreSlotHotkey(store, slot, L"f7", L"C:\\z.wav", L"F7");
  EXPECT_EQ(store.ReadValue(L"快捷键", L"F7"), L"C:\\z.wav");
}
