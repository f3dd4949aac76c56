// Bitmaps as the records carry them: DIBs (their palette indices resolved), the old
// device-dependent bitmaps, and the transfers that draw them.
#include <algorithm>
#include <cmath>

#include "emf/wmf/wmf_conversion.h"

namespace emf::wmf_reading {

// --- Bitmaps ---------------------------------------------------------------------------

// The size of a DIB's BITMAPINFO (header, masks, colour table), checked against the bytes
// there are; 0 when the header is not one a bitmap can have.
size_t DibInfoSize(std::span<const uint8_t> dib, bool palette_indices) {
  ByteReader r(dib);
  const uint32_t header_size = r.U32();
  if (!r.Ok() || header_size < 12 || header_size > dib.size()) {
    return 0;
  }
  uint16_t bit_count = 0;
  uint32_t compression = 0, used = 0;
  if (header_size == 12) {
    r.Seek(10);
    bit_count = r.U16();
  } else if (header_size >= 40) {
    r.Seek(14);
    bit_count = r.U16();
    compression = r.U32();
    r.Seek(32);
    used = r.U32();
  } else {
    return 0;
  }
  uint64_t colours = used;
  if (bit_count <= 8 && bit_count > 0) {
    const uint64_t full = uint64_t{1} << bit_count;
    colours = used != 0 && used < full ? used : full;
  }
  const uint64_t entry = palette_indices ? 2 : (header_size == 12 ? 3 : 4);
  const uint64_t masks = header_size == 40 && compression == 3 ? 12 : 0;
  const uint64_t size = header_size + masks + colours * entry;
  if (!r.Ok() || colours > dib.size() || size > dib.size()) {
    return 0;
  }
  return static_cast<size_t>(size);
}

// A DIB with its colour table in RGB: DIB_PAL_COLORS indices become the selected palette's
// colours, as a true-colour device shows them.
std::optional<std::vector<uint8_t>> Converter::ResolvedDib(std::span<const uint8_t> dib,
                                                           uint32_t usage) {
  const bool indices = usage == kDibPalColors;
  const size_t info = DibInfoSize(dib, indices);
  if (info == 0) {
    return std::nullopt;
  }
  if (!indices) {
    return std::vector<uint8_t>(dib.begin(), dib.end());
  }
  ByteReader r(dib);
  const uint32_t header_size = r.U32();
  const size_t table_at = header_size + (header_size == 40 &&
                                                 [&] {
                                                   ByteReader c(dib);
                                                   c.Seek(16);
                                                   return c.U32() == 3;
                                                 }()
                                             ? 12
                                             : 0);
  std::vector<uint8_t> out(dib.begin(), dib.begin() + static_cast<std::ptrdiff_t>(table_at));
  const Palette& palette = CurrentPalette();
  const bool core = header_size == 12;
  for (size_t at = table_at; at + 1 < info; at += 2) {
    const size_t index = dib[at] | (dib[at + 1] << 8);
    const PaletteEntry e = index < palette.size() ? palette[index] : palette.front();
    out.push_back(e.b);
    out.push_back(e.g);
    out.push_back(e.r);
    if (!core) {
      out.push_back(0);
    }
  }
  out.insert(out.end(), dib.begin() + static_cast<std::ptrdiff_t>(info), dib.end());
  return out;
}

// A device-dependent bitmap (BITMAP16 and its bits) as a DIB, rows top-down; 1, 4, 8, 24 and
// 32 bits per pixel in one plane. Monochrome ones keep black and white, so a brush made of
// them takes the text and background colours.
std::optional<std::vector<uint8_t>> Converter::DibFromBitmap16(ByteReader& r,
                                                               bool monochrome_colours,
                                                               bool* monochrome) {
  r.I16();  // type
  const int16_t width = r.I16();
  const int16_t height = r.I16();
  const int16_t width_bytes = r.I16();
  const uint8_t planes = r.U8();
  const uint8_t bits_pixel = r.U8();
  const uint16_t bit_count = static_cast<uint16_t>(planes * bits_pixel);
  if (!r.Ok() || width <= 0 || height <= 0 || width_bytes <= 0 || planes != 1 ||
      (bit_count != 1 && bit_count != 4 && bit_count != 8 && bit_count != 24 && bit_count != 32)) {
    return std::nullopt;
  }
  const uint64_t row_needed = (static_cast<uint64_t>(width) * bit_count + 7) / 8;
  const uint64_t stride = (static_cast<uint64_t>(width) * bit_count + 31) / 32 * 4;
  const uint64_t source_size = static_cast<uint64_t>(width_bytes) * height;
  if (row_needed > static_cast<uint64_t>(width_bytes) || !r.Has(source_size)) {
    return std::nullopt;
  }
  // Indexed depths other than 1 need a palette the record lacks: the default one.
  const uint32_t colours = bit_count <= 8 ? (1u << bit_count) : 0;
  std::vector<uint8_t> dib(40 + colours * 4 + stride * static_cast<uint64_t>(height));
  auto put32 = [&dib](size_t at, uint32_t v) { std::memcpy(dib.data() + at, &v, 4); };
  put32(0, 40);
  put32(4, static_cast<uint32_t>(width));
  put32(8, static_cast<uint32_t>(-static_cast<int32_t>(height)));
  dib[12] = 1;
  dib[14] = static_cast<uint8_t>(bit_count);
  put32(32, colours);
  const Palette& palette = DefaultPalette();
  for (uint32_t i = 0; i < colours; ++i) {
    PaletteEntry e;
    if (bit_count == 1) {
      const uint32_t c = !monochrome_colours ? (i == 0 ? 0 : 0xFFFFFF)
                         : i == 0            ? s_.text_color
                                             : s_.bk_color;
      e = {static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c >> 16)};
    } else if (i < 10 || i >= colours - 10) {
      e = palette[i < 10 ? i : i - (colours - 20)];
    }
    dib[40 + i * 4] = e.b;
    dib[41 + i * 4] = e.g;
    dib[42 + i * 4] = e.r;
  }
  const size_t bits_at = 40 + colours * 4;
  for (int16_t y = 0; y < height; ++y) {
    const auto row = r.Bytes(static_cast<size_t>(width_bytes));
    std::memcpy(dib.data() + bits_at + static_cast<size_t>(y) * stride, row.data(),
                static_cast<size_t>(row_needed));
  }
  *monochrome = bit_count == 1;
  return dib;
}

bool Converter::DibTransfer(int32_t dx, int32_t dy, int32_t dw, int32_t dh, int32_t sx, int32_t sy,
                            int32_t sw, int32_t sh, uint32_t rop, uint32_t usage,
                            std::span<const uint8_t> dib_bytes) {
  const auto dib = ResolvedDib(dib_bytes, usage);
  if (!dib) {
    Skip(current_, "bad bitmap");
    return false;
  }
  const size_t info = DibInfoSize(*dib, false);
  out_.Begin(kEmrStretchDIBits);
  out_.Zeros(16);  // bounds
  out_.I32(dx);
  out_.I32(dy);
  out_.I32(sx);
  out_.I32(sy);
  out_.I32(sw);
  out_.I32(sh);
  out_.U32(80);
  out_.U32(static_cast<uint32_t>(info));
  out_.U32(static_cast<uint32_t>(80 + info));
  out_.U32(static_cast<uint32_t>(dib->size() - info));
  out_.U32(kDibRgbColors);
  out_.U32(rop);
  out_.I32(dw);
  out_.I32(dh);
  out_.Bytes(*dib);
  out_.End();
  AddBounds(dx, dy, static_cast<double>(dx) + dw - 1, static_cast<double>(dy) + dh - 1);
  return true;
}

// A transfer without a source: the brush and the destination only.
void Converter::NoSourceBlt(int32_t dx, int32_t dy, int32_t dw, int32_t dh, uint32_t rop) {
  out_.Begin(kEmrBitBlt);
  out_.Zeros(16);
  out_.I32(dx);
  out_.I32(dy);
  out_.I32(dw);
  out_.I32(dh);
  out_.U32(rop);
  out_.I32(0);
  out_.I32(0);
  out_.F32(1);  // identity transform of the (absent) source
  out_.F32(0);
  out_.F32(0);
  out_.F32(1);
  out_.F32(0);
  out_.F32(0);
  out_.U32(0);  // background colour
  out_.U32(0);  // usage
  out_.Zeros(16);
  out_.End();
  AddBounds(dx, dy, static_cast<double>(dx) + dw - 1, static_cast<double>(dy) + dh - 1);
}

void Converter::PatBlt(ByteReader& r) {
  const uint32_t rop = r.U32();
  const int16_t h = r.I16();
  const int16_t w = r.I16();
  const int16_t y = r.I16();
  const int16_t x = r.I16();
  NoSourceBlt(x, y, w, h, rop);
}

// The records of a DIB transfer without a bitmap carry one reserved word more; which one a
// record is shows in its size against the size its function's high byte gives.
bool WithoutBitmap(ByteReader& r, uint16_t function) {
  return r.All().size() / 2 == static_cast<size_t>((function >> 8) + 3);
}

void Converter::DibBitBlt(ByteReader& r) {
  const bool no_bitmap = WithoutBitmap(r, kMetaDibBitBlt);
  const uint32_t rop = r.U32();
  const int16_t sy = r.I16();
  const int16_t sx = r.I16();
  if (no_bitmap) {
    r.U16();
  }
  const int16_t h = r.I16();
  const int16_t w = r.I16();
  const int16_t y = r.I16();
  const int16_t x = r.I16();
  if (!r.Ok()) {
    return;
  }
  if (no_bitmap) {
    NoSourceBlt(x, y, w, h, rop);
    return;
  }
  DibTransfer(x, y, w, h, sx, sy, w, h, rop, kDibRgbColors, r.Bytes(r.Remaining()));
}

void Converter::DibStretchBlt(ByteReader& r) {
  const bool no_bitmap = WithoutBitmap(r, kMetaDibStretchBlt);
  const uint32_t rop = r.U32();
  const int16_t sh = r.I16();
  const int16_t sw = r.I16();
  const int16_t sy = r.I16();
  const int16_t sx = r.I16();
  if (no_bitmap) {
    r.U16();
  }
  const int16_t h = r.I16();
  const int16_t w = r.I16();
  const int16_t y = r.I16();
  const int16_t x = r.I16();
  if (!r.Ok()) {
    return;
  }
  if (no_bitmap) {
    NoSourceBlt(x, y, w, h, rop);
    return;
  }
  DibTransfer(x, y, w, h, sx, sy, sw, sh, rop, kDibRgbColors, r.Bytes(r.Remaining()));
}

void Converter::StretchDib(ByteReader& r) {
  const uint32_t rop = r.U32();
  const uint16_t usage = r.U16();
  const int16_t sh = r.I16();
  const int16_t sw = r.I16();
  const int16_t sy = r.I16();
  const int16_t sx = r.I16();
  const int16_t h = r.I16();
  const int16_t w = r.I16();
  const int16_t y = r.I16();
  const int16_t x = r.I16();
  if (!r.Ok()) {
    return;
  }
  DibTransfer(x, y, w, h, sx, sy, sw, sh, rop, usage, r.Bytes(r.Remaining()));
}

void Converter::SetDibToDev(ByteReader& r) {
  const uint16_t usage = r.U16();
  const uint16_t scans = r.U16();
  const uint16_t start = r.U16();
  const int16_t sy = r.I16();
  const int16_t sx = r.I16();
  const int16_t h = r.I16();
  const int16_t w = r.I16();
  const int16_t y = r.I16();
  const int16_t x = r.I16();
  const auto dib = ResolvedDib(r.Bytes(r.Remaining()), usage);
  if (!r.Ok()) {
    return;
  }
  if (!dib) {
    Skip(current_, "bad bitmap");
    return;
  }
  const size_t info = DibInfoSize(*dib, false);
  out_.Begin(kEmrSetDIBitsToDevice);
  out_.Zeros(16);
  out_.I32(x);
  out_.I32(y);
  out_.I32(sx);
  out_.I32(sy);
  out_.I32(w);
  out_.I32(h);
  out_.U32(76);
  out_.U32(static_cast<uint32_t>(info));
  out_.U32(static_cast<uint32_t>(76 + info));
  out_.U32(static_cast<uint32_t>(dib->size() - info));
  out_.U32(kDibRgbColors);
  out_.U32(start);
  out_.U32(scans);
  out_.Bytes(*dib);
  out_.End();
  AddBounds(x, y, static_cast<double>(x) + w - 1, static_cast<double>(y) + h - 1);
}

// The old transfers carry a device-dependent bitmap.
void Converter::BitBlt(ByteReader& r) {
  const uint32_t rop = r.U32();
  const int16_t sy = r.I16();
  const int16_t sx = r.I16();
  const int16_t h = r.I16();
  const int16_t w = r.I16();
  const int16_t y = r.I16();
  const int16_t x = r.I16();
  bool monochrome = false;
  const auto dib = DibFromBitmap16(r, true, &monochrome);
  if (!r.Ok()) {
    return;
  }
  if (!dib) {
    Skip(current_, "bad bitmap");
    return;
  }
  DibTransfer(x, y, w, h, sx, sy, w, h, rop, kDibRgbColors, *dib);
}

void Converter::StretchBlt(ByteReader& r) {
  const uint32_t rop = r.U32();
  const int16_t sh = r.I16();
  const int16_t sw = r.I16();
  const int16_t sy = r.I16();
  const int16_t sx = r.I16();
  const int16_t h = r.I16();
  const int16_t w = r.I16();
  const int16_t y = r.I16();
  const int16_t x = r.I16();
  bool monochrome = false;
  const auto dib = DibFromBitmap16(r, true, &monochrome);
  if (!r.Ok()) {
    return;
  }
  if (!dib) {
    Skip(current_, "bad bitmap");
    return;
  }
  DibTransfer(x, y, w, h, sx, sy, sw, sh, rop, kDibRgbColors, *dib);
}

}  // namespace emf::wmf_reading
