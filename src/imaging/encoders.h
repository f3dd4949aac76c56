// The encoders, one a file, registered in one list. Each says which pixel forms it takes;
// the shared converter adapts an image to the best of them before the encoder sees it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "imaging/image.h"
#include "imaging/row_writer.h"

namespace imaging {

enum Accepts : uint32_t {
  kTakesBlackAndWhite = 1,  // 1 bit, black and white
  kTakesPalette = 2,        // up to 8 bits with any palette
  kTakesGrey = 4,           // 8 bits, grey levels
  kTakesRgb = 8,            // red, green and blue
};

// PNG's codec option: a palette that is its depth's grey ramp is written as grey levels.
inline constexpr uint32_t kPngGreyLevels = 1;

struct Encoder {
  uint32_t format;
  const char* name;
  uint32_t accepts;
  // The whole image at once, or (for the formats that take bands of rows) null and open_rows.
  bool (*save)(const Image& image, OutputFile& file, std::string* error);
  std::unique_ptr<RowWriter> (*open_rows)(const RowLayout&, OutputFile&, std::string*);
  // The format's own limits: pixels a side, and bytes of pixel data its size fields count.
  uint32_t max_side;
  uint64_t max_pixel_bytes;
};

const Encoder* FindEncoder(uint32_t format);

// The format code an extension (without its dot, any case) names; kFormatNone for none.
uint32_t FormatOfExtension(std::string_view extension);

// Row y as palette indices, or as blue, green, red bytes: the order TGA and Sun raster keep.
inline void CopyRowIndicesOrBgr(const Image& image, int y, uint8_t* out) {
  const uint8_t* src = image.Row(y);
  for (int x = 0; x < image.width(); ++x) {
    if (image.indexed()) {
      out[x] = src[x];
    } else {
      out[3 * x] = src[3 * x + 2];
      out[3 * x + 1] = src[3 * x + 1];
      out[3 * x + 2] = src[3 * x];
    }
  }
}
bool AdaptForEncoder(Image& image, const Encoder& encoder, std::string* error);
// Writes a whole image through a streaming encoder.
bool SaveThroughRows(const Image& image, decltype(Encoder::open_rows) open, OutputFile& file,
                     std::string* error);

// The encoders (encoders/*.cpp).
bool SaveGif(const Image&, OutputFile&, std::string*);
bool SaveJp2(const Image&, OutputFile&, std::string*);
bool SaveJ2k(const Image&, OutputFile&, std::string*);
bool SaveIco(const Image&, OutputFile&, std::string*);
bool SaveTga(const Image&, OutputFile&, std::string*);
bool SavePcx(const Image&, OutputFile&, std::string*);
bool SaveWbmp(const Image&, OutputFile&, std::string*);
bool SavePgx(const Image&, OutputFile&, std::string*);
bool SavePnm(const Image&, OutputFile&, std::string*);
bool SavePbm(const Image&, OutputFile&, std::string*);
bool SaveSunRaster(const Image&, OutputFile&, std::string*);
bool SaveWebp(const Image&, OutputFile&, std::string*);

}  // namespace imaging
