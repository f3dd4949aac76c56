// Bitmap records: block transfers, DIB stretching, blending, transparency and gradients.
#include <algorithm>
#include <cmath>

#include "dib.h"
#include "player.h"
#include "raster_ops.h"

namespace emf {
namespace {

constexpr int kHalftone = 4;
constexpr uint32_t kMaxGradientItems = 1u << 20;

struct Placement {
  double x, y, cx, cy;  // logical destination
};

}  // namespace

// Draws a record's DIB: the source rectangle (top-down pixel rows) onto the logical
// destination, with a raster operation; no bitmap means a pattern-only operation.
void Player::DrawRecordDib(ByteReader& r, uint32_t off_bmi, uint32_t cb_bmi, uint32_t off_bits,
                           uint32_t cb_bits, uint32_t usage, double sx, double sy, double sw,
                           double sh, bool source_from_bottom, double dx, double dy, double dw,
                           double dh, uint32_t rop) {
  const Transform t = LogicalToCanvas();
  const Point tl = t.Apply({dx, dy});
  const Point tr = t.Apply({dx + dw, dy});
  const Point bl = t.Apply({dx, dy + dh});
  if (in_path_) {
    return;
  }
  if (cb_bmi == 0) {
    Path area;
    area.MoveTo(tl);
    area.LineTo(tr);
    area.LineTo({tr.x + bl.x - tl.x, tr.y + bl.y - tl.y});
    area.LineTo(bl);
    area.Close();
    canvas_.FillWithRop3(area, rop, CurrentPaint(state_.brush));
    return;
  }
  const auto info = r.Slice(off_bmi, cb_bmi);
  const auto bits = r.Slice(off_bits, cb_bits);
  std::string error;
  auto image = DecodeDib(info, bits, false, usage == 1, &error);
  if (!image) {
    CountSkipped(current_type_, error.c_str());
    return;
  }
  if (source_from_bottom) {
    sy = image->height - sy - sh;  // bottom-up DIBs count their source rows from the bottom
  }
  Paint pattern = CurrentPaint(state_.brush);
  canvas_.DrawImage(*image, sx, sy, sw, sh, tl, tr, bl, rop, &pattern,
                    state_.stretch_mode == kHalftone);
}

void Player::BitBlt(ByteReader& r) {
  r.Skip(16);
  const double x = r.I32(), y = r.I32(), cx = r.I32(), cy = r.I32();
  const uint32_t rop = r.U32();
  const double sx = r.I32(), sy = r.I32();
  r.Skip(24 + 4);  // source transform, background colour
  const uint32_t usage = r.U32(), off_bmi = r.U32(), cb_bmi = r.U32(), off_bits = r.U32(),
                 cb_bits = r.U32();
  DrawRecordDib(r, off_bmi, cb_bmi, off_bits, cb_bits, usage, sx, sy, cx, cy, false, x, y, cx, cy,
                rop);
}

void Player::StretchBlt(ByteReader& r) {
  r.Skip(16);
  const double x = r.I32(), y = r.I32(), cx = r.I32(), cy = r.I32();
  const uint32_t rop = r.U32();
  const double sx = r.I32(), sy = r.I32();
  r.Skip(24 + 4);
  const uint32_t usage = r.U32(), off_bmi = r.U32(), cb_bmi = r.U32(), off_bits = r.U32(),
                 cb_bits = r.U32();
  const double scx = r.I32(), scy = r.I32();
  DrawRecordDib(r, off_bmi, cb_bmi, off_bits, cb_bits, usage, sx, sy, scx, scy, false, x, y, cx,
                cy, rop);
}

void Player::StretchDIBits(ByteReader& r) {
  r.Skip(16);
  const double x = r.I32(), y = r.I32(), sx = r.I32(), sy = r.I32(), scx = r.I32(),
               scy = r.I32();
  const uint32_t off_bmi = r.U32(), cb_bmi = r.U32(), off_bits = r.U32(), cb_bits = r.U32();
  const uint32_t usage = r.U32(), rop = r.U32();
  const double cx = r.I32(), cy = r.I32();
  const auto dib = ReadDibInfo(r.Slice(off_bmi, cb_bmi));
  const bool bottom_up = dib && dib->height > 0;
  DrawRecordDib(r, off_bmi, cb_bmi, off_bits, cb_bits, usage, sx, sy, scx, scy, bottom_up, x, y,
                cx, cy, rop);
}

void Player::SetDIBitsToDevice(ByteReader& r) {
  r.Skip(16);
  const double x = r.I32(), y = r.I32(), sx = r.I32(), sy = r.I32(), scx = r.I32(),
               scy = r.I32();
  const uint32_t off_bmi = r.U32(), cb_bmi = r.U32(), off_bits = r.U32(), cb_bits = r.U32();
  const uint32_t usage = r.U32();
  const auto dib = ReadDibInfo(r.Slice(off_bmi, cb_bmi));
  const bool bottom_up = dib && dib->height > 0;
  // The size is in device pixels of the reference device, not stretched by the mapping.
  const Transform page = state_.world.Then(PageTransform());
  const Point unit = page.Inverse().ApplyVector({scx, scy});
  DrawRecordDib(r, off_bmi, cb_bmi, off_bits, cb_bits, usage, sx, sy, scx, scy, bottom_up, x, y,
                unit.x, unit.y, kSrcCopy);
}

void Player::AlphaBlend(ByteReader& r) {
  r.Skip(16);
  const double x = r.I32(), y = r.I32(), cx = r.I32(), cy = r.I32();
  const uint32_t blend = r.U32();
  const double sx = r.I32(), sy = r.I32();
  r.Skip(24 + 4);
  const uint32_t usage = r.U32(), off_bmi = r.U32(), cb_bmi = r.U32(), off_bits = r.U32(),
                 cb_bits = r.U32();
  const double scx = r.I32(), scy = r.I32();
  if (in_path_ || cb_bmi == 0) {
    return;
  }
  const int constant_alpha = (blend >> 16) & 0xFF;
  const bool source_alpha = ((blend >> 24) & 0xFF) == 1;  // AC_SRC_ALPHA
  std::string error;
  auto image = DecodeDib(r.Slice(off_bmi, cb_bmi), r.Slice(off_bits, cb_bits), source_alpha,
                         usage == 1, &error);
  if (!image) {
    CountSkipped(current_type_, error.c_str());
    return;
  }
  const Transform t = LogicalToCanvas();
  canvas_.BlendImage(*image, sx, sy, scx, scy, t.Apply({x, y}), t.Apply({x + cx, y}),
                     t.Apply({x, y + cy}), constant_alpha, source_alpha);
}

void Player::TransparentBlt(ByteReader& r) {
  r.Skip(16);
  const double x = r.I32(), y = r.I32(), cx = r.I32(), cy = r.I32();
  const ColorRef transparent = r.U32() & 0xFFFFFF;
  const double sx = r.I32(), sy = r.I32();
  r.Skip(24 + 4);
  const uint32_t usage = r.U32(), off_bmi = r.U32(), cb_bmi = r.U32(), off_bits = r.U32(),
                 cb_bits = r.U32();
  const double scx = r.I32(), scy = r.I32();
  if (in_path_ || cb_bmi == 0) {
    return;
  }
  std::string error;
  auto image = DecodeDib(r.Slice(off_bmi, cb_bmi), r.Slice(off_bits, cb_bits), false, usage == 1,
                         &error);
  if (!image) {
    CountSkipped(current_type_, error.c_str());
    return;
  }
  // The transparent colour becomes see-through; the rest is blended fully.
  const uint32_t key = ToRgb24(transparent);
  for (uint32_t& p : image->pixels) {
    p = (p & 0xFFFFFF) == key ? 0 : p;
  }
  image->has_alpha = true;
  const Transform t = LogicalToCanvas();
  canvas_.BlendImage(*image, sx, sy, scx, scy, t.Apply({x, y}), t.Apply({x + cx, y}),
                     t.Apply({x, y + cy}), 255, true);
}

void Player::MaskBlt(ByteReader& r) {
  // Drawn as a plain transfer with the foreground operation; the mask is not applied.
  r.Skip(16);
  const double x = r.I32(), y = r.I32(), cx = r.I32(), cy = r.I32();
  const uint32_t rop = r.U32();
  const double sx = r.I32(), sy = r.I32();
  r.Skip(24 + 4);
  const uint32_t usage = r.U32(), off_bmi = r.U32(), cb_bmi = r.U32(), off_bits = r.U32(),
                 cb_bits = r.U32();
  DrawRecordDib(r, off_bmi, cb_bmi, off_bits, cb_bits, usage, sx, sy, cx, cy, false, x, y, cx, cy,
                (rop & 0x00FFFFFF) | 0x00000000);
}

void Player::PlgBlt(ByteReader& r) {
  r.Skip(16);
  Point corners[3];
  for (Point& p : corners) {
    p = {static_cast<double>(r.I32()), static_cast<double>(r.I32())};
  }
  const double sx = r.I32(), sy = r.I32(), scx = r.I32(), scy = r.I32();
  r.Skip(24 + 4);
  const uint32_t usage = r.U32(), off_bmi = r.U32(), cb_bmi = r.U32(), off_bits = r.U32(),
                 cb_bits = r.U32();
  if (in_path_ || cb_bmi == 0) {
    return;
  }
  std::string error;
  auto image = DecodeDib(r.Slice(off_bmi, cb_bmi), r.Slice(off_bits, cb_bits), false, usage == 1,
                         &error);
  if (!image) {
    CountSkipped(current_type_, error.c_str());
    return;
  }
  const Transform t = LogicalToCanvas();
  canvas_.DrawImage(*image, sx, sy, scx, scy, t.Apply(corners[0]), t.Apply(corners[1]),
                    t.Apply(corners[2]), kSrcCopy, nullptr, state_.stretch_mode == kHalftone);
}

void Player::GradientFill(ByteReader& r) {
  r.Skip(16);
  const uint32_t vertices = r.U32();
  const uint32_t items = r.U32();
  const uint32_t mode = r.U32();
  if (in_path_ || vertices > kMaxGradientItems || items > kMaxGradientItems ||
      !r.Has(static_cast<size_t>(vertices) * 16)) {
    return;
  }
  struct Vertex {
    Point p;
    ColorRef color;
  };
  const Transform t = LogicalToCanvas();
  std::vector<Vertex> v;
  for (uint32_t i = 0; i < vertices; ++i) {
    const double x = r.I32(), y = r.I32();
    const uint32_t red = r.U16() >> 8, green = r.U16() >> 8, blue = r.U16() >> 8;
    r.U16();
    v.push_back({t.Apply({x, y}), red | (green << 8) | (blue << 16)});
  }
  const size_t per_item = mode == 2 ? 12 : 8;
  if (!r.Has(static_cast<size_t>(items) * per_item)) {
    return;
  }
  for (uint32_t i = 0; i < items; ++i) {
    if (mode == 2) {
      const uint32_t a = r.U32(), b = r.U32(), c = r.U32();
      if (a < vertices && b < vertices && c < vertices) {
        const Point p[3] = {v[a].p, v[b].p, v[c].p};
        const ColorRef col[3] = {v[a].color, v[b].color, v[c].color};
        canvas_.FillGradientTriangle(p, col);
      }
    } else {
      const uint32_t a = r.U32(), b = r.U32();
      if (a < vertices && b < vertices) {
        canvas_.FillGradientRect(v[a].p, v[b].p, v[a].color, v[b].color, mode == 1);
      }
    }
  }
}

}  // namespace emf
