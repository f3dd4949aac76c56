// Text: DrawDriverString's glyphs at the places the record gives, in the engine's faces.
#include <cairo.h>

#include <cmath>
#include <numbers>

#include "emf/text/font.h"
#include "emfplus/player.h"

namespace emfplus {
namespace {

constexpr uint16_t kSolidColor = 0x8000;
constexpr uint32_t kCmapLookup = 0x1;       // the codes are characters, not glyph indices
constexpr uint32_t kRealizedAdvance = 0x4;  // only the first place is given

// Each glyph's advance in the target's pixels, as the face's outlines give it at the font's
// matrix.
std::vector<emf::Point> Advances(cairo_font_face_t* face, const cairo_matrix_t& matrix,
                                 const std::vector<cairo_glyph_t>& glyphs) {
  cairo_matrix_t identity;
  cairo_matrix_init_identity(&identity);
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  cairo_scaled_font_t* font = cairo_scaled_font_create(face, &matrix, &identity, options);
  cairo_font_options_destroy(options);
  std::vector<emf::Point> advances;
  for (const cairo_glyph_t& glyph : glyphs) {
    cairo_text_extents_t extents{};
    cairo_glyph_t one = glyph;
    one.x = one.y = 0;
    cairo_scaled_font_glyph_extents(font, &one, 1, &extents);
    advances.push_back({extents.x_advance, extents.y_advance});
  }
  cairo_scaled_font_destroy(font);
  return advances;
}

}  // namespace

void Player::SetTextRenderingHint(const Record& record, emf::ByteReader&) {
  constexpr int kSingleBitPerPixelGridFit = 1, kSingleBitPerPixel = 2;
  const int hint = record.flags & 0xFF;
  state_.smooth_text = hint != kSingleBitPerPixelGridFit && hint != kSingleBitPerPixel;
}

void Player::DrawDriverString(const Record& record, emf::ByteReader& r) {
  const uint32_t brush_field = r.U32();
  const uint32_t options = r.U32();
  const uint32_t has_matrix = r.U32();
  const uint32_t count = r.U32();
  // Two bytes a code and eight a place: a count past the data is refused before anything is
  // sized by it.
  if (count > r.Remaining() / 10) {
    Skip(record, "too short");
    return;
  }
  std::vector<uint32_t> codes(count);
  for (uint32_t& code : codes) {
    code = r.U16();
  }
  std::vector<emf::Point> places;
  if (!ReadPoints(r, count, false, false, places)) {
    Skip(record, "too short");
    return;
  }
  emf::Transform glyph_transform;
  if (has_matrix != 0) {
    glyph_transform = {r.F32(), r.F32(), r.F32(), r.F32(), r.F32(), r.F32()};
  }
  const PlusFont* font = ObjectAt<PlusFont>(record, record.flags & 0xFF);
  if (font == nullptr || count == 0 || !r.Ok()) {
    return;
  }
  uint32_t argb = brush_field;
  if ((record.flags & kSolidColor) == 0) {
    const Brush* brush = ObjectAt<Brush>(record, brush_field);
    if (brush == nullptr) {
      return;
    }
    argb = brush->argb;
  }
  // The em in world units: a font of the world's units scales with the page, one of another
  // unit keeps its size in that unit.
  double em = font->em;
  if (font->unit != 0) {
    const double page_scale = std::sqrt(std::fabs(PageToDevice().Determinant()));
    em *= page_scale > 0 ? UnitInPixels(font->unit, dpi_y_) / page_scale : 1.0;
  }
  const emf::Transform to_target = WorldToTarget();
  if (!(em > 0) || em > 1e6 || !glyph_transform.IsFinite() || !to_target.IsFinite()) {
    Skip(record, "not a number");
    return;
  }
  emf::Font face_font;
  face_font.face = font->family;
  face_font.weight = font->bold ? 700 : 400;
  face_font.italic = font->italic;
  const emf::Typeface& typeface = emf::TypefaceFor(face_font);
  // The glyphs: the font's em through the glyphs' own transform and the page's.
  const emf::Transform shape = emf::Transform{em, 0, 0, em, 0, 0}.Then(glyph_transform);
  const cairo_matrix_t matrix{shape.m11 * to_target.m11 + shape.m12 * to_target.m21,
                              shape.m11 * to_target.m12 + shape.m12 * to_target.m22,
                              shape.m21 * to_target.m11 + shape.m22 * to_target.m21,
                              shape.m21 * to_target.m12 + shape.m22 * to_target.m22,
                              0,
                              0};
  std::vector<cairo_glyph_t> glyphs;
  emf::TextDescription description;
  for (size_t i = 0; i < codes.size(); ++i) {
    const bool characters = (options & kCmapLookup) != 0;
    const uint32_t glyph = characters ? typeface.GlyphFor(codes[i]) : codes[i];
    const emf::Point at = to_target.Apply(places[i]);
    glyphs.push_back({glyph, at.x, at.y});
    if (characters) {
      description.text.push_back(static_cast<char16_t>(codes[i]));
    }
  }
  const std::vector<emf::Point> advances = Advances(typeface.face, matrix, glyphs);
  if ((options & kRealizedAdvance) != 0) {
    for (size_t i = 1; i < glyphs.size(); ++i) {
      glyphs[i].x = glyphs[i - 1].x + advances[i - 1].x;
      glyphs[i].y = glyphs[i - 1].y + advances[i - 1].y;
    }
  }
  emf::Path places_on_target;
  for (const cairo_glyph_t& g : glyphs) {
    places_on_target.LineTo({g.x, g.y});
  }
  if (!Tame(places_on_target)) {
    Skip(record, "not a number");
    return;
  }
  ApplyClip();
  if (target_.TakesText()) {
    description.face = font->family;
    description.em_height = std::hypot(matrix.xy, matrix.yy);
    description.escapement = -std::atan2(matrix.yx, matrix.xx) * 1800 / std::numbers::pi;
    description.weight = face_font.weight;
    description.italic = font->italic;
    description.origin = {glyphs.front().x, glyphs.front().y};
    for (size_t i = 0; i < glyphs.size(); ++i) {
      description.advances.push_back(
          i + 1 < glyphs.size()
              ? std::hypot(glyphs[i + 1].x - glyphs[i].x, glyphs[i + 1].y - glyphs[i].y)
              : std::hypot(advances[i].x, advances[i].y));
    }
    description.color = emf::ToColorRef(argb & 0xFFFFFF);
    target_.Text(description);
  }
  // Upright glyphs are drawn as GDI draws a face at a whole size, as the reference renderer
  // draws GDI+'s text; turned or slanted ones from their outlines.
  emf::GlyphStyle style;
  const double size = std::hypot(matrix.xy, matrix.yy);
  if (matrix.xy == 0 && matrix.yx == 0 &&
      std::fabs(std::fabs(matrix.xx) - std::fabs(matrix.yy)) < 1e-9 && size >= 1 && size < 1e4) {
    style.typeface = &typeface;
    style.shape.ppem = static_cast<int>(std::lround(size));
    style.shape.xx = matrix.xx / size;
    style.shape.yy = matrix.yy / size;
    style.shape.smooth = state_.smooth_text && typeface.SmoothAt(style.shape.ppem);
  } else {
    style.shape.smooth = state_.smooth_text;
  }
  target_.DrawGlyphs(typeface.face, matrix, glyphs, emf::ToColorRef(argb & 0xFFFFFF), nullptr,
                     style);
}

}  // namespace emfplus
