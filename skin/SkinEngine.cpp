#include "skin/SkinEngine.h"

#include "assets/resource.h"
#include "base/Gdi.h"
#include "base/Window.h"
#include "skin/CaptionButtons.h"
#include "skin/Painters.h"
#include "skin/Pictures.h"

#include <commctrl.h>

#include <initializer_list>

namespace velmora::skin {

namespace {

// The process's one engine, between Start and End. Only Start, End and Instance use it: the
// engine's own procedures are handed the engine or a record of it when they are installed.
SkinEngine* g_engine = nullptr;

// Each control list's painter, in the order of ControlList.
constexpr SUBCLASSPROC kPainters[kListCount] = {ButtonProcedure, EditProcedure,     ListProcedure,   ComboProcedure,
                                                SliderProcedure, ProgressProcedure, UpDownProcedure, HeaderProcedure};

// Face, em size in pixels and style of the font a control draws with (the engine only reads it).
void ReadControlFont(HWND control, ControlRecord& record) {
  record.fontFace.clear();
  record.fontSize = 0;
  record.fontStyle = 0;
  if (HFONT font = reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0))) {
    LOGFONTW logical{};
    if (::GetObjectW(font, sizeof(logical), &logical)) {
      record.fontFace = logical.lfFaceName;
      ScopedWindowDc dc(control);
      Gdiplus::Font measured(dc.Get(), font);
      if (measured.GetLastStatus() == Gdiplus::Ok) record.fontSize = measured.GetSize();
      if (record.fontSize <= 0)
        record.fontSize = static_cast<float>(logical.lfHeight < 0 ? -logical.lfHeight : logical.lfHeight);
      record.fontStyle = (logical.lfWeight >= FW_BOLD ? Gdiplus::FontStyleBold : 0) |
                         (logical.lfItalic ? Gdiplus::FontStyleItalic : 0) |
                         (logical.lfUnderline ? Gdiplus::FontStyleUnderline : 0) |
                         (logical.lfStrikeOut ? Gdiplus::FontStyleStrikeout : 0);
    }
  }
  if (record.fontFace.empty()) record.fontFace = L"宋体";
  if (record.fontSize <= 0) record.fontSize = 12;
}

bool IsPushButton(LONG_PTR style) {
  return (style & 0x2) == 0 && (style & 0x4) == 0 && !((style & 0x1) && (style & 0x8)) && (style & 0xB) != 0xB;
}

bool IsCheckOrRadio(LONG_PTR style) {
  if ((style & 0xF) == BS_OWNERDRAW) return false;
  const bool autoRadio = (style & 0x1) && (style & 0x8) && !(style & 0x2) && !(style & 0x4);
  const bool checkBox = (style & 0x2) && !(style & 0x4);
  return autoRadio || checkBox;
}

}  // namespace

intptr_t GetIntProp(HWND hwnd, const wchar_t* name) { return reinterpret_cast<intptr_t>(::GetPropW(hwnd, name)); }

void SetIntProp(HWND hwnd, const wchar_t* name, intptr_t value) {
  ::SetPropW(hwnd, name, reinterpret_cast<HANDLE>(value));
}

WNDPROC WindowSubclass::Install(HWND hwnd, SUBCLASSPROC procedure, const void* data) {
  Remove();
  const auto previous = reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(hwnd, GWLP_WNDPROC));
  if (::SetWindowSubclass(hwnd, procedure, kSubclassId, reinterpret_cast<DWORD_PTR>(data))) {
    hwnd_ = hwnd;
    procedure_ = procedure;
  }
  return previous;
}

void WindowSubclass::Remove() noexcept {
  if (hwnd_ && ::IsWindow(hwnd_)) ::RemoveWindowSubclass(hwnd_, procedure_, kSubclassId);
  hwnd_ = nullptr;
  procedure_ = nullptr;
}

PainterTarget PainterTargetOf(DWORD_PTR record) {
  ControlRecord& r = *reinterpret_cast<ControlRecord*>(record);
  return PainterTarget{r, *r.owner, *r.owner->engine};
}

bool BecomeHot(SkinnedWindow& owner, HWND control, int hotClass) {
  TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, control, 0};
  ::TrackMouseEvent(&track);
  owner.candidateHot = control;
  const HWND parent = ::GetParent(control);
  if (owner.hotControl == control && owner.hotClass == hotClass &&
      (hotClass != kHotEdit || owner.hotEditParent == parent))
    return false;
  owner.hotControl = control;
  owner.hotClass = hotClass;
  owner.hotEditParent = parent;
  return true;
}

void LeaveHot(SkinnedWindow& owner, HWND control) {
  if (owner.hotControl == control) owner.hotControl = nullptr;
}

bool SkinEngine::Start() {
  if (g_engine) return true;
  auto session = std::make_unique<GdiplusSession>();
  if (!session->Started()) return false;
  g_engine = new SkinEngine();
  g_engine->gdiplus_ = std::move(session);
  HINSTANCE module = ::GetModuleHandleW(nullptr);
  g_engine->appIcon_.Reset(static_cast<HICON>(::LoadImageW(module, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON, 16, 16, 0)));
  if (!g_engine->appIcon_)
    g_engine->appIcon_.Reset(static_cast<HICON>(::LoadImageW(module, L"DEFAULT_ICON", IMAGE_ICON, 16, 16, 0)));
  g_engine->faceColour_ = ::GetSysColor(COLOR_BTNFACE);
  for (int i = 0; i < static_cast<int>(Glyph::kCount); ++i)
    g_engine->glyphs_[static_cast<size_t>(i)] = DecodePicture(LoadResourcePicture(IDR_SKIN_GLYPH_FIRST + i));
  return true;
}

void SkinEngine::End() {
  delete g_engine;
  g_engine = nullptr;
}

SkinEngine* SkinEngine::Instance() { return g_engine; }

SkinEngine::~SkinEngine() {
  for (auto& glyph : glyphs_) glyph.reset();
  // Windows still open work on without the engine: their records take the engine's procedures
  // off them as they go, and their pictures go before GDI+.
  windows_.clear();
  appIcon_.Reset();
  gdiplus_.reset();
}

Gdiplus::Bitmap* SkinEngine::GlyphPicture(Glyph glyph) { return glyphs_[static_cast<size_t>(glyph)].get(); }

LRESULT SkinEngine::CallPrevious(WNDPROC previous, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  return previous ? ::CallWindowProcW(previous, hwnd, message, wParam, lParam)
                  : ::DefWindowProcW(hwnd, message, wParam, lParam);
}

SkinnedWindow* SkinEngine::WindowAt(int index) {
  return index >= 1 && index <= WindowCount() ? windows_[static_cast<size_t>(index - 1)].get() : nullptr;
}

int SkinEngine::IndexOf(HWND window) const {
  for (size_t i = 0; i < windows_.size(); ++i)
    if (windows_[i]->hwnd == window) return static_cast<int>(i) + 1;
  return 0;
}

int SkinEngine::FindOwnerWindow(HWND control) const {
  for (HWND up = ::GetParent(control); up; up = ::GetParent(up))
    if (const int index = IndexOf(up)) return index;
  return 0;
}

SkinnedWindow* SkinEngine::OwnerOf(HWND control) {
  const int index = static_cast<int>(GetIntProp(control, property::kOwner));
  return WindowAt(index ? index : FindOwnerWindow(control));
}

ControlRecord* SkinEngine::RecordOf(HWND control, ControlList list) {
  SkinnedWindow* window = WindowAt(static_cast<int>(GetIntProp(control, property::kOwner)));
  const intptr_t position = GetIntProp(control, property::kIndex);
  if (!window || position < 1 || static_cast<size_t>(position) > window->controls[list].size()) return nullptr;
  ControlRecord& record = window->controls[list][static_cast<size_t>(position - 1)];
  return record.hwnd == control ? &record : nullptr;
}

void SkinEngine::SkinWindow(HWND window, const SkinOptions& options) {
  if (!::IsWindow(window) || IndexOf(window)) return;
  const LONG_PTR style = ::GetWindowLongPtrW(window, GWL_STYLE);
  auto record = std::make_unique<SkinnedWindow>();
  SkinnedWindow& w = *record;
  w.hwnd = window;
  w.engine = this;
  w.captionHeight = std::max(options.captionHeight, kMinCaptionHeight);
  w.captionEnabled = options.captionEnabled;
  w.resizable = options.resizable;
  w.helpButton = options.helpButton;
  w.menuButton = options.menuButton;
  w.captionText = options.captionText;
  w.glossyBand = options.glossyBand;
  w.minimiseBox = (style & WS_MINIMIZEBOX) != 0;
  w.maximiseBox = (style & WS_MAXIMIZEBOX) != 0;
  w.maxTrack = SIZE{::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
  w.backgroundMode = options.backgroundMode;
  if (!options.picture.empty()) {
    if (auto decoded = DecodePicture(options.picture)) {
      w.averageColour = AverageColour(*decoded, 2000);
      if (options.backgroundMode == 0)
        w.picture = FadePictureEdges(options.picture, w.averageColour, FadeSide::Right);
      else if (options.backgroundMode == 1)
        w.picture = FadePictureEdges(options.picture, w.averageColour, FadeSide::Left);
      else
        w.picture = options.picture;
      w.decodedPicture = w.picture == options.picture ? std::move(decoded) : DecodePicture(w.picture);
    }
  }

  w.buttons = MakeCaptionButtons(w.helpButton, w.menuButton, w.minimiseBox, w.maximiseBox);
  std::vector<int> widths;
  for (const CaptionButton& b : w.buttons) widths.push_back(b.width);
  w.blockWidth = CaptionBlockWidth(widths);
  w.blockHeight = kCaptionBlockHeight;

  ::SetWindowLongPtrW(window, GWL_STYLE, style | WS_SYSMENU);
  windows_.push_back(std::move(record));
  const int index = WindowCount();

  w.tooltip = CreateCaptionTooltips(window, w.buttons);
  LayoutCaptionButtons(index);
  InstallPainters(index);
  w.fullRepaint = true;
  w.previous = w.subclass.Install(window, FrameProcedure, this);
  SetIntProp(window, property::kPrevious, reinterpret_cast<intptr_t>(w.previous));
  SetIntProp(window, property::kIndex, index);
}

namespace {

// Puts the painter of `list` on `child`, a control of window `w` (number `index`); null when it
// has one already.
ControlRecord* Install(SkinnedWindow& w, int index, ControlList list, HWND child) {
  auto& records = w.controls[list];
  for (const ControlRecord& r : records)
    if (r.hwnd == child) return nullptr;
  ControlRecord& record = records.emplace_back();
  record.hwnd = child;
  record.owner = &w;
  SetIntProp(child, property::kIndex, static_cast<intptr_t>(records.size()));
  SetIntProp(child, property::kOwner, index);
  record.previous = record.subclass.Install(child, kPainters[list], &record);
  SetIntProp(child, property::kPrevious, reinterpret_cast<intptr_t>(record.previous));
  return &record;
}

// Calls `each` for every direct child of `parent` of class `cls`.
template <typename Each>
void ForChildren(HWND parent, const wchar_t* cls, Each each) {
  for (HWND child = ::FindWindowExW(parent, nullptr, cls, nullptr); child;
       child = ::FindWindowExW(parent, child, cls, nullptr))
    each(child);
}

// Push buttons first, then check boxes and radio buttons.
void InstallButtons(SkinnedWindow& w, int index) {
  ForChildren(w.hwnd, L"BUTTON", [&](HWND child) {
    const LONG_PTR style = ::GetWindowLongPtrW(child, GWL_STYLE);
    if (!IsPushButton(style)) return;
    if (ControlRecord* r = Install(w, index, kButtons, child)) {
      r->kind = 0;
      r->caption = WindowText(child);
      ReadControlFont(child, *r);
      // Owner-drawn from now on: the frame receives WM_DRAWITEM and paints it.
      ::SetWindowLongPtrW(child, GWL_STYLE, style | BS_OWNERDRAW);
    }
  });
  ForChildren(w.hwnd, L"BUTTON", [&](HWND child) {
    const LONG_PTR style = ::GetWindowLongPtrW(child, GWL_STYLE);
    if (!IsCheckOrRadio(style)) return;
    if (ControlRecord* r = Install(w, index, kButtons, child)) {
      const bool radio = (style & 0x1) && (style & 0x8);
      r->kind = radio ? 4 : 5;
      r->isRadio = radio;
      r->isCheckBox = !radio;
      r->caption = WindowText(child);
      ReadControlFont(child, *r);
      r->checkState = static_cast<int>(::SendMessageW(child, BM_GETCHECK, 0, 0));
    }
  });
}

// A combo box shows its selected item as its text from the start.
void ShowSelectionAsText(HWND combo) {
  const LRESULT selected = ::SendMessageW(combo, CB_GETCURSEL, 0, 0);
  if (selected < 0) return;
  const LRESULT length = ::SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(selected), 0);
  if (length < 0) return;
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  ::SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(selected), reinterpret_cast<LPARAM>(text.data()));
  ::SendMessageW(combo, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

// Edits, then combo boxes; returns the combo boxes.
std::vector<HWND> InstallEditsAndCombos(SkinnedWindow& w, int index) {
  ForChildren(w.hwnd, L"Edit", [&](HWND child) {
    if (Install(w, index, kEdits, child)) SetIntProp(child, property::kTextColour, 0);
  });
  std::vector<HWND> combos;
  ForChildren(w.hwnd, L"ComboBox", [&](HWND child) {
    if (!Install(w, index, kCombos, child)) return;
    combos.push_back(child);
    ShowSelectionAsText(child);
  });
  return combos;
}

// List-type controls, then the combo boxes' drop-down lists; returns the list views.
std::vector<HWND> InstallLists(SkinnedWindow& w, int index, const std::vector<HWND>& combos) {
  std::vector<HWND> listViews;
  for (const wchar_t* cls : {L"ListBox", WC_LISTVIEWW, WC_TREEVIEWW, WC_IPADDRESSW, DATETIMEPICK_CLASSW}) {
    ForChildren(w.hwnd, cls, [&](HWND child) {
      Install(w, index, kLists, child);
      if (std::wstring(cls) == WC_LISTVIEWW) listViews.push_back(child);
    });
  }
  for (HWND combo : combos) {
    COMBOBOXINFO info{};
    info.cbSize = sizeof(info);
    if (::GetComboBoxInfo(combo, &info) && info.hwndList) Install(w, index, kLists, info.hwndList);
  }
  return listViews;
}

}  // namespace

void SkinEngine::InstallPainters(int index) {
  SkinnedWindow& w = *WindowAt(index);
  InstallButtons(w, index);
  const std::vector<HWND> combos = InstallEditsAndCombos(w, index);
  ForChildren(w.hwnd, TRACKBAR_CLASSW, [&](HWND child) { Install(w, index, kSliders, child); });
  ForChildren(w.hwnd, PROGRESS_CLASSW, [&](HWND child) { Install(w, index, kProgressBars, child); });
  const std::vector<HWND> listViews = InstallLists(w, index, combos);
  ForChildren(w.hwnd, UPDOWN_CLASSW, [&](HWND child) { Install(w, index, kUpDowns, child); });
  ForChildren(w.hwnd, WC_HEADERW, [&](HWND child) { Install(w, index, kHeaders, child); });
  for (HWND view : listViews)
    if (HWND header = reinterpret_cast<HWND>(::SendMessageW(view, LVM_GETHEADER, 0, 0)))
      Install(w, index, kHeaders, header);
}

void SkinEngine::MakeTransparent(HWND control, std::optional<COLORREF> keyColour) {
  const int owner = FindOwnerWindow(control);
  SkinnedWindow* w = WindowAt(owner);
  if (!w) return;
  for (const TransparentControl& t : w->transparent)
    if (t.hwnd == control) return;
  TransparentControl& record = w->transparent.emplace_back();
  record.hwnd = control;
  record.owner = w;
  record.key = keyColour.value_or(faceColour_);
  record.previous = record.subclass.Install(control, TransparentProcedure, &record);
  SetIntProp(control, property::kTransPrevious, reinterpret_cast<intptr_t>(record.previous));
  SetIntProp(control, property::kTransIndex, static_cast<intptr_t>(w->transparent.size()));
  SetIntProp(control, property::kTransOwner, owner);
  // A control hosting windows of its own would become a container here; nothing we skin has one.
}

LRESULT CALLBACK SkinEngine::TransparentProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                                  DWORD_PTR record) noexcept {
  auto& control = *reinterpret_cast<TransparentControl*>(record);
  return control.owner->engine->Transparent(control, hwnd, message, wParam, lParam);
}

namespace {

bool ClassIs(const wchar_t* cls, std::initializer_list<const wchar_t*> names) {
  for (const wchar_t* name : names)
    if (_wcsicmp(cls, name) == 0) return true;
  return false;
}

}  // namespace

LRESULT SkinEngine::Transparent(TransparentControl& control, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  wchar_t cls[64] = L"";
  ::GetClassNameW(hwnd, cls, 64);
  if (message == WM_PAINT) {
    if (ClassIs(cls, {L"SysMonthCal32", L"SysTabControl32", L"ToolbarWindow32", L"msctls_statusbar32", L"Button",
                      L"msctls_trackbar32"})) {
      PaintThroughSurface(hwnd, control.key);
      return 0;
    }
    const LRESULT result = PaintLifted(hwnd, control.key, message, wParam, lParam);
    for (HWND child = ::GetWindow(hwnd, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT))
      if (::IsWindowVisible(child)) ::InvalidateRect(child, nullptr, TRUE);
    return result;
  }
  if ((message == WM_HSCROLL || message == WM_VSCROLL) && _wcsicmp(cls, L"RichEdit20A") == 0)
    ::InvalidateRect(hwnd, nullptr, FALSE);
  return ::DefSubclassProc(hwnd, message, wParam, lParam);
}

// A control that paints into the DC it is handed: it paints onto the skin behind it, and that,
// less its key colour, goes over a veiled copy of the skin.
void SkinEngine::PaintThroughSurface(HWND hwnd, COLORREF key) {
  const PaintScope paint(hwnd);
  const HDC dc = paint.Dc();
  RECT client;
  ::GetClientRect(hwnd, &client);
  {
    const BackgroundSurface own(*this, hwnd, client);
    ::DefSubclassProc(hwnd, WM_PAINT, reinterpret_cast<WPARAM>(own.Dc()), 0);
    const BackgroundSurface veiled(*this, hwnd, client);
    {
      Gdiplus::Graphics g(veiled.Dc());
      Gdiplus::SolidBrush veil(White(kVeilAlpha));
      g.FillRectangle(&veil, 0, 0, client.right, client.bottom);
    }
    ::TransparentBlt(veiled.Dc(), 0, 0, client.right, client.bottom, own.Dc(), 0, 0, client.right, client.bottom, key);
    ::BitBlt(dc, 0, 0, client.right, client.bottom, veiled.Dc(), 0, 0, SRCCOPY);
  }
}

// A label: it paints itself as usual, then everything but its key colour is lifted onto the
// skin behind it.
LRESULT SkinEngine::PaintLifted(HWND hwnd, COLORREF key, UINT message, WPARAM wParam, LPARAM lParam) {
  ScopedWindowDc dc(hwnd);
  RECT update{};
  ::GetUpdateRect(hwnd, &update, FALSE);
  const int width = update.right - update.left;
  const int height = update.bottom - update.top;
  std::optional<BackgroundSurface> surface;
  if (width > 0 && height > 0) surface.emplace(*this, hwnd, update);
  const LRESULT result = ::DefSubclassProc(hwnd, message, wParam, lParam);
  if (surface && *surface) {
    ::TransparentBlt(surface->Dc(), 0, 0, width, height, dc.Get(), update.left, update.top, width, height, key);
    ::BitBlt(dc.Get(), update.left, update.top, width, height, surface->Dc(), 0, 0, SRCCOPY);
  }
  return result;
}

HDC SkinEngine::ComposeBackground(HWND control, const RECT& rect, bool windowRect) {
  const int width = std::max<int>(rect.right - rect.left, 1);
  const int height = std::max<int>(rect.bottom - rect.top, 1);
  if (!surfaces_.emplace_back().Renew(width, height)) {
    surfaces_.pop_back();
    return nullptr;
  }
  const HDC dc = surfaces_.back().Dc();
  SkinnedWindow* owner = OwnerOf(control);
  if (owner && owner->backBuffer.Dc()) {
    POINT ownerOrigin{0, 0};
    ::ClientToScreen(owner->hwnd, &ownerOrigin);
    POINT origin{0, 0};
    if (windowRect) {
      RECT window;
      ::GetWindowRect(control, &window);
      origin = POINT{window.left, window.top};
    } else {
      ::ClientToScreen(control, &origin);
    }
    ::BitBlt(dc, 0, 0, width, height, owner->backBuffer.Dc(), origin.x - ownerOrigin.x + rect.left,
             origin.y - ownerOrigin.y + rect.top, SRCCOPY);
  } else {
    RECT all{0, 0, width, height};
    UniqueBrush face(::CreateSolidBrush(faceColour_));
    ::FillRect(dc, &all, face.Get());
  }
  return dc;
}

void SkinEngine::ReleaseSurface(HDC surface) {
  for (auto it = surfaces_.begin(); it != surfaces_.end(); ++it) {
    if (it->Dc() != surface) continue;
    surfaces_.erase(it);
    return;
  }
}

void SkinEngine::CleanUpWindow(int index) {
  SkinnedWindow* w = WindowAt(index);
  if (!w) return;
  // The records' brushes, back buffer and cached surfaces end with them, below.
  for (const wchar_t* name : {property::kIndex, property::kPrevious, property::kKeptBitmap, property::kBackBitmap})
    ::RemovePropW(w->hwnd, name);
  const HWND hwnd = w->hwnd;
  windows_.erase(windows_.begin() + (index - 1));
  Renumber();
  ::KillTimer(hwnd, reinterpret_cast<UINT_PTR>(hwnd));
}

void SkinEngine::Renumber() {
  for (int j = 1; j <= WindowCount(); ++j) {
    SkinnedWindow& w = *WindowAt(j);
    SetIntProp(w.hwnd, property::kIndex, j);
    for (auto& list : w.controls)
      for (ControlRecord& r : list)
        if (::IsWindow(r.hwnd)) SetIntProp(r.hwnd, property::kOwner, j);
    for (TransparentControl& t : w.transparent)
      if (::IsWindow(t.hwnd)) SetIntProp(t.hwnd, property::kTransOwner, j);
  }
}

}  // namespace velmora::skin
