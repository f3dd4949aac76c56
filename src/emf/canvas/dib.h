// Device-independent bitmaps as records carry them: a BITMAPINFO and the bits.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "emf/canvas/canvas.h"

namespace emf {

// The most pixels a bitmap may have; larger ones are refused, never allocated. Fuzzing builds
// take a smaller limit: a few bytes of RLE or JPEG can ask for 64 million pixels, which takes
// the same paths as a small bitmap but a thousand times longer.
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
inline constexpr uint64_t kMaxDibPixels = uint64_t{1} << 20;
#else
inline constexpr uint64_t kMaxDibPixels = uint64_t{1} << 26;
#endif

// Decodes into 32-bit pixels, rows top-down. keep_alpha: a 32-bit bitmap's fourth byte is
// its (premultiplied) alpha; otherwise every pixel is opaque. palette_indices: the colour
// table holds 16-bit palette indices (DIB_PAL_COLORS), drawn as greys.
std::optional<Image> DecodeDib(std::span<const uint8_t> info, std::span<const uint8_t> bits,
                               bool keep_alpha, bool palette_indices, std::string* error);

}  // namespace emf
