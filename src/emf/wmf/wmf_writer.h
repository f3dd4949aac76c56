// The WMF back end: what the player draws becomes a standard Windows metafile (no placeable
// header) in MM_ANISOTROPIC, whose logical units are the target's device units. Shapes become
// polygons and polylines, bitmaps StretchDIB records, and text ExtTextOut records with their
// font where the text is Windows-1252, else its glyph outlines.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "emf/canvas/drawing_target.h"
#include "emf/player/player.h"

namespace emf {

class WmfWriter : public DrawingTarget {
 public:
  // A page of width x height units (at most 32767 each).
  WmfWriter(int width, int height);

  // The finished file.
  std::vector<uint8_t> Finish();

  int width() const override { return width_; }
  int height() const override { return height_; }
  void SetClip(const cairo_region_t*) override {}
  void FillPath(const Path& path, FillRule rule, const Paint& paint, int rop2) override;
  void StrokePath(const Path& path, const StrokeStyle& style, int rop2) override;
  void DrawImage(const Image& src, double sx, double sy, double sw, double sh, Point top_left,
                 Point top_right, Point bottom_left, uint32_t rop3, const Paint* pattern,
                 bool smooth) override;
  void BlendImage(const Image& src, double sx, double sy, double sw, double sh, Point top_left,
                  Point top_right, Point bottom_left, int constant_alpha,
                  bool use_source_alpha) override;
  void FillWithRop3(const Path& area, uint32_t rop3, const Paint& pattern) override;
  void FillGradientRect(Point p0, Point p1, ColorRef c0, ColorRef c1, bool vertical) override;
  void FillGradientTriangle(const Point (&p)[3], const ColorRef (&c)[3]) override;
  void Text(const TextDescription& text) override;
  bool TakesText() const override { return true; }
  void DrawGlyphs(cairo_font_face_t* face, const cairo_matrix_t& font_matrix,
                  const std::vector<cairo_glyph_t>& glyphs, ColorRef color, const Path* clip_box,
                  GlyphStyle style) override;
  Path GlyphOutlines(cairo_font_face_t* face, const cairo_matrix_t& font_matrix,
                     const std::vector<cairo_glyph_t>& glyphs) override;
  void SetPixel(int x, int y, ColorRef color) override;
  void FillSmooth(const Path& path, FillRule rule, uint32_t argb, bool antialias) override;
  void StrokeSmooth(const Path& path, const Transform& to_device, const SmoothStroke& style,
                    uint32_t argb, bool antialias) override;
  void FillPattern(const Path& path, FillRule rule, const SmoothPaint& paint,
                   bool antialias) override;

 private:
  void Record(uint16_t function, const std::vector<uint16_t>& params);
  void SetRop2(int rop2);
  void WithObjects(const std::vector<uint16_t>& brush, const std::vector<uint16_t>& pen,
                   uint16_t function, const std::vector<uint16_t>& params);
  void FillPolygons(const Path& path, ColorRef color, int rop2);

  int width_;
  int height_;
  std::vector<uint16_t> words_;  // the records
  uint32_t max_record_ = 0;
  int rop2_ = 13;
  bool text_drawn_ = false;  // the last Text() was written as text: skip its glyphs
};

// Whether a Windows metafile is well formed: its header, every record's size within the file
// and the header's maximum, point counts that match record sizes, and the end record last.
bool WmfWellFormed(std::span<const uint8_t> file, std::string* why = nullptr);

// The page as a Windows metafile whose logical units are 300 an inch, fewer for pages whose
// sides would not fit the format's 16-bit coordinates; with comment drawing when given.
std::vector<uint8_t> ConvertToWmf(const Metafile& page, const CommentDrawingMaker& comments = {});

}  // namespace emf
