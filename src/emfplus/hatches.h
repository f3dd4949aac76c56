// GDI+'s hatch styles as the 8 x 8 tiles of device pixels they repeat.
#pragma once

#include <cstdint>

#include "emf/canvas/paint.h"

namespace emfplus {

// The tile of a hatch style (0 to 52) in the fore colour on the back one (0xAARRGGBB), as
// premultiplied pixels; false for a style that does not exist.
bool HatchTile(uint32_t style, uint32_t fore, uint32_t back, emf::Image& tile);

}  // namespace emfplus
