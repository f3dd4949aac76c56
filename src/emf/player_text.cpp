// Fonts and the text records.

#include <algorithm>
#include <cmath>
#include <numbers>

#include "emf/code_pages.h"
#include "emf/font.h"
#include "emf/player.h"

namespace emf {
namespace {

constexpr uint32_t kEtoOpaque = 0x2, kEtoClipped = 0x4, kEtoGlyphIndex = 0x10, kEtoPdy = 0x2000,
                   kEtoNoRect = 0x100, kEtoSmallChars = 0x200;
constexpr uint32_t kTaUpdateCp = 1, kTaRight = 2, kTaCenter = 6, kTaBottom = 8, kTaBaseline = 24;
constexpr uint32_t kMaxTextChars = 1u << 20;
// GDI cuts scaled font sizes to whole device units; its arithmetic lands a hair above ours,
// so a size within this of a whole number counts as that number.
constexpr double kCutSlack = 0.01;

// The band a run of text covers: from the edge a..b (across the baseline) along the text.
Path Band(Point a, Point b, Point along) {
  Path band;
  band.MoveTo(a);
  band.LineTo({a.x + along.x, a.y + along.y});
  band.LineTo({b.x + along.x, b.y + along.y});
  band.LineTo(b);
  band.Close();
  return band;
}

std::string Utf8(const std::vector<uint32_t>& units) {
  std::string out;
  for (size_t i = 0; i < units.size(); ++i) {
    uint32_t c = units[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;
    }
    if (c == 0) {
      c = ' ';
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

}  // namespace

void Player::ExtCreateFontIndirectW(ByteReader& r) {
  const uint32_t index = r.U32();
  auto font = std::make_shared<Font>();
  font->height = r.I32();
  font->width = r.I32();
  font->escapement = r.I32();
  font->orientation = r.I32();
  font->weight = r.I32();
  font->italic = r.U8() != 0;
  font->underline = r.U8() != 0;
  font->strike_out = r.U8() != 0;
  font->charset = r.U8();
  r.Skip(2);  // output and clipping precision
  font->quality = r.U8();
  font->pitch_and_family = r.U8();
  std::vector<uint32_t> name;
  for (int i = 0; i < 32 && r.Has(2); ++i) {
    const uint16_t c = r.U16();
    if (c == 0) {
      break;
    }
    name.push_back(c);
  }
  font->face = Utf8(name);
  GdiObject object;
  object.kind = GdiObject::kFont;
  object.font = std::move(font);
  StoreObject(index, std::move(object));
}

// Reads an EMRTEXT at the reader's position; strings and spacing are found by their offsets
// from the start of the record.
Player::TextRun Player::ReadTextRun(ByteReader& r, bool wide, int graphics_mode) {
  TextRun run;
  run.graphics_mode = graphics_mode;
  run.reference = {static_cast<double>(r.I32()), static_cast<double>(r.I32())};
  const uint32_t chars = r.U32();
  const uint32_t off_string = r.U32();
  run.options = r.U32();
  run.rect = {r.I32(), r.I32(), r.I32(), r.I32()};
  const uint32_t off_dx = r.U32();
  if (!r.Ok() || chars > kMaxTextChars) {
    return {};
  }
  const auto text = r.Slice(off_string, static_cast<uint64_t>(chars) * (wide ? 2 : 1));
  if (text.size() != static_cast<size_t>(chars) * (wide ? 2 : 1)) {
    return {};
  }
  if (wide) {
    for (uint32_t i = 0; i < chars; ++i) {
      run.codes.push_back(text[2 * i] | (uint32_t{text[2 * i + 1]} << 8));
    }
  } else if (run.options & kEtoGlyphIndex) {
    run.codes.assign(text.begin(), text.end());
  } else {
    // 8-bit text is in the code page of the font's charset.
    run.codes = DecodeCodePage(text, state_.font ? state_.font->charset : 0);
  }
  const bool pdy = (run.options & kEtoPdy) != 0;
  const auto spacing = r.Slice(off_dx, static_cast<uint64_t>(chars) * (pdy ? 8 : 4));
  if (off_dx != 0 && spacing.size() == static_cast<size_t>(chars) * (pdy ? 8 : 4)) {
    ByteReader d(spacing);
    for (uint32_t i = 0; i < chars; ++i) {
      run.dx.push_back(d.I32());
      run.dy.push_back(pdy ? d.I32() : 0);
    }
  }
  run.valid = true;
  return run;
}

void Player::DrawTextRun(TextRun run) {
  if (!run.valid) {
    return;
  }
  Font font =
      state_.font ? *state_.font : Font{16, 0, 0, 0, 700, false, false, false, 0, 0, 0, "System"};
  const Typeface& typeface = TypefaceFor(font);
  cairo_font_face_t* face = typeface.face;
  const Transform t = LogicalToCanvas();
  const bool glyph_indices = (run.options & kEtoGlyphIndex) != 0;
  const bool advanced = run.graphics_mode == 2;

  // Em height in logical units; a positive height is the cell (ascent and descent).
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  double cell = typeface.ascent + typeface.descent;
  if (!(cell > 0)) {
    cairo_matrix_t unit;
    cairo_matrix_init_identity(&unit);
    cairo_scaled_font_t* unit_font = cairo_scaled_font_create(face, &unit, &unit, options);
    cairo_font_extents_t unit_extents;
    cairo_scaled_font_extents(unit_font, &unit_extents);
    cairo_scaled_font_destroy(unit_font);
    cell = unit_extents.ascent + unit_extents.descent;
  }
  double em = font.height < 0 ? -font.height : font.height > 0 ? font.height / cell : 16 / cell;
  if (!(em > 0) || em > 1e6) {
    em = 16;
  }
  // GDI hints the outline at a whole pixel size and then applies what the size does not
  // say: the width, the turn, and a world transform that is more than a uniform scale. A
  // font's quality decides smoothing, else the face's gasp table at that size.
  constexpr uint8_t kNonAntialiased = 3, kAntialiased = 4;
  const bool plain_scale =
      !advanced || (t.m12 == 0 && t.m21 == 0 && std::fabs(t.m11) == std::fabs(t.m22));
  const double hint_scale = plain_scale ? std::hypot(t.m21, t.m22) : 1;
  const double hint_em = em * hint_scale;
  GlyphStyle style;
  style.typeface = &typeface;
  // The height is scaled to whole device units first (cut, not rounded); a cell height then
  // gives the em it holds.
  const double hint_height = std::floor(
      std::min(font.height == 0 ? hint_em : std::fabs(font.height) * hint_scale, 1e6) + kCutSlack);
  style.shape.ppem =
      static_cast<int>(font.height > 0 ? std::lround(hint_height / cell) : hint_height);
  // A width asks for that average character width: the glyphs are stretched across by its
  // ratio to the face's own average, both in whole pixels at the size GDI draws; a width
  // under one pixel leaves the face as it is.
  double stretch = 1;
  if (font.width != 0 && typeface.average_width > 0 && style.shape.ppem > 0) {
    const double width_scale = plain_scale ? std::hypot(t.m11, t.m12) : 1;
    const double wanted =
        std::floor(std::fabs(static_cast<double>(font.width)) * width_scale + kCutSlack);
    const double average = std::max(1.0, std::round(typeface.average_width * style.shape.ppem));
    if (wanted >= 1) {
      stretch = std::clamp(wanted / average, 0.01, 100.0);
    }
  }
  const double angle = font.escapement / 10.0 * std::numbers::pi / 180.0;
  // Directions in logical space, y down: along the baseline, and down from it.
  const Point along_logical{std::cos(angle), -std::sin(angle)};
  const Point down_logical{std::sin(angle), std::cos(angle)};

  cairo_matrix_t font_matrix;
  Point along_device;
  Point down_device;
  double sx = 1;
  if (advanced) {
    // The whole transform shapes the glyphs.
    cairo_matrix_t rotation;
    cairo_matrix_init_rotate(&rotation, -angle);
    cairo_matrix_t scale;
    cairo_matrix_init_scale(&scale, em * stretch, em);
    cairo_matrix_t linear;
    cairo_matrix_init(&linear, t.m11, t.m12, t.m21, t.m22, 0, 0);
    cairo_matrix_t tmp;
    cairo_matrix_multiply(&tmp, &scale, &rotation);
    cairo_matrix_multiply(&font_matrix, &tmp, &linear);
    along_device = t.ApplyVector(along_logical);
    down_device = t.ApplyVector(down_logical);
  } else {
    // Compatible mode: upright glyphs sized by the vertical scale, turned on the device,
    // where a mapping that mirrors the page turns them the other way.
    sx = std::hypot(t.m11, t.m12);
    const double sy = std::hypot(t.m21, t.m22);
    const double turn = t.m11 * t.m22 - t.m12 * t.m21 < 0 ? -angle : angle;
    cairo_matrix_init_rotate(&font_matrix, -turn);
    cairo_matrix_scale(&font_matrix, em * sy * stretch, em * sy);
    // Advances go along the baseline in logical units, each axis scaled by the mapping.
    along_device = {std::cos(turn) * sx, -std::sin(turn) * sy};
    down_device = {std::sin(turn) * sy, std::cos(turn) * sy};
  }
  if (style.shape.ppem > 0) {
    style.shape.xx = font_matrix.xx / hint_em;
    style.shape.xy = font_matrix.xy / hint_em;
    style.shape.yx = font_matrix.yx / hint_em;
    style.shape.yy = font_matrix.yy / hint_em;
  }
  auto smooth_in = [&](const Typeface& face) {
    return font.quality == kAntialiased ||
           (font.quality != kNonAntialiased && face.SmoothAt(style.shape.ppem));
  };
  cairo_matrix_t identity;
  cairo_matrix_init_identity(&identity);
  cairo_scaled_font_t* scaled = cairo_scaled_font_create(face, &font_matrix, &identity, options);

  // Glyphs, the face each comes from (a character the font's face lacks comes from an
  // installed face that has it), and the string position each starts at: the spacing array
  // has one entry per UTF-16 unit, and a surrogate pair makes one glyph.
  std::vector<cairo_glyph_t> glyphs;
  std::vector<const Typeface*> glyph_faces;
  std::vector<size_t> glyph_units;
  for (size_t i = 0; i < run.codes.size(); ++i) {
    const size_t unit = i;
    uint32_t code = run.codes[i];
    if (code == kContinuationByte) {
      continue;  // the second byte of a double-byte character: a place, no glyph
    }
    const Typeface* from = &typeface;
    uint32_t index = code;
    if (!glyph_indices) {
      if (code >= 0xD800 && code < 0xDC00 && i + 1 < run.codes.size() &&
          run.codes[i + 1] >= 0xDC00 && run.codes[i + 1] < 0xE000) {
        code = 0x10000 + ((code - 0xD800) << 10) + (run.codes[++i] - 0xDC00);
      }
      index = typeface.GlyphFor(code);
      const bool printable = code >= 0x20 && !(code >= 0x7F && code < 0xA0);
      if (index == 0 && printable) {
        if (const Typeface* other = FallbackTypefaceFor(font, code); other != nullptr) {
          from = other;
          index = other->GlyphFor(code);
        }
      }
    }
    glyphs.push_back({index, 0, 0});
    glyph_faces.push_back(from);
    glyph_units.push_back(unit);
  }
  // Natural advances, each from its own face, for runs without a spacing array.
  std::vector<std::pair<const Typeface*, cairo_scaled_font_t*>> scaled_fonts{{&typeface, scaled}};
  auto scaled_for = [&](const Typeface* face) {
    for (const auto& [known, font_at_size] : scaled_fonts) {
      if (known == face) {
        return font_at_size;
      }
    }
    cairo_scaled_font_t* created =
        cairo_scaled_font_create(face->face, &font_matrix, &identity, options);
    scaled_fonts.emplace_back(face, created);
    return created;
  };
  // Positions from the spacing array (logical units) when there is one.
  Point total{0, 0};
  if (!run.dx.empty() && run.dx.size() == run.codes.size()) {
    size_t next = 0;
    for (size_t unit = 0; unit < run.codes.size(); ++unit) {
      if (next < glyphs.size() && glyph_units[next] == unit) {
        glyphs[next].x = total.x;
        glyphs[next].y = total.y;
        ++next;
      }
      const Point step{along_device.x * run.dx[unit] - down_device.x * run.dy[unit],
                       along_device.y * run.dx[unit] - down_device.y * run.dy[unit]};
      total = {total.x + step.x, total.y + step.y};
    }
  } else {
    const double extra = state_.text_char_extra;
    for (size_t i = 0; i < glyphs.size(); ++i) {
      glyphs[i].x = total.x;
      glyphs[i].y = total.y;
      cairo_glyph_t alone{glyphs[i].index, 0, 0};
      cairo_text_extents_t advance;
      cairo_scaled_font_glyph_extents(scaled_for(glyph_faces[i]), &alone, 1, &advance);
      total = {total.x + advance.x_advance + along_device.x * extra,
               total.y + advance.y_advance + along_device.y * extra};
    }
  }
  for (size_t i = 1; i < scaled_fonts.size(); ++i) {
    cairo_scaled_font_destroy(scaled_fonts[i].second);
  }
  cairo_font_options_destroy(options);
  cairo_font_extents_t extents;
  cairo_scaled_font_extents(scaled, &extents);
  cairo_scaled_font_destroy(scaled);
  // Ascent and descent as device vectors down from the baseline.
  const double down_length = std::hypot(down_device.x, down_device.y);
  const Point down_unit = down_length > 0
                              ? Point{down_device.x / down_length, down_device.y / down_length}
                              : Point{0, 1};
  // GDI's ascent and descent are whole pixels at the hinted size.
  double ascent = extents.ascent;
  double descent = extents.descent;
  if (typeface.ascent > 0 && style.shape.ppem > 0) {
    const double down_scale = std::hypot(style.shape.xy, style.shape.yy);
    ascent = std::round(typeface.ascent * style.shape.ppem) * down_scale;
    descent = std::round(typeface.descent * style.shape.ppem) * down_scale;
  }

  // The reference point and the alignment, in whole pixels as GDI moves them: the point
  // rounded, then shifted by the rounded width and the whole-pixel ascent or descent.
  const bool update_cp = (state_.text_align & kTaUpdateCp) != 0;
  const auto whole = [](Point p) { return Point{std::round(p.x), std::round(p.y)}; };
  Point origin = whole(t.Apply(update_cp ? state_.position : run.reference));
  const Point width = whole(total);
  const uint32_t horizontal = state_.text_align & 6;
  if (horizontal == kTaCenter) {
    origin = {origin.x - std::trunc(width.x / 2), origin.y - std::trunc(width.y / 2)};
  } else if (horizontal == kTaRight) {
    origin = {origin.x - width.x, origin.y - width.y};
  }
  const uint32_t vertical = state_.text_align & kTaBaseline;
  if (vertical == 0) {  // TA_TOP
    const Point shift = whole({down_unit.x * ascent, down_unit.y * ascent});
    origin = {origin.x + shift.x, origin.y + shift.y};
  } else if (vertical == kTaBottom) {
    const Point shift = whole({down_unit.x * descent, down_unit.y * descent});
    origin = {origin.x - shift.x, origin.y - shift.y};
  }
  if (update_cp) {
    const Point moved = t.Inverse().ApplyVector(total);
    if (horizontal != kTaRight && horizontal != kTaCenter) {
      state_.position = {state_.position.x + moved.x, state_.position.y + moved.y};
    }
  }
  for (cairo_glyph_t& g : glyphs) {
    g.x += origin.x;
    g.y += origin.y;
  }

  const bool has_rect = run.rect.right != run.rect.left && run.rect.bottom != run.rect.top;
  Path rect_path;
  if (has_rect) {
    const double l = run.rect.left, tp = run.rect.top, rr = run.rect.right, b = run.rect.bottom;
    rect_path.MoveTo(t.Apply({l, tp}));
    rect_path.LineTo(t.Apply({rr, tp}));
    rect_path.LineTo(t.Apply({rr, b}));
    rect_path.LineTo(t.Apply({l, b}));
    rect_path.Close();
  }
  if (in_path_) {
    for (size_t i = 0; i < glyphs.size(); ++i) {
      path_.Append(canvas_.GlyphOutlines(glyph_faces[i]->face, font_matrix, {glyphs[i]}));
    }
    return;
  }
  Paint background = CurrentPaint(Brush{Brush::kSolid, state_.bk_color, 0, nullptr, false});
  if ((run.options & kEtoOpaque) && has_rect) {
    canvas_.FillPath(rect_path, FillRule::kWinding, background, 13);
  } else if (state_.bk_mode == 2 && !glyphs.empty()) {
    // An opaque background fills the text's cells.
    const Point top{origin.x - down_unit.x * ascent, origin.y - down_unit.y * ascent};
    const Point bottom{origin.x + down_unit.x * descent, origin.y + down_unit.y * descent};
    Path cells;
    const bool upright = down_unit.x == 0 && total.y == 0;
    if ((run.options & kEtoClipped) && has_rect && upright) {
      // The clipping rectangle cuts the background too.
      const Point a =
          t.Apply({static_cast<double>(run.rect.left), static_cast<double>(run.rect.top)});
      const Point b =
          t.Apply({static_cast<double>(run.rect.right), static_cast<double>(run.rect.bottom)});
      const double left = std::max(std::min(top.x, top.x + total.x), std::min(a.x, b.x));
      const double right = std::min(std::max(top.x, top.x + total.x), std::max(a.x, b.x));
      const double upper = std::max(std::min(top.y, bottom.y), std::min(a.y, b.y));
      const double lower = std::min(std::max(top.y, bottom.y), std::max(a.y, b.y));
      if (left < right && upper < lower) {
        cells = Band({left, upper}, {left, lower}, {right - left, 0});
      }
    } else {
      cells = Band(top, bottom, total);
    }
    canvas_.FillPath(cells, FillRule::kWinding, background, 13);
  }
  TextDescription description;
  if (!glyph_indices) {
    for (uint32_t unit : run.codes) {
      description.text.push_back(static_cast<char16_t>(unit));
    }
  }
  description.face = font.face;
  description.em_height = std::hypot(font_matrix.xy, font_matrix.yy);
  description.escapement = font.escapement;
  description.weight = font.weight;
  description.italic = font.italic;
  description.underline = font.underline;
  description.strike_out = font.strike_out;
  description.origin = origin;
  for (size_t i = 0; i + 1 < glyphs.size(); ++i) {
    description.advances.push_back(
        std::hypot(glyphs[i + 1].x - glyphs[i].x, glyphs[i + 1].y - glyphs[i].y));
  }
  if (!glyphs.empty()) {
    description.advances.push_back(
        std::hypot(total.x, total.y) -
        std::hypot(glyphs.back().x - origin.x, glyphs.back().y - origin.y));
  }
  description.color = state_.text_color;
  canvas_.Text(description);
  // Consecutive glyphs of one face are drawn together.
  for (size_t start = 0; start < glyphs.size();) {
    size_t end = start + 1;
    while (end < glyphs.size() && glyph_faces[end] == glyph_faces[start]) {
      ++end;
    }
    const Typeface& from = *glyph_faces[start];
    GlyphStyle run_style = style;
    run_style.typeface = &from;
    run_style.shape.smooth = smooth_in(from);
    const std::vector<cairo_glyph_t> part(glyphs.begin() + static_cast<ptrdiff_t>(start),
                                          glyphs.begin() + static_cast<ptrdiff_t>(end));
    canvas_.DrawGlyphs(from.face, font_matrix, part, state_.text_color,
                       (run.options & kEtoClipped) && has_rect ? &rect_path : nullptr, run_style);
    start = end;
  }
  // Underline and strike-out where the face puts them, in whole pixels at the drawn size,
  // as bands along the text.
  if ((font.underline || font.strike_out) && !glyphs.empty()) {
    const double size = style.shape.ppem > 0 ? style.shape.ppem : extents.ascent + extents.descent;
    const double down_scale =
        style.shape.ppem > 0 ? std::hypot(style.shape.xy, style.shape.yy) : 1.0;
    auto band = [&](double position, double thickness) {
      const double height = std::max(1.0, std::round(thickness * size));
      const double top = (-std::round(position * size) - std::floor(height / 2)) * down_scale;
      const double bottom = top + height * down_scale;
      const Point a{origin.x + down_unit.x * top, origin.y + down_unit.y * top};
      const Point b{origin.x + down_unit.x * bottom, origin.y + down_unit.y * bottom};
      canvas_.FillPath(Band(a, b, total), FillRule::kWinding,
                       CurrentPaint(Brush{Brush::kSolid, state_.text_color, 0, nullptr, false}),
                       13);
    };
    if (font.underline) {
      band(typeface.underline_position, typeface.underline_size);
    }
    if (font.strike_out) {
      band(typeface.strikeout_position, typeface.strikeout_size);
    }
  }
}

void Player::ExtTextOutW(ByteReader& r) {
  r.Skip(16);
  const int mode = r.I32();
  r.Skip(8);
  DrawTextRun(ReadTextRun(r, true, mode));
}

void Player::ExtTextOutA(ByteReader& r) {
  r.Skip(16);
  const int mode = r.I32();
  r.Skip(8);
  DrawTextRun(ReadTextRun(r, false, mode));
}

void Player::PolyTextOutCommon(ByteReader& r, bool wide) {
  r.Skip(16);
  const int mode = r.I32();
  r.Skip(8);
  const uint32_t strings = r.U32();
  if (strings > kMaxTextChars || !r.Has(static_cast<size_t>(strings) * 40)) {
    return;
  }
  for (uint32_t i = 0; i < strings; ++i) {
    DrawTextRun(ReadTextRun(r, wide, mode));
  }
}

void Player::PolyTextOutW(ByteReader& r) {
  PolyTextOutCommon(r, true);
}
void Player::PolyTextOutA(ByteReader& r) {
  PolyTextOutCommon(r, false);
}

void Player::SmallTextOut(ByteReader& r) {
  TextRun run;
  run.reference = {static_cast<double>(r.I32()), static_cast<double>(r.I32())};
  const uint32_t chars = r.U32();
  run.options = r.U32();
  run.graphics_mode = r.I32();
  r.Skip(8);
  if ((run.options & kEtoNoRect) == 0) {
    run.rect = {r.I32(), r.I32(), r.I32(), r.I32()};
  }
  const bool small = (run.options & kEtoSmallChars) != 0;
  if (chars > kMaxTextChars || !r.Has(static_cast<size_t>(chars) * (small ? 1 : 2))) {
    return;
  }
  for (uint32_t i = 0; i < chars; ++i) {
    run.codes.push_back(small ? r.U8() : r.U16());
  }
  run.valid = r.Ok();
  DrawTextRun(std::move(run));
}

}  // namespace emf
