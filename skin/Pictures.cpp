#include "skin/Pictures.h"

#include "skin/SkinGeometry.h"

namespace velmora::skin {

Picture LoadResourcePicture(int id) {
  HMODULE module = ::GetModuleHandleW(nullptr);
  HRSRC found = ::FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
  if (!found) return {};
  HGLOBAL loaded = ::LoadResource(module, found);
  const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
  if (!bytes) return {};
  return Picture(static_cast<const char*>(bytes), ::SizeofResource(module, found));
}

Gdiplus::ARGB AverageColour(Gdiplus::Bitmap& picture, int count) {
  const int w = static_cast<int>(picture.GetWidth());
  const int h = static_cast<int>(picture.GetHeight());
  if (w <= 0 || h <= 0 || count <= 0) return 0;
  unsigned long long red = 0, green = 0, blue = 0;
  for (int i = 1; i <= count; ++i) {
    const SamplePoint p = AverageColourSample(i, w, h);
    Gdiplus::Color pixel;
    picture.GetPixel(p.x, p.y, &pixel);
    red += pixel.GetR();
    green += pixel.GetG();
    blue += pixel.GetB();
  }
  const auto mean = [count](unsigned long long sum) {
    return static_cast<Gdiplus::ARGB>(sum / static_cast<unsigned>(count));
  };
  return 0xFF000000u | (mean(red) << 16) | (mean(green) << 8) | mean(blue);
}

Gdiplus::ARGB AverageColour(const Picture& picture, int count) {
  auto decoded = DecodePicture(picture);
  return decoded ? AverageColour(*decoded, count) : 0;
}

Picture FadePictureEdges(const Picture& picture, Gdiplus::ARGB colour, FadeSide side) {
  auto decoded = DecodePicture(picture);
  if (!decoded) return picture;
  const INT w = static_cast<INT>(decoded->GetWidth());
  const INT h = static_cast<INT>(decoded->GetHeight());
  Gdiplus::Bitmap faded(w, h, PixelFormat32bppARGB);
  {
    Gdiplus::Graphics g(&faded);
    g.DrawImage(decoded.get(), Gdiplus::Rect(0, 0, w, h), 0, 0, w, h, Gdiplus::UnitPixel);
    const INT b = static_cast<INT>(0.3 * w);  // the band, for the side and the bottom alike
    const Gdiplus::Color opaque(colour | 0xFF000000u);
    const Gdiplus::Color clear(colour & 0x00FFFFFFu);
    if (b > 0) {
      if (side == FadeSide::Right) {
        Gdiplus::LinearGradientBrush brush(Gdiplus::Point(w - b, 0), Gdiplus::Point(w, 0), Gdiplus::Color(0x00FFFFFF),
                                           opaque);
        g.FillRectangle(&brush, w - b + 1, 0, b, h);
      } else {
        Gdiplus::LinearGradientBrush brush(Gdiplus::Point(0, 0), Gdiplus::Point(b, 0), opaque,
                                           Gdiplus::Color(0x00FFFFFF));
        g.FillRectangle(&brush, 0, 0, b, h);
      }
      Gdiplus::LinearGradientBrush bottom(Gdiplus::Point(0, h - b), Gdiplus::Point(0, h), clear, opaque);
      g.FillRectangle(&bottom, 0, h - b + 1, w, b);
    }
  }
  Picture encoded = EncodePng(faded);
  return encoded.empty() ? picture : encoded;
}

}  // namespace velmora::skin
