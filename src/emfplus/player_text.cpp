// Text: DrawDriverString's glyphs at the places the record gives, in the engine's faces.
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "emf/text/font.h"
#include "emfplus/player.h"

namespace emfplus {
namespace {

constexpr uint32_t kCmapLookup = 0x1;       // the codes are characters, not glyph indices
constexpr uint32_t kRealizedAdvance = 0x4;  // only the first place is given
// The most lines one string is laid out in: past them the rest is left out.
constexpr size_t kMaxTextLines = 1 << 16;

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

bool Player::TextColour(const Record& record, uint32_t brush_field, uint32_t& argb) {
  if ((record.flags & kFlagSolidColor) != 0) {
    argb = brush_field;
    return true;
  }
  // Text paints in one colour: a brush of any other kind in the colour it averages to.
  const Brush* brush = ObjectAt<Brush>(record, brush_field);
  if (brush == nullptr) {
    return false;
  }
  argb = brush->argb;
  return true;
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
  uint32_t argb = 0;
  if (!TextColour(record, brush_field, argb)) {
    return;
  }
  TextFont text_font;
  if (!SetUpFont(record, *font, glyph_transform, text_font)) {
    return;
  }
  const emf::Typeface& typeface = *text_font.typeface;
  const emf::Transform to_target = WorldToTarget();
  std::vector<cairo_glyph_t> glyphs;
  std::u16string text;  // its characters, when the codes are characters
  for (size_t i = 0; i < codes.size(); ++i) {
    const bool characters = (options & kCmapLookup) != 0;
    const uint32_t glyph = characters ? typeface.GlyphFor(codes[i]) : codes[i];
    const emf::Point at = to_target.Apply(places[i]);
    glyphs.push_back({glyph, at.x, at.y});
    if (characters) {
      text.push_back(static_cast<char16_t>(codes[i]));
    }
  }
  const std::vector<emf::Point> advances = Advances(typeface.face, text_font.matrix, glyphs);
  if ((options & kRealizedAdvance) != 0) {
    for (size_t i = 1; i < glyphs.size(); ++i) {
      glyphs[i].x = glyphs[i - 1].x + advances[i - 1].x;
      glyphs[i].y = glyphs[i - 1].y + advances[i - 1].y;
    }
  }
  ApplyClip();
  ShowGlyphs(record, text_font, glyphs, advances, text, argb);
}

void Player::DrawString(const Record& record, emf::ByteReader& r) {
  const uint32_t brush_field = r.U32();
  const uint32_t format_id = r.U32();
  const uint32_t length = r.U32();
  const RectF rect = ReadRect(r, false);
  if (length > r.Remaining() / 2) {
    Skip(record, "too short");
    return;
  }
  std::u16string text;
  for (uint32_t i = 0; i < length; ++i) {
    text.push_back(static_cast<char16_t>(r.U16()));
  }
  const PlusFont* font = ObjectAt<PlusFont>(record, record.flags & 0xFF);
  if (font == nullptr || text.empty()) {
    return;
  }
  uint32_t argb = 0;
  if (!TextColour(record, brush_field, argb)) {
    return;
  }
  // No format object means GDI+'s default: near, top, wrapped, margins of a sixth of an em.
  const StringFormat* format =
      format_id < kObjectSlots ? std::get_if<StringFormat>(&objects_[format_id]) : nullptr;
  const StringFormat layout = format != nullptr ? *format : StringFormat{};
  TextFont text_font;
  if (!SetUpFont(record, *font, emf::Transform{}, text_font)) {
    return;
  }
  const emf::Typeface& typeface = *text_font.typeface;
  const double em = text_font.em;
  if (layout.hotkey_prefix != StringFormat::kHotkeyNone) {
    // An ampersand marks the next character as a hotkey and is not drawn; two draw one.
    std::u16string shown;
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] == u'&' && i + 1 < text.size()) {
        ++i;
      }
      shown.push_back(text[i]);
    }
    text = std::move(shown);
  }
  // Each character's advance in world units, from the face's outlines at the em; the
  // ellipsis's last.
  std::vector<cairo_glyph_t> all;
  for (char16_t c : text) {
    all.push_back({typeface.GlyphFor(c), 0, 0});
  }
  all.push_back({typeface.GlyphFor(u'\u2026'), 0, 0});
  // Measured at a size FreeType takes whatever the world's units, then scaled to the em.
  constexpr double kMeasuredEm = 1024;
  const cairo_matrix_t em_matrix{kMeasuredEm, 0, 0, kMeasuredEm, 0, 0};
  std::vector<emf::Point> widths = Advances(typeface.face, em_matrix, all);
  for (emf::Point& w : widths) {
    w = {w.x * em / kMeasuredEm, w.y * em / kMeasuredEm};
  }
  const double ellipsis_width = widths.back().x;
  // Where a character leaves the line's pen, from where it found it: a tab goes on to the
  // next tab stop (a space's width without stops), a carriage return nowhere.
  const double space =
      Advances(typeface.face, em_matrix, {{typeface.GlyphFor(u' '), 0, 0}}).front().x * em /
      kMeasuredEm;
  std::vector<double> stops;  // from the line's start; past the last, at the last's interval
  for (double step : layout.tab_stops) {
    stops.push_back((stops.empty() ? layout.first_tab : stops.back()) + step);
  }
  auto advance = [&](size_t i, double at) {
    if (text[i] == u'\r') {
      return at;
    }
    if (text[i] != u'\t') {
      return at + widths[i].x;
    }
    const auto next = std::upper_bound(stops.begin(), stops.end(), at);
    if (next != stops.end()) {
      return *next;
    }
    const double step = layout.tab_stops.empty() ? 0 : layout.tab_stops.back();
    return step > 0 ? stops.back() + (std::floor((at - stops.back()) / step) + 1) * step
                    : at + space;
  };
  const double line_height =
      em * (typeface.ascent + typeface.descent > 0 ? typeface.ascent + typeface.descent : 1.2);
  const double ascent = em * (typeface.ascent > 0 ? typeface.ascent : 0.9);
  const double leading = em * layout.leading_margin;
  const double room = rect.width - leading - em * layout.trailing_margin;
  const bool wrap = (layout.flags & StringFormat::kNoWrap) == 0 && rect.width > 0;
  // Lines: each ends at a line feed, or where the next word would pass the rectangle's width.
  struct Line {
    size_t begin, end;
    double width;
    bool ellipsis;
  };
  std::vector<Line> lines;
  size_t begin = 0;
  while (begin <= text.size() && lines.size() < kMaxTextLines) {
    size_t end = begin, last_break = SIZE_MAX;
    double width = 0, width_at_break = 0;
    while (end < text.size() && text[end] != u'\n') {
      if (text[end] == u' ') {
        last_break = end;
        width_at_break = width;
      }
      const double next = advance(end, width);
      if (wrap && next > room && last_break != SIZE_MAX) {
        end = last_break;
        width = width_at_break;
        break;
      }
      width = next;
      ++end;
    }
    lines.push_back({begin, end, width, false});
    if (end >= text.size()) {
      break;
    }
    begin = end + 1;  // past the line feed or the space the line broke at
  }
  // Only whole lines, when the format limits them to the rectangle (one at least).
  if ((layout.flags & StringFormat::kLineLimit) != 0 && rect.height > 0) {
    const double fit = std::floor(rect.height / line_height);
    lines.resize(
        std::clamp<size_t>(fit > 0 ? static_cast<size_t>(std::min(fit, 1e6)) : 1, 1, lines.size()));
  }
  // A line too long for the rectangle ends in an ellipsis where the format asks for one.
  if (layout.trimming >= StringFormat::kTrimEllipsis && layout.trimming <= 5 && rect.width > 0) {
    for (Line& line : lines) {
      if (line.width <= room) {
        continue;
      }
      // The most characters whose pen, with the ellipsis after them, stays within the room.
      double width = 0;
      size_t end = line.begin;
      while (end < line.end) {
        const double next = advance(end, width);
        if (next + ellipsis_width > room) {
          break;
        }
        width = next;
        ++end;
      }
      line.end = end;
      line.width = width + ellipsis_width;
      line.ellipsis = true;
    }
  }
  const double height = static_cast<double>(lines.size()) * line_height;
  double top = rect.y;
  if (rect.height > 0 && layout.line_align != StringFormat::kNear) {
    top += (rect.height - height) / (layout.line_align == StringFormat::kCenter ? 2 : 1);
  }
  // GDI+ keeps the text inside its rectangle unless the format says not to.
  const bool clipped =
      (layout.flags & StringFormat::kNoClip) == 0 && rect.width > 0 && rect.height > 0;
  const emf::Transform to_target = WorldToTarget();
  // Right to left, the near side is the right.
  const uint32_t alignment =
      (layout.flags & StringFormat::kRightToLeft) == 0 || layout.alignment == StringFormat::kCenter
          ? layout.alignment
          : StringFormat::kFar - layout.alignment;
  for (size_t n = 0; n < lines.size(); ++n) {
    const Line& line = lines[n];
    double start = rect.x + leading;
    if (rect.width > 0 && alignment != StringFormat::kNear) {
      start += (room - line.width) / (alignment == StringFormat::kCenter ? 2 : 1);
    }
    const double y = top + static_cast<double>(n) * line_height + ascent;
    std::vector<cairo_glyph_t> glyphs;
    std::vector<emf::Point> advances;
    std::u16string characters;
    double pen = 0;
    auto place = [&](size_t i, char16_t c) {
      const emf::Point at = to_target.Apply({start + pen, y});
      glyphs.push_back({all[i].index, at.x, at.y});
      advances.push_back(to_target.ApplyVector(widths[i]));
      characters.push_back(c);
    };
    for (size_t i = line.begin; i < line.end; ++i) {
      if (text[i] != u'\r' && text[i] != u'\t') {
        place(i, text[i]);
      }
      pen = advance(i, pen);
    }
    if (line.ellipsis) {
      place(all.size() - 1, u'\u2026');
    }
    if (clipped) {
      ClipInside(RectanglePath(rect));
    } else {
      ApplyClip();
    }
    ShowGlyphs(record, text_font, glyphs, advances, characters, argb);
  }
}

bool Player::SetUpFont(const Record& record, const PlusFont& font,
                       const emf::Transform& glyph_transform, TextFont& out) {
  // The em in world units: a font of another unit than the world's is taken to the page's
  // unit, whose scale then applies to it as to everything (a 120-pixel font on a page scaled
  // by 0.13 draws 16 pixels high).
  double em = font.em;
  if (font.unit != 0) {
    const double page_unit = UnitInPixels(state_.page_unit, dpi_y_);
    em *= page_unit > 0 ? UnitInPixels(font.unit, dpi_y_) / page_unit : 1.0;
  }
  const emf::Transform to_target = WorldToTarget();
  if (!(em > 0) || em > 1e6 || !glyph_transform.IsFinite() || !to_target.IsFinite()) {
    Skip(record, "not a number");
    return false;
  }
  out.font.face = font.family;
  out.font.weight = font.bold ? 700 : 400;
  out.font.italic = font.italic;
  out.typeface = &emf::TypefaceFor(out.font);
  out.em = em;
  // The glyphs: the font's em through the glyphs' own transform and the page's.
  const emf::Transform shape = emf::Transform{em, 0, 0, em, 0, 0}.Then(glyph_transform);
  out.matrix = {shape.m11 * to_target.m11 + shape.m12 * to_target.m21,
                shape.m11 * to_target.m12 + shape.m12 * to_target.m22,
                shape.m21 * to_target.m11 + shape.m22 * to_target.m21,
                shape.m21 * to_target.m12 + shape.m22 * to_target.m22,
                0,
                0};
  const cairo_matrix_t& m = out.matrix;
  const double largest = std::max(std::hypot(m.xx, m.yx), std::hypot(m.xy, m.yy));
  if (!(largest <= emf::kLargestEm)) {
    target_.Fail(std::string(RecordName(record.type)) + ": a font " +
                 std::to_string(static_cast<long long>(std::min(largest, 1e15))) +
                 " pixels high is larger than text is drawn (65535)");
    return false;
  }
  out.family = font.family;
  out.italic = font.italic;
  return true;
}

void Player::ShowGlyphs(const Record& record, const TextFont& text_font,
                        const std::vector<cairo_glyph_t>& glyphs,
                        const std::vector<emf::Point>& advances, const std::u16string& text,
                        uint32_t argb) {
  if (glyphs.empty()) {
    return;
  }
  const emf::Typeface& typeface = *text_font.typeface;
  const cairo_matrix_t& matrix = text_font.matrix;
  emf::Path places_on_target;
  for (const cairo_glyph_t& g : glyphs) {
    places_on_target.LineTo({g.x, g.y});
  }
  if (!Tame(places_on_target)) {
    Skip(record, "not a number");
    return;
  }
  if (target_.TakesText()) {
    emf::TextDescription description;
    description.text = text;
    description.face = text_font.family;
    description.em_height = std::hypot(matrix.xy, matrix.yy);
    description.escapement = -std::atan2(matrix.yx, matrix.xx) * 1800 / std::numbers::pi;
    description.weight = text_font.font.weight;
    description.italic = text_font.italic;
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
