#include "emf/line_raster.h"

#include <algorithm>
#include <cmath>
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

// Whether a curve may stand as its chord: both control points between the ends along the
// chord's major axis and within a pixel of the chord across it.
bool FlatEnough(const Point (&c)[4]) {
  const double dx = c[3].x - c[0].x;
  const double dy = c[3].y - c[0].y;
  const bool shallow = std::fabs(dy) <= std::fabs(dx);
  for (int i = 1; i <= 2; ++i) {
    const double along = shallow ? c[i].x : c[i].y;
    const double from = shallow ? c[0].x : c[0].y;
    const double to = shallow ? c[3].x : c[3].y;
    if (along < std::min(from, to) || along > std::max(from, to)) {
      return false;
    }
    const double major = shallow ? dx : dy;
    if (std::fabs(major) < 1) {
      continue;  // a chord shorter than a pixel: nothing to stray from
    }
    const double across = shallow ? c[i].y - c[0].y - dy / dx * (c[i].x - c[0].x)
                                  : c[i].x - c[0].x - dx / dy * (c[i].y - c[0].y);
    if (std::fabs(across) > 1) {
      return false;
    }
  }
  return true;
}

// Halves a curve until each piece is flat enough, at most eight times deep; the chords' ends
// land on whole pixels.
void FlattenToPixels(const Point (&c)[4], int depth, std::vector<Point>& out) {
  if (depth == 0 || FlatEnough(c)) {
    out.push_back(OnPixel(c[3]));
    return;
  }
  auto mid = [](Point a, Point b) { return Point{(a.x + b.x) / 2, (a.y + b.y) / 2}; };
  const Point ab = mid(c[0], c[1]), bc = mid(c[1], c[2]), cd = mid(c[2], c[3]);
  const Point abc = mid(ab, bc), bcd = mid(bc, cd), centre = mid(abc, bcd);
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
        // The control points are rounded first, as the device holds them.
        std::vector<Point> chords;
        FlattenToPixels({OnPixel(current), OnPixel(s.p[0]), OnPixel(s.p[1]), OnPixel(s.p[2])}, 8,
                        chords);
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

Path GeometricDashes(const Path& path, const std::vector<double>& dashes) {
  std::vector<int64_t> style;
  for (double d : dashes) {
    style.push_back(std::max<int64_t>(1, RoundToPixel(d)));
  }
  Path out;
  if (style.empty()) {
    return out;
  }
  for (const PixelFigure& figure : PixelFigures(path)) {
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
