// EMF+ image objects: bitmaps (image files or rows of pixels in GDI+'s pixel formats),
// decoded into pixels when read, and metafiles, kept as their bytes to be played when drawn.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "emf/canvas/paint.h"
#include "emf/records/byte_reader.h"

namespace emfplus {

struct PlusImage {
  enum MetafileType { kWmf = 1, kWmfPlaceable = 2, kEmf = 3, kEmfPlusOnly = 4, kEmfPlusDual = 5 };
  std::shared_ptr<const emf::Image> bitmap;  // null for a metafile
  uint32_t mean = 0xFF808080;                // the bitmap's mean colour
  int metafile_type = 0;
  std::vector<uint8_t> metafile;
};

// The mean of an image's pixels (premultiplied), as a plain colour.
uint32_t MeanPixel(const emf::Image& image);

// Reads an image object; false with why when its bytes are none, or a bitmap too large or
// in a pixel format the player does not draw.
bool ReadImage(emf::ByteReader& r, PlusImage& image, std::string& why);

}  // namespace emfplus
