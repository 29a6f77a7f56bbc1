// The effect editor on the real window: fields from the configuration, saving under the right
// slot, closing without writing, one context, the conflict check, the real file dialog.
#include "base/Paths.h"
#include "config/ConfigStore.h"
#include "config/Encoding.h"
#include "hotkeys/Assignment.h"
#include "hotkeys/HotkeyHost.h"
#include "playback/AudioPlayer.h"
#include "playback/Playback.h"
#include "tests/support/Editors.h"
#include "tests/support/Dialogs.h"
#include "tests/support/SinkRecording.h"
#include "tests/support/Files.h"
#include "tests/support/TempProgramDir.h"
#include "tests/support/WindowCapture.h"
#include "ui/EditorWindow.h"
#include "ui/SmallWindows.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

using velmora::config::ConfigStore;
using velmora::config::EffectSlot;
using velmora::test::PumpMessages;
using velmora::ui::EditorWindow;

namespace {

class CountingConflicts : public velmora::hotkeys::ConflictReporter {
 public:
  void HotkeyTaken(const std::wstring& name) override { taken.push_back(name); }
  std::vector<std::wstring> taken;
};

class EditorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    owner_ = ::CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  }
  void TearDown() override {
    if (EditorWindow* open = velmora::test::Editors().Current()) ::DestroyWindow(open->Hwnd());
    ::DestroyWindow(owner_);
  }
  EditorWindow* Open(EffectSlot slot) {
    return velmora::test::Editors().Open(slot, store_, owner_, conflicts_, [this] { ++saves_; });
  }
  void Click(EditorWindow* editor, EditorWindow::ControlId id) {
    ::SendMessageW(editor->Control(id), BM_CLICK, 0, 0);
    PumpMessages();
  }

  velmora::test::TempProgramDir dir_{L"编辑"};
  ConfigStore store_{dir_.Path()};
  CountingConflicts conflicts_;
  HWND owner_ = nullptr;
  int saves_ = 0;
};

// Types a path into the open-file dialog the editor shows, and presses Open.
struct DialogAnswer {
  std::wstring path;
  bool answered = false;
};

DWORD WINAPI AnswerFileDialog(LPVOID param) {
  auto* answer = static_cast<DialogAnswer*>(param);
  HWND dialog = nullptr, edit = nullptr;
  const bool shown = velmora::test::WaitFor([&] {
    if (!(dialog = velmora::test::FindOwnDialog())) return false;
    HWND name = ::GetDlgItem(dialog, 0x47C);  // the file name combo of the explorer-style dialog
    edit = name ? ::FindWindowExW(name, nullptr, L"Edit", nullptr) : ::GetDlgItem(dialog, 0x480);
    if (!edit) edit = name;
    return edit != nullptr;
  });
  if (!shown) return 0;
  ::SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(answer->path.c_str()));
  velmora::test::WaitFor([&] { return velmora::test::WindowText(edit) == answer->path; }, 2000);
  ::PostMessageW(dialog, WM_COMMAND, IDOK, 0);
  answer->answered = true;
  return 0;
}

}  // namespace

TEST_F(EditorTest, OpensWithStoredFieldsAndSavesUnderItsSlot) {
  // 自定义5 is custom slot 6, whose caption lives in section 自定义.
  store_.WriteValue(L"自定义", L"6", L"旧名字");
  store_.WriteValue(L"自定义路径", L"6", L"C:\\old.wav");
  store_.WriteValue(L"自定义快捷键if", L"6", L"F3");
  EditorWindow* editor = Open({4, 6});
  ASSERT_NE(editor, nullptr);
  RECT client;
  ::GetClientRect(editor->Hwnd(), &client);
  EXPECT_EQ(client.right, 399);
  EXPECT_EQ(client.bottom, 214);
  wchar_t title[32];
  ::GetWindowTextW(editor->Hwnd(), title, 32);
  EXPECT_STREQ(title, L"音效设置");
  EXPECT_EQ(::GetWindow(editor->Hwnd(), GW_OWNER), owner_);
  EXPECT_EQ(velmora::test::WindowText(editor->Control(EditorWindow::kCaptionEdit)), L"旧名字");
  EXPECT_EQ(velmora::test::WindowText(editor->Control(EditorWindow::kPathEdit)), L"C:\\old.wav");
  EXPECT_EQ(velmora::test::WindowText(editor->Control(EditorWindow::kHotkeyCombo)), L"F3");
  EXPECT_EQ(editor->PreviousHotkeyName(), L"F3");
  EXPECT_TRUE(conflicts_.taken.empty()) << "filling the combo runs no check";

  ::SetWindowTextW(editor->Control(EditorWindow::kCaptionEdit), L"新名字");
  ::SetWindowTextW(editor->Control(EditorWindow::kPathEdit), L"D:\\乗\\new.wav");
  ::SetWindowTextW(editor->Control(EditorWindow::kHotkeyCombo), L"F4");
  const HWND window = editor->Hwnd();
  Click(editor, EditorWindow::kSaveButton);
  EXPECT_FALSE(::IsWindow(window));
  EXPECT_EQ(saves_, 1);
  EXPECT_EQ(store_.ReadValue(L"自定义", L"6"), L"新名字");
  EXPECT_EQ(store_.ReadValue(L"自定义路径", L"6"), L"D:\\乗\\new.wav");
  EXPECT_EQ(store_.ReadValue(L"自定义快捷键if", L"6"), L"F4");
  EXPECT_EQ(store_.ReadValue(L"快捷键", L"F4"), L"D:\\乗\\new.wav");
  EXPECT_EQ(store_.ReadValue(L"快捷键", L"F3"), L"无");
}

TEST_F(EditorTest, EmptySlotAndClosingWithoutWriting) {
  EditorWindow* editor = Open({1, 9});
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(velmora::test::WindowText(editor->Control(EditorWindow::kCaptionEdit)), L"");
  EXPECT_EQ(velmora::test::WindowText(editor->Control(EditorWindow::kHotkeyCombo)), L"");
  ::SetWindowTextW(editor->Control(EditorWindow::kCaptionEdit), L"不保存");
  // ×
  ::SendMessageW(editor->Hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(370, 10));
  EXPECT_EQ(velmora::test::Editors().Current(), nullptr);
  EXPECT_FALSE(velmora::PathExists(store_.ConfigFilePath()));
  // Esc while the hotkey list is open is left to the combo box (which closes its list), not
  // taken as closing the window.
  editor = Open({1, 9});
  ASSERT_NE(editor, nullptr);
  HWND combo = editor->Control(EditorWindow::kHotkeyCombo);
  ::SendMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0);
  ASSERT_TRUE(::SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0));
  HWND comboEdit = ::GetWindow(combo, GW_CHILD);
  MSG inList{comboEdit ? comboEdit : combo, WM_KEYDOWN, VK_ESCAPE, 0, 0, {}};
  EXPECT_FALSE(velmora::ui::HandleEscape(inList));
  PumpMessages();
  EXPECT_NE(velmora::test::Editors().Current(), nullptr);
  ::SendMessageW(combo, CB_SHOWDROPDOWN, FALSE, 0);
  MSG listClosed{comboEdit ? comboEdit : combo, WM_KEYDOWN, VK_ESCAPE, 0, 0, {}};
  EXPECT_TRUE(velmora::ui::HandleEscape(listClosed)) << "with the list closed, Esc closes the editor";
  velmora::test::PumpUntil([] { return velmora::test::Editors().Current() == nullptr; });
  EXPECT_EQ(velmora::test::Editors().Current(), nullptr);
  // Esc, with the focus in an edit box.
  editor = Open({1, 9});
  ASSERT_NE(editor, nullptr);
  MSG escape{editor->Control(EditorWindow::kCaptionEdit), WM_KEYDOWN, VK_ESCAPE, 0, 0, {}};
  EXPECT_TRUE(velmora::ui::HandleEscape(escape));
  velmora::test::PumpUntil([] { return velmora::test::Editors().Current() == nullptr; });
  EXPECT_EQ(velmora::test::Editors().Current(), nullptr);
  EXPECT_FALSE(velmora::PathExists(store_.ConfigFilePath()));
  // Saving with an empty combo writes no hotkey at all.
  editor = Open({1, 9});
  ::SetWindowTextW(editor->Control(EditorWindow::kCaptionEdit), L"名");
  Click(editor, EditorWindow::kSaveButton);
  EXPECT_EQ(store_.ReadValue(L"常用标题", L"9"), L"名");
  EXPECT_EQ(store_.ReadValue(L"常用快捷键if", L"9", L"(none)"), L"(none)");
}

TEST_F(EditorTest, ARightClickOnAnotherButtonSwitchesTheOpenEditor) {
  store_.WriteValue(L"常用标题", L"1", L"一");
  store_.WriteValue(L"喊麦标题", L"5", L"五");
  EditorWindow* first = Open({1, 1});
  ::SetWindowTextW(first->Control(EditorWindow::kCaptionEdit), L"没保存的改动");
  EditorWindow* second = Open({2, 5});
  EXPECT_EQ(second, first) << "one editor at a time";
  EXPECT_EQ(second->Slot(), (EffectSlot{2, 5}));
  EXPECT_EQ(velmora::test::WindowText(second->Control(EditorWindow::kCaptionEdit)), L"五");
  ::SetWindowTextW(second->Control(EditorWindow::kCaptionEdit), L"五改");
  Click(second, EditorWindow::kSaveButton);
  EXPECT_EQ(store_.ReadValue(L"喊麦标题", L"5"), L"五改");
  EXPECT_EQ(store_.ReadValue(L"常用标题", L"1"), L"一") << "a save must never write another slot";
}

TEST_F(EditorTest, PickingATakenHotkeyIsRefusedTypingIsNot) {
  store_.WriteValue(L"其他快捷键if", L"2", L"F1");
  store_.WriteValue(L"常用快捷键if", L"1", L"F2");
  EditorWindow* editor = Open({1, 1});
  HWND combo = editor->Control(EditorWindow::kHotkeyCombo);
  auto pick = [&](int item) {
    ::SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(item), 0);
    ::SendMessageW(editor->Hwnd(), WM_COMMAND, MAKEWPARAM(EditorWindow::kHotkeyCombo, CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(combo));
  };
  pick(1);  // F1, held by 其他音效按钮2
  EXPECT_EQ(conflicts_.taken, (std::vector<std::wstring>{L"F1"}));
  EXPECT_EQ(velmora::test::WindowText(combo), L"");
  pick(2);  // F2: this slot's own key
  pick(0);  // 无: never checked
  EXPECT_EQ(conflicts_.taken.size(), 1u);
  // Typed, F1 is accepted and now plays this slot's file.
  ::SetWindowTextW(combo, L"F1");
  ::SetWindowTextW(editor->Control(EditorWindow::kPathEdit), L"C:\\mine.wav");
  Click(editor, EditorWindow::kSaveButton);
  EXPECT_EQ(store_.ReadValue(L"快捷键", L"F1"), L"C:\\mine.wav");
  EXPECT_EQ(store_.ReadValue(L"其他快捷键if", L"2"), L"F1");
}

namespace {
// What a user could do on the board while the conflict box is open: close the editor and
// right-click another effect.
velmora::config::ConfigStore* g_store = nullptr;
velmora::hotkeys::ConflictReporter* g_reporter = nullptr;
HWND g_owner = nullptr;
volatile LONG g_boxSeen = 0;  // the watcher has read the box: closing its owner may begin
volatile LONG g_reopened = 0;  // the timer has closed the editor and opened another
void CALLBACK CloseAndReopen(HWND, UINT, UINT_PTR timer, DWORD) {
  // On a slow machine the box may not be up yet; closing the editor first would take the box
  // with it before anyone saw it.
  if (!g_boxSeen) return;
  ::KillTimer(nullptr, timer);
  if (EditorWindow* open = velmora::test::Editors().Current()) ::DestroyWindow(open->Hwnd());
  velmora::test::Editors().Open({1, 5}, *g_store, g_owner, *g_reporter, nullptr);
  ::InterlockedExchange(&g_reopened, 1);
}
}  // namespace

TEST_F(EditorTest, TheConflictBoxIsModalOverTheEditorAndOutlivesNothing) {
  store_.WriteValue(L"其他快捷键if", L"2", L"F1");
  store_.WriteValue(L"常用标题", L"5", L"第五个");
  velmora::hotkeys::MessageBoxConflictReporter boxes;
  EditorWindow* editor = velmora::test::Editors().Open({1, 1}, store_, owner_, boxes, nullptr);
  ASSERT_NE(editor, nullptr);
  const HWND first = editor->Hwnd();
  ::SetForegroundWindow(first);
  velmora::test::PumpUntil([first] { return ::GetForegroundWindow() == first; });
  g_store = &store_;
  g_reporter = &boxes;
  g_owner = owner_;
  velmora::test::MessageBoxWatcher watcher(L"信息：");
  g_boxSeen = 0;
  g_reopened = 0;
  watcher.WhileShown([] {  // the timer below fires inside the box's loop
    ::InterlockedExchange(&g_boxSeen, 1);
    velmora::test::WaitFor([] { return g_reopened != 0; }, 5000);
  });
  ::SetTimer(nullptr, 0, 100, CloseAndReopen);
  HWND combo = editor->Control(EditorWindow::kHotkeyCombo);
  ::SendMessageW(combo, CB_SETCURSEL, 1, 0);  // F1, held by 其他音效按钮2
  ::SendMessageW(first, WM_COMMAND, MAKEWPARAM(EditorWindow::kHotkeyCombo, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo));
  const velmora::test::MessageBoxSeen seen = watcher.Finish();
  EXPECT_EQ(seen.text, L"热键F1已经被其它音效占用");
  EXPECT_EQ(seen.owner, first);
  EXPECT_FALSE(seen.ownerEnabled);
  // The handler that showed the box returned into an editor that was still there; the new one
  // shows the slot it was opened for.
  EditorWindow* reopened = velmora::test::Editors().Current();
  ASSERT_NE(reopened, nullptr);
  EXPECT_EQ(velmora::test::WindowText(reopened->Control(EditorWindow::kCaptionEdit)), L"第五个");
}

TEST_F(EditorTest, WithHotkeysOffTheComboIsHiddenAndItsNameStillSaved) {
  store_.WriteValue(L"rj", L"热键开关", L"假");
  store_.WriteValue(L"常用快捷键if", L"4", L"F6");
  store_.WriteValue(L"常用路径", L"4", L"C:\\four.wav");
  EditorWindow* editor = Open({1, 4});
  EXPECT_FALSE(::IsWindowVisible(editor->Control(EditorWindow::kHotkeyCombo)));
  EXPECT_FALSE(::IsWindowVisible(editor->Control(EditorWindow::kLabel3)));
  EXPECT_TRUE(::IsWindowVisible(editor->Control(EditorWindow::kSaveButton)));
  Click(editor, EditorWindow::kSaveButton);
  EXPECT_EQ(store_.ReadValue(L"快捷键", L"F6"), L"C:\\four.wav");
}

TEST_F(EditorTest, TheFileDialogTakesAnyFileAndNamesTheEffect) {
  const std::wstring folder = dir_ / L"声音";
  const std::wstring applause = velmora::test::MakeFile(folder, L"掌声.wav");
  const std::wstring dotted = velmora::test::MakeFile(folder, L"a.b.mp3");
  const std::wstring korean = velmora::test::MakeFile(folder, L"한국.ogg");
  EditorWindow* editor = Open({3, 3});
  for (const auto& [chosen, caption] :
       {std::pair{applause, std::wstring(L"掌声")}, std::pair{dotted, std::wstring(L"a")},
        std::pair{korean, std::wstring(L"한국")}}) {
    DialogAnswer answer{chosen};
    HANDLE thread = ::CreateThread(nullptr, 0, AnswerFileDialog, &answer, 0, nullptr);
    Click(editor, EditorWindow::kChooseButton);  // returns when the dialog is gone
    ::WaitForSingleObject(thread, 10000);
    ::CloseHandle(thread);
    ASSERT_TRUE(answer.answered) << "no file dialog";
    const std::wstring stored = velmora::test::WindowText(editor->Control(EditorWindow::kPathEdit));
    EXPECT_TRUE(velmora::config::FitsConfigText(stored));
    EXPECT_TRUE(velmora::PathExists(stored)) << "the path must open after its trip through the INI";
    if (chosen != korean) {
      EXPECT_EQ(stored, chosen);
    }
    EXPECT_EQ(velmora::test::WindowText(editor->Control(EditorWindow::kCaptionEdit)), caption);
  }
  // Choosing a file writes nothing by itself.
  EXPECT_FALSE(velmora::PathExists(store_.ConfigFilePath()));
}

// What the editor saved plays: by the board's click and by the hotkey, through the real device.
TEST_F(EditorTest, SavedSlotPlaysByClickAndByHotkey) {
  velmora::playback::AudioPlayer player;
  const int sink = velmora::test::TestSinkDevice(L"VelmoraSinkA");
  ASSERT_GE(sink, 2) << "run the tests through scripts/test.sh";
  ASSERT_EQ(velmora::playback::StartAudio(player, sink), 1);
  class Silent : public velmora::playback::FailureReporter {
   public:
    void OpenFailed() override {}
  } silent;
  velmora::playback::Playback playback(player, store_, silent);
  const std::wstring tone = dir_ / L"新.wav";
  velmora::test::WriteBytes(tone, velmora::test::ToneWav(1000, 1.0, 0.5));

  EditorWindow* editor = Open({2, 3});
  ::SetWindowTextW(editor->Control(EditorWindow::kPathEdit), tone.c_str());
  ::SetWindowTextW(editor->Control(EditorWindow::kHotkeyCombo), L"F7");
  Click(editor, EditorWindow::kSaveButton);

  velmora::test::SinkRecording byClick("velmora_a");
  playback.PlayEffect(2, 3);
  EXPECT_GE(velmora::test::FirstAbove(byClick.WaitForSound(0.05, 4410), 0.05), 0) << "the click played nothing";
  playback.StopPlayback();

  class Forward : public velmora::hotkeys::HotkeyActions {
   public:
    explicit Forward(velmora::playback::Playback& p) : playback_(p) {}
    void PlayFile(const std::wstring& path, int slotLevel) override { playback_.PlayHotkeyFile(path, slotLevel); }
    void StopPlayback() override { playback_.StopPlayback(); }

   private:
    velmora::playback::Playback& playback_;
  } forward(playback);
  velmora::hotkeys::HotkeySwitch hotkeys(store_, forward);
  velmora::hotkeys::HotkeyHost* host = hotkeys.Load(nullptr);
  ASSERT_NE(host, nullptr);
  int f7 = 0;
  for (const auto& registration : host->Registrations())
    if (registration.row.name == L"F7") f7 = registration.identifier;
  velmora::test::SinkRecording byHotkey("velmora_a");
  ::SendMessageW(host->Hwnd(), WM_HOTKEY, static_cast<WPARAM>(f7), 0);
  EXPECT_GE(velmora::test::FirstAbove(byHotkey.WaitForSound(0.05, 4410), 0.05), 0) << "F7 played nothing";
  hotkeys.Unload();
  player.ReleaseLibrary();
}

// The slot's own volume: shown from the configuration, written by 注册热键 only, and beside the
// hotkey's path for the hotkey; a hotkey name another program holds is marked in the list.
TEST_F(EditorTest, TheSlotsVolumeIsSavedWithItsHotkeyAndARefusedNameIsMarked) {
  store_.WriteValue(L"其他音量", L"4", L"30");
  EditorWindow* editor = Open({3, 4});
  ASSERT_NE(editor, nullptr);
  HWND volume = editor->Control(EditorWindow::kVolume);
  EXPECT_EQ(::SendMessageW(volume, TBM_GETPOS, 0, 0), 30);
  EXPECT_EQ(velmora::test::WindowText(editor->Control(EditorWindow::kVolumeLabel)), L"音效音量:30");
  ::SendMessageW(volume, TBM_SETPOS, TRUE, 70);
  ::SendMessageW(editor->Hwnd(), WM_HSCROLL, TB_THUMBTRACK, reinterpret_cast<LPARAM>(volume));
  EXPECT_EQ(velmora::test::WindowText(editor->Control(EditorWindow::kVolumeLabel)), L"音效音量:70");
  EXPECT_EQ(store_.ReadValue(L"其他音量", L"4"), L"30") << "written before 注册热键";

  // Another program holds F5 (here: this one, on a window of its own).
  HWND holder = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  ASSERT_TRUE(::RegisterHotKey(holder, 1, 0, VK_F5));
  class NoActions : public velmora::hotkeys::HotkeyActions {
    void PlayFile(const std::wstring&, int) override {}
    void StopPlayback() override {}
  } actions;
  velmora::hotkeys::HotkeySwitch hotkeys(store_, actions);
  ASSERT_NE(hotkeys.Load(nullptr), nullptr);
  velmora::test::Editors().SetRefusedNames([&hotkeys] { return hotkeys.FailedNames(); });
  EXPECT_EQ(editor->ListItemLabel(5), L"F5（被占用）");
  EXPECT_EQ(editor->ListItemLabel(6), L"F6");
  // In the dropped list the F5 row is drawn red, the F6 row not.
  HWND combo = editor->Control(EditorWindow::kHotkeyCombo);
  ::SendMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0);
  PumpMessages();
  COMBOBOXINFO info{};
  info.cbSize = sizeof(info);
  ASSERT_TRUE(::GetComboBoxInfo(combo, &info));
  const auto redIn = [&](int item) {
    const velmora::test::Capture list = velmora::test::Capture::OfScreen(info.hwndList);
    RECT row{};
    ::SendMessageW(info.hwndList, LB_GETITEMRECT, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&row));
    int red = 0;
    for (int y = std::max(0L, row.top); y < row.bottom; ++y)
      for (int x = row.left; x < row.right; ++x) {
        const COLORREF c = list.At(x, y);
        red += GetRValue(c) > 150 && GetGValue(c) < 80 && GetBValue(c) < 80;
      }
    return red;
  };
  ::SendMessageW(info.hwndList, LB_SETTOPINDEX, 0, 0);
  velmora::test::PumpUntil([&] { return redIn(5) > 10; });  // on the screen once painted
  EXPECT_GT(redIn(5), 10) << "F5 is not marked";
  EXPECT_EQ(redIn(6), 0);
  ::SendMessageW(combo, CB_SHOWDROPDOWN, FALSE, 0);
  hotkeys.Unload();
  ::UnregisterHotKey(holder, 1);
  ::DestroyWindow(holder);
  velmora::test::Editors().SetRefusedNames(nullptr);

  ::SetWindowTextW(combo, L"F7");
  ::SetWindowTextW(editor->Control(EditorWindow::kPathEdit), L"C:\\效果\\门铃.wav");
  Click(editor, EditorWindow::kSaveButton);
  EXPECT_EQ(store_.ReadValue(L"其他音量", L"4"), L"70");
  EXPECT_EQ(store_.ReadValue(L"快捷键", L"F7"), L"C:\\效果\\门铃.wav");
  EXPECT_EQ(store_.ReadValue(L"快捷键音量", L"F7"), L"70");
}
