// Owners for GDI objects: each deletes, releases or deselects what it holds exactly once, so
// paint code has no hand-written clean-up to get wrong on an early return.
#pragma once

#include "base/Handles.h"

#include <windows.h>

namespace velmora {

template <typename T>
using GdiObjectTraits = NullEmptyTraits<T, ::DeleteObject>;
using MemoryDcTraits = NullEmptyTraits<HDC, ::DeleteDC>;

using UniqueFont = UniqueHandle<GdiObjectTraits<HFONT>>;
using UniqueBitmap = UniqueHandle<GdiObjectTraits<HBITMAP>>;
using UniqueBrush = UniqueHandle<GdiObjectTraits<HBRUSH>>;
using UniqueRegion = UniqueHandle<GdiObjectTraits<HRGN>>;
using UniqueMemoryDc = UniqueHandle<MemoryDcTraits>;  // CreateCompatibleDC

// A window's DC (GetDC, or GetWindowDC with `wholeWindow`), released at the end of the scope.
class ScopedWindowDc {
 public:
  explicit ScopedWindowDc(HWND hwnd, bool wholeWindow = false) noexcept
      : hwnd_(hwnd), dc_(wholeWindow ? ::GetWindowDC(hwnd) : ::GetDC(hwnd)) {}
  // A DC of `hwnd` got another way (GetDCEx), released the same way.
  ScopedWindowDc(HWND hwnd, HDC dc) noexcept : hwnd_(hwnd), dc_(dc) {}
  ~ScopedWindowDc() {
    if (dc_) ::ReleaseDC(hwnd_, dc_);
  }
  ScopedWindowDc(const ScopedWindowDc&) = delete;
  ScopedWindowDc& operator=(const ScopedWindowDc&) = delete;

  HDC Get() const noexcept { return dc_; }
  explicit operator bool() const noexcept { return dc_ != nullptr; }

 private:
  HWND hwnd_;
  HDC dc_;
};

// An object selected into a DC for the length of a scope; what was selected before comes back.
class ScopedSelect {
 public:
  ScopedSelect(HDC dc, HGDIOBJ object) noexcept : dc_(dc), old_(dc && object ? ::SelectObject(dc, object) : nullptr) {}
  // Takes over a selection already made, given what it displaced.
  struct AlreadySelected {};
  ScopedSelect(HDC dc, HGDIOBJ displaced, AlreadySelected) noexcept : dc_(dc), old_(displaced) {}
  ~ScopedSelect() {
    if (old_) ::SelectObject(dc_, old_);
  }
  ScopedSelect(const ScopedSelect&) = delete;
  ScopedSelect& operator=(const ScopedSelect&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

// An off-screen bitmap with its own DC, compatible with the DC it was fitted to: drawing goes
// there and reaches the screen in one copy. Kept between paints; made anew only when the size
// changes.
class MemorySurface {
 public:
  MemorySurface() = default;
  ~MemorySurface() { Release(); }
  MemorySurface(const MemorySurface&) = delete;
  MemorySurface& operator=(const MemorySurface&) = delete;

  // Makes sure the surface is `width` × `height`; false when GDI could not make it.
  bool Fit(HDC compatible, int width, int height) {
    if (dc_ && width == width_ && height == height_) return true;
    Release();
    UniqueMemoryDc dc(::CreateCompatibleDC(compatible));
    UniqueBitmap bitmap(::CreateCompatibleBitmap(compatible, width > 0 ? width : 1, height > 0 ? height : 1));
    if (!dc || !bitmap) return false;
    old_ = ::SelectObject(dc.Get(), bitmap.Get());
    dc_ = std::move(dc);
    bitmap_ = std::move(bitmap);
    width_ = width;
    height_ = height;
    return true;
  }
  HDC Dc() const noexcept { return dc_.Get(); }
  int Width() const noexcept { return width_; }
  int Height() const noexcept { return height_; }

  void Release() noexcept {
    if (dc_ && old_) ::SelectObject(dc_.Get(), old_);  // the bitmap is deselected before it goes
    old_ = nullptr;
    bitmap_.Reset();
    dc_.Reset();
    width_ = height_ = 0;
  }

 private:
  UniqueMemoryDc dc_;
  UniqueBitmap bitmap_;
  HGDIOBJ old_ = nullptr;
  int width_ = 0;
  int height_ = 0;
};

}  // namespace velmora
