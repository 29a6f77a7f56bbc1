#include "ui/SettingsWindow.h"

#include "config/ConfigStore.h"
#include "playback/Playback.h"
#include "playback/Route.h"
#include "ui/SmallWindows.h"

#include <commctrl.h>
#include <windowsx.h>

#include <cstring>

namespace velmora::ui {

namespace {

constexpr Colour kBlue = Rgb(0, 96, 192);
constexpr Colour kWhiteText = Rgb(255, 255, 255);
constexpr Colour kWarningText = Rgb(255, 224, 64);
constexpr Colour kPurple = Rgb(88, 48, 224);

// The two monitor rows (监听输出, 监听音量) sit under the output row, the four microphone rows
// (麦克风, 麦克风音量, 麦克风同时送监听, 效果闪避) under them and the three remote-control rows
// (开启遥控 with the port and 允许局域网, 访问码, what the control does) under those. Everything
// from the 快捷键设置 title down keeps its design position, lowered by their height.
constexpr int kMonitorRowsHeight = 64;
constexpr int kMicRowsHeight = 128;
constexpr int kRemoteRowsHeight = 96;
constexpr int kAddedRowsHeight = kMonitorRowsHeight + kMicRowsHeight + kRemoteRowsHeight;
constexpr DesignRect Lowered(DesignRect r) { return DesignRect{r.x, r.y + kAddedRowsHeight, r.w, r.h}; }
constexpr int kWindowWidth = 484;
constexpr int kWindowHeight = 346 + kAddedRowsHeight;
constexpr int kRemoteTop = 295;  // the first remote row's design top
constexpr UINT_PTR kPortTimer = 1;
constexpr UINT kPortTypedMs = 1000;
// "麦克风音量:" is a character longer than the labels above it: with a 12-pixel font it would run
// into a control at 71, so the microphone's controls start further right and end where the
// others end.
constexpr int kMicControlX = 83;
constexpr int kControlRight = 71 + 345;

constexpr wchar_t kMonitorOffItem[] = L"不监听";
constexpr wchar_t kMaskCharacter = L'●';
constexpr wchar_t kMaskedCode[] = L"●●●●●●●●";
constexpr wchar_t kMicOffItem[] = L"不使用";

struct DuckingItem {
  const wchar_t* text;
  int db;
};
constexpr DuckingItem kDuckingItems[] = {{L"不闪避", 0}, {L"6 dB", 6},   {L"12 dB", 12},
                                         {L"18 dB", 18}, {L"24 dB", 24}, {L"30 dB", 30}};

// A stored depth between two items shows the lower one: the list never claims more ducking than
// there is.
WPARAM DuckingItemOf(int db) {
  WPARAM item = 0;
  for (WPARAM i = 0; i < ARRAYSIZE(kDuckingItems); ++i)
    if (kDuckingItems[i].db <= db) item = i;
  return item;
}

// The monitor list's item 0 is "不监听"; item k is device k (the output list's item k - 1).
// The microphone list alike: item 0 is "不使用", item k capture device k.
int RouteItemDevice(LRESULT item) { return item == 0 ? playback::kRouteOff : static_cast<int>(item); }
WPARAM RouteDeviceItem(const config::RouteSetting& setting) {
  return setting.on ? static_cast<WPARAM>(setting.device) : 0;
}

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
    {SettingsWindow::Button::RebuildNow, Lowered({216, 214, 88, 24}), L"立即更新配置", Rgb(144, 0, 255),
     Rgb(144, 0, 255), 0},
    {SettingsWindow::Button::Instructions, Lowered({280, 317, 80, 24}), L"软件说明", kPurple, kPurple, 0},
    {SettingsWindow::Button::Ok, Lowered({373, 317, 80, 24}), L"确定并保存", kPurple, kPurple, 0},
};

std::wstring Note() {
  return std::wstring(32, L' ') + L"*注意\r\n\r\n " +
         L"自动更新配置被选择后，在每次启动软件是就会更新配置一次（会清除用户所有设置）\r\n\r\n\r\n " +
         L"手动更新配置被选择后，只有在文件位置发生改变才会更新配置（会清除用户所有设置）";
}

bool Checked(HWND control) { return ::SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED; }
void Check(HWND control, bool on) { ::SendMessageW(control, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0); }
// A check box (BS_CHECKBOX, which leaves its state to us) clicked: it toggles; its new state.
bool Toggle(HWND box) {
  Check(box, !Checked(box));
  return Checked(box);
}

}  // namespace

void ShowInformation(HWND owner, const wchar_t* text) { ::MessageBoxW(owner, text, L"信息：", MB_OK); }

HWND SettingsDialog::OpenWindow() const { return open_ && ::IsWindow(open_->Hwnd()) ? open_->Hwnd() : nullptr; }

void SettingsDialog::Run(HWND owner) {
  if (HWND open = OpenWindow()) {
    ::SetForegroundWindow(open);
    return;
  }
  SettingsWindow window(store_, actions_);
  if (owner) ::EnableWindow(owner, FALSE);
  if (window.Open(owner)) {
    open_ = &window;
    RunModalLoop(window.Hwnd());
    open_ = nullptr;
  }
  if (owner) {
    ::EnableWindow(owner, TRUE);
    ::SetForegroundWindow(owner);
  }
}

bool SettingsWindow::Open(HWND owner) {
  RegisterClassOnce(kClassName, nullptr);
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_BAR_CLASSES};  // the volume trackbars
  ::InitCommonControlsEx(&controls);
  if (!CreateScaled(kClassName, L"软件设置", WS_POPUP | WS_CLIPCHILDREN, WS_EX_APPWINDOW, kWindowWidth, kWindowHeight,
                    owner))
    return false;
  CloseOnEscape(Hwnd());
  ::ShowWindow(Hwnd(), SW_SHOW);
  return true;
}

void SettingsWindow::CreateControls() {
  AddChild(L"STATIC", L"音效输出:", SS_LEFT, {11, 71, 61, 16}, kDeviceLabel, 0);
  AddChild(L"COMBOBOX", L"", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, {71, 69, 345, 20 + 200}, kDeviceCombo, 0);
  AddChild(L"STATIC", L"监听输出:", SS_LEFT, {11, 103, 61, 16}, kMonitorLabel, 0);
  AddChild(L"COMBOBOX", L"", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, {71, 101, 345, 20 + 200}, kMonitorCombo, 0);
  AddChild(L"STATIC", L"监听音量:", SS_LEFT, {11, 135, 61, 16}, kMonitorLevelLabel, 0);
  // The board's volume scale: arrow keys and clicks beside the thumb move it by ten, and the
  // lowest position (1) is silence.
  const auto addLevel = [this](DesignRect rect, ControlId id) {
    HWND level = AddChild(TRACKBAR_CLASSW, L"", TBS_HORZ | TBS_NOTICKS | WS_TABSTOP, rect, id, 0);
    UseClassicLook(level);
    ::SendMessageW(level, TBM_SETRANGEMIN, FALSE, playback::kMinVolumeLevel);
    ::SendMessageW(level, TBM_SETRANGEMAX, FALSE, playback::kMaxVolumeLevel);
    ::SendMessageW(level, TBM_SETLINESIZE, 0, 10);
    ::SendMessageW(level, TBM_SETPAGESIZE, 0, 10);
  };
  addLevel({71, 131, 345, 24}, kMonitorLevel);
  constexpr int micWidth = kControlRight - kMicControlX;
  AddChild(L"STATIC", L"麦克风:", SS_LEFT, {11, 167, 70, 16}, kMicLabel, 0);
  AddChild(L"COMBOBOX", L"", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, {kMicControlX, 165, micWidth, 20 + 200},
           kMicCombo, 0);
  AddChild(L"STATIC", L"麦克风音量:", SS_LEFT, {11, 199, 70, 16}, kMicLevelLabel, 0);
  addLevel({kMicControlX, 195, micWidth, 24}, kMicLevel);
  AddChild(L"STATIC", L"效果闪避:", SS_LEFT, {11, 263, 70, 16}, kMicDuckingLabel, 0);
  AddChild(L"COMBOBOX", L"", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, {kMicControlX, 261, 96, 20 + 200}, kMicDucking,
           0);
  AddChild(L"STATIC", L"端口:", SS_LEFT, {kMicControlX + 8, kRemoteTop, 36, 16}, kRemotePortLabel, 0);
  HWND port = AddChild(L"EDIT", L"", ES_NUMBER | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP,
                       {kMicControlX + 44, kRemoteTop - 2, 64, 20}, kRemotePort, 0);
  ::SendMessageW(port, EM_SETLIMITTEXT, 5, 0);
  AddChild(L"STATIC", L"访问码:", SS_LEFT, {11, kRemoteTop + 34, 70, 16}, kRemoteCodeLabel, 0);
  HWND code = AddChild(L"EDIT", L"", ES_READONLY | ES_AUTOHSCROLL | ES_PASSWORD | WS_BORDER,
                       {kMicControlX, kRemoteTop + 32, kControlRight - 176 - kMicControlX, 20}, kRemoteCode, 0);
  ::SendMessageW(code, EM_SETPASSWORDCHAR, kMaskCharacter, 0);
  AddChild(L"EDIT", L"", ES_READONLY | ES_AUTOHSCROLL | WS_TABSTOP, {11, kRemoteTop + 66, kControlRight - 11, 16},
           kRemoteStatus, 0);
  // Beside the 快捷键设置 title, two lines at most; read-only, so a long list can be scrolled.
  AddChild(L"EDIT", L"", ES_READONLY | ES_MULTILINE, Lowered({160, 100, 270, 28}), kRefusedHotkeys, 0);
  const struct {
    const wchar_t* caption;
    DWORD style;
    DesignRect rect;
    ControlId id;
  } choices[] = {
      {L"麦克风同时送监听", BS_CHECKBOX, {kMicControlX, 231, 144, 16}, kMicToMonitor},
      {L"开启遥控", BS_CHECKBOX, {11, kRemoteTop, 72, 16}, kRemoteOn},
      {L"允许局域网", BS_CHECKBOX, {216, kRemoteTop, 88, 16}, kRemoteLan},
      {L"显示", BS_PUSHBUTTON, {kControlRight - 172, kRemoteTop + 30, 40, 24}, kRemoteShowCode},
      {L"复制", BS_PUSHBUTTON, {kControlRight - 128, kRemoteTop + 30, 40, 24}, kRemoteCopyCode},
      {L"更换访问码", BS_PUSHBUTTON, {kControlRight - 80, kRemoteTop + 30, 80, 24}, kRemoteNewCode},
      {L"开启快捷键功能", BS_RADIOBUTTON, Lowered({8, 144, 104, 16}), kHotkeysOn},
      {L"关闭快捷键功能", BS_RADIOBUTTON, Lowered({112, 144, 104, 16}), kHotkeysOff},
      {L"数值小键盘", BS_CHECKBOX, Lowered({224, 144, 88, 16}), kKeypad},
      {L"数值大键盘", BS_CHECKBOX, Lowered({224, 176, 96, 16}), kMainKeyboard},
      {L"音量均衡", BS_CHECKBOX, Lowered({336, 144, 96, 16}), kLeveling},
      {L"再按停止", BS_CHECKBOX, Lowered({336, 176, 96, 16}), kPressAgain},
      {L"自动更新配置", BS_CHECKBOX, Lowered({8, 216, 96, 16}), kAutoRebuild},
      {L"手动更新配置", BS_CHECKBOX, Lowered({112, 212, 104, 24}), kManualRebuild},
  };
  // White captions on the blue face: with a visual style the system would draw them in the
  // theme's text colour whatever WM_CTLCOLORSTATIC says.
  for (const auto& choice : choices)
    UseClassicLook(AddChild(L"BUTTON", choice.caption, choice.style, choice.rect, choice.id, 0));
  // 显示 shows the code only while it is held down: it has to hear the button go down and up.
  ::SetWindowSubclass(Control(kRemoteShowCode), ShowCodeButton, kRemoteShowCode, reinterpret_cast<DWORD_PTR>(this));
}

void SettingsWindow::Fill() {
  HWND combo = Control(kDeviceCombo);
  HWND monitor = Control(kMonitorCombo);
  ::SendMessageW(monitor, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(kMonitorOffItem));
  actions_.RefreshDevices();
  for (int n = 1; n <= kMaxDevice; ++n) {
    const std::wstring name = actions_.DeviceName(n);
    if (name == L"!!!!!!") continue;
    ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    ::SendMessageW(monitor, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
  }
  const int device = config::OutputDeviceSetting::Read(store_).device;
  ::SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(device - 1), 0);  // 0: nothing selected
  const config::RouteSetting setting = config::RouteSetting::Read(store_, config::DeviceSection::Monitor);
  ::SendMessageW(monitor, CB_SETCURSEL, RouteDeviceItem(setting), 0);
  monitorLevel_ = setting.level;
  ::SendMessageW(Control(kMonitorLevel), TBM_SETPOS, TRUE, setting.level);
  FillMic();
  FillRemote();
  // Switches stored as neither "真" nor "假" check neither box, as they always have.
  const config::Switch hotkeys = config::HotkeySwitchSetting::Read(store_).enabled;
  Check(Control(kHotkeysOn), hotkeys == config::Switch::On);
  Check(Control(kHotkeysOff), hotkeys == config::Switch::Off);
  ShowRefusedHotkeys();
  Check(Control(kLeveling), config::LevelingSetting::Read(store_).on);
  Check(Control(kPressAgain), config::PressAgainSetting::Read(store_).on);
  const config::Switch rebuild = config::AutoRebuildSetting::Read(store_).automatic;
  Check(Control(kAutoRebuild), rebuild == config::Switch::On);
  Check(Control(kManualRebuild), rebuild == config::Switch::Off);
  const config::DigitKeys digits = config::KeyboardSetting::Read(store_).shown;
  Check(Control(kKeypad), digits == config::DigitKeys::Keypad);
  Check(Control(kMainKeyboard), digits == config::DigitKeys::Main);
}

void SettingsWindow::FillMic() {
  HWND mic = Control(kMicCombo);
  ::SendMessageW(mic, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(kMicOffItem));
  actions_.RefreshCaptureDevices();
  for (int n = 1; n <= kMaxDevice; ++n) {
    const std::wstring name = actions_.CaptureDeviceName(n);
    if (name == L"!!!!!!") break;  // capture devices are numbered without gaps
    ::SendMessageW(mic, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
  }
  HWND ducking = Control(kMicDucking);
  for (const DuckingItem& item : kDuckingItems)
    ::SendMessageW(ducking, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.text));
  const config::MicSetting setting = config::MicSetting::Read(store_);
  ::SendMessageW(mic, CB_SETCURSEL, RouteDeviceItem(setting), 0);
  micLevel_ = setting.level;
  ::SendMessageW(Control(kMicLevel), TBM_SETPOS, TRUE, setting.level);
  Check(Control(kMicToMonitor), setting.toMonitor);
  ::SendMessageW(ducking, CB_SETCURSEL, DuckingItemOf(setting.duckingDb), 0);
}

std::wstring RefusedHotkeysText(const std::vector<std::wstring>& keys) {
  if (keys.empty()) return {};
  std::wstring text = kRefusedText;
  for (size_t i = 0; i < keys.size(); ++i) text += (i ? L"、" : L"") + keys[i];
  return text;
}

void SettingsWindow::ShowRefusedHotkeys() {
  ::SetWindowTextW(Control(kRefusedHotkeys), RefusedHotkeysText(actions_.RefusedHotkeys()).c_str());
}

void SettingsWindow::FillRemote() {
  const config::RemoteSetting setting = config::RemoteSetting::Read(store_);
  Check(Control(kRemoteOn), setting.on);
  Check(Control(kRemoteLan), setting.lan);
  ::SetWindowTextW(Control(kRemotePort), std::to_wstring(setting.port).c_str());
  portTyped_ = false;  // the text set just now is no typing
  ShowRemote(actions_.CurrentRemote());
}

void SettingsWindow::ApplyRemote() { ShowRemote(actions_.RestartRemote()); }

void SettingsWindow::ShowRemote(const RemoteView& view) {
  const config::RemoteSetting setting = config::RemoteSetting::Read(store_);
  const bool shown = config::IsWellFormedToken(setting.token);
  code_ = shown ? std::wstring(setting.token.begin(), setting.token.end()) : L"";
  std::wstring text;
  switch (view.state) {
    case RemoteState::Off:
      break;
    case RemoteState::PortInUse:
      text = kPortInUseText;
      break;
    case RemoteState::Failed:
      text = kRemoteFailedText;
      break;
    case RemoteState::Listening: {
      if (!setting.lan) {
        text = L"遥控已开启，仅本机可用";
        break;
      }
      // The address a phone on the same network opens, code included.
      const std::string& address = view.lanAddress;
      const std::string url = "http://" + address + ":" + std::to_string(setting.port) + "/?code=" + setting.token;
      text = address.empty() ? L"遥控已开启，未找到局域网地址" : L"手机访问: " + std::wstring(url.begin(), url.end());
      break;
    }
  }
  ShowRemoteTexts(std::move(text));
}

void SettingsWindow::ShowRemoteTexts(std::wstring status) {
  remoteStatus_ = std::move(status);
  ::SetWindowTextW(Control(kRemoteCode), code_.c_str());
  std::wstring line = remoteStatus_;
  if (!codeRevealed_ && !code_.empty()) {
    for (size_t at = line.find(code_); at != std::wstring::npos; at = line.find(code_, at))
      line.replace(at, code_.size(), kMaskedCode);
  }
  ::SetWindowTextW(Control(kRemoteStatus), line.c_str());
}

void SettingsWindow::RevealCode(bool reveal) {
  if (reveal == codeRevealed_) return;
  codeRevealed_ = reveal;
  ::SendMessageW(Control(kRemoteCode), EM_SETPASSWORDCHAR, reveal ? 0 : kMaskCharacter, 0);
  ::InvalidateRect(Control(kRemoteCode), nullptr, TRUE);
  ShowRemoteTexts(remoteStatus_);
}

LRESULT CALLBACK SettingsWindow::ShowCodeButton(HWND button, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                                DWORD_PTR self) {
  auto* window = reinterpret_cast<SettingsWindow*>(self);
  switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      window->RevealCode(true);
      break;
    case WM_KEYDOWN:
      if (wParam == VK_SPACE) window->RevealCode(true);
      break;
    case WM_LBUTTONUP:
    case WM_KEYUP:
    case WM_CAPTURECHANGED:
    case WM_KILLFOCUS:
      window->RevealCode(false);
      break;
    case WM_NCDESTROY:
      ::RemoveWindowSubclass(button, ShowCodeButton, kRemoteShowCode);
      break;
    default:
      break;
  }
  return ::DefSubclassProc(button, message, wParam, lParam);
}

void SettingsWindow::CopyCode() const {
  if (code_.empty() || !::OpenClipboard(Hwnd())) return;
  ::EmptyClipboard();
  const size_t bytes = (code_.size() + 1) * sizeof(wchar_t);
  if (UniqueGlobalMemory memory(::GlobalAlloc(GMEM_MOVEABLE, bytes)); memory) {
    std::memcpy(::GlobalLock(memory.Get()), code_.c_str(), bytes);
    ::GlobalUnlock(memory.Get());
    if (::SetClipboardData(CF_UNICODETEXT, memory.Get())) memory.Release();  // the clipboard owns it now
  }
  ::CloseClipboard();
}

void SettingsWindow::CommitPort() {
  ::KillTimer(Hwnd(), kPortTimer);
  if (!portTyped_) return;
  portTyped_ = false;
  wchar_t text[8] = {};
  ::GetWindowTextW(Control(kRemotePort), text, ARRAYSIZE(text));
  const int stored = config::RemoteSetting::Read(store_).port;
  const int typed = config::ParsePort(text);
  if (std::to_wstring(typed) != text) {  // not a port: 0, 70000, nothing
    ::SetWindowTextW(Control(kRemotePort), std::to_wstring(stored).c_str());
    portTyped_ = false;  // the text set just now is no typing
    return;
  }
  if (typed == stored) return;
  actions_.SetRemotePort(typed);
  if (Checked(Control(kRemoteOn))) ApplyRemote();
}

void SettingsWindow::OnCommand(int id, int code) {
  switch (id) {
    case kDeviceCombo:
    case kMonitorCombo:
    case kMicCombo:
    case kMicDucking:
      if (code == CBN_SELCHANGE) OnListPick(static_cast<ControlId>(id));
      return;
    case kMicToMonitor:
      actions_.SetMicToMonitor(Toggle(Control(kMicToMonitor)));
      return;
    case kRemoteOn:
    case kRemoteLan:
    case kRemoteNewCode:
    case kRemoteCopyCode:
    case kRemotePort:
      OnRemoteCommand(static_cast<ControlId>(id), code);
      return;
    default:
      OnChoice(static_cast<ControlId>(id));
      return;
  }
}

void SettingsWindow::OnListPick(ControlId list) {
  const LRESULT selected = ::SendMessageW(Control(list), CB_GETCURSEL, 0, 0);
  if (selected < 0) return;
  switch (list) {
    case kDeviceCombo:
      // Stored before the box is shown; the box is modal over this window, so no second pick
      // can start a switch while it is open. A failed switch stores nothing.
      ShowInformation(Hwnd(), actions_.PickDevice(config::DeviceSection::Output, static_cast<int>(selected) + 1)
                                  ? L"声卡通道设置成功"
                                  : L"声卡通道设置失败");
      return;
    case kMonitorCombo:
      // Stored even when the device does not open, so the monitor comes on when it is back.
      if (!actions_.PickDevice(config::DeviceSection::Monitor, RouteItemDevice(selected)))
        ShowInformation(Hwnd(), L"监听通道设置失败");
      return;
    case kMicCombo:
      // Stored even when the device does not open, as for the monitor.
      if (!actions_.PickDevice(config::DeviceSection::Microphone, RouteItemDevice(selected)))
        ShowInformation(Hwnd(), L"麦克风设置失败");
      return;
    case kMicDucking:
      if (selected < static_cast<LRESULT>(ARRAYSIZE(kDuckingItems))) actions_.SetMicDucking(kDuckingItems[selected].db);
      return;
    default:
      return;
  }
}

void SettingsWindow::OnRemoteCommand(ControlId id, int code) {
  switch (id) {
    case kRemoteOn: {
      const bool on = Toggle(Control(kRemoteOn));
      CommitPort();              // a port typed just before counts
      actions_.SetRemoteOn(on);  // the first switch on makes the code
      ApplyRemote();
      return;
    }
    case kRemoteLan:
      actions_.SetRemoteLan(Toggle(Control(kRemoteLan)));
      if (Checked(Control(kRemoteOn))) ApplyRemote();
      return;
    case kRemoteNewCode:
      // The old code stops working at once: a running control restarts with the new one.
      if (!actions_.RenewRemoteCode()) {
        ShowRemoteTexts(kCodeNotStoredText);  // the code shown is still the one in force
      } else if (Checked(Control(kRemoteOn))) {
        ApplyRemote();
      } else {
        ShowRemote(actions_.CurrentRemote());
      }
      return;
    case kRemoteCopyCode:
      CopyCode();
      return;
    case kRemotePort:
      if (code == EN_CHANGE) {
        portTyped_ = true;
        ::SetTimer(Hwnd(), kPortTimer, kPortTypedMs, nullptr);
      } else if (code == EN_KILLFOCUS) {
        CommitPort();
      }
      return;
    default:
      return;
  }
}

void SettingsWindow::OnChoice(ControlId id) {
  switch (id) {
    case kHotkeysOn:
    case kHotkeysOff:
      Check(Control(kHotkeysOn), id == kHotkeysOn);
      Check(Control(kHotkeysOff), id == kHotkeysOff);
      actions_.SetHotkeys(id == kHotkeysOn);  // never a second host
      ShowRefusedHotkeys();
      return;
    case kLeveling:
      actions_.SetLeveling(Toggle(Control(kLeveling)));
      return;
    case kPressAgain:
      actions_.SetPressAgain(Toggle(Control(kPressAgain)));
      ShowRefusedHotkeys();
      return;
    case kKeypad:
    case kMainKeyboard:
      Check(Control(kKeypad), id == kKeypad);
      Check(Control(kMainKeyboard), id == kMainKeyboard);
      actions_.SetDigitKeys(id == kKeypad ? config::DigitKeys::Keypad : config::DigitKeys::Main);
      return;
    case kAutoRebuild:
    case kManualRebuild:
      if (!Toggle(Control(id))) return;  // unchecking stores nothing
      actions_.SetAutoRebuild(id == kAutoRebuild);
      Check(Control(id == kAutoRebuild ? kManualRebuild : kAutoRebuild), false);
      return;
    default:
      return;
  }
}

bool SettingsWindow::LevelMoved(ControlId trackbar, int& shown) {
  const int level = static_cast<int>(::SendMessageW(Control(trackbar), TBM_GETPOS, 0, 0));
  if (level == shown) return false;  // a drag reports every move, most of them on the same level
  shown = level;
  return true;
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
  } titles[] = {{{8, 16, 200, 24}, L"音效输出通道设置界面"},
                {Lowered({8, 104, 144, 24}), L"快捷键设置"},
                {Lowered({8, 174, 88, 24}), L"配置音效"}};
  for (const auto& title : titles)
    PaintControl(dc, scale_.Rect(title.rect), ControlKind::TransparentLabel, title.text, Colours{kWhiteText, kNoColour},
                 fonts_.Get(16, FW_BOLD), TextAlign::Left);
  ::SelectObject(dc, fonts_.Get(0));
  for (const DesignRect& rule : {DesignRect{5, 48, 427, 1}, Lowered({6, 128, 427, 1}), Lowered({8, 208, 427, 1})})
    PaintControl(dc, scale_.Rect(rule), ControlKind::Label, L"", Colours{0, Rgb(192, 192, 192)}, fonts_.Get(0),
                 TextAlign::Left);
  RECT note = scale_.Rect(Lowered({0, 240, 488, 72}));
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
      // The refused hotkeys stand out in yellow; everything else is white on the blue face.
      ::SetTextColor(reinterpret_cast<HDC>(wParam),
                     reinterpret_cast<HWND>(lParam) == Control(kRefusedHotkeys) ? kWarningText : kWhiteText);
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
    case WM_HSCROLL:
      if (reinterpret_cast<HWND>(lParam) == Control(kMonitorLevel) && LevelMoved(kMonitorLevel, monitorLevel_))
        actions_.SetRouteLevel(config::DeviceSection::Monitor, monitorLevel_);
      if (reinterpret_cast<HWND>(lParam) == Control(kMicLevel) && LevelMoved(kMicLevel, micLevel_))
        actions_.SetRouteLevel(config::DeviceSection::Microphone, micLevel_);
      return 0;
    case WM_TIMER:
      if (wParam == kPortTimer) CommitPort();
      return 0;
    case WM_DESTROY:
      CommitPort();  // a port typed just before closing (its controls are still there)
      background_.Reset();
      return 0;
    default:
      break;
  }
  return ScaledWindow::HandleMessage(message, wParam, lParam);
}

}  // namespace velmora::ui
