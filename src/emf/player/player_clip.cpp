// Clip regions, the meta region, and drawing with regions.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "emf/player/player.h"
#include "emf/records/gdi_constants.h"

namespace emf {
namespace {

constexpr uint32_t kMaxRegionRects = 1u << 20;

std::shared_ptr<cairo_region_t> Share(Region region) {
  return std::shared_ptr<cairo_region_t>(region.release(), RegionDeleter{});
}

Path RegionPath(const cairo_region_t* region) {
  Path path;
  const int count = cairo_region_num_rectangles(region);
  for (int i = 0; i < count; ++i) {
    cairo_rectangle_int_t r;
    cairo_region_get_rectangle(region, i, &r);
    path.MoveTo({static_cast<double>(r.x), static_cast<double>(r.y)});
    path.LineTo({static_cast<double>(r.x + r.width), static_cast<double>(r.y)});
    path.LineTo({static_cast<double>(r.x + r.width), static_cast<double>(r.y + r.height)});
    path.LineTo({static_cast<double>(r.x), static_cast<double>(r.y + r.height)});
    path.Close();
  }
  return path;
}

// A rectangle of the record in canvas pixels; empty ones are left out.
void AddRect(std::vector<cairo_rectangle_int_t>& rects, const Transform& t, double l, double top,
             double r, double b) {
  const Point a = t.Apply({l, top});
  const Point c = t.Apply({r, b});
  const double x0 = std::round(std::min(a.x, c.x)), x1 = std::round(std::max(a.x, c.x));
  const double y0 = std::round(std::min(a.y, c.y)), y1 = std::round(std::max(a.y, c.y));
  // Far outside the canvas is as good as its edge, and keeps the integers in range.
  auto clamp = [](double v) { return std::clamp(ToInt(v), -100000000, 100000000); };
  cairo_rectangle_int_t rect{clamp(x0), clamp(y0), clamp(x1) - clamp(x0), clamp(y1) - clamp(y0)};
  if (rect.width > 0 && rect.height > 0) {
    rects.push_back(rect);
  }
}

// The union of the rectangles, made in one step: adding them one by one costs time with the
// square of their number.
Region RegionOf(const std::vector<cairo_rectangle_int_t>& rects) {
  if (rects.empty()) {
    return MakeRegion();
  }
  return Region(cairo_region_create_rectangles(rects.data(), static_cast<int>(rects.size())));
}

// RGNDATA's rectangles (after its 32-byte header: size, type, count, bytes, bounds) through t.
Region ReadRectangles(ByteReader& rgn, const Transform& t) {
  rgn.U32();
  rgn.U32();
  const uint32_t count = rgn.U32();
  rgn.U32();
  rgn.Skip(16);
  if (!rgn.Ok() || count > kMaxRegionRects || !rgn.Has(static_cast<size_t>(count) * 16)) {
    return MakeRegion();
  }
  std::vector<cairo_rectangle_int_t> rects;
  rects.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    const double l = rgn.I32(), top = rgn.I32(), rr = rgn.I32(), b = rgn.I32();
    AddRect(rects, t, l, top, rr, b);
  }
  return RegionOf(rects);
}

}  // namespace

Region Player::ReadRegion(ByteReader& r, size_t region_size) {
  ByteReader rgn(r.Bytes(region_size));
  return ReadRectangles(rgn, playback_);
}

// The pixels whose centres the path covers, as a region. Only the path's bounding box is
// rasterised, and rows that repeat the row above widen its rectangles instead of adding.
Region Player::RegionFromPath(const Path& canvas_path, int fill_mode) const {
  std::string failure;
  Region region =
      PathRegion(canvas_path, fill_mode == 2 ? FillRule::kWinding : FillRule::kAlternate,
                 canvas_.width(), canvas_.height(), failure);
  if (!failure.empty()) {
    canvas_.Fail(failure);
  }
  return region;
}

void Player::CombineClip(Region region, int mode) {
  if (mode == kRgnCopy) {
    state_.clip = Share(std::move(region));
    UpdateClip();
    return;
  }
  // No clip region means the whole page.
  Region current = state_.clip
                       ? CopyRegion(state_.clip.get())
                       : MakeRegion(bounds_.left, bounds_.top, bounds_.right, bounds_.bottom);
  switch (mode) {
    case kRgnAnd:
      cairo_region_intersect(current.get(), region.get());
      break;
    case kRgnOr:
      cairo_region_union(current.get(), region.get());
      break;
    case kRgnXor:
      cairo_region_xor(current.get(), region.get());
      break;
    case kRgnDiff:
      cairo_region_subtract(current.get(), region.get());
      break;
    default:
      return;
  }
  state_.clip = Share(std::move(current));
  UpdateClip();
}

void Player::IntersectClipRect(ByteReader& r) {
  const double l = r.I32(), t = r.I32(), rr = r.I32(), b = r.I32();
  std::vector<cairo_rectangle_int_t> rect;
  AddRect(rect, LogicalToCanvas(), l, t, rr, b);
  CombineClip(RegionOf(rect), kRgnAnd);
}

void Player::ExcludeClipRect(ByteReader& r) {
  const double l = r.I32(), t = r.I32(), rr = r.I32(), b = r.I32();
  std::vector<cairo_rectangle_int_t> rect;
  AddRect(rect, LogicalToCanvas(), l, t, rr, b);
  CombineClip(RegionOf(rect), kRgnDiff);
}

void Player::ExtSelectClipRgn(ByteReader& r) {
  const uint32_t size = r.U32();
  const int mode = r.I32();
  if (size == 0 || !r.Has(size)) {
    if (mode == kRgnCopy) {  // no region: clipping ends
      state_.clip = nullptr;
      UpdateClip();
    }
    return;
  }
  CombineClip(ReadRegion(r, size), mode);
}

void Player::OffsetClipRgn(ByteReader& r) {
  const Point offset{static_cast<double>(r.I32()), static_cast<double>(r.I32())};
  if (!state_.clip) {
    return;
  }
  const Point d = LogicalToCanvas().ApplyVector(offset);
  Region moved = CopyRegion(state_.clip.get());
  cairo_region_translate(moved.get(), ToInt(std::round(d.x)), ToInt(std::round(d.y)));
  state_.clip = Share(std::move(moved));
  UpdateClip();
}

void Player::SetMetaRgn(ByteReader&) {
  if (state_.clip) {
    if (state_.meta) {
      Region meta = CopyRegion(state_.meta.get());
      cairo_region_intersect(meta.get(), state_.clip.get());
      state_.meta = Share(std::move(meta));
    } else {
      state_.meta = state_.clip;
    }
  }
  state_.clip = nullptr;
  UpdateClip();
}

namespace {

// Region records keep their rectangles in logical units.
Region ReadLogicalRegion(ByteReader& r, uint32_t size, const Transform& t) {
  ByteReader rgn(r.Bytes(size));
  return ReadRectangles(rgn, t);
}

}  // namespace

void Player::FillRgn(ByteReader& r) {
  r.Skip(16);
  const uint32_t size = r.U32();
  const uint32_t brush_index = r.U32();
  const Region region = ReadLogicalRegion(r, size, LogicalToCanvas());
  Brush brush = state_.brush;
  if (const GdiObject* object = ObjectAt(brush_index);
      object && object->kind == GdiObject::kBrush) {
    brush = object->brush;
  }
  canvas_.FillPath(RegionPath(region.get()), FillRule::kWinding, CurrentPaint(brush), state_.rop2);
}

void Player::FrameRgn(ByteReader& r) {
  r.Skip(16);
  const uint32_t size = r.U32();
  const uint32_t brush_index = r.U32();
  const double w = r.I32();
  const double h = r.I32();
  const Region region = ReadLogicalRegion(r, size, LogicalToCanvas());
  const Point d = LogicalToCanvas().ApplyVector({w, h});
  const int dx = std::max(1, ToInt(std::round(std::fabs(d.x))));
  const int dy = std::max(1, ToInt(std::round(std::fabs(d.y))));
  // The frame is the region less its inside, the part that stays when shifted every way.
  Region inside = CopyRegion(region.get());
  for (const auto& [ox, oy] : {std::pair{dx, 0}, {-dx, 0}, {0, dy}, {0, -dy}}) {
    Region shifted = CopyRegion(region.get());
    cairo_region_translate(shifted.get(), ox, oy);
    cairo_region_intersect(inside.get(), shifted.get());
  }
  Region frame = CopyRegion(region.get());
  cairo_region_subtract(frame.get(), inside.get());
  Brush brush = state_.brush;
  if (const GdiObject* object = ObjectAt(brush_index);
      object && object->kind == GdiObject::kBrush) {
    brush = object->brush;
  }
  canvas_.FillPath(RegionPath(frame.get()), FillRule::kWinding, CurrentPaint(brush), state_.rop2);
}

void Player::InvertRgn(ByteReader& r) {
  r.Skip(16);
  const uint32_t size = r.U32();
  const Region region = ReadLogicalRegion(r, size, LogicalToCanvas());
  canvas_.FillPath(RegionPath(region.get()), FillRule::kWinding, CurrentPaint(Brush{}), 6);
}

void Player::PaintRgn(ByteReader& r) {
  r.Skip(16);
  const uint32_t size = r.U32();
  const Region region = ReadLogicalRegion(r, size, LogicalToCanvas());
  canvas_.FillPath(RegionPath(region.get()), FillRule::kWinding, CurrentPaint(state_.brush),
                   state_.rop2);
}

}  // namespace emf
