#include "emf/dib.h"

#include <algorithm>
#include <vector>

#include "emf/byte_reader.h"
#include "emf/dib_payloads.h"

namespace emf {
namespace {

constexpr uint32_t kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitfields = 3, kBiJpeg = 4, kBiPng = 5;

uint32_t Argb(uint8_t r, uint8_t g, uint8_t b) {
  return 0xFF000000u | (uint32_t{r} << 16) | (uint32_t{g} << 8) | b;
}

// Scales a masked channel to eight bits.
uint8_t Channel(uint32_t pixel, uint32_t mask) {
  if (mask == 0) {
    return 0;
  }
  int shift = 0;
  while (((mask >> shift) & 1) == 0) {
    ++shift;
  }
  const uint32_t max = mask >> shift;
  return static_cast<uint8_t>(((pixel & mask) >> shift) * 255 / max);
}

bool Fail(std::string* error, const char* reason) {
  if (error != nullptr) {
    *error = reason;
  }
  return false;
}

// Run-length encoded 8- or 4-bit bitmaps into one palette index a pixel (bottom-up rows).
void DecodeRle(std::span<const uint8_t> bits, bool four_bit, int width, int height,
               std::vector<uint8_t>& indices) {
  int x = 0;
  int y = 0;
  size_t i = 0;
  auto put = [&](uint8_t index) {
    if (x >= 0 && x < width && y >= 0 && y < height) {
      indices[static_cast<size_t>(y) * width + x] = index;
    }
    ++x;
  };
  while (i + 1 < bits.size() && y < height) {
    const uint8_t count = bits[i];
    const uint8_t value = bits[i + 1];
    i += 2;
    if (count > 0) {
      for (int k = 0; k < count; ++k) {
        put(four_bit ? ((k & 1) ? value & 0x0F : value >> 4) : value);
      }
      continue;
    }
    if (value == 0) {  // end of line
      x = 0;
      ++y;
    } else if (value == 1) {  // end of bitmap
      break;
    } else if (value == 2) {  // delta
      if (i + 1 >= bits.size()) {
        break;
      }
      x += bits[i];
      y += bits[i + 1];
      i += 2;
    } else {  // absolute run, padded to a 16-bit boundary
      const size_t bytes = four_bit ? (value + 1u) / 2 : value;
      for (int k = 0; k < value; ++k) {
        const size_t at = i + (four_bit ? k / 2 : k);
        if (at >= bits.size()) {
          break;
        }
        put(four_bit ? ((k & 1) ? bits[at] & 0x0F : bits[at] >> 4) : bits[at]);
      }
      i += (bytes + 1) & ~size_t{1};
    }
  }
}

}  // namespace

std::optional<DibInfo> ReadDibInfo(std::span<const uint8_t> info) {
  ByteReader r(info);
  const uint32_t size = r.U32();
  DibInfo dib;
  if (size == 12) {  // BITMAPCOREHEADER
    dib.width = r.U16();
    dib.height = r.U16();
    r.U16();
    dib.bit_count = r.U16();
  } else if (size >= 40) {
    dib.width = r.I32();
    dib.height = r.I32();
    r.U16();
    dib.bit_count = r.U16();
    dib.compression = r.U32();
  } else {
    return std::nullopt;
  }
  if (!r.Ok()) {
    return std::nullopt;
  }
  return dib;
}

std::optional<Image> DecodeDib(std::span<const uint8_t> info, std::span<const uint8_t> bits,
                               bool keep_alpha, bool palette_indices, std::string* error) {
  const auto dib = ReadDibInfo(info);
  if (!dib) {
    Fail(error, "bitmap header too short or of an unknown size");
    return std::nullopt;
  }
  ByteReader r(info);
  const uint32_t header_size = r.U32();
  const int width = dib->width;
  const bool top_down = dib->height < 0;
  const int64_t height64 = top_down ? -static_cast<int64_t>(dib->height) : dib->height;
  if (width <= 0 || height64 <= 0 ||
      static_cast<uint64_t>(width) * static_cast<uint64_t>(height64) > kMaxDibPixels) {
    Fail(error, "bitmap size out of range");
    return std::nullopt;
  }
  const int height = static_cast<int>(height64);
  const int bpp = dib->bit_count;
  // A JPEG or PNG file in place of the bits, as printers that take them are sent: its own
  // size and rows, top-down, whatever the header says.
  if (dib->compression == kBiJpeg) {
    return DecodeJpegPayload(bits, error);
  }
  if (dib->compression == kBiPng) {
    return DecodePngPayload(bits, error);
  }
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) {
    Fail(error, "unsupported bits per pixel");
    return std::nullopt;
  }
  // The colour table, or the masks of BI_BITFIELDS.
  std::vector<uint32_t> palette;
  uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
  if (bpp == 32) {
    masks[0] = 0xFF0000;
    masks[1] = 0xFF00;
    masks[2] = 0xFF;
  }
  if (bpp <= 8) {
    ByteReader table(info);
    table.Seek(header_size);
    uint32_t used = 0;
    if (header_size >= 40) {
      ByteReader counts(info);
      counts.Seek(32);
      used = counts.U32();
    }
    const uint32_t entries = used != 0 && used < (1u << bpp) ? used : (1u << bpp);
    const size_t entry_size = palette_indices ? 2 : (header_size == 12 ? 3 : 4);
    for (uint32_t i = 0; i < entries && table.Has(entry_size); ++i) {
      if (palette_indices) {
        const uint8_t grey = static_cast<uint8_t>(table.U16());
        palette.push_back(Argb(grey, grey, grey));
      } else {
        const uint8_t b = table.U8(), g = table.U8(), rr = table.U8();
        if (entry_size == 4) {
          table.U8();
        }
        palette.push_back(Argb(rr, g, b));
      }
    }
    palette.resize(size_t{1} << bpp, Argb(0, 0, 0));
  } else if (dib->compression == kBiBitfields) {
    ByteReader m(info);
    m.Seek(40);
    masks[0] = m.U32();
    masks[1] = m.U32();
    masks[2] = m.U32();
  }

  Image image;
  image.width = width;
  image.height = height;
  image.has_alpha = keep_alpha && bpp == 32;
  image.pixels.assign(static_cast<size_t>(width) * height, Argb(0, 0, 0));

  if (dib->compression == kBiRle8 || dib->compression == kBiRle4) {
    if (bpp != (dib->compression == kBiRle8 ? 8 : 4)) {
      Fail(error, "run-length coding that does not fit the depth");
      return std::nullopt;
    }
    std::vector<uint8_t> indices(static_cast<size_t>(width) * height, 0);
    DecodeRle(bits, dib->compression == kBiRle4, width, height, indices);
    for (int y = 0; y < height; ++y) {
      const int out_row = top_down ? y : height - 1 - y;
      for (int x = 0; x < width; ++x) {
        image.pixels[static_cast<size_t>(out_row) * width + x] =
            palette[indices[static_cast<size_t>(y) * width + x]];
      }
    }
    return image;
  }
  if (dib->compression != kBiRgb && dib->compression != kBiBitfields) {
    Fail(error, "unknown bitmap compression");
    return std::nullopt;
  }
  const size_t stride = ((static_cast<size_t>(width) * bpp + 31) / 32) * 4;
  // Rows that the record does not hold stay black: a short bitmap still shows what it has.
  const int rows = static_cast<int>(std::min<size_t>(height, bits.size() / stride));
  for (int y = 0; y < rows; ++y) {
    const uint8_t* row = bits.data() + static_cast<size_t>(y) * stride;
    uint32_t* out =
        image.pixels.data() + static_cast<size_t>(top_down ? y : height - 1 - y) * width;
    for (int x = 0; x < width; ++x) {
      switch (bpp) {
        case 1:
          out[x] = palette[(row[x / 8] >> (7 - x % 8)) & 1];
          break;
        case 4:
          out[x] = palette[(row[x / 2] >> ((x & 1) ? 0 : 4)) & 0xF];
          break;
        case 8:
          out[x] = palette[row[x]];
          break;
        case 16: {
          const uint32_t v = row[2 * x] | (uint32_t{row[2 * x + 1]} << 8);
          out[x] = Argb(Channel(v, masks[0]), Channel(v, masks[1]), Channel(v, masks[2]));
          break;
        }
        case 24:
          out[x] = Argb(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
          break;
        case 32: {
          const uint32_t v = row[4 * x] | (uint32_t{row[4 * x + 1]} << 8) |
                             (uint32_t{row[4 * x + 2]} << 16) | (uint32_t{row[4 * x + 3]} << 24);
          if (dib->compression == kBiBitfields) {
            out[x] = Argb(Channel(v, masks[0]), Channel(v, masks[1]), Channel(v, masks[2]));
          } else if (image.has_alpha) {
            // Premultiplied, as AlphaBlend takes it; colours above their alpha are clamped.
            const uint8_t a = static_cast<uint8_t>(v >> 24);
            const uint8_t rr = std::min<uint8_t>(a, (v >> 16) & 0xFF);
            const uint8_t g = std::min<uint8_t>(a, (v >> 8) & 0xFF);
            const uint8_t b = std::min<uint8_t>(a, v & 0xFF);
            out[x] = (uint32_t{a} << 24) | (uint32_t{rr} << 16) | (uint32_t{g} << 8) | b;
          } else {
            out[x] = 0xFF000000u | (v & 0xFFFFFF);
          }
          break;
        }
        default:
          break;
      }
    }
  }
  return image;
}

}  // namespace emf
