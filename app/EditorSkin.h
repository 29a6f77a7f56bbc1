// How the effect editor is skinned: its background picture, stretched, a caption strip that
// drags it and a frame that does not resize, and its three labels drawn over the picture.
#pragma once

#include <windows.h>

#include <array>

namespace velmora::app {

// The editor's skin hook; false when the skin engine is not running.
bool SkinEditor(HWND editor, const std::array<HWND, 4>& labels);

}  // namespace velmora::app
