// The values that drawing takes: colours, images, brushes, paints and strokes.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "emf/records/geometry.h"

namespace emf {

using ColorRef = uint32_t;  // 0x00BBGGRR, as GDI stores colours

// An image in 32-bit premultiplied ARGB (cairo's format), with its own alpha use flag.
struct Image {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;  // width * height, rows top-down
  bool has_alpha = false;        // alpha is meaningful (AlphaBlend of 32-bit DIBs)
};

struct Brush {
  enum Style { kSolid, kNull, kHatched, kPattern } style = kSolid;
  ColorRef color = 0;
  int hatch = 0;
  std::shared_ptr<const Image> pattern;  // kPattern; monochrome patterns come as colours
  bool mono_pattern = false;             // 1-bit pattern: bits take text and background colour
};

// How a fill is painted: the brush with the DC's background and brush origin.
struct Paint {
  Brush brush;
  ColorRef background = 0xFFFFFF;
  ColorRef text_color = 0;  // for monochrome patterns
  bool opaque_background = true;
  Point origin;
};

struct StrokeStyle {
  double width = 1;  // device pixels
  bool cosmetic = true;
  cairo_line_cap_t cap = CAIRO_LINE_CAP_ROUND;
  cairo_line_join_t join = CAIRO_LINE_JOIN_ROUND;
  double miter_limit = 10;
  std::vector<double> dashes;  // device pixels; empty: solid
  ColorRef color = 0;
  bool opaque_gaps = false;  // dashed cosmetic lines in OPAQUE mode fill gaps with background
  ColorRef background = 0xFFFFFF;
  std::optional<Paint> paint;  // a geometric pen's hatch or pattern, in place of color
};

enum class FillRule { kAlternate, kWinding };

ColorRef ToColorRef(uint32_t rgb24);

// The part of a bitmap that a transfer of its source rectangle (sx, sy, sw, sh) onto the
// parallelogram at tl, tr, bl uses, sampled (nearest pixels) at no more pixels than the
// destination has; the source rectangle is moved into the part. False when the rectangle
// misses the bitmap.
bool SourcePart(const Image& src, Point tl, Point tr, Point bl, double& sx, double& sy, double& sw,
                double& sh, Image& part);
uint32_t ToRgb24(ColorRef color);
// The colour as an opaque pixel of cairo's surfaces (0xFFRRGGBB).
uint32_t Opaque(ColorRef color);

}  // namespace emf
