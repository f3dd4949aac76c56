#include "imaging/encoders.h"

#include <algorithm>
#include <array>

#include "imaging/encoders/rows_with_file.h"
#include "imaging/quantize.h"

namespace imaging {
namespace {

constexpr uint32_t kAnySide = 0x7FFFFFFF;
constexpr uint64_t kAnySize = ~uint64_t{0};
// A 32-bit file size, less the largest header and palette before the pixels.
constexpr uint64_t k4GB = 0xFFFFFFFF - 2048;

// JPEG's frame header counts to 65535, libjpeg to 65500; GIF, TGA and PCX keep sizes in 16
// bits; BMP and Sun raster count their bytes in 32; WebP keeps sides in 14 bits and allows
// 16383.
constexpr std::array<Encoder, 16> kEncoders = {{
    {kFormatBmp, "BMP", kTakesPalette | kTakesRgb, nullptr, OpenBmpRows, kAnySide, k4GB},
    {kFormatGif, "GIF", kTakesPalette, SaveGif, nullptr, 65535, kAnySize},
    {kFormatJpeg, "JPEG", kTakesGrey | kTakesRgb, nullptr, OpenJpegRows, 65500, kAnySize},
    {kFormatPng, "PNG", kTakesPalette | kTakesRgb, nullptr, OpenPngRows, kAnySide, kAnySize},
    {kFormatIco, "ICO", kTakesRgb, SaveIco, nullptr, kAnySide, k4GB},
    {kFormatTiff, "TIFF", kTakesPalette | kTakesRgb, nullptr, OpenTiffRows, kAnySide, kAnySize},
    {kFormatTga, "TGA", kTakesPalette | kTakesRgb, SaveTga, nullptr, 65535, kAnySize},
    {kFormatPcx, "PCX", kTakesPalette | kTakesRgb, SavePcx, nullptr, 65535, kAnySize},
    {kFormatWbmp, "WBMP", kTakesBlackAndWhite, SaveWbmp, nullptr, kAnySide, kAnySize},
    {kFormatJp2, "JP2", kTakesGrey | kTakesRgb, SaveJp2, nullptr, kAnySide, kAnySize},
    {kFormatJpc, "J2K", kTakesGrey | kTakesRgb, SaveJ2k, nullptr, kAnySide, kAnySize},
    {kFormatPgx, "PGX", kTakesGrey, SavePgx, nullptr, kAnySide, kAnySize},
    {kFormatPnm, "PNM", kTakesGrey | kTakesRgb, SavePnm, nullptr, kAnySide, kAnySize},
    {kFormatRas, "Sun raster", kTakesPalette | kTakesRgb, SaveSunRaster, nullptr, kAnySide, k4GB},
    {kFormatPbm, "PBM", kTakesBlackAndWhite, SavePbm, nullptr, kAnySide, kAnySize},
    {kFormatWebp, "WebP", kTakesPalette | kTakesRgb, SaveWebp, nullptr, 16383, kAnySize},
}};

bool IsBlackAndWhite(const Image& image) {
  return image.bpp() == 1 && image.palette().size() >= 2 && image.palette()[0] == Rgb{0, 0, 0} &&
         image.palette()[1] == Rgb{255, 255, 255};
}

}  // namespace

uint32_t FormatOfExtension(std::string_view extension) {
  struct Entry {
    const char* extension;
    uint32_t code;
  };
  static const Entry kTable[] = {
      {"bmp", kFormatBmp}, {"gif", kFormatGif}, {"jpg", kFormatJpeg},  {"jpeg", kFormatJpeg},
      {"png", kFormatPng}, {"ico", kFormatIco}, {"tif", kFormatTiff},  {"tiff", kFormatTiff},
      {"tga", kFormatTga}, {"pcx", kFormatPcx}, {"wbmp", kFormatWbmp}, {"wmf", kFormatWmf},
      {"emf", kFormatWmf}, {"jp2", kFormatJp2}, {"j2k", kFormatJp2},   {"jpc", kFormatJpc},
      {"j2c", kFormatJpc}, {"pgx", kFormatPgx}, {"pnm", kFormatPnm},   {"pgm", kFormatPnm},
      {"ppm", kFormatPnm}, {"ras", kFormatRas}, {"pbm", kFormatPbm},   {"webp", kFormatWebp},
  };
  std::string lower(extension);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
  }
  for (const Entry& entry : kTable) {
    if (lower == entry.extension) {
      return entry.code;
    }
  }
  return kFormatNone;
}

const Encoder* FindEncoder(uint32_t format) {
  for (const Encoder& encoder : kEncoders) {
    if (encoder.format == format) {
      return &encoder;
    }
  }
  return nullptr;
}

RowLayout LayoutOf(const Image& image) {
  return RowLayout{image.width(), image.height(), image.bpp(),       image.palette(),
                   image.x_dpi(), image.y_dpi(),  image.codec_option};
}

bool FitsFormat(uint32_t format, int width, int height, int bpp, std::string* error) {
  const Encoder* encoder = FindEncoder(format);
  if (encoder == nullptr) {
    *error = "no encoder for this format";
    return false;
  }
  // Rows padded to 32 bits, as the formats with 32-bit sizes keep them.
  const uint64_t row_bytes = (uint64_t(std::max(width, 0)) * std::max(bpp, 1) + 31) / 32 * 4;
  if (width <= 0 || height <= 0 || uint32_t(width) > encoder->max_side ||
      uint32_t(height) > encoder->max_side ||
      row_bytes * uint64_t(height) > encoder->max_pixel_bytes) {
    *error = "an image of " + std::to_string(width) + " x " + std::to_string(height) +
             " pixels is past what " + encoder->name + " holds";
    if (encoder->max_side != kAnySide) {
      *error += " (" + std::to_string(encoder->max_side) + " pixels a side)";
    } else if (encoder->max_pixel_bytes != kAnySize) {
      *error += " (4 GB)";
    }
    return false;
  }
  return true;
}

namespace {

// The streaming encoder for the format, if it takes a layout of this size; else null with
// a message.
const Encoder* RowEncoderFor(uint32_t format, const RowLayout& layout, std::string* error) {
  const Encoder* encoder = FindEncoder(format);
  if (encoder == nullptr || encoder->open_rows == nullptr) {
    *error = "this format is not written a band at a time";
    return nullptr;
  }
  if (!FitsFormat(format, layout.width, layout.height, layout.bpp, error)) {
    return nullptr;
  }
  return encoder;
}

}  // namespace

std::unique_ptr<RowWriter> OpenRowWriter(uint32_t format, const RowLayout& layout, OutputFile& file,
                                         std::string* error) {
  const Encoder* encoder = RowEncoderFor(format, layout, error);
  return encoder != nullptr ? encoder->open_rows(layout, file, error) : nullptr;
}

std::unique_ptr<RowWriter> OpenRowWriter(uint32_t format, const RowLayout& layout,
                                         const std::string& path, std::string* error) {
  // Refusals come before the file is made, so that they leave nothing behind.
  const Encoder* encoder = RowEncoderFor(format, layout, error);
  if (encoder == nullptr) {
    return nullptr;
  }
  return OpenRowsWithFile(
      path, error, [&](OutputFile& file) { return encoder->open_rows(layout, file, error); });
}

bool SaveThroughRows(const Image& image, decltype(Encoder::open_rows) open, OutputFile& file,
                     std::string* error) {
  std::unique_ptr<RowWriter> rows = open(LayoutOf(image), file, error);
  if (rows == nullptr) {
    return false;
  }
  // A failed write is told by Finish.
  rows->WriteRows(image.Row(0), image.RowBytes(), image.height());
  return rows->Finish(error);
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
