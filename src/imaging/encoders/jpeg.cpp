// JPEG through libjpeg-turbo: grey images as one channel, the rest as RGB, quality 90; the
// JFIF header carries the resolution. The codec option's bit of value 4 asks for progressive
// coding (page conversion clears it, so its files are baseline).
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <vector>

// jpeglib.h expects size_t and FILE to be known already.
#include <jpeglib.h>

#include "imaging/encoders.h"

namespace imaging {
namespace {

struct ErrorJump {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
};

void OnError(j_common_ptr info) {
  std::longjmp(reinterpret_cast<ErrorJump*>(info->err)->jump, 1);
}

}  // namespace

bool SaveJpeg(const Image& image, const std::string& path, std::string* error) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    *error = "cannot create " + path;
    return false;
  }
  jpeg_compress_struct info{};
  ErrorJump errors{};
  info.err = jpeg_std_error(&errors.manager);
  errors.manager.error_exit = OnError;
  if (setjmp(errors.jump)) {
    jpeg_destroy_compress(&info);
    std::fclose(file);
    *error = "libjpeg could not write " + path;
    return false;
  }
  jpeg_create_compress(&info);
  jpeg_stdio_dest(&info, file);
  const bool grey = image.indexed();
  info.image_width = static_cast<JDIMENSION>(image.width());
  info.image_height = static_cast<JDIMENSION>(image.height());
  info.input_components = grey ? 1 : 3;
  info.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 90, TRUE);
  info.density_unit = 1;  // dots per inch
  info.X_density = static_cast<UINT16>(image.x_dpi());
  info.Y_density = static_cast<UINT16>(image.y_dpi());
  if (image.codec_option & 4) {
    jpeg_simple_progression(&info);
  }
  jpeg_start_compress(&info, TRUE);
  std::vector<JSAMPLE> levels(static_cast<size_t>(image.width()));
  for (int y = 0; y < image.height(); ++y) {
    JSAMPROW row = const_cast<JSAMPROW>(image.Row(y));
    if (grey) {
      // Indices become the grey levels of their palette entries.
      for (int x = 0; x < image.width(); ++x) {
        levels[x] = image.PixelRgb(x, y).r;
      }
      row = levels.data();
    }
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  if (std::fclose(file) != 0) {
    *error = "cannot finish " + path;
    return false;
  }
  return true;
}

}  // namespace imaging
