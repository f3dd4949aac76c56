// TIFF through libtiff. The codec option is the compression tag: 4 (CCITT Group 4) for
// black and white, 32773 (PackBits) otherwise; 0 means none. The resolution goes in
// XResolution and YResolution, in inches.
#include <tiffio.h>

#include <vector>

#include "imaging/encoders.h"

namespace imaging {

bool SaveTiff(const Image& image, const std::string& path, std::string* error) {
  TIFFSetErrorHandler(nullptr);
  TIFFSetWarningHandler(nullptr);
  TIFF* tiff = TIFFOpen(path.c_str(), "w");
  if (tiff == nullptr) {
    *error = "cannot create " + path;
    return false;
  }
  const bool indexed = image.indexed();
  const bool bilevel = indexed && image.bpp() == 1;
  uint16_t compression = static_cast<uint16_t>(image.codec_option);
  if (compression == COMPRESSION_CCITTFAX4 && !bilevel) {
    compression = COMPRESSION_PACKBITS;  // Group 4 codes only black and white
  }
  if (compression != COMPRESSION_NONE && compression != COMPRESSION_CCITTFAX4 &&
      compression != COMPRESSION_PACKBITS && compression != COMPRESSION_LZW &&
      compression != COMPRESSION_ADOBE_DEFLATE) {
    compression = COMPRESSION_PACKBITS;
  }
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(image.width()));
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(image.height()));
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tiff, TIFFTAG_COMPRESSION, compression);
  TIFFSetField(tiff, TIFFTAG_XRESOLUTION, static_cast<float>(image.x_dpi()));
  TIFFSetField(tiff, TIFFTAG_YRESOLUTION, static_cast<float>(image.y_dpi()));
  TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
  TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, bilevel ? image.height() : 16);
  std::vector<uint8_t> row;
  if (bilevel) {
    // 0 is white here, as fax coding expects.
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    row.resize((static_cast<size_t>(image.width()) + 7) / 8);
  } else if (indexed) {
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_PALETTE);
    std::vector<uint16_t> red(256), green(256), blue(256);
    for (size_t i = 0; i < image.palette().size() && i < 256; ++i) {
      red[i] = static_cast<uint16_t>(image.palette()[i].r * 257);
      green[i] = static_cast<uint16_t>(image.palette()[i].g * 257);
      blue[i] = static_cast<uint16_t>(image.palette()[i].b * 257);
    }
    TIFFSetField(tiff, TIFFTAG_COLORMAP, red.data(), green.data(), blue.data());
  } else {
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  }
  bool written = true;
  for (int y = 0; y < image.height() && written; ++y) {
    const uint8_t* src = image.Row(y);
    void* data = const_cast<uint8_t*>(src);
    if (bilevel) {
      std::fill(row.begin(), row.end(), 0);
      for (int x = 0; x < image.width(); ++x) {
        const bool black = image.PixelRgb(x, y).r < 128;
        row[x / 8] = static_cast<uint8_t>(row[x / 8] | (black ? 0x80 >> (x % 8) : 0));
      }
      data = row.data();
    }
    written = TIFFWriteScanline(tiff, data, static_cast<uint32_t>(y), 0) >= 0;
  }
  TIFFClose(tiff);
  if (!written) {
    *error = "libtiff could not write " + path;
  }
  return written;
}

}  // namespace imaging
