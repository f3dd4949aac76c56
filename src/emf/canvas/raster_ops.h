// GDI's raster operations on 0x00RRGGBB pixels.
#pragma once

#include <cstdint>

namespace emf {

inline constexpr int kR2CopyPen = 13;
inline constexpr uint32_t kSrcCopy = 0x00CC0020;

// Binary operation (R2_BLACK = 1 ... R2_WHITE = 16) of pen or brush P with destination D.
inline uint32_t Rop2(int rop2, uint32_t p, uint32_t d) {
  const unsigned table = static_cast<unsigned>(rop2 - 1) & 0xF;
  uint32_t r = 0;
  if (table & 8)
    r |= p & d;
  if (table & 4)
    r |= p & ~d;
  if (table & 2)
    r |= ~p & d;
  if (table & 1)
    r |= ~p & ~d;
  return r & 0x00FFFFFF;
}

// Ternary operation (the high word's low byte of a raster-operation code) of pattern P,
// source S and destination D.
inline uint32_t Rop3(uint32_t rop, uint32_t p, uint32_t s, uint32_t d) {
  const unsigned table = (rop >> 16) & 0xFF;
  uint32_t r = 0;
  for (unsigned i = 0; i < 8; ++i) {
    if (table & (1u << i)) {
      r |= ((i & 4) ? p : ~p) & ((i & 2) ? s : ~s) & ((i & 1) ? d : ~d);
    }
  }
  return r & 0x00FFFFFF;
}

// The ternary operation's table with the source left out, as a binary operation code, when
// the result does not depend on the source; 0 when it does.
inline int Rop3WithoutSource(uint32_t rop) {
  const unsigned table = (rop >> 16) & 0xFF;
  unsigned rop2_table = 0;
  for (unsigned p = 0; p < 2; ++p) {
    for (unsigned d = 0; d < 2; ++d) {
      const unsigned without = (table >> (p * 4 + d)) & 1;
      const unsigned with = (table >> (p * 4 + 2 + d)) & 1;
      if (without != with) {
        return 0;
      }
      rop2_table |= without << (p * 2 + d);
    }
  }
  return static_cast<int>(rop2_table) + 1;
}

}  // namespace emf
