// The structures records share: RECTL and POINTL, read through the checked reader.
#pragma once

#include "emf/records/byte_reader.h"
#include "emf/records/geometry.h"

namespace emf {

inline RectL ReadRectL(ByteReader& r) {
  RectL rect;
  rect.left = r.I32();
  rect.top = r.I32();
  rect.right = r.I32();
  rect.bottom = r.I32();
  return rect;
}

inline Point ReadPointL(ByteReader& r) {
  const double x = r.I32();
  const double y = r.I32();
  return {x, y};
}

}  // namespace emf
