// The control painters' window procedures, installed by SkinWindow on a skinned window's
// children as subclasses whose data is the control's record, and the push-button painter the
// frame calls for WM_DRAWITEM.
#pragma once

#include "base/Gdi.h"
#include "skin/SkinEngine.h"

#include <windows.h>

namespace velmora::skin {

// The painters' window procedures, installed with SetWindowSubclass; the reference data is the
// control's record.
typedef LRESULT CALLBACK SubclassProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                           DWORD_PTR record) noexcept;
SubclassProcedure ButtonProcedure;
SubclassProcedure EditProcedure;
SubclassProcedure ComboProcedure;
SubclassProcedure ListProcedure;
SubclassProcedure SliderProcedure;
SubclassProcedure ProgressProcedure;
SubclassProcedure UpDownProcedure;
SubclassProcedure HeaderProcedure;

// Item state bits of DRAWITEMSTRUCT that the painters use.
constexpr UINT kStateSelected = 0x1, kStateDisabled = 0x4, kStateFocus = 0x10, kStateHot = 0x40;

// Paints a skinned push button into `dc` (not released here).
void PaintButton(SkinEngine& engine, HWND button, HDC dc, UINT itemState, const RECT& rect);

// Draws with `draw(graphics, width, height)` over what the skin shows behind the control and copies
// the result to `target`, or to the control's own DC when `target` is null.
template <typename Draw>
void PaintOverBackground(SkinEngine& engine, HWND control, HDC target, Draw draw) {
  RECT client{};
  if (!::GetClientRect(control, &client) || client.right <= 0 || client.bottom <= 0) return;
  const int width = client.right;
  const int height = client.bottom;
  const BackgroundSurface surface(engine, control, client);
  if (!surface) return;
  {
    Gdiplus::Graphics g(surface.Dc());
    draw(g, width, height);
  }
  if (target) {
    ::BitBlt(target, 0, 0, width, height, surface.Dc(), 0, 0, SRCCOPY);
  } else if (const ScopedWindowDc dc(control); dc) {
    ::BitBlt(dc.Get(), 0, 0, width, height, surface.Dc(), 0, 0, SRCCOPY);
  }
}

}  // namespace velmora::skin
