// BMP files as rasterisation and other programs write them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "base/dib_header.h"
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

// A BMP file read a few rows at a time, with the same checks, so that a page far larger than
// memory can be encoded from it.
class BmpFileRows {
 public:
  static std::unique_ptr<BmpFileRows> Open(const std::string& path, std::string* error);
  ~BmpFileRows();
  BmpFileRows(const BmpFileRows&) = delete;
  BmpFileRows& operator=(const BmpFileRows&) = delete;

  const RowLayout& layout() const { return bmp_.layout; }
  // Rows [top, top + count) into out, layout().RowBytes() apart; false when the file is cut.
  bool ReadRows(int top, int count, uint8_t* out);

 private:
  explicit BmpFileRows(std::FILE* file) : file_(file) {}
  std::FILE* file_;
  BmpLayout bmp_;
  std::vector<uint8_t> block_;  // the file's bytes of the rows last read
};

}  // namespace imaging
