#include "ui/SettingsWindow.h"

#include "config/ConfigKeys.h"
#include "config/ConfigStore.h"
#include "ui/SmallWindows.h"

#include <windowsx.h>

namespace velmora::ui {

namespace {

constexpr Colour kBlue = Rgb(0, 96, 192);
constexpr Colour kWhiteText = Rgb(255, 255, 255);
constexpr Colour kPurple = Rgb(88, 48, 224);

struct ButtonDesign {
  SettingsWindow::Button button;
  DesignRect rect;
  const wchar_t* caption;
  Colour back;
  Colour hover;
  int fontHeight;
};

constexpr ButtonDesign kButtons[] = {
    {SettingsWindow::Button::Close, {448, 0, 33, 32}, L"×", kBlue, Rgb(255, 0, 0), 21},
    {SettingsWindow::Button::RebuildNow, {216, 214, 88, 24}, L"立即更新配置", Rgb(144, 0, 255), Rgb(144, 0, 255), 0},
    {SettingsWindow::Button::Instructions, {280, 317, 80, 24}, L"软件说明", kPurple, kPurple, 0},
    {SettingsWindow::Button::Ok, {373, 317, 80, 24}, L"确定并保存", kPurple, kPurple, 0},
};

std::wstring Note() {
  return std::wstring(32, L' ') + L"*注意\r\n\r\n " +
         L"自动更新配置被选择后，在每次启动软件是就会更新配置一次（会清除用户所有设置）\r\n\r\n\r\n " +
         L"手动更新配置被选择后，只有在文件位置发生改变才会更新配置（会清除用户所有设置）";
}

bool Checked(HWND control) { return ::SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED; }
void Check(HWND control, bool on) { ::SendMessageW(control, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0); }

}  // namespace

void ShowInformation(HWND owner, const wchar_t* text) { ::MessageBoxW(owner, text, L"信息：", MB_OK); }

namespace {
HWND g_modalSettings = nullptr;  // UI thread only
}

HWND SettingsWindow::OpenWindow() { return ::IsWindow(g_modalSettings) ? g_modalSettings : nullptr; }

void SettingsWindow::RunModal(const config::ConfigStore& store, SettingsActions& actions, HWND owner) {
  if (HWND open = OpenWindow()) {
    ::SetForegroundWindow(open);
    return;
  }
  SettingsWindow window(store, actions);
  if (owner) ::EnableWindow(owner, FALSE);
  if (window.Open(owner)) {
    g_modalSettings = window.Hwnd();
    RunModalLoop(window.Hwnd());
    g_modalSettings = nullptr;
  }
  if (owner) {
    ::EnableWindow(owner, TRUE);
    ::SetForegroundWindow(owner);
  }
}

bool SettingsWindow::Open(HWND owner) {
  RegisterClassOnce(kClassName, nullptr);
  if (!CreateScaled(kClassName, L"软件设置", WS_POPUP | WS_CLIPCHILDREN, WS_EX_APPWINDOW, 484, 346, owner))
    return false;
  CloseOnEscape(Hwnd());
  ::ShowWindow(Hwnd(), SW_SHOW);
  return true;
}

void SettingsWindow::CreateControls() {
  AddChild(L"STATIC", L"音效输出:", SS_LEFT, {11, 71, 61, 16}, kDeviceLabel, 0);
  AddChild(L"COMBOBOX", L"", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, {71, 69, 345, 20 + 200}, kDeviceCombo, 0);
  const struct {
    const wchar_t* caption;
    DWORD style;
    DesignRect rect;
    ControlId id;
  } choices[] = {
      {L"开启快捷键功能", BS_RADIOBUTTON, {8, 144, 104, 16}, kHotkeysOn},
      {L"关闭快捷键功能", BS_RADIOBUTTON, {112, 144, 104, 16}, kHotkeysOff},
      {L"数值小键盘", BS_CHECKBOX, {224, 144, 88, 16}, kKeypad},
      {L"数值大键盘", BS_CHECKBOX, {224, 176, 96, 16}, kMainKeyboard},
      {L"自动更新配置", BS_CHECKBOX, {8, 216, 96, 16}, kAutoRebuild},
      {L"手动更新配置", BS_CHECKBOX, {112, 212, 104, 24}, kManualRebuild},
  };
  // White captions on the blue face: with a visual style the system would draw them in the
  // theme's text colour whatever WM_CTLCOLORSTATIC says.
  for (const auto& choice : choices)
    UseClassicLook(AddChild(L"BUTTON", choice.caption, choice.style, choice.rect, choice.id, 0));
}

void SettingsWindow::Fill() {
  HWND combo = Control(kDeviceCombo);
  actions_.RefreshDevices();
  for (int n = 1; n <= kMaxDevice; ++n) {
    const std::wstring name = actions_.DeviceName(n);
    if (name != L"!!!!!!") ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
  }
  const long device = config::ParseConfigNumber(store_.ReadValue(config::kDeviceSection, config::kDeviceKey));
  ::SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(device - 1), 0);  // 0: nothing selected
  const std::wstring hotkeys = store_.ReadValue(config::kHotkeySwitchSection, config::kHotkeySwitchKey);
  if (hotkeys == config::kOn || hotkeys == config::kOff) {
    Check(Control(kHotkeysOn), hotkeys == config::kOn);
    Check(Control(kHotkeysOff), hotkeys == config::kOff);
  }
  const std::wstring rebuild = store_.ReadValue(config::kAutoRebuildSection, config::kAutoRebuildKey);
  if (rebuild == config::kOn || rebuild == config::kOff) {
    Check(Control(kAutoRebuild), rebuild == config::kOn);
    Check(Control(kManualRebuild), rebuild == config::kOff);
  }
  const std::wstring keyboard = store_.ReadValue(config::kKeyboardSection, config::kKeyboardKey);
  if (keyboard == config::kKeyboardKeypad || keyboard == config::kKeyboardMain) {
    Check(Control(kKeypad), keyboard == config::kKeyboardKeypad);
    Check(Control(kMainKeyboard), keyboard == config::kKeyboardMain);
  }
}

void SettingsWindow::OnCommand(int id, int code) {
  switch (id) {
    case kDeviceCombo: {
      if (code != CBN_SELCHANGE) return;
      const LRESULT selected = ::SendMessageW(Control(kDeviceCombo), CB_GETCURSEL, 0, 0);
      if (selected < 0) return;
      const int device = static_cast<int>(selected) + 1;
      // Stored before the box is shown; the box is modal over this window, so no second pick
      // can start a switch while it is open.
      if (actions_.SwitchOutputDevice(device)) {
        store_.WriteValue(config::kDeviceSection, config::kDeviceKey, config::ConfigNumberText(device));
        ShowInformation(Hwnd(), L"声卡通道设置成功");
      } else {
        ShowInformation(Hwnd(), L"声卡通道设置失败");  // nothing stored
      }
      return;
    }
    case kHotkeysOn:
      Check(Control(kHotkeysOn), true);
      Check(Control(kHotkeysOff), false);
      store_.WriteValue(config::kHotkeySwitchSection, config::kHotkeySwitchKey, config::kOn);
      actions_.HotkeysOn();  // never a second host
      return;
    case kHotkeysOff:
      Check(Control(kHotkeysOff), true);
      Check(Control(kHotkeysOn), false);
      if (actions_.HotkeysLoaded()) {
        store_.WriteValue(config::kHotkeySwitchSection, config::kHotkeySwitchKey, config::kOff);
        actions_.HotkeysOff();
      }
      return;
    case kKeypad:
      Check(Control(kKeypad), true);
      Check(Control(kMainKeyboard), false);
      store_.WriteValue(config::kKeyboardSection, config::kKeyboardKey, config::kKeyboardKeypad);
      return;
    case kMainKeyboard:
      Check(Control(kMainKeyboard), true);
      Check(Control(kKeypad), false);
      store_.WriteValue(config::kKeyboardSection, config::kKeyboardKey, config::kKeyboardMain);
      return;
    case kAutoRebuild:
    case kManualRebuild: {
      HWND box = Control(static_cast<ControlId>(id));
      Check(box, !Checked(box));  // a check box that toggles on its click
      if (!Checked(box)) return;  // unchecking writes nothing
      const bool automatic = id == kAutoRebuild;
      store_.WriteValue(config::kAutoRebuildSection, config::kAutoRebuildKey, automatic ? config::kOn : config::kOff);
      Check(Control(automatic ? kManualRebuild : kAutoRebuild), false);
      return;
    }
    default:
      return;
  }
}

RECT SettingsWindow::ButtonRect(Button button) const {
  for (const ButtonDesign& design : kButtons)
    if (design.button == button) return scale_.Rect(design.rect);
  return RECT{};
}

SettingsWindow::Button SettingsWindow::ButtonAt(POINT point) const {
  for (const ButtonDesign& design : kButtons) {
    const RECT r = scale_.Rect(design.rect);
    if (::PtInRect(&r, point)) return design.button;
  }
  return Button::None;
}

void SettingsWindow::OnButton(Button button) {
  switch (button) {
    case Button::RebuildNow:
      actions_.RebuildNow();  // returns when the rebuild has finished
      break;
    case Button::Instructions:
      actions_.OpenInstructions();
      break;
    case Button::Close:
    case Button::Ok:
      ::DestroyWindow(Hwnd());  // everything was stored as it changed
      break;
    case Button::None:
      break;
  }
}

void SettingsWindow::Paint(HDC dc) {
  RECT client;
  ::GetClientRect(Hwnd(), &client);
  PaintControl(dc, client, ControlKind::PageContainer, L"", Colours{0, kBlue}, fonts_.Get(0), TextAlign::Left);
  const struct {
    DesignRect rect;
    const wchar_t* text;
  } titles[] = {{{8, 16, 200, 24}, L"音效输出通道设置界面"}, {{8, 104, 144, 24}, L"快捷键设置"}, {{8, 174, 88, 24}, L"配置音效"}};
  for (const auto& title : titles)
    PaintControl(dc, scale_.Rect(title.rect), ControlKind::TransparentLabel, title.text, Colours{kWhiteText, kNoColour},
                 fonts_.Get(16, FW_BOLD), TextAlign::Left);
  ::SelectObject(dc, fonts_.Get(0));
  for (const DesignRect& rule : {DesignRect{5, 48, 427, 1}, DesignRect{6, 128, 427, 1}, DesignRect{8, 208, 427, 1}})
    PaintControl(dc, scale_.Rect(rule), ControlKind::Label, L"", Colours{0, Rgb(192, 192, 192)}, fonts_.Get(0),
                 TextAlign::Left);
  RECT note = scale_.Rect(DesignRect{0, 240, 488, 72});
  ::SetTextColor(dc, kWhiteText);
  ::SetBkMode(dc, TRANSPARENT);
  DrawWrappedFitted(dc, note, Note(), fonts_);
  for (const ButtonDesign& design : kButtons) {
    const Colour back = hover_ == design.button ? design.hover : design.back;
    PaintControl(dc, scale_.Rect(design.rect), ControlKind::ColourButton, design.caption, Colours{kWhiteText, back},
                 fonts_.Get(design.fontHeight), TextAlign::Centre);
  }
}

LRESULT SettingsWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  switch (message) {
    case WM_CREATE:
      background_.Reset(::CreateSolidBrush(kBlue));
      CreateControls();
      Fill();
      return 0;
    case WM_NCHITTEST: {
      // Dragged by any point of its surface, except its own buttons.
      POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      ::ScreenToClient(Hwnd(), &point);
      return ButtonAt(point) != Button::None ? HTCLIENT : HTCAPTION;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      ::SetTextColor(reinterpret_cast<HDC>(wParam), kWhiteText);
      ::SetBkColor(reinterpret_cast<HDC>(wParam), kBlue);
      return reinterpret_cast<LRESULT>(background_.Get());
    case WM_MOUSEMOVE: {
      const Button button = ButtonAt(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
      if (button != hover_) {
        hover_ = button;
        ::InvalidateRect(Hwnd(), nullptr, FALSE);
        TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, Hwnd(), 0};
        ::TrackMouseEvent(&track);
      }
      return 0;
    }
    case WM_MOUSELEAVE:
      hover_ = Button::None;
      ::InvalidateRect(Hwnd(), nullptr, FALSE);
      return 0;
    case WM_LBUTTONUP:
      OnButton(ButtonAt(POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)}));
      return 0;
    case WM_COMMAND:
      OnCommand(LOWORD(wParam), HIWORD(wParam));
      return 0;
    case WM_DESTROY:
      background_.Reset();
      return 0;
    default:
      break;
  }
  return ScaledWindow::HandleMessage(message, wParam, lParam);
}

}  // namespace velmora::ui
