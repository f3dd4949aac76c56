// GDI's cosmetic lines in whole pixels: integer code, no drawing surface. A line runs by
// Bresenham steps between points rounded to whole pixels, one pixel a step along its major
// axis, and leaves out its last pixel; a style (dashes and gaps) counts pixels, carried from
// one segment of a path to the next.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "emf/records/geometry.h"

namespace emf {

enum class LineOctant { k1 = 1, k2, k3, k4, k5, k6, k7, k8 };

// Counter-clockwise from the positive x axis, y down as on the device: octant 1 is a shallow
// line going right and down.
LineOctant OctantOf(int64_t dx, int64_t dy);

// The pixels a walk may draw: left <= x < right, top <= y < bottom.
struct PixelBox {
  int64_t left = 0, top = 0, right = 0, bottom = 0;
};

namespace line_detail {

// Minor-axis steps GDI's Bresenham has taken after i steps along the major axis (major > 0):
// the error starts at 2 minor - major, so the count has this closed form.
inline int64_t MinorSteps(int64_t i, int64_t major, int64_t minor, int64_t bias) {
  return static_cast<int64_t>((static_cast<__int128>(2) * minor * i + major - 1 + bias) /
                              (static_cast<__int128>(2) * major));
}

// The first step in [from, to] whose minor step count is at least target (to + 1: none).
inline int64_t FirstStepReaching(int64_t target, int64_t from, int64_t to, int64_t major,
                                 int64_t minor, int64_t bias) {
  int64_t low = from;
  int64_t high = to + 1;
  while (low < high) {
    const int64_t middle = low + (high - low) / 2;
    if (MinorSteps(middle, major, minor, bias) >= target) {
      high = middle;
    } else {
      low = middle + 1;
    }
  }
  return low;
}

}  // namespace line_detail

// Walks the pixels of the line from (x0, y0) towards (x1, y1), the last one left out, calling
// plot(x, y) for each inside box. The error starts at 2dy - dx and steps the minor axis when
// it exceeds zero, or reaches it in octants 3, 5, 6 and 8, so that a line and its reverse
// cover the same pixels. Steps outside box are not walked one by one: the walk starts at the
// first step inside it with the state GDI's stepping has there, and skip(n) is told how many
// pixels were passed over, so a style counted in pixels goes on as if all had been walked.
// The cost follows the pixels inside box, whatever the line's length.
template <class Plot, class Skip>
void WalkLine(int64_t x0, int64_t y0, int64_t x1, int64_t y1, const PixelBox& box, Plot&& plot,
              Skip&& skip) {
  const int64_t dx = x1 - x0;
  const int64_t dy = y1 - y0;
  const int64_t adx = dx < 0 ? -dx : dx;
  const int64_t ady = dy < 0 ? -dy : dy;
  const int64_t steps = adx > ady ? adx : ady;
  if (steps == 0) {
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
  // The steps whose major coordinate lies in the box, then those whose minor one does.
  const int64_t major0 = x_major ? x0 : y0;
  const int64_t minor0 = x_major ? y0 : x0;
  const int64_t major_step = x_major ? x_step : y_step;
  const int64_t minor_step = x_major ? y_step : x_step;
  const int64_t major_low = x_major ? box.left : box.top;
  const int64_t major_high = (x_major ? box.right : box.bottom) - 1;
  const int64_t minor_low = x_major ? box.top : box.left;
  const int64_t minor_high = (x_major ? box.bottom : box.right) - 1;
  int64_t first = major_step > 0 ? major_low - major0 : major0 - major_high;
  int64_t last = major_step > 0 ? major_high - major0 : major0 - major_low;
  first = first < 0 ? 0 : first;
  last = last > steps - 1 ? steps - 1 : last;
  const int64_t need_low = minor_step > 0 ? minor_low - minor0 : minor0 - minor_high;
  const int64_t need_high = minor_step > 0 ? minor_high - minor0 : minor0 - minor_low;
  if (first <= last) {
    first = line_detail::FirstStepReaching(need_low, first, last, major, minor, bias);
    last = line_detail::FirstStepReaching(need_high + 1, first, last, major, minor, bias) - 1;
  }
  if (first > last) {
    skip(steps);
    return;
  }
  skip(first);
  const int64_t done = line_detail::MinorSteps(first, major, minor, bias);
  int64_t error = 2 * minor - major + 2 * minor * first - 2 * major * done;
  int64_t x = x_major ? x0 + first * x_step : x0 + done * x_step;
  int64_t y = x_major ? y0 + done * y_step : y0 + first * y_step;
  for (int64_t i = first; i <= last; ++i) {
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
  skip(steps - 1 - last);
}

// A point of the device rounded to its pixel as GDI rounds, far values held in range.
int64_t RoundToPixel(double v);

// Walks every segment of a flattened path (closing segments included) with WalkLine.
template <class Plot, class Skip>
void WalkPath(const Path& flat, const PixelBox& box, Plot&& plot, Skip&& skip) {
  Point start{};
  Point current{};
  bool open = false;
  auto segment = [&](Point from, Point to) {
    WalkLine(RoundToPixel(from.x), RoundToPixel(from.y), RoundToPixel(to.x), RoundToPixel(to.y),
             box, plot, skip);
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
  // Moves count pixels on without looking at them.
  void Skip(int64_t count);

 private:
  std::vector<double> dashes_;
  double length_ = 0;
  double travelled_ = 0;
};

// A dashed geometric pen as GDI lays its dashes: along the path flattened to whole device
// pixels, the style starting again with a dash at each figure. A slanted segment moves the
// style on by its length in whole pixels, the fraction dropped, so along a curve's many short
// chords dashes and gaps reach further than their lengths; dash ends inside a segment fall on
// whole-pixel steps from its start. The result holds each dash as an open figure of lines, to
// be stroked solid; a closed figure's last dash runs on into its first. Nothing when the path
// would hold more than kMostDashes dashes and gaps (a path reaching far off the page).
constexpr double kMostDashes = 1e6;
std::optional<Path> GeometricDashes(const Path& path, const std::vector<double>& dashes);

}  // namespace emf
