// Text: TextOut and ExtTextOut as EMR_EXTTEXTOUTA, aligned and spaced as the records say.
#include <algorithm>
#include <cmath>

#include "emf/player/player.h"
#include "emf/records/code_pages.h"
#include "emf/wmf/wmf_conversion.h"

namespace emf::wmf_reading {

void Converter::SetTextAlign(ByteReader& r) {
  s_.text_align = r.U16();
  out_.Simple(kEmrSetTextAlign, {static_cast<int32_t>(s_.text_align)});
}

// Text: EMR_EXTTEXTOUTA with the record's bytes, read in the font's charset by the player. A
// plain file's run gets the spacing Windows' conversion records for it: each character's
// advance on the reference display in whole logical units.
void Converter::Text(double x, double y, uint32_t options, const RectL* rect,
                     std::span<const uint8_t> string, ByteReader* dx) {
  const uint32_t count = static_cast<uint32_t>(string.size());
  std::vector<int32_t> advances;
  if (dx != nullptr && dx->Has(static_cast<size_t>(count) * 2)) {
    for (uint32_t i = 0; i < count; ++i) {
      advances.push_back(dx->I16());
    }
  }
  const Transform page = s_.map.PageTransform();
  TextMeasure measure;
  if (!placeable_ && page.m11 != 0 && page.m22 != 0) {
    TextRun run;
    run.valid = true;
    run.codes = DecodeCodePage(string, s_.font ? s_.font->charset : 0);
    if (!advances.empty()) {
      run.dx.assign(advances.begin(), advances.end());
      run.dy.assign(advances.size(), 0);
    }
    measure = MeasureText(run, s_.font.get(), page, 0);
    if (measure.valid && advances.empty() && measure.ends.size() == count) {
      // Each character's own advance, taken back to whole logical units.
      double before = 0;
      for (double end : measure.ends) {
        advances.push_back(static_cast<int32_t>(
            std::clamp(std::round((end - before) / std::fabs(page.m11)), -1e6, 1e6)));
        before = end;
      }
    }
  }
  const uint32_t options_out = options & ~0x10u;  // 8-bit text is never glyph indices
  out_.Begin(kEmrExtTextOutA);
  out_.Zeros(16);  // bounds
  out_.U32(kGmCompatible);
  out_.F32(0);
  out_.F32(0);
  out_.I32(static_cast<int32_t>(x));
  out_.I32(static_cast<int32_t>(y));
  out_.U32(count);
  const uint32_t off_string = 76;
  const uint32_t padded = (count + 3) / 4 * 4;
  out_.U32(count != 0 ? off_string : 0);
  out_.U32(options_out);
  out_.Rect(rect != nullptr ? *rect : RectL{});
  out_.U32(advances.empty() ? 0 : off_string + padded);
  out_.Bytes(string);
  out_.Zeros(padded - count);
  for (int32_t a : advances) {
    out_.I32(a);
  }
  out_.End();

  // Bounds (a placeable file's page is its box): the box the text takes by its alignment,
  // and the rectangle it paints.
  if (placeable_ || !measure.valid) {
    return;
  }
  if (rect != nullptr && (options & 0x6) != 0) {
    AddBounds(rect->left, rect->top, rect->right - 1, rect->bottom - 1);
  }
  double width = 0;
  for (int32_t a : advances) {
    width += a;
  }
  AddTextBounds(x, y, count, width, measure);
}

// The box GDI records for a run: its width in logical units, and the cell measured on the
// reference display as the player lays it out (glyphs sized by the vertical scale, whatever
// the horizontal one) taken back to whole logical units as GDI's text metrics are, placed
// by the alignment and mapped.
void Converter::AddTextBounds(double x, double y, uint32_t count, double width,
                              const TextMeasure& measure) {
  const Transform page = s_.map.PageTransform();
  const double ascent = std::round(measure.ascent / std::fabs(page.m22));
  const double descent = std::round(measure.descent / std::fabs(page.m22));
  const uint32_t align = s_.text_align;
  double left = x, top = y;
  if (align & 1) {  // TA_UPDATECP
    left = s_.x;
    top = s_.y;
    s_.x += width;
  }
  if (count == 0) {
    return;
  }
  switch (align & 6) {
    case 6:  // TA_CENTER
      left -= width / 2;
      break;
    case 2:  // TA_RIGHT
      left -= width;
      break;
    default:
      break;
  }
  // Top-aligned text takes its cell below the reference point, bottom-aligned above it; the
  // conversion records baseline text as a cell above the baseline and the descent below it
  // (measured against the reference renderer's GDI). Logical y grows the way the device's
  // does or the other: the cell is placed in device terms.
  const double down = page.m22 > 0 ? 1 : -1;
  double text_top = top, text_bottom = top + down * (ascent + descent);
  if ((align & 24) == 24) {  // TA_BASELINE
    text_top = top - down * (ascent + descent);
    text_bottom = top + down * descent;
  } else if (align & 8) {  // TA_BOTTOM
    text_top = top - down * (ascent + descent);
    text_bottom = top;
  }
  const double sign = page.m11 > 0 ? 1 : -1;
  AddBounds(left, text_top, left + sign * width, text_bottom);
}

void Converter::TextOut(ByteReader& r) {
  const uint16_t count = r.U16();
  const auto string = r.Bytes(count);
  r.Skip(count % 2);
  const int16_t y = r.I16();
  const int16_t x = r.I16();
  if (!r.Ok()) {
    return;
  }
  Text(x, y, 0, nullptr, string, nullptr);
}

void Converter::ExtTextOut(ByteReader& r) {
  const int16_t y = r.I16();
  const int16_t x = r.I16();
  const uint16_t count = r.U16();
  const uint16_t options = r.U16();
  RectL rect;
  const bool has_rect = (options & 0x6) != 0;  // ETO_OPAQUE, ETO_CLIPPED
  if (has_rect) {
    rect.left = r.I16();
    rect.top = r.I16();
    rect.right = r.I16();
    rect.bottom = r.I16();
  }
  const auto string = r.Bytes(count);
  if (r.Remaining() > 0) {
    r.Skip(count % 2);
  }
  if (!r.Ok()) {
    return;
  }
  Text(x, y, options, has_rect ? &rect : nullptr, string, &r);
}

}  // namespace emf::wmf_reading
