// BMP: palettes as they are, colour as 24 bits; the resolution in pixels per metre.
#include <cmath>

#include "imaging/encoders.h"
#include "imaging/encoders/file_writer.h"

namespace imaging {

bool SaveBmp(const Image& image, const std::string& path, std::string* error) {
  FileWriter out(path);
  if (!out.Open()) {
    *error = "cannot create " + path;
    return false;
  }
  const int bpp = image.indexed() ? (image.bpp() == 1 ? 1 : image.bpp() == 4 ? 4 : 8) : 24;
  const uint32_t colors = bpp <= 8 ? (1u << bpp) : 0;
  const uint32_t stride = (static_cast<uint32_t>(image.width()) * bpp + 31) / 32 * 4;
  const uint32_t image_size = stride * static_cast<uint32_t>(image.height());
  const uint32_t offset = 54 + 4 * colors;
  out.U8('B');
  out.U8('M');
  out.U32(offset + image_size);
  out.U32(0);
  out.U32(offset);
  out.U32(40);
  out.U32(static_cast<uint32_t>(image.width()));
  out.U32(static_cast<uint32_t>(image.height()));
  out.U16(1);
  out.U16(static_cast<uint16_t>(bpp));
  out.U32(0);
  out.U32(image_size);
  out.U32(static_cast<uint32_t>(std::lround(image.x_dpi() / 0.0254)));
  out.U32(static_cast<uint32_t>(std::lround(image.y_dpi() / 0.0254)));
  out.U32(colors);
  out.U32(0);
  for (uint32_t i = 0; i < colors; ++i) {
    const Rgb c = i < image.palette().size() ? image.palette()[i] : Rgb{};
    out.U8(c.b);
    out.U8(c.g);
    out.U8(c.r);
    out.U8(0);
  }
  std::string row(stride, '\0');
  for (int y = image.height() - 1; y >= 0; --y) {
    std::fill(row.begin(), row.end(), '\0');
    const uint8_t* src = image.Row(y);
    for (int x = 0; x < image.width(); ++x) {
      if (bpp == 24) {
        row[3 * x] = static_cast<char>(src[3 * x + 2]);
        row[3 * x + 1] = static_cast<char>(src[3 * x + 1]);
        row[3 * x + 2] = static_cast<char>(src[3 * x]);
      } else if (bpp == 8) {
        row[x] = static_cast<char>(src[x]);
      } else if (bpp == 4) {
        row[x / 2] = static_cast<char>(row[x / 2] | ((src[x] & 0xF) << ((x & 1) ? 0 : 4)));
      } else {
        row[x / 8] = static_cast<char>(row[x / 8] | ((src[x] & 1) << (7 - x % 8)));
      }
    }
    out.Bytes(row.data(), row.size());
  }
  return out.Finish(error);
}

}  // namespace imaging
