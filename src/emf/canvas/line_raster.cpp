#include "emf/canvas/line_raster.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <utility>

namespace emf {

LineOctant OctantOf(int64_t dx, int64_t dy) {
  if (dy > 0) {
    return dx > 0 ? (dx > dy ? LineOctant::k1 : LineOctant::k2)
                  : (-dx > dy ? LineOctant::k4 : LineOctant::k3);
  }
  return dx < 0 ? (-dx > -dy ? LineOctant::k5 : LineOctant::k6)
                : (dx > -dy ? LineOctant::k8 : LineOctant::k7);
}

int64_t RoundToPixel(double v) {
  return static_cast<int64_t>(std::floor(std::clamp(v, -1e9, 1e9) + 0.5));
}

LineStyleCounter::LineStyleCounter(std::vector<double> dashes) : dashes_(std::move(dashes)) {
  for (double d : dashes_) {
    length_ += d;
  }
}

void LineStyleCounter::Skip(int64_t count) {
  if (length_ > 0 && count > 0) {
    travelled_ = std::fmod(travelled_ + std::fmod(static_cast<double>(count), length_), length_);
  }
}

bool LineStyleCounter::NextIsDash() {
  if (!(length_ > 0)) {
    return true;
  }
  double at = std::fmod(travelled_, length_);
  travelled_ += 1;
  for (size_t i = 0; i < dashes_.size(); ++i) {
    if (at < dashes_[i]) {
      return i % 2 == 0;
    }
    at -= dashes_[i];
  }
  return false;
}

namespace {

Point OnPixel(Point p) {
  return {static_cast<double>(RoundToPixel(p.x)), static_cast<double>(RoundToPixel(p.y))};
}

// GDI halves a curve in sixteenths of a pixel, each middle rounded up, so its chords' ends are
// those of this arithmetic, not of the true curve.
struct Sixteenths {
  int64_t x = 0, y = 0;
};

int64_t ToWholePixel(int64_t v) {
  return (v + 8) >> 4;
}

// Whether a piece may stand as its chord: each control point on the chord's side of its start
// along the major axis and not past its end, and within a pixel of the chord across it, the
// chord's slope taken in whole sixteenths a pixel.
bool FlatEnough(const Sixteenths (&c)[4]) {
  const int64_t dx = c[3].x - c[0].x;
  const int64_t dy = c[3].y - c[0].y;
  const bool shallow = std::llabs(dy) <= std::llabs(dx);
  auto major = [&](const Sixteenths& p) { return shallow ? p.x : p.y; };
  auto minor = [&](const Sixteenths& p) { return shallow ? p.y : p.x; };
  for (int i = 1; i <= 2; ++i) {
    const int64_t at = major(c[i]);
    if (at < major(c[0]) ? at < major(c[3]) : at > major(c[3])) {
      return false;
    }
  }
  const int64_t span = ToWholePixel(shallow ? dx : dy);
  if (span == 0) {
    return true;
  }
  const int64_t slope = (shallow ? dy : dx) / span;
  for (int i = 1; i <= 2; ++i) {
    // Wide enough for coordinates far off the page.
    const __int128 across = static_cast<__int128>(minor(c[i]) - minor(c[0])) -
                            static_cast<__int128>(slope) * ToWholePixel(major(c[i]) - major(c[0]));
    if (across > 16 || across < -16) {
      return false;
    }
  }
  return true;
}

// Halves a curve until each piece is flat enough, at most eight times deep.
void FlattenToPixels(const Sixteenths (&c)[4], int depth, std::vector<Point>& out) {
  if (depth == 0 || FlatEnough(c)) {
    out.push_back(
        {static_cast<double>(ToWholePixel(c[3].x)), static_cast<double>(ToWholePixel(c[3].y))});
    return;
  }
  auto mid = [](Sixteenths a, Sixteenths b) {
    return Sixteenths{(a.x + b.x + 1) / 2, (a.y + b.y + 1) / 2};
  };
  const Sixteenths ab = mid(c[0], c[1]), bc = mid(c[1], c[2]), cd = mid(c[2], c[3]);
  const Sixteenths abc = mid(ab, bc), bcd = mid(bc, cd), centre = mid(abc, bcd);
  FlattenToPixels({c[0], ab, abc, centre}, depth - 1, out);
  FlattenToPixels({centre, bcd, cd, c[3]}, depth - 1, out);
}

struct PixelFigure {
  std::vector<Point> points;
  bool closed = false;
};

std::vector<PixelFigure> PixelFigures(const Path& path) {
  std::vector<PixelFigure> figures;
  Point current{};
  auto add = [&](Point p) {
    if (figures.empty()) {
      figures.push_back({{OnPixel(current)}, false});
    }
    std::vector<Point>& points = figures.back().points;
    if (points.back().x != p.x || points.back().y != p.y) {
      points.push_back(p);
    }
  };
  for (const PathSegment& s : path.segments) {
    switch (s.kind) {
      case PathSegment::kMove:
        figures.push_back({{OnPixel(s.p[0])}, false});
        current = s.p[0];
        break;
      case PathSegment::kLine:
        add(OnPixel(s.p[0]));
        current = s.p[0];
        break;
      case PathSegment::kCurve: {
        // The control points are rounded to whole pixels first, as the device holds them.
        auto fixed = [](Point p) {
          return Sixteenths{RoundToPixel(p.x) * 16, RoundToPixel(p.y) * 16};
        };
        std::vector<Point> chords;
        FlattenToPixels({fixed(current), fixed(s.p[0]), fixed(s.p[1]), fixed(s.p[2])}, 8, chords);
        for (Point p : chords) {
          add(p);
        }
        current = s.p[2];
        break;
      }
      case PathSegment::kClose:
        if (!figures.empty()) {
          figures.back().closed = true;
          current = figures.back().points.front();
          figures.push_back({{current}, false});
        }
        break;
    }
  }
  return figures;
}

}  // namespace

std::optional<Path> GeometricDashes(const Path& path, const std::vector<double>& dashes) {
  std::vector<int64_t> style;
  int64_t shortest = std::numeric_limits<int64_t>::max();
  for (double d : dashes) {
    style.push_back(std::max<int64_t>(1, RoundToPixel(d)));
    shortest = std::min(shortest, style.back());
  }
  Path out;
  if (style.empty()) {
    return out;
  }
  const std::vector<PixelFigure> figures = PixelFigures(path);
  double reach = 0;
  for (const PixelFigure& figure : figures) {
    for (size_t i = 0; i + 1 < figure.points.size(); ++i) {
      reach += std::fabs(figure.points[i + 1].x - figure.points[i].x) +
               std::fabs(figure.points[i + 1].y - figure.points[i].y);
    }
    if (figure.closed && !figure.points.empty()) {
      reach += std::fabs(figure.points.front().x - figure.points.back().x) +
               std::fabs(figure.points.front().y - figure.points.back().y);
    }
  }
  if (reach / static_cast<double>(shortest) > kMostDashes) {
    return std::nullopt;
  }
  for (const PixelFigure& figure : figures) {
    const std::vector<Point>& pts = figure.points;
    if (pts.size() < 2) {
      continue;
    }
    size_t element = 0;
    int64_t left = style[0];
    bool ink = true;
    std::vector<std::vector<Point>> pieces;
    std::vector<Point> piece{pts[0]};
    const size_t count = figure.closed ? pts.size() : pts.size() - 1;
    for (size_t i = 0; i < count; ++i) {
      const Point a = pts[i];
      const Point b = pts[(i + 1) % pts.size()];
      const double dx = b.x - a.x, dy = b.y - a.y;
      const bool upright = dx == 0 || dy == 0;
      const double length = upright ? std::fabs(dx) + std::fabs(dy) : std::hypot(dx, dy);
      int64_t at = 0;
      while (true) {
        if (length - static_cast<double>(at) < static_cast<double>(left)) {
          // The segment ends inside this element: only whole pixels of it are used up.
          left -= static_cast<int64_t>(length - static_cast<double>(at));
          if (ink) {
            piece.push_back(b);
          }
          break;
        }
        at += left;
        const double f = static_cast<double>(at) / length;
        const Point end{a.x + std::trunc(dx * f), a.y + std::trunc(dy * f)};
        if (ink) {
          piece.push_back(end);
          pieces.push_back(std::move(piece));
          piece.clear();
        } else {
          piece = {end};
        }
        element = (element + 1) % style.size();
        left = style[element];
        ink = !ink;
      }
    }
    if (ink && piece.size() > 1) {
      const bool joins_first = figure.closed && !pieces.empty() &&
                               pieces.front().front().x == pts[0].x &&
                               pieces.front().front().y == pts[0].y;
      if (joins_first) {
        piece.insert(piece.end(), pieces.front().begin() + 1, pieces.front().end());
        pieces.front() = std::move(piece);
      } else {
        pieces.push_back(std::move(piece));
      }
    }
    for (const std::vector<Point>& dash : pieces) {
      out.MoveTo(dash[0]);
      for (size_t k = 1; k < dash.size(); ++k) {
        out.LineTo(dash[k]);
      }
    }
  }
  return out;
}

}  // namespace emf
