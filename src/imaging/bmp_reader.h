// BMP files as rasterisation and other programs write them.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "imaging/image.h"

namespace imaging {

// Reads depths 1, 4, 8, 16, 24 and 32, with and without palettes, bottom-up and top-down,
// BI_RGB and BI_BITFIELDS. A file that is cut, lies about its sizes or is too large is
// refused with a reason, before anything is allocated for its pixels.
bool ReadBmp(std::span<const uint8_t> bytes, Image& image, std::string* error);

}  // namespace imaging
