#include "ui/controls/ControlPaint.h"

#include <uxtheme.h>

#include <utility>

namespace velmora::ui {

UINT SystemDpi() {
  HDC screen = ::GetDC(nullptr);
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSX);
  ::ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

UINT WindowDpi(HWND hwnd) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (hwnd && getDpiForWindow) {
    if (const UINT dpi = getDpiForWindow(hwnd)) return dpi;
  }
  return SystemDpi();
}

// A sub-application and class list that name no theme class: the documented way to switch the
// visual style off for one window.
void UseClassicLook(HWND control) { ::SetWindowTheme(control, L" ", L" "); }

RECT DpiScale::Rect(const DesignRect& r, int originX, int originY) const {
  const int left = (*this)(r.x + originX);
  const int top = (*this)(r.y + originY);
  return RECT{left, top, (*this)(r.x + originX + r.w), (*this)(r.y + originY + r.h)};
}

FontCache::~FontCache() { Clear(); }

void FontCache::Clear() {
  for (auto& [height, font] : fonts_) ::DeleteObject(font);
  fonts_.clear();
}

void FontCache::SetScale(const DpiScale& scale) {
  if (scale.Dpi() == scale_.Dpi() && !fonts_.empty()) return;
  Clear();
  scale_ = scale;
}

void FontCache::Swap(FontCache& other) noexcept {
  std::swap(scale_, other.scale_);
  fonts_.swap(other.fonts_);
}

HFONT FontCache::Get(int characterHeight) {
  const auto found = fonts_.find(characterHeight);
  if (found != fonts_.end()) return found->second;
  LOGFONTW font{};
  ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof(font), &font);
  // The stock font is already sized for the system DPI; bring it back to design units first.
  HDC screen = ::GetDC(nullptr);
  const int systemDpi = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  if (systemDpi > 0) font.lfHeight = ::MulDiv(font.lfHeight, 96, systemDpi);
  if (characterHeight > 0) {
    // Our own heights: normal weight, GB2312, the default face.
    font.lfHeight = -characterHeight;
    font.lfWeight = FW_NORMAL;
    font.lfCharSet = GB2312_CHARSET;
    font.lfFaceName[0] = L'\0';
  }
  font.lfHeight = scale_(font.lfHeight);
  HFONT created = ::CreateFontIndirectW(&font);
  fonts_.emplace(characterHeight, created);
  return created;
}

namespace {

void Fill(HDC dc, const RECT& rect, Colour colour) {
  if (colour == kNoColour) return;
  ::SetBkColor(dc, colour);
  ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);  // fills without a brush object
}

UINT AlignFlags(TextAlign align) {
  switch (align) {
    case TextAlign::Left:
      return DT_LEFT;
    case TextAlign::Right:
      return DT_RIGHT;
    default:
      return DT_CENTER;
  }
}

// Word-wrapped, "\r\n" starting new lines, the whole block centred vertically in `rect`.
void DrawWrappedCentred(HDC dc, const RECT& rect, const std::wstring& text) {
  RECT measure = rect;
  const int length = static_cast<int>(text.size());
  const int height =
      ::DrawTextW(dc, text.c_str(), length, &measure, DT_CENTER | DT_WORDBREAK | DT_NOPREFIX | DT_CALCRECT);
  RECT target = rect;
  target.top = rect.top + ((rect.bottom - rect.top) - height) / 2;
  target.bottom = target.top + height;
  ::DrawTextW(dc, text.c_str(), length, &target, DT_CENTER | DT_WORDBREAK | DT_NOPREFIX);
}

}  // namespace

void PaintControl(HDC dc, const RECT& rect, ControlKind kind, const std::wstring& caption, const Colours& colours,
                  HFONT font, TextAlign align) {
  ::SelectObject(dc, font);
  ::SetBkMode(dc, TRANSPARENT);
  ::SetTextColor(dc, colours.text);
  RECT inner = rect;
  const int length = static_cast<int>(caption.size());
  switch (kind) {
    case ControlKind::ColourButton:
      Fill(dc, rect, colours.back);
      if (length) DrawWrappedCentred(dc, inner, caption);
      break;
    case ControlKind::Label:
      Fill(dc, rect, colours.back);
      if (length)
        ::DrawTextW(dc, caption.c_str(), length, &inner, AlignFlags(align) | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
      break;
    case ControlKind::HyperlinkLabel:
      Fill(dc, rect, colours.back);
      if (length)
        ::DrawTextW(dc, caption.c_str(), length, &inner, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
      break;
    case ControlKind::TransparentLabel:
      if (length)
        ::DrawTextW(dc, caption.c_str(), length, &inner, AlignFlags(align) | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
      break;
    case ControlKind::PageContainer:
      Fill(dc, rect, colours.back);
      break;
  }
}

HWND CreateChildControl(HWND parent, const wchar_t* className, const wchar_t* text, DWORD style, const RECT& rect,
                        int id, HFONT font, DWORD exStyle) {
  HWND control =
      ::CreateWindowExW(exStyle, className, text, WS_CHILD | WS_VISIBLE | style, rect.left, rect.top,
                        rect.right - rect.left, rect.bottom - rect.top, parent,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleW(nullptr), nullptr);
  ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  return control;
}

void PaintButtonBorder(HDC dc, const RECT& rect, bool pressed) {
  const COLORREF light = ::GetSysColor(COLOR_BTNHIGHLIGHT);
  const COLORREF dark = ::GetSysColor(COLOR_BTNSHADOW);
  const COLORREF topLeft = pressed ? dark : light;
  const COLORREF bottomRight = pressed ? light : dark;
  auto line = [dc](int left, int top, int right, int bottom, COLORREF colour) {
    const RECT r{left, top, right, bottom};
    ::SetBkColor(dc, colour);
    ::ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr);
  };
  line(rect.left, rect.top, rect.right, rect.top + 1, topLeft);
  line(rect.left, rect.top, rect.left + 1, rect.bottom, topLeft);
  line(rect.left, rect.bottom - 1, rect.right, rect.bottom, bottomRight);
  line(rect.right - 1, rect.top, rect.right, rect.bottom, bottomRight);
}

}  // namespace velmora::ui
