// Fonts and the text records.

#include <algorithm>
#include <cmath>
#include <numbers>

#include "emf/player/player.h"
#include "emf/records/code_pages.h"
#include "emf/records/gdi_constants.h"
#include "emf/text/cairo_owners.h"
#include "emf/text/font.h"
#include "emf/text/glyph_raster.h"

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
TextRun Player::ReadTextRun(ByteReader& r, bool wide, int graphics_mode) {
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

// How a font sits on the canvas for one run: the glyphs' matrix (em square -> canvas
// pixels), the size and shaping GDI hints them at, and one logical unit along and down from
// the baseline in canvas pixels.
struct FontPlacement {
  cairo_matrix_t matrix;
  GlyphStyle style;
  double hint_em = 0;
  Point along;
  Point down;
};

// The glyphs of a run, the face each comes from (a character the font's face lacks comes
// from an installed face that has it), and the string position each starts at: the
// spacing array has one entry per UTF-16 unit, and a surrogate pair makes one glyph.
struct GlyphRun {
  std::vector<cairo_glyph_t> glyphs;
  std::vector<const Typeface*> faces;
  std::vector<size_t> units;
};

// Ascent and descent in canvas pixels, down from the baseline along down_unit.
struct LineMetrics {
  double ascent = 0;
  double descent = 0;
  Point down_unit{0, 1};
};

// Everything the drawing steps of a run share, worked out once.
struct TextLayout {
  Font font;
  const Typeface* typeface = nullptr;
  Transform transform;  // logical -> canvas
  FontPlacement placement;
  GlyphRun run;
  Point total;  // the run's advance, canvas pixels
  LineMetrics line;
  double natural_size = 0;  // the face's cell at the unhinted size, for decorations
  Point origin;             // the aligned reference point, whole pixels
  bool has_rect = false;
  Path rect_path;  // the record's rectangle, canvas pixels
};

namespace {

constexpr uint8_t kNonAntialiased = 3;  // lfQuality

using ScaledFont = std::unique_ptr<cairo_scaled_font_t,
                                   CairoDestroy<cairo_scaled_font_t, cairo_scaled_font_destroy>>;

// A face's cell in ems, from its OS/2 metrics or, when it has none, from cairo's extents.
double CellHeight(const Typeface& typeface, const cairo_font_options_t* options) {
  const double cell = typeface.ascent + typeface.descent;
  if (cell > 0) {
    return cell;
  }
  cairo_matrix_t unit;
  cairo_matrix_init_identity(&unit);
  const ScaledFont unit_font(cairo_scaled_font_create(typeface.face, &unit, &unit, options));
  cairo_font_extents_t extents;
  cairo_scaled_font_extents(unit_font.get(), &extents);
  return extents.ascent + extents.descent;
}

// A width asks for that average character width: the glyphs are stretched across by its
// ratio to the face's own average, both in whole pixels at the size GDI draws; a width under
// one pixel leaves the face as it is.
double WidthStretch(const Font& font, const Typeface& typeface, int ppem, double width_scale) {
  if (font.width == 0 || !(typeface.average_width > 0) || ppem <= 0) {
    return 1;
  }
  const double wanted =
      std::floor(std::fabs(static_cast<double>(font.width)) * width_scale + kCutSlack);
  const double average = std::max(1.0, std::round(typeface.average_width * ppem));
  return wanted >= 1 ? std::clamp(wanted / average, 0.01, 100.0) : 1;
}

// GDI hints the outline at a whole pixel size and then applies what the size does not say:
// the width, the turn, and a world transform that is more than a uniform scale.
FontPlacement PlaceFont(const Font& font, const Typeface& typeface, const Transform& t,
                        bool advanced, const cairo_font_options_t* options) {
  FontPlacement placement;
  // Em height in logical units; a positive height is the cell (ascent and descent).
  const double cell = CellHeight(typeface, options);
  double em = font.height < 0   ? -static_cast<double>(font.height)
              : font.height > 0 ? font.height / cell
                                : 16 / cell;
  if (!(em > 0) || em > 1e6) {
    em = 16;
  }
  const bool plain_scale =
      !advanced || (t.m12 == 0 && t.m21 == 0 && std::fabs(t.m11) == std::fabs(t.m22));
  const double hint_scale = plain_scale ? std::hypot(t.m21, t.m22) : 1;
  placement.hint_em = em * hint_scale;
  GlyphStyle& style = placement.style;
  style.typeface = &typeface;
  // The height is scaled to whole device units first (cut, not rounded); a cell height then
  // gives the em it holds.
  const double hint_height = std::floor(
      std::min(font.height == 0 ? placement.hint_em
                                : std::fabs(static_cast<double>(font.height)) * hint_scale,
               1e6) +
      kCutSlack);
  style.shape.ppem =
      static_cast<int>(font.height > 0 ? std::lround(hint_height / cell) : hint_height);
  const double stretch =
      WidthStretch(font, typeface, style.shape.ppem, plain_scale ? std::hypot(t.m11, t.m12) : 1);

  const double angle = font.escapement / 10.0 * std::numbers::pi / 180.0;
  if (advanced) {
    // The whole transform shapes the glyphs. Directions in logical space, y down: along the
    // baseline, and down from it.
    cairo_matrix_t rotation;
    cairo_matrix_init_rotate(&rotation, -angle);
    cairo_matrix_t scale;
    cairo_matrix_init_scale(&scale, em * stretch, em);
    cairo_matrix_t linear;
    cairo_matrix_init(&linear, t.m11, t.m12, t.m21, t.m22, 0, 0);
    cairo_matrix_t scaled_and_turned;
    cairo_matrix_multiply(&scaled_and_turned, &scale, &rotation);
    cairo_matrix_multiply(&placement.matrix, &scaled_and_turned, &linear);
    placement.along = t.ApplyVector({std::cos(angle), -std::sin(angle)});
    placement.down = t.ApplyVector({std::sin(angle), std::cos(angle)});
  } else {
    // Compatible mode: upright glyphs sized by the vertical scale, turned on the device,
    // where a mapping that mirrors the page turns them the other way. Advances go along the
    // baseline in logical units, each axis scaled by the mapping.
    const double sx = std::hypot(t.m11, t.m12);
    const double sy = std::hypot(t.m21, t.m22);
    const double turn = t.m11 * t.m22 - t.m12 * t.m21 < 0 ? -angle : angle;
    cairo_matrix_init_rotate(&placement.matrix, -turn);
    cairo_matrix_scale(&placement.matrix, em * sy * stretch, em * sy);
    placement.along = {std::cos(turn) * sx, -std::sin(turn) * sy};
    placement.down = {std::sin(turn) * sy, std::cos(turn) * sy};
    if (t.m12 != 0 || t.m21 != 0) {
      // A world transform that turns the page carries a spacing array's places along the
      // turned baseline; the glyphs stay upright (settled on a page of tests/gdi-pages).
      placement.along = t.ApplyVector({std::cos(angle), -std::sin(angle)});
    }
  }
  if (style.shape.ppem > 0) {
    style.shape.xx = placement.matrix.xx / placement.hint_em;
    style.shape.xy = placement.matrix.xy / placement.hint_em;
    style.shape.yx = placement.matrix.yx / placement.hint_em;
    style.shape.yy = placement.matrix.yy / placement.hint_em;
  }
  return placement;
}

GlyphRun LookUpGlyphs(const TextRun& text, const Font& font, const Typeface& typeface) {
  const bool glyph_indices = (text.options & kEtoGlyphIndex) != 0;
  GlyphRun run;
  for (size_t i = 0; i < text.codes.size(); ++i) {
    const size_t unit = i;
    uint32_t code = text.codes[i];
    if (code == kContinuationByte) {
      continue;  // the second byte of a double-byte character: a place, no glyph
    }
    const Typeface* from = &typeface;
    uint32_t index = code;
    if (!glyph_indices) {
      if (code >= 0xD800 && code < 0xDC00 && i + 1 < text.codes.size() &&
          text.codes[i + 1] >= 0xDC00 && text.codes[i + 1] < 0xE000) {
        code = 0x10000 + ((code - 0xD800) << 10) + (text.codes[++i] - 0xDC00);
      }
      // A symbol face's substitute holds its signs by their Unicode values, or at its own
      // codes (a symbol character map).
      const uint32_t sign = SymbolCharacter(font.face, code);
      index = typeface.GlyphFor(sign);
      if (index == 0 && sign != code) {
        index = typeface.GlyphFor(code);
      }
      code = sign;
      const bool printable = code >= 0x20 && !(code >= 0x7F && code < 0xA0);
      if (index == 0 && printable && !SymbolSubstitute(font.face)) {
        if (const Typeface* other = FallbackTypefaceFor(font, code); other != nullptr) {
          from = other;
          index = other->GlyphFor(code);
        }
      }
    }
    run.glyphs.push_back({index, 0, 0});
    run.faces.push_back(from);
    run.units.push_back(unit);
  }
  return run;
}

// The run's faces at its matrix, made as they are first asked for.
class ScaledFonts {
 public:
  ScaledFonts(const cairo_matrix_t& matrix, const cairo_font_options_t* options)
      : matrix_(matrix), options_(options) {}
  cairo_scaled_font_t* For(const Typeface* face) {
    for (const auto& [known, font] : fonts_) {
      if (known == face) {
        return font.get();
      }
    }
    cairo_matrix_t identity;
    cairo_matrix_init_identity(&identity);
    fonts_.emplace_back(
        face, ScaledFont(cairo_scaled_font_create(face->face, &matrix_, &identity, options_)));
    return fonts_.back().second.get();
  }

 private:
  cairo_matrix_t matrix_;
  const cairo_font_options_t* options_;
  std::vector<std::pair<const Typeface*, ScaledFont>> fonts_;
};

// Where the glyphs of the run's face at start end: glyphs a face lacks come from others.
size_t SameFaceEnd(const GlyphRun& run, size_t start) {
  size_t end = start + 1;
  while (end < run.glyphs.size() && run.faces[end] == run.faces[start]) {
    ++end;
  }
  return end;
}

// Whether a face's glyphs are drawn in grey: never when the font's quality says so, else as
// the face's gasp table asks at the size, whatever smoothing the quality asks for (GDI
// smooths a font "if the font supports it": ANTIALIASED_QUALITY at 12 pixels in Arial's
// substitute is plain, as the reference renderer draws it).
bool DrawnSmooth(uint8_t quality, const Typeface& face, int ppem) {
  return quality != kNonAntialiased && face.SmoothAt(ppem);
}

// The advances of glyphs hinted by the face at the shape's size, for plain pixels (which
// moves the advances too, as GDI has them) or for grey; false when the face cannot say.
bool HintedAdvancesOf(const GlyphRun& run, size_t start, size_t end, const GlyphShape& shape,
                      bool plain, std::vector<Point>& advances) {
  std::vector<uint32_t> indices;
  for (size_t i = start; i < end; ++i) {
    indices.push_back(static_cast<uint32_t>(run.glyphs[i].index));
  }
  std::vector<double> lengths;
  if (!HintedAdvances(*run.faces[start], shape, !plain, indices, lengths)) {
    return false;
  }
  for (double length : lengths) {
    advances.push_back({shape.xx * length, shape.yx * length});
  }
  return true;
}

// Places each glyph from the origin by the spacing array (logical units) when the run has
// one, else by each glyph's own advance in its own face (hinted for plain pixels where the
// glyphs are drawn so, else as cairo hints the metrics); returns the run's advance.
Point AdvanceGlyphs(const TextRun& text, const FontPlacement& placement, uint8_t quality,
                    int char_extra, bool upright, ScaledFonts& fonts, GlyphRun& run) {
  Point total{0, 0};
  const Point along = placement.along;
  const Point down = placement.down;
  if (!text.dx.empty() && text.dx.size() == text.codes.size()) {
    size_t next = 0;
    for (size_t unit = 0; unit < text.codes.size(); ++unit) {
      if (next < run.glyphs.size() && run.units[next] == unit) {
        run.glyphs[next].x = total.x;
        run.glyphs[next].y = total.y;
        ++next;
      }
      total = {total.x + along.x * text.dx[unit] - down.x * text.dy[unit],
               total.y + along.y * text.dx[unit] - down.y * text.dy[unit]};
    }
    return total;
  }
  std::vector<Point> advances;
  for (size_t start = 0; start < run.glyphs.size();) {
    const size_t end = SameFaceEnd(run, start);
    const GlyphShape& shape = placement.style.shape;
    const bool plain =
        upright && shape.ppem > 0 && !DrawnSmooth(quality, *run.faces[start], shape.ppem);
    // A face GDI emboldens advances a pixel more than its own widths (cairo's emboldening
    // adds its own share), and a face of half- and full-width glyphs keeps the full width
    // twice the half: those widths come from the face.
    const bool simulated = upright && shape.ppem > 0 &&
                           (run.faces[start]->simulated_bold || run.faces[start]->dual_width);
    const bool hinted =
        plain ? HintedAdvancesOf(run, start, end, shape, true, advances)
              : simulated && HintedAdvancesOf(run, start, end, shape, false, advances);
    if (!hinted) {
      for (size_t i = start; i < end; ++i) {
        cairo_glyph_t alone{run.glyphs[i].index, 0, 0};
        cairo_text_extents_t extents;
        cairo_scaled_font_glyph_extents(fonts.For(run.faces[i]), &alone, 1, &extents);
        advances.push_back({extents.x_advance, extents.y_advance});
      }
    }
    start = end;
  }
  for (size_t i = 0; i < run.glyphs.size(); ++i) {
    run.glyphs[i].x = total.x;
    run.glyphs[i].y = total.y;
    total = {total.x + advances[i].x + along.x * char_extra,
             total.y + advances[i].y + along.y * char_extra};
  }
  return total;
}

// GDI's ascent and descent are whole pixels at the hinted size; a face without OS/2 metrics
// keeps cairo's.
LineMetrics MeasureLine(const Typeface& typeface, const FontPlacement& placement,
                        const cairo_font_extents_t& extents) {
  LineMetrics line;
  const double down_length = std::hypot(placement.down.x, placement.down.y);
  if (down_length > 0) {
    line.down_unit = {placement.down.x / down_length, placement.down.y / down_length};
  }
  line.ascent = extents.ascent;
  line.descent = extents.descent;
  const GlyphShape& shape = placement.style.shape;
  if (typeface.ascent > 0 && shape.ppem > 0) {
    const double down_scale = std::hypot(shape.xy, shape.yy);
    line.ascent = std::round(typeface.ascent * shape.ppem) * down_scale;
    line.descent = std::round(typeface.descent * shape.ppem) * down_scale;
  }
  return line;
}

Point Whole(Point p) {
  return {std::round(p.x), std::round(p.y)};
}

Point Scaled(Point direction, double length) {
  return {direction.x * length, direction.y * length};
}

Point Plus(Point a, Point b) {
  return {a.x + b.x, a.y + b.y};
}

Path RectanglePath(const RectL& rect, const Transform& t) {
  const double l = rect.left, top = rect.top, r = rect.right, b = rect.bottom;
  Path path;
  path.MoveTo(t.Apply({l, top}));
  path.LineTo(t.Apply({r, top}));
  path.LineTo(t.Apply({r, b}));
  path.LineTo(t.Apply({l, b}));
  path.Close();
  return path;
}

// Lays the run out: the face, its placement, the glyphs and their advances, the line's
// metrics. False, with why, when the font is larger than text is drawn.
bool LayOutText(const TextRun& text, const Font* font, const Transform& transform, int char_extra,
                TextLayout& layout, std::string* why) {
  layout.font = font ? *font : Font{16, 0, 0, 0, 700, false, false, false, 0, 0, 0, "System"};
  layout.typeface = &TypefaceFor(layout.font);
  layout.transform = transform;
  const FontOptions options(cairo_font_options_create());
  cairo_font_options_set_hint_metrics(options.get(), CAIRO_HINT_METRICS_OFF);
  layout.placement = PlaceFont(layout.font, *layout.typeface, layout.transform,
                               text.graphics_mode == kGmAdvanced, options.get());
  // Each side of the em square (the larger bounds both scales cairo asks FreeType for).
  const cairo_matrix_t& em = layout.placement.matrix;
  const double largest = std::max(std::hypot(em.xx, em.yx), std::hypot(em.xy, em.yy));
  if (!(largest <= kLargestEm)) {
    *why = "text: a font " + std::to_string(static_cast<long long>(std::min(largest, 1e15))) +
           " pixels high is larger than text is drawn (65535)";
    return false;
  }
  layout.run = LookUpGlyphs(text, layout.font, *layout.typeface);
  ScaledFonts fonts(layout.placement.matrix, options.get());
  // Without a spacing array GDI advances each glyph by its width hinted at the size, whole
  // pixels, and hinted for plain pixels where the glyphs are drawn so (settled on pages of
  // our own through the reference renderer); turned or slanted text keeps the unhinted
  // widths.
  const FontOptions hinted(cairo_font_options_copy(options.get()));
  const cairo_matrix_t& m = layout.placement.matrix;
  const bool upright = m.xy == 0 && m.yx == 0;
  if (upright) {
    cairo_font_options_set_hint_metrics(hinted.get(), CAIRO_HINT_METRICS_ON);
  }
  // GDI realises the font at its whole pixel size, and the advances are that size's (the
  // size is the em cut to a whole pixel; a height past what the em keeps is left alone).
  cairo_matrix_t advancing_matrix = layout.placement.matrix;
  const int ppem = layout.placement.style.shape.ppem;
  if (upright && ppem > 0 && std::fabs(ppem - layout.placement.hint_em) < 1) {
    const double whole = ppem / layout.placement.hint_em;
    cairo_matrix_scale(&advancing_matrix, whole, whole);
  }
  ScaledFonts advancing(advancing_matrix, hinted.get());
  layout.total = AdvanceGlyphs(text, layout.placement, layout.font.quality, char_extra, upright,
                               advancing, layout.run);
  cairo_font_extents_t extents;
  cairo_scaled_font_extents(fonts.For(layout.typeface), &extents);
  layout.natural_size = extents.ascent + extents.descent;
  layout.line = MeasureLine(*layout.typeface, layout.placement, extents);
  return true;
}

}  // namespace

TextMeasure MeasureText(const TextRun& text, const Font* font, const Transform& transform,
                        int char_extra) {
  TextLayout layout;
  std::string why;
  TextMeasure measure;
  if (!text.valid || !LayOutText(text, font, transform, char_extra, layout, &why)) {
    return measure;
  }
  measure.advance = layout.total;
  measure.ascent = layout.line.ascent;
  measure.descent = layout.line.descent;
  const GlyphRun& run = layout.run;
  size_t next = 0;  // the first glyph of a later unit
  for (size_t unit = 0; unit < text.codes.size(); ++unit) {
    while (next < run.glyphs.size() && run.units[next] <= unit) {
      ++next;
    }
    // A unit without a glyph of its own after it (a lead byte's second) ends with the run's
    // next glyph, or the run.
    const Point end =
        next < run.glyphs.size() ? Point{run.glyphs[next].x, run.glyphs[next].y} : layout.total;
    measure.ends.push_back(std::hypot(end.x, end.y));
  }
  measure.valid = true;
  return measure;
}

void Player::DrawTextRun(TextRun text) {
  if (!text.valid) {
    return;
  }
  TextLayout layout;
  std::string why;
  if (!LayOutText(text, state_.font.get(), LogicalToCanvas(), state_.text_char_extra, layout,
                  &why)) {
    canvas_.Fail(why);
    return;
  }
  layout.origin = AlignText(text, layout);
  for (cairo_glyph_t& g : layout.run.glyphs) {
    g.x += layout.origin.x;
    g.y += layout.origin.y;
  }
  layout.has_rect = text.rect.right != text.rect.left && text.rect.bottom != text.rect.top;
  if (layout.has_rect) {
    layout.rect_path = RectanglePath(text.rect, layout.transform);
  }
  if (in_path_) {
    for (size_t i = 0; i < layout.run.glyphs.size(); ++i) {
      path_.Append(canvas_.GlyphOutlines(layout.run.faces[i]->face, layout.placement.matrix,
                                         {layout.run.glyphs[i]}));
    }
    return;
  }
  DrawTextBackground(text, layout);
  if (canvas_.TakesText()) {
    DescribeText(text, layout);
  }
  DrawGlyphRuns(text, layout);
  DrawTextDecorations(layout);
}

// The reference point and the alignment, in whole pixels as GDI moves them: the point
// rounded, then shifted by the rounded width and the whole-pixel ascent or descent. With
// TA_UPDATECP the run starts at, and moves, the current position.
Point Player::AlignText(const TextRun& text, const TextLayout& layout) {
  const Transform& t = layout.transform;
  const bool update_cp = (state_.text_align & kTaUpdateCp) != 0;
  Point origin = Whole(t.Apply(update_cp ? state_.position : text.reference));
  const Point width = Whole(layout.total);
  const uint32_t horizontal = state_.text_align & 6;
  if (horizontal == kTaCenter) {
    origin = {origin.x - std::trunc(width.x / 2), origin.y - std::trunc(width.y / 2)};
  } else if (horizontal == kTaRight) {
    origin = {origin.x - width.x, origin.y - width.y};
  }
  const uint32_t vertical = state_.text_align & kTaBaseline;
  const LineMetrics& line = layout.line;
  if (vertical == 0) {  // TA_TOP
    origin = Plus(origin, Whole(Scaled(line.down_unit, line.ascent)));
  } else if (vertical == kTaBottom) {
    origin = Plus(origin, Scaled(Whole(Scaled(line.down_unit, line.descent)), -1));
  }
  if (update_cp && horizontal != kTaRight && horizontal != kTaCenter) {
    state_.position = Plus(state_.position, t.Inverse().ApplyVector(layout.total));
  }
  return origin;
}

// ETO_OPAQUE fills the record's rectangle; else an opaque background mode fills the text's
// cells, cut by the rectangle when the run is clipped to it.
void Player::DrawTextBackground(const TextRun& text, const TextLayout& layout) {
  const Paint background = CurrentPaint(Brush{Brush::kSolid, state_.bk_color, 0, nullptr, false});
  if ((text.options & kEtoOpaque) && layout.has_rect) {
    canvas_.FillPath(layout.rect_path, FillRule::kWinding, background, kR2CopyPen);
    return;
  }
  if (state_.bk_mode != kBkOpaque || layout.run.glyphs.empty()) {
    return;
  }
  const LineMetrics& line = layout.line;
  const Point top = Plus(layout.origin, Scaled(line.down_unit, -line.ascent));
  const Point bottom = Plus(layout.origin, Scaled(line.down_unit, line.descent));
  const Point total = layout.total;
  Path cells;
  const bool upright = line.down_unit.x == 0 && total.y == 0;
  if ((text.options & kEtoClipped) && layout.has_rect && upright) {
    const Transform& t = layout.transform;
    const Point a =
        t.Apply({static_cast<double>(text.rect.left), static_cast<double>(text.rect.top)});
    const Point b =
        t.Apply({static_cast<double>(text.rect.right), static_cast<double>(text.rect.bottom)});
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
  canvas_.FillPath(cells, FillRule::kWinding, background, kR2CopyPen);
}

// What the run says, for targets that keep text as text (the WMF writer).
void Player::DescribeText(const TextRun& text, const TextLayout& layout) {
  TextDescription description;
  if ((text.options & kEtoGlyphIndex) == 0) {
    for (uint32_t unit : text.codes) {
      // A double-byte character's second byte holds a place in the spacing, not the text.
      if (unit != kContinuationByte) {
        description.text.push_back(static_cast<char16_t>(unit));
      }
    }
  }
  const Font& font = layout.font;
  description.face = font.face;
  description.em_height = std::hypot(layout.placement.matrix.xy, layout.placement.matrix.yy);
  description.escapement = font.escapement;
  description.weight = font.weight;
  description.italic = font.italic;
  description.underline = font.underline;
  description.strike_out = font.strike_out;
  description.origin = layout.origin;
  const std::vector<cairo_glyph_t>& glyphs = layout.run.glyphs;
  for (size_t i = 0; i + 1 < glyphs.size(); ++i) {
    description.advances.push_back(
        std::hypot(glyphs[i + 1].x - glyphs[i].x, glyphs[i + 1].y - glyphs[i].y));
  }
  if (!glyphs.empty()) {
    description.advances.push_back(
        std::hypot(layout.total.x, layout.total.y) -
        std::hypot(glyphs.back().x - layout.origin.x, glyphs.back().y - layout.origin.y));
  }
  description.color = state_.text_color;
  canvas_.Text(description);
}

// Consecutive glyphs of one face are drawn together, smoothed as the font's quality, else
// that face's gasp table, asks.
void Player::DrawGlyphRuns(const TextRun& text, const TextLayout& layout) {
  const GlyphRun& run = layout.run;
  const Path* clip = (text.options & kEtoClipped) && layout.has_rect ? &layout.rect_path : nullptr;
  const uint8_t quality = layout.font.quality;
  for (size_t start = 0; start < run.glyphs.size();) {
    const size_t end = SameFaceEnd(run, start);
    const Typeface& from = *run.faces[start];
    GlyphStyle style = layout.placement.style;
    style.typeface = &from;
    style.shape.smooth = DrawnSmooth(quality, from, style.shape.ppem);
    const std::vector<cairo_glyph_t> part(run.glyphs.begin() + static_cast<ptrdiff_t>(start),
                                          run.glyphs.begin() + static_cast<ptrdiff_t>(end));
    canvas_.DrawGlyphs(from.face, layout.placement.matrix, part, state_.text_color, clip, style);
    start = end;
  }
}

// Underline and strike-out where the face puts them, in whole pixels at the drawn size, as
// bands along the text.
void Player::DrawTextDecorations(const TextLayout& layout) {
  const Font& font = layout.font;
  if (!(font.underline || font.strike_out) || layout.run.glyphs.empty()) {
    return;
  }
  const GlyphShape& shape = layout.placement.style.shape;
  const double size = shape.ppem > 0 ? shape.ppem : layout.natural_size;
  const double down_scale = shape.ppem > 0 ? std::hypot(shape.xy, shape.yy) : 1.0;
  const Point down_unit = layout.line.down_unit;
  const Paint ink = CurrentPaint(Brush{Brush::kSolid, state_.text_color, 0, nullptr, false});
  auto band = [&](double position, double thickness) {
    const double height = std::max(1.0, std::round(thickness * size));
    const double top = (-std::round(position * size) - std::floor(height / 2)) * down_scale;
    const double bottom = top + height * down_scale;
    canvas_.FillPath(Band(Plus(layout.origin, Scaled(down_unit, top)),
                          Plus(layout.origin, Scaled(down_unit, bottom)), layout.total),
                     FillRule::kWinding, ink, kR2CopyPen);
  };
  const Typeface& typeface = *layout.typeface;
  if (font.underline) {
    band(typeface.underline_position, typeface.underline_size);
  }
  if (font.strike_out) {
    band(typeface.strikeout_position, typeface.strikeout_size);
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

void Player::DrawPolyTextRecord(ByteReader& r, bool wide) {
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
  DrawPolyTextRecord(r, true);
}
void Player::PolyTextOutA(ByteReader& r) {
  DrawPolyTextRecord(r, false);
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
