// The engine's drawing toolkit over GDI+: pictures in and out of encoded bytes, colours, the
// rounded path every painter uses, gradients, fonts, and 32-bit memory surfaces.
#pragma once

#include "base/Gdi.h"

#include <windows.h>
#include <objidl.h>  // GDI+ needs COM's types, which WIN32_LEAN_AND_MEAN leaves out
// GDI+'s headers expect the min/max of <windows.h>, which NOMINMAX removes.
#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>

#include <memory>
#include <optional>
#include <string>

namespace velmora::skin {

// GDI+ for the life of the object (the engine's module start and end).
class GdiplusSession {
 public:
  GdiplusSession();
  ~GdiplusSession();
  GdiplusSession(const GdiplusSession&) = delete;
  GdiplusSession& operator=(const GdiplusSession&) = delete;
  bool Started() const { return token_ != 0; }
  // Shuts GDI+ down now (the destructor then does nothing).
  void Shutdown();

 private:
  ULONG_PTR token_ = 0;
};

using Picture = std::string;  // an encoded picture (PNG, JPEG, anything GDI+ reads)

// A 32-bit ARGB copy of the picture, or null when the bytes are no picture.
std::unique_ptr<Gdiplus::Bitmap> DecodePicture(const Picture& bytes);
// The bitmap as PNG bytes; empty on failure.
Picture EncodePng(Gdiplus::Bitmap& bitmap);

// COLORREF's red, green and blue with the given alpha (255 unless useAlpha).
Gdiplus::ARGB ToArgb(COLORREF colour, BYTE alpha, bool useAlpha = true);
inline Gdiplus::Color Argb(COLORREF colour, BYTE alpha) { return Gdiplus::Color(ToArgb(colour, alpha)); }
inline Gdiplus::Color White(BYTE alpha) { return Gdiplus::Color(alpha, 255, 255, 255); }
inline Gdiplus::Color Black(BYTE alpha) { return Gdiplus::Color(alpha, 0, 0, 0); }

// Four d × d arcs clockwise from the top right, the bottom-right one a pixel larger and further
// in; d is kept within 1..100.
void RoundedRectPath(Gdiplus::GraphicsPath& path, float x, float y, float w, float h, float d);
// A rectangle whose top corners are rounded with diameter d, square at the bottom.
void RoundedTopPath(Gdiplus::GraphicsPath& path, float x, float y, float w, float h, float d);

// A vertical linear gradient over `rect` (top colour to bottom colour).
std::unique_ptr<Gdiplus::LinearGradientBrush> VerticalGradient(const Gdiplus::RectF& rect, Gdiplus::Color top,
                                                               Gdiplus::Color bottom);
// A gradient from point a to point b.
std::unique_ptr<Gdiplus::LinearGradientBrush> PointGradient(Gdiplus::PointF a, Gdiplus::PointF b, Gdiplus::Color from,
                                                            Gdiplus::Color to);

// A font of that face, or the closest one installed when the face is not (unit: world).
std::unique_ptr<Gdiplus::Font> MakeFont(const std::wstring& face, float size, int style,
                                        Gdiplus::Unit unit = Gdiplus::UnitWorld);

// A new w × h 32-bit top-down bitmap (at least 1 × 1).
UniqueBitmap CreateArgbBitmap(int w, int h);

// BeginPaint for the length of a scope; EndPaint when it ends.
class PaintScope {
 public:
  explicit PaintScope(HWND hwnd) noexcept : hwnd_(hwnd), dc_(::BeginPaint(hwnd, &ps_)) {}
  ~PaintScope() { ::EndPaint(hwnd_, &ps_); }
  PaintScope(const PaintScope&) = delete;
  PaintScope& operator=(const PaintScope&) = delete;
  HDC Dc() const noexcept { return dc_; }

 private:
  HWND hwnd_;
  PAINTSTRUCT ps_{};
  HDC dc_;
};

// The DC under a GDI+ Graphics, for drawing through GDI, handed back at the end of the scope.
class GraphicsDc {
 public:
  explicit GraphicsDc(Gdiplus::Graphics& g) : g_(g), dc_(g.GetHDC()) {}
  ~GraphicsDc() { g_.ReleaseHDC(dc_); }
  GraphicsDc(const GraphicsDc&) = delete;
  GraphicsDc& operator=(const GraphicsDc&) = delete;
  HDC Get() const noexcept { return dc_; }

 private:
  Gdiplus::Graphics& g_;
  HDC dc_;
};

// A memory DC with a 32-bit top-down bitmap of ours selected into it, for drawing off screen.
// The DC is made once; each Renew gives it a new bitmap, and the one before goes. The bitmap is
// deselected before it or the DC is deleted.
class ArgbSurface {
 public:
  ArgbSurface() = default;
  ArgbSurface(const ArgbSurface&) = delete;
  ArgbSurface& operator=(const ArgbSurface&) = delete;

  // A new w × h bitmap (at least 1 × 1), the DC made first if there is none yet; false when GDI
  // cannot make them, and then what the surface held stays.
  bool Renew(int w, int h);
  HDC Dc() const noexcept { return dc_.Get(); }
  HBITMAP Bitmap() const noexcept { return bitmap_.Get(); }
  // What the DC held before our first bitmap went in.
  HGDIOBJ Displaced() const noexcept { return displaced_; }

 private:
  UniqueMemoryDc dc_;
  UniqueBitmap bitmap_;
  HGDIOBJ displaced_ = nullptr;
  std::optional<ScopedSelect> selected_;  // last, so it ends first
};

}  // namespace velmora::skin
