// The image object that stands in for the outside image library: pixels, depth, palette,
// resolution, a codec option word and a last-error text. Pixels are kept one byte a pixel
// (palette indices) for depths up to 8, and as red, green and blue bytes above.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "imaging/output_file.h"

namespace imaging {

// Format codes of the image library.
enum FormatCode : uint32_t {
  kFormatNone = 0,
  kFormatBmp = 1,
  kFormatGif = 2,
  kFormatJpeg = 3,
  kFormatPng = 4,
  kFormatIco = 5,
  kFormatTiff = 6,
  kFormatTga = 7,
  kFormatPcx = 8,
  kFormatWbmp = 9,
  kFormatWmf = 10,
  kFormatJp2 = 11,
  kFormatJpc = 12,
  kFormatPgx = 13,
  kFormatPnm = 14,
  kFormatRas = 15,
  kFormatPbm = 16,
  kFormatWebp = 17,
};

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};

class Image {
 public:
  Image() = default;

  bool Load(const std::string& path, uint32_t format);
  // Into a file made at path (removed again when the image cannot be written), or into a
  // file the caller made and closes (which must be empty).
  bool Save(const std::string& path, uint32_t format);
  bool Save(OutputFile& file, uint32_t format);
  bool IncreaseBpp(int bits);
  bool DecreaseBpp(int bits, bool error_diffusion);
  void SetXDPI(int dpi) { x_dpi_ = dpi; }
  void SetYDPI(int dpi) { y_dpi_ = dpi; }
  void Destroy();

  int width() const { return width_; }
  int height() const { return height_; }
  uint16_t bpp() const { return bpp_; }
  bool indexed() const { return bpp_ <= 8; }
  int x_dpi() const { return x_dpi_; }
  int y_dpi() const { return y_dpi_; }
  uint32_t codec_option = 0;
  std::string last_error;

  const std::vector<Rgb>& palette() const { return palette_; }
  // Row y: width bytes of indices, or 3 x width bytes of red, green, blue.
  const uint8_t* Row(int y) const { return pixels_.data() + static_cast<size_t>(y) * RowBytes(); }
  uint8_t* Row(int y) { return pixels_.data() + static_cast<size_t>(y) * RowBytes(); }
  size_t RowBytes() const { return static_cast<size_t>(width_) * (indexed() ? 1 : 3); }
  Rgb PixelRgb(int x, int y) const;
  // Whether every palette entry is grey (r = g = b).
  bool GreyPalette() const;

  // For loaders and converters.
  void Reset(int width, int height, uint16_t bpp, std::vector<Rgb> palette);
  std::vector<uint8_t>& pixels() { return pixels_; }

 private:
  int width_ = 0;
  int height_ = 0;
  uint16_t bpp_ = 0;
  std::vector<Rgb> palette_;
  std::vector<uint8_t> pixels_;
  int x_dpi_ = 96;
  int y_dpi_ = 96;
};

// The most pixels an image may have; larger ones are refused before anything is allocated.
inline constexpr uint64_t kMaxPixels = uint64_t{1} << 28;

}  // namespace imaging
