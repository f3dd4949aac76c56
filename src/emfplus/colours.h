// Colours as EMF+ keeps them (0xAARRGGBB): premultiplied for drawing, and mixed.
#pragma once

#include <cmath>
#include <cstdint>

namespace emfplus {

// The colour with its channels scaled by its alpha, as cairo's pixels hold them.
inline uint32_t Premultiply(uint32_t argb) {
  const uint32_t a = argb >> 24;
  if (a == 255) {
    return argb;
  }
  auto channel = [a](uint32_t c) { return (c * a + 127) / 255; };
  return a << 24 | channel((argb >> 16) & 0xFF) << 16 | channel((argb >> 8) & 0xFF) << 8 |
         channel(argb & 0xFF);
}

// The colours a and b mixed, a's share of each channel given.
inline uint32_t Mix(uint32_t a, uint32_t b, double share_of_a) {
  uint32_t mixed = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const double channel =
        share_of_a * ((a >> shift) & 0xFF) + (1 - share_of_a) * ((b >> shift) & 0xFF);
    mixed |= static_cast<uint32_t>(std::lround(channel)) << shift;
  }
  return mixed;
}

}  // namespace emfplus
