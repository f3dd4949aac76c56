// Lines, shapes, clipping and regions.
#include <algorithm>
#include <cmath>

#include "emf/wmf/wmf_conversion.h"

namespace emf::wmf_reading {

// --- Drawing -----------------------------------------------------------------------------

void Converter::MoveTo(ByteReader& r) {
  const int16_t y = r.I16();
  const int16_t x = r.I16();
  out_.Simple(kEmrMoveToEx, {x, y});
  s_.x = x;
  s_.y = y;
}

void Converter::LineTo(ByteReader& r) {
  const int16_t y = r.I16();
  const int16_t x = r.I16();
  out_.Simple(kEmrLineTo, {x, y});
  AddBounds(std::min<double>(x, s_.x), std::min<double>(y, s_.y), std::max<double>(x, s_.x),
            std::max<double>(y, s_.y));
  s_.x = x;
  s_.y = y;
}

void Converter::Poly(ByteReader& r, uint32_t type) {
  const uint16_t count = r.U16();
  const auto points = r.Bytes(static_cast<size_t>(count) * 4);
  if (!r.Ok()) {
    return;
  }
  out_.Begin(type);
  out_.Zeros(16);  // bounds
  out_.U32(count);
  out_.Bytes(points);
  out_.End();
  ByteReader p(points);
  for (uint16_t i = 0; i < count; ++i) {
    const double x = p.I16();
    const double y = p.I16();
    AddPointBounds(x, y);
  }
}

void Converter::PolyPolygon(ByteReader& r) {
  const uint16_t polygons = r.U16();
  const auto counts = r.Bytes(static_cast<size_t>(polygons) * 2);
  uint64_t total = 0;
  ByteReader c(counts);
  for (uint16_t i = 0; i < polygons; ++i) {
    total += c.U16();
  }
  const auto points = r.Bytes(static_cast<size_t>(total) * 4);
  if (!r.Ok()) {
    return;
  }
  out_.Begin(kEmrPolyPolygon16);
  out_.Zeros(16);
  out_.U32(polygons);
  out_.U32(static_cast<uint32_t>(total));
  ByteReader c2(counts);
  for (uint16_t i = 0; i < polygons; ++i) {
    out_.U32(c2.U16());
  }
  out_.Bytes(points);
  out_.End();
  ByteReader p(points);
  for (uint64_t i = 0; i < total; ++i) {
    const double x = p.I16();
    const double y = p.I16();
    AddPointBounds(x, y);
  }
}

// Shapes of a box: the recorded bounds leave out the right and bottom edges, as the shape
// does.
void Converter::Box(ByteReader& r, uint32_t type) {
  const int16_t bottom = r.I16();
  const int16_t right = r.I16();
  const int16_t top = r.I16();
  const int16_t left = r.I16();
  out_.Simple(type, {left, top, right, bottom});
  AddBounds(std::min(left, right), std::min(top, bottom), std::max(left, right) - 1,
            std::max(top, bottom) - 1);
}

void Converter::RoundRect(ByteReader& r) {
  const int16_t height = r.I16();
  const int16_t width = r.I16();
  const int16_t bottom = r.I16();
  const int16_t right = r.I16();
  const int16_t top = r.I16();
  const int16_t left = r.I16();
  out_.Simple(kEmrRoundRect, {left, top, right, bottom, width, height});
  AddBounds(std::min(left, right), std::min(top, bottom), std::max(left, right) - 1,
            std::max(top, bottom) - 1);
}

void Converter::ArcLike(ByteReader& r, uint32_t type) {
  const int16_t y_end = r.I16();
  const int16_t x_end = r.I16();
  const int16_t y_start = r.I16();
  const int16_t x_start = r.I16();
  const int16_t bottom = r.I16();
  const int16_t right = r.I16();
  const int16_t top = r.I16();
  const int16_t left = r.I16();
  out_.Simple(type, {left, top, right, bottom, x_start, y_start, x_end, y_end});
  AddBounds(std::min(left, right), std::min(top, bottom), std::max(left, right) - 1,
            std::max(top, bottom) - 1);
}

void Converter::SetPixel(ByteReader& r) {
  const uint32_t color = r.U32();
  const int16_t y = r.I16();
  const int16_t x = r.I16();
  out_.Simple(kEmrSetPixelV, {x, y, ColorArg(color)});
  AddPointBounds(x, y);
}

void Converter::ClipRect(ByteReader& r, uint32_t type) {
  const int16_t bottom = r.I16();
  const int16_t right = r.I16();
  const int16_t top = r.I16();
  const int16_t left = r.I16();
  out_.Simple(type, {left, top, right, bottom});
  s_.clip_region = 0;
}

void Converter::OffsetClipRgn(ByteReader& r) {
  const int16_t y = r.I16();
  const int16_t x = r.I16();
  out_.Simple(kEmrOffsetClipRgn, {x, y});
  s_.clip_region = 0;
}

// RGNDATA: its header, then the rectangles.
void Converter::WriteRegion(const std::vector<RectL>& rects, const RectL& box) {
  out_.U32(32);
  out_.U32(1);  // RDH_RECTANGLES
  out_.U32(static_cast<uint32_t>(rects.size()));
  out_.U32(static_cast<uint32_t>(rects.size() * 16));
  out_.Rect(box);
  for (const RectL& rect : rects) {
    out_.Rect(rect);
  }
}

void Converter::SelectClipRegion(ByteReader& r) {
  const uint16_t index = r.U16();
  Slot* slot = SlotAt(index);
  if (slot == nullptr || slot->kind != Slot::kRegion) {
    Skip(current_, "no such region");
    return;
  }
  ClipToRegion(*slot);
}

void Converter::ClipToRegion(const Slot& region) {
  if (region.region_id == s_.clip_region) {
    return;  // the clip is this region already: a page that selects it over and over grows once
  }
  s_.clip_region = region.region_id;
  // Clip regions are in device pixels, as the record gives them.
  const std::vector<RectL>& rects = region.region;
  const RectL box = region.region_box;
  out_.Begin(kEmrExtSelectClipRgn);
  out_.U32(static_cast<uint32_t>(32 + rects.size() * 16));
  out_.U32(kRgnCopy);
  WriteRegion(rects, box);
  out_.End();
}

// Regions painted with a brush, framed or inverted.
void Converter::RegionRecord(ByteReader& r, uint32_t type) {
  // The fields are stored last argument first, as GDI records them: FillRgn(region, brush)
  // keeps the brush first, FrameRgn(region, brush, width, height) the height.
  uint16_t region_index = 0, brush_index = 0;
  int16_t width = 0, height = 0;
  if (type == kEmrFrameRgn) {
    height = r.I16();
    width = r.I16();
    brush_index = r.U16();
    region_index = r.U16();
  } else if (type == kEmrFillRgn) {
    brush_index = r.U16();
    region_index = r.U16();
  } else {
    region_index = r.U16();
  }
  Slot* region = SlotAt(region_index);
  if (!r.Ok() || region == nullptr || region->kind != Slot::kRegion) {
    Skip(current_, "no such region");
    return;
  }
  if (type != kEmrPaintRgn && type != kEmrInvertRgn) {
    Slot* brush = SlotAt(brush_index);
    if (brush == nullptr || brush->kind != Slot::kBrush) {
      Skip(current_, "no such brush");
      return;
    }
  }
  // The painting records take their region in logical units, as FillRgn does.
  const std::vector<RectL>& rects = region->region;
  const RectL& box = region->region_box;
  out_.Begin(type);
  out_.Zeros(16);  // bounds
  out_.U32(static_cast<uint32_t>(32 + rects.size() * 16));
  if (type == kEmrFillRgn || type == kEmrFrameRgn) {
    out_.U32(static_cast<uint32_t>(brush_index + 1));
  }
  if (type == kEmrFrameRgn) {
    out_.I32(width);
    out_.I32(height);
  }
  WriteRegion(rects, box);
  out_.End();
  const RectL& b = region->region_box;
  AddBounds(b.left - width, b.top - height, b.right + width - 1, b.bottom + height - 1);
}

}  // namespace emf::wmf_reading
