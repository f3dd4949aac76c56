// Glyph bitmaps as GDI makes them: the outline hinted at a whole pixel size, then shaped by
// a 2x2 matrix (a width, a turn, the world transform), then rasterised in plain pixels or
// in grey. Bitmaps are cached for the whole run; threads render glyphs at once (the cache's
// lock is never held while one is made).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "emf/records/geometry.h"
#include "emf/text/font.h"

namespace emf {

struct GlyphBitmap {
  int left = 0;  // from the glyph's origin to the bitmap's top-left pixel, y down
  int top = 0;
  int width = 0;
  int height = 0;
  std::vector<uint8_t> coverage;  // width * height, 0..255
};

struct GlyphShape {
  int ppem = 0;                           // the size the outline is hinted at
  double width = 0;                       // the width it is hinted at, in pixels per em (0: ppem)
  double xx = 1, xy = 0, yx = 0, yy = 1;  // applied after hinting; device space, y down
  bool smooth = true;
};

// The bitmap of one glyph; null when it leaves no ink or the face cannot draw it.
std::shared_ptr<const GlyphBitmap> RasterizeGlyph(const Typeface& typeface, const GlyphShape& shape,
                                                  uint32_t glyph);
// The bitmaps of a run's glyphs of one face and shape, in order (null for one that leaves no
// ink): the shape is worked out, and the cache looked in, once for them all.
void RasterizeGlyphs(const Typeface& typeface, const GlyphShape& shape,
                     std::span<const uint32_t> glyphs,
                     std::vector<std::shared_ptr<const GlyphBitmap>>& bitmaps);
// Each glyph's advance as the hinting of the shape's size gives it, for plain pixels (which
// moves the advances) or for grey, in pixels along the baseline before the shape's matrix (the
// hinting does not depend on it), with simulated bold's extra pixel; false when the face
// cannot say for every glyph. Nothing is rendered; advances are cached.
bool HintedAdvances(const Typeface& typeface, const GlyphShape& shape, bool smooth,
                    std::span<const uint32_t> glyphs, std::vector<double>& advances);
// Empties the cache, so that the next glyphs are rendered afresh (tests and benchmarks).
void ForgetGlyphBitmaps();

// Glyph outlines of a face at a matrix, in the matrix's units: text inside a path bracket,
// and text that a target draws as shapes (the WMF writer).
Path OutlinesOfGlyphs(cairo_font_face_t* face, const cairo_matrix_t& font_matrix,
                      const std::vector<cairo_glyph_t>& glyphs);

}  // namespace emf
