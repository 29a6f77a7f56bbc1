#include "ui/EditorWindow.h"

#include "config/ConfigStore.h"
#include "config/Settings.h"
#include "config/Encoding.h"
#include "config/SlotVolume.h"
#include "base/Paths.h"
#include "hotkeys/Assignment.h"
#include "ui/SmallWindows.h"

#include <windowsx.h>
#include <commdlg.h>
#include <commctrl.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace velmora::ui {

namespace {


constexpr Colour kPlainBackground = Rgb(240, 240, 240);  // when no skin paints it

// The skin's caption strip, and the edges where a press on the skinned window starts sizing.
constexpr int kSkinCaptionHeight = 25;
constexpr int kSkinEdge = 3;
constexpr int kSkinCorner = 10;

}  // namespace

EditorHost::~EditorHost() {
  if (EditorWindow* open = Current()) ::DestroyWindow(open->Hwnd());
}

EditorWindow* EditorHost::Current() const { return editor_ && editor_->Hwnd() ? editor_.get() : nullptr; }

EditorWindow* EditorHost::Open(config::EffectSlot slot, const config::ConfigStore& store, HWND owner,
                               hotkeys::ConflictReporter& reporter, std::function<void()> saved) {
  if (EditorWindow* open = Current()) {
    // One context: the open editor now shows, and will save, the new slot only.
    open->slot_ = slot;
    open->saved_ = std::move(saved);
    open->Fill();
    // Minimised by its caption button it has no taskbar button: bring it back.
    if (::IsIconic(open->Hwnd())) ::ShowWindow(open->Hwnd(), SW_RESTORE);
    ::SetForegroundWindow(open->Hwnd());
    return open;
  }
  retired_.erase(std::remove_if(retired_.begin(), retired_.end(), [](const auto& e) { return e->busy_ == 0; }),
                 retired_.end());
  if (editor_ && editor_->busy_ > 0) retired_.push_back(std::move(editor_));
  editor_.reset(new EditorWindow(*this, store, reporter));
  EditorWindow& editor = *editor_;
  editor.slot_ = slot;
  editor.saved_ = std::move(saved);
  if (!editor.Create(owner)) {
    editor_.reset();
    return nullptr;
  }
  return &editor;
}

bool EditorWindow::Create(HWND owner) {
  RegisterClassOnce(kClassName, nullptr);
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_BAR_CLASSES};  // the volume trackbar
  ::InitCommonControlsEx(&controls);
  // Minimise and maximise boxes in the style, no system menu; owned, so not on the taskbar.
  if (!CreateScaled(kClassName, kTitle, WS_POPUP | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_CLIPCHILDREN, 0, 399, 214,
                    owner))
    return false;
  CloseOnEscape(Hwnd());
  ::ShowWindow(Hwnd(), SW_SHOW);
  return true;
}

void EditorHost::SlotsRewritten(const std::vector<config::EffectSlot>& slots) {
  EditorWindow* open = Current();
  if (open && std::find(slots.begin(), slots.end(), open->slot_) != slots.end()) open->Fill();
}

void EditorWindow::CreateControls() {
  auto make = [this](const wchar_t* cls, const wchar_t* text, DWORD style, DesignRect r, int id, int fontHeight,
                     DWORD exStyle = 0) { return AddChild(cls, text, style, r, id, fontHeight, exStyle); };
  make(L"STATIC", L"当前音效名:", SS_LEFT, {31, 53, 89, 28}, kLabel1, 13);
  // The edits' frame is non-client, where the skin draws its own; a WS_BORDER edit would draw a
  // border of its own inside its text area instead.
  make(L"EDIT", L"", ES_AUTOHSCROLL | WS_TABSTOP, {107, 56, 168, 25}, kCaptionEdit, 0, WS_EX_CLIENTEDGE);
  make(L"STATIC", L"设置快捷键:", SS_LEFT, {32, 86, 81, 25}, kLabel3, 13);
  // Owner-drawn list items, so a refused name can be marked; the strings stay the bare names.
  HWND combo = make(L"COMBOBOX", L"",
                    CBS_DROPDOWN | CBS_AUTOHSCROLL | CBS_OWNERDRAWFIXED | CBS_HASSTRINGS | WS_VSCROLL | WS_TABSTOP,
                    {106, 88, 168, 29 + 200}, kHotkeyCombo, 0);
  for (const wchar_t* name : hotkeys::kHotkeyList)
    ::SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
  make(L"BUTTON", L"注册热键", BS_PUSHBUTTON | WS_TABSTOP, {281, 87, 100, 28}, kSaveButton, 0);
  make(L"STATIC", L"当前音效位置：", SS_LEFT, {27, 121, 97, 25}, kLabel2, 0);
  make(L"EDIT", L"", ES_AUTOHSCROLL | WS_TABSTOP, {106, 121, 168, 25}, kPathEdit, 0, WS_EX_CLIENTEDGE);
  make(L"BUTTON", L"修改音效", BS_PUSHBUTTON | WS_TABSTOP, {282, 121, 99, 28}, kChooseButton, 0);
  make(L"STATIC", L"", SS_LEFT, {27, 158, 100, 25}, kVolumeLabel, 13);  // room for "音效音量:100"
  // The board's volume scale: steps of ten, and the lowest position (1) is silence.
  HWND volume = make(TRACKBAR_CLASSW, L"", TBS_HORZ | TBS_NOTICKS | WS_TABSTOP, {128, 154, 146, 28}, kVolume, 0);
  ::SendMessageW(volume, TBM_SETRANGEMIN, FALSE, 1);
  ::SendMessageW(volume, TBM_SETRANGEMAX, FALSE, config::kFullSlotLevel);
  ::SendMessageW(volume, TBM_SETLINESIZE, 0, 10);
  ::SendMessageW(volume, TBM_SETPAGESIZE, 0, 10);
}

int EditorWindow::VolumeLevel() const { return static_cast<int>(::SendMessageW(Control(kVolume), TBM_GETPOS, 0, 0)); }

void EditorWindow::ShowVolumeLevel() {
  ::SetWindowTextW(Control(kVolumeLabel), (L"音效音量:" + std::to_wstring(VolumeLevel())).c_str());
}

std::wstring EditorWindow::ListItemLabel(int item) const {
  HWND combo = Control(kHotkeyCombo);
  const LRESULT length = ::SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(item), 0);
  if (length < 0) return {};
  std::wstring name(static_cast<size_t>(length) + 1, L'\0');
  ::SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(name.data()));
  name.resize(static_cast<size_t>(length));
  if (host_.refusedNames_) {
    for (const std::wstring& refused : host_.refusedNames_())
      if (refused == name) return name + kRefusedMark;
  }
  return name;
}

void EditorWindow::DrawListItem(const DRAWITEMSTRUCT& item) const {
  const bool selected = (item.itemState & ODS_SELECTED) != 0;
  ::FillRect(item.hDC, &item.rcItem, ::GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
  if (item.itemID == static_cast<UINT>(-1)) return;  // an empty list: nothing but the focus
  const std::wstring label = ListItemLabel(static_cast<int>(item.itemID));
  const bool refused = label.ends_with(kRefusedMark);
  ::SetBkMode(item.hDC, TRANSPARENT);
  ::SetTextColor(item.hDC, refused && !selected ? RGB(200, 0, 0)
                                                : ::GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
  RECT text = item.rcItem;
  text.left += 2;
  ::DrawTextW(item.hDC, label.c_str(), static_cast<int>(label.size()), &text,
              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
}

void EditorWindow::Fill() {
  const config::SlotTexts texts = config::SlotTexts::Read(store_, slot_);
  ::SetWindowTextW(Control(kCaptionEdit), texts.caption.c_str());
  ::SetWindowTextW(Control(kPathEdit), texts.path.c_str());
  // Setting the text selects no list item and runs no conflict check.
  ::SendMessageW(Control(kHotkeyCombo), CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
  ::SetWindowTextW(Control(kHotkeyCombo), texts.hotkey.c_str());
  ::SendMessageW(Control(kVolume), TBM_SETPOS, TRUE, config::ReadSlotLevel(store_, slot_));
  ShowVolumeLevel();
  // A switch stored as neither "真" nor "假" leaves the hotkey row as it is.
  const config::Switch hotkeys = config::HotkeySwitchSetting::Read(store_).enabled;
  if (hotkeys != config::Switch::Unset) {
    const int show = hotkeys == config::Switch::On ? SW_SHOW : SW_HIDE;
    ::ShowWindow(Control(kLabel3), show);
    ::ShowWindow(Control(kHotkeyCombo), show);
  }
  previousHotkey_ = Text(kHotkeyCombo);
}

std::wstring EditorWindow::Text(ControlId id) const { return WindowText(Control(id)); }

void EditorWindow::SaveEffectSlot() {
  // Everything is stored under the slot the fields were filled from.
  hotkeys::SaveSlot(store_, slot_,
                    hotkeys::SlotEdit{Text(kCaptionEdit), Text(kPathEdit), Text(kHotkeyCombo), previousHotkey_,
                                      VolumeLevel()});
  if (saved_) saved_();  // LoadCaptions
  ::DestroyWindow(Hwnd());
}

void EditorWindow::UseChosenFile(const std::wstring& chosen) {
  if (chosen.empty()) return;
  const std::wstring path = config::StorablePath(chosen);
  if (path.empty()) {
    ::MessageBeep(MB_ICONWARNING);
    return;
  }
  ::SetWindowTextW(Control(kPathEdit), path.c_str());
  // The caption comes from the real name, whatever form of the path is stored.
  ::SetWindowTextW(Control(kCaptionEdit), config::CaptionFromFileName(chosen).c_str());
}

void EditorWindow::ChooseSoundFile() {
  wchar_t file[32768] = L"";
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof(dialog);
  dialog.hwndOwner = Hwnd();
  dialog.lpstrFile = file;
  dialog.nMaxFile = static_cast<DWORD>(std::size(file));
  dialog.Flags = OFN_EXPLORER | OFN_NOCHANGEDIR;  // no filter: any file the user has
  if (::GetOpenFileNameW(&dialog)) UseChosenFile(file);
}

LRESULT EditorWindow::HitTest(LPARAM lParam) const {
  POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  ::ScreenToClient(Hwnd(), &point);
  if (!skinned_) {
    // Dragged by any point of its surface, except the close button.
    const RECT close = CloseRect();
    return ::PtInRect(&close, point) ? HTCLIENT : HTCAPTION;
  }
  // The skin drags by its caption strip and handles its caption buttons and edges itself; the
  // rest of the surface drags the window.
  RECT client;
  ::GetClientRect(Hwnd(), &client);
  const bool caption = point.y <= kSkinCaptionHeight;
  const bool edge = point.x <= kSkinEdge || point.x >= client.right - kSkinEdge || point.y >= client.bottom - kSkinEdge;
  const bool corner =
      point.y >= client.bottom - kSkinCorner && (point.x <= kSkinCorner || point.x >= client.right - kSkinCorner);
  return caption || edge || corner ? HTCLIENT : HTCAPTION;
}

RECT EditorWindow::CloseRect() const { return scale_.Rect(DesignRect{359, 2, 36, 25}); }

void EditorWindow::Paint(HDC dc) {
  RECT client;
  ::GetClientRect(Hwnd(), &client);
  PaintControl(dc, client, ControlKind::PageContainer, L"", Colours{0, kPlainBackground}, fonts_.Get(0),
               TextAlign::Left);
  PaintControl(dc, CloseRect(), ControlKind::ColourButton, L"×",
               Colours{Rgb(255, 255, 255), closeHover_.Hovered() ? Rgb(255, 0, 0) : Rgb(0, 0, 0)}, fonts_.Get(23),
               TextAlign::Centre);
}

void EditorWindow::OnCreate() {
  CreateControls();
  // The skin engine's turn: it paints the window and lifts the labels onto its picture.
  skinned_ = host_.skinHook_ &&
             host_.skinHook_(Hwnd(), {Control(kLabel1), Control(kLabel2), Control(kLabel3), Control(kVolumeLabel)});
  // A skinned label is painted on the face colour, which the skin then leaves out.
  background_.Reset(skinned_ ? nullptr : ::CreateSolidBrush(kPlainBackground));
  Fill();
}

bool EditorWindow::OnCommand(int id, int code) {
  switch (id) {
    case kSaveButton:
      if (code == BN_CLICKED) SaveEffectSlot();
      return true;
    case kChooseButton:
      if (code == BN_CLICKED) ChooseSoundFile();
      return true;
    case kHotkeyCombo:
      if (code == CBN_SELCHANGE) CheckPickedHotkey();
      return true;
    default:
      return false;
  }
}

// A name picked from the list that another slot has is refused at once, with one message.
void EditorWindow::CheckPickedHotkey() {
  HWND combo = Control(kHotkeyCombo);
  const LRESULT selected = ::SendMessageW(combo, CB_GETCURSEL, 0, 0);
  if (selected < 0) return;
  wchar_t name[64] = {};
  ::SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(selected), reinterpret_cast<LPARAM>(name));
  if (hotkeys::CheckHotkeyConflict(store_, name, slot_, reporter_)) {
    ::SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);  // also empties the text
    ::SetWindowTextW(combo, L"");
  }
}

LRESULT EditorWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) noexcept {
  struct Busy {
    explicit Busy(int& depth) : depth_(depth) { ++depth_; }
    ~Busy() { --depth_; }
    int& depth_;
  } busy(busy_);
  switch (message) {
    case WM_CREATE:
      OnCreate();
      return 0;
    case WM_NCHITTEST:
      return HitTest(lParam);
    case WM_NCLBUTTONDBLCLK:
      return 0;  // the editor is never maximised by a double click
    case WM_CTLCOLORSTATIC:
      ::SetTextColor(reinterpret_cast<HDC>(wParam), RGB(0, 0, 0));
      ::SetBkColor(reinterpret_cast<HDC>(wParam), skinned_ ? ::GetSysColor(COLOR_BTNFACE) : kPlainBackground);
      return reinterpret_cast<LRESULT>(skinned_ ? ::GetSysColorBrush(COLOR_BTNFACE) : background_.Get());
    case WM_MOUSEMOVE: {
      if (skinned_) break;
      closeHover_.Move(Hwnd(), CloseRect(), POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
      return 0;
    }
    case WM_MOUSELEAVE: {
      if (skinned_) break;
      closeHover_.Leave(Hwnd(), CloseRect());
      return 0;
    }
    case WM_LBUTTONUP: {
      if (skinned_) break;
      const POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      const RECT close = CloseRect();
      if (::PtInRect(&close, point)) ::DestroyWindow(Hwnd());  // closes without storing
      return 0;
    }
    case WM_HSCROLL:
      if (reinterpret_cast<HWND>(lParam) == Control(kVolume)) ShowVolumeLevel();  // stored by 注册热键 only
      return 0;
    case WM_MEASUREITEM: {
      auto& measure = *reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
      if (measure.CtlID != kHotkeyCombo) break;
      // The height a plain list of the edit's font would have.
      measure.itemHeight = static_cast<UINT>(scale_(16));
      return TRUE;
    }
    case WM_DRAWITEM: {
      const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (item.CtlID != kHotkeyCombo) break;
      DrawListItem(item);
      return TRUE;
    }
    case WM_COMMAND:
      if (OnCommand(LOWORD(wParam), HIWORD(wParam))) return 0;
      break;
    case WM_DESTROY:
      background_.Reset();
      return 0;
    default:
      break;
  }
  return ScaledWindow::HandleMessage(message, wParam, lParam);
}

}  // namespace velmora::ui
