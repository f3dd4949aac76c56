// The numbers of GDI's modes and styles as records carry them, named once for the player
// and the drawing targets.
#pragma once

#include <cstdint>

namespace emf {

// Mapping modes (EMR_SETMAPMODE, META_SETMAPMODE).
inline constexpr int kMmText = 1, kMmLoMetric = 2, kMmHiMetric = 3, kMmLoEnglish = 4,
                     kMmHiEnglish = 5, kMmTwips = 6, kMmIsotropic = 7, kMmAnisotropic = 8;

// Logical units per millimetre of a fixed mapping mode, whose y grows upwards; 0 for the
// others.
constexpr double UnitsPerMillimetre(int mode) {
  switch (mode) {
    case kMmLoMetric:
      return 10;
    case kMmHiMetric:
      return 100;
    case kMmLoEnglish:
      return 100 / 25.4;
    case kMmHiEnglish:
      return 1000 / 25.4;
    case kMmTwips:
      return 1440 / 25.4;
    default:
      return 0;
  }
}

// Background modes (EMR_SETBKMODE).
inline constexpr int kBkTransparent = 1;
inline constexpr int kBkOpaque = 2;

// Graphics modes (the text records' iGraphicsMode).
inline constexpr int kGmCompatible = 1;
inline constexpr int kGmAdvanced = 2;

// Polygon fill modes.
inline constexpr int kFillAlternate = 1;
inline constexpr int kFillWinding = 2;

// Stretch modes; only HALFTONE filters.
inline constexpr int kStretchHalftone = 4;

// Arc directions.
inline constexpr int kArcCounterClockwise = 1;
inline constexpr int kArcClockwise = 2;

// How a region combines with the clip.
inline constexpr int kRgnAnd = 1, kRgnOr = 2, kRgnXor = 3, kRgnDiff = 4, kRgnCopy = 5;

// Brush styles of LOGBRUSH and of geometric pens.
inline constexpr uint32_t kBsSolid = 0, kBsNull = 1, kBsHatched = 2, kBsPattern = 3,
                          kBsDibPattern = 5, kBsDibPatternPt = 6;

// What a DIB's colour table holds.
inline constexpr uint32_t kDibRgbColors = 0;
inline constexpr uint32_t kDibPalColors = 1;  // 16-bit indices into the selected palette

}  // namespace emf
