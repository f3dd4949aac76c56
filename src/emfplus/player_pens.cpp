// Pens: strokes in any brush, dashes, joins and GDI+'s line ends (caps, anchors and custom
// caps), compound lines drawn as strips.
#include <algorithm>
#include <cmath>
#include <numeric>
#include <tuple>

#include "emf/canvas/raster_ops.h"
#include "emfplus/player.h"

namespace emfplus {
namespace {

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
      shapes.Append(EllipsePath(RectF{p.x - 2 * half, p.y - 2 * half, 4 * half, 4 * half}));
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
      shapes.Append(EllipsePath(RectF{p.x - half, p.y - half, 2 * half, 2 * half}));
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

// Whether the pen's own transform shapes its nib: the path is then stroked in the pen's space.
bool InPenSpace(const Pen& pen) {
  return pen.has_transform && pen.transform.IsFinite() && pen.transform.Invertible();
}

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
  const bool pen_space = InPenSpace(pen);
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
    const bool pen_space = InPenSpace(pen);
    Stroke(record, pen_space ? cap_lines.Transformed(pen.transform) : cap_lines, plain);
  }
}

}  // namespace emfplus
