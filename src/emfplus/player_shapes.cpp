// Shapes: rectangles, polygons, lines, ellipses, pies, arcs, curves, Béziers, paths and
// regions, filled with a brush or a colour (brushes made paints here) and stroked with a pen
// (player_pens.cpp).
#include <algorithm>
#include <cmath>

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
