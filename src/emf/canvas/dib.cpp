#include "emf/canvas/dib.h"

#include <algorithm>
#include <vector>

#include "emf/canvas/dib_payloads.h"
#include "emf/records/byte_reader.h"
#include "formats/dib_header.h"

namespace emf {
namespace {

uint32_t Argb(uint8_t r, uint8_t g, uint8_t b) {
  return 0xFF000000u | (uint32_t{r} << 16) | (uint32_t{g} << 8) | b;
}

void Fail(std::string* error, const char* reason) {
  if (error != nullptr) {
    *error = reason;
  }
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

// The colour table after the header, as opaque colours; DIB_PAL_COLORS tables hold 16-bit
// palette indices, drawn as greys. Entries the record lacks stay black.
std::vector<uint32_t> ReadColorTable(std::span<const uint8_t> info, const dib::Header& header,
                                     bool palette_indices) {
  std::vector<uint32_t> palette;
  ByteReader table(info);
  table.Seek(header.header_size);
  const size_t entry_size = palette_indices ? 2 : header.palette_entry_size;
  for (size_t i = 0; i < header.palette_entries && table.Has(entry_size); ++i) {
    if (palette_indices) {
      const uint8_t grey = static_cast<uint8_t>(table.U16());
      palette.push_back(Argb(grey, grey, grey));
    } else {
      const uint8_t b = table.U8(), g = table.U8(), r = table.U8();
      if (entry_size == 4) {
        table.U8();
      }
      palette.push_back(Argb(r, g, b));
    }
  }
  palette.resize(size_t{1} << header.bit_count, Argb(0, 0, 0));
  return palette;
}

void DecodeRleImage(std::span<const uint8_t> bits, const dib::Header& header,
                    const std::vector<uint32_t>& palette, Image& image) {
  const int width = header.width;
  const int height = header.height;
  std::vector<uint8_t> indices(static_cast<size_t>(width) * height, 0);
  DecodeRle(bits, header.compression == dib::kBiRle4, width, height, indices);
  for (int y = 0; y < height; ++y) {
    const int out_row = header.top_down ? y : height - 1 - y;
    for (int x = 0; x < width; ++x) {
      image.pixels[static_cast<size_t>(out_row) * width + x] =
          palette[indices[static_cast<size_t>(y) * width + x]];
    }
  }
}

// alpha_mask: where a pixel keeps its alpha, 0 for opaque pixels.
uint32_t Pixel32(const uint8_t* at, const dib::Header& header, uint32_t alpha_mask) {
  const uint32_t v =
      at[0] | (uint32_t{at[1]} << 8) | (uint32_t{at[2]} << 16) | (uint32_t{at[3]} << 24);
  uint32_t r = (v >> 16) & 0xFF, g = (v >> 8) & 0xFF, b = v & 0xFF;
  if (header.compression == dib::kBiBitfields) {
    r = dib::MaskedChannel(v, header.masks[0]);
    g = dib::MaskedChannel(v, header.masks[1]);
    b = dib::MaskedChannel(v, header.masks[2]);
  }
  if (alpha_mask == 0) {
    return Argb(static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b));
  }
  // Premultiplied, as AlphaBlend takes it; colours above their alpha are clamped.
  const uint32_t a = dib::MaskedChannel(v, alpha_mask);
  return (a << 24) | (std::min(a, r) << 16) | (std::min(a, g) << 8) | std::min(a, b);
}

// Where a 32-bit pixel holds its alpha: the header's own alpha mask (version 4 and later
// headers), else the byte that no colour mask takes, which is where plain 32-bit pixels
// keep it; 0 when there is none.
uint32_t AlphaMask(std::span<const uint8_t> info, const dib::Header& header) {
  constexpr size_t kAlphaMaskAt = 52;
  if (header.compression == dib::kBiBitfields && header.header_size >= kAlphaMaskAt + 4) {
    ByteReader reader(info);
    reader.Seek(kAlphaMaskAt);
    if (const uint32_t mask = reader.U32(); mask != 0) {
      return mask;
    }
  }
  constexpr uint32_t kTopByte = 0xFF000000u;
  if (header.compression == dib::kBiBitfields &&
      ((header.masks[0] | header.masks[1] | header.masks[2]) & kTopByte) != 0) {
    return 0;
  }
  return kTopByte;
}

void DecodeRow(const uint8_t* row, const dib::Header& header, const std::vector<uint32_t>& palette,
               uint32_t alpha_mask, uint32_t* out) {
  const int width = header.width;
  for (int x = 0; x < width; ++x) {
    switch (header.bit_count) {
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
        out[x] =
            Argb(dib::MaskedChannel(v, header.masks[0]), dib::MaskedChannel(v, header.masks[1]),
                 dib::MaskedChannel(v, header.masks[2]));
        break;
      }
      case 24:
        out[x] = Argb(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
        break;
      case 32:
        out[x] = Pixel32(row + 4 * x, header, alpha_mask);
        break;
      default:
        break;
    }
  }
}

// Rows that the record does not hold stay black: a short bitmap still shows what it has.
void DecodeRows(std::span<const uint8_t> bits, const dib::Header& header,
                const std::vector<uint32_t>& palette, uint32_t alpha_mask, Image& image) {
  const size_t stride = static_cast<size_t>(header.stride);
  const int rows = static_cast<int>(std::min<size_t>(header.height, bits.size() / stride));
  for (int y = 0; y < rows; ++y) {
    uint32_t* out = image.pixels.data() +
                    static_cast<size_t>(header.top_down ? y : header.height - 1 - y) * header.width;
    DecodeRow(bits.data() + static_cast<size_t>(y) * stride, header, palette, alpha_mask, out);
  }
}

}  // namespace

std::optional<Image> DecodeDib(std::span<const uint8_t> info, std::span<const uint8_t> bits,
                               bool keep_alpha, bool palette_indices, std::string* error) {
  dib::Header header;
  if (const dib::Check check = dib::ReadHeader(info, kMaxDibPixels, header);
      check != dib::Check::kOk) {
    Fail(error, dib::CheckReason(check));
    return std::nullopt;
  }
  // A JPEG or PNG file in place of the bits, as printers that take them are sent: its own
  // size and rows, top-down, whatever the header says.
  if (header.compression == dib::kBiJpeg) {
    return DecodeJpegPayload(bits, error);
  }
  if (header.compression == dib::kBiPng) {
    return DecodePngPayload(bits, error);
  }
  std::vector<uint32_t> palette;
  if (header.bit_count <= 8) {
    palette = ReadColorTable(info, header, palette_indices);
  }
  Image image;
  image.width = header.width;
  image.height = header.height;
  image.has_alpha = keep_alpha && header.bit_count == 32;
  image.pixels.assign(static_cast<size_t>(header.width) * header.height, Argb(0, 0, 0));
  if (header.compression == dib::kBiRle8 || header.compression == dib::kBiRle4) {
    DecodeRleImage(bits, header, palette, image);
  } else {
    DecodeRows(bits, header, palette, image.has_alpha ? AlphaMask(info, header) : 0, image);
  }
  return image;
}

}  // namespace emf
