// Points, rectangles, affine transforms and paths in floating point.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <vector>

namespace emf {

// A coordinate or count from untrusted numbers as an int: NaN gives 0 and anything beyond a
// billion is held there, so no conversion overflows.
inline int ToInt(double v) {
  if (!(v == v)) {
    return 0;
  }
  return static_cast<int>(v < -1e9 ? -1e9 : v > 1e9 ? 1e9 : v);
}

struct Point {
  double x = 0;
  double y = 0;
};

struct RectL {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
};

// x' = m11 x + m21 y + dx, y' = m12 x + m22 y + dy (the XFORM layout).
struct Transform {
  double m11 = 1, m12 = 0, m21 = 0, m22 = 1, dx = 0, dy = 0;

  Point Apply(Point p) const { return {m11 * p.x + m21 * p.y + dx, m12 * p.x + m22 * p.y + dy}; }
  Point ApplyVector(Point p) const { return {m11 * p.x + m21 * p.y, m12 * p.x + m22 * p.y}; }
  // this first, then next.
  Transform Then(const Transform& next) const {
    return {m11 * next.m11 + m12 * next.m21,         m11 * next.m12 + m12 * next.m22,
            m21 * next.m11 + m22 * next.m21,         m21 * next.m12 + m22 * next.m22,
            dx * next.m11 + dy * next.m21 + next.dx, dx * next.m12 + dy * next.m22 + next.dy};
  }
  double Determinant() const { return m11 * m22 - m12 * m21; }
  bool Invertible() const { return std::fabs(Determinant()) > 1e-12; }
  Transform Inverse() const {
    const double det = Determinant();
    if (std::fabs(det) < 1e-300) {
      return {};
    }
    Transform inv;
    inv.m11 = m22 / det;
    inv.m12 = -m12 / det;
    inv.m21 = -m21 / det;
    inv.m22 = m11 / det;
    inv.dx = -(dx * inv.m11 + dy * inv.m21);
    inv.dy = -(dx * inv.m12 + dy * inv.m22);
    return inv;
  }
  bool IsFinite() const {
    return std::isfinite(m11) && std::isfinite(m12) && std::isfinite(m21) && std::isfinite(m22) &&
           std::isfinite(dx) && std::isfinite(dy);
  }
};

// A path of figures in one coordinate space; curves are cubic Béziers.
struct PathSegment {
  enum Kind : uint8_t { kMove, kLine, kCurve, kClose } kind;
  Point p[3];
};

struct Path {
  std::vector<PathSegment> segments;

  void MoveTo(Point p) { segments.push_back({PathSegment::kMove, {p, {}, {}}}); }
  void LineTo(Point p) { segments.push_back({PathSegment::kLine, {p, {}, {}}}); }
  void CurveTo(Point a, Point b, Point c) { segments.push_back({PathSegment::kCurve, {a, b, c}}); }
  void Close() {
    if (!segments.empty() && segments.back().kind != PathSegment::kClose) {
      segments.push_back({PathSegment::kClose, {}});
    }
  }
  bool Empty() const { return segments.empty(); }
  void Append(const Path& other) {
    segments.insert(segments.end(), other.segments.begin(), other.segments.end());
  }
  Path Transformed(const Transform& t) const {
    Path out = *this;
    for (auto& s : out.segments) {
      for (auto& p : s.p) {
        p = t.Apply(p);
      }
    }
    return out;
  }
  bool HasCurves() const {
    return std::any_of(segments.begin(), segments.end(),
                       [](const PathSegment& s) { return s.kind == PathSegment::kCurve; });
  }
  // Curves replaced by line runs; FlattenedSize is how many segments that makes, counted
  // without making them.
  Path Flattened() const;
  size_t FlattenedSize() const;
  // The box of every point, control points included; false when there is no point or a
  // coordinate is not a number.
  bool Bounds(Point& low, Point& high) const;
};

// The corners of a path that is one four-cornered figure, in order; false for any other.
bool FourCorners(const Path& path, std::array<Point, 4>& corner);
// Whether the corners make a rectangle with sides across and down the page.
bool Upright(const std::array<Point, 4>& c);

}  // namespace emf
