#include "imaging/encoders.h"

#include <array>

#include "imaging/quantize.h"

namespace imaging {
namespace {

constexpr std::array<Encoder, 15> kEncoders = {{
    {kFormatBmp, "BMP", kTakesPalette | kTakesRgb, SaveBmp},
    {kFormatGif, "GIF", kTakesPalette, SaveGif},
    {kFormatJpeg, "JPEG", kTakesGrey | kTakesRgb, SaveJpeg},
    {kFormatPng, "PNG", kTakesPalette | kTakesRgb, SavePng},
    {kFormatIco, "ICO", kTakesRgb, SaveIco},
    {kFormatTiff, "TIFF", kTakesPalette | kTakesRgb, SaveTiff},
    {kFormatTga, "TGA", kTakesPalette | kTakesRgb, SaveTga},
    {kFormatPcx, "PCX", kTakesPalette | kTakesRgb, SavePcx},
    {kFormatWbmp, "WBMP", kTakesBlackAndWhite, SaveWbmp},
    {kFormatJp2, "JP2", kTakesGrey | kTakesRgb, SaveJp2},
    {kFormatJpc, "J2K", kTakesGrey | kTakesRgb, SaveJ2k},
    {kFormatPgx, "PGX", kTakesGrey, SavePgx},
    {kFormatPnm, "PNM", kTakesGrey | kTakesRgb, SavePnm},
    {kFormatRas, "Sun raster", kTakesPalette | kTakesRgb, SaveSunRaster},
    {kFormatPbm, "PBM", kTakesBlackAndWhite, SavePbm},
}};

bool IsBlackAndWhite(const Image& image) {
  return image.bpp() == 1 && image.palette().size() >= 2 && image.palette()[0] == Rgb{0, 0, 0} &&
         image.palette()[1] == Rgb{255, 255, 255};
}

}  // namespace

const Encoder* FindEncoder(uint32_t format) {
  for (const Encoder& encoder : kEncoders) {
    if (encoder.format == format) {
      return &encoder;
    }
  }
  return nullptr;
}

bool AdaptForEncoder(Image& image, const Encoder& encoder, std::string* error) {
  const uint32_t takes = encoder.accepts;
  if (image.indexed()) {
    if ((takes & kTakesBlackAndWhite) && IsBlackAndWhite(image)) {
      return true;
    }
    if (takes & kTakesPalette) {
      return true;
    }
    if ((takes & kTakesGrey) && image.GreyPalette() && image.bpp() == 8) {
      return true;
    }
    if (takes & kTakesRgb) {
      return image.IncreaseBpp(24);
    }
    if (takes & kTakesGrey) {
      ReduceToGrey(image);
      return true;
    }
    return ReduceToBlackAndWhite(image, true, error);
  }
  if (takes & kTakesRgb) {
    return true;
  }
  if (takes & kTakesPalette) {
    return ReduceTo256Colors(image, true, error);
  }
  if (takes & kTakesGrey) {
    ReduceToGrey(image);
    return true;
  }
  return ReduceToBlackAndWhite(image, true, error);
}

}  // namespace imaging
