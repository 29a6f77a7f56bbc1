// The caption buttons of a skinned window: which ones it gets, their tooltips, and (as members
// of SkinEngine, in CaptionButtons.cpp) where they sit, how they are drawn, pressed and faded,
// and what they do. Their geometry is in SkinGeometry.
#pragma once

#include "skin/SkinEngine.h"

#include <windows.h>

#include <vector>

namespace velmora::skin {

// The buttons of a window with these boxes, left to right, with their pictures and tooltips.
std::vector<CaptionButton> MakeCaptionButtons(bool help, bool menu, bool minimise, bool maximise);

// A tooltip window owned by `frame`, with a tool for each button (LayoutCaptionButtons places
// them). It goes with its owner.
HWND CreateCaptionTooltips(HWND frame, std::vector<CaptionButton>& buttons);

}  // namespace velmora::skin
