// Lines, polygons, Béziers, rectangles, ellipses and arcs, in 32- and 16-bit forms.
#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

#include "emf/player/player.h"
#include "emf/records/gdi_constants.h"
#include "emf/records/record_fields.h"

namespace emf {
namespace {

constexpr double kPi = std::numbers::pi;

// Reads count points of 32- or 16-bit coordinates; none when the record does not hold them.
std::vector<Point> ReadPoints(ByteReader& r, uint32_t count, bool small) {
  std::vector<Point> points;
  const size_t size = small ? 4 : 8;
  if (!r.Has(static_cast<size_t>(count) * size)) {
    return points;
  }
  points.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    if (small) {
      const double x = r.I16();
      const double y = r.I16();
      points.push_back({x, y});
    } else {
      const double x = r.I32();
      const double y = r.I32();
      points.push_back({x, y});
    }
  }
  return points;
}

// A polyline through points on an ellipse from angle a0 to a1 (radians, y down).
void AddArc(Path& path, Point c, double rx, double ry, double a0, double a1, bool connect) {
  const double sweep = a1 - a0;
  const int steps = std::clamp(ToInt(std::ceil(std::fabs(sweep) * std::max(rx, ry) / 2)), 8, 4000);
  for (int i = 0; i <= steps; ++i) {
    const double a = a0 + sweep * i / steps;
    const Point p{c.x + rx * std::cos(a), c.y + ry * std::sin(a)};
    if (i == 0 && !connect) {
      path.MoveTo(p);
    } else {
      path.LineTo(p);
    }
  }
}

Path EllipsePath(double x0, double y0, double x1, double y1) {
  const double k = 0.5522847498;  // Bézier circle constant
  const double cx = (x0 + x1) / 2, cy = (y0 + y1) / 2;
  const double rx = (x1 - x0) / 2, ry = (y1 - y0) / 2;
  Path path;
  path.MoveTo({cx + rx, cy});
  path.CurveTo({cx + rx, cy - k * ry}, {cx + k * rx, cy - ry}, {cx, cy - ry});
  path.CurveTo({cx - k * rx, cy - ry}, {cx - rx, cy - k * ry}, {cx - rx, cy});
  path.CurveTo({cx - rx, cy + k * ry}, {cx - k * rx, cy + ry}, {cx, cy + ry});
  path.CurveTo({cx + k * rx, cy + ry}, {cx + rx, cy + k * ry}, {cx + rx, cy});
  path.Close();
  return path;
}

Path BoxPath(double x0, double y0, double x1, double y1) {
  Path path;
  path.MoveTo({x0, y0});
  path.LineTo({x1, y0});
  path.LineTo({x1, y1});
  path.LineTo({x0, y1});
  path.Close();
  return path;
}

Path RoundBoxPath(double x0, double y0, double x1, double y1, double w, double h) {
  const double rx = std::min(std::fabs(w) / 2, (x1 - x0) / 2);
  const double ry = std::min(std::fabs(h) / 2, (y1 - y0) / 2);
  if (rx <= 0 || ry <= 0) {
    return BoxPath(x0, y0, x1, y1);
  }
  Path path;
  AddArc(path, {x1 - rx, y0 + ry}, rx, ry, -kPi / 2, 0, false);
  AddArc(path, {x1 - rx, y1 - ry}, rx, ry, 0, kPi / 2, true);
  AddArc(path, {x0 + rx, y1 - ry}, rx, ry, kPi / 2, kPi, true);
  AddArc(path, {x0 + rx, y0 + ry}, rx, ry, kPi, 1.5 * kPi, true);
  path.Close();
  return path;
}

}  // namespace

// Boxes in device space: GDI fills [left, right) and draws the outline on the box's own
// edge pixels, so the outline runs from left to right - 1.
struct DeviceBox {
  bool axis_aligned = false;
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

DeviceBox Player::BoxOnDevice(const RectL& box) const {
  const Transform t = LogicalToCanvas();
  DeviceBox d;
  d.axis_aligned = std::fabs(t.m12) < 1e-9 && std::fabs(t.m21) < 1e-9;
  const Point a = t.Apply({static_cast<double>(box.left), static_cast<double>(box.top)});
  const Point b = t.Apply({static_cast<double>(box.right), static_cast<double>(box.bottom)});
  d.x0 = std::round(std::min(a.x, b.x));
  d.x1 = std::round(std::max(a.x, b.x));
  d.y0 = std::round(std::min(a.y, b.y));
  d.y1 = std::round(std::max(a.y, b.y));
  return d;
}

DeviceBox Player::InsideFrame(DeviceBox d) const {
  constexpr int kPsInsideFrame = 6;
  if ((state_.pen.style & 0xF) != kPsInsideFrame || state_.pen.width == 0 || in_path_ ||
      !d.axis_aligned || d.x1 <= d.x0 || d.y1 <= d.y0) {
    return d;
  }
  const StrokeStyle stroke = CurrentStroke();
  if (stroke.cosmetic) {
    return d;
  }
  // A pen of w pixels covers w / 2 pixels before its line and the rest after it (5 of 10
  // before, 4 after; 2 and 2 of 5), so the near edges move in by w / 2 and the far ones,
  // whose outline runs on the box's last pixels, by (w - 1) / 2. A box too small for that
  // shrinks to its middle. Settled on tests/gdi-pages' pen-inside-frame.
  const double before = std::floor(stroke.width / 2);
  const double after = std::floor((stroke.width - 1) / 2);
  const double x_in = std::min(before, std::floor((d.x1 - d.x0 - 1) / 2));
  const double y_in = std::min(before, std::floor((d.y1 - d.y0 - 1) / 2));
  d.x0 += std::max(0.0, x_in);
  d.y0 += std::max(0.0, y_in);
  d.x1 = std::max(d.x0 + 1, d.x1 - after);
  d.y1 = std::max(d.y0 + 1, d.y1 - after);
  return d;
}

void Player::LineTo(ByteReader& r) {
  const Point to{static_cast<double>(r.I32()), static_cast<double>(r.I32())};
  Path path;
  path.MoveTo(state_.position);
  path.LineTo(to);
  state_.position = to;
  if (in_path_) {
    if (path_.Empty() || path_.segments.back().kind == PathSegment::kClose) {
      path_.MoveTo(ToCanvas(path.segments[0].p[0]));
    }
    path_.LineTo(ToCanvas(to));
    return;
  }
  DrawShape(path, false, true);
}

// The records of one list of points: from the first point or going on from the current
// position (the "To" records, which move it to their last point), by straight lines or
// Bezier curves, closed and filled (polygons) or stroked only.
void Player::DrawPolyRecord(ByteReader& r, bool small, PolyKind kind) {
  r.Skip(16);  // bounds
  const uint32_t count = r.U32();
  const std::vector<Point> points = ReadPoints(r, count, small);
  if (points.size() != count || count == 0) {
    return;
  }
  const bool continuing = kind == PolyKind::kPolylineTo || kind == PolyKind::kPolyBezierTo;
  const bool curves = kind == PolyKind::kPolyBezier || kind == PolyKind::kPolyBezierTo;
  Path path;
  path.segments.reserve(points.size() + 2);
  path.MoveTo(continuing ? state_.position : points[0]);
  size_t i = continuing ? 0 : 1;
  if (curves) {
    for (; i + 2 < points.size(); i += 3) {
      path.CurveTo(points[i], points[i + 1], points[i + 2]);
    }
  } else {
    for (; i < points.size(); ++i) {
      path.LineTo(points[i]);
    }
  }
  if (kind == PolyKind::kPolygon) {
    path.Close();
  }
  if (!continuing) {
    DrawShape(std::move(path), kind == PolyKind::kPolygon, true);
    return;
  }
  if (i > 0) {
    state_.position = points[i - 1];  // a Bezier run keeps its last whole curve's end
  }
  DrawShapeContinuing(path, false, true);
}

void Player::Polyline(ByteReader& r) {
  DrawPolyRecord(r, false, PolyKind::kPolyline);
}
void Player::Polyline16(ByteReader& r) {
  DrawPolyRecord(r, true, PolyKind::kPolyline);
}
void Player::Polygon(ByteReader& r) {
  DrawPolyRecord(r, false, PolyKind::kPolygon);
}
void Player::Polygon16(ByteReader& r) {
  DrawPolyRecord(r, true, PolyKind::kPolygon);
}
void Player::PolylineTo(ByteReader& r) {
  DrawPolyRecord(r, false, PolyKind::kPolylineTo);
}
void Player::PolylineTo16(ByteReader& r) {
  DrawPolyRecord(r, true, PolyKind::kPolylineTo);
}
void Player::PolyBezier(ByteReader& r) {
  DrawPolyRecord(r, false, PolyKind::kPolyBezier);
}
void Player::PolyBezier16(ByteReader& r) {
  DrawPolyRecord(r, true, PolyKind::kPolyBezier);
}
void Player::PolyBezierTo(ByteReader& r) {
  DrawPolyRecord(r, false, PolyKind::kPolyBezierTo);
}
void Player::PolyBezierTo16(ByteReader& r) {
  DrawPolyRecord(r, true, PolyKind::kPolyBezierTo);
}

namespace {

// EMR_POLYPOLYLINE and EMR_POLYPOLYGON: counts, then all points.
bool ReadPolyPoly(ByteReader& r, bool small, std::vector<uint32_t>& counts,
                  std::vector<Point>& points) {
  r.Skip(16);
  const uint32_t polys = r.U32();
  const uint32_t total = r.U32();
  if (!r.Has(static_cast<size_t>(polys) * 4)) {
    return false;
  }
  uint64_t sum = 0;
  for (uint32_t i = 0; i < polys; ++i) {
    counts.push_back(r.U32());
    sum += counts.back();
  }
  points = ReadPoints(r, total, small);
  return points.size() == total && sum <= total;
}

}  // namespace

void Player::PolyPolyline(ByteReader& r) {
  DrawPolyPolyRecord(r, false, false);
}
void Player::PolyPolyline16(ByteReader& r) {
  DrawPolyPolyRecord(r, true, false);
}
void Player::PolyPolygon(ByteReader& r) {
  DrawPolyPolyRecord(r, false, true);
}
void Player::PolyPolygon16(ByteReader& r) {
  DrawPolyPolyRecord(r, true, true);
}

void Player::DrawPolyPolyRecord(ByteReader& r, bool small, bool closed) {
  std::vector<uint32_t> counts;
  std::vector<Point> points;
  if (!ReadPolyPoly(r, small, counts, points)) {
    return;
  }
  Path path;
  path.segments.reserve(points.size() + counts.size());
  size_t at = 0;
  for (const uint32_t count : counts) {
    for (uint32_t i = 0; i < count; ++i, ++at) {
      if (i == 0) {
        path.MoveTo(points[at]);
      } else {
        path.LineTo(points[at]);
      }
    }
    if (closed && count > 0) {
      path.Close();
    }
  }
  DrawShape(std::move(path), closed, true);
}

void Player::PolyDraw(ByteReader& r) {
  DrawPolyDrawRecord(r, false);
}
void Player::PolyDraw16(ByteReader& r) {
  DrawPolyDrawRecord(r, true);
}

void Player::DrawPolyDrawRecord(ByteReader& r, bool small) {
  r.Skip(16);
  const uint32_t count = r.U32();
  const std::vector<Point> points = ReadPoints(r, count, small);
  const auto types = r.Bytes(count);
  if (points.size() != count || types.size() != count) {
    return;
  }
  Path path;
  path.MoveTo(state_.position);
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t type = types[i] & ~1;
    if (type == 6) {  // PT_MOVETO
      path.MoveTo(points[i]);
    } else if (type == 2) {  // PT_LINETO
      path.LineTo(points[i]);
    } else if (type == 4 && i + 2 < count) {  // PT_BEZIERTO takes three points
      path.CurveTo(points[i], points[i + 1], points[i + 2]);
      i += 2;
    }
    if (types[i] & 1) {  // PT_CLOSEFIGURE
      path.Close();
    }
    state_.position = points[i];
  }
  DrawShapeContinuing(path, false, true);
}

void Player::Rectangle(ByteReader& r) {
  const RectL box = ReadRectL(r);
  // GDI's playback draws a rectangle's outline on its right and bottom edges too, as the
  // advanced graphics mode does; the fill stays inside them. A Windows metafile plays in the
  // compatible mode, its outline a pixel inside. The reference renderer draws an EMF's
  // rectangle of an inside-frame pen where a solid pen's goes, unlike its other shapes, and
  // shrinks a Windows metafile's as it shrinks them (pen-inside-frame, .emf and .wmf).
  DrawBoxShape(
      box, [](double x0, double y0, double x1, double y1) { return BoxPath(x0, y0, x1, y1); },
      !windows_metafile_, windows_metafile_);
}

void Player::GdiComment(ByteReader& r) {
  const uint32_t size = r.U32();
  if (size >= kWindowsMetafileComment.size() &&
      std::ranges::equal(r.Bytes(kWindowsMetafileComment.size()), kWindowsMetafileComment)) {
    windows_metafile_ = true;
  }
}

void Player::Ellipse(ByteReader& r) {
  const RectL box = ReadRectL(r);
  DrawBoxShape(
      box, [](double x0, double y0, double x1, double y1) { return EllipsePath(x0, y0, x1, y1); });
}

void Player::RoundRect(ByteReader& r) {
  const RectL box = ReadRectL(r);
  const double w = r.I32();
  const double h = r.I32();
  const Transform t = LogicalToCanvas();
  const double dw = std::fabs(t.ApplyVector({w, 0}).x);
  const double dh = std::fabs(t.ApplyVector({0, h}).y);
  DrawBoxShape(box, [&](double x0, double y0, double x1, double y1) {
    return RoundBoxPath(x0, y0, x1, y1, dw, dh);
  });
}

template <class Shape>
void Player::DrawBoxShape(const RectL& box, Shape shape, bool outline_on_far_edges,
                          bool inside_frame) {
  const DeviceBox d = inside_frame ? InsideFrame(BoxOnDevice(box)) : BoxOnDevice(box);
  if (!d.axis_aligned) {
    // Turned by a world transform: the shape is made in logical space.
    const Path logical = shape(box.left, box.top, box.right, box.bottom);
    DrawShape(logical, true, true);
    return;
  }
  if (in_path_) {
    path_.Append(shape(d.x0, d.y0, d.x1 - 1, d.y1 - 1));
    return;
  }
  if (d.x1 <= d.x0 || d.y1 <= d.y0) {
    return;
  }
  Fill(shape(d.x0, d.y0, d.x1, d.y1), state_.poly_fill_mode);
  const int inset = outline_on_far_edges ? 0 : 1;
  Stroke(shape(d.x0, d.y0, d.x1 - inset, d.y1 - inset));
}

void Player::DrawArcRecord(ByteReader& r, ArcKind kind) {
  const RectL box = ReadRectL(r);
  const Point start{static_cast<double>(r.I32()), static_cast<double>(r.I32())};
  const Point end{static_cast<double>(r.I32()), static_cast<double>(r.I32())};
  const DeviceBox d = InsideFrame(BoxOnDevice(box));
  const Transform t = LogicalToCanvas();
  const Point s = t.Apply(start);
  const Point e = t.Apply(end);
  // Arcs run on the box's edge pixels, as the outlines of boxes do.
  const double x1 = d.x1 - 1, y1 = d.y1 - 1;
  const Point c{(d.x0 + x1) / 2, (d.y0 + y1) / 2};
  const double rx = (x1 - d.x0) / 2;
  const double ry = (y1 - d.y0) / 2;
  if (rx <= 0 || ry <= 0) {
    return;
  }
  const double a0 = std::atan2((s.y - c.y) / ry, (s.x - c.x) / rx);
  double a1 = std::atan2((e.y - c.y) / ry, (e.x - c.x) / rx);
  // Counter-clockwise on the page is a falling angle with y down; GM_ADVANCED takes the
  // direction in logical space, so a mirroring transform turns it round.
  bool counter_clockwise = state_.arc_direction == 1;
  if (state_.graphics_mode == kGmAdvanced && t.Determinant() < 0) {
    counter_clockwise = !counter_clockwise;
  }
  if (counter_clockwise) {
    if (a1 >= a0) {
      a1 -= 2 * kPi;
    }
  } else if (a1 <= a0) {
    a1 += 2 * kPi;
  }
  Path path;
  if (kind == ArcKind::kPie) {
    path.MoveTo(c);
    AddArc(path, c, rx, ry, a0, a1, true);
    path.Close();
  } else if (kind == ArcKind::kArcTo) {
    path.MoveTo(ToCanvas(state_.position));
    AddArc(path, c, rx, ry, a0, a1, true);
  } else {
    AddArc(path, c, rx, ry, a0, a1, false);
    if (kind == ArcKind::kChord) {
      path.Close();
    }
  }
  if (kind == ArcKind::kArcTo) {
    const Point last = path.segments.back().p[0];
    state_.position = t.Inverse().Apply(last);
  }
  if (in_path_) {
    if (kind == ArcKind::kArcTo && !path_.Empty()) {
      path.segments.front().kind = PathSegment::kLine;
    }
    path_.Append(path);
    return;
  }
  const bool filled = kind == ArcKind::kChord || kind == ArcKind::kPie;
  if (filled) {
    Fill(path, state_.poly_fill_mode);
  }
  Stroke(path);
}

void Player::Arc(ByteReader& r) {
  DrawArcRecord(r, ArcKind::kArc);
}
void Player::ArcTo(ByteReader& r) {
  DrawArcRecord(r, ArcKind::kArcTo);
}
void Player::Chord(ByteReader& r) {
  DrawArcRecord(r, ArcKind::kChord);
}
void Player::Pie(ByteReader& r) {
  DrawArcRecord(r, ArcKind::kPie);
}

void Player::AngleArc(ByteReader& r) {
  const Point c{static_cast<double>(r.I32()), static_cast<double>(r.I32())};
  const double radius = r.U32();
  const double start = r.F32() * kPi / 180;
  const double sweep = r.F32() * kPi / 180;
  if (!std::isfinite(start) || !std::isfinite(sweep) || radius > 1e7) {
    return;
  }
  // Angles count counter-clockwise from the x axis with y up, so y is negated here.
  Path path;
  path.MoveTo(state_.position);
  const int steps = std::clamp(ToInt(std::fabs(sweep) * radius / 2), 8, 4000);
  for (int i = 0; i <= steps; ++i) {
    const double a = start + sweep * i / steps;
    path.LineTo({c.x + radius * std::cos(a), c.y - radius * std::sin(a)});
  }
  state_.position = path.segments.back().p[0];
  DrawShapeContinuing(path, false, true);
}

void Player::SetPixelV(ByteReader& r) {
  const Point p{static_cast<double>(r.I32()), static_cast<double>(r.I32())};
  const ColorRef color = r.U32() & 0xFFFFFF;
  if (in_path_) {
    return;
  }
  const Point d = ToCanvas(p);
  canvas_.SetPixel(ToInt(std::floor(d.x)), ToInt(std::floor(d.y)), color);
}

void Player::DrawShapeContinuing(const Path& logical_path, bool fill, bool stroke) {
  if (!in_path_) {
    DrawShape(logical_path, fill, stroke);
    return;
  }
  // In a path, a figure goes on from the current point unless nothing is open yet.
  Path canvas_path = logical_path.Transformed(LogicalToCanvas());
  if (!path_.Empty() && path_.segments.back().kind != PathSegment::kClose && !canvas_path.Empty() &&
      canvas_path.segments.front().kind == PathSegment::kMove) {
    canvas_path.segments.erase(canvas_path.segments.begin());
  }
  path_.Append(canvas_path);
}

}  // namespace emf
