// PNG through libpng: palettes at their own depth, colour as 8-bit RGB; pHYs carries the
// resolution.
#include <png.h>

#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <vector>

#include "imaging/encoders.h"

namespace imaging {

bool SavePng(const Image& image, const std::string& path, std::string* error) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    *error = "cannot create " + path;
    return false;
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (png == nullptr || info == nullptr) {
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    *error = "libpng could not start";
    return false;
  }
  std::vector<png_byte> row;
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    *error = "libpng could not write " + path;
    return false;
  }
  png_init_io(png, file);
  const bool indexed = image.indexed();
  const int depth = indexed ? (image.bpp() <= 1 ? 1 : image.bpp() <= 4 ? 4 : 8) : 8;
  png_set_IHDR(png, info, static_cast<png_uint_32>(image.width()),
               static_cast<png_uint_32>(image.height()), depth,
               indexed ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  std::vector<png_color> palette;
  if (indexed) {
    for (size_t i = 0; i < (size_t{1} << depth); ++i) {
      const Rgb c = i < image.palette().size() ? image.palette()[i] : Rgb{};
      palette.push_back(png_color{c.r, c.g, c.b});
    }
    png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
  }
  png_set_pHYs(png, info, static_cast<png_uint_32>(std::lround(image.x_dpi() / 0.0254)),
               static_cast<png_uint_32>(std::lround(image.y_dpi() / 0.0254)), PNG_RESOLUTION_METER);
  png_set_compression_level(png, 6);
  png_write_info(png, info);
  if (indexed && depth < 8) {
    png_set_packing(png);
  }
  for (int y = 0; y < image.height(); ++y) {
    png_write_row(png, const_cast<png_bytep>(image.Row(y)));
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  if (std::fclose(file) != 0) {
    *error = "cannot finish " + path;
    return false;
  }
  return true;
}

}  // namespace imaging
