#include "emf/vector/vector_target.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <unordered_map>

#include "base/text_util.h"
#include "emf/canvas/raster_ops.h"
#include "emf/text/glyph_raster.h"

namespace emf {
namespace {

// How a raster operation of GDI is drawn on a page that keeps no pixels: as one of PDF's blend
// modes where that gives the same result for black and white (AND is Multiply, OR is Lighten,
// XOR is Difference), with the colour inverted where the operation inverts it.
struct Blend {
  bool draws = true;
  cairo_operator_t op = CAIRO_OPERATOR_OVER;
  bool invert = false;  // the pen or source inverted first
  bool exact = true;    // false: the nearest plain paint stands in for it
};

// The raster operations a vector page carries, by their binary code and, where they have
// one, their ternary code with a source (its high word); -1 where there is none.
struct RopBlend {
  int rop2;
  int rop3;
  Blend blend;
};
constexpr RopBlend kRopBlends[] = {
    {13, 0xCC, {}},                                    // R2_COPYPEN, SRCCOPY
    {11, 0xAA, {false}},                               // R2_NOP, the page as it is
    {4, 0x33, {true, CAIRO_OPERATOR_OVER, true}},      // R2_NOTCOPYPEN, NOTSRCCOPY
    {9, 0x88, {true, CAIRO_OPERATOR_MULTIPLY}},        // R2_MASKPEN, SRCAND
    {15, 0xEE, {true, CAIRO_OPERATOR_LIGHTEN}},        // R2_MERGEPEN, SRCPAINT
    {7, 0x66, {true, CAIRO_OPERATOR_DIFFERENCE}},      // R2_XORPEN, SRCINVERT
    {6, -1, {true, CAIRO_OPERATOR_DIFFERENCE, true}},  // R2_NOT: white XOR the page
};
// Any other: the nearest plain paint stands in for it.
constexpr Blend kInexactBlend{true, CAIRO_OPERATOR_OVER, false, false};

Blend BlendOfRop2(int rop2) {
  for (const RopBlend& entry : kRopBlends) {
    if (entry.rop2 == rop2) {
      return entry.blend;
    }
  }
  return kInexactBlend;
}

// GDI draws at whole device pixels: the points put there, so that edges and lines fall on the
// pixels of the 96-dpi page as GDI's do, and a reader at that density shows them crisp.
Path OnPixels(const Path& path) {
  Path out = path;
  for (PathSegment& s : out.segments) {
    for (Point& p : s.p) {
      p = Point{std::round(p.x), std::round(p.y)};
    }
  }
  return out;
}

// Whether a binary raster operation reads the page under it: those are drawn from the shadow.
bool ReadsThePage(int rop2) {
  return rop2 != 13 && rop2 != 11 && rop2 != 1 && rop2 != 16 && rop2 != 4;
}

Blend BlendOfRop3(uint32_t rop3) {
  for (const RopBlend& entry : kRopBlends) {
    if (entry.rop3 == static_cast<int>(rop3 >> 16)) {
      return entry.blend;
    }
  }
  return kInexactBlend;
}

// A surface of cairo's own holding the image's pixels: the page is written out later, when
// the image is gone.
Surface OwnedSurface(const Image& image, cairo_format_t format) {
  Surface surface(cairo_image_surface_create(format, image.width, image.height));
  cairo_surface_flush(surface.get());
  unsigned char* data = cairo_image_surface_get_data(surface.get());
  const int stride = cairo_image_surface_get_stride(surface.get());
  for (int y = 0; data != nullptr && y < image.height; ++y) {
    std::copy_n(image.pixels.data() + static_cast<size_t>(y) * image.width, image.width,
                reinterpret_cast<uint32_t*>(data + static_cast<ptrdiff_t>(y) * stride));
  }
  cairo_surface_mark_dirty(surface.get());
  return surface;
}

// The lowest character of each glyph, from the face's character map, made once a face for
// the process. FreeType walks a character map with state kept in the face, so the walk is
// on a face borrowed for it, and the map is made once: pages may be drawn on several threads.
const std::unordered_map<uint32_t, char32_t>& CharactersOfGlyphs(const Typeface& face) {
  static std::mutex mutex;
  static std::map<const Typeface*, std::unordered_map<uint32_t, char32_t>> by_face;
  const std::lock_guard lock(mutex);
  auto [found, fresh] = by_face.try_emplace(&face);
  const Typeface::Borrowed borrowed = fresh ? face.Borrow() : Typeface::Borrowed();
  if (borrowed) {
    FT_UInt glyph = 0;
    for (FT_ULong code = FT_Get_First_Char(borrowed.get(), &glyph); glyph != 0;
         code = FT_Get_Next_Char(borrowed.get(), code, &glyph)) {
      // A symbol face maps its characters at 0xF000 and up; text takes them from 0.
      const char32_t c = code >= 0xF020 && code <= 0xF0FF ? code - 0xF000 : code;
      found->second.try_emplace(glyph, c);
    }
  }
  return found->second;
}

}  // namespace

ColorRef ApplyColourRule(ColorRef color, ColourRule rule) {
  const uint32_t r = color & 0xFF;
  const uint32_t g = (color >> 8) & 0xFF;
  const uint32_t b = (color >> 16) & 0xFF;
  switch (rule) {
    case ColourRule::kColour:
      return color & 0xFFFFFF;
    case ColourRule::kGrey: {
      const uint32_t v = (r + g + b) / 3;
      return v | v << 8 | v << 16;
    }
    case ColourRule::kBlackAndWhite:
      return 0.299 * r + 0.587 * g + 0.114 * b > 128 ? 0xFFFFFF : 0;
  }
  return color;
}

bool CairoTakes(char32_t c) {
  return c < 0x110000 && (c < 0xD800 || c > 0xDFFF) && (c < 0xFDD0 || c > 0xFDEF) &&
         (c & 0xFFFE) != 0xFFFE;
}

std::string CarriedText(std::string_view utf8) {
  constexpr char32_t kReplacement = 0xFFFD;
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<uint8_t>(utf8[i]);
    const size_t length = lead < 0x80                   ? 1
                          : lead >= 0xC2 && lead < 0xE0 ? 2
                          : lead >= 0xE0 && lead < 0xF0 ? 3
                          : lead >= 0xF0 && lead < 0xF5 ? 4
                                                        : 0;
    char32_t c = length == 1   ? lead
                 : length == 2 ? lead & 0x1F
                 : length == 3 ? lead & 0x0F
                               : lead & 0x07;
    size_t k = 1;
    for (; k < length && i + k < utf8.size(); ++k) {
      const auto next = static_cast<uint8_t>(utf8[i + k]);
      if ((next & 0xC0) != 0x80) {
        break;
      }
      c = c << 6 | (next & 0x3F);
    }
    // Too short, overlong (a shorter form exists) or no character: one U+FFFD for the bytes
    // read so far.
    const bool whole = length != 0 && k == length;
    const bool shortest =
        length <= 1 || (length == 3 && c >= 0x800) || (length == 4 && c >= 0x10000) || length == 2;
    AppendUtf8(out, whole && shortest && CairoTakes(c) ? c : kReplacement);
    i += std::max<size_t>(k, 1);
  }
  return out;
}

VectorTarget::VectorTarget(cairo_t* cr, int width, int height, ColourRule rule)
    : cr_(cr), width_(width), height_(height), rule_(rule) {
  if (int64_t{width} * height <= kMaxShadowPixels) {
    shadow_pixels_.assign(static_cast<size_t>(width) * height, 0xFFFFFF);
    shadow_ = std::make_unique<Canvas>(shadow_pixels_.data(), width, height, width * 4);
  }
}

void VectorTarget::PaintFromShadow(Point low, Point high) {
  // Clamped as doubles: a damaged page's shapes may reach far past any int.
  const auto within = [](double v, int limit) {
    return static_cast<int>(std::clamp(v, 0.0, static_cast<double>(limit)));
  };
  const int left = within(std::floor(low.x) - 1, width_);
  const int top = within(std::floor(low.y) - 1, height_);
  const int right = within(std::ceil(high.x) + 1, width_);
  const int bottom = within(std::ceil(high.y) + 1, height_);
  if (right <= left || bottom <= top) {
    return;
  }
  Image part;
  part.width = right - left;
  part.height = bottom - top;
  part.pixels.resize(static_cast<size_t>(part.width) * part.height);
  for (int y = 0; y < part.height; ++y) {
    std::copy_n(shadow_pixels_.data() + static_cast<size_t>(top + y) * width_ + left, part.width,
                part.pixels.data() + static_cast<size_t>(y) * part.width);
  }
  const Surface surface = OwnedSurface(RuledImage(part), CAIRO_FORMAT_RGB24);
  cairo_save(cr_);
  cairo_new_path(cr_);
  cairo_rectangle(cr_, left, top, part.width, part.height);
  cairo_clip(cr_);
  cairo_set_source_surface(cr_, surface.get(), left, top);
  cairo_pattern_set_filter(cairo_get_source(cr_), CAIRO_FILTER_NEAREST);
  cairo_paint(cr_);
  cairo_restore(cr_);
}

void VectorTarget::SetColour(ColorRef color) {
  SetSourceColor(cr_, ApplyColourRule(color, rule_));
}

void VectorTarget::SetClip(const cairo_region_t* region) {
  if (shadow_) {
    shadow_->SetClip(region);
  }
  cairo_reset_clip(cr_);
  if (region == nullptr) {
    return;
  }
  cairo_new_path(cr_);
  for (int i = 0, count = cairo_region_num_rectangles(region); i < count; ++i) {
    cairo_rectangle_int_t r;
    cairo_region_get_rectangle(region, i, &r);
    cairo_rectangle(cr_, r.x, r.y, r.width, r.height);
  }
  cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_WINDING);
  cairo_clip(cr_);
}

Image VectorTarget::RuledImage(const Image& src) const {
  Image out = src;
  if (rule_ != ColourRule::kColour) {
    for (uint32_t& p : out.pixels) {
      // Pixels are 0xAARRGGBB; the rule takes 0x00BBGGRR.
      const ColorRef c = ((p >> 16) & 0xFF) | (p & 0xFF00) | ((p & 0xFF) << 16);
      const ColorRef ruled = ApplyColourRule(c, rule_);
      p = (p & 0xFF000000u) | ((ruled & 0xFF) << 16) | (ruled & 0xFF00) | ((ruled >> 16) & 0xFF);
    }
  }
  return out;
}

bool VectorTarget::SetPaint(const Paint& paint) {
  const Brush& brush = paint.brush;
  if (brush.style == Brush::kNull) {
    return false;
  }
  if (brush.style == Brush::kSolid) {
    SetColour(brush.color);
    return true;
  }
  Image tile;
  if (!BrushTile(paint, tile)) {
    SetColour(0);
    return true;
  }
  tile = RuledImage(tile);
  const Surface surface =
      OwnedSurface(tile, tile.has_alpha ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24);
  const Pattern pattern(cairo_pattern_create_for_surface(surface.get()));
  cairo_pattern_set_extend(pattern.get(), CAIRO_EXTEND_REPEAT);
  cairo_pattern_set_filter(pattern.get(), CAIRO_FILTER_NEAREST);
  cairo_matrix_t offset;
  cairo_matrix_init_translate(&offset, -paint.origin.x, -paint.origin.y);
  cairo_pattern_set_matrix(pattern.get(), &offset);
  cairo_set_source(cr_, pattern.get());
  return true;
}

void VectorTarget::FillPath(const Path& path, FillRule rule, const Paint& paint, int rop2) {
  if (shadow_) {
    shadow_->FillPath(path, rule, paint, rop2);
  }
  const Blend blend = BlendOfRop2(rop2);
  if (!blend.draws || path.Empty()) {
    return;
  }
  Point low;
  Point high;
  if (shadow_ && ReadsThePage(rop2) && path.Bounds(low, high)) {
    PaintFromShadow(low, high);
    return;
  }
  approximated_ += blend.exact ? 0 : 1;
  Paint ruled = paint;
  if (rop2 == 1 || rop2 == 16) {  // R2_BLACK, R2_WHITE
    ruled.brush = Brush{Brush::kSolid, rop2 == 1 ? 0u : 0xFFFFFFu, 0, nullptr, false};
  } else if (blend.invert) {
    ruled.brush.style = Brush::kSolid;
    ruled.brush.color = rop2 == 6 ? 0xFFFFFF : ~paint.brush.color & 0xFFFFFF;
  }
  BuildPath(cr_, OnPixels(path));
  if (!SetPaint(ruled)) {
    cairo_new_path(cr_);
    return;
  }
  cairo_set_fill_rule(
      cr_, rule == FillRule::kAlternate ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
  cairo_set_operator(cr_, blend.op);
  cairo_fill(cr_);
  cairo_set_operator(cr_, CAIRO_OPERATOR_OVER);
}

void VectorTarget::StrokePath(const Path& path, const StrokeStyle& style, int rop2) {
  if (shadow_) {
    shadow_->StrokePath(path, style, rop2);
  }
  const Blend blend = BlendOfRop2(rop2);
  if (!blend.draws || path.Empty()) {
    return;
  }
  Point low;
  Point high;
  if (shadow_ && ReadsThePage(rop2) && path.Bounds(low, high)) {
    const double reach = style.cosmetic ? 1 : style.width;
    PaintFromShadow({low.x - reach, low.y - reach}, {high.x + reach, high.y + reach});
    return;
  }
  approximated_ += blend.exact ? 0 : 1;
  ColorRef color = rop2 == 1 ? 0 : rop2 == 16 ? 0xFFFFFF : style.color;
  if (blend.invert) {
    color = rop2 == 6 ? 0xFFFFFF : ~color & 0xFFFFFF;
  }
  // GDI draws a line of whole pixels through the pixels at its points: at the pixels'
  // centres, half a unit in from the coordinates a fill's edges run along.
  cairo_save(cr_);
  const double width = style.cosmetic ? 1.0 : std::max(style.width, 1.0);
  if (std::fmod(std::round(width), 2.0) == 1.0) {
    cairo_translate(cr_, 0.5, 0.5);
  }
  // A cosmetic pen is one pixel of the 96-dpi page whatever the scale: 0.75 pt.
  cairo_set_line_width(cr_, width);
  cairo_set_line_cap(cr_, style.cap);
  cairo_set_line_join(cr_, style.join);
  cairo_set_miter_limit(cr_, style.miter_limit);
  cairo_set_operator(cr_, blend.op);
  const Path placed = style.cosmetic ? OnPixels(path) : path;
  if (!style.dashes.empty() && style.opaque_gaps) {
    BuildPath(cr_, placed);
    SetColour(style.background);
    cairo_set_dash(cr_, nullptr, 0, 0);
    cairo_stroke(cr_);
  }
  BuildPath(cr_, placed);
  if (!style.paint || blend.invert || rop2 == 1 || rop2 == 16 || !SetPaint(*style.paint)) {
    SetColour(color);
  }
  cairo_set_dash(cr_, style.dashes.data(), static_cast<int>(style.dashes.size()), 0);
  cairo_stroke(cr_);
  cairo_set_dash(cr_, nullptr, 0, 0);
  cairo_set_operator(cr_, CAIRO_OPERATOR_OVER);
  cairo_restore(cr_);
}

void VectorTarget::DrawImage(const Image& src, double sx, double sy, double sw, double sh, Point tl,
                             Point tr, Point bl, uint32_t rop3, const Paint* pattern, bool smooth) {
  if (src.width <= 0 || src.height <= 0 || sw == 0 || sh == 0) {
    return;
  }
  const uint32_t index = (rop3 >> 16) & 0xFF;
  if (index == 0x00 || index == 0xFF || index == 0xF0 || index == 0x55) {
    // Operations that need no source: blackness, whiteness, the pattern, the page inverted.
    Paint paint = pattern != nullptr ? *pattern : Paint{};
    FillWithRop3(Parallelogram(tl, tr, bl), rop3, paint);
    return;
  }
  if (shadow_) {
    shadow_->DrawImage(src, sx, sy, sw, sh, tl, tr, bl, rop3, pattern, smooth);
    Point low;
    Point high;
    const bool reads_page = index != 0xCC && index != 0xAA && index != 0x33;
    if (reads_page) {
      if (Parallelogram(tl, tr, bl).Bounds(low, high)) {
        PaintFromShadow(low, high);
      }
      return;
    }
  }
  const Blend blend = BlendOfRop3(rop3);
  if (!blend.draws) {
    return;
  }
  approximated_ += blend.exact ? 0 : 1;
  Image image = RuledImage(src);
  if (blend.invert) {
    for (uint32_t& p : image.pixels) {
      p ^= 0x00FFFFFF;
    }
  }
  const Surface surface = OwnedSurface(image, CAIRO_FORMAT_RGB24);
  const Pattern source = ImagePattern(surface.get(), sx, sy, sw, sh, tl, tr, bl, smooth);
  BuildPath(cr_, Parallelogram(tl, tr, bl));
  cairo_set_source(cr_, source.get());
  cairo_set_operator(cr_, blend.op);
  cairo_fill(cr_);
  cairo_set_operator(cr_, CAIRO_OPERATOR_OVER);
}

void VectorTarget::BlendImage(const Image& src, double sx, double sy, double sw, double sh,
                              Point tl, Point tr, Point bl, int constant_alpha,
                              bool use_source_alpha) {
  if (shadow_) {
    shadow_->BlendImage(src, sx, sy, sw, sh, tl, tr, bl, constant_alpha, use_source_alpha);
  }
  if (src.width <= 0 || src.height <= 0 || sw == 0 || sh == 0) {
    return;
  }
  const Surface surface =
      OwnedSurface(RuledImage(src), use_source_alpha ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24);
  BlendSurfaceOn(cr_, surface.get(), sx, sy, sw, sh, tl, tr, bl, constant_alpha);
}

void VectorTarget::FillWithRop3(const Path& area, uint32_t rop3, const Paint& pattern) {
  Paint paint;
  int rop2 = 0;
  if (SourcelessFill(rop3, pattern, paint, rop2)) {
    FillPath(area, FillRule::kWinding, paint, rop2);
  }
}

void VectorTarget::FillGradientRect(Point p0, Point p1, ColorRef c0, ColorRef c1, bool vertical) {
  if (shadow_) {
    shadow_->FillGradientRect(p0, p1, c0, c1, vertical);
  }
  FillGradientRectOn(cr_, p0, p1, ApplyColourRule(c0, rule_), ApplyColourRule(c1, rule_), vertical);
}

void VectorTarget::FillGradientTriangle(const Point (&p)[3], const ColorRef (&c)[3]) {
  if (shadow_) {
    shadow_->FillGradientTriangle(p, c);
  }
  const ColorRef ruled[3] = {ApplyColourRule(c[0], rule_), ApplyColourRule(c[1], rule_),
                             ApplyColourRule(c[2], rule_)};
  FillGradientTriangleOn(cr_, p, ruled);
}

void VectorTarget::Text(const TextDescription& text) {
  pending_ = text.text;
  pending_at_ = 0;
}

std::u32string VectorTarget::CharactersOf(const std::vector<cairo_glyph_t>& glyphs,
                                          const Typeface* face) {
  const std::unordered_map<uint32_t, char32_t>* by_glyph =
      pending_.empty() && face != nullptr && face->HasFreeTypeFace() ? &CharactersOfGlyphs(*face)
                                                                     : nullptr;
  std::u32string characters(glyphs.size(), 0);
  for (size_t i = 0; i < glyphs.size(); ++i) {
    if (pending_at_ < pending_.size()) {
      char32_t c = pending_[pending_at_++];
      // A surrogate pair makes one glyph.
      if (c >= 0xD800 && c < 0xDC00 && pending_at_ < pending_.size() &&
          pending_[pending_at_] >= 0xDC00 && pending_[pending_at_] < 0xE000) {
        c = 0x10000 + ((c - 0xD800) << 10) + (pending_[pending_at_++] - 0xDC00);
      }
      // Controls are no text to find; what cairo refuses would fail the page.
      characters[i] = c < 0x20 ? 0 : CairoTakes(c) ? c : 0xFFFD;
    } else if (by_glyph != nullptr) {
      const auto it = by_glyph->find(static_cast<uint32_t>(glyphs[i].index));
      const char32_t c = it != by_glyph->end() ? it->second : 0;
      characters[i] = c < 0x20 ? 0 : CairoTakes(c) ? c : 0xFFFD;
    }
  }
  return characters;
}

namespace {

// The characters as UTF-8 and the clusters that tie them to the glyphs.
std::string WordClusters(const std::u32string& characters,
                         std::vector<cairo_text_cluster_t>& clusters) {
  // A word is one cluster: GDI spaces its letters as the page's own face did, and a reader
  // that took the gaps a narrower substitute leaves for word breaks would split the word
  // ("H ello"). A cluster of several glyphs keeps its characters whole, as the document's
  // actual text.
  std::string utf8;
  clusters.clear();
  const auto in_word = [](char32_t c) { return c > 0x20 && c != 0xA0 && c != 0x3000; };
  for (size_t i = 0; i < characters.size();) {
    const size_t before = utf8.size();
    size_t end = i + 1;
    if (in_word(characters[i])) {
      while (end < characters.size() && in_word(characters[end])) {
        ++end;
      }
    }
    for (size_t k = i; k < end; ++k) {
      if (characters[k] != 0) {
        AppendUtf8(utf8, characters[k]);
      }
    }
    clusters.push_back({static_cast<int>(utf8.size() - before), static_cast<int>(end - i)});
    i = end;
  }
  return utf8;
}

}  // namespace

void VectorTarget::DrawGlyphs(cairo_font_face_t* face, const cairo_matrix_t& font_matrix,
                              const std::vector<cairo_glyph_t>& glyphs, ColorRef color,
                              const Path* clip_box, GlyphStyle style) {
  if (glyphs.empty()) {
    return;
  }
  if (shadow_) {
    shadow_->DrawGlyphs(face, font_matrix, glyphs, color, clip_box, style);
  }
  cairo_save(cr_);
  if (clip_box != nullptr) {
    BuildPath(cr_, *clip_box);
    cairo_clip(cr_);
  }
  SetColour(color);
  cairo_set_font_face(cr_, face);
  cairo_set_font_matrix(cr_, &font_matrix);
  const FontOptions options(cairo_font_options_create());
  cairo_font_options_set_hint_metrics(options.get(), CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_hint_style(options.get(), CAIRO_HINT_STYLE_NONE);
  cairo_set_font_options(cr_, options.get());
  const std::u32string characters = CharactersOf(glyphs, style.typeface);
  if (kept_text_ != nullptr) {
    PlacedText placed;
    placed.em = std::hypot(font_matrix.xy, font_matrix.yy);
    placed.angle = std::atan2(font_matrix.yx, font_matrix.xx) * 180 / M_PI;
    for (size_t i = 0; i < characters.size(); ++i) {
      if (characters[i] != 0) {
        placed.characters.push_back(characters[i]);
        placed.origins.push_back({glyphs[i].x, glyphs[i].y});
      }
    }
    if (!placed.characters.empty()) {
      kept_text_->push_back(std::move(placed));
    }
  }
  std::vector<cairo_text_cluster_t> clusters;
  const std::string utf8 = WordClusters(characters, clusters);
  if (utf8.empty()) {
    cairo_show_glyphs(cr_, glyphs.data(), static_cast<int>(glyphs.size()));
  } else {
    cairo_show_text_glyphs(cr_, utf8.data(), static_cast<int>(utf8.size()), glyphs.data(),
                           static_cast<int>(glyphs.size()), clusters.data(),
                           static_cast<int>(clusters.size()), cairo_text_cluster_flags_t{});
  }
  cairo_restore(cr_);
}

Path VectorTarget::GlyphOutlines(cairo_font_face_t* face, const cairo_matrix_t& font_matrix,
                                 const std::vector<cairo_glyph_t>& glyphs) {
  return OutlinesOfGlyphs(face, font_matrix, glyphs);
}

void VectorTarget::SetPixel(int x, int y, ColorRef color) {
  if (shadow_) {
    shadow_->SetPixel(x, y, color);
  }
  cairo_new_path(cr_);
  cairo_rectangle(cr_, x, y, 1, 1);
  SetColour(color);
  cairo_fill(cr_);
}

namespace {

// The colour's red, green and blue as the rule has them; its alpha kept.
uint32_t RuledArgb(uint32_t argb, ColourRule rule) {
  const ColorRef ruled = ApplyColourRule(ToColorRef(argb & 0xFFFFFF), rule);
  return (argb & 0xFF000000) | ToRgb24(ruled);
}

// Grey or black and white: every colour of the paint as the rule has it.
SmoothPaint RuledPaint(const SmoothPaint& paint, ColourRule rule) {
  SmoothPaint ruled = paint;
  if (rule == ColourRule::kColour) {
    return ruled;
  }
  ruled.argb = RuledArgb(paint.argb, rule);
  for (SmoothPaint::Stop& stop : ruled.gradient) {
    stop.argb = RuledArgb(stop.argb, rule);
  }
  for (SmoothPaint::Patch& patch : ruled.mesh) {
    for (uint32_t& argb : patch.argb) {
      argb = RuledArgb(argb, rule);
    }
  }
  if (paint.tile) {
    auto tile = std::make_shared<Image>(*paint.tile);
    for (uint32_t& pixel : tile->pixels) {
      pixel = RuledArgb(pixel, rule);
    }
    ruled.tile = std::move(tile);
  }
  return ruled;
}

}  // namespace

void VectorTarget::FillSmooth(const Path& path, FillRule rule, uint32_t argb, bool antialias) {
  if (shadow_) {
    shadow_->FillSmooth(path, rule, argb, antialias);
  }
  if (path.Empty() || (argb >> 24) == 0) {
    return;
  }
  FillSmoothOn(cr_, path, rule, RuledArgb(argb, rule_), antialias);
}

void VectorTarget::StrokeSmooth(const Path& path, const Transform& to_device,
                                const SmoothStroke& style, uint32_t argb, bool antialias) {
  if (shadow_) {
    shadow_->StrokeSmooth(path, to_device, style, argb, antialias);
  }
  if (path.Empty() || (style.paint == nullptr && (argb >> 24) == 0)) {
    return;
  }
  SmoothPaint ruled;
  SmoothStroke ruled_style = style;
  if (style.paint != nullptr) {
    ruled = RuledPaint(*style.paint, rule_);
    ruled_style.paint = &ruled;
  }
  if (std::string failure; !StrokeSmoothOn(cr_, path, to_device, ruled_style,
                                           RuledArgb(argb, rule_), antialias, failure)) {
    Fail(failure);
  }
}

void VectorTarget::FillPattern(const Path& path, FillRule rule, const SmoothPaint& paint,
                               bool antialias) {
  if (shadow_) {
    shadow_->FillPattern(path, rule, paint, antialias);
  }
  if (path.Empty()) {
    return;
  }
  if (std::string failure;
      !FillPatternOn(cr_, path, rule, RuledPaint(paint, rule_), antialias, failure)) {
    Fail(failure);
  }
}

std::string VectorTarget::Failure() const {
  if (!reported_.empty()) {
    return reported_;
  }
  const cairo_status_t status = cairo_status(cr_);
  if (status != CAIRO_STATUS_SUCCESS) {
    return cairo_status_to_string(status);
  }
  // Operations that read the page are drawn from the shadow: a shadow with parts missing
  // would put them on the page wrong.
  return shadow_ ? shadow_->Failure() : std::string();
}

}  // namespace emf
