// Bitmap records: block transfers, DIB stretching, blending, transparency and gradients.
#include <algorithm>
#include <cmath>
#include <vector>

#include "emf/canvas/dib.h"
#include "emf/canvas/raster_ops.h"
#include "emf/player/player.h"
#include "emf/records/gdi_constants.h"

namespace emf {
namespace {

constexpr uint32_t kMaxGradientItems = 1u << 20;

// The source range [start, start + size) of one axis (size may be negative: mirrored) cut
// to the bitmap's [0, limit): the kept part as fractions of the destination, from t0 to t1.
bool ClipAxis(double start, double size, double limit, double& t0, double& t1) {
  const double low = std::max(std::min(start, start + size), 0.0);
  const double high = std::min(std::max(start, start + size), limit);
  if (!(high > low) || size == 0) {
    return false;
  }
  const double a = (low - start) / size, b = (high - start) / size;
  t0 = std::min(a, b);
  t1 = std::max(a, b);
  return true;
}

// GDI transfers only the part of the source rectangle that lies on the bitmap, onto the
// matching part of the destination; the rest of the destination is left alone.
bool ClipToBitmap(const Image& image, double& sx, double& sy, double& sw, double& sh, Point& tl,
                  Point& tr, Point& bl) {
  double u0 = 0, u1 = 1, v0 = 0, v1 = 1;
  if (!ClipAxis(sx, sw, image.width, u0, u1) || !ClipAxis(sy, sh, image.height, v0, v1)) {
    return false;
  }
  const Point across{tr.x - tl.x, tr.y - tl.y};
  const Point down{bl.x - tl.x, bl.y - tl.y};
  const Point origin{tl.x + u0 * across.x + v0 * down.x, tl.y + u0 * across.y + v0 * down.y};
  tl = origin;
  tr = {origin.x + (u1 - u0) * across.x, origin.y + (u1 - u0) * across.y};
  bl = {origin.x + (v1 - v0) * down.x, origin.y + (v1 - v0) * down.y};
  sx += u0 * sw;
  sy += v0 * sh;
  sw *= u1 - u0;
  sh *= v1 - v0;
  return true;
}

// One axis of a transfer that GDI shrinks: the destination's whole pixels [0, dest) each take
// a group of the source's [0, source) (source > dest), found as GDI finds them (settled on
// pages of our own through the reference renderer): across, a group ends at the source pixel
// nearest (i + 1) * source / dest - 1; down, it starts at the one nearest i * source / dest.
struct ShrunkAxis {
  int64_t source = 0, dest = 0;
  bool down = false;
  int64_t First(int64_t i) const {
    if (down) {
      return (2 * i * source + dest) / (2 * dest);
    }
    return i == 0 ? 0 : Last(i - 1) + 1;
  }
  int64_t Last(int64_t i) const {
    if (down) {
      return i + 1 == dest ? source - 1 : First(i + 1) - 1;
    }
    return (2 * (i + 1) * source - dest) / (2 * dest);
  }
};

// The bitmap pixels [first, last] one destination pixel of an axis stands for, cut to the
// bitmap (last < first when none is on it).
struct Span {
  int64_t first, last;
};

// One axis of a transfer as ShrinkAsGdi draws it. Shrunk, each destination pixel stands for
// a span, and [first, last) are those that show something of the bitmap; not shrunk, the one
// span is the source's part on the bitmap, taken pixel for pixel.
struct AxisPlan {
  bool shrunk = false;
  std::vector<Span> spans;
  size_t first = 0, last = 0;

  // Pixels of the shrunk image along the axis, and the span of its pixel k.
  int Count() const {
    return static_cast<int>(shrunk ? last - first : spans[0].last - spans[0].first + 1);
  }
  Span At(int k) const {
    return shrunk ? spans[first + k] : Span{spans[0].first + k, spans[0].first + k};
  }
  // Moves the axis's source range onto the shrunk image and, when shrunk, its destination
  // edges onto the whole pixels drawn (origin: the first destination pixel).
  void Place(double origin, double& start, double& size, double& low, double& high) const {
    if (shrunk) {
      low = origin + static_cast<double>(first);
      high = origin + static_cast<double>(last);
      start = 0;
      size = Count();
    } else {
      start -= static_cast<double>(spans[0].first);
    }
  }
};

// Plans an axis whose source [start, start + source) of a bitmap [0, limit) is shrunk to dest
// pixels, or not; false when none of it lies on the bitmap.
bool PlanAxis(bool shrunk, bool down, int64_t start, int64_t source, int64_t dest, int64_t limit,
              AxisPlan& plan) {
  plan.shrunk = shrunk;
  plan.spans.clear();
  if (!shrunk) {
    plan.spans.push_back({std::max<int64_t>(start, 0), std::min(start + source, limit) - 1});
  } else {
    const ShrunkAxis axis{source, dest, down};
    for (int64_t i = 0; i < dest; ++i) {
      plan.spans.push_back(
          {std::max<int64_t>(start + axis.First(i), 0), std::min(start + axis.Last(i), limit - 1)});
    }
  }
  // The spans move on monotonically, so those on the bitmap are one run.
  const auto off = [](const Span& span) { return span.last < span.first; };
  plan.first = 0;
  while (plan.first < plan.spans.size() && off(plan.spans[plan.first])) {
    ++plan.first;
  }
  plan.last = plan.spans.size();
  while (plan.last > plan.first && off(plan.spans[plan.last - 1])) {
    --plan.last;
  }
  return plan.last > plan.first;
}

// Shrinking a bitmap, GDI's stretch modes decide what each destination pixel shows of the
// source pixels it stands for: COLORONCOLOR the last of them across and the first down,
// BLACKONWHITE all of them combined by AND, WHITEONBLACK by OR. Only the pixels on the
// bitmap count; a destination pixel none of whose source pixels is on it is left alone.
// Makes that shrunk image of an upright, unmirrored transfer whose source rectangle is in
// whole pixels, and moves the source rectangle and corners onto it (an empty rectangle when
// nothing is on the bitmap); false when GDI would not shrink the transfer so (HALFTONE
// smooths, a growing transfer repeats pixels).
bool ShrinkAsGdi(const Image& image, int mode, double& sx, double& sy, double& sw, double& sh,
                 Point& tl, Point& tr, Point& bl, Image& out) {
  constexpr int kBlackOnWhite = 1, kWhiteOnBlack = 2, kColorOnColor = 3;
  constexpr double kLargest = 1 << 16;  // destination pixels a shrunk axis takes at most
  if (mode != kBlackOnWhite && mode != kWhiteOnBlack && mode != kColorOnColor) {
    return false;
  }
  const bool upright = tl.y == tr.y && tl.x == bl.x && tr.x > tl.x && bl.y > tl.y;
  const auto whole = [](double v) { return v == std::floor(v) && std::fabs(v) < 1e9; };
  if (!upright || !whole(sx) || !whole(sy) || !whole(sw) || !whole(sh) || sw <= 0 || sh <= 0) {
    return false;
  }
  // Each axis in whole destination pixels; it is shrunk when fewer than its source's.
  const double x0 = std::round(tl.x), y0 = std::round(tl.y);
  const double across = std::round(tr.x) - x0, down = std::round(bl.y) - y0;
  const bool shrink_x = across > 0 && across < std::min(sw, kLargest);
  const bool shrink_y = down > 0 && down < std::min(sh, kLargest);
  if (!shrink_x && !shrink_y) {
    return false;
  }
  AxisPlan columns, rows;
  if (!PlanAxis(shrink_x, false, static_cast<int64_t>(sx), static_cast<int64_t>(sw),
                shrink_x ? static_cast<int64_t>(across) : 0, image.width, columns) ||
      !PlanAxis(shrink_y, true, static_cast<int64_t>(sy), static_cast<int64_t>(sh),
                shrink_y ? static_cast<int64_t>(down) : 0, image.height, rows)) {
    out = {};
    sw = sh = 0;
    return true;
  }
  out.width = columns.Count();
  out.height = rows.Count();
  out.has_alpha = image.has_alpha;
  out.pixels.assign(static_cast<size_t>(out.width) * out.height, 0);
  for (int y = 0; y < out.height; ++y) {
    const Span rows_of = rows.At(y);
    for (int x = 0; x < out.width; ++x) {
      const Span columns_of = columns.At(x);
      uint32_t value = 0;
      if (mode == kColorOnColor) {
        value = image.pixels[static_cast<size_t>(rows_of.first) * image.width + columns_of.last];
      } else {
        value = mode == kBlackOnWhite ? 0xFFFFFFFFu : 0;
        for (int64_t v = rows_of.first; v <= rows_of.last; ++v) {
          const uint32_t* row = image.pixels.data() + static_cast<size_t>(v) * image.width;
          for (int64_t u = columns_of.first; u <= columns_of.last; ++u) {
            value = mode == kBlackOnWhite ? value & row[u] : value | row[u];
          }
        }
      }
      out.pixels[static_cast<size_t>(y) * out.width + x] = value;
    }
  }
  double left = tl.x, right = tr.x, top = tl.y, bottom = bl.y;
  columns.Place(x0, sx, sw, left, right);
  rows.Place(y0, sy, sh, top, bottom);
  tl = {left, top};
  tr = {right, top};
  bl = {left, bottom};
  return true;
}

}  // namespace

// Draws a record's DIB: the source rectangle (top-down pixel rows) onto the logical
// destination, with a raster operation; no bitmap means a pattern-only operation.
void Player::DrawRecordDib(ByteReader& r, const DibTransfer& transfer) {
  const Transform t = LogicalToCanvas();
  const Point tl = t.Apply({transfer.dx, transfer.dy});
  const Point tr = t.Apply({transfer.dx + transfer.dw, transfer.dy});
  const Point bl = t.Apply({transfer.dx, transfer.dy + transfer.dh});
  if (in_path_) {
    return;
  }
  if (transfer.bitmap.cb_bmi == 0) {
    Path area;
    area.MoveTo(tl);
    area.LineTo(tr);
    area.LineTo({tr.x + bl.x - tl.x, tr.y + bl.y - tl.y});
    area.LineTo(bl);
    area.Close();
    canvas_.FillWithRop3(area, transfer.rop, CurrentPaint(state_.brush));
    return;
  }
  auto image = RecordImage(r, transfer.bitmap, false);
  if (!image) {
    return;
  }
  double sy = transfer.sy;
  if (transfer.source_from_bottom) {
    sy = image->height - transfer.sy - transfer.sh;
  }
  double sx = transfer.sx, sw = transfer.sw, sh = transfer.sh;
  Point top_left = tl, top_right = tr, bottom_left = bl;
  Image shrunk;
  const Image* source = &*image;
  if (ShrinkAsGdi(*image, state_.stretch_mode, sx, sy, sw, sh, top_left, top_right, bottom_left,
                  shrunk)) {
    source = &shrunk;
  }
  if (!ClipToBitmap(*source, sx, sy, sw, sh, top_left, top_right, bottom_left)) {
    return;
  }
  Paint pattern = CurrentPaint(state_.brush);
  canvas_.DrawImage(*source, sx, sy, sw, sh, top_left, top_right, bottom_left, transfer.rop,
                    &pattern, state_.stretch_mode == kStretchHalftone);
}

namespace {

// The layout that EMR_BITBLT, EMR_STRETCHBLT, EMR_ALPHABLEND, EMR_TRANSPARENTBLT and
// EMR_MASKBLT share: destination, an operation word, source origin, source transform and
// colour, the bitmap's place in the record, and (for the stretching ones) the source size.
struct BltFields {
  double x, y, cx, cy;
  uint32_t operation;
  double sx, sy;
  DibSource bitmap;
  double scx, scy;
};

BltFields ReadBlt(ByteReader& r, bool stretches) {
  BltFields f{};
  r.Skip(16);
  f.x = r.I32();
  f.y = r.I32();
  f.cx = r.I32();
  f.cy = r.I32();
  f.operation = r.U32();
  const double x = r.I32(), y = r.I32();
  // The source DC's transform places the source rectangle on the bitmap; one GDI would
  // refuse (no inverse) leaves it where it is.
  const double m11 = r.F32(), m12 = r.F32(), m21 = r.F32(), m22 = r.F32();
  const double dx = r.F32(), dy = r.F32();
  r.Skip(4);  // source background colour
  f.bitmap = ReadDibSource(r);
  f.scx = stretches ? r.I32() : f.cx;
  f.scy = stretches ? r.I32() : f.cy;
  const double determinant = m11 * m22 - m12 * m21;
  if (std::isfinite(determinant) && determinant != 0 && std::isfinite(dx) && std::isfinite(dy)) {
    f.sx = x * m11 + y * m21 + dx;
    f.sy = x * m12 + y * m22 + dy;
    f.scx *= m11;
    f.scy *= m22;
  } else {
    f.sx = x;
    f.sy = y;
  }
  return f;
}

DibTransfer BltTransfer(const BltFields& f, uint32_t rop) {
  return {f.bitmap, f.sx, f.sy, f.scx, f.scy, false, f.x, f.y, f.cx, f.cy, rop};
}

void BlendOnto(DrawingTarget& target, const Transform& t, const Image& image, const BltFields& f,
               int constant_alpha, bool source_alpha) {
  Point tl = t.Apply({f.x, f.y}), tr = t.Apply({f.x + f.cx, f.y}), bl = t.Apply({f.x, f.y + f.cy});
  double sx = f.sx, sy = f.sy, sw = f.scx, sh = f.scy;
  if (ClipToBitmap(image, sx, sy, sw, sh, tl, tr, bl)) {
    target.BlendImage(image, sx, sy, sw, sh, tl, tr, bl, constant_alpha, source_alpha);
  }
}

}  // namespace

std::optional<Image> Player::RecordImage(ByteReader& r, const DibSource& bitmap, bool keep_alpha) {
  std::string error;
  auto image =
      DecodeDib(r.Slice(bitmap.off_bmi, bitmap.cb_bmi), r.Slice(bitmap.off_bits, bitmap.cb_bits),
                keep_alpha, bitmap.usage == kDibPalColors, &error);
  if (!image) {
    CountSkipped(current_type_, error.c_str());
  }
  return image;
}

void Player::BitBlt(ByteReader& r) {
  const BltFields f = ReadBlt(r, false);
  DrawRecordDib(r, BltTransfer(f, f.operation));
}

void Player::StretchBlt(ByteReader& r) {
  const BltFields f = ReadBlt(r, true);
  DrawRecordDib(r, BltTransfer(f, f.operation));
}

void Player::StretchDIBits(ByteReader& r) {
  r.Skip(16);
  const double x = r.I32(), y = r.I32(), sx = r.I32(), sy = r.I32(), scx = r.I32(), scy = r.I32();
  const DibSource bitmap = ReadDibSource(r, UsageField::kLast);
  const uint32_t rop = r.U32();
  const double cx = r.I32(), cy = r.I32();
  // The source rows count from the bitmap's bottom row, whichever way its rows are stored
  // (settled on blt-source-rows of tests/gdi-pages through the reference renderer).
  DrawRecordDib(r, {bitmap, sx, sy, scx, scy, true, x, y, cx, cy, rop});
}

void Player::SetDIBitsToDevice(ByteReader& r) {
  r.Skip(16);
  const double x = r.I32(), y = r.I32(), sx = r.I32(), sy = r.I32(), scx = r.I32(), scy = r.I32();
  const DibSource bitmap = ReadDibSource(r, UsageField::kLast);
  // The size is in device pixels of the reference device, not stretched by the mapping.
  const Transform page = state_.world.Then(PageTransform());
  const Point unit = page.Inverse().ApplyVector({scx, scy});
  // Source rows count from the bottom row, as StretchDIBits's do.
  DrawRecordDib(r, {bitmap, sx, sy, scx, scy, true, x, y, unit.x, unit.y, kSrcCopy});
}

void Player::AlphaBlend(ByteReader& r) {
  const BltFields f = ReadBlt(r, true);
  if (in_path_ || f.bitmap.cb_bmi == 0) {
    return;
  }
  const int constant_alpha = (f.operation >> 16) & 0xFF;
  const bool source_alpha = ((f.operation >> 24) & 0xFF) == 1;  // AC_SRC_ALPHA
  auto image = RecordImage(r, f.bitmap, source_alpha);
  // GDI refuses per-pixel alpha from a bitmap that has none (fewer than 32 bits a pixel):
  // nothing is drawn.
  if (!image || (source_alpha && !image->has_alpha)) {
    return;
  }
  BlendOnto(canvas_, LogicalToCanvas(), *image, f, constant_alpha, source_alpha);
}

void Player::TransparentBlt(ByteReader& r) {
  const BltFields f = ReadBlt(r, true);
  if (in_path_ || f.bitmap.cb_bmi == 0) {
    return;
  }
  auto image = RecordImage(r, f.bitmap, false);
  if (!image) {
    return;
  }
  // The transparent colour becomes see-through; the rest is blended fully.
  const uint32_t key = ToRgb24(f.operation & 0xFFFFFF);
  for (uint32_t& p : image->pixels) {
    p = (p & 0xFFFFFF) == key ? 0 : p;
  }
  image->has_alpha = true;
  BlendOnto(canvas_, LogicalToCanvas(), *image, f, 255, true);
}

namespace {

// The destination pixels (canvas) whose mask pixel is set, or not set: rows of runs, each a
// rectangle. Only the columns and rows the mask covers are looked at; beyond it nothing is
// set. A set bit is the colour table's second entry, drawn as a non-black colour.
Region MaskedArea(const Image& mask, Point mask_origin, const BltFields& f, const Transform& t,
                  bool set) {
  Region region = MakeRegion();
  auto add = [&](int from, int to, int j) {  // destination columns [from, to) of row j
    const Point p0 = t.Apply({f.x + from, f.y + j});
    const Point p1 = t.Apply({f.x + to, f.y + j + 1});
    const int left = ToInt(std::round(std::min(p0.x, p1.x)));
    const int right = ToInt(std::round(std::max(p0.x, p1.x)));
    const int top = ToInt(std::round(std::min(p0.y, p1.y)));
    const int bottom = ToInt(std::round(std::max(p0.y, p1.y)));
    if (right > left && bottom > top) {
      cairo_rectangle_int_t run{left, top, right - left, bottom - top};
      cairo_region_union_rectangle(region.get(), &run);
    }
  };
  const int width = static_cast<int>(std::clamp(f.cx, 0.0, 65536.0));
  const int height = static_cast<int>(std::clamp(f.cy, 0.0, 65536.0));
  const double mask_x = mask_origin.x;
  const int first = static_cast<int>(std::clamp(-mask_x, 0.0, static_cast<double>(width)));
  const int last = static_cast<int>(
      std::clamp(mask.width - mask_x, static_cast<double>(first), static_cast<double>(width)));
  for (int j = 0; j < height; ++j) {
    const double my = mask_origin.y + j;
    if (my < 0 || my >= mask.height || first == last) {
      if (!set) {
        add(0, width, j);
      }
      continue;
    }
    const uint32_t* row = mask.pixels.data() + static_cast<size_t>(my) * mask.width;
    auto pixel_set = [&](int at) {
      return at >= first && at < last && (row[static_cast<size_t>(mask_x + at)] & 0xFFFFFF) != 0;
    };
    if (!set && first > 0) {
      add(0, first, j);
    }
    for (int i = first; i < last;) {
      const int start = i;
      const bool value = pixel_set(i);
      while (i < last && pixel_set(i) == value) {
        ++i;
      }
      if (value == set) {
        add(start, i, j);
      }
    }
    if (!set && last < width) {
      add(last, width, j);
    }
  }
  return region;
}

}  // namespace

// The mask's set pixels take the foreground operation, the others the background one; each
// is drawn through the clip narrowed to its pixels.
void Player::MaskBlt(ByteReader& r) {
  const BltFields f = ReadBlt(r, false);
  const Point mask_origin{static_cast<double>(r.I32()), static_cast<double>(r.I32())};
  const DibSource mask_bitmap = ReadDibSource(r);
  const uint32_t fore = f.operation & 0x00FFFFFF;
  const uint32_t back = (f.operation >> 8) & 0x00FF0000;
  const Transform t = LogicalToCanvas();
  std::optional<Image> mask;
  if (r.Ok() && mask_bitmap.cb_bmi != 0 && !in_path_ && t.m12 == 0 && t.m21 == 0) {
    mask = RecordImage(r, mask_bitmap, false);
  }
  if (!mask) {
    DrawRecordDib(r, BltTransfer(f, fore));  // no mask, or a turned one: foreground everywhere
    return;
  }
  const auto saved = state_.clip;
  for (const bool set : {false, true}) {
    CombineClip(MaskedArea(*mask, mask_origin, f, t, set), kRgnAnd);
    DrawRecordDib(r, BltTransfer(f, set ? fore : back));
    state_.clip = saved;
    UpdateClip();
  }
}

void Player::PlgBlt(ByteReader& r) {
  r.Skip(16);
  Point corners[3];
  for (Point& p : corners) {
    p = {static_cast<double>(r.I32()), static_cast<double>(r.I32())};
  }
  const double sx = r.I32(), sy = r.I32(), scx = r.I32(), scy = r.I32();
  r.Skip(24 + 4);
  const DibSource bitmap = ReadDibSource(r);
  if (in_path_ || bitmap.cb_bmi == 0) {
    return;
  }
  auto image = RecordImage(r, bitmap, false);
  if (!image) {
    return;
  }
  const Transform t = LogicalToCanvas();
  canvas_.DrawImage(*image, sx, sy, scx, scy, t.Apply(corners[0]), t.Apply(corners[1]),
                    t.Apply(corners[2]), kSrcCopy, nullptr,
                    state_.stretch_mode == kStretchHalftone);
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
