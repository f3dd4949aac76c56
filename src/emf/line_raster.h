// GDI's cosmetic lines in whole pixels: integer code, no drawing surface. A line runs by
// Bresenham steps between points rounded to whole pixels, one pixel a step along its major
// axis, and leaves out its last pixel; a style (dashes and gaps) counts pixels, carried from
// one segment of a path to the next.
#pragma once

#include <cstdint>
#include <vector>

#include "emf/geometry.h"

namespace emf {

enum class LineOctant { k1 = 1, k2, k3, k4, k5, k6, k7, k8 };

// Counter-clockwise from the positive x axis, y down as on the device: octant 1 is a shallow
// line going right and down.
LineOctant OctantOf(int64_t dx, int64_t dy);

// Walks the pixels of the line from (x0, y0) towards (x1, y1), the last one left out, calling
// plot(x, y) for each. The error starts at 2dy - dx and steps the minor axis when it exceeds
// zero, or reaches it in octants 3, 5, 6 and 8, so that a line and its reverse cover the same
// pixels. Lines of more than max_steps pixels are not walked.
template <class Plot>
void WalkLine(int64_t x0, int64_t y0, int64_t x1, int64_t y1, int64_t max_steps, Plot&& plot) {
  const int64_t dx = x1 - x0;
  const int64_t dy = y1 - y0;
  const int64_t adx = dx < 0 ? -dx : dx;
  const int64_t ady = dy < 0 ? -dy : dy;
  const int64_t steps = adx > ady ? adx : ady;
  if (steps == 0 || steps > max_steps) {
    return;
  }
  const LineOctant octant = OctantOf(dx, dy);
  const int64_t bias = (octant == LineOctant::k3 || octant == LineOctant::k5 ||
                        octant == LineOctant::k6 || octant == LineOctant::k8)
                           ? 1
                           : 0;
  const bool x_major = octant == LineOctant::k1 || octant == LineOctant::k4 ||
                       octant == LineOctant::k5 || octant == LineOctant::k8;
  const int64_t major = x_major ? adx : ady;
  const int64_t minor = x_major ? ady : adx;
  const int64_t x_step = dx >= 0 ? 1 : -1;
  const int64_t y_step = dy >= 0 ? 1 : -1;
  int64_t error = 2 * minor - major;
  int64_t x = x0;
  int64_t y = y0;
  for (int64_t i = 0; i < steps; ++i) {
    plot(x, y);
    if (error + bias > 0) {
      if (x_major) {
        y += y_step;
      } else {
        x += x_step;
      }
      error += 2 * minor - 2 * major;
    } else {
      error += 2 * minor;
    }
    if (x_major) {
      x += x_step;
    } else {
      y += y_step;
    }
  }
}

// A point of the device rounded to its pixel as GDI rounds, far values held in range.
int64_t RoundToPixel(double v);

// Walks every segment of a flattened path (closing segments included) with WalkLine.
template <class Plot>
void WalkPath(const Path& flat, int64_t max_steps, Plot&& plot) {
  Point start{};
  Point current{};
  bool open = false;
  auto segment = [&](Point from, Point to) {
    WalkLine(RoundToPixel(from.x), RoundToPixel(from.y), RoundToPixel(to.x), RoundToPixel(to.y),
             max_steps, plot);
  };
  for (const PathSegment& s : flat.segments) {
    switch (s.kind) {
      case PathSegment::kMove:
        start = current = s.p[0];
        open = true;
        break;
      case PathSegment::kLine:
        if (open) {
          segment(current, s.p[0]);
        }
        current = s.p[0];
        break;
      case PathSegment::kClose:
        if (open) {
          segment(current, start);
        }
        current = start;
        break;
      case PathSegment::kCurve:
        break;  // a flattened path has none
    }
  }
}

// Dashes and gaps of a line style in pixels (dash, gap, dash, ...); no dashes: solid.
class LineStyleCounter {
 public:
  explicit LineStyleCounter(std::vector<double> dashes);
  // Whether the next pixel falls in a dash; each call moves one pixel on.
  bool NextIsDash();

 private:
  std::vector<double> dashes_;
  double length_ = 0;
  double travelled_ = 0;
};

}  // namespace emf
