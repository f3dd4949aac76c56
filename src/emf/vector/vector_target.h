// The vector back end: what the player draws becomes paths, fills, images and text on a cairo
// context of a PDF or SVG surface, in device units of 96 to the inch. Text keeps its
// characters (runs drawn by glyph index are mapped back through the face's character map),
// so that a reader can find and copy it; colours may be turned grey or black and white. What
// a vector page cannot say (raster operations that read the page, such as XOR) is drawn as an
// image of just that part, from a copy of the page drawn in pixels alongside.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "emf/canvas/canvas.h"
#include "emf/canvas/drawing_target.h"

namespace emf {

enum class ColourRule {
  kColour,
  kGrey,           // (r + g + b) / 3 in every channel
  kBlackAndWhite,  // white where the brightness is above 128, else black
};

// A run's characters at the places its glyphs were drawn, for formats whose drawn glyphs
// carry no text (SVG): the document then holds the text as well, unseen, over the glyphs.
struct PlacedText {
  std::u32string characters;
  std::vector<Point> origins;  // one a character, device units
  double em = 0;               // device units
  double angle = 0;            // degrees, clockwise (the page's y axis runs down)
};

// The colour as the rule has it.
ColorRef ApplyColourRule(ColorRef color, ColourRule rule);

// Whether cairo takes the character in the text a page carries: it fails the whole page
// ("input string not valid UTF-8") on surrogates, noncharacters (U+FDD0 to U+FDEF, U+xFFFE
// and U+xFFFF of every plane) and code points past U+10FFFF.
bool CairoTakes(char32_t c);
// The UTF-8 text with each byte sequence that is no character, and each character cairo
// refuses, as U+FFFD: a page is never lost for its text.
std::string CarriedText(std::string_view utf8);

class VectorTarget : public DrawingTarget {
 public:
  // Draws on cr, whose user space the caller has set to device units, over a page of width x
  // height units.
  VectorTarget(cairo_t* cr, int width, int height, ColourRule rule);

  int width() const override { return width_; }
  int height() const override { return height_; }
  void SetClip(const cairo_region_t* region) override;
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
  std::string Failure() const override;

  // Keeps every run's characters in *runs as well, when runs is not null.
  void KeepText(std::vector<PlacedText>* runs) { kept_text_ = runs; }

 private:
  void SetColour(ColorRef color);
  // The paint as cairo's source; false when it paints nothing.
  bool SetPaint(const Paint& paint);
  // What a raster operation on a white page comes to: the pen's colour, black, white, or
  // nothing; false for nothing.
  bool PenForRop2(int rop2, ColorRef& color) const;
  Image RuledImage(const Image& src) const;
  // Puts the shadow page's pixels of the box [low, high] on the page, as an image: how an
  // operation that reads the page (XOR, NOT, ...) is drawn exactly.
  void PaintFromShadow(Point low, Point high);
  bool HasShadow() const { return shadow_ != nullptr; }
  // The character of each glyph (0 for none): the pending text's next ones, else those the
  // face maps to the glyphs.
  std::u32string CharactersOf(const std::vector<cairo_glyph_t>& glyphs, const Typeface* face);

  cairo_t* cr_;
  int width_;
  int height_;
  ColourRule rule_;
  std::u16string pending_;  // the text of the run being drawn, if it came as characters
  size_t pending_at_ = 0;
  std::vector<PlacedText>* kept_text_ = nullptr;
  int approximated_ = 0;  // raster operations drawn as the nearest plain paint
  // The page drawn in pixels as well, for operations that read what is under them; only for
  // pages of at most kMaxShadowPixels.
  std::vector<uint32_t> shadow_pixels_;
  std::unique_ptr<Canvas> shadow_;
};

inline constexpr int64_t kMaxShadowPixels = int64_t{1} << 24;

}  // namespace emf
