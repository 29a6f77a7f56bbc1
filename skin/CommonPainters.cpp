// The painters of sliders, progress bars, up-down controls and column headers. Each control keeps
// its own logic (positions, notifications, capture); we only take over how it looks: on every
// change it is drawn whole over the skin behind it into a surface, and that surface is copied to
// the screen in one BitBlt so nothing flickers.
#include "base/Gdi.h"
#include "skin/Painters.h"
#include "skin/SkinEngine.h"

#include <commctrl.h>
#include <windowsx.h>

#include <memory>
#include <utility>

namespace velmora::skin {

namespace {

using Gdiplus::Color;
using Gdiplus::GraphicsPath;
using Gdiplus::PointF;
using Gdiplus::RectF;

constexpr BYTE kVeilAlpha = SkinEngine::kVeilAlpha;  // the engine's white veil
constexpr BYTE kThumbOutlineAlpha = 110;             // the thumb's outline when the slider is not hot

float F(int value) { return static_cast<float>(value); }
float F(LONG value) { return static_cast<float>(value); }

LONG_PTR StyleOf(HWND hwnd) { return ::GetWindowLongPtrW(hwnd, GWL_STYLE); }

// A gradient across `rect` that runs left to right when `horizontal`, else top to bottom.
std::unique_ptr<Gdiplus::LinearGradientBrush> Gradient(const RectF& rect, bool horizontal, Color from, Color to) {
  if (!horizontal) return VerticalGradient(rect, from, to);
  return PointGradient(PointF(rect.X, rect.Y), PointF(rect.X + (rect.Width > 0 ? rect.Width : 1), rect.Y), from, to);
}

// ---- Slider ----------------------------------------------------------------------------------

void PaintSlider(SkinEngine& engine, HWND slider, const ControlRecord& record, HDC target) {
  const LONG_PTR style = StyleOf(slider);
  const bool vertical = (style & TBS_VERT) != 0;
  RECT channel{}, thumb{};
  ::SendMessageW(slider, TBM_GETCHANNELRECT, 0, reinterpret_cast<LPARAM>(&channel));
  // Some versions report a vertical slider's channel as if it lay horizontally.
  if (vertical && channel.right - channel.left > channel.bottom - channel.top) {
    std::swap(channel.left, channel.top);
    std::swap(channel.right, channel.bottom);
  }
  ::SendMessageW(slider, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&thumb));
  const LONG low = static_cast<LONG>(::SendMessageW(slider, TBM_GETRANGEMIN, 0, 0));
  const LONG high = static_cast<LONG>(::SendMessageW(slider, TBM_GETRANGEMAX, 0, 0));
  LONG selStart = 0, selEnd = 0;
  if (style & TBS_ENABLESELRANGE) {
    selStart = static_cast<LONG>(::SendMessageW(slider, TBM_GETSELSTART, 0, 0));
    selEnd = static_cast<LONG>(::SendMessageW(slider, TBM_GETSELEND, 0, 0));
  }
  const COLORREF theme = engine.ThemeColour();

  PaintOverBackground(engine, slider, target, [&](Gdiplus::Graphics& g, int w, int h) {
    if (engine.SliderFrame()) {
      GraphicsPath frame, inside;
      RoundedRectPath(frame, 0, 0, F(w - 1), F(h - 1), 5);
      RoundedRectPath(inside, 1, 1, F(w - 2), F(h - 2), 3);
      Gdiplus::Pen pen(Black(30), 1);
      g.DrawPath(&pen, &frame);
      auto fill = Gradient(RectF(1, 1, F(w - 2), F(h - 2)), !vertical, White(kVeilAlpha), Black(30));
      g.FillPath(fill.get(), &inside);
    }

    const int cw = channel.right - channel.left;
    const int ch = channel.bottom - channel.top;
    if (cw > 1 && ch > 1) {
      GraphicsPath path;
      RoundedRectPath(path, F(channel.left), F(channel.top), F(cw - 1), F(ch - 1), 1);
      // Across the channel: top to bottom for a horizontal slider.
      auto fill = Gradient(RectF(F(channel.left), F(channel.top), F(cw), F(ch)), vertical, Black(50), Black(30));
      g.FillPath(fill.get(), &path);
      Gdiplus::Pen pen(Black(50), 1);
      g.DrawPath(&pen, &path);

      if (selEnd > selStart && high > low) {
        // The selection lies where the thumb's centre would be at its two ends.
        const int thumbAlong = vertical ? thumb.bottom - thumb.top : thumb.right - thumb.left;
        const int start = (vertical ? channel.top : channel.left) + thumbAlong / 2;
        const int span = (vertical ? ch : cw) - thumbAlong;
        auto place = [&](LONG value) {
          return start + static_cast<int>(static_cast<long long>(value - low) * span / (high - low));
        };
        const int a = place(selStart), b = place(selEnd);
        Gdiplus::Pen light(White(kVeilAlpha), 1);
        if (vertical)
          g.DrawRectangle(&light, F(channel.left + 2), F(a), F(cw - 5), F(b - a));
        else
          g.DrawRectangle(&light, F(a), F(channel.top + 2), F(b - a), F(ch - 5));
      }
    }

    const int tw = thumb.right - thumb.left;
    const int th = thumb.bottom - thumb.top;
    if (!(style & TBS_NOTHUMB) && tw > 1 && th > 1) {
      GraphicsPath path;
      RoundedRectPath(path, F(thumb.left), F(thumb.top), F(tw - 1), F(th - 1), 3);
      auto fill = Gradient(RectF(F(thumb.left), F(thumb.top), F(tw), F(th)), vertical, White(255), Black(90));
      g.FillPath(fill.get(), &path);
      Gdiplus::Pen outline(record.hot ? Argb(theme, 200) : Black(kThumbOutlineAlpha), 1);
      g.DrawPath(&outline, &path);
    }
  });
}

// ---- Progress bar ----------------------------------------------------------------------------

void PaintProgress(SkinEngine& engine, HWND bar, const ControlRecord&, HDC target) {
  const bool vertical = (StyleOf(bar) & PBS_VERTICAL) != 0;
  PBRANGE range{};
  ::SendMessageW(bar, PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range));
  const int position = static_cast<int>(::SendMessageW(bar, PBM_GETPOS, 0, 0));
  const COLORREF theme = engine.ThemeColour();

  PaintOverBackground(engine, bar, target, [&](Gdiplus::Graphics& g, int w, int h) {
    GraphicsPath outline, trough;
    RoundedRectPath(outline, 0, 0, F(w - 1), F(h - 1), 5);
    Gdiplus::Pen frame(Black(50), 1);
    g.DrawPath(&frame, &outline);
    RoundedRectPath(trough, 1, 1, F(w - 2), F(h - 2), 1);
    auto troughFill = Gradient(RectF(1, 1, F(w - 2), F(h - 2)), vertical, White(kVeilAlpha), Black(30));
    g.FillPath(troughFill.get(), &trough);

    if (position <= range.iLow || range.iHigh <= range.iLow) return;
    const int inner = vertical ? h - 2 : w - 2;
    const int thickness = vertical ? w - 2 : h - 2;
    const long long done = std::min<long long>(position, range.iHigh) - range.iLow;
    const int length = static_cast<int>(done * inner / (static_cast<long long>(range.iHigh) - range.iLow));
    // The filled part grows from the left, or from the bottom of a vertical bar.
    const RectF part =
        vertical ? RectF(1, F(1 + inner - length), F(thickness), F(length)) : RectF(1, 1, F(length), F(thickness));
    const RectF shape(part.X + 1, part.Y + 1, part.Width - 3, part.Height - 3);
    if (shape.Width < 1 || shape.Height < 1) return;  // too short to show yet
    GraphicsPath path;
    RoundedRectPath(path, shape.X, shape.Y, shape.Width, shape.Height, 3);
    auto fill = Gradient(shape, vertical, White(90), Argb(theme, 255));
    g.FillPath(fill.get(), &path);
    Gdiplus::Pen pen(Argb(theme, 150), 1);
    g.DrawPath(&pen, &path);
  });
}

// ---- Up-down control -------------------------------------------------------------------------

// Half 1 is the up (or left) arrow, half 2 the down (or right) one.
RECT UpDownHalf(HWND control, int half) {
  RECT client{};
  ::GetClientRect(control, &client);
  if (StyleOf(control) & UDS_HORZ) {
    const int middle = client.right / 2;
    return half == 1 ? RECT{0, 0, middle, client.bottom} : RECT{middle, 0, client.right, client.bottom};
  }
  const int middle = client.bottom / 2;
  return half == 1 ? RECT{0, 0, client.right, middle} : RECT{0, middle, client.right, client.bottom};
}

int UpDownHalfAt(HWND control, POINT point) {
  for (int half = 1; half <= 2; ++half) {
    const RECT r = UpDownHalf(control, half);
    if (::PtInRect(&r, point)) return half;
  }
  return 0;
}

void PaintUpDown(SkinEngine& engine, HWND control, const ControlRecord& record, HDC target) {
  const bool horizontal = (StyleOf(control) & UDS_HORZ) != 0;
  const COLORREF theme = engine.ThemeColour();
  const RECT halves[2] = {UpDownHalf(control, 1), UpDownHalf(control, 2)};
  Gdiplus::Bitmap* arrows[2] = {engine.GlyphPicture(horizontal ? Glyph::ArrowLeft : Glyph::ArrowUp),
                                engine.GlyphPicture(horizontal ? Glyph::ArrowRight : Glyph::ArrowDown)};

  PaintOverBackground(engine, control, target, [&](Gdiplus::Graphics& g, int w, int h) {
    GraphicsPath whole;
    RoundedRectPath(whole, 0, 0, F(w - 1), F(h - 1), 3);
    Gdiplus::SolidBrush veil(White(kVeilAlpha));
    g.FillPath(&veil, &whole);

    for (int i = 0; i < 2; ++i) {
      const RECT& r = halves[i];
      const int hw = r.right - r.left;
      const int hh = r.bottom - r.top;
      if (hw < 2 || hh < 2) continue;
      const bool hot = record.hot && record.hotPart == i + 1;
      const RectF area(F(r.left), F(r.top), F(hw), F(hh));
      GraphicsPath path;
      RoundedRectPath(path, area.X, area.Y, F(hw - 1), F(hh - 1), 3);
      std::unique_ptr<Gdiplus::LinearGradientBrush> fill;
      if (hot && record.buttonDown)
        fill = VerticalGradient(area, Argb(theme, 100), White(150));
      else if (hot)
        fill = VerticalGradient(area, White(100), Argb(theme, 150));
      else
        fill = VerticalGradient(area, White(20), Argb(theme, 100));
      g.FillPath(fill.get(), &path);
      Gdiplus::Pen pen(hot ? Argb(theme, 200) : Black(100), 1);
      g.DrawPath(&pen, &path);

      if (Gdiplus::Bitmap* arrow = arrows[i]) {
        const INT aw = static_cast<INT>(arrow->GetWidth());
        const INT ah = static_cast<INT>(arrow->GetHeight());
        g.DrawImage(arrow, r.left + (hw - aw) / 2, r.top + (hh - ah) / 2, aw, ah);
      }
    }
  });
}

// ---- Header ----------------------------------------------------------------------------------

int HeaderItemAt(HWND header, POINT point) {
  const int count = static_cast<int>(::SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    RECT r{};
    if (::SendMessageW(header, HDM_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&r)) &&
        ::PtInRect(&r, point))
      return i + 1;
  }
  return 0;
}

// The images of the header's items: its own list, else its list view's small images.
HIMAGELIST HeaderImages(HWND header) {
  if (auto own = reinterpret_cast<HIMAGELIST>(::SendMessageW(header, HDM_GETIMAGELIST, 0, 0))) return own;
  HWND parent = ::GetParent(header);
  wchar_t cls[32] = L"";
  if (!parent || !::GetClassNameW(parent, cls, 32) || _wcsicmp(cls, WC_LISTVIEWW) != 0) return nullptr;
  return reinterpret_cast<HIMAGELIST>(::SendMessageW(parent, LVM_GETIMAGELIST, LVSIL_SMALL, 0));
}

// The header's own font when GDI+ can use it, else the engine's default face.
std::unique_ptr<Gdiplus::Font> HeaderFont(HWND header) {
  if (auto font = reinterpret_cast<HFONT>(::SendMessageW(header, WM_GETFONT, 0, 0))) {
    ScopedWindowDc dc(header);
    auto made = std::make_unique<Gdiplus::Font>(dc.Get(), font);
    if (made->GetLastStatus() == Gdiplus::Ok) return made;
  }
  return MakeFont(L"宋体", 12, Gdiplus::FontStyleRegular, Gdiplus::UnitPixel);
}

struct HeaderItem {
  RECT rect{};
  std::wstring text;
  int format = 0;
  int image = -1;
};

void PaintHeader(SkinEngine& engine, HWND header, const ControlRecord& record, HDC target) {
  const int count = static_cast<int>(::SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
  const int margin = static_cast<int>(::SendMessageW(header, HDM_GETBITMAPMARGIN, 0, 0));
  std::vector<HeaderItem> items;
  for (int i = 0; i < count; ++i) {
    HeaderItem item;
    ::SendMessageW(header, HDM_GETITEMRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item.rect));
    wchar_t text[260] = L"";
    HDITEMW data{};
    data.mask = HDI_TEXT | HDI_FORMAT | HDI_IMAGE;
    data.pszText = text;
    data.cchTextMax = 260;
    if (::SendMessageW(header, HDM_GETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&data))) {
      item.text = data.pszText ? data.pszText : L"";
      item.format = data.fmt;
      item.image = data.iImage;
    }
    items.push_back(std::move(item));
  }
  HIMAGELIST images = HeaderImages(header);
  int iconW = 0, iconH = 0;
  if (images && !ImageList_GetIconSize(images, &iconW, &iconH)) images = nullptr;
  const COLORREF theme = engine.ThemeColour();
  auto font = HeaderFont(header);

  PaintOverBackground(engine, header, target, [&](Gdiplus::Graphics& g, int w, int h) {
    Gdiplus::SolidBrush veil(White(kVeilAlpha));
    g.FillRectangle(&veil, 0, 0, w, h);
    Gdiplus::Pen separator(Black(60), 1);
    Gdiplus::SolidBrush ink(Black(255));
    for (size_t i = 0; i < items.size(); ++i) {
      const HeaderItem& item = items[i];
      const RECT& r = item.rect;
      const int cw = r.right - r.left;
      const int chh = r.bottom - r.top;
      if (cw <= 0 || chh <= 0) continue;
      const bool hot = record.hot && record.hotPart == static_cast<int>(i) + 1;
      const bool pressed = hot && record.buttonDown;
      const RectF cell(F(r.left), F(r.top), F(cw), F(chh));
      auto fill = pressed ? VerticalGradient(cell, Argb(theme, 140), Argb(theme, 60))
                  : hot   ? VerticalGradient(cell, Argb(theme, 60), Argb(theme, 140))
                          : VerticalGradient(cell, Argb(theme, 10), Argb(theme, 50));
      g.FillRectangle(fill.get(), cell.X, cell.Y, F(cw - 1), cell.Height);
      g.DrawLine(&separator, F(r.right - 1), F(r.top + 3), F(r.right - 1), F(r.bottom - 4));

      const int shift = pressed ? 1 : 0;  // a pressed cell's content sinks by a pixel
      int textLeft = r.left + margin;
      if (images && (item.format & HDF_IMAGE) && item.image >= 0) {
        if (const UniqueIcon icon(ImageList_GetIcon(images, item.image, ILD_TRANSPARENT)); icon) {
          // Through GDI so that the icon's own alpha and mask are honoured.
          {
            const GraphicsDc dc(g);
            ::DrawIconEx(dc.Get(), textLeft + shift, r.top + (chh - iconH) / 2 + shift, icon.Get(), iconW, iconH, 0,
                         nullptr, DI_NORMAL);
          }
          textLeft += iconW + margin;
        }
      }
      if (item.text.empty() || !font) continue;
      Gdiplus::StringFormat format;
      const int justify = item.format & HDF_JUSTIFYMASK;
      format.SetAlignment(justify == HDF_CENTER  ? Gdiplus::StringAlignmentCenter
                          : justify == HDF_RIGHT ? Gdiplus::StringAlignmentFar
                                                 : Gdiplus::StringAlignmentNear);
      format.SetLineAlignment(Gdiplus::StringAlignmentCenter);
      format.SetTrimming(Gdiplus::StringTrimmingEllipsisCharacter);
      format.SetFormatFlags(Gdiplus::StringFormatFlagsNoWrap);
      const RectF box(F(textLeft + shift), F(r.top + shift), F(r.right - margin - textLeft), F(chh));
      if (box.Width > 0)
        g.DrawString(item.text.c_str(), static_cast<INT>(item.text.size()), font.get(), box, &format, &ink);
    }
    Gdiplus::Pen bottom(Black(50), 1);
    g.DrawLine(&bottom, 0.0f, F(h - 1), F(w), F(h - 1));
  });
}

// ---- The shared procedure --------------------------------------------------------------------

struct PainterKind {
  ControlList list;
  void (*paint)(SkinEngine&, HWND, const ControlRecord&, HDC);
  int (*partAt)(HWND, POINT);  // up-down half or header item under a point; null when one part
  bool pressable;              // shows a pressed part while the left button is held
};

constexpr PainterKind kSlider{kSliders, PaintSlider, nullptr, false};
constexpr PainterKind kProgress{kProgressBars, PaintProgress, nullptr, false};
constexpr PainterKind kUpDown{kUpDowns, PaintUpDown, UpDownHalfAt, true};
constexpr PainterKind kHeader{kHeaders, PaintHeader, HeaderItemAt, true};

// Redraws the control if it is still ours (the record is looked up afresh: passing a message on
// may have changed the engine's tables).
void Redraw(SkinEngine& engine, const PainterKind& kind, HWND hwnd, HDC target = nullptr) {
  if (const ControlRecord* record = engine.RecordOf(hwnd, kind.list)) kind.paint(engine, hwnd, *record, target);
}

LRESULT OnMouseMove(const PainterTarget& target, const PainterKind& kind, HWND hwnd, WPARAM wParam, LPARAM lParam) {
  const POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  const int part = kind.partAt ? kind.partAt(hwnd, point) : 0;
  ControlRecord& record = target.record;
  const bool changed = !record.hot || record.hotPart != part;
  record.hot = true;
  record.hotPart = part;
  target.owner.candidateHot = hwnd;
  target.owner.hotControl = hwnd;
  target.owner.hotClass = kHotOther;
  if (changed) Redraw(target.engine, kind, hwnd);
  const LRESULT result = ::DefSubclassProc(hwnd, WM_MOUSEMOVE, wParam, lParam);
  // Asked for after the control has seen the move: a slider cancels leave tracking of its own
  // when the pointer is off its thumb, which would also cancel ours.
  TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, hwnd, 0};
  ::TrackMouseEvent(&track);
  return result;
}

LRESULT OnPaint(SkinEngine& engine, const PainterKind& kind, HWND hwnd, WPARAM wParam, LPARAM lParam) {
  if (wParam) {  // asked to paint into a context of the caller's
    Redraw(engine, kind, hwnd, reinterpret_cast<HDC>(wParam));
    return 0;
  }
  if (const PaintScope paint(hwnd); paint.Dc()) Redraw(engine, kind, hwnd, paint.Dc());
  return ::DefWindowProcW(hwnd, WM_PAINT, wParam, lParam);
}

void OnButton(const PainterTarget& target, const PainterKind& kind, HWND hwnd, UINT message, LPARAM lParam) {
  if (!kind.pressable) return;
  ControlRecord& record = target.record;
  record.buttonDown = message == WM_LBUTTONDOWN;
  if (record.buttonDown) {
    // A press without a move before it (keyboard focus, a synthesized click) still shows.
    record.hot = true;
    record.hotPart = kind.partAt(hwnd, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
  }
  Redraw(target.engine, kind, hwnd);
}

LRESULT CommonProcedure(const PainterKind& kind, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                        DWORD_PTR data) {
  const PainterTarget target = PainterTargetOf(data);
  ControlRecord& record = target.record;
  SkinEngine& engine = target.engine;

  switch (message) {
    case WM_MOUSEMOVE:
      return OnMouseMove(target, kind, hwnd, wParam, lParam);
    case WM_MOUSELEAVE:
      record.hot = false;
      record.hotPart = 0;
      if (target.owner.hotControl == hwnd) target.owner.hotControl = nullptr;
      Redraw(engine, kind, hwnd);
      break;
    case WM_MOVE:
      Redraw(engine, kind, hwnd);
      break;
    case WM_ERASEBKGND:
      ::SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
      return 1;
    case WM_PAINT:
      return OnPaint(engine, kind, hwnd, wParam, lParam);
    case WM_PRINTCLIENT:
      Redraw(engine, kind, hwnd, reinterpret_cast<HDC>(wParam));
      return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_SETTEXT:
    case WM_NCPAINT: {
      const LRESULT result = ::DefSubclassProc(hwnd, message, wParam, lParam);
      Redraw(engine, kind, hwnd);
      return result;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
      OnButton(target, kind, hwnd, message, lParam);
      break;
    case WM_CAPTURECHANGED:
      // Capture taken away mid-press (a menu, a dialog): the button-up never comes.
      if (kind.pressable && record.buttonDown && reinterpret_cast<HWND>(lParam) != hwnd) {
        record.buttonDown = false;
        Redraw(engine, kind, hwnd);
      }
      break;
    default:
      break;
  }
  return ::DefSubclassProc(hwnd, message, wParam, lParam);
}

}  // namespace

LRESULT CALLBACK SliderProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                 DWORD_PTR data) noexcept {
  return CommonProcedure(kSlider, hwnd, message, wParam, lParam, data);
}

LRESULT CALLBACK ProgressProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                   DWORD_PTR data) noexcept {
  return CommonProcedure(kProgress, hwnd, message, wParam, lParam, data);
}

LRESULT CALLBACK UpDownProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                 DWORD_PTR data) noexcept {
  return CommonProcedure(kUpDown, hwnd, message, wParam, lParam, data);
}

LRESULT CALLBACK HeaderProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                 DWORD_PTR data) noexcept {
  return CommonProcedure(kHeader, hwnd, message, wParam, lParam, data);
}

}  // namespace velmora::skin
