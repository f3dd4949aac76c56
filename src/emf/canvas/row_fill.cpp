#include "emf/canvas/row_fill.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace emf {
namespace {

// cairo's fixed point: 1/256 of a pixel. Coordinates beyond any page are held at 2^40 pixels,
// which keeps every product below within 64 bits where it can be, and 128 where it cannot.
constexpr double kFixedOne = 256;
constexpr double kFarthest = 1099511627776.0;
// A row is sampled just above its centre, at 127/256 of a pixel down, as cairo's aliased fill
// samples it; the first pixel right of a crossing at x (fixed) is (x + 127) >> 8.
constexpr int64_t kSampleOffset = 127;

int64_t Fixed(double v) {
  return static_cast<int64_t>(std::nearbyint(std::clamp(v, -kFarthest, kFarthest) * kFixedOne));
}

int64_t FloorDiv(__int128 a, int64_t b) {  // b > 0
  __int128 q = a / b;
  if (a % b != 0 && a < 0) {
    --q;
  }
  return static_cast<int64_t>(q);
}

// An edge over the rows it crosses, top to bottom: where it crosses the current row in fixed
// point (floored, with the remainder over den kept exact), how that moves from row to row, and
// the direction it runs.
struct Edge {
  int first_row = 0, last_row = 0;
  int64_t x = 0, remainder = 0, step = 0, step_remainder = 0, den = 1;
  int direction = 0;

  void NextRow() {
    x += step;
    remainder += step_remainder;
    if (remainder >= den) {
      ++x;
      remainder -= den;
    }
  }
};

class EdgeList {
 public:
  EdgeList(int top, int bottom, size_t most) : top_(top), bottom_(bottom) { edges_.reserve(most); }

  // An edge crosses the rows whose sample point lies in [its upper end, its lower end).
  void Add(Point a, Point b) {
    int64_t x0 = Fixed(a.x), y0 = Fixed(a.y), x1 = Fixed(b.x), y1 = Fixed(b.y);
    if (y0 == y1) {
      return;
    }
    int direction = 1;
    if (y0 > y1) {
      std::swap(x0, x1);
      std::swap(y0, y1);
      direction = -1;
    }
    const int64_t first = std::max<int64_t>(FloorDiv(y0 - kSampleOffset + 255, 256), top_);
    const int64_t last =
        std::min<int64_t>(FloorDiv(y1 - kSampleOffset + 255, 256) - 1, bottom_ - 1);
    if (first > last) {
      return;
    }
    Edge e;
    e.first_row = static_cast<int>(first);
    e.last_row = static_cast<int>(last);
    e.direction = direction;
    e.den = y1 - y0;
    const int64_t dx = x1 - x0;
    const __int128 along = static_cast<__int128>(first * 256 + kSampleOffset - y0) * dx;
    e.x = x0 + FloorDiv(along, e.den);
    e.remainder = static_cast<int64_t>(along - static_cast<__int128>(e.x - x0) * e.den);
    const __int128 per_row = static_cast<__int128>(dx) * 256;
    e.step = FloorDiv(per_row, e.den);
    e.step_remainder = static_cast<int64_t>(per_row - static_cast<__int128>(e.step) * e.den);
    edges_.push_back(e);
  }

  std::vector<Edge>& edges() { return edges_; }

 private:
  int top_, bottom_;
  std::vector<Edge> edges_;
};

}  // namespace

void FillRows(const Path& path, bool winding, int left, int top, int width, int height,
              uint8_t* mask, size_t stride, PlacePoint place) {
  if (width <= 0 || height <= 0) {
    return;
  }
  // Curves are flattened first; a path of lines (what long paths are) is read as it is.
  const bool curves = path.HasCurves();
  const Path flattened = curves ? path.Flattened() : Path{};
  const Path& lines = curves ? flattened : path;
  EdgeList list(top, top + height, lines.segments.size());
  Point start, current;
  bool open = false;
  for (const PathSegment& s : lines.segments) {
    // A point that is no number is left out: the figure goes on from the one before.
    if (s.kind != PathSegment::kClose && !(std::isfinite(s.p[0].x) && std::isfinite(s.p[0].y))) {
      continue;
    }
    const Point p = place != nullptr ? place(s.p[0]) : s.p[0];
    switch (s.kind) {
      case PathSegment::kMove:
        if (open) {
          list.Add(current, start);
        }
        start = current = p;
        open = true;
        break;
      case PathSegment::kLine:
      case PathSegment::kCurve:  // none after flattening
        if (!open) {
          start = current;
          open = true;
        }
        list.Add(current, p);
        current = p;
        break;
      case PathSegment::kClose:
        list.Add(current, start);
        current = start;
        break;
    }
  }
  if (open) {
    list.Add(current, start);
  }
  // Edges by their first row, so each row takes on those that start there; the active ones
  // are kept side by side, as they are visited every row.
  std::vector<Edge>& edges = list.edges();
  std::sort(edges.begin(), edges.end(),
            [](const Edge& a, const Edge& b) { return a.first_row < b.first_row; });
  std::vector<Edge> active;
  size_t next = 0;
  std::vector<int> crossings(static_cast<size_t>(width), 0);  // winding change at each pixel
  for (int row = 0; row < height; ++row) {
    const int y = top + row;
    for (; next < edges.size() && edges[next].first_row == y; ++next) {
      active.push_back(edges[next]);
    }
    size_t kept = 0;
    for (Edge& e : active) {
      // The first pixel right of the crossing.
      const int64_t x = ((e.x + 127) >> 8) - left;
      if (x < width) {
        crossings[x > 0 ? static_cast<size_t>(x) : 0] += e.direction;
      }
      if (e.last_row > y) {
        e.NextRow();
        active[kept++] = e;
      }
    }
    active.resize(kept);
    uint8_t* out = mask + static_cast<size_t>(row) * stride;
    int count = 0;
    for (int x = 0; x < width; ++x) {
      count += crossings[static_cast<size_t>(x)];
      crossings[static_cast<size_t>(x)] = 0;
      out[x] = (winding ? count != 0 : (count & 1) != 0) ? 0xFF : 0;
    }
  }
}

}  // namespace emf
