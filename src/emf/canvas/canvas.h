// The drawing surface of the player: a 32-bit RGB pixel buffer drawn with cairo, aliased as
// GDI draws, with GDI's binary and ternary raster operations done in software where cairo
// has no operator for them. Everything it receives is in device pixels.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "emf/canvas/drawing_target.h"
#include "emf/canvas/paint.h"
#include "emf/records/geometry.h"
#include "emf/text/cairo_owners.h"
#include "emf/text/glyph_raster.h"

namespace emf {

// Owner of a cairo region.
struct RegionDeleter {
  void operator()(cairo_region_t* region) const { cairo_region_destroy(region); }
};
using Region = std::unique_ptr<cairo_region_t, RegionDeleter>;
Region MakeRegion();
Region MakeRegion(int left, int top, int right, int bottom);
Region CopyRegion(const cairo_region_t* region);
// The pixels of a canvas of width x height whose centres the path covers, as a region; an
// empty one, with why in failure, when it cannot be made.
Region PathRegion(const Path& canvas_path, FillRule rule, int width, int height,
                  std::string& failure);

// Sets cairo's current path to the path.
void BuildPath(cairo_t* cr, const Path& path);
// A COLORREF as cairo's source.
void SetSourceColor(cairo_t* cr, ColorRef color);
// GradientFill's shapes on cr: a rectangle shaded along one axis, a shaded triangle.
void FillGradientRectOn(cairo_t* cr, Point p0, Point p1, ColorRef c0, ColorRef c1, bool vertical);
void FillGradientTriangleOn(cairo_t* cr, const Point (&p)[3], const ColorRef (&c)[3]);
// The pattern that maps the source rectangle (sx, sy, sw, sh) of the surface onto the
// parallelogram at tl, tr, bl.
Pattern ImagePattern(cairo_surface_t* surface, double sx, double sy, double sw, double sh, Point tl,
                     Point tr, Point bl, bool smooth);
Path Parallelogram(Point tl, Point tr, Point bl);
// Paints the surface's source rectangle over the parallelogram at tl, tr, bl, at a constant
// alpha of 0 to 255 (AlphaBlend's), nearest pixels as GDI takes them.
void BlendSurfaceOn(cairo_t* cr, cairo_surface_t* surface, double sx, double sy, double sw,
                    double sh, Point tl, Point tr, Point bl, int constant_alpha);
// GDI+'s drawing on cr (DrawingTarget::FillSmooth and StrokeSmooth): a colour of 0xAARRGGBB
// over what is there.
void SetSourceArgb(cairo_t* cr, uint32_t argb);
void FillSmoothOn(cairo_t* cr, const Path& path, FillRule rule, uint32_t argb, bool antialias);
// A tile or gradient as cairo's source; false when it cannot be made (the reason in failure).
bool SetSourcePaint(cairo_t* cr, const SmoothPaint& paint, std::string& failure);
// The path filled with the paint; false, with why, when the paint cannot be made.
bool FillPatternOn(cairo_t* cr, const Path& path, FillRule rule, const SmoothPaint& paint,
                   bool antialias, std::string& failure);
// The path stroked in argb, or in the style's paint when it has one; false, with why, when
// the paint cannot be made.
bool StrokeSmoothOn(cairo_t* cr, const Path& path, const Transform& to_device,
                    const SmoothStroke& style, uint32_t argb, bool antialias, std::string& failure);
// A ternary raster operation without a source as a fill: the paint and binary operation it
// comes to; false when it draws nothing.
bool SourcelessFill(uint32_t rop3, const Paint& pattern, Paint& paint, int& rop2);
// AlphaBlend's arithmetic for one pixel, as GDI does it: s (0xAARRGGBB, premultiplied when
// source_alpha) over d (0x00RRGGBB) at a constant alpha of 0 to 255.
uint32_t BlendPixel(uint32_t s, uint32_t d, uint32_t constant, bool source_alpha);
// GDI's 8 x 8 tile of the paint's hatch, in its colour on the background (or clear).
Image HatchTile(const Paint& paint);
// The tile a hatched or pattern brush repeats (a monochrome pattern's 0 bits in the text
// colour, its 1 bits in the background); false for a brush that has none to repeat, which
// draws black.
bool BrushTile(const Paint& paint, Image& tile);

class Canvas : public DrawingTarget {
 public:
  // Draws into pixels (0x00RRGGBB, rows of stride bytes), which the caller owns.
  Canvas(uint32_t* pixels, int width, int height, int stride);
  // Draws one band of a page of width x height: pixels holds only the band's rows and
  // columns, [left, right) x [top, bottom) of the page. Everything is given in the page's
  // coordinates, so a page played band by band comes out as when played whole.
  struct Band {
    int left = 0, top = 0, right = 0, bottom = 0;
  };
  Canvas(uint32_t* pixels, int stride, int width, int height, Band band);
  ~Canvas();
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  int width() const override { return width_; }

  // Windows smooths text only on surfaces of 16 bits and more; palettes and black and white
  // get aliased glyphs.
  void set_smooth_text(bool smooth) { smooth_text_ = smooth; }
  int height() const override { return height_; }

  // Limits drawing to a region; null: the whole surface.
  void SetClip(const cairo_region_t* region) override;

  void FillPath(const Path& path, FillRule rule, const Paint& paint, int rop2) override;
  void StrokePath(const Path& path, const StrokeStyle& style, int rop2) override;

  // Draws src's rectangle (sx, sy, sw, sh) onto the parallelogram whose corners for the
  // source's top-left, top-right and bottom-left are given, with a ternary raster operation
  // (the pattern is paint's brush). smooth: filtered, else nearest pixels.
  void DrawImage(const Image& src, double sx, double sy, double sw, double sh, Point top_left,
                 Point top_right, Point bottom_left, uint32_t rop3, const Paint* pattern,
                 bool smooth) override;
  // The same for AlphaBlend: source alpha and a constant alpha, over the destination.
  void BlendImage(const Image& src, double sx, double sy, double sw, double sh, Point top_left,
                  Point top_right, Point bottom_left, int constant_alpha,
                  bool use_source_alpha) override;
  // The ternary operation with no source, over a parallelogram: PATCOPY, BLACKNESS, ...
  void FillWithRop3(const Path& area, uint32_t rop3, const Paint& pattern) override;

  // Gradients of GradientFill: a rectangle shaded along one axis, or a shaded triangle.
  void FillGradientRect(Point p0, Point p1, ColorRef c0, ColorRef c1, bool vertical) override;
  void FillGradientTriangle(const Point (&p)[3], const ColorRef (&c)[3]) override;

  // Text: glyphs of a face at device positions, smoothed or plain and hinted as the style says;
  // clip_box (device pixels) limits them when given.
  void DrawGlyphs(cairo_font_face_t* face, const cairo_matrix_t& font_matrix,
                  const std::vector<cairo_glyph_t>& glyphs, ColorRef color, const Path* clip_box,
                  GlyphStyle style) override;
  // The glyphs' outlines as a path, for text inside a path bracket.
  Path GlyphOutlines(cairo_font_face_t* face, const cairo_matrix_t& font_matrix,
                     const std::vector<cairo_glyph_t>& glyphs) override;

  void SetPixel(int x, int y, ColorRef color) override;
  void FillSmooth(const Path& path, FillRule rule, uint32_t argb, bool antialias) override;
  void StrokeSmooth(const Path& path, const Transform& to_device, const SmoothStroke& style,
                    uint32_t argb, bool antialias) override;
  void FillPattern(const Path& path, FillRule rule, const SmoothPaint& paint,
                   bool antialias) override;
  std::string Failure() const override;
  void Fail(const std::string& why) override;

  // cairo's image surfaces hold at most this many pixels a side.
  static constexpr int kMaxSurfaceSide = 32767;
  // A blended source's pixels are counted in the 24 bits of a layer's colour.
  static constexpr size_t kMaxBlendIndex = size_t{1} << 24;

 private:
  void SetSource(cairo_t* cr, const Paint& paint);
  void StrokeCosmetic(const Path& path, const StrokeStyle& style, int rop2);
  bool StrokeWide(const Path& path, const StrokeStyle& style, int rop2);
  // Runs draw on a fresh surface and combines its covered pixels into ours with op(src, dst).
  template <class Draw, class Combine>
  void DrawThroughMask(const Path& area, double margin, Draw draw, Combine combine);
  void ApplyClip(cairo_t* cr) const;
  bool FillUprightBox(const Path& path, bool on_fill_grid, ColorRef color);
  // A long path filled row by row (row_fill.h) and painted through the rows' mask.
  void FillByRows(const Path& path, FillRule rule, const Paint& paint, int rop2);
  // The one funnel for cairo's status: the first error is kept (cairo's own objects keep
  // theirs too, and then draw nothing more), and reported by Failure.
  bool Check(cairo_status_t status, const char* what);
  Pattern TilePattern(const Paint& paint, const Image& tile);
  // The pixel at page coordinates inside the band. Rows are addressed in size_t: y * stride
  // overflows int on pages of 537 megapixels.
  uint32_t* PixelAt(int x, int y) {
    return reinterpret_cast<uint32_t*>(reinterpret_cast<uint8_t*>(pixels_) +
                                       static_cast<size_t>(y - band_.top) *
                                           static_cast<size_t>(stride_)) +
           (x - band_.left);
  }
  bool InBand(int64_t x, int64_t y) const {
    return x >= band_.left && x < band_.right && y >= band_.top && y < band_.bottom;
  }

  uint32_t* pixels_;
  int width_;
  int height_;
  int stride_;
  Band band_;
  cairo_surface_t* surface_;  // made and destroyed with the canvas
  cairo_t* cr_;
  Region clip_;
  mutable bool clip_on_canvas_ = false;  // cr_ holds clip_ as its clip
  bool DrawGlyphBitmaps(const Typeface& typeface, const GlyphShape& shape,
                        const std::vector<cairo_glyph_t>& glyphs, ColorRef color,
                        const Path* clip_box);
  bool GlyphMask(int width, int height, uint8_t*& bits, int& stride);
  void BlendGlyphMask(const uint8_t* coverage, int stride, int64_t x0, int64_t y0, int width,
                      int height, ColorRef color);
  void WriteGlyphMask(const uint8_t* coverage, int stride, int64_t x0, int64_t y0, int width,
                      int height, ColorRef color, bool smooth);
  Surface glyph_mask_;  // every run's glyph mask, kept for the next run
  // The glyphs of the run being drawn and their bitmaps, kept for the next run's.
  std::vector<uint32_t> run_glyphs_;
  std::vector<std::shared_ptr<const GlyphBitmap>> run_bitmaps_;
  bool smooth_text_ = true;
  std::string failure_;
};

}  // namespace emf
