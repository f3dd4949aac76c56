// Depth reductions: black and white with error diffusion, and 256 colours with a palette of
// the image's own (libimagequant).
#pragma once

#include <string>

#include "imaging/image.h"

namespace imaging {

bool ReduceToBlackAndWhite(Image& image, bool error_diffusion, std::string* error);
bool ReduceTo256Colors(Image& image, bool error_diffusion, std::string* error);
// Grey levels from the brightness, with a 256-step grey palette.
void ReduceToGrey(Image& image);

}  // namespace imaging
