// Wide solid geometric pens as the reference renderer draws them: not a stroke of a width, but
// a union of small filled shapes on whole pixels. Each segment is the four-cornered shape
// between its ends moved across by half the width; round joins and caps are small disks; bevel
// and miter joins fill the corners between the segments meeting there; square caps lengthen
// the end segments by half the width. Settled on tests/gdi-pages' pen-segments-*,
// pen-joins-v-* and pen-dots.
#pragma once

#include <cairo.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "emf/records/geometry.h"

namespace emf {

// The most rows one path is drawn as here; past it, the path is left to cairo.
inline constexpr size_t kMaxWidePenRows = size_t{1} << 16;

// The pixels the pen covers along the path on rows first_row <= y < end_row, as rectangles of
// whole pixels one row high (filled nonzero, x0 <= x < x1 on row y for the rectangle from
// (x0, y) to (x1, y + 1)). Nothing when the path has coordinates too far out for whole-pixel
// arithmetic or would take more than kMaxWidePenRows rows.
std::optional<Path> WidePenShapes(const Path& path, int width, cairo_line_cap_t cap,
                                  cairo_line_join_t join, int64_t first_row, int64_t end_row);

}  // namespace emf
