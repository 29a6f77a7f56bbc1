// Picture services of the engine: its built-in pictures, the average colour of a picture and
// the faded edges that blend a small picture into a larger window.
#pragma once

#include "skin/Gdip.h"

namespace velmora::skin {

// The bytes of an RCDATA resource of the executable; empty when it is missing.
Picture LoadResourcePicture(int id);

// The mean colour of `count` pixels at fixed pseudo-random positions (opaque); 0 when the bytes
// are no picture.
Gdiplus::ARGB AverageColour(const Picture& picture, int count);
Gdiplus::ARGB AverageColour(Gdiplus::Bitmap& picture, int count);

enum class FadeSide { Right, Left };
// The picture with the given side and the bottom edge faded into `colour`, as PNG bytes; the
// picture unchanged when it cannot be decoded.
Picture FadePictureEdges(const Picture& picture, Gdiplus::ARGB colour, FadeSide side);

}  // namespace velmora::skin
