#include "emf/records/geometry.h"

#include <algorithm>
#include <cmath>

namespace emf {

bool Path::Bounds(Point& low, Point& high) const {
  low = {INFINITY, INFINITY};
  high = {-INFINITY, -INFINITY};
  for (const PathSegment& segment : segments) {
    const int points = segment.kind == PathSegment::kCurve   ? 3
                       : segment.kind == PathSegment::kClose ? 0
                                                             : 1;
    for (int i = 0; i < points; ++i) {
      low = {std::min(low.x, segment.p[i].x), std::min(low.y, segment.p[i].y)};
      high = {std::max(high.x, segment.p[i].x), std::max(high.y, segment.p[i].y)};
    }
  }
  return low.x <= high.x && low.y <= high.y;
}

namespace {

// Enough steps that no chord strays from the curve by more than about a tenth of a pixel.
int CurveSteps(Point from, const PathSegment& s) {
  const double length = std::hypot(s.p[0].x - from.x, s.p[0].y - from.y) +
                        std::hypot(s.p[1].x - s.p[0].x, s.p[1].y - s.p[0].y) +
                        std::hypot(s.p[2].x - s.p[1].x, s.p[2].y - s.p[1].y);
  return std::clamp(ToInt(std::sqrt(length) * 2), 2, 1000);
}

}  // namespace

size_t Path::FlattenedSize() const {
  size_t size = 0;
  Point current;
  for (const PathSegment& s : segments) {
    if (s.kind != PathSegment::kCurve) {
      ++size;
      if (s.kind != PathSegment::kClose) {
        current = s.p[0];
      }
      continue;
    }
    size += static_cast<size_t>(CurveSteps(current, s));
    current = s.p[2];
  }
  return size;
}

Path Path::Flattened() const {
  Path out;
  Point current;
  for (const PathSegment& s : segments) {
    if (s.kind != PathSegment::kCurve) {
      out.segments.push_back(s);
      if (s.kind != PathSegment::kClose) {
        current = s.p[0];
      }
      continue;
    }
    const int steps = CurveSteps(current, s);
    for (int i = 1; i <= steps; ++i) {
      const double t = static_cast<double>(i) / steps;
      const double u = 1 - t;
      const double a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
      out.LineTo({a * current.x + b * s.p[0].x + c * s.p[1].x + d * s.p[2].x,
                  a * current.y + b * s.p[0].y + c * s.p[1].y + d * s.p[2].y});
    }
    current = s.p[2];
  }
  return out;
}

bool FourCorners(const Path& path, std::array<Point, 4>& corner) {
  size_t count = 0;
  for (size_t i = 0; i < path.segments.size(); ++i) {
    const PathSegment& segment = path.segments[i];
    if (segment.kind == PathSegment::kClose) {
      // A figure after the box makes the path more than one box.
      if (i + 1 != path.segments.size()) {
        return false;
      }
      break;
    }
    const bool fits = count == 0 ? segment.kind == PathSegment::kMove
                                 : segment.kind == PathSegment::kLine && count < corner.size();
    if (!fits) {
      return false;
    }
    corner[count++] = segment.p[0];
  }
  return count == corner.size();
}

bool Upright(const std::array<Point, 4>& c) {
  return (c[0].y == c[1].y && c[1].x == c[2].x && c[2].y == c[3].y && c[3].x == c[0].x) ||
         (c[0].x == c[1].x && c[1].y == c[2].y && c[2].x == c[3].x && c[3].y == c[0].y);
}

}  // namespace emf
