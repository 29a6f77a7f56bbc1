#include "ui/controls/ControlPaint.h"

#include <uxtheme.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <utility>

namespace velmora::ui {

UINT SystemDpi() {
  ScopedWindowDc screen(nullptr);
  const int dpi = screen ? ::GetDeviceCaps(screen.Get(), LOGPIXELSX) : 0;
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

POINT CentredOnScreen(int width, int height) {
  return POINT{(::GetSystemMetrics(SM_CXSCREEN) - width) / 2, (::GetSystemMetrics(SM_CYSCREEN) - height) / 2};
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

void FontCache::Clear() { fonts_.clear(); }

void FontCache::SetScale(const DpiScale& scale) {
  if (scale.Dpi() == scale_.Dpi() && !fonts_.empty()) return;
  Clear();
  scale_ = scale;
}

namespace {

// Whether the font puts any ink down for "-".
bool DrawsHyphen(HFONT font) {
  LOGFONTW info{};
  ::GetObjectW(font, sizeof(info), &info);
  const int side = std::max(8, 2 * std::abs(static_cast<int>(info.lfHeight)));
  BITMAPINFO bitmap{};
  bitmap.bmiHeader.biSize = sizeof(bitmap.bmiHeader);
  bitmap.bmiHeader.biWidth = side;
  bitmap.bmiHeader.biHeight = -side;
  bitmap.bmiHeader.biPlanes = 1;
  bitmap.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  UniqueMemoryDc dc(::CreateCompatibleDC(nullptr));
  UniqueBitmap surface(::CreateDIBSection(dc.Get(), &bitmap, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!dc || !surface || !bits) return true;  // no probe: keep the font as asked
  ScopedSelect selectedBitmap(dc.Get(), surface.Get());
  ScopedSelect selectedFont(dc.Get(), font);
  ::PatBlt(dc.Get(), 0, 0, side, side, BLACKNESS);
  ::SetTextColor(dc.Get(), RGB(255, 255, 255));
  ::SetBkMode(dc.Get(), TRANSPARENT);
  ::TextOutW(dc.Get(), side / 4, side / 4, L"-", 1);
  ::GdiFlush();
  const auto* pixels = static_cast<const uint32_t*>(bits);
  return std::any_of(pixels, pixels + side * side, [](uint32_t p) { return (p & 0xFFFFFF) != 0; });
}

}  // namespace

void FontCache::Swap(FontCache& other) noexcept {
  std::swap(scale_, other.scale_);
  fonts_.swap(other.fonts_);
}

HFONT FontCache::Get(int characterHeight, int weight) {
  const auto key = std::make_pair(characterHeight, weight);
  const auto found = fonts_.find(key);
  if (found != fonts_.end()) return found->second.Get();
  LOGFONTW font{};
  ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof(font), &font);
  // The stock font is already sized for the system DPI; bring it back to design units first.
  font.lfHeight = ::MulDiv(font.lfHeight, 96, static_cast<int>(SystemDpi()));
  if (characterHeight > 0) {
    // Our own heights: normal weight, GB2312, the default face.
    font.lfHeight = -characterHeight;
    font.lfWeight = weight;
    font.lfCharSet = GB2312_CHARSET;
    font.lfFaceName[0] = L'\0';
  }
  font.lfHeight = scale_(font.lfHeight);
  UniqueFont created(::CreateFontIndirectW(&font));
  // Some fonts hint the hyphen away at one size: WenQuanYi Zen Hei, which stands in for the
  // default GUI font under a Chinese locale on Wine, draws nothing for "-" at 12 pixels, and
  // "音量 -" would read "音量". Such a font is taken one pixel larger.
  if (created && !DrawsHyphen(created.Get())) {
    font.lfHeight += font.lfHeight < 0 ? -1 : 1;
    if (UniqueFont larger(::CreateFontIndirectW(&font)); larger) created = std::move(larger);
  }
  const HFONT handle = created.Get();
  fonts_.emplace(key, std::move(created));
  return handle;
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

void DrawWrappedFitted(HDC dc, const RECT& rect, const std::wstring& text, FontCache& fonts) {
  constexpr UINT kFlags = DT_LEFT | DT_WORDBREAK | DT_NOPREFIX;
  const int length = static_cast<int>(text.size());
  const auto fits = [&](HFONT font) {
    ::SelectObject(dc, font);
    RECT measure = rect;
    return ::DrawTextW(dc, text.c_str(), length, &measure, kFlags | DT_CALCRECT) <= rect.bottom - rect.top;
  };
  HFONT font = fonts.Get(0);
  for (int height = 12; height >= 8 && !fits(font); --height) font = fonts.Get(height);
  ::SelectObject(dc, font);
  RECT target = rect;
  ::DrawTextW(dc, text.c_str(), length, &target, kFlags);
}

void ButtonHover::Move(HWND window, const RECT& button, POINT point) {
  const bool hovered = ::PtInRect(&button, point) != FALSE;
  if (hovered == hovered_) return;
  hovered_ = hovered;
  ::InvalidateRect(window, &button, FALSE);
  TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, window, 0};
  if (hovered) ::TrackMouseEvent(&track);
}

void ButtonHover::Leave(HWND window, const RECT& button) {
  hovered_ = false;
  ::InvalidateRect(window, &button, FALSE);
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
