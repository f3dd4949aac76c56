// The canvas's text: runs of glyphs drawn by cairo, or as GDI draws them, each glyph's bitmap at
// its whole-pixel origin, smoothed glyphs mixed with the page in linear light.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "emf/canvas/canvas.h"
#include "emf/text/glyph_raster.h"

namespace emf {

void Canvas::DrawGlyphs(cairo_font_face_t* face, const cairo_matrix_t& font_matrix,
                        const std::vector<cairo_glyph_t>& glyphs, ColorRef color,
                        const Path* clip_box, GlyphStyle style) {
  if (glyphs.empty()) {
    return;
  }
  style.shape.smooth = style.shape.smooth && smooth_text_;
  if (style.typeface != nullptr &&
      DrawGlyphBitmaps(*style.typeface, style.shape, glyphs, color, clip_box)) {
    return;
  }
  ApplyClip(cr_);
  cairo_save(cr_);
  if (clip_box != nullptr) {
    BuildPath(cr_, *clip_box);
    cairo_clip(cr_);
  }
  SetSourceColor(cr_, color);
  cairo_set_font_face(cr_, face);
  cairo_set_font_matrix(cr_, &font_matrix);
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_antialias(
      options, style.shape.smooth ? CAIRO_ANTIALIAS_GRAY : CAIRO_ANTIALIAS_NONE);
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  cairo_set_font_options(cr_, options);
  cairo_font_options_destroy(options);
  cairo_show_glyphs(cr_, glyphs.data(), static_cast<int>(glyphs.size()));
  cairo_restore(cr_);
}

// GDI puts each glyph's bitmap at its origin rounded to whole pixels; the run's bitmaps are
// gathered in one mask and painted through the clip with the current source.
namespace {

// GDI blends smoothed text in linear light: each channel goes from the page's gamma to light,
// is mixed by the glyph's grey level, and goes back (black text on white comes out lighter
// than a plain mix). Gamma 2.31 gives the reference renderer's levels exactly.
struct TextGamma {
  static constexpr int kLightSteps = 4096;
  std::array<uint16_t, 256> to_light{};
  std::array<uint8_t, kLightSteps + 1> from_light{};
  TextGamma() {
    constexpr double kGamma = 2.31;
    for (int v = 0; v < 256; ++v) {
      to_light[v] = static_cast<uint16_t>(std::lround(std::pow(v / 255.0, kGamma) * kLightSteps));
    }
    for (int l = 0; l <= kLightSteps; ++l) {
      from_light[l] =
          static_cast<uint8_t>(std::lround(std::pow(l / double{kLightSteps}, 1 / kGamma) * 255));
    }
  }
  // The channel under text of this channel at grey level (0 to 16).
  uint8_t Mix(uint8_t under, uint8_t text, int level) const {
    const int light = (to_light[under] * (16 - level) + to_light[text] * level + 8) / 16;
    return from_light[light];
  }
};

const TextGamma& Gamma() {
  static const TextGamma gamma;
  return gamma;
}

// The pixels one text colour makes over one colour under it at each grey level, worked out
// as they are first asked for: text is mostly one colour over one background, so most pixels
// cost a look-up instead of three trips through linear light.
class TextBlend {
 public:
  explicit TextBlend(ColorRef color)
      : gamma_(Gamma()),
        red_(static_cast<uint8_t>(color)),
        green_(static_cast<uint8_t>(color >> 8)),
        blue_(static_cast<uint8_t>(color >> 16)) {}
  // The opaque pixel of the text at level (1 to 16) over under (0x00RRGGBB).
  uint32_t Over(uint32_t under, int level) {
    under &= 0xFFFFFF;
    if (under != under_) {
      under_ = under;
      known_ = 0;
    }
    if ((known_ >> level & 1) == 0) {
      known_ |= 1u << level;
      pixels_[level] = 0xFF000000u |
                       uint32_t{gamma_.Mix(static_cast<uint8_t>(under >> 16), red_, level)} << 16 |
                       uint32_t{gamma_.Mix(static_cast<uint8_t>(under >> 8), green_, level)} << 8 |
                       gamma_.Mix(static_cast<uint8_t>(under), blue_, level);
    }
    return pixels_[level];
  }

 private:
  const TextGamma& gamma_;
  uint8_t red_, green_, blue_;
  uint32_t under_ = 0;
  uint32_t known_ = 0;  // bit n: pixels_[n] holds the pixel over under_
  std::array<uint32_t, 17> pixels_{};
};

}  // namespace

// Smoothed glyphs are mixed with what is under them in linear light, into a patch that
// cairo then paints through the clip (fully covered and untouched pixels stay exact).
void Canvas::BlendGlyphMask(const uint8_t* coverage, int stride, int64_t x0, int64_t y0, int width,
                            int height, ColorRef color) {
  const Surface patch(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
  if (!Check(cairo_surface_status(patch.get()), "text")) {
    return;
  }
  cairo_surface_flush(surface_);
  TextBlend blend(color);
  uint8_t* bits = cairo_image_surface_get_data(patch.get());
  const int patch_stride = cairo_image_surface_get_stride(patch.get());
  for (int y = 0; y < height; ++y) {
    const uint8_t* cover = coverage + static_cast<ptrdiff_t>(y) * stride;
    auto* out = reinterpret_cast<uint32_t*>(bits + static_cast<ptrdiff_t>(y) * patch_stride);
    const uint32_t* under = PixelAt(static_cast<int>(x0), static_cast<int>(y0 + y));
    for (int x = 0; x < width; ++x) {
      // Glyph coverage comes in GDI's 17 levels: 16 steps of 16, and 255 for whole.
      const int c = cover[x] == 255 ? 16 : cover[x] / 16;
      if (c == 0) {
        out[x] = 0;
        continue;
      }
      out[x] = blend.Over(under[x], c);
    }
  }
  cairo_surface_mark_dirty(patch.get());
  cairo_set_source_surface(cr_, patch.get(), static_cast<double>(x0), static_cast<double>(y0));
  cairo_paint(cr_);
}

namespace {

// Whether the clip box (device pixels) holds every pixel of [x0, x1) x [y0, y1), so that it
// cuts none of them. Only an upright rectangle is looked at; any other shape says no.
bool BoxHolds(const Path& box, int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
  std::array<Point, 4> corner;
  if (!FourCorners(box, corner) || !Upright(corner)) {
    return false;
  }
  Point low, high;
  return box.Bounds(low, high) && low.x <= static_cast<double>(x0) &&
         static_cast<double>(x1) <= high.x && low.y <= static_cast<double>(y0) &&
         static_cast<double>(y1) <= high.y;
}

}  // namespace

// The run's pixels written straight into the canvas, where no clip cuts them: smoothed
// glyphs mixed in linear light, plain ones in the text colour.
void Canvas::WriteGlyphMask(const uint8_t* coverage, int stride, int64_t x0, int64_t y0, int width,
                            int height, ColorRef color, bool smooth) {
  cairo_surface_flush(surface_);
  TextBlend blend(color);
  // A whole pixel of smoothed text is the same over anything.
  const uint32_t ink = smooth ? blend.Over(0, 16) : Opaque(color);
  for (int y = 0; y < height; ++y) {
    const uint8_t* cover = coverage + static_cast<ptrdiff_t>(y) * stride;
    uint32_t* row = PixelAt(static_cast<int>(x0), static_cast<int>(y0 + y));
    // Most of a run's box is blank between and around its glyphs: it is passed eight
    // pixels at a time.
    for (int start = 0; start < width; start += 8) {
      const int end = std::min(width, start + 8);
      if (uint64_t eight = 0;
          end - start == 8 && (std::memcpy(&eight, cover + start, 8), eight == 0)) {
        continue;
      }
      for (int x = start; x < end; ++x) {
        if (cover[x] == 0) {
          continue;
        }
        if (!smooth || cover[x] == 255) {
          row[x] = ink;
          continue;
        }
        // Glyph coverage comes in GDI's 17 levels: 16 steps of 16 below whole.
        if (const int level = cover[x] / 16; level != 0) {
          row[x] = blend.Over(row[x], level);
        }
      }
    }
  }
  cairo_surface_mark_dirty(surface_);
}

// The mask a run of text is gathered in, cleared: one surface serves every run, made anew
// only for a run it is too small for. Without it the run's text would be missing: the page
// fails by name instead.
bool Canvas::GlyphMask(int width, int height, uint8_t*& bits, int& stride) {
  int kept_width = glyph_mask_ ? cairo_image_surface_get_width(glyph_mask_.get()) : 0;
  int kept_height = glyph_mask_ ? cairo_image_surface_get_height(glyph_mask_.get()) : 0;
  if (width > kept_width || height > kept_height) {
    // Grown to hold both the old runs and this one, unless that is much more than this one
    // needs (a wide run of text after a tall one).
    constexpr int64_t kSmallMask = int64_t{1} << 22;
    const bool grow =
        int64_t{std::max(width, kept_width)} * std::max(height, kept_height) <= kSmallMask;
    kept_width = grow ? std::max(width, kept_width) : width;
    kept_height = grow ? std::max(height, kept_height) : height;
    glyph_mask_.reset();
    Surface made(cairo_image_surface_create(CAIRO_FORMAT_A8, kept_width, kept_height));
    if (!Check(cairo_surface_status(made.get()), "text")) {
      return false;
    }
    glyph_mask_ = std::move(made);
  }
  cairo_surface_flush(glyph_mask_.get());
  bits = cairo_image_surface_get_data(glyph_mask_.get());
  stride = cairo_image_surface_get_stride(glyph_mask_.get());
  for (int y = 0; y < height; ++y) {
    std::memset(bits + static_cast<ptrdiff_t>(y) * stride, 0, static_cast<size_t>(width));
  }
  return true;
}

bool Canvas::DrawGlyphBitmaps(const Typeface& typeface, const GlyphShape& shape,
                              const std::vector<cairo_glyph_t>& glyphs, ColorRef color,
                              const Path* clip_box) {
  struct Placed {
    const GlyphBitmap* bitmap;  // held by run_bitmaps_
    int64_t x, y;
  };
  if (!typeface.HasFreeTypeFace() || shape.ppem <= 0) {
    return false;
  }
  // Glyphs larger than this many pixels an em are filled by cairo as outlines: a bitmap of
  // their whole would be made even where the canvas shows none of it, and hinting, which
  // bitmaps are for, does not matter at such sizes.
  constexpr double kLargestBitmapEm = 1024;
  const double across = std::fabs(shape.xx) + std::fabs(shape.xy);
  const double down = std::fabs(shape.yx) + std::fabs(shape.yy);
  if (shape.ppem * std::max(across, down) > kLargestBitmapEm) {
    return false;
  }
  // A glyph whose origin lies further from the canvas than any of the face's ink reaches
  // (emboldened, and slanted) is not made at all: a long run of large glyphs mostly off the
  // canvas would otherwise cost a bitmap each.
  const double reach =
      (typeface.reach * shape.ppem + shape.ppem / 24.0 + 2) * (std::max(across, down) + 1);
  auto near = [&](const cairo_glyph_t& g) {
    return g.x > band_.left - reach && g.x < band_.right + reach && g.y > band_.top - reach &&
           g.y < band_.bottom + reach;
  };
  run_glyphs_.clear();
  for (const cairo_glyph_t& g : glyphs) {
    if (near(g)) {
      run_glyphs_.push_back(static_cast<uint32_t>(g.index));
    }
  }
  RasterizeGlyphs(typeface, shape, run_glyphs_, run_bitmaps_);
  std::vector<Placed> placed;
  placed.reserve(run_glyphs_.size());
  int64_t x0 = INT64_MAX, y0 = INT64_MAX, x1 = INT64_MIN, y1 = INT64_MIN;
  size_t next = 0;
  for (const cairo_glyph_t& g : glyphs) {
    if (!near(g)) {
      continue;
    }
    const GlyphBitmap* bitmap = run_bitmaps_[next++].get();
    if (bitmap == nullptr) {
      continue;
    }
    const int64_t x = std::llround(g.x) + bitmap->left;
    const int64_t y = std::llround(g.y) + bitmap->top;
    // Only what lands on the canvas matters.
    if (x >= band_.right || y >= band_.bottom || x + bitmap->width <= band_.left ||
        y + bitmap->height <= band_.top) {
      continue;
    }
    x0 = std::min(x0, std::max<int64_t>(x, band_.left));
    y0 = std::min(y0, std::max<int64_t>(y, band_.top));
    x1 = std::max(x1, std::min<int64_t>(x + bitmap->width, band_.right));
    y1 = std::max(y1, std::min<int64_t>(y + bitmap->height, band_.bottom));
    placed.push_back({bitmap, x, y});
  }
  if (placed.empty()) {
    return true;
  }
  const int mask_width = static_cast<int>(x1 - x0);
  const int mask_height = static_cast<int>(y1 - y0);
  uint8_t* bits = nullptr;
  int stride = 0;
  if (!GlyphMask(mask_width, mask_height, bits, stride)) {
    return true;
  }
  for (const Placed& p : placed) {
    const GlyphBitmap& b = *p.bitmap;
    for (int row = 0; row < b.height; ++row) {
      const int64_t y = p.y + row;
      if (y < y0 || y >= y1) {
        continue;
      }
      const int64_t from = std::max<int64_t>(0, x0 - p.x);
      const int64_t to = std::min<int64_t>(b.width, x1 - p.x);
      uint8_t* dst = bits + (y - y0) * stride + (p.x + from - x0);
      const uint8_t* src = b.coverage.data() + static_cast<size_t>(row) * b.width + from;
      for (int64_t col = 0; col < to - from; ++col) {
        dst[col] = std::max(dst[col], src[col]);
      }
    }
  }
  // A run that no clip cuts is written straight; one that a clip may cut goes through
  // cairo, which clips it.
  cairo_rectangle_int_t area{static_cast<int>(x0), static_cast<int>(y0), mask_width, mask_height};
  const cairo_region_overlap_t in_clip =
      clip_ ? cairo_region_contains_rectangle(clip_.get(), &area) : CAIRO_REGION_OVERLAP_IN;
  if (in_clip == CAIRO_REGION_OVERLAP_OUT) {
    return true;
  }
  if (in_clip == CAIRO_REGION_OVERLAP_IN &&
      (clip_box == nullptr || BoxHolds(*clip_box, x0, y0, x1, y1))) {
    WriteGlyphMask(bits, stride, x0, y0, mask_width, mask_height, color, shape.smooth);
    return true;
  }
  ApplyClip(cr_);
  cairo_save(cr_);
  if (clip_box != nullptr) {
    BuildPath(cr_, *clip_box);
    cairo_clip(cr_);
  }
  if (shape.smooth) {
    BlendGlyphMask(bits, stride, x0, y0, mask_width, mask_height, color);
  } else {
    const Surface mask(cairo_image_surface_create_for_data(bits, CAIRO_FORMAT_A8, mask_width,
                                                           mask_height, stride));
    if (Check(cairo_surface_status(mask.get()), "text")) {
      SetSourceColor(cr_, color);
      cairo_mask_surface(cr_, mask.get(), static_cast<double>(x0), static_cast<double>(y0));
    }
  }
  cairo_restore(cr_);
  return true;
}

Path Canvas::GlyphOutlines(cairo_font_face_t* face, const cairo_matrix_t& font_matrix,
                           const std::vector<cairo_glyph_t>& glyphs) {
  return OutlinesOfGlyphs(face, font_matrix, glyphs);
}

}  // namespace emf
