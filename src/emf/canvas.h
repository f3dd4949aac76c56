// The drawing surface of the player: a 32-bit RGB pixel buffer drawn with cairo, aliased as
// GDI draws, with GDI's binary and ternary raster operations done in software where cairo
// has no operator for them. Everything it receives is in device pixels.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "geometry.h"

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
};

enum class FillRule { kAlternate, kWinding };

// Owner of a cairo region.
struct RegionDeleter {
  void operator()(cairo_region_t* region) const { cairo_region_destroy(region); }
};
using Region = std::unique_ptr<cairo_region_t, RegionDeleter>;
Region MakeRegion();
Region MakeRegion(int left, int top, int right, int bottom);
Region CopyRegion(const cairo_region_t* region);

class Canvas {
 public:
  // Draws into pixels (0x00RRGGBB, rows of stride bytes), which the caller owns.
  Canvas(uint32_t* pixels, int width, int height, int stride);
  ~Canvas();
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  int width() const { return width_; }

  // Windows smooths text only on surfaces of 16 bits and more; palettes and black and white
  // get aliased glyphs.
  void set_smooth_text(bool smooth) { smooth_text_ = smooth; }
  int height() const { return height_; }

  // Limits drawing to a region; null: the whole surface.
  void SetClip(const cairo_region_t* region);

  void FillPath(const Path& path, FillRule rule, const Paint& paint, int rop2);
  void StrokePath(const Path& path, const StrokeStyle& style, int rop2);

  // Draws src's rectangle (sx, sy, sw, sh) onto the parallelogram whose corners for the
  // source's top-left, top-right and bottom-left are given, with a ternary raster operation
  // (the pattern is paint's brush). smooth: filtered, else nearest pixels.
  void DrawImage(const Image& src, double sx, double sy, double sw, double sh, Point top_left,
                 Point top_right, Point bottom_left, uint32_t rop3, const Paint* pattern,
                 bool smooth);
  // The same for AlphaBlend: source alpha and a constant alpha, over the destination.
  void BlendImage(const Image& src, double sx, double sy, double sw, double sh, Point top_left,
                  Point top_right, Point bottom_left, int constant_alpha, bool use_source_alpha);
  // The ternary operation with no source, over a parallelogram: PATCOPY, BLACKNESS, ...
  void FillWithRop3(const Path& area, uint32_t rop3, const Paint& pattern);

  // Gradients of GradientFill: a rectangle shaded along one axis, or a shaded triangle.
  void FillGradientRect(Point p0, Point p1, ColorRef c0, ColorRef c1, bool vertical);
  void FillGradientTriangle(const Point (&p)[3], const ColorRef (&c)[3]);

  // Text: glyphs of a face at device positions, drawn with grey antialiasing as Windows'
  // standard font smoothing does; clip_box (device pixels) limits them when given.
  void DrawGlyphs(cairo_font_face_t* face, const cairo_matrix_t& font_matrix,
                  const std::vector<cairo_glyph_t>& glyphs, ColorRef color, const Path* clip_box);
  // The glyphs' outlines as a path, for text inside a path bracket.
  Path GlyphOutlines(cairo_font_face_t* face, const cairo_matrix_t& font_matrix,
                     const std::vector<cairo_glyph_t>& glyphs);

  ColorRef GetPixel(int x, int y) const;
  void SetPixel(int x, int y, ColorRef color);

 private:
  void SetSource(cairo_t* cr, const Paint& paint);
  // Runs draw on a fresh surface and combines its covered pixels into ours with op(src, dst).
  template <class Draw, class Combine>
  void DrawThroughMask(Draw draw, Combine combine);
  void ApplyClip(cairo_t* cr) const;

  uint32_t* pixels_;
  int width_;
  int height_;
  int stride_;
  cairo_surface_t* surface_;
  cairo_t* cr_;
  Region clip_;
  bool smooth_text_ = true;
};

ColorRef ToColorRef(uint32_t rgb24);
uint32_t ToRgb24(ColorRef color);

}  // namespace emf
