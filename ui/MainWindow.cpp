#include "ui/MainWindow.h"

#include "assets/resource.h"
#include "ui/VendorLinks.h"

#include <windowsx.h>
#include <commctrl.h>

namespace velmora::ui {

namespace {

constexpr wchar_t kClassName[] = L"VelmoraBoard";
constexpr int kSliderId = 100;

std::wstring ShopText() { return std::wstring(L"Velmora淘宝店") + kShopUrl; }

// A caption from the configuration cannot hold a line break (the INI is line based), so the
// written-out sequence "\r\n" stands for one, as in the design captions.
std::wstring DisplayCaption(const std::wstring& caption) {
  std::wstring shown = caption;
  for (size_t at = shown.find(L"\\r\\n"); at != std::wstring::npos; at = shown.find(L"\\r\\n", at + 2))
    shown.replace(at, 4, L"\r\n");
  return shown;
}

bool IsTitle(int control) { return PageForTitle(static_cast<MainControl>(control)) >= 0; }

}  // namespace

MainWindow::MainWindow(BoardActions& actions) : actions_(actions), marquee_(kTipText, ShopText()) {
  titleBacks_.fill(kBarPurple);
  for (size_t i = 0; i < kEffectButtonCount; ++i) captions_[i] = EffectButtons()[i].caption;
}

MainWindow::~MainWindow() = default;

bool MainWindow::Create() {
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_BAR_CLASSES};
  ::InitCommonControlsEx(&controls);
  icon_.Reset(static_cast<HICON>(
      ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON, 48, 48, LR_DEFAULTCOLOR)));
  if (!RegisterClassOnce(kClassName, icon_.Get())) return false;
  ApplyDpi(WindowDpi(nullptr));
  const int width = scale_(kBoardWidth);
  const int height = scale_(kBoardHeight);
  const POINT at = CentredOnScreen(width, height);
  // No frame, no caption, no system menu; WS_EX_APPWINDOW keeps it on the taskbar.
  if (!Window::Create(kClassName, kBoardTitle, WS_POPUP | WS_CLIPCHILDREN, WS_EX_APPWINDOW, at.x, at.y, width, height,
                      nullptr))
    return false;
  // The monitor the window landed on may have another DPI than the primary screen.
  const UINT dpi = WindowDpi(Hwnd());
  if (dpi != scale_.Dpi()) {
    ApplyDpi(dpi);
    ::SetWindowPos(Hwnd(), nullptr, 0, 0, scale_(kBoardWidth), scale_(kBoardHeight), SWP_NOMOVE | SWP_NOZORDER);
  }
  CreateSlider();
  CreateTooltip();
  AcceptDroppedFiles();
  return true;
}

void MainWindow::ApplyDpi(UINT dpi) {
  scale_ = DpiScale(dpi);
  fonts_.SetScale(scale_);
}

void MainWindow::CreateSlider() {
  // Lies below the visible part of the window: it only holds the volume level.
  slider_ = ::CreateWindowExW(0, TRACKBAR_CLASSW, nullptr, WS_CHILD | WS_VISIBLE | TBS_HORZ, scale_(56), scale_(504),
                              scale_(152), scale_(32), Hwnd(), reinterpret_cast<HMENU>(kSliderId),
                              ::GetModuleHandleW(nullptr), nullptr);
  ::SendMessageW(slider_, TBM_SETRANGEMIN, FALSE, playback::kMinVolumeLevel);
  ::SendMessageW(slider_, TBM_SETRANGEMAX, FALSE, playback::kMaxVolumeLevel);
  ::SendMessageW(slider_, TBM_SETPOS, TRUE, playback::kMaxVolumeLevel);
}

void MainWindow::CreateTooltip() {
  tooltip_ = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, Hwnd(), nullptr,
                               ::GetModuleHandleW(nullptr), nullptr);
  TOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;  // understood by every version of the common controls
  tool.uFlags = TTF_SUBCLASS;
  tool.hwnd = Hwnd();
  tool.uId = static_cast<UINT_PTR>(MainControl::Stop);
  tool.rect = scale_.Rect(MainControlDesign(MainControl::Stop).rect);
  tool.lpszText = const_cast<wchar_t*>(L"");
  ::SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void MainWindow::SetCaption(config::EffectSlot slot, const std::wstring& caption) {
  if (!config::IsValidSlot(slot)) return;
  const size_t i = static_cast<size_t>(config::SlotOrdinal(slot));
  if (captions_[i] == caption) return;
  captions_[i] = caption;
  if (Hwnd() && EffectButtons()[i].slot.category == page_ + 1) Invalidate(Hit{kEffectButtonHit, static_cast<int>(i)});
}

std::wstring MainWindow::Caption(config::EffectSlot slot) const {
  return config::IsValidSlot(slot) ? captions_[static_cast<size_t>(config::SlotOrdinal(slot))] : std::wstring();
}

int MainWindow::Level() const {
  return slider_ ? static_cast<int>(::SendMessageW(slider_, TBM_GETPOS, 0, 0)) : playback::kMaxVolumeLevel;
}

void MainWindow::SetLevel(int level) {
  if (slider_) ::SendMessageW(slider_, TBM_SETPOS, TRUE, level);  // the slider keeps it within its range
}

Colour MainWindow::TitleBack(int page) const {
  return page >= 0 && page < 4 ? titleBacks_[static_cast<size_t>(page)] : kBarPurple;
}

MainWindow::Hit MainWindow::HitTest(int x, int y) const {
  const POINT point{x, y};
  const auto& controls = MainControls();
  for (size_t i = kMainControlCount; i-- > 0;) {
    const ControlDesign& design = controls[i];
    if (design.id == static_cast<int>(MainControl::Pages)) {
      // The current page's buttons lie above the container.
      for (size_t b = 0; b < kEffectButtonCount; ++b) {
        const EffectButtonDesign& button = EffectButtons()[b];
        if (button.slot.category != page_ + 1) continue;
        const RECT r = scale_.Rect(button.rect, kPageOriginX, kPageOriginY);
        if (::PtInRect(&r, point)) return Hit{kEffectButtonHit, static_cast<int>(b)};
      }
    }
    const RECT r = HitRect(Hit{design.id, -1});
    if (::PtInRect(&r, point)) return Hit{design.id, -1};
  }
  return Hit{};
}

RECT MainWindow::HitRect(const Hit& hit) const {
  if (hit.control == kEffectButtonHit) {
    if (hit.button < 0 || hit.button >= static_cast<int>(kEffectButtonCount)) return RECT{};
    return scale_.Rect(EffectButtons()[static_cast<size_t>(hit.button)].rect, kPageOriginX, kPageOriginY);
  }
  if (hit.control < 0 || hit.control >= static_cast<int>(kMainControlCount)) return RECT{};
  DesignRect rect = MainControls()[static_cast<size_t>(hit.control)].rect;
  if (hit.control == static_cast<int>(MainControl::Marquee)) rect.x = marquee_.Left();
  return scale_.Rect(rect);
}

int MainWindow::ControlAt(int x, int y, config::EffectSlot* slot) const {
  const Hit hit = HitTest(x, y);
  if (slot) *slot = hit.control == kEffectButtonHit ? EffectButtons()[static_cast<size_t>(hit.button)].slot
                                                    : config::EffectSlot{};
  return hit.control;
}

void MainWindow::Invalidate(const Hit& hit) {
  if (!Hwnd() || hit.control < 0) return;
  const RECT r = HitRect(hit);
  ::InvalidateRect(Hwnd(), &r, FALSE);
}

Colours MainWindow::ColoursFor(const Hit& hit, const ControlDesign& design) const {
  if (IsTitle(design.id)) return Colours{design.normal.text, TitleBack(PageForTitle(static_cast<MainControl>(design.id)))};
  const bool hovered = hover_ == hit || pressed_ == hit;
  switch (design.kind) {
    case ControlKind::ColourButton:
      if (hovered) return design.hover;
      return focused_ == hit ? design.focus : design.normal;
    case ControlKind::HyperlinkLabel:
      return hovered ? Colours{design.hover.text, design.normal.back} : design.normal;
    default:
      return design.normal;
  }
}

void MainWindow::Paint(HDC dc) {
  // The surface's clip is the part that changed (a marquee step repaints only its band), and
  // only that part reaches the screen.
  RECT client;
  ::GetClientRect(Hwnd(), &client);
  const int saved = ::SaveDC(dc);
  ::SelectObject(dc, fonts_.Get(0));
  PaintControl(dc, client, ControlKind::PageContainer, L"", Colours{kWhite, kBoardBackground}, fonts_.Get(0),
               TextAlign::Left);
  for (const ControlDesign& design : MainControls()) {
    const Hit hit{design.id, -1};
    const RECT r = HitRect(hit);
    if (!::RectVisible(dc, &r)) continue;
    std::wstring caption = design.caption;
    if (design.id == static_cast<int>(MainControl::Marquee)) caption = marquee_.Caption();
    if (design.id == static_cast<int>(MainControl::ContactLink)) caption += kContactNumber;
    PaintControl(dc, r, design.kind, caption, ColoursFor(hit, design), fonts_.Get(design.fontHeight), design.align);
    if (design.id != static_cast<int>(MainControl::Pages)) continue;
    const int pageSaved = ::SaveDC(dc);
    ::IntersectClipRect(dc, r.left, r.top, r.right, r.bottom);
    for (size_t b = 0; b < kEffectButtonCount; ++b) {
      const EffectButtonDesign& button = EffectButtons()[b];
      if (button.slot.category != page_ + 1) continue;
      const RECT br = scale_.Rect(button.rect, kPageOriginX, kPageOriginY);
      if (!::RectVisible(dc, &br)) continue;
      PaintControl(dc, br, ControlKind::ColourButton, DisplayCaption(captions_[b]), Colours{kWhite, button.back},
                   fonts_.Get(0),
                   TextAlign::Centre);
    }
    ::RestoreDC(dc, pageSaved);
  }
  ::RestoreDC(dc, saved);
}

void MainWindow::SelectPage(MainControl title) {
  const int page = PageForTitle(title);
  titleBacks_[static_cast<size_t>(page)] = kHighlight;
  page_ = page;
  for (size_t other = 0; other < titleBacks_.size(); ++other) {
    if (static_cast<int>(other) != page && titleBacks_[other] == kHighlight) titleBacks_[other] = kBarPurple;
  }
  ::InvalidateRect(Hwnd(), nullptr, FALSE);
}

void MainWindow::OnMouseMove(int x, int y) {
  if (!trackingLeave_) {
    TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, Hwnd(), 0};
    trackingLeave_ = ::TrackMouseEvent(&track) != FALSE;
  }
  const Hit hit = HitTest(x, y);
  if (IsTitle(hit.control)) SelectPage(static_cast<MainControl>(hit.control));
  if (hit.control == static_cast<int>(MainControl::Stop) && stopTooltip_ != kStopTooltip) {
    stopTooltip_ = kStopTooltip;
    TOOLINFOW tool{};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.hwnd = Hwnd();
    tool.uId = static_cast<UINT_PTR>(MainControl::Stop);
    tool.lpszText = const_cast<wchar_t*>(stopTooltip_.c_str());
    ::SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
  }
  if (hit == hover_) return;
  Invalidate(hover_);
  hover_ = hit;
  Invalidate(hover_);
}

void MainWindow::OnLeftDown(int x, int y) {
  const Hit hit = HitTest(x, y);
  const ControlDesign* design = hit.control >= 0 && hit.control < static_cast<int>(kMainControlCount)
                                ? &MainControls()[static_cast<size_t>(hit.control)]
                                : nullptr;
  if (hit.control < 0 || (design && design->dragsWindow)) {
    // The background and the labels move the window.
    ::ReleaseCapture();
    ::SendMessageW(Hwnd(), WM_NCLBUTTONDOWN, HTCAPTION, 0);
    return;
  }
  if (design && design->kind == ControlKind::HyperlinkLabel) {
    switch (static_cast<MainControl>(hit.control)) {
      case MainControl::ContactLink:
        actions_.OpenLink(kContactUrl);
        break;
      case MainControl::WebsiteLink:
        actions_.OpenLink(kWebsiteUrl);
        break;
      default:
        actions_.OpenLink(kShopUrl);
        break;
    }
    return;
  }
  if (hit.control == kEffectButtonHit || (design && design->kind == ControlKind::ColourButton)) {
    pressed_ = hit;
    ::SetCapture(Hwnd());
    Invalidate(hit);
  }
}

void MainWindow::OnLeftUp(int x, int y) {
  if (pressed_.control < 0) return;
  const Hit pressed = pressed_;
  pressed_ = Hit{};
  ::ReleaseCapture();
  const Hit previousFocus = focused_;
  focused_ = pressed;
  Invalidate(previousFocus);
  Invalidate(pressed);
  if (HitTest(x, y) == pressed) OnClicked(pressed);
}

void MainWindow::OnClicked(const Hit& hit) {
  if (hit.control == kEffectButtonHit) {
    actions_.PlayEffect(EffectButtons()[static_cast<size_t>(hit.button)].slot);
    return;
  }
  switch (static_cast<MainControl>(hit.control)) {
    case MainControl::Minimise:
      ::ShowWindow(Hwnd(), SW_MINIMIZE);
      break;
    case MainControl::Close:
      ::PostMessageW(Hwnd(), WM_CLOSE, 0, 0);
      break;
    case MainControl::VolumeUp:
      actions_.StepVolume(+10);
      break;
    case MainControl::VolumeDown:
      actions_.StepVolume(-10);
      break;
    case MainControl::Stop:
      actions_.StopPlayback();
      break;
    case MainControl::OutputSettings:
      actions_.OpenOutputSettings();
      break;
    default:
      break;
  }
}

void MainWindow::OnRightDown(int x, int y) {
  const Hit hit = HitTest(x, y);
  if (hit.control == kEffectButtonHit) actions_.EditEffect(EffectButtons()[static_cast<size_t>(hit.button)].slot);
}

void MainWindow::AcceptDroppedFiles() {
  ::DragAcceptFiles(Hwnd(), TRUE);
  // Run as administrator, the board would never hear of a drop from Explorer, which runs at a
  // lower integrity level: the system filters out the messages a drop is made of unless the
  // window lets them in. Not elevated there is nothing to let in, so a failure is ignored.
  constexpr UINT kCopyGlobalData = 0x0049;  // WM_COPYGLOBALDATA, which carries the file list
  for (UINT message : {UINT{WM_DROPFILES}, UINT{WM_COPYDATA}, kCopyGlobalData})
    ::ChangeWindowMessageFilterEx(Hwnd(), message, MSGFLT_ALLOW, nullptr);
}

void MainWindow::OnDropFiles(HDROP drop) {
  POINT point{};
  const bool inClient = ::DragQueryPoint(drop, &point) != FALSE;
  std::vector<std::wstring> paths;
  const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    // As long as the shell made it: no MAX_PATH buffer cuts a long path short.
    const UINT length = ::DragQueryFileW(drop, i, nullptr, 0);
    if (length == 0) continue;
    std::wstring path(length, L'\0');
    if (::DragQueryFileW(drop, i, path.data(), length + 1) == length) paths.push_back(std::move(path));
  }
  // The shell's memory goes back before anything is asked or written.
  ::DragFinish(drop);
  const Hit hit = HitTest(point.x, point.y);
  if (!inClient || hit.control != kEffectButtonHit || paths.empty()) return;  // only a button takes files
  actions_.DropFiles(EffectButtons()[static_cast<size_t>(hit.button)].slot, std::move(paths));
}

void MainWindow::OnTimer(UINT_PTR id) {
  const RECT before = HitRect(Hit{static_cast<int>(MainControl::Marquee), -1});
  switch (id) {
    case kSlideInTimer:
      if (marquee_.SlideInTick() == Marquee::Action::StopSlideInStartRest) {
        ::KillTimer(Hwnd(), kSlideInTimer);
        ::SetTimer(Hwnd(), kRestTimer, Marquee::kRestMs, nullptr);
      }
      break;
    case kRestTimer:
      ::KillTimer(Hwnd(), kRestTimer);
      marquee_.RestEnded();
      ::SetTimer(Hwnd(), kSlideOutTimer, 1, nullptr);
      break;
    case kSlideOutTimer:
      if (marquee_.SlideOutTick() == Marquee::Action::StopSlideOutStartSlideIn) {
        ::KillTimer(Hwnd(), kSlideOutTimer);
        ::SetTimer(Hwnd(), kSlideInTimer, 1, nullptr);
      }
      break;
    default:
      return;
  }
  RECT after = HitRect(Hit{static_cast<int>(MainControl::Marquee), -1});
  ::UnionRect(&after, &after, &before);
  ::InvalidateRect(Hwnd(), &after, FALSE);
}

void MainWindow::SetPointerShape() {
  POINT point;
  ::GetCursorPos(&point);
  ::ScreenToClient(Hwnd(), &point);
  const Hit hit = HitTest(point.x, point.y);
  const bool link = hit.control >= 0 && hit.control < static_cast<int>(kMainControlCount) &&
                    MainControls()[static_cast<size_t>(hit.control)].kind == ControlKind::HyperlinkLabel;
  ::SetCursor(::LoadCursorW(nullptr, link ? IDC_HAND : IDC_ARROW));
}

// Rescales the design and moves to the rectangle the system suggests.
void MainWindow::OnDpiChanged(UINT dpi, const RECT& suggested) {
  ApplyDpi(dpi);
  ::SetWindowPos(Hwnd(), nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
  ::SetWindowPos(slider_, nullptr, scale_(56), scale_(504), scale_(152), scale_(32), SWP_NOZORDER);
  TOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.hwnd = Hwnd();
  tool.uId = static_cast<UINT_PTR>(MainControl::Stop);
  tool.rect = scale_.Rect(MainControlDesign(MainControl::Stop).rect);
  ::SendMessageW(tooltip_, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
  ::InvalidateRect(Hwnd(), nullptr, FALSE);
}

void MainWindow::OnDestroy() {
  ::KillTimer(Hwnd(), kSlideInTimer);
  ::KillTimer(Hwnd(), kSlideOutTimer);
  ::KillTimer(Hwnd(), kRestTimer);
  if (tooltip_) ::DestroyWindow(tooltip_);
  tooltip_ = nullptr;
  slider_ = nullptr;
  actions_.BoardDestroyed();
}

LRESULT MainWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  if (message >= WM_APP || message == WM_COMMAND || message == WM_ACTIVATEAPP) {
    LRESULT result = 0;
    if (actions_.BoardMessage(message, wParam, lParam, result)) return result;
  }
  switch (message) {
    case WM_CREATE:
      // The marquee starts before anything else of the start-up.
      marquee_.Start();
      ::SetTimer(Hwnd(), kSlideInTimer, 1, nullptr);
      return 0;
    case WM_MOUSEMOVE:
      OnMouseMove(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
      return 0;
    case WM_MOUSELEAVE:
      trackingLeave_ = false;
      Invalidate(hover_);
      hover_ = Hit{};
      return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      OnLeftDown(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
      return 0;
    case WM_LBUTTONUP:
      OnLeftUp(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
      return 0;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
      OnRightDown(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
      return 0;
    case WM_CAPTURECHANGED:
      if (pressed_.control >= 0 && reinterpret_cast<HWND>(lParam) != Hwnd()) {
        Invalidate(pressed_);
        pressed_ = Hit{};
      }
      return 0;
    case WM_SETCURSOR:
      if (LOWORD(lParam) == HTCLIENT) {
        SetPointerShape();
        return TRUE;
      }
      break;
    case WM_KEYDOWN:
      if (wParam == VK_ESCAPE) {
        ::PostMessageW(Hwnd(), WM_CLOSE, 0, 0);
        return 0;
      }
      break;
    case WM_TIMER:
      OnTimer(wParam);
      return 0;
    case WM_DROPFILES:
      OnDropFiles(reinterpret_cast<HDROP>(wParam));
      return 0;
    case WM_SIZE:
      // Minimised means hidden: only the notification-area icon remains.
      if (wParam == SIZE_MINIMIZED) ::ShowWindow(Hwnd(), SW_HIDE);
      return 0;
    case 0x02E0:  // WM_DPICHANGED
      OnDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
      return 0;
    case WM_DESTROY:
      OnDestroy();
      return 0;
    default:
      break;
  }
  return PaintedWindow::HandleMessage(message, wParam, lParam);
}

}  // namespace velmora::ui
