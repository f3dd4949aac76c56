// Shapes: rectangles, polygons, lines, ellipses, pies, arcs, curves, Béziers, paths and
// regions, filled with a brush or a colour and stroked with a pen.
#include <algorithm>
#include <cmath>
#include <numbers>
#include <numeric>
#include <tuple>

#include "emf/canvas/raster_ops.h"
#include "emfplus/colours.h"
#include "emfplus/hatches.h"
#include "emfplus/player.h"

namespace emfplus {
namespace {

constexpr uint16_t kClosed = 0x2000;   // DrawLines: the last point joins the first
constexpr uint16_t kWinding = 0x2000;  // FillClosedCurve: the nonzero rule

// Coordinates past this many pixels draw nothing more on any page and would overflow the
// rasteriser's fixed point: they are held there.
constexpr double kFarthest = 1 << 22;

// A point of the ellipse in the rectangle at an angle (degrees, clockwise from the x axis as
// the page's y axis runs down) as GDI+ measures it: along the ray from the centre, so that
// 45 degrees of a wide ellipse lies on its diagonal's direction.
double ParametricAngle(const RectF& r, double degrees) {
  const double a = degrees * std::numbers::pi / 180.0;
  return std::atan2(std::sin(a) * std::fabs(r.width), std::cos(a) * std::fabs(r.height));
}

// Appends the arc of the rectangle's ellipse from start through sweep degrees, as Béziers of
// at most a quarter turn each; the first point is a move when the path has no figure open.
void AppendArc(emf::Path& path, const RectF& r, double start, double sweep, bool line_to_start) {
  const double cx = r.x + r.width / 2, cy = r.y + r.height / 2;
  const double rx = r.width / 2, ry = r.height / 2;
  sweep = std::clamp(sweep, -360.0, 360.0);
  // A whole turn or more is the whole ellipse; otherwise the ends lie on the rays.
  double t0 = ParametricAngle(r, start);
  double t1 = ParametricAngle(r, start + sweep);
  if (std::fabs(sweep) >= 360) {
    t1 = t0 + (sweep > 0 ? 2 : -2) * std::numbers::pi;
  } else if (sweep > 0) {
    while (t1 < t0) {
      t1 += 2 * std::numbers::pi;
    }
  } else {
    while (t1 > t0) {
      t1 -= 2 * std::numbers::pi;
    }
  }
  auto at = [&](double t) { return emf::Point{cx + rx * std::cos(t), cy + ry * std::sin(t)}; };
  const emf::Point first = at(t0);
  if (line_to_start) {
    path.LineTo(first);
  } else {
    path.MoveTo(first);
  }
  const int pieces =
      std::max(1, static_cast<int>(std::ceil(std::fabs(t1 - t0) / (std::numbers::pi / 2) - 1e-9)));
  const double step = (t1 - t0) / pieces;
  const double k = 4.0 / 3.0 * std::tan(step / 4);
  for (int i = 0; i < pieces; ++i) {
    const double a = t0 + i * step, b = a + step;
    const emf::Point p0 = at(a), p3 = at(b);
    const emf::Point p1{p0.x - k * rx * std::sin(a), p0.y + k * ry * std::cos(a)};
    const emf::Point p2{p3.x + k * rx * std::sin(b), p3.y - k * ry * std::cos(b)};
    path.CurveTo(p1, p2, p3);
  }
}

emf::Path EllipsePath(const RectF& r) {
  emf::Path path;
  AppendArc(path, r, 0, 360, false);
  path.Close();
  return path;
}

emf::Path PiePath(const RectF& r, double start, double sweep) {
  emf::Path path;
  path.MoveTo({r.x + r.width / 2, r.y + r.height / 2});
  AppendArc(path, r, start, sweep, true);
  path.Close();
  return path;
}

// A cardinal spline through the points as Béziers, GDI+'s curves: each segment's control
// points lie 0.3 of the tension along the chord between its ends' neighbours, as the paths
// GDI+ makes of curves have them (0.15 of the chord at the default tension of 0.5).
void AppendCurve(emf::Path& path, const std::vector<emf::Point>& p, double tension, size_t first,
                 size_t segments, bool closed) {
  const size_t n = p.size();
  auto point = [&](ptrdiff_t i) -> emf::Point {
    if (closed) {
      return p[static_cast<size_t>((i % static_cast<ptrdiff_t>(n) + static_cast<ptrdiff_t>(n)) %
                                   static_cast<ptrdiff_t>(n))];
    }
    return p[static_cast<size_t>(std::clamp<ptrdiff_t>(i, 0, static_cast<ptrdiff_t>(n) - 1))];
  };
  const double k = 0.3 * tension;
  path.MoveTo(point(static_cast<ptrdiff_t>(first)));
  for (size_t s = 0; s < segments; ++s) {
    const auto i = static_cast<ptrdiff_t>(first + s);
    const emf::Point a = point(i), b = point(i + 1);
    const emf::Point before = point(i - 1), after = point(i + 2);
    path.CurveTo({a.x + k * (b.x - before.x), a.y + k * (b.y - before.y)},
                 {b.x - k * (after.x - a.x), b.y - k * (after.y - a.y)}, b);
  }
  if (closed) {
    path.Close();
  }
}

emf::Path Polyline(const std::vector<emf::Point>& points, bool closed) {
  emf::Path path;
  for (const emf::Point& p : points) {
    if (path.Empty()) {
      path.MoveTo(p);
    } else {
      path.LineTo(p);
    }
  }
  if (closed) {
    path.Close();
  }
  return path;
}

cairo_line_cap_t CairoCap(int cap) {
  switch (cap) {
    case kCapSquare:
      return CAIRO_LINE_CAP_SQUARE;
    case kCapRound:
      return CAIRO_LINE_CAP_ROUND;
    default:  // flat, triangle (drawn apart) and the anchors
      return CAIRO_LINE_CAP_BUTT;
  }
}

// The shape a cap of the pen's width adds at an end of an open figure: at p, pointing along
// the unit direction d (away from the line). Anchors are wider than the pen and sit on the
// end: a square 1.5 widths across, a circle and a diamond two widths across, an arrow head
// two widths long with its tip on the end (as GDI+ draws them).
void AppendCapShape(emf::Path& shapes, int cap, emf::Point p, emf::Point d, double half) {
  const emf::Point n{-d.y * half, d.x * half};
  auto at = [&](double along, double across) {  // in half widths
    return emf::Point{p.x + d.x * half * along + n.x * across,
                      p.y + d.y * half * along + n.y * across};
  };
  switch (cap) {
    case kCapSquareAnchor:
      shapes.MoveTo(at(-1.5, -1.5));
      shapes.LineTo(at(1.5, -1.5));
      shapes.LineTo(at(1.5, 1.5));
      shapes.LineTo(at(-1.5, 1.5));
      shapes.Close();
      break;
    case kCapRoundAnchor:
      AppendArc(shapes, RectF{p.x - 2 * half, p.y - 2 * half, 4 * half, 4 * half}, 0, 360, false);
      shapes.Close();
      break;
    case kCapDiamondAnchor:
      shapes.MoveTo(at(2, 0));
      shapes.LineTo(at(0, 2));
      shapes.LineTo(at(-2, 0));
      shapes.LineTo(at(0, -2));
      shapes.Close();
      break;
    case kCapArrowAnchor: {
      const double spread = 4 / std::sqrt(3.0);  // the head's sides 30 degrees off the line
      shapes.MoveTo(at(0, 0));
      shapes.LineTo(at(-4, spread));
      shapes.LineTo(at(-4, -spread));
      shapes.Close();
      break;
    }
    case kCapTriangle:
      shapes.MoveTo({p.x + n.x, p.y + n.y});
      shapes.LineTo({p.x + d.x * half, p.y + d.y * half});
      shapes.LineTo({p.x - n.x, p.y - n.y});
      shapes.Close();
      break;
    case kCapSquare:
      shapes.MoveTo({p.x + n.x, p.y + n.y});
      shapes.LineTo({p.x + n.x + d.x * half, p.y + n.y + d.y * half});
      shapes.LineTo({p.x - n.x + d.x * half, p.y - n.y + d.y * half});
      shapes.LineTo({p.x - n.x, p.y - n.y});
      shapes.Close();
      break;
    case kCapRound:
      AppendArc(shapes, RectF{p.x - half, p.y - half, 2 * half, 2 * half}, 0, 360, false);
      shapes.Close();
      break;
    default:
      break;
  }
}

constexpr double kWidestPen = 1 << 20;

// The most dashes one stroke is laid out in.
constexpr double kMaxDashes = 1 << 20;

// How long the path runs, at most: its curves counted by their control polygons.
double DeviceLength(const emf::Path& path) {
  double length = 0;
  emf::Point at;
  for (const emf::PathSegment& s : path.segments) {
    const int points = s.kind == emf::PathSegment::kCurve   ? 3
                       : s.kind == emf::PathSegment::kClose ? 0
                                                            : 1;
    for (int i = 0; i < points; ++i) {
      if (s.kind != emf::PathSegment::kMove) {
        length += std::hypot(s.p[i].x - at.x, s.p[i].y - at.y);
      }
      at = s.p[i];
    }
  }
  return length;
}

// Whether every figure of the path is closed.
bool AllClosed(const emf::Path& path) {
  const auto& s = path.segments;
  for (size_t i = 0; i < s.size(); ++i) {
    const bool figure_ends = i + 1 == s.size() || s[i + 1].kind == emf::PathSegment::kMove;
    if (figure_ends && s[i].kind != emf::PathSegment::kClose) {
      return false;
    }
  }
  return !s.empty();
}

// Where each open figure starts and ends, with the direction it leaves each end by.
struct FigureEnd {
  emf::Point at, direction;
};

// Calls open(i, j) for each open figure of two points or more, segments [i, j).
template <class Open>
void ForEachOpenFigure(const std::vector<emf::PathSegment>& s, Open open) {
  size_t i = 0;
  while (i < s.size()) {
    size_t j = i + 1;
    while (j < s.size() && s[j].kind != emf::PathSegment::kMove &&
           s[j].kind != emf::PathSegment::kClose) {
      ++j;
    }
    const bool closed = j < s.size() && s[j].kind == emf::PathSegment::kClose;
    if (!closed && j > i + 1) {
      open(i, j);
    }
    i = closed ? j + 1 : j;
  }
}

void OpenEnds(const emf::Path& path, std::vector<FigureEnd>& starts, std::vector<FigureEnd>& ends) {
  auto unit = [](emf::Point from, emf::Point to) {
    const double dx = to.x - from.x, dy = to.y - from.y, length = std::hypot(dx, dy);
    return length > 0 ? emf::Point{dx / length, dy / length} : emf::Point{};
  };
  const auto& s = path.segments;
  ForEachOpenFigure(s, [&](size_t i, size_t j) {
    const emf::Point start = s[i].p[0];
    const emf::Point next = s[i + 1].p[0];
    const emf::PathSegment& last = s[j - 1];
    const emf::Point end = last.kind == emf::PathSegment::kCurve ? last.p[2] : last.p[0];
    const emf::Point before =
        last.kind == emf::PathSegment::kCurve
            ? last.p[1]
            : (j - 1 > i
                   ? (s[j - 2].kind == emf::PathSegment::kCurve ? s[j - 2].p[2] : s[j - 2].p[0])
                   : start);
    starts.push_back({start, unit(next, start)});
    ends.push_back({end, unit(before, end)});
  });
}

// How many pen widths a line end's cap stands in for: the line stops that far short of it.
double CapCut(int cap, const CustomCap& custom) {
  return cap == kCapArrowAnchor ? 2.0 : cap == kCapCustom ? custom.inset * custom.scale : 0.0;
}

// The path with each open figure's first and last straight stretch cut short by start_cut and
// end_cut (at most to nothing); curved ends are kept whole.
emf::Path ShortenEnds(const emf::Path& path, double start_cut, double end_cut) {
  emf::Path cut = path;
  auto& s = cut.segments;
  auto pull = [](emf::Point& p, emf::Point towards, double amount) {
    const double length = std::hypot(towards.x - p.x, towards.y - p.y);
    const double share = length > 0 ? std::min(1.0, amount / length) : 0.0;
    p = {p.x + (towards.x - p.x) * share, p.y + (towards.y - p.y) * share};
  };
  ForEachOpenFigure(s, [&](size_t i, size_t j) {
    // Both ends of a single line are cut from its ends as they were, together at most to
    // nothing.
    const emf::Point start = s[i].p[0], end = s[j - 1].p[0];
    double from_start = start_cut, from_end = end_cut;
    const double length = std::hypot(end.x - start.x, end.y - start.y);
    if (j == i + 2 && from_start + from_end > length) {
      const double share = length / (from_start + from_end);
      from_start *= share;
      from_end *= share;
    }
    if (s[i + 1].kind == emf::PathSegment::kLine && from_start > 0) {
      pull(s[i].p[0], s[i + 1].p[0], from_start);
    }
    if (s[j - 1].kind == emf::PathSegment::kLine && from_end > 0) {
      const emf::PathSegment& before = s[j - 2];
      const emf::Point from = j - 1 == i + 1                            ? start
                              : before.kind == emf::PathSegment::kCurve ? before.p[2]
                                                                        : before.p[0];
      s[j - 1].p[0] = end;
      pull(s[j - 1].p[0], from, from_end);
    }
  });
  return cut;
}

// The path's figures moved sideways by offset (to the right of their way, on a page whose y
// runs down), curves flattened first: one strip of a compound pen. A corner's point moves
// along its mitre, at most four offsets away.
emf::Path OffsetPath(const emf::Path& path, double offset) {
  const emf::Path flat = path.Flattened();
  emf::Path out;
  std::vector<emf::Point> points;
  auto normal = [](emf::Point a, emf::Point b) {
    const double dx = b.x - a.x, dy = b.y - a.y, length = std::hypot(dx, dy);
    return emf::Point{-dy / length, dx / length};
  };
  auto emit = [&](bool closed) {
    // A closed figure that comes back to its first point closes without that last side.
    if (closed && points.size() > 2 && points.back().x == points.front().x &&
        points.back().y == points.front().y) {
      points.pop_back();
    }
    const size_t n = points.size();
    for (size_t i = 0; n >= 2 && i < n; ++i) {
      const bool has_before = i > 0 || closed, has_after = i + 1 < n || closed;
      const emf::Point before =
          has_before ? normal(points[(i + n - 1) % n], points[i]) : emf::Point{};
      const emf::Point after = has_after ? normal(points[i], points[(i + 1) % n]) : emf::Point{};
      emf::Point mitre{before.x + after.x, before.y + after.y};
      const double length = std::hypot(mitre.x, mitre.y);
      // Along one side, the sum of the normals is the normal; at a corner, the mitre's
      // length over the offset is 1 / cos(half the turn).
      const double reach =
          has_before && has_after ? std::min(4.0, 2 / std::max(length, 1e-9)) * offset : offset;
      const emf::Point at{points[i].x + mitre.x / std::max(length, 1e-9) * reach,
                          points[i].y + mitre.y / std::max(length, 1e-9) * reach};
      if (i == 0) {
        out.MoveTo(at);
      } else {
        out.LineTo(at);
      }
    }
    if (closed && n >= 2) {
      out.Close();
    }
    points.clear();
  };
  for (const emf::PathSegment& s : flat.segments) {
    if (s.kind == emf::PathSegment::kMove) {
      emit(false);
    }
    if (s.kind == emf::PathSegment::kClose) {
      const emf::Point start = points.empty() ? emf::Point{} : points.front();
      emit(true);
      points.push_back(start);  // a figure may go on from where the closed one began
      continue;
    }
    if (points.empty() || s.p[0].x != points.back().x || s.p[0].y != points.back().y) {
      points.push_back(s.p[0]);
    }
  }
  emit(false);
  return out;
}

// A custom cap's shape placed on a line end: its y axis along d, scaled by the pen's width.
emf::Path PlacedCap(const emf::Path& shape, const FigureEnd& end, double width) {
  const emf::Point d = end.direction;
  return shape.Transformed(
      {d.y * width, -d.x * width, d.x * width, d.y * width, end.at.x, end.at.y});
}

}  // namespace

// The transform's points kept within kFarthest; false when one is not a number.
bool Player::Tame(emf::Path& path) {
  for (emf::PathSegment& segment : path.segments) {
    for (emf::Point& p : segment.p) {
      if (!std::isfinite(p.x) || !std::isfinite(p.y)) {
        return false;
      }
      p.x = std::clamp(p.x, -kFarthest, kFarthest);
      p.y = std::clamp(p.y, -kFarthest, kFarthest);
    }
  }
  return true;
}

bool Player::Bounded(const Record& record, size_t points) {
  if (points <= kMaxPathPoints) {
    return true;
  }
  target_.Fail(std::string(RecordName(record.type)) + " makes a shape of " +
               std::to_string(points) + " points, past the " + std::to_string(kMaxPathPoints) +
               " the engine draws in one shape");
  return false;
}

namespace {

// A solid colour as a paint.
emf::SmoothPaint Solid(uint32_t argb) {
  emf::SmoothPaint paint;
  paint.argb = argb;
  return paint;
}

}  // namespace

namespace {

// The colour of a blend's stops at t, from 0 to 1.
uint32_t ColourAt(const std::vector<emf::SmoothPaint::Stop>& stops, double t) {
  if (t <= stops.front().offset) {
    return stops.front().argb;
  }
  for (size_t i = 0; i + 1 < stops.size(); ++i) {
    const double from = stops[i].offset, to = stops[i + 1].offset;
    if (t <= to) {
      const double share = to > from ? (t - from) / (to - from) : 1;
      return Mix(stops[i + 1].argb, stops[i].argb, share);
    }
  }
  return stops.back().argb;
}

// How a brush's wrap mode repeats its paint: tiled, mirrored (cairo mirrors both ways at
// once), or clamped as the brush's kind clamps.
emf::SmoothPaint::Extend ExtendOf(int wrap, emf::SmoothPaint::Extend clamped) {
  constexpr int kTileFlipX = 1, kTileFlipXY = 3, kClamp = 4;
  return wrap == kTileFlipX || wrap == kTileFlipXY ? emf::SmoothPaint::Extend::kReflect
         : wrap == kClamp                          ? clamped
                                                   : emf::SmoothPaint::Extend::kRepeat;
}

// The most patches a path gradient is shaded with: past them it takes its mean colour.
constexpr size_t kMaxPatches = size_t{1} << 16;

// A path gradient as patches on the target: a fan of rings from the boundary to the centre,
// one ring a stop of its blend; a blend of two stops shades from each boundary point's own
// colour.
std::vector<emf::SmoothPaint::Patch> PathGradientMesh(const Brush& brush,
                                                      const emf::Transform& to_target) {
  // The boundary, and the focus's ring inside it (the centre, without focus scales).
  const emf::Point c = brush.centre;
  std::vector<emf::Point> ring, focus;
  for (const emf::PathSegment& segment : brush.boundary.segments) {
    if (segment.kind != emf::PathSegment::kClose) {
      const emf::Point p = segment.p[0];
      ring.push_back(to_target.Apply(p));
      focus.push_back(
          to_target.Apply({c.x + brush.focus_x * (p.x - c.x), c.y + brush.focus_y * (p.y - c.y)}));
    }
  }
  const std::vector<emf::SmoothPaint::Stop>& stops = brush.stops;
  if (ring.size() < 3 || stops.empty() || ring.size() * (stops.size() + 1) > kMaxPatches) {
    return {};
  }
  const emf::Point centre = to_target.Apply(c);
  auto towards_focus = [&](size_t i, double t) {
    return emf::Point{ring[i].x + t * (focus[i].x - ring[i].x),
                      ring[i].y + t * (focus[i].y - ring[i].y)};
  };
  const bool own_colours = stops.size() == 2 && stops[0].offset == 0 && stops[1].offset == 1;
  const bool has_focus = brush.focus_x > 0 || brush.focus_y > 0;
  const uint32_t middle = ColourAt(stops, 1);
  std::vector<emf::SmoothPaint::Patch> mesh;
  for (size_t i = 0; i < ring.size(); ++i) {
    const size_t j = (i + 1) % ring.size();
    if (has_focus) {
      mesh.push_back({{focus[i], focus[j], centre, centre}, {middle, middle, middle, middle}});
    }
    const uint32_t at_i = brush.surround[std::min(i, brush.surround.size() - 1)];
    const uint32_t at_j = brush.surround[std::min(j, brush.surround.size() - 1)];
    if (own_colours) {
      mesh.push_back({{ring[i], ring[j], focus[j], focus[i]}, {at_i, at_j, middle, middle}});
      continue;
    }
    // Between each two stops, the band of the ring they bound.
    double from = 0;
    for (size_t k = 0; k <= stops.size(); ++k) {
      const double to = k < stops.size() ? stops[k].offset : 1.0;
      if (to > from) {
        const uint32_t outer = ColourAt(stops, from), inner = ColourAt(stops, to);
        mesh.push_back({{towards_focus(i, from), towards_focus(j, from), towards_focus(j, to),
                         towards_focus(i, to)},
                        {outer, outer, inner, inner}});
      }
      from = std::max(from, to);
    }
  }
  return mesh;
}

}  // namespace

emf::SmoothPaint Player::PaintOf(const Brush& brush) const {
  emf::SmoothPaint paint = Solid(brush.argb);
  if (brush.kind == Brush::kHatch) {
    // A hatch is a tile of device pixels from the rendering origin, whatever the transform.
    auto tile = std::make_shared<emf::Image>();
    if (HatchTile(brush.hatch_style, brush.fore, brush.back, *tile)) {
      paint.tile = std::move(tile);
      const emf::Point origin = device_to_target_.Apply(rendering_origin_);
      paint.to_device = {1, 0, 0, 1, std::round(origin.x), std::round(origin.y)};
    }
  } else if (brush.kind == Brush::kPathGradient) {
    paint.mesh = PathGradientMesh(brush, brush.transform.Then(WorldToTarget()));
    // cairo shades a patch by cutting it down to pixels: one reaching far past the page
    // would cost time beyond the page's, and takes the gradient's mean colour instead.
    const double w = target_.width(), h = target_.height();
    for (const emf::SmoothPaint::Patch& patch : paint.mesh) {
      for (const emf::Point& p : patch.corner) {
        if (!(p.x >= -w && p.x <= 2 * w && p.y >= -h && p.y <= 2 * h)) {
          paint.mesh.clear();
          return paint;
        }
      }
    }
  } else if (brush.kind == Brush::kTexture && brush.texture) {
    // The bitmap's pixels from the world's origin, in the brush's transform.
    paint.tile = brush.texture;
    paint.to_device = brush.transform.Then(WorldToTarget());
    paint.extend = ExtendOf(brush.wrap, emf::SmoothPaint::Extend::kNone);
  } else if (brush.kind == Brush::kTexture && brush.picture) {
    paint.tile = PictureTile(brush.picture, brush.transform.Then(WorldToTarget()), paint.to_device);
    paint.sampling = emf::SmoothPaint::Sampling::kBilinear;
    paint.extend = ExtendOf(brush.wrap, emf::SmoothPaint::Extend::kNone);
  } else if (brush.kind == Brush::kLinearGradient && brush.rect.width != 0 &&
             brush.rect.height != 0) {
    // The gradient's unit square is its rectangle, in the brush's and then the world's space.
    paint.gradient = brush.stops;
    paint.to_device =
        emf::Transform{brush.rect.width, 0, 0, brush.rect.height, brush.rect.x, brush.rect.y}
            .Then(brush.transform)
            .Then(WorldToTarget());
    paint.extend = ExtendOf(brush.wrap, emf::SmoothPaint::Extend::kPad);
  }
  return paint;
}

bool Player::FillBrush(const Record& record, emf::ByteReader& r, emf::SmoothPaint& paint) {
  const uint32_t field = r.U32();
  if ((record.flags & kFlagSolidColor) != 0) {
    paint = Solid(field);
    return true;
  }
  const Brush* brush = ObjectAt<Brush>(record, field);
  if (brush == nullptr) {
    return false;
  }
  paint = PaintOf(*brush);
  return true;
}

void Player::Fill(const Record& record, const emf::Path& world_path, emf::FillRule rule,
                  const emf::SmoothPaint& paint) {
  if (world_path.Empty() || !Bounded(record, world_path.segments.size())) {
    return;
  }
  emf::Path path = world_path.Transformed(WorldToTarget());
  if (!Tame(path)) {
    Skip(record, "not a number");
    return;
  }
  FillDevice(path, rule, paint);
}

void Player::FillDevice(const emf::Path& path, emf::FillRule rule, const emf::SmoothPaint& paint) {
  ApplyClip();
  if (paint.tile || !paint.gradient.empty() || !paint.mesh.empty()) {
    target_.FillPattern(path, rule, paint, state_.antialias);
    return;
  }
  if (!state_.antialias && (paint.argb >> 24) == 0xFF) {
    // An aliased fill in an opaque colour is a GDI polygon, as the reference renderer draws it.
    emf::Paint gdi;
    gdi.brush.color = emf::ToColorRef(paint.argb & 0xFFFFFF);
    target_.FillPath(path, rule, gdi, emf::kR2CopyPen);
    return;
  }
  target_.FillSmooth(path, rule, paint.argb, state_.antialias);
}

namespace {

// Whether the transform scales both axes alike (turning them or not), within a thousandth: a
// round pen stays round. A reference device's pixels are seldom quite square.
bool Uniform(const emf::Transform& t) {
  const double sx = std::hypot(t.m11, t.m12);
  const double sy = std::hypot(t.m21, t.m22);
  return std::fabs(sx - sy) <= 1e-3 * std::max(sx, sy) &&
         std::fabs(t.m11 * t.m21 + t.m12 * t.m22) <= 1e-3 * sx * sy;
}

}  // namespace

void Player::Stroke(const Record& record, const emf::Path& world_path, const Pen& pen) {
  if (world_path.Empty() || !Bounded(record, world_path.segments.size())) {
    return;
  }
  // A pen of the world's units turns and stretches with the page; one of another unit keeps
  // its width in that unit. Its own transform applies to its shape first.
  emf::Transform to_target = WorldToTarget();
  double width = pen.width;
  if (pen.unit != 0) {
    // Taken to page units, which the world transform leaves as they are.
    const double page_scale = std::sqrt(std::fabs(PageToDevice().Determinant()));
    width *= page_scale > 0 ? UnitInPixels(pen.unit, dpi_x_) / page_scale : 1.0;
  }
  const bool compound = pen.compound.size() >= 2 &&
                        !(pen.compound.size() == 2 && pen.compound[0] == 0 && pen.compound[1] == 1);
  // An inset pen draws inside a closed shape: twice as wide, and only inside it. Open
  // figures take it centred.
  const bool inset = !compound && pen.alignment == 1 && AllClosed(world_path);
  if (inset) {
    width *= 2;
  }
  emf::Path path = world_path;
  const bool pen_space =
      pen.has_transform && pen.transform.IsFinite() && pen.transform.Invertible();
  if (pen_space) {
    // The pen's transform shapes its nib: the path is stroked in the pen's space.
    path = world_path.Transformed(pen.transform.Inverse());
    to_target = pen.transform.Then(to_target);
  }
  // Arrow anchors and custom caps take the place of the line's last stretch.
  const double start_cut = CapCut(pen.start_cap, pen.start_custom) * width;
  const double end_cut = CapCut(pen.end_cap, pen.end_custom) * width;
  const emf::Path drawn =
      start_cut > 0 || end_cut > 0 ? ShortenEnds(path, start_cut, end_cut) : path;
  // A pen paints with its brush, whatever its kind.
  const emf::SmoothPaint paint = PaintOf(pen.brush);
  if (compound) {
    // A compound pen draws strips across its width, each a pen of its own along the path
    // moved to the strip's middle; the line's ends are drawn once, across the whole pen.
    const size_t strips = pen.compound.size() / 2;
    if (!Bounded(record, drawn.FlattenedSize() * strips)) {
      return;
    }
    Pen strip = pen;
    strip.compound.clear();
    strip.unit = 0;
    strip.start_cap = strip.end_cap = kCapFlat;
    for (size_t i = 0; i + 1 < pen.compound.size(); i += 2) {
      const double from = pen.compound[i], to = std::max(from, pen.compound[i + 1]);
      strip.width = (to - from) * width;
      if (strip.width > 0) {
        const emf::Path moved = OffsetPath(drawn, ((from + to) / 2 - 0.5) * width);
        Stroke(record, pen_space ? moved.Transformed(pen.transform) : moved, strip);
      }
    }
    StrokeEnds(record, path, pen, width, to_target, paint);
    return;
  }
  emf::Path device = drawn.Transformed(to_target);
  if (!Tame(device)) {
    Skip(record, "not a number");
    return;
  }
  // A pen that comes to less than a pixel on the target draws one pixel wide, as GDI+'s do.
  const double scale = std::sqrt(std::fabs(to_target.Determinant()));
  const bool hairline = !(width * scale >= 1.0) || !to_target.Invertible();
  // Past a million pixels a pen covers all of any page it reaches, and a pen stretched that
  // far by a skewed transform would cost the rasteriser time beyond the page's: such a pen is
  // drawn in the target's space, at most a million pixels wide.
  const double stretch = std::sqrt(to_target.m11 * to_target.m11 + to_target.m12 * to_target.m12 +
                                   to_target.m21 * to_target.m21 + to_target.m22 * to_target.m22);
  const bool on_target = !(width * stretch <= kWidestPen);
  const double device_width = std::min(hairline ? 1.0 : width * scale, kWidestPen);
  const bool same_caps =
      pen.start_cap == pen.end_cap &&
      (pen.start_cap == kCapFlat || pen.start_cap == kCapSquare || pen.start_cap == kCapRound);
  const cairo_line_cap_t cap = same_caps ? CairoCap(pen.start_cap) : CAIRO_LINE_CAP_BUTT;
  const cairo_line_join_t join = pen.join == kJoinBevel   ? CAIRO_LINE_JOIN_BEVEL
                                 : pen.join == kJoinRound ? CAIRO_LINE_JOIN_ROUND
                                                          : CAIRO_LINE_JOIN_MITER;
  static const std::vector<double> kPatterns[] = {
      {}, {3, 1}, {1, 1}, {3, 1, 1, 1}, {3, 1, 1, 1, 1, 1}};
  std::vector<double> pattern =  // in pen widths
      pen.line_style == kStyleCustom
          ? pen.dashes
          : kPatterns[std::clamp(pen.line_style, 0, static_cast<int>(std::size(kPatterns)) - 1)];
  // Dashes past a million on the path are finer than anything they show and would cost time
  // beyond the page's: such a pen is drawn solid.
  const double period =
      std::accumulate(pattern.begin(), pattern.end(), 0.0) * std::max(1.0, device_width);
  if (!(period > 0) || DeviceLength(device) / period > kMaxDashes) {
    pattern.clear();
  }
  const uint32_t argb = pen.brush.argb;
  const bool painted = paint.tile || !paint.gradient.empty() || !paint.mesh.empty();
  if (inset) {
    ClipInside(world_path);
  } else {
    ApplyClip();
  }
  if (!painted && !state_.antialias && (argb >> 24) == 0xFF && Uniform(to_target) &&
      (pattern.empty() || pen.dash_offset == 0)) {
    // An aliased pen in an opaque colour is GDI's pen of whole pixels, as the reference
    // renderer draws it: wide lines as GDI widens them, a one-pixel line on the pixels its
    // points fall on.
    emf::StrokeStyle gdi;
    gdi.width = std::max(1.0, std::round(device_width));
    gdi.cosmetic = gdi.width <= 1 && pattern.empty();
    gdi.cap = pattern.empty() ? cap : CairoCap(pen.dash_cap);
    gdi.join = join;
    gdi.miter_limit = pen.miter_limit;
    gdi.color = emf::ToColorRef(argb & 0xFFFFFF);
    for (double d : pattern) {
      gdi.dashes.push_back(d * gdi.width);
    }
    target_.StrokePath(device, gdi, emf::kR2CopyPen);
  } else {
    emf::SmoothStroke style;
    style.width = hairline ? 0 : on_target ? device_width : width;
    style.cap = pattern.empty() ? cap : CairoCap(pen.dash_cap);
    style.join = join;
    style.miter_limit = pen.miter_limit;
    const double unit = hairline ? 1.0 : on_target ? device_width : width;
    for (double d : pattern) {
      style.dashes.push_back(d * unit);
    }
    style.dash_offset = pen.dash_offset * unit;
    style.paint = painted ? &paint : nullptr;
    // A pen of an odd number of pixels is centred on the middles of the pixels its points
    // fall on, so that a line of one pixel at a whole coordinate is one row of pixels, not
    // two halves.
    if (std::lround(device_width) % 2 == 1) {
      to_target.dx += 0.5;
      to_target.dy += 0.5;
      device = device.Transformed(emf::Transform{1, 0, 0, 1, 0.5, 0.5});
    }
    const bool in_device = hairline || on_target;
    target_.StrokeSmooth(in_device ? device : drawn, in_device ? emf::Transform{} : to_target,
                         style, argb, state_.antialias);
  }
  if (!same_caps && !hairline) {
    StrokeEnds(record, path, pen, width, to_target, paint);
  }
}

void Player::StrokeEnds(const Record& record, const emf::Path& path, const Pen& pen, double width,
                        const emf::Transform& to_target, const emf::SmoothPaint& paint) {
  // Caps that differ at the two ends, triangles, anchors and custom caps are shapes of their
  // own, counted before any is made.
  std::vector<FigureEnd> starts, ends;
  OpenEnds(path, starts, ends);
  auto cost = [](int cap, const CustomCap& custom) {
    constexpr size_t kCapShape = 16;  // the most segments one of GDI+'s own caps makes
    return cap == kCapCustom ? custom.fill.segments.size() + custom.line.segments.size()
                             : kCapShape;
  };
  if (!Bounded(record, starts.size() * cost(pen.start_cap, pen.start_custom) +
                           ends.size() * cost(pen.end_cap, pen.end_custom))) {
    return;
  }
  emf::Path caps, cap_lines;
  for (const auto& [cap, custom, figure_ends] :
       {std::tuple{pen.start_cap, &pen.start_custom, &starts},
        {pen.end_cap, &pen.end_custom, &ends}}) {
    for (const FigureEnd& e : *figure_ends) {
      if (cap == kCapCustom) {
        caps.Append(PlacedCap(custom->fill, e, width * custom->scale));
        cap_lines.Append(PlacedCap(custom->line, e, width * custom->scale));
      } else {
        AppendCapShape(caps, cap, e.at, e.direction, width / 2);
      }
    }
  }
  emf::Path device_caps = caps.Transformed(to_target);
  if (!caps.Empty() && Tame(device_caps)) {
    FillDevice(device_caps, emf::FillRule::kWinding, paint);
  }
  if (!cap_lines.Empty()) {
    // A cap's outline is drawn by the pen itself, without its ends.
    Pen plain = pen;
    plain.start_cap = plain.end_cap = kCapFlat;
    plain.line_style = kStyleSolid;
    plain.compound.clear();
    plain.alignment = 0;
    const bool pen_space =
        pen.has_transform && pen.transform.IsFinite() && pen.transform.Invertible();
    Stroke(record, pen_space ? cap_lines.Transformed(pen.transform) : cap_lines, plain);
  }
}

void Player::Clear(const Record& record, emf::ByteReader& r) {
  const uint32_t argb = r.U32();
  const RectF page{0, 0, static_cast<double>(target_.width()),
                   static_cast<double>(target_.height())};
  if (Bounded(record, 5)) {
    FillDevice(RectanglePath(page), emf::FillRule::kWinding, Solid(argb));
  }
}

bool Player::RecordRects(const Record& record, emf::ByteReader& r, emf::Path& path) {
  const uint32_t count = r.U32();
  const bool compressed = (record.flags & kFlagCompressed) != 0;
  if (count > r.Remaining() / (compressed ? 8 : 16)) {
    Skip(record, "too short");
    return false;
  }
  for (uint32_t i = 0; i < count; ++i) {
    path.Append(RectanglePath(ReadRect(r, compressed)));
  }
  return true;
}

bool Player::RecordPoints(const Record& record, emf::ByteReader& r,
                          std::vector<emf::Point>& points) {
  if (!ReadPoints(r, r.U32(), (record.flags & kFlagCompressed) != 0,
                  (record.flags & kFlagRelative) != 0, points)) {
    Skip(record, "too short");
    return false;
  }
  return true;
}

bool Player::RecordArc(const Record& record, emf::ByteReader& r, bool pie, emf::Path& path) {
  const double start = r.F32();
  const double sweep = r.F32();
  const RectF rect = ReadRect(r, (record.flags & kFlagCompressed) != 0);
  if (!std::isfinite(start) || !std::isfinite(sweep)) {
    return false;
  }
  path = pie ? PiePath(rect, start, sweep) : emf::Path{};
  if (!pie) {
    AppendArc(path, rect, start, sweep, false);
  }
  return true;
}

bool Player::RecordClosedCurve(const Record& record, emf::ByteReader& r, emf::Path& path) {
  const double tension = r.F32();
  std::vector<emf::Point> points;
  if (!RecordPoints(record, r, points) || points.size() < 3 || !std::isfinite(tension) ||
      !Bounded(record, 3 * points.size())) {
    return false;
  }
  AppendCurve(path, points, tension, 0, points.size(), true);
  return true;
}

void Player::FillRects(const Record& record, emf::ByteReader& r) {
  emf::SmoothPaint paint;
  emf::Path path;
  if (FillBrush(record, r, paint) && RecordRects(record, r, path)) {
    Fill(record, path, emf::FillRule::kWinding, paint);
  }
}

void Player::DrawRects(const Record& record, emf::ByteReader& r) {
  const Pen* pen = PenAt(record, record.flags & 0xFF);
  emf::Path path;
  if (RecordRects(record, r, path) && pen != nullptr) {
    Stroke(record, path, *pen);
  }
}

void Player::FillPolygon(const Record& record, emf::ByteReader& r) {
  emf::SmoothPaint paint;
  std::vector<emf::Point> points;
  if (FillBrush(record, r, paint) && RecordPoints(record, r, points)) {
    Fill(record, Polyline(points, true), emf::FillRule::kAlternate, paint);
  }
}

void Player::DrawLines(const Record& record, emf::ByteReader& r) {
  const Pen* pen = PenAt(record, record.flags & 0xFF);
  std::vector<emf::Point> points;
  if (RecordPoints(record, r, points) && pen != nullptr) {
    Stroke(record, Polyline(points, (record.flags & kClosed) != 0), *pen);
  }
}

void Player::FillEllipse(const Record& record, emf::ByteReader& r) {
  emf::SmoothPaint paint;
  if (FillBrush(record, r, paint)) {
    Fill(record, EllipsePath(ReadRect(r, (record.flags & kFlagCompressed) != 0)),
         emf::FillRule::kAlternate, paint);
  }
}

void Player::DrawEllipse(const Record& record, emf::ByteReader& r) {
  const RectF rect = ReadRect(r, (record.flags & kFlagCompressed) != 0);
  if (const Pen* pen = PenAt(record, record.flags & 0xFF)) {
    Stroke(record, EllipsePath(rect), *pen);
  }
}

void Player::FillPie(const Record& record, emf::ByteReader& r) {
  emf::SmoothPaint paint;
  emf::Path path;
  if (FillBrush(record, r, paint) && RecordArc(record, r, true, path)) {
    Fill(record, path, emf::FillRule::kAlternate, paint);
  }
}

void Player::DrawPie(const Record& record, emf::ByteReader& r) {
  emf::Path path;
  const Pen* pen = PenAt(record, record.flags & 0xFF);
  if (RecordArc(record, r, true, path) && pen != nullptr) {
    Stroke(record, path, *pen);
  }
}

void Player::DrawArc(const Record& record, emf::ByteReader& r) {
  emf::Path path;
  const Pen* pen = PenAt(record, record.flags & 0xFF);
  if (RecordArc(record, r, false, path) && pen != nullptr) {
    Stroke(record, path, *pen);
  }
}

void Player::FillRegion(const Record& record, emf::ByteReader& r) {
  emf::SmoothPaint paint;
  if (!FillBrush(record, r, paint)) {
    return;
  }
  const PlusRegion* region = ObjectAt<PlusRegion>(record, record.flags & 0xFF);
  if (region == nullptr) {
    return;
  }
  // A region is pixels: filled as its rectangles, aliased.
  const emf::Region pixels = DeviceRegion(*region);
  emf::Path path;
  const int count = cairo_region_num_rectangles(pixels.get());
  for (int i = 0; i < count; ++i) {
    cairo_rectangle_int_t box;
    cairo_region_get_rectangle(pixels.get(), i, &box);
    path.Append(RectanglePath({static_cast<double>(box.x), static_cast<double>(box.y),
                               static_cast<double>(box.width), static_cast<double>(box.height)}));
  }
  if (!path.Empty() && Bounded(record, path.segments.size())) {
    FillDevice(path, emf::FillRule::kWinding, paint);
  }
}

void Player::FillPath(const Record& record, emf::ByteReader& r) {
  emf::SmoothPaint paint;
  if (!FillBrush(record, r, paint)) {
    return;
  }
  if (const PlusPath* path = ObjectAt<PlusPath>(record, record.flags & 0xFF)) {
    Fill(record, path->path, emf::FillRule::kAlternate, paint);
  }
}

void Player::DrawPath(const Record& record, emf::ByteReader& r) {
  const uint32_t pen_id = r.U32();
  const PlusPath* path = ObjectAt<PlusPath>(record, record.flags & 0xFF);
  const Pen* pen = path != nullptr ? PenAt(record, pen_id) : nullptr;
  if (pen != nullptr) {
    Stroke(record, path->path, *pen);
  }
}

void Player::FillClosedCurve(const Record& record, emf::ByteReader& r) {
  emf::SmoothPaint paint;
  emf::Path path;
  if (FillBrush(record, r, paint) && RecordClosedCurve(record, r, path)) {
    Fill(record, path,
         (record.flags & kWinding) != 0 ? emf::FillRule::kWinding : emf::FillRule::kAlternate,
         paint);
  }
}

void Player::DrawClosedCurve(const Record& record, emf::ByteReader& r) {
  const Pen* pen = PenAt(record, record.flags & 0xFF);
  emf::Path path;
  if (RecordClosedCurve(record, r, path) && pen != nullptr) {
    Stroke(record, path, *pen);
  }
}

void Player::DrawCurve(const Record& record, emf::ByteReader& r) {
  const Pen* pen = PenAt(record, record.flags & 0xFF);
  const double tension = r.F32();
  const uint32_t offset = r.U32();
  const uint32_t segments = r.U32();
  std::vector<emf::Point> points;
  if (!ReadPoints(r, r.U32(), (record.flags & kFlagCompressed) != 0, false, points)) {
    Skip(record, "too short");
    return;
  }
  if (pen == nullptr || points.size() < 2 || !std::isfinite(tension) || offset >= points.size() ||
      segments > points.size() - 1 - offset || segments == 0 ||
      !Bounded(record, 3 * points.size())) {
    return;
  }
  emf::Path path;
  AppendCurve(path, points, tension, offset, segments, false);
  Stroke(record, path, *pen);
}

void Player::DrawBeziers(const Record& record, emf::ByteReader& r) {
  const Pen* pen = PenAt(record, record.flags & 0xFF);
  std::vector<emf::Point> points;
  if (!RecordPoints(record, r, points) || pen == nullptr || points.empty()) {
    return;
  }
  emf::Path path;
  path.MoveTo(points[0]);
  for (size_t i = 1; i + 2 < points.size(); i += 3) {
    path.CurveTo(points[i], points[i + 1], points[i + 2]);
  }
  Stroke(record, path, *pen);
}

}  // namespace emfplus
