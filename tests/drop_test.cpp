// Files dropped from the shell on the real board: a real HDROP sent as WM_DROPFILES to a real
// MainWindow whose drop goes through the program's own road (ui::DropFilesOnSlot) into a real
// zuboinf.ini, with the real question box and editor. Wine 8 carries no WM_DROPFILES, sent or
// posted, to another process (the handle means nothing there), so the board is in this process.
#include "base/Paths.h"
#include "config/ConfigStore.h"
#include "config/Encoding.h"
#include "hotkeys/Assignment.h"
#include "tests/support/Editors.h"
#include "tests/support/Dialogs.h"
#include "tests/support/Files.h"
#include "tests/support/TempProgramDir.h"
#include "tests/support/WindowCapture.h"
#include "ui/BoardDrop.h"
#include "ui/EditorWindow.h"
#include "ui/MainLayout.h"
#include "ui/MainWindow.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

using velmora::config::EffectSlot;
using velmora::test::Centre;
using velmora::test::PumpMessages;
using velmora::test::WindowText;
using namespace velmora::ui;

namespace {

// The board's actions as the program has them for a drop; the rest does nothing here.
class DropActions final : public BoardActions {
 public:
  DropActions(const velmora::config::ConfigStore& store, MainWindow& board) : store_(store), board_(board) {}
  void DropFiles(EffectSlot slot, std::vector<std::wstring> paths) override {
    dropped.push_back({slot, paths});
    DropFilesOnSlot(store_, board_, velmora::test::Editors(), board_.Hwnd(), slot, paths);
  }
  void PlayEffect(EffectSlot) override {}
  void EditEffect(EffectSlot) override {}
  void StopPlayback() override {}
  void StepVolume(int) override {}
  void OpenOutputSettings() override {}
  void OpenLink(const wchar_t*) override {}

  std::vector<std::pair<EffectSlot, std::vector<std::wstring>>> dropped;

 private:
  const velmora::config::ConfigStore& store_;
  MainWindow& board_;
};

class NoConflicts final : public velmora::hotkeys::ConflictReporter {
 public:
  void HotkeyTaken(const std::wstring&) override {}
};

class DropTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(board_.Create());
    for (UINT_PTR id : {MainWindow::kSlideInTimer, MainWindow::kSlideOutTimer, MainWindow::kRestTimer})
      ::KillTimer(board_.Hwnd(), id);
    ::ShowWindow(board_.Hwnd(), SW_SHOW);
  }
  void TearDown() override {
    if (EditorWindow* open = velmora::test::Editors().Current()) ::DestroyWindow(open->Hwnd());
  }

  POINT ButtonCentre(EffectSlot slot) const {
    for (const EffectButtonDesign& button : EffectButtons())
      if (button.slot == slot) return Centre(board_.Scale().Rect(button.rect, kPageOriginX, kPageOriginY));
    return POINT{};
  }
  POINT ControlCentre(MainControl id) const { return Centre(board_.Scale().Rect(MainControlDesign(id).rect)); }
  void ShowPage(MainControl title) {
    const POINT at = ControlCentre(title);
    ::SendMessageW(board_.Hwnd(), WM_MOUSEMOVE, 0, MAKELPARAM(at.x, at.y));
  }
  // As the shell drops: the message comes with the files and the point, and the board owns the
  // memory from then on.
  void DropAt(const std::vector<std::wstring>& paths, POINT at) {
    HGLOBAL memory = velmora::test::MakeDroppedFiles(paths, at);
    ::SendMessageW(board_.Hwnd(), WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
    EXPECT_EQ(::GlobalFlags(memory), static_cast<UINT>(GMEM_INVALID_HANDLE)) << "the board kept the drop's memory";
  }
  void Drop(const std::vector<std::wstring>& paths, EffectSlot slot) { DropAt(paths, ButtonCentre(slot)); }
  std::wstring Read(const wchar_t* section, const wchar_t* key) const { return store_.ReadValue(section, key); }
  std::string FileBytes() const { return velmora::test::ReadBytes(store_.ConfigFilePath()); }

  velmora::test::TempProgramDir dir_{L"拖放"};
  velmora::config::ConfigStore store_{dir_.Path()};
  DropActions actions_{store_, board_};  // outlives the board, which reports its end to it
  MainWindow board_{actions_};
};

}  // namespace

TEST_F(DropTest, TheButtonUnderThePointOfTheShownPageTakesTheDropWithWholePaths) {
  EXPECT_TRUE(::GetWindowLongW(board_.Hwnd(), GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
  // Longer than MAX_PATH, outside GBK: handed on as the shell gave them.
  const std::wstring deep = L"C:\\" + std::wstring(150, L'长') + L"\\" + std::wstring(150, L'路') + L"\\효과😀.wav";
  Drop({deep, L"C:\\b.wav"}, EffectSlot{1, 7});
  ASSERT_EQ(actions_.dropped.size(), 1u);
  EXPECT_EQ(actions_.dropped[0].first, (EffectSlot{1, 7}));
  EXPECT_EQ(actions_.dropped[0].second, (std::vector<std::wstring>{deep, L"C:\\b.wav"}));
  for (MainControl beside : {MainControl::Stop, MainControl::BottomBar, MainControl::TitleOther})
    DropAt({L"C:\\b.wav"}, ControlCentre(beside));
  EXPECT_EQ(actions_.dropped.size(), 1u) << "a drop beside the buttons was taken";
  ShowPage(MainControl::TitleCustom);
  Drop({L"C:\\b.wav"}, EffectSlot{4, 1});
  ASSERT_EQ(actions_.dropped.size(), 2u);
  EXPECT_EQ(actions_.dropped[1].first, (EffectSlot{4, 1}));
}

TEST_F(DropTest, OneFileTakesTheSlotItsHotkeyFollowsAndAnOpenEditorShowsIt) {
  const std::wstring sounds = dir_ / L"拖来";
  const std::wstring applause = velmora::test::MakeFile(sounds, L"掌声.wav");
  const std::wstring cheers = velmora::test::MakeFile(sounds, L"欢呼.mp3");
  store_.WriteValue(L"常用路径", L"3", L"C:\\旧.wav");
  store_.WriteValue(L"常用标题", L"3", L"旧");
  store_.WriteValue(L"常用快捷键if", L"3", L"F5");
  store_.WriteValue(L"快捷键", L"F5", L"C:\\旧.wav");
  velmora::test::MessageBoxWatcher question(L"信息：");
  Drop({applause}, EffectSlot{1, 3});
  EXPECT_EQ(Read(L"常用路径", L"3"), applause);
  EXPECT_EQ(Read(L"常用标题", L"3"), L"掌声");
  EXPECT_EQ(Read(L"常用快捷键if", L"3"), L"F5");
  EXPECT_EQ(Read(L"快捷键", L"F5"), applause);
  EXPECT_EQ(board_.Caption({1, 3}), L"掌声") << "the board still shows the old caption";

  // An editor open on the slot shows the next drop, so its save keeps the dropped file.
  NoConflicts conflicts;
  EditorWindow* editor = velmora::test::Editors().Open({1, 3}, store_, board_.Hwnd(), conflicts, [] {});
  ASSERT_NE(editor, nullptr);
  Drop({cheers}, EffectSlot{1, 3});
  EXPECT_EQ(WindowText(editor->Control(EditorWindow::kPathEdit)), cheers);
  EXPECT_EQ(WindowText(editor->Control(EditorWindow::kCaptionEdit)), L"欢呼");
  ::SendMessageW(editor->Control(EditorWindow::kSaveButton), BM_CLICK, 0, 0);
  velmora::test::PumpUntil([] { return velmora::test::Editors().Current() == nullptr; });
  EXPECT_EQ(velmora::test::Editors().Current(), nullptr);
  EXPECT_EQ(Read(L"常用路径", L"3"), cheers);
  EXPECT_EQ(Read(L"常用标题", L"3"), L"欢呼");
  EXPECT_EQ(Read(L"快捷键", L"F5"), cheers);
  EXPECT_EQ(question.Count(), 0) << "one file is put where it is aimed, as the editor saves it";
}

TEST_F(DropTest, ANameOutsideGbkIsStoredUnderItsShortPath) {
  const std::wstring korean = velmora::test::MakeFile(dir_ / L"拖来", L"효과.wav");
  ShowPage(MainControl::TitleCustom);
  Drop({korean}, EffectSlot{4, 2});
  const std::wstring stored = Read(L"自定义路径", L"2");
  ASSERT_FALSE(stored.empty());
  EXPECT_NE(stored, korean);
  EXPECT_TRUE(velmora::config::FitsConfigText(stored));
  EXPECT_TRUE(velmora::PathExists(stored)) << "stored as a path that opens nothing";
  // The caption comes from the real name (as far as GBK holds it), not from the short one.
  EXPECT_EQ(Read(L"自定义", L"2"), velmora::config::FromConfigText(velmora::config::ToConfigText(L"효과")));
}

TEST_F(DropTest, SeveralFilesFillThePageFromTheButtonInNameOrder) {
  const std::wstring sounds = dir_ / L"拖来";
  std::vector<std::wstring> files;
  for (const wchar_t* name : {L"10.wav", L"b.mp3", L"2.wav", L"a.txt", L"1.wav"})
    files.push_back(velmora::test::MakeFile(sounds, name));
  store_.WriteValue(L"其他路径", L"20", L"C:\\二十.wav");
  velmora::test::MessageBoxWatcher question(L"信息：");
  ShowPage(MainControl::TitleOther);
  Drop(files, EffectSlot{3, 21});  // page 3 has 24 slots: four of the five fit
  const std::vector<std::pair<std::wstring, std::wstring>> expected = {{sounds + L"\\1.wav", L"1"},
                                                                       {sounds + L"\\2.wav", L"2"},
                                                                       {sounds + L"\\10.wav", L"10"},
                                                                       {sounds + L"\\a.txt", L"a"}};
  for (int i = 0; i < 4; ++i) {
    const std::wstring key = std::to_wstring(21 + i);
    EXPECT_EQ(Read(L"其他路径", key.c_str()), expected[static_cast<size_t>(i)].first) << key;
    EXPECT_EQ(Read(L"其他标题", key.c_str()), expected[static_cast<size_t>(i)].second) << key;
  }
  EXPECT_EQ(board_.Caption({3, 23}), L"10");
  EXPECT_EQ(Read(L"其他路径", L"20"), L"C:\\二十.wav");
  EXPECT_EQ(Read(L"其他路径", L"25"), L"") << "past the page's end";
  EXPECT_EQ(Read(L"自定义路径", L"1"), L"") << "spilled onto the next page";
  EXPECT_EQ(question.Count(), 0) << "nothing was replaced";
}

TEST_F(DropTest, AFolderReplacingFilesIsAskedAboutFirst) {
  const std::wstring folder = dir_ / L"一批";
  for (const wchar_t* name : {L"10鼓.wav", L"9锣.wav", L"1笛.wav"}) velmora::test::MakeFile(folder, name);
  velmora::test::MakeFile(folder + L"\\里层", L"不要.wav");  // the rebuild does not look into sub-folders
  store_.WriteValue(L"喊麦路径", L"2", L"C:\\旧二.wav");
  store_.WriteValue(L"喊麦路径", L"3", L"C:\\旧三.wav");
  store_.WriteValue(L"喊麦快捷键if", L"3", L"F8");
  store_.WriteValue(L"快捷键", L"F8", L"C:\\旧三.wav");
  store_.WriteValue(L"喊麦路径", L"5", L"C:\\旧五.wav");  // beyond the three files: not counted
  const std::string before = FileBytes();
  ShowPage(MainControl::TitleAtmosphere);
  {
    velmora::test::MessageBoxWatcher question(L"信息：");
    question.AnswerWith(IDNO);
    Drop({folder}, EffectSlot{2, 1});  // returns when the box has been answered
    const velmora::test::MessageBoxSeen seen = question.Finish();
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.text, L"替换2个音效？");
    EXPECT_TRUE(seen.yesNo);
    EXPECT_FALSE(seen.hasIcon);
    EXPECT_EQ(seen.owner, board_.Hwnd());
    EXPECT_EQ(FileBytes(), before) << "No writes nothing";
  }
  velmora::test::MessageBoxWatcher question(L"信息：");
  question.AnswerWith(IDYES);
  Drop({folder}, EffectSlot{2, 1});
  ASSERT_TRUE(question.Finish().found);
  const std::wstring drum = folder + L"\\10鼓.wav";
  EXPECT_EQ(Read(L"喊麦路径", L"1"), folder + L"\\1笛.wav");
  EXPECT_EQ(Read(L"喊麦路径", L"2"), folder + L"\\9锣.wav");
  EXPECT_EQ(Read(L"喊麦路径", L"3"), drum);
  EXPECT_EQ(Read(L"喊麦标题", L"3"), L"10鼓");
  EXPECT_EQ(board_.Caption({2, 3}), L"10鼓");
  EXPECT_EQ(Read(L"快捷键", L"F8"), drum) << "the slot's hotkey plays its new file";
  EXPECT_EQ(Read(L"喊麦路径", L"4"), L"");
  EXPECT_EQ(Read(L"喊麦路径", L"5"), L"C:\\旧五.wav");
}
