// Fuzz target for the BMP reader of the image library: any bytes as a BMP file.
#include <cstdint>
#include <span>
#include <string>

#include "imaging/bmp_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  imaging::Image image;
  std::string error;
  if (imaging::ReadBmp(std::span<const uint8_t>(data, size), image, &error)) {
    // What was read is whole: every row is there to be read.
    volatile uint8_t sink = 0;
    for (int y = 0; y < image.height(); ++y) {
      sink = sink ^ image.Row(y)[image.RowBytes() - 1];
    }
  }
  return 0;
}
