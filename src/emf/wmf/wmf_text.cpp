// Text: TextOut and ExtTextOut as EMR_EXTTEXTOUTA, aligned and spaced as the records say.
#include <algorithm>
#include <cmath>

#include "emf/wmf/wmf_conversion.h"

namespace emf::wmf_reading {

void Converter::SetTextAlign(ByteReader& r) {
  s_.text_align = r.U16();
  out_.Simple(kEmrSetTextAlign, {static_cast<int32_t>(s_.text_align)});
}

// Text: EMR_EXTTEXTOUTA with the record's bytes, read in the font's charset by the player.
void Converter::Text(double x, double y, uint32_t options, const RectL* rect,
                     std::span<const uint8_t> string, ByteReader* dx) {
  const uint32_t count = static_cast<uint32_t>(string.size());
  std::vector<int32_t> advances;
  if (dx != nullptr && dx->Has(static_cast<size_t>(count) * 2)) {
    for (uint32_t i = 0; i < count; ++i) {
      advances.push_back(dx->I16());
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

  // Bounds: the box the text takes by its alignment, and the rectangle it paints.
  if (rect != nullptr && (options & 0x6) != 0) {
    AddBounds(rect->left, rect->top, rect->right - 1, rect->bottom - 1);
  }
  double width = 0;
  double ascent = 0, descent = 0;
  const Font* font = s_.font.get();
  Font system;  // the DC's default font: the system face, 16 pixels
  system.height = 16;
  system.face = "System";
  if (font == nullptr) {
    font = &system;
  }
  const Typeface& face = TypefaceFor(*font);
  const double cell = face.ascent + face.descent > 0 ? face.ascent + face.descent : 1;
  const double em = font->height < 0    ? -static_cast<double>(font->height)
                    : font->height == 0 ? 12
                                        : font->height / cell;
  ascent = std::round(face.ascent * em);
  descent = std::round(face.descent * em);
  if (!advances.empty()) {
    for (int32_t a : advances) {
      width += a;
    }
  } else {
    width = std::round(face.average_width * em) * count;
  }
  const uint32_t align = s_.text_align;
  double left = x, top = y;
  if (align & 1) {  // TA_UPDATECP
    left = s_.x;
    top = s_.y;
    s_.x += width;
  }
  switch (align & 6) {
    case 6:
      left -= width / 2;
      break;  // TA_CENTER
    case 2:
      left -= width;
      break;  // TA_RIGHT
    default:
      break;
  }
  // Top-aligned text takes its cell below the reference point, bottom-aligned above it; the
  // conversion records baseline text as a cell above the baseline and the descent below it
  // (measured against the reference renderer's GDI).
  double text_top = top, text_bottom = top + ascent + descent;
  if ((align & 24) == 24) {  // TA_BASELINE
    text_top = top - ascent - descent;
    text_bottom = top + descent;
  } else if (align & 8) {  // TA_BOTTOM
    text_top = top - ascent - descent;
    text_bottom = top;
  }
  if (count != 0) {
    AddBounds(left, text_top, left + width, text_bottom);
  }
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
