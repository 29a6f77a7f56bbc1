#include "skin/Gdip.h"

#include "base/ComPtr.h"

#include <shlwapi.h>

#include <vector>

namespace velmora::skin {

GdiplusSession::GdiplusSession() {
  Gdiplus::GdiplusStartupInput input;  // version 1
  if (Gdiplus::GdiplusStartup(&token_, &input, nullptr) != Gdiplus::Ok) token_ = 0;
}

GdiplusSession::~GdiplusSession() { Shutdown(); }

void GdiplusSession::Shutdown() {
  if (token_) Gdiplus::GdiplusShutdown(token_);
  token_ = 0;
}

std::unique_ptr<Gdiplus::Bitmap> DecodePicture(const Picture& bytes) {
  if (bytes.empty() || bytes.size() > 0x7FFFFFFF) return nullptr;
  ComPtr<IStream> stream;
  *stream.Put() = ::SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<UINT>(bytes.size()));
  if (!stream) return nullptr;
  std::unique_ptr<Gdiplus::Bitmap> decoded(Gdiplus::Bitmap::FromStream(stream.Get()));
  std::unique_ptr<Gdiplus::Bitmap> copy;
  if (decoded && decoded->GetLastStatus() == Gdiplus::Ok && decoded->GetWidth() > 0 && decoded->GetHeight() > 0) {
    // A copy of our own, so nothing keeps reading the stream later.
    const INT w = static_cast<INT>(decoded->GetWidth());
    const INT h = static_cast<INT>(decoded->GetHeight());
    copy = std::make_unique<Gdiplus::Bitmap>(w, h, PixelFormat32bppARGB);
    if (copy->GetLastStatus() == Gdiplus::Ok) {
      Gdiplus::Graphics g(copy.get());
      g.SetCompositingMode(Gdiplus::CompositingModeSourceCopy);
      g.DrawImage(decoded.get(), Gdiplus::Rect(0, 0, w, h), 0, 0, w, h, Gdiplus::UnitPixel);
    } else {
      copy.reset();
    }
  }
  decoded.reset();  // before the stream it reads from
  return copy;
}

namespace {

bool PngEncoder(CLSID* clsid) {
  UINT count = 0, size = 0;
  if (Gdiplus::GetImageEncodersSize(&count, &size) != Gdiplus::Ok || size == 0) return false;
  std::vector<BYTE> buffer(size);
  auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
  if (Gdiplus::GetImageEncoders(count, size, codecs) != Gdiplus::Ok) return false;
  for (UINT i = 0; i < count; ++i) {
    if (codecs[i].MimeType && std::wstring(codecs[i].MimeType) == L"image/png") {
      *clsid = codecs[i].Clsid;
      return true;
    }
  }
  return false;
}

}  // namespace

Picture EncodePng(Gdiplus::Bitmap& bitmap) {
  CLSID png;
  if (!PngEncoder(&png)) return {};
  ComPtr<IStream> stream;
  *stream.Put() = ::SHCreateMemStream(nullptr, 0);
  if (!stream) return {};
  Picture bytes;
  if (bitmap.Save(stream.Get(), &png, nullptr) == Gdiplus::Ok) {
    STATSTG stat{};
    if (SUCCEEDED(stream->Stat(&stat, STATFLAG_NONAME)) && stat.cbSize.QuadPart < 0x7FFFFFFF) {
      bytes.resize(static_cast<size_t>(stat.cbSize.QuadPart));
      LARGE_INTEGER start{};
      ULONG read = 0;
      if (FAILED(stream->Seek(start, STREAM_SEEK_SET, nullptr)) ||
          FAILED(stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read)) || read != bytes.size())
        bytes.clear();
    }
  }
  return bytes;
}

Gdiplus::ARGB ToArgb(COLORREF colour, BYTE alpha, bool useAlpha) {
  const Gdiplus::ARGB a = useAlpha ? alpha : 255;
  return (a << 24) | (static_cast<Gdiplus::ARGB>(GetRValue(colour)) << 16) |
         (static_cast<Gdiplus::ARGB>(GetGValue(colour)) << 8) | GetBValue(colour);
}

void RoundedRectPath(Gdiplus::GraphicsPath& path, float x, float y, float w, float h, float d) {
  d = std::clamp(d, 1.0f, 100.0f);
  path.AddArc(x + w - d, y, d, d, 270, 90);
  path.AddArc(x + w - d - 1, y + h - d - 1, d + 1, d + 1, 0, 90);
  path.AddArc(x, y + h - d, d, d, 90, 90);
  path.AddArc(x, y, d, d, 180, 90);
  path.CloseFigure();
}

void RoundedTopPath(Gdiplus::GraphicsPath& path, float x, float y, float w, float h, float d) {
  d = std::clamp(d, 1.0f, 100.0f);
  path.AddArc(x + w - d, y, d, d, 270, 90);
  path.AddLine(x + w, y + h, x, y + h);
  path.AddArc(x, y, d, d, 180, 90);
  path.CloseFigure();
}

std::unique_ptr<Gdiplus::LinearGradientBrush> VerticalGradient(const Gdiplus::RectF& rect, Gdiplus::Color top,
                                                               Gdiplus::Color bottom) {
  // Mirrored wrapping: a row just past either end keeps that end's colour instead of jumping
  // back to the other.
  Gdiplus::RectF area(rect.X, rect.Y, rect.Width > 0 ? rect.Width : 1, rect.Height > 0 ? rect.Height : 1);
  auto brush = std::make_unique<Gdiplus::LinearGradientBrush>(area, top, bottom, Gdiplus::LinearGradientModeVertical);
  brush->SetWrapMode(Gdiplus::WrapModeTileFlipXY);
  return brush;
}

std::unique_ptr<Gdiplus::LinearGradientBrush> PointGradient(Gdiplus::PointF a, Gdiplus::PointF b, Gdiplus::Color from,
                                                            Gdiplus::Color to) {
  if (a.X == b.X && a.Y == b.Y) b.Y += 1;
  auto brush = std::make_unique<Gdiplus::LinearGradientBrush>(a, b, from, to);
  brush->SetWrapMode(Gdiplus::WrapModeTileFlipXY);
  return brush;
}

std::unique_ptr<Gdiplus::Font> MakeFont(const std::wstring& face, float size, int style, Gdiplus::Unit unit) {
  for (const wchar_t* name : {face.c_str(), L"SimSun", L"WenQuanYi Zen Hei", L"Tahoma"}) {
    Gdiplus::FontFamily family(name);
    if (family.GetLastStatus() != Gdiplus::Ok) continue;
    auto font = std::make_unique<Gdiplus::Font>(&family, size, style, unit);
    if (font->GetLastStatus() == Gdiplus::Ok) return font;
  }
  return std::make_unique<Gdiplus::Font>(Gdiplus::FontFamily::GenericSansSerif(), size, style, unit);
}

UniqueBitmap CreateArgbBitmap(int w, int h) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = std::max(w, 1);
  info.bmiHeader.biHeight = -std::max(h, 1);
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  return UniqueBitmap(::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
}

bool ArgbSurface::Renew(int w, int h) {
  if (!dc_) dc_.Reset(::CreateCompatibleDC(nullptr));
  if (!dc_) return false;
  UniqueBitmap bitmap = CreateArgbBitmap(w, h);
  if (!bitmap) return false;
  selected_.reset();  // the old bitmap out before it goes
  bitmap_ = std::move(bitmap);
  const HGDIOBJ displaced = ::SelectObject(dc_.Get(), bitmap_.Get());
  if (!displaced_) displaced_ = displaced;
  selected_.emplace(dc_.Get(), displaced, ScopedSelect::AlreadySelected{});
  return true;
}

}  // namespace velmora::skin
