#include "imaging/quantize.h"

#include <libimagequant.h>

#include <algorithm>
#include <vector>

namespace imaging {
namespace {

int Brightness(const Rgb& c) {
  return (299 * c.r + 587 * c.g + 114 * c.b) / 1000;
}

}  // namespace

bool ReduceToBlackAndWhite(Image& image, bool error_diffusion, std::string*) {
  const int width = image.width();
  const int height = image.height();
  std::vector<int> levels(static_cast<size_t>(width) * height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      levels[static_cast<size_t>(y) * width + x] = Brightness(image.PixelRgb(x, y));
    }
  }
  Image reduced;
  reduced.Reset(width, height, 1, {Rgb{0, 0, 0}, Rgb{255, 255, 255}});
  for (int y = 0; y < height; ++y) {
    uint8_t* out = reduced.Row(y);
    for (int x = 0; x < width; ++x) {
      const int level = levels[static_cast<size_t>(y) * width + x];
      const int chosen = level >= 128 ? 255 : 0;
      out[x] = chosen ? 1 : 0;
      if (!error_diffusion) {
        continue;
      }
      // Floyd and Steinberg: the error goes right and to the row below.
      const int e = level - chosen;
      auto spread = [&](int dx, int dy, int weight) {
        const int nx = x + dx, ny = y + dy;
        if (nx >= 0 && nx < width && ny < height) {
          int& target = levels[static_cast<size_t>(ny) * width + nx];
          target = std::clamp(target + e * weight / 16, -255, 510);
        }
      };
      spread(1, 0, 7);
      spread(-1, 1, 3);
      spread(0, 1, 5);
      spread(1, 1, 1);
    }
  }
  reduced.SetXDPI(image.x_dpi());
  reduced.SetYDPI(image.y_dpi());
  reduced.codec_option = image.codec_option;
  image = std::move(reduced);
  return true;
}

void ReduceToGrey(Image& image) {
  std::vector<Rgb> ramp(256);
  for (int i = 0; i < 256; ++i) {
    ramp[i] = Rgb{static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i)};
  }
  Image grey;
  grey.Reset(image.width(), image.height(), 8, ramp);
  for (int y = 0; y < image.height(); ++y) {
    uint8_t* out = grey.Row(y);
    for (int x = 0; x < image.width(); ++x) {
      out[x] = static_cast<uint8_t>(Brightness(image.PixelRgb(x, y)));
    }
  }
  grey.SetXDPI(image.x_dpi());
  grey.SetYDPI(image.y_dpi());
  grey.codec_option = image.codec_option;
  image = std::move(grey);
}

bool ReduceTo256Colors(Image& image, bool error_diffusion, std::string* error) {
  if (image.indexed()) {
    // Up to 256 colours already: the same indices, counted as 8 bits.
    Image widened;
    widened.Reset(image.width(), image.height(), 8, image.palette());
    widened.pixels() = image.pixels();
    widened.SetXDPI(image.x_dpi());
    widened.SetYDPI(image.y_dpi());
    widened.codec_option = image.codec_option;
    image = std::move(widened);
    return true;
  }
  const int width = image.width();
  const int height = image.height();
  std::vector<uint8_t> rgba(static_cast<size_t>(width) * height * 4);
  for (int y = 0; y < height; ++y) {
    const uint8_t* row = image.Row(y);
    uint8_t* out = rgba.data() + static_cast<size_t>(y) * width * 4;
    for (int x = 0; x < width; ++x) {
      out[4 * x] = row[3 * x];
      out[4 * x + 1] = row[3 * x + 1];
      out[4 * x + 2] = row[3 * x + 2];
      out[4 * x + 3] = 255;
    }
  }
  liq_attr* attributes = liq_attr_create();
  liq_image* input = liq_image_create_rgba(attributes, rgba.data(), width, height, 0);
  liq_result* result = nullptr;
  if (input == nullptr || liq_image_quantize(input, attributes, &result) != LIQ_OK) {
    if (input != nullptr) {
      liq_image_destroy(input);
    }
    liq_attr_destroy(attributes);
    *error = "the colours could not be reduced";
    return false;
  }
  liq_set_dithering_level(result, error_diffusion ? 1.0f : 0.0f);
  Image reduced;
  reduced.Reset(width, height, 8, {});
  liq_write_remapped_image(result, input, reduced.pixels().data(), reduced.pixels().size());
  const liq_palette* palette = liq_get_palette(result);
  std::vector<Rgb> colors(256);
  for (unsigned i = 0; i < palette->count && i < 256; ++i) {
    colors[i] = Rgb{palette->entries[i].r, palette->entries[i].g, palette->entries[i].b};
  }
  liq_result_destroy(result);
  liq_image_destroy(input);
  liq_attr_destroy(attributes);
  Image finished;
  finished.Reset(width, height, 8, colors);
  finished.pixels() = std::move(reduced.pixels());
  finished.SetXDPI(image.x_dpi());
  finished.SetYDPI(image.y_dpi());
  finished.codec_option = image.codec_option;
  image = std::move(finished);
  return true;
}

}  // namespace imaging
