// Lossless colour-type reduction for PNG: which colours a page of RGB rows holds, and whether
// it can be written as grey levels or a palette without changing a pixel. Rows may come a
// band at a time, so a page of any size is counted in bounded memory.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "imaging/image.h"
#include "imaging/row_writer.h"

namespace imaging {

class ColourCensus {
 public:
  ColourCensus();

  // Counts count rows of width RGB pixels, stride bytes apart.
  void AddRows(const uint8_t* rows, size_t stride, int count, int width);

  // Whether the rows fit a palette of at most 256 entries (grey levels included).
  bool Reducible() const { return colours_.size() <= 256; }

  // The smallest indexed layout that holds every colour counted: grey levels at 1, 2, 4 or 8
  // bits where every pixel is grey and each level exists at that depth (the palette is then
  // that depth's grey ramp), else a palette of the colours at 1, 2, 4 or 8 bits, whichever
  // is smaller (grey levels then carry kPngGreyLevels in the codec option); size and
  // resolution are the RGB layout's. Readies ToIndices.
  RowLayout ReducedLayout(const RowLayout& rgb);

  // One RGB row as indices into the reduced layout's palette. Only for colours counted.
  void ToIndices(const uint8_t* rgb, int width, uint8_t* out) const;

 private:
  uint32_t IndexOf(uint32_t colour) const;

  std::vector<uint32_t> colours_;  // in order of first sight, at most 257 kept
  std::vector<uint8_t> seen_;      // one bit a 24-bit colour: 2 MB
  bool grey_ = true;
  // Colour to palette index, by open addressing.
  std::array<uint32_t, 1024> slot_colour_{};
  std::array<int16_t, 1024> slot_index_{};
};

// A whole image reduced as above; false (the image untouched) when it has more than 256
// colours or is indexed already.
bool ReduceColours(Image& image);

// The most pixels a reducing PNG writer gathers before it decides: the engine's band.
inline constexpr uint64_t kMaxReducedPixels = uint64_t{1} << 25;

// A PNG writer that reduces: RGB rows are gathered, counted and written at Finish as grey
// levels, a palette or RGB, whichever holds them unchanged and smallest. A layout that is
// indexed, or of more than kMaxReducedPixels, is written as it comes, unreduced.
std::unique_ptr<RowWriter> OpenReducingPngRows(const RowLayout& layout, OutputFile& file,
                                               std::string* error);
std::unique_ptr<RowWriter> OpenReducingPngRows(const RowLayout& layout, const std::string& path,
                                               std::string* error);

}  // namespace imaging
