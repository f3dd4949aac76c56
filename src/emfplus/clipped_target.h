// A target that keeps whatever is drawn on it inside a region of another target's pixels:
// a metafile drawn as an image plays onto it, so that its own clips never reach past the
// clip and the place it is drawn in.
#pragma once

#include "emf/canvas/canvas.h"
#include "emf/canvas/drawing_target.h"

namespace emfplus {

class ClippedTarget : public emf::DrawingTarget {
 public:
  ClippedTarget(emf::DrawingTarget& inner, emf::Region region)
      : inner_(inner), region_(std::move(region)) {
    inner_.SetClip(region_.get());
  }

  int width() const override { return inner_.width(); }
  int height() const override { return inner_.height(); }
  void SetClip(const cairo_region_t* region) override {
    emf::Region both = emf::CopyRegion(region_.get());
    if (region != nullptr) {
      cairo_region_intersect(both.get(), region);
    }
    inner_.SetClip(both.get());
  }
  void FillPath(const emf::Path& path, emf::FillRule rule, const emf::Paint& paint,
                int rop2) override {
    inner_.FillPath(path, rule, paint, rop2);
  }
  void StrokePath(const emf::Path& path, const emf::StrokeStyle& style, int rop2) override {
    inner_.StrokePath(path, style, rop2);
  }
  void DrawImage(const emf::Image& src, double sx, double sy, double sw, double sh,
                 emf::Point top_left, emf::Point top_right, emf::Point bottom_left, uint32_t rop3,
                 const emf::Paint* pattern, bool smooth) override {
    inner_.DrawImage(src, sx, sy, sw, sh, top_left, top_right, bottom_left, rop3, pattern, smooth);
  }
  void BlendImage(const emf::Image& src, double sx, double sy, double sw, double sh,
                  emf::Point top_left, emf::Point top_right, emf::Point bottom_left,
                  int constant_alpha, bool use_source_alpha) override {
    inner_.BlendImage(src, sx, sy, sw, sh, top_left, top_right, bottom_left, constant_alpha,
                      use_source_alpha);
  }
  void FillWithRop3(const emf::Path& area, uint32_t rop3, const emf::Paint& pattern) override {
    inner_.FillWithRop3(area, rop3, pattern);
  }
  void FillGradientRect(emf::Point p0, emf::Point p1, emf::ColorRef c0, emf::ColorRef c1,
                        bool vertical) override {
    inner_.FillGradientRect(p0, p1, c0, c1, vertical);
  }
  void FillGradientTriangle(const emf::Point (&p)[3], const emf::ColorRef (&c)[3]) override {
    inner_.FillGradientTriangle(p, c);
  }
  void Text(const emf::TextDescription& text) override { inner_.Text(text); }
  bool TakesText() const override { return inner_.TakesText(); }
  void DrawGlyphs(cairo_font_face_t* face, const cairo_matrix_t& font_matrix,
                  const std::vector<cairo_glyph_t>& glyphs, emf::ColorRef color,
                  const emf::Path* clip_box, emf::GlyphStyle style) override {
    inner_.DrawGlyphs(face, font_matrix, glyphs, color, clip_box, style);
  }
  emf::Path GlyphOutlines(cairo_font_face_t* face, const cairo_matrix_t& font_matrix,
                          const std::vector<cairo_glyph_t>& glyphs) override {
    return inner_.GlyphOutlines(face, font_matrix, glyphs);
  }
  void SetPixel(int x, int y, emf::ColorRef color) override { inner_.SetPixel(x, y, color); }
  void FillSmooth(const emf::Path& path, emf::FillRule rule, uint32_t argb,
                  bool antialias) override {
    inner_.FillSmooth(path, rule, argb, antialias);
  }
  void StrokeSmooth(const emf::Path& path, const emf::Transform& to_device,
                    const emf::SmoothStroke& style, uint32_t argb, bool antialias) override {
    inner_.StrokeSmooth(path, to_device, style, argb, antialias);
  }
  void FillPattern(const emf::Path& path, emf::FillRule rule, const emf::SmoothPaint& paint,
                   bool antialias) override {
    inner_.FillPattern(path, rule, paint, antialias);
  }
  std::string Failure() const override { return inner_.Failure(); }
  void Fail(const std::string& why) override { inner_.Fail(why); }

 private:
  emf::DrawingTarget& inner_;
  emf::Region region_;
};

}  // namespace emfplus
