// BMP files as rasterisation and other programs write them.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "formats/dib_header.h"
#include "imaging/image.h"
#include "imaging/row_writer.h"

namespace imaging {

// Reads depths 1, 4, 8, 16, 24 and 32, with and without palettes, bottom-up and top-down,
// BI_RGB and BI_BITFIELDS. A file that is cut, lies about its sizes or is too large is
// refused with a reason, before anything is allocated for its pixels.
bool ReadBmp(std::span<const uint8_t> bytes, Image& image, std::string* error);

struct BmpLayout {
  dib::Header header;
  uint32_t pixel_offset = 0;
  RowLayout layout;  // the rows as they are given: indices up to 8 bits, else RGB
};

// A bitmap in memory (its header with the colour table, and its pixels, as a DIB section or
// a mapped BMP file holds them) read as rows, with the checks a BMP file gets: so that a page
// drawn into a bitmap goes to the encoders without a file between.
class DibRows {
 public:
  static std::unique_ptr<DibRows> Open(std::span<const uint8_t> info,
                                       std::span<const uint8_t> pixels, std::string* error);

  const RowLayout& layout() const { return layout_; }
  // Rows [top, top + count) into out, layout().RowBytes() apart; rows outside are not read.
  void ReadRows(int top, int count, uint8_t* out) const;

 private:
  explicit DibRows(const uint8_t* pixels) : pixels_(pixels) {}
  const uint8_t* pixels_;
  dib::Header header_;
  RowLayout layout_;
};

}  // namespace imaging
