// Long paths of lines filled row by row. cairo's aliased fill keeps a path's edges sorted along
// each row, which costs time with the number of times they cross one another: a self-crossing
// polygon of 250,000 points took over a minute. Here each row's crossings are counted into the
// pixel where they start and summed along the row, so the time grows with the rows each edge
// spans and the pixels filled, however the edges cross. A pixel is inside when its sample
// point is, taken as cairo's aliased fill takes it; where a notch narrower than a pixel
// crosses a row, cairo fills the pixel and GDI does not, and neither does this (settled on
// tests/gdi-pages' fill-long-outline).
#pragma once

#include <cstddef>
#include <cstdint>

#include "emf/records/geometry.h"

namespace emf {

// Paths of at least this many segments are filled row by row; shorter ones are left to cairo,
// which is as quick on them.
inline constexpr size_t kRowFillSegments = 8192;

// Where a point is filled from, as the caller places points for filling; null: where it is.
using PlacePoint = Point (*)(Point);

// Writes the coverage of the path (its figures closed as a fill closes them, curves flattened,
// each point placed) over the pixels [left, left + width) x [top, top + height) into mask, an
// 8-bit image stride bytes a row: 0xFF where the pixel's sample point is inside by the rule
// (nonzero winding, else even-odd), 0 elsewhere.
void FillRows(const Path& path, bool winding, int left, int top, int width, int height,
              uint8_t* mask, size_t stride, PlacePoint place = nullptr);

}  // namespace emf
