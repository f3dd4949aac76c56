#include "emfplus/objects.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <numbers>
#include <utility>

#include "base/text_util.h"
#include "emfplus/colours.h"
#include "emfplus/records.h"

namespace emfplus {
namespace {

constexpr uint32_t kPenTransform = 0x0001;
constexpr uint32_t kPenStartCap = 0x0002;
constexpr uint32_t kPenEndCap = 0x0004;
constexpr uint32_t kPenJoin = 0x0008;
constexpr uint32_t kPenMiterLimit = 0x0010;
constexpr uint32_t kPenLineStyle = 0x0020;
constexpr uint32_t kPenDashedLineCap = 0x0040;
constexpr uint32_t kPenDashedLineOffset = 0x0080;
constexpr uint32_t kPenDashedLine = 0x0100;
constexpr uint32_t kPenNonCenter = 0x0200;
constexpr uint32_t kPenCompoundLine = 0x0400;
constexpr uint32_t kPenCustomStartCap = 0x0800;
constexpr uint32_t kPenCustomEndCap = 0x1000;

constexpr uint32_t kPathCompressed = 0x4000;
constexpr uint32_t kPathRunLength = 0x1000;
constexpr uint32_t kPathRelative = 0x0800;

// A number from the file as a finite double: NaN and infinities are not drawn.
double Finite(float v) {
  return std::isfinite(v) ? static_cast<double>(v) : 0.0;
}

// One coordinate of an EmfPlusPointR: 7 bits in one byte, or 15 bits in two, signed.
int32_t RelativeCoordinate(emf::ByteReader& r) {
  const uint8_t first = r.U8();
  if ((first & 0x80) == 0) {
    return (first & 0x40) != 0 ? static_cast<int32_t>(first) - 0x80 : first;
  }
  const int32_t value = ((first & 0x7F) << 8) | r.U8();
  return (value & 0x4000) != 0 ? value - 0x8000 : value;
}

// The share of a hatch's pixels in its own colour: the percent styles say it, the lines of
// the others take about a pixel in eight.
double HatchShare(uint32_t style) {
  constexpr double kPercentStyles[] = {5, 10, 20, 25, 30, 40, 50, 60, 70, 75, 80, 90};
  if (style >= 6 && style < 6 + std::size(kPercentStyles)) {
    return kPercentStyles[style - 6] / 100.0;
  }
  return style == 4 || style == 5 ? 15.0 / 64 : 0.125;
}

constexpr uint32_t kBrushTransform = 0x02;
constexpr uint32_t kBrushPresetColours = 0x04;
constexpr uint32_t kBrushBlendFactors = 0x08;

// The mean of a gradient's colours along its length, its ends held past the outer stops.
uint32_t MeanColour(const std::vector<emf::SmoothPaint::Stop>& stops) {
  double sum[4] = {};
  auto add = [&](uint32_t argb, double weight) {
    for (int k = 0; k < 4; ++k) {
      sum[k] += weight * ((argb >> (8 * k)) & 0xFF);
    }
  };
  add(stops.front().argb, stops.front().offset);
  for (size_t i = 0; i + 1 < stops.size(); ++i) {
    const double span = stops[i + 1].offset - stops[i].offset;
    add(stops[i].argb, span / 2);
    add(stops[i + 1].argb, span / 2);
  }
  add(stops.back().argb, 1 - stops.back().offset);
  uint32_t mean = 0;
  for (int k = 0; k < 4; ++k) {
    mean |= static_cast<uint32_t>(std::clamp(std::lround(sum[k]), 0L, 255L)) << (8 * k);
  }
  return mean;
}

bool ReadTexture(emf::ByteReader& r, Brush& brush, std::string& why) {
  const uint32_t flags = r.U32();
  brush.wrap = r.I32();
  if ((flags & kBrushTransform) != 0) {
    brush.transform = {Finite(r.F32()), Finite(r.F32()), Finite(r.F32()),
                       Finite(r.F32()), Finite(r.F32()), Finite(r.F32())};
  }
  PlusImage image;
  if (!r.Ok() || !ReadImage(r, image, why)) {
    why = "a texture brush's " + (why.empty() ? std::string("image") : why);
    return false;
  }
  // A metafile's texture is drawn into a bitmap when it paints; grey is its colour alone.
  brush.texture = image.bitmap;
  brush.argb = image.mean;
  if (!image.bitmap) {
    brush.picture = std::make_shared<const PlusImage>(std::move(image));
  }
  return true;
}

// The stops of a blend read after a brush's transform: preset colours at their positions,
// or factors (each a share of the way from colour `from` to colour `to`). Empty when the
// brush has neither.
bool ReadBlend(emf::ByteReader& r, uint32_t flags, uint32_t from, uint32_t to,
               std::vector<emf::SmoothPaint::Stop>& stops, std::string& why) {
  const bool preset = (flags & kBrushPresetColours) != 0;
  const bool factors = !preset && (flags & kBrushBlendFactors) != 0;
  const uint32_t count = preset || factors ? r.U32() : 0;
  if (count > r.Remaining() / 8) {
    why = "a gradient whose blend runs past its data";
    return false;
  }
  std::vector<double> positions(count);
  for (double& p : positions) {
    p = std::clamp(Finite(r.F32()), 0.0, 1.0);
  }
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t argb = preset ? r.U32() : Mix(to, from, std::clamp(Finite(r.F32()), 0.0, 1.0));
    // Stops go forward only, as cairo takes them.
    const double at = stops.empty() ? positions[i] : std::max(positions[i], stops.back().offset);
    stops.push_back({at, argb});
  }
  return true;
}

bool ReadPathGradient(emf::ByteReader& r, Brush& brush, std::string& why) {
  const uint32_t flags = r.U32();
  brush.wrap = r.I32();
  const uint32_t centre = r.U32();
  const double cx = Finite(r.F32());
  brush.centre = {cx, Finite(r.F32())};
  const uint32_t colours = r.U32();
  if (!r.Ok() || colours > r.Remaining() / 4) {
    why = "a path gradient whose colours run past its data";
    return false;
  }
  for (uint32_t i = 0; i < colours; ++i) {
    brush.surround.push_back(r.U32());
  }
  constexpr uint32_t kBoundaryPath = 0x01;
  if ((flags & kBoundaryPath) != 0) {
    const uint32_t size = r.U32();
    emf::ByteReader inner(r.Bytes(size));
    PlusPath path;
    if (!r.Ok() || !ReadPath(inner, path, why)) {
      why = "a path gradient's boundary";
      return false;
    }
    brush.boundary = path.path.Flattened();
  } else {
    std::vector<emf::Point> points;
    if (!ReadPoints(r, r.U32(), false, false, points)) {
      why = "a path gradient whose boundary runs past its data";
      return false;
    }
    for (const emf::Point& p : points) {
      if (brush.boundary.Empty()) {
        brush.boundary.MoveTo(p);
      } else {
        brush.boundary.LineTo(p);
      }
    }
  }
  if ((flags & kBrushTransform) != 0) {
    brush.transform = {Finite(r.F32()), Finite(r.F32()), Finite(r.F32()),
                       Finite(r.F32()), Finite(r.F32()), Finite(r.F32())};
  }
  // The blend runs from the boundary (0) to the centre (1).
  const uint32_t edge = brush.surround.empty() ? centre : brush.surround.front();
  if (!ReadBlend(r, flags, edge, centre, brush.stops, why)) {
    return false;
  }
  if (brush.stops.empty()) {
    brush.stops = {{0, edge}, {1, centre}};
  }
  constexpr uint32_t kFocusScales = 0x40;
  if ((flags & kFocusScales) != 0) {
    r.Skip(4);  // their count, two
    brush.focus_x = std::clamp(Finite(r.F32()), 0.0, 1.0);
    brush.focus_y = std::clamp(Finite(r.F32()), 0.0, 1.0);
  }
  if (brush.surround.empty()) {
    brush.surround.push_back(centre);
  }
  // A disk shaded from its centre out is two thirds its edge's colour.
  brush.argb = Mix(MeanColour(brush.stops), edge, 1.0 / 3);
  if (!r.Ok()) {
    why = "a path gradient that ends before its fields do";
    return false;
  }
  return true;
}

bool ReadLinearGradient(emf::ByteReader& r, Brush& brush, std::string& why) {
  const uint32_t flags = r.U32();
  brush.wrap = r.I32();
  brush.rect = ReadRect(r, false);
  const uint32_t start = r.U32();
  const uint32_t end = r.U32();
  r.Skip(8);  // reserved
  if ((flags & kBrushTransform) != 0) {
    brush.transform = {Finite(r.F32()), Finite(r.F32()), Finite(r.F32()),
                       Finite(r.F32()), Finite(r.F32()), Finite(r.F32())};
  }
  // Stops: the two colours, or preset colours at their positions, or the blend's factors.
  if (!ReadBlend(r, flags, start, end, brush.stops, why)) {
    return false;
  }
  if (brush.stops.empty()) {
    brush.stops = {{0, start}, {1, end}};
  }
  if (!r.Ok()) {
    why = "a gradient that ends before its fields do";
    return false;
  }
  brush.argb = MeanColour(brush.stops);
  return true;
}

}  // namespace

bool ReadPoints(emf::ByteReader& r, uint32_t count, bool compressed, bool relative,
                std::vector<emf::Point>& points) {
  points.clear();
  // Each point takes two bytes at least: a count past what the data holds is refused before
  // anything is sized by it.
  if (count > r.Remaining() / 2 || count > kMaxPathPoints) {
    return false;
  }
  points.reserve(count);
  emf::Point at;
  for (uint32_t i = 0; i < count && r.Ok(); ++i) {
    if (relative) {
      at.x += RelativeCoordinate(r);
      at.y += RelativeCoordinate(r);
      points.push_back(at);
    } else if (compressed) {
      const int16_t x = r.I16();
      points.push_back({static_cast<double>(x), static_cast<double>(r.I16())});
    } else {
      const double x = Finite(r.F32());
      points.push_back({x, Finite(r.F32())});
    }
  }
  return r.Ok();
}

RectF ReadRect(emf::ByteReader& r, bool compressed) {
  RectF rect;
  if (compressed) {
    rect.x = r.I16();
    rect.y = r.I16();
    rect.width = r.I16();
    rect.height = r.I16();
  } else {
    rect.x = Finite(r.F32());
    rect.y = Finite(r.F32());
    rect.width = Finite(r.F32());
    rect.height = Finite(r.F32());
  }
  return rect;
}

emf::Path RectanglePath(const RectF& r) {
  emf::Path path;
  path.MoveTo({r.x, r.y});
  path.LineTo({r.x + r.width, r.y});
  path.LineTo({r.x + r.width, r.y + r.height});
  path.LineTo({r.x, r.y + r.height});
  path.Close();
  return path;
}

namespace {

// A point of the ellipse in the rectangle at an angle (degrees, clockwise from the x axis as
// the page's y axis runs down) as GDI+ measures it: along the ray from the centre, so that
// 45 degrees of a wide ellipse lies on its diagonal's direction.
double ParametricAngle(const RectF& r, double degrees) {
  const double a = degrees * std::numbers::pi / 180.0;
  return std::atan2(std::sin(a) * std::fabs(r.width), std::cos(a) * std::fabs(r.height));
}

}  // namespace

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

bool ReadBrush(emf::ByteReader& r, Brush& brush, std::string& why) {
  r.Skip(4);  // version
  brush.kind = static_cast<int>(r.U32());
  switch (brush.kind) {
    case Brush::kSolid:
      brush.argb = r.U32();
      break;
    case Brush::kHatch:
      brush.hatch_style = r.U32();
      brush.fore = r.U32();
      brush.back = r.U32();
      brush.argb = Mix(brush.fore, brush.back, HatchShare(brush.hatch_style));
      break;
    case Brush::kTexture:
      if (!ReadTexture(r, brush, why)) {
        return false;
      }
      break;
    case Brush::kPathGradient:
      if (!ReadPathGradient(r, brush, why)) {
        return false;
      }
      break;
    case Brush::kLinearGradient:
      if (!ReadLinearGradient(r, brush, why)) {
        return false;
      }
      break;
    default:
      why = "a brush of unknown type " + std::to_string(brush.kind);
      return false;
  }
  if (!r.Ok()) {
    why = "a brush that ends before its fields do";
    return false;
  }
  return true;
}

namespace {

// A custom line cap: a path of its own, or GDI+'s adjustable arrow head. What the shape's
// own pen would do differently (its caps and joins) is left to the pen that draws it.
bool ReadCustomCap(emf::ByteReader& r, CustomCap& cap, std::string& why) {
  constexpr uint32_t kFillPath = 1, kLinePath = 2;
  r.Skip(4);  // version
  const uint32_t type = r.U32();
  if (type == 1) {
    // An arrow head width across and height long, its tip on the end; middle_inset pulls its
    // base's middle towards the tip.
    const double width = Finite(r.F32()), height = Finite(r.F32());
    const double middle_inset = Finite(r.F32());
    const bool filled = r.U32() != 0;
    r.Skip(16);  // the head's own caps, join and miter limit
    cap.scale = Finite(r.F32());
    emf::Path& head = filled ? cap.fill : cap.line;
    head.MoveTo({-width / 2, -height});
    head.LineTo({0, 0});
    head.LineTo({width / 2, -height});
    if (filled) {
      head.LineTo({0, -height + middle_inset});
      head.Close();
      cap.inset = height;
    }
  } else {
    const uint32_t flags = r.U32();
    r.Skip(4);  // base cap
    cap.inset = Finite(r.F32());
    r.Skip(16);  // the stroke's caps, join and miter limit
    cap.scale = Finite(r.F32());
    r.Skip(16);  // hot spots
    for (const auto& [flag, path] : {std::pair{kFillPath, &cap.fill}, {kLinePath, &cap.line}}) {
      if ((flags & flag) != 0) {
        emf::ByteReader data(r.Bytes(r.U32()));
        PlusPath plus;
        if (!ReadPath(data, plus, why)) {
          return false;
        }
        *path = std::move(plus.path);
      }
    }
  }
  if (!r.Ok()) {
    why = "a custom line cap that ends before its fields do";
    return false;
  }
  return true;
}

}  // namespace

bool ReadPen(emf::ByteReader& r, Pen& pen, std::string& why) {
  r.Skip(8);  // version, type
  const uint32_t flags = r.U32();
  pen.unit = r.U32();
  pen.width = std::fabs(Finite(r.F32()));
  if ((flags & kPenTransform) != 0) {
    pen.has_transform = true;
    pen.transform = {Finite(r.F32()), Finite(r.F32()), Finite(r.F32()),
                     Finite(r.F32()), Finite(r.F32()), Finite(r.F32())};
  }
  if ((flags & kPenStartCap) != 0) {
    pen.start_cap = r.I32();
  }
  if ((flags & kPenEndCap) != 0) {
    pen.end_cap = r.I32();
  }
  if ((flags & kPenJoin) != 0) {
    pen.join = r.I32();
  }
  if ((flags & kPenMiterLimit) != 0) {
    pen.miter_limit = Finite(r.F32());
  }
  if ((flags & kPenLineStyle) != 0) {
    pen.line_style = r.I32();
  }
  if ((flags & kPenDashedLineCap) != 0) {
    pen.dash_cap = r.I32();
  }
  if ((flags & kPenDashedLineOffset) != 0) {
    pen.dash_offset = Finite(r.F32());
  }
  if ((flags & kPenDashedLine) != 0) {
    const uint32_t count = r.U32();
    if (count > r.Remaining() / 4) {
      why = "a pen whose dashes run past its data";
      return false;
    }
    for (uint32_t i = 0; i < count; ++i) {
      pen.dashes.push_back(std::fabs(Finite(r.F32())));
    }
  }
  if ((flags & kPenNonCenter) != 0) {
    // Some writers store the alignment as a float (1.0 for inset).
    const uint32_t alignment = r.U32();
    pen.alignment = alignment == 0x3F800000 ? 1 : static_cast<int>(alignment);
  }
  if ((flags & kPenCompoundLine) != 0) {
    const uint32_t count = r.U32();
    if (count > r.Remaining() / 4) {
      why = "a pen whose compound line runs past its data";
      return false;
    }
    // Each strip is a stroke of its own: past a few dozen they are finer than any page shows
    // and would multiply the pen's cost, and the rest are left out.
    constexpr uint32_t kMostStripEdges = 64;
    for (uint32_t i = 0; i < count; ++i) {
      const double edge = std::clamp(Finite(r.F32()), 0.0, 1.0);
      if (i < kMostStripEdges) {
        pen.compound.push_back(edge);
      }
    }
  }
  for (const auto& [flag, cap] :
       {std::pair{kPenCustomStartCap, &pen.start_custom}, {kPenCustomEndCap, &pen.end_custom}}) {
    if ((flags & flag) != 0) {
      emf::ByteReader data(r.Bytes(r.U32()));
      if (!ReadCustomCap(data, *cap, why)) {
        return false;
      }
    }
  }
  if (!r.Ok()) {
    why = "a pen that ends before its fields do";
    return false;
  }
  return ReadBrush(r, pen.brush, why);
}

bool ReadPath(emf::ByteReader& r, PlusPath& plus, std::string& why) {
  r.Skip(4);  // version
  const uint32_t count = r.U32();
  const uint32_t flags = r.U32();
  std::vector<emf::Point> points;
  if (!r.Ok() ||
      !ReadPoints(r, count, (flags & kPathCompressed) != 0, (flags & kPathRelative) != 0, points)) {
    why = "a path of " + std::to_string(count) + " points that run past its data";
    return false;
  }
  std::vector<uint8_t> types;
  types.reserve(count);
  if ((flags & kPathRunLength) != 0) {
    // Runs of one type: the type, then a byte whose low six bits count the run (its top bit
    // marks a run of Bézier points, which the type says as well).
    while (types.size() < count && r.Ok()) {
      const uint8_t type = r.U8();
      const uint8_t run = r.U8() & 0x3F;
      types.insert(types.end(), std::min<size_t>(run, count - types.size()), type);
    }
  } else {
    const std::span<const uint8_t> bytes = r.Bytes(count);
    types.assign(bytes.begin(), bytes.end());
  }
  if (!r.Ok() || types.size() != count) {
    why = "a path whose point types run past its data";
    return false;
  }
  emf::Path& path = plus.path;
  path.segments.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    const int kind = types[i] & 0x07;
    if (kind == 0 || path.Empty()) {
      path.MoveTo(points[i]);
    } else if (kind == 3 && i + 2 < count && (types[i + 1] & 0x07) == 3 &&
               (types[i + 2] & 0x07) == 3) {
      path.CurveTo(points[i], points[i + 1], points[i + 2]);
      i += 2;
    } else {
      path.LineTo(points[i]);
    }
    if ((types[i] & 0x80) != 0) {
      path.Close();
    }
  }
  return true;
}

bool ReadRegion(emf::ByteReader& r, PlusRegion& region, std::string& why) {
  r.Skip(8);  // version, the count of child nodes
  // The nodes come root first, each combining node followed by its left and then its right
  // operand: read with a list of places still to fill, so that deep trees take no stack.
  struct Slot {
    size_t parent;
    bool right;
  };
  std::vector<Slot> pending{{SIZE_MAX, false}};
  while (!pending.empty()) {
    const Slot slot = pending.back();
    pending.pop_back();
    // Every node takes four bytes at least: the tree is bounded by the data.
    if (region.nodes.size() >= r.All().size() / 4) {
      why = "a region with more nodes than its data holds";
      return false;
    }
    RegionNode node;
    const uint32_t kind = r.U32();
    node.kind = static_cast<RegionNode::Kind>(kind);
    switch (kind) {
      case RegionNode::kAnd:
      case RegionNode::kUnion:
      case RegionNode::kXor:
      case RegionNode::kExclude:
      case RegionNode::kComplement:
        break;
      case RegionNode::kRect: {
        node.rect = ReadRect(r, false);
        break;
      }
      case RegionNode::kPath: {
        const uint32_t length = r.U32();
        emf::ByteReader inner(r.Bytes(length));
        PlusPath path;
        if (!r.Ok() || !ReadPath(inner, path, why)) {
          why = "a region's " + (why.empty() ? std::string("path") : why);
          return false;
        }
        node.path = std::move(path.path);
        break;
      }
      case RegionNode::kEmpty:
      case RegionNode::kInfinite:
        break;
      default:
        why = "a region node of unknown type " + std::to_string(kind);
        return false;
    }
    if (!r.Ok()) {
      why = "a region that ends before its nodes do";
      return false;
    }
    const size_t index = region.nodes.size();
    region.nodes.push_back(std::move(node));
    if (slot.parent != SIZE_MAX) {
      (slot.right ? region.nodes[slot.parent].right : region.nodes[slot.parent].left) = index;
    }
    if (kind >= RegionNode::kAnd && kind <= RegionNode::kComplement) {
      pending.push_back({index, true});
      pending.push_back({index, false});
    }
  }
  return true;
}

bool ReadFont(emf::ByteReader& r, PlusFont& font, std::string& why) {
  r.Skip(4);  // version
  font.em = std::fabs(Finite(r.F32()));
  font.unit = r.U32();
  const uint32_t style = r.U32();
  font.bold = (style & 1) != 0;
  font.italic = (style & 2) != 0;
  font.underline = (style & 4) != 0;
  font.strike_out = (style & 8) != 0;
  r.Skip(4);  // reserved
  const uint32_t length = r.U32();
  if (!r.Ok() || length > r.Remaining() / 2) {
    why = "a font whose name runs past its data";
    return false;
  }
  for (uint32_t i = 0; i < length; ++i) {
    const char16_t unit = r.U16();
    if (unit == 0) {
      break;
    }
    // A lone surrogate stands for no character: U+FFFD.
    AppendUtf8(font.family, unit >= 0xD800 && unit < 0xE000 ? U'\uFFFD' : char32_t{unit});
  }
  return true;
}

bool ReadStringFormat(emf::ByteReader& r, StringFormat& format, std::string& why) {
  r.Skip(4);  // version
  format.flags = r.U32();
  r.Skip(4);  // language
  format.alignment = std::min(r.U32(), uint32_t{StringFormat::kFar});
  format.line_align = std::min(r.U32(), uint32_t{StringFormat::kFar});
  r.Skip(8);  // digit substitution and its language
  format.first_tab = std::clamp(Finite(r.F32()), 0.0, 1e6);
  format.hotkey_prefix = r.U32();
  format.leading_margin = std::clamp(Finite(r.F32()), 0.0, 100.0);
  format.trailing_margin = std::clamp(Finite(r.F32()), 0.0, 100.0);
  if (!r.Ok()) {
    why = "a string format that ends before its fields do";
    return false;
  }
  // Writers that end the format at its margins leave the rest as GDI+'s defaults.
  if (r.Remaining() >= 16) {
    r.Skip(4);  // tracking
    format.trimming = r.U32();
    const int32_t tabs = r.I32();
    r.Skip(4);  // character ranges, for measuring only
    // A line has room for a few hundred tab stops at most; the rest are left out.
    constexpr int32_t kMostTabStops = 256;
    if (tabs > 0 && static_cast<uint32_t>(tabs) <= r.Remaining() / 4) {
      for (int32_t i = 0; i < tabs; ++i) {
        const double stop = std::clamp(Finite(r.F32()), 0.0, 1e6);
        if (i < kMostTabStops) {
          format.tab_stops.push_back(stop);
        }
      }
    }
  }
  if (!r.Ok()) {
    why = "a string format that ends before its fields do";
    return false;
  }
  return true;
}

namespace {

// One kind's reader into the object, which it replaces only when the bytes are one.
template <class T>
bool ReadInto(emf::ByteReader& r, Object& object, std::string& why,
              bool (*read)(emf::ByteReader&, T&, std::string&)) {
  T value;
  if (!read(r, value, why)) {
    return false;
  }
  object = std::move(value);
  return true;
}

}  // namespace

bool ReadObject(int kind, std::span<const uint8_t> data, Object& object, std::string& why) {
  emf::ByteReader r(data);
  switch (kind) {
    case kObjectBrush:
      return ReadInto<Brush>(r, object, why, ReadBrush);
    case kObjectPen:
      return ReadInto<Pen>(r, object, why, ReadPen);
    case kObjectPath:
      return ReadInto<PlusPath>(r, object, why, ReadPath);
    case kObjectRegion:
      return ReadInto<PlusRegion>(r, object, why, ReadRegion);
    case kObjectImage:
      return ReadInto<PlusImage>(r, object, why, ReadImage);
    case kObjectFont:
      return ReadInto<PlusFont>(r, object, why, ReadFont);
    case kObjectStringFormat:
      return ReadInto<StringFormat>(r, object, why, ReadStringFormat);
    default:
      object = OtherObject{kind};
      return true;
  }
}

}  // namespace emfplus
