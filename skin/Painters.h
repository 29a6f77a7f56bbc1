// The control painters' window procedures, installed by SkinWindow on a skinned window's
// children, and the push-button painter the frame calls for WM_DRAWITEM.
#pragma once

#include <windows.h>

namespace velmora::skin {

LRESULT CALLBACK ButtonProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
LRESULT CALLBACK EditProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
LRESULT CALLBACK ComboProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
LRESULT CALLBACK ListProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
LRESULT CALLBACK SliderProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
LRESULT CALLBACK ProgressProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
LRESULT CALLBACK UpDownProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept;
LRESULT CALLBACK HeaderProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) noexcept;

// Item state bits of DRAWITEMSTRUCT that the painters use.
constexpr UINT kStateSelected = 0x1, kStateDisabled = 0x4, kStateFocus = 0x10, kStateHot = 0x40;

// Paints a skinned push button into `dc` (not released here).
void PaintButton(HWND button, HDC dc, UINT itemState, const RECT& rect);

}  // namespace velmora::skin
