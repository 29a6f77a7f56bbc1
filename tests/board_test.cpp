// The effect board on the real window under Wine: its layout on screen, page switching, the
// marquee, and what its controls do (a click plays through the real audio path).
#include "config/Captions.h"
#include "config/ConfigStore.h"
#include "playback/AudioPlayer.h"
#include "playback/Playback.h"
#include "ui/MainLayout.h"
#include "ui/MainWindow.h"
#include "ui/SmallWindows.h"
#include "ui/VendorLinks.h"
#include "tests/support/Files.h"
#include "tests/support/SinkRecording.h"
#include "tests/support/TempProgramDir.h"
#include "tests/support/WindowCapture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <windows.h>

using namespace velmora::ui;
using velmora::config::EffectSlot;
using velmora::test::Capture;
using velmora::test::Centre;
using velmora::test::PumpMessages;

namespace {

class RecordingActions : public BoardActions {
 public:
  explicit RecordingActions(velmora::playback::Playback& playback) : playback_(playback) {}
  void PlayEffect(EffectSlot slot) override {
    played.push_back(slot);
    playback_.PlayEffect(slot.category, slot.index);
  }
  void EditEffect(EffectSlot slot) override { edited.push_back(slot); }
  void DropFiles(EffectSlot, std::vector<std::wstring>) override {}  // tests/drop_test.cpp
  void StopPlayback() override {
    ++stops;
    playback_.StopPlayback();
  }
  void StepVolume(int delta) override { playback_.StepVolume(delta); }
  void OpenOutputSettings() override { ++settings; }
  void OpenLink(const wchar_t* url) override { links.push_back(url); }
  void BoardDestroyed() override { destroyed = true; }

  std::vector<EffectSlot> played, edited;
  std::vector<std::wstring> links;
  int stops = 0, settings = 0;
  bool destroyed = false;

 private:
  velmora::playback::Playback& playback_;
};

class CountingReporter : public velmora::playback::FailureReporter {
 public:
  void OpenFailed() override { ++failures; }
  int failures = 0;
};

RECT WindowRect(const DesignRect& r, const DpiScale& scale, bool onPage) {
  return onPage ? scale.Rect(r, kPageOriginX, kPageOriginY) : scale.Rect(r);
}

class BoardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(board_.Create());
    // The tests drive the marquee themselves: without its timers nothing moves behind their back.
    for (UINT_PTR id : {MainWindow::kSlideInTimer, MainWindow::kSlideOutTimer, MainWindow::kRestTimer})
      ::KillTimer(board_.Hwnd(), id);
    playback_.HoldVolumeIn(board_);
    ::SetWindowPos(board_.Hwnd(), HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE);
    ::ShowWindow(board_.Hwnd(), SW_SHOW);
    ::UpdateWindow(board_.Hwnd());
  }

  // A real mouse move: the pointer goes there and the window gets what the system sends.
  void MoveMouse(POINT client) {
    POINT screen = client;
    ::ClientToScreen(board_.Hwnd(), &screen);
    ::SetCursorPos(screen.x, screen.y);
    PumpMessages();
  }
  void Send(UINT message, POINT client, WPARAM keys = 0) {
    ::SendMessageW(board_.Hwnd(), message, keys, MAKELPARAM(client.x, client.y));
  }
  void Click(POINT client) {
    Send(WM_MOUSEMOVE, client);
    Send(WM_LBUTTONDOWN, client, MK_LBUTTON);
    Send(WM_LBUTTONUP, client);
  }
  POINT ControlCentre(MainControl id) { return Centre(WindowRect(MainControlDesign(id).rect, board_.Scale(), false)); }
  POINT ButtonCentre(EffectSlot slot) {
    for (const EffectButtonDesign& button : EffectButtons())
      if (button.slot == slot) return Centre(WindowRect(button.rect, board_.Scale(), true));
    return POINT{};
  }

  velmora::test::TempProgramDir dir_{L"面板"};
  velmora::config::ConfigStore store_{dir_.Path()};
  velmora::playback::AudioPlayer player_;
  CountingReporter reporter_;
  velmora::playback::Playback playback_{player_, store_, reporter_};
  RecordingActions actions_{playback_};
  MainWindow board_{actions_};
};

}  // namespace

TEST_F(BoardTest, ColoursOnScreenFollowTheTables) {
  const DpiScale& scale = board_.Scale();
  const Capture shot = Capture::OfClient(board_.Hwnd());
  ASSERT_EQ(shot.Width(), scale(kBoardWidth));
  ASSERT_EQ(shot.Height(), scale(kBoardHeight));
  // Title bar, the board background between the pages and the divider, the divider row, the
  // bottom bar, the volume and stop buttons, and every button of page 0.
  EXPECT_EQ(shot.At(scale(2), scale(2)), kBarPurple);
  EXPECT_EQ(shot.At(scale(700), scale(430)), kBoardBackground);
  EXPECT_EQ(shot.At(scale(300), scale(413)), kBarPurple);
  EXPECT_EQ(shot.At(scale(300), scale(412)), kBoardBackground);
  EXPECT_EQ(shot.At(scale(2), scale(476)), kBarPurple);
  EXPECT_EQ(shot.At(scale(580), scale(214)), Rgb(0, 153, 0));
  EXPECT_EQ(shot.At(scale(650), scale(214)), Rgb(255, 6, 74));
  EXPECT_EQ(shot.At(scale(580), scale(284)), Rgb(255, 128, 0));
  for (const EffectButtonDesign& button : EffectButtons()) {
    if (button.slot.category != 1) continue;
    const RECT r = WindowRect(button.rect, scale, true);
    EXPECT_EQ(shot.At(r.left + 2, r.top + 2), button.back) << velmora::config::SlotOrdinal(button.slot);
  }
  // What is on the screen is what the window paints.
  const Capture screen = Capture::OfScreen(board_.Hwnd());
  EXPECT_EQ(screen.At(scale(2), scale(2)), kBarPurple);
  const RECT first = WindowRect(EffectButtons()[0].rect, scale, true);
  EXPECT_EQ(screen.At(first.left + 3, first.top + 3), EffectButtons()[0].back);
}

TEST_F(BoardTest, VolumeCaptionsReadInFull) {
  // The white ink of "音量 +" and "音量 -" spans the two characters and the sign alike.
  const Capture shot = Capture::OfClient(board_.Hwnd());
  auto inkSpan = [&](MainControl id) {
    const RECT r = WindowRect(MainControlDesign(id).rect, board_.Scale(), false);
    int left = r.right, right = r.left;
    for (int y = r.top; y < r.bottom; ++y)
      for (int x = r.left; x < r.right; ++x)
        if (GetRValue(shot.At(x, y)) > 200 && GetGValue(shot.At(x, y)) > 200 && GetBValue(shot.At(x, y)) > 200) {
          left = std::min(left, x);
          right = std::max(right, x);
        }
    return right - left;
  };
  const int plus = inkSpan(MainControl::VolumeUp);
  const int minus = inkSpan(MainControl::VolumeDown);
  EXPECT_GT(plus, board_.Scale()(26));
  EXPECT_GE(minus, plus - board_.Scale()(4)) << "the minus sign is missing";
}

TEST_F(BoardTest, CaptionsFromTheConfigurationWrapAndCentre) {
  // A line break cannot live in an INI line; the two characters "\r\n" written out stand for one.
  store_.WriteValue(L"常用标题", L"2", L"紧张\\r\\n气氛");
  store_.WriteValue(L"常用标题", L"3", L"很长很长很长很长的标题");
  velmora::config::LoadCaptions(store_, board_);
  EXPECT_EQ(board_.Caption({1, 2}), L"紧张\\r\\n气氛");
  EXPECT_EQ(board_.Caption({4, 5}), L"自定义");
  const Capture shot = Capture::OfClient(board_.Hwnd());
  // Rows of button 2 that hold white text: two separate bands, centred around the middle.
  const RECT r = WindowRect(EffectButtons()[1].rect, board_.Scale(), true);
  std::vector<int> textRows;
  for (int y = r.top; y < r.bottom; ++y) {
    if (shot.Count(RECT{r.left, y, r.right, y + 1}, RGB(255, 255, 255)) > 0) textRows.push_back(y);
  }
  ASSERT_FALSE(textRows.empty()) << "no caption drawn";
  int bands = 1;
  for (size_t i = 1; i < textRows.size(); ++i) bands += textRows[i] > textRows[i - 1] + 1;
  EXPECT_EQ(bands, 2) << "\\r\\n must start a second line";
  const int middle = (textRows.front() + textRows.back()) / 2;
  EXPECT_NEAR(middle, (r.top + r.bottom) / 2, 3);
  // A long caption wraps inside its 60 x 60 button instead of spilling over its neighbours.
  const RECT narrow = WindowRect(EffectButtons()[2].rect, board_.Scale(), true);
  EXPECT_EQ(shot.Count(RECT{narrow.right, narrow.top, narrow.right + board_.Scale()(10), narrow.bottom},
                       RGB(255, 255, 255)),
            0);
}

TEST_F(BoardTest, HoveringTitlesSwitchesPagesAndHighlights) {
  EXPECT_EQ(board_.CurrentPage(), 0);
  for (int page = 0; page < 4; ++page) EXPECT_EQ(board_.TitleBack(page), kBarPurple);  // none yet
  // Across the titles from left to right with the real pointer.
  for (int page = 0; page < 4; ++page) {
    MoveMouse(ControlCentre(TitleForPage(page)));
    EXPECT_EQ(board_.CurrentPage(), page);
  }
  for (int page = 0; page < 3; ++page) EXPECT_EQ(board_.TitleBack(page), kBarPurple);
  EXPECT_EQ(board_.TitleBack(3), kHighlight);
  // Leaving a title changes nothing; page 3's buttons are on screen, page 0's are not.
  MoveMouse(POINT{board_.Scale()(300), board_.Scale()(430)});
  EXPECT_EQ(board_.CurrentPage(), 3);
  const Capture shot = Capture::OfClient(board_.Hwnd());
  const RECT title = WindowRect(MainControlDesign(MainControl::TitleCustom).rect, board_.Scale(), false);
  EXPECT_EQ(shot.At(title.left + 2, title.top + 2), kHighlight);
  for (const EffectButtonDesign& button : EffectButtons()) {
    if (button.slot.category != 4) continue;
    const RECT r = WindowRect(button.rect, board_.Scale(), true);
    EXPECT_EQ(shot.At(r.left + 2, r.top + 2), button.back);
  }
  // A control of a page that is not shown cannot be clicked: 常用音效按钮1's place is empty now.
  EffectSlot slot;
  const POINT firstOfPage0 = ButtonCentre({1, 1});
  board_.ControlAt(firstOfPage0.x, firstOfPage0.y, &slot);
  EXPECT_NE(slot, (EffectSlot{1, 1}));
}

TEST_F(BoardTest, ClickPlaysRightButtonEditsAndControlsAct) {
  const std::wstring tone = dir_ / L"掌声.wav";
  velmora::test::WriteBytes(tone, velmora::test::ToneWav(1000, 1.0, 0.5));
  store_.WriteValue(L"常用路径", L"5", tone);
  int sink = -1;
  for (int n = 2; n < 64 && sink < 0; ++n) {
    if (player_.DeviceName(n).find(L"VelmoraSinkA") != std::wstring::npos) sink = n;
  }
  ASSERT_GE(sink, 2) << "run the tests through scripts/test.sh";
  ASSERT_EQ(velmora::playback::StartAudio(player_, sink), 1);

  // The right button opens the editor and plays nothing.
  velmora::test::SinkRecording quiet("velmora_a");
  Send(WM_RBUTTONDOWN, ButtonCentre({1, 5}), MK_RBUTTON);
  EXPECT_EQ(actions_.edited, (std::vector<EffectSlot>{{1, 5}}));
  PumpMessages();
  EXPECT_LT(velmora::test::Peak(quiet.WaitForSamples(13230)), 0.01);  // 300 ms of silence

  // A click plays the slot through the real output.
  velmora::test::SinkRecording heard("velmora_a");
  Click(ButtonCentre({1, 5}));
  EXPECT_EQ(actions_.played, (std::vector<EffectSlot>{{1, 5}}));
  EXPECT_GE(velmora::test::FirstAbove(heard.WaitForSound(0.05, 4410), 0.05), 0) << "nothing came out";
  EXPECT_EQ(playback_.PlaybackStatus(), velmora::playback::kStatusPlaying);

  // Stop (its tooltip appears on hover), volume down and up: the hidden slider holds the level,
  // which the file stores.
  EXPECT_EQ(board_.StopTooltip(), L"");
  Send(WM_MOUSEMOVE, ControlCentre(MainControl::Stop));
  EXPECT_EQ(board_.StopTooltip(), L"Alt+A停止播放音效");
  Click(ControlCentre(MainControl::Stop));
  EXPECT_EQ(actions_.stops, 1);
  EXPECT_EQ(playback_.PlaybackStatus(), velmora::playback::kStatusStopped);
  Click(ControlCentre(MainControl::VolumeDown));
  EXPECT_EQ(board_.Level(), 90);
  Click(ControlCentre(MainControl::VolumeUp));
  Click(ControlCentre(MainControl::VolumeUp));
  EXPECT_EQ(board_.Level(), 100);
  EXPECT_EQ(store_.ReadValue(L"idv", L"v"), L"100");
  board_.SetLevel(110);
  EXPECT_EQ(board_.Level(), 100);
  board_.SetLevel(-10);
  EXPECT_EQ(board_.Level(), 1);

  // The output settings button, the links (press opens, once), the stop tooltip on hover.
  Click(ControlCentre(MainControl::OutputSettings));
  EXPECT_EQ(actions_.settings, 1);
  for (MainControl link : {MainControl::ContactLink, MainControl::WebsiteLink, MainControl::ShopLink})
    Send(WM_LBUTTONDOWN, ControlCentre(link), MK_LBUTTON);
  EXPECT_EQ(actions_.links, (std::vector<std::wstring>{kContactUrl, kWebsiteUrl, kShopUrl}));
  // Pressing a button and letting go elsewhere is no click.
  Send(WM_LBUTTONDOWN, ButtonCentre({1, 5}), MK_LBUTTON);
  Send(WM_LBUTTONUP, ControlCentre(MainControl::Stop));
  EXPECT_EQ(actions_.played.size(), 1u);
}

TEST_F(BoardTest, HoverColoursOfBarButtonsButNotOfEffectButtons) {
  Send(WM_MOUSEMOVE, ControlCentre(MainControl::Close));
  Capture shot = Capture::OfClient(board_.Hwnd());
  POINT close = ControlCentre(MainControl::Close);
  EXPECT_EQ(shot.At(close.x - board_.Scale()(25), close.y), Rgb(255, 0, 0));
  Send(WM_MOUSEMOVE, ControlCentre(MainControl::OutputSettings));
  shot = Capture::OfClient(board_.Hwnd());
  const RECT settings = WindowRect(MainControlDesign(MainControl::OutputSettings).rect, board_.Scale(), false);
  EXPECT_EQ(shot.At(settings.left + 2, settings.top + 2), kHighlight);
  EXPECT_EQ(shot.At(close.x - board_.Scale()(25), close.y), kBarPurple);
  Send(WM_MOUSEMOVE, ButtonCentre({1, 2}));
  shot = Capture::OfClient(board_.Hwnd());
  const RECT effect = WindowRect(EffectButtons()[1].rect, board_.Scale(), true);
  EXPECT_EQ(shot.At(effect.left + 2, effect.top + 2), EffectButtons()[1].back);
}

TEST_F(BoardTest, MarqueeCycleOnTheWindow) {
  auto tick = [&](UINT_PTR timer) { ::SendMessageW(board_.Hwnd(), WM_TIMER, timer, 0); };
  EXPECT_EQ(board_.MarqueeState().Caption(), kTipText);
  EXPECT_EQ(board_.MarqueeState().Left(), -310);
  for (int i = 0; i < 34; ++i) tick(MainWindow::kSlideInTimer);
  EXPECT_EQ(board_.MarqueeState().Left(), 30);
  // Resting: the text stands at x = 30 on screen, and the board still answers clicks.
  Capture shot = Capture::OfClient(board_.Hwnd());
  const DpiScale& s = board_.Scale();
  EXPECT_GT(shot.Count(RECT{s(30), s(373), s(340), s(413)}, RGB(255, 255, 255)), 20);
  EXPECT_EQ(shot.Count(RECT{0, s(373), s(29), s(413)}, RGB(255, 255, 255)), 0);
  Click(ButtonCentre({1, 1}));
  EXPECT_EQ(actions_.played.size(), 1u);
  tick(MainWindow::kRestTimer);
  for (int i = 0; i < 34; ++i) tick(MainWindow::kSlideOutTimer);
  EXPECT_EQ(board_.MarqueeState().Left(), -310);
  EXPECT_EQ(board_.MarqueeState().Caption(), std::wstring(L"Velmora淘宝店") + kShopUrl);
  shot = Capture::OfClient(board_.Hwnd());
  EXPECT_EQ(shot.Count(RECT{0, s(373), s(724), s(413)}, RGB(255, 255, 255)), 0);
}

TEST_F(BoardTest, EscapeClosesTheBoard) {
  ::SendMessageW(board_.Hwnd(), WM_KEYDOWN, VK_ESCAPE, 0);
  velmora::test::PumpUntil([&] { return actions_.destroyed; });
  EXPECT_TRUE(actions_.destroyed);
  EXPECT_EQ(board_.Hwnd(), nullptr);
}

TEST_F(BoardTest, ScalesCrisplyAtHigherDpi) {
  for (UINT dpi : {144u, 192u}) {
    RECT suggested{0, 0, ::MulDiv(kBoardWidth, static_cast<int>(dpi), 96), ::MulDiv(kBoardHeight, static_cast<int>(dpi), 96)};
    ::SendMessageW(board_.Hwnd(), 0x02E0 /* WM_DPICHANGED */, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    const DpiScale& scale = board_.Scale();
    ASSERT_EQ(scale.Dpi(), dpi);
    const Capture shot = Capture::OfClient(board_.Hwnd());
    EXPECT_EQ(shot.Width(), suggested.right);
    EXPECT_EQ(shot.Height(), suggested.bottom);
    // Edges land on the scaled design coordinates, one pixel either side.
    const RECT first = WindowRect(EffectButtons()[0].rect, scale, true);
    EXPECT_EQ(shot.At(first.left, first.top), EffectButtons()[0].back);
    EXPECT_EQ(shot.At(first.left - 1, first.top), kBoardBackground);
    EXPECT_EQ(shot.At(first.right - 1, first.bottom - 1), EffectButtons()[0].back);
    EXPECT_EQ(shot.At(first.right, first.bottom - 1), kBoardBackground);
    EXPECT_EQ(shot.At(scale(300), scale(49)), kBarPurple);
    EXPECT_EQ(shot.At(scale(300), scale(413)), kBarPurple);
    // Hit-testing follows: the centre of 常用音效按钮5 at this scale is that button.
    EffectSlot slot;
    const POINT centre = ButtonCentre({1, 5});
    board_.ControlAt(centre.x, centre.y, &slot);
    EXPECT_EQ(slot, (EffectSlot{1, 5}));
  }
}

namespace {

struct Gesture {
  POINT to;
  DWORD boardThread;
  HWND board;
  POINT movedTo;  // where the board's top left goes when the press drags it
};

bool InMoveLoop(DWORD thread) {
  GUITHREADINFO info{};
  info.cbSize = sizeof(info);
  return ::GetGUIThreadInfo(thread, &info) && (info.flags & GUI_INMOVESIZE) != 0;
}

// Press, move to `to`, let go: what a user's drag sends, each step once the board has taken the
// one before (the press: it is dragging, or holds the mouse for a button; the move: a dragged
// board is there).
DWORD WINAPI FeedDrag(LPVOID param) {
  const Gesture* gesture = static_cast<const Gesture*>(param);
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  ::SendInput(1, &input, sizeof(INPUT));
  velmora::test::WaitFor([gesture] { return velmora::test::PressTaken(gesture->boardThread); }, 2000);
  ::SetCursorPos(gesture->to.x, gesture->to.y);  // exact, where relative moves get accelerated
  velmora::test::WaitFor([gesture] {
    RECT now;
    ::GetWindowRect(gesture->board, &now);
    return !InMoveLoop(gesture->boardThread) || (now.left == gesture->movedTo.x && now.top == gesture->movedTo.y);
  }, 2000);
  input.mi.dwFlags = MOUSEEVENTF_LEFTUP;
  ::SendInput(1, &input, sizeof(INPUT));
  return 0;
}

}  // namespace

TEST_F(BoardTest, DraggingByTitleOrBackgroundMovesTheBoardButtonsDoNot) {
  // The press starts the system's move loop, which runs until the button comes up: the input is
  // fed from another thread while this one keeps handling messages.
  auto drag = [&](POINT from, int dx, int dy) {
    POINT screen = from;
    ::ClientToScreen(board_.Hwnd(), &screen);
    ::SetCursorPos(screen.x, screen.y);
    PumpMessages();
    RECT start;
    ::GetWindowRect(board_.Hwnd(), &start);
    Gesture gesture{POINT{screen.x + dx, screen.y + dy}, ::GetCurrentThreadId(), board_.Hwnd(),
                    POINT{start.left + dx, start.top + dy}};
    HANDLE feeder = ::CreateThread(nullptr, 0, FeedDrag, &gesture, 0, nullptr);
    velmora::test::PumpUntil([feeder] { return ::WaitForSingleObject(feeder, 0) == WAIT_OBJECT_0; }, 10000);
    ::CloseHandle(feeder);
    // The move loop ends with the button: until then the window keeps its place.
    velmora::test::PumpUntil([] { return !velmora::test::PressTaken(::GetCurrentThreadId()); });
    RECT r;
    ::GetWindowRect(board_.Hwnd(), &r);
    return POINT{r.left, r.top};
  };
  const POINT afterTitle = drag(ControlCentre(MainControl::TitleOther), 40, 30);
  EXPECT_EQ(afterTitle.x, 40);
  EXPECT_EQ(afterTitle.y, 30);
  const POINT afterBackground = drag(POINT{board_.Scale()(700), board_.Scale()(430)}, 20, 10);
  EXPECT_EQ(afterBackground.x, 60);
  EXPECT_EQ(afterBackground.y, 40);
  const POINT afterButton = drag(ButtonCentre({1, 3}), 50, 50);
  EXPECT_EQ(afterButton.x, 60) << "an effect button does not move the board";
  EXPECT_EQ(afterButton.y, 40);
}

TEST_F(BoardTest, MinimiseButton) {
  Click(ControlCentre(MainControl::Minimise));
  velmora::test::PumpUntil([&] { return ::IsIconic(board_.Hwnd()) != FALSE; });
  EXPECT_TRUE(::IsIconic(board_.Hwnd()));
  // Only the visible part counts: the top 10 design pixels lie above the window.
  EXPECT_EQ(board_.ControlAt(board_.Scale()(630), 0, nullptr), static_cast<int>(MainControl::Minimise));
}

TEST(SmallWindows, NoticeIsPaintedBeforeTheWorkAndGoneAfter) {
  bool ran = false;
  COLORREF background = 0, textSeen = 0;
  int redPixels = 0;
  HWND during = nullptr;
  NoticeWindow::Run([&] {
    ran = true;
    during = ::FindWindowW(NoticeWindow::kClassName, nullptr);
    ASSERT_NE(during, nullptr);
    EXPECT_TRUE(::IsWindowVisible(during));
    const Capture shot = Capture::OfScreen(during);
    background = shot.At(2, 2);
    redPixels = shot.Count(RECT{0, 0, shot.Width(), shot.Height()}, RGB(255, 0, 0));
    textSeen = redPixels > 0 ? RGB(255, 0, 0) : 0;
    RECT client;
    ::GetClientRect(during, &client);
    EXPECT_EQ(client.right, 260);
    EXPECT_EQ(client.bottom, 99);
  });
  EXPECT_TRUE(ran);
  EXPECT_EQ(background, RGB(0, 0, 255));
  EXPECT_GT(redPixels, 30) << "请稍等。。。 was not on the screen while the work ran";
  EXPECT_FALSE(::IsWindow(during));
}

TEST(SmallWindows, InstructionsShowTheTextAndCloseWithOk) {
  const HWND window = InstructionsWindow::Open(false);
  ASSERT_NE(window, nullptr);
  PumpMessages();
  RECT client;
  ::GetClientRect(window, &client);
  EXPECT_EQ(client.right, 466);
  EXPECT_EQ(client.bottom, 316);
  HWND edit = ::FindWindowExW(window, nullptr, L"EDIT", nullptr);
  ASSERT_NE(edit, nullptr);
  const int length = ::GetWindowTextLengthW(edit);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  ::GetWindowTextW(edit, text.data(), length + 1);
  text.resize(static_cast<size_t>(length));
  EXPECT_EQ(text, InstructionsWindow::Text());
  EXPECT_NE(text.find(L"音效辅助软件"), std::wstring::npos);
  EXPECT_NE(text.find(kShopUrl), std::wstring::npos);
  EXPECT_EQ(text.find(L"2."), std::wstring::npos);  // the items go 1, 3, 4, 5, 6, 7
  const Capture shot = Capture::OfClient(window);
  EXPECT_EQ(shot.At(380, 284), Rgb(128, 128, 255));   // 确定
  EXPECT_EQ(shot.At(200, 300), Rgb(0, 0, 128));       // the window's navy
  ::SendMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(410, 292));
  ::SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(410, 292));
  EXPECT_FALSE(::IsWindow(window));
}
