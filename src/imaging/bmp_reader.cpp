#include "imaging/bmp_reader.h"

#include <cmath>
#include <cstring>
#include <vector>

namespace imaging {
namespace {

uint32_t U32(std::span<const uint8_t> b, size_t at) {
  return b[at] | (uint32_t{b[at + 1]} << 8) | (uint32_t{b[at + 2]} << 16) |
         (uint32_t{b[at + 3]} << 24);
}
uint16_t U16(std::span<const uint8_t> b, size_t at) {
  return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

bool Fail(std::string* error, const char* reason) {
  *error = reason;
  return false;
}

uint8_t Channel(uint32_t pixel, uint32_t mask) {
  if (mask == 0) {
    return 0;
  }
  int shift = 0;
  while (((mask >> shift) & 1) == 0) {
    ++shift;
  }
  return static_cast<uint8_t>(((pixel & mask) >> shift) * 255 / (mask >> shift));
}

}  // namespace

bool ReadBmp(std::span<const uint8_t> bytes, Image& image, std::string* error) {
  if (bytes.size() < 26 || bytes[0] != 'B' || bytes[1] != 'M') {
    return Fail(error, "not a BMP file");
  }
  const uint32_t pixel_offset = U32(bytes, 10);
  const uint32_t header_size = U32(bytes, 14);
  if (header_size != 12 && (header_size < 40 || header_size > 124)) {
    return Fail(error, "BMP header of an unknown size");
  }
  if (bytes.size() < 14 + header_size) {
    return Fail(error, "BMP file cut in its header");
  }
  const bool core = header_size == 12;
  const int64_t width = core ? U16(bytes, 18) : static_cast<int32_t>(U32(bytes, 18));
  const int64_t raw_height = core ? U16(bytes, 20) : static_cast<int32_t>(U32(bytes, 22));
  const uint16_t bpp = core ? U16(bytes, 24) : U16(bytes, 28);
  const uint32_t compression = core ? 0 : U32(bytes, 30);
  const bool top_down = raw_height < 0;
  const int64_t height = top_down ? -raw_height : raw_height;
  if (width <= 0 || height <= 0 ||
      static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > kMaxPixels) {
    return Fail(error, "BMP size out of range");
  }
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) {
    return Fail(error, "BMP depth not supported");
  }
  if (compression != 0 && !(compression == 3 && (bpp == 16 || bpp == 32))) {
    return Fail(error, "compressed BMP files are not read");
  }
  const uint64_t stride = (static_cast<uint64_t>(width) * bpp + 31) / 32 * 4;
  if (pixel_offset > bytes.size() || stride * height > bytes.size() - pixel_offset) {
    return Fail(error, "BMP file cut in its pixels");
  }
  std::vector<Rgb> palette;
  if (bpp <= 8) {
    const uint32_t used = core ? 0 : U32(bytes, 46);
    const size_t entries = used != 0 && used < (1u << bpp) ? used : (size_t{1} << bpp);
    const size_t entry_size = core ? 3 : 4;
    size_t at = 14 + header_size;
    for (size_t i = 0; i < entries && at + entry_size <= pixel_offset; ++i, at += entry_size) {
      palette.push_back(Rgb{bytes[at + 2], bytes[at + 1], bytes[at]});
    }
    palette.resize(size_t{1} << bpp);
  }
  uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
  if (bpp == 32) {
    masks[0] = 0xFF0000;
    masks[1] = 0xFF00;
    masks[2] = 0xFF;
  }
  if (compression == 3) {
    const size_t at = 14 + 40;
    if (at + 12 > bytes.size()) {
      return Fail(error, "BMP file cut in its masks");
    }
    masks[0] = U32(bytes, at);
    masks[1] = U32(bytes, at + 4);
    masks[2] = U32(bytes, at + 8);
  }
  image.Reset(static_cast<int>(width), static_cast<int>(height), bpp, palette);
  for (int64_t y = 0; y < height; ++y) {
    const uint8_t* src =
        bytes.data() + pixel_offset + stride * static_cast<uint64_t>(top_down ? y : height - 1 - y);
    uint8_t* out = image.Row(static_cast<int>(y));
    for (int64_t x = 0; x < width; ++x) {
      switch (bpp) {
        case 1:
          out[x] = (src[x / 8] >> (7 - x % 8)) & 1;
          break;
        case 4:
          out[x] = (src[x / 2] >> ((x & 1) ? 0 : 4)) & 0xF;
          break;
        case 8:
          out[x] = src[x];
          break;
        case 16: {
          const uint32_t v = src[2 * x] | (uint32_t{src[2 * x + 1]} << 8);
          out[3 * x] = Channel(v, masks[0]);
          out[3 * x + 1] = Channel(v, masks[1]);
          out[3 * x + 2] = Channel(v, masks[2]);
          break;
        }
        case 24:
          out[3 * x] = src[3 * x + 2];
          out[3 * x + 1] = src[3 * x + 1];
          out[3 * x + 2] = src[3 * x];
          break;
        case 32: {
          const uint32_t v = U32({src + 4 * x, 4}, 0);
          out[3 * x] = Channel(v, masks[0]);
          out[3 * x + 1] = Channel(v, masks[1]);
          out[3 * x + 2] = Channel(v, masks[2]);
          break;
        }
        default:
          break;
      }
    }
  }
  if (!core) {
    const uint32_t x_ppm = U32(bytes, 38);
    const uint32_t y_ppm = U32(bytes, 42);
    if (x_ppm > 0 && y_ppm > 0) {
      image.SetXDPI(static_cast<int>(std::lround(x_ppm * 0.0254)));
      image.SetYDPI(static_cast<int>(std::lround(y_ppm * 0.0254)));
    }
  }
  return true;
}

}  // namespace imaging
