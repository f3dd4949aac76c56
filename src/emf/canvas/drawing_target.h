// What the player draws on, in device units of the target: the cairo canvas for pixels, the
// WMF writer for Windows metafiles. Back ends differ only here.
#pragma once

#include <cairo.h>

#include <memory>
#include <string>
#include <vector>

#include "emf/canvas/paint.h"
#include "emf/records/geometry.h"
#include "emf/text/glyph_raster.h"

namespace emf {

// A run of text as the page gives it, announced before its glyphs are drawn, for back ends
// that keep text as text.
struct TextDescription {
  std::u16string text;  // empty for glyph-index runs
  std::string face;
  double em_height = 0;   // device units
  double escapement = 0;  // tenths of a degree
  int weight = 400;
  bool italic = false, underline = false, strike_out = false;
  Point origin;                  // baseline start, device units
  std::vector<double> advances;  // device units along the baseline
  ColorRef color = 0;
};

// How glyphs turn into pixels: with the face and shape GDI uses when the face is known,
// else through cairo from the font matrix.
struct GlyphStyle {
  const Typeface* typeface = nullptr;
  GlyphShape shape;
};

// A GDI+ pen as a target strokes it (EMF+ records): its width, dashes and ends in the space
// of the path it strokes, so that it stretches and turns with the page's transform as GDI+'s
// pens do.
struct SmoothStroke {
  double width = 1;  // 0: one device pixel wide at any scale
  cairo_line_cap_t cap = CAIRO_LINE_CAP_BUTT;
  cairo_line_join_t join = CAIRO_LINE_JOIN_MITER;
  double miter_limit = 10;
  std::vector<double> dashes;  // empty: solid
  double dash_offset = 0;
  // A pen that paints with a tile or gradient (its colour then being what it averages to).
  const struct SmoothPaint* paint = nullptr;
};

// What a GDI+ fill paints with besides one colour: a repeating tile (hatches, textures) or a
// linear gradient, lying on the target where its transform puts it. argb is the colour the
// paint averages to, for targets that draw one colour only.
struct SmoothPaint {
  uint32_t argb = 0xFF000000;
  std::shared_ptr<const Image> tile;  // premultiplied ARGB, repeated both ways
  struct Stop {
    double offset;  // 0 to 1 along the gradient
    uint32_t argb;
  };
  std::vector<Stop> gradient;  // from x = 0 to x = 1 of the paint's space; empty: none
  enum class Extend { kRepeat, kReflect, kPad, kNone } extend = Extend::kRepeat;
  // How the tile is sampled between its pixels: by the nearest, or blended from the four
  // around (bilinear), or filtered to its size on the target as well (when shrunk).
  enum class Sampling { kNearest, kBilinear, kFiltered } sampling = Sampling::kNearest;
  // Or a mesh of patches, each shaded between the colours at its four corners (the target's
  // space; a triangle repeats a corner).
  struct Patch {
    Point corner[4];
    uint32_t argb[4];
  };
  std::vector<Patch> mesh;
  Transform to_device;  // the tile's pixels or the gradient's space -> target
};
// cairo's widest surface: a wider or taller tile paints its mean colour.
inline constexpr int kWidestPaintTile = 32767;

class DrawingTarget {
 public:
  virtual ~DrawingTarget() = default;
  virtual int width() const = 0;
  virtual int height() const = 0;
  virtual void SetClip(const cairo_region_t* region) = 0;
  virtual void FillPath(const Path& path, FillRule rule, const Paint& paint, int rop2) = 0;
  virtual void StrokePath(const Path& path, const StrokeStyle& style, int rop2) = 0;
  virtual void DrawImage(const Image& src, double sx, double sy, double sw, double sh,
                         Point top_left, Point top_right, Point bottom_left, uint32_t rop3,
                         const Paint* pattern, bool smooth) = 0;
  virtual void BlendImage(const Image& src, double sx, double sy, double sw, double sh,
                          Point top_left, Point top_right, Point bottom_left, int constant_alpha,
                          bool use_source_alpha) = 0;
  virtual void FillWithRop3(const Path& area, uint32_t rop3, const Paint& pattern) = 0;
  virtual void FillGradientRect(Point p0, Point p1, ColorRef c0, ColorRef c1, bool vertical) = 0;
  virtual void FillGradientTriangle(const Point (&p)[3], const ColorRef (&c)[3]) = 0;
  virtual void Text(const TextDescription& /*text*/) {}
  // Whether Text takes anything: a target that only draws is spared the description.
  virtual bool TakesText() const { return false; }
  virtual void DrawGlyphs(cairo_font_face_t* face, const cairo_matrix_t& font_matrix,
                          const std::vector<cairo_glyph_t>& glyphs, ColorRef color,
                          const Path* clip_box, GlyphStyle style) = 0;
  virtual Path GlyphOutlines(cairo_font_face_t* face, const cairo_matrix_t& font_matrix,
                             const std::vector<cairo_glyph_t>& glyphs) = 0;
  virtual void SetPixel(int x, int y, ColorRef color) = 0;
  // GDI+'s drawing: a colour of 0xAARRGGBB over what is there, smoothed (antialiased) or not,
  // in floating point. A fill's path is in device units; a stroke's path is in the space that
  // to_device maps onto the target.
  virtual void FillSmooth(const Path& path, FillRule rule, uint32_t argb, bool antialias) = 0;
  virtual void StrokeSmooth(const Path& path, const Transform& to_device, const SmoothStroke& style,
                            uint32_t argb, bool antialias) = 0;
  // A fill with a tile or gradient; a target that draws colours only fills with the colour
  // the paint averages to.
  virtual void FillPattern(const Path& path, FillRule rule, const SmoothPaint& paint,
                           bool antialias) {
    FillSmooth(path, rule, paint.argb, antialias);
  }
  // Why something given could not be drawn, empty when all was: the one place a target's
  // failures are read.
  virtual std::string Failure() const { return reported_; }
  // A part of the page the player could not draw (a record whose fields run past its end, a
  // clip it had no memory for): the page then fails by name. The first reason is kept.
  virtual void Fail(const std::string& why) {
    if (reported_.empty()) {
      reported_ = why;
    }
  }

 protected:
  std::string reported_;
};

}  // namespace emf
