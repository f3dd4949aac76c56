// The header of a device-independent bitmap (BITMAPCOREHEADER, BITMAPINFOHEADER and its V4
// and V5 extensions), as metafile records and BMP files carry it, read and checked once for
// both. Each check has a name, and the first that fails says why the bitmap is refused.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace dib {

enum Compression : uint32_t {
  kBiRgb = 0,
  kBiRle8 = 1,
  kBiRle4 = 2,
  kBiBitfields = 3,
  kBiJpeg = 4,  // a JPEG file in place of the pixels
  kBiPng = 5,   // a PNG file in place of the pixels
};

inline constexpr uint32_t kCoreHeaderSize = 12;
inline constexpr uint32_t kInfoHeaderSize = 40;
inline constexpr uint32_t kV5HeaderSize = 124;

struct Header {
  uint32_t header_size = 0;
  int32_t width = 0;
  int32_t height = 0;  // always positive; top_down says which way the rows run
  bool top_down = false;
  uint16_t bit_count = 0;
  uint32_t compression = kBiRgb;
  uint32_t masks[3] = {0, 0, 0};  // red, green, blue of 16- and 32-bit pixels
  size_t palette_entries = 0;     // colours of the table that follows the header
  size_t palette_entry_size = 0;  // 3 after a core header, else 4
  uint64_t stride = 0;            // bytes a row, rounded up to 32 bits
  uint64_t image_size = 0;        // stride x height; 0 for JPEG and PNG payloads
  uint32_t x_pels_per_meter = 0;
  uint32_t y_pels_per_meter = 0;
};

enum class Check {
  kOk,
  kHeaderSize,   // a header size no version has, or more than the bytes hold
  kDimensions,   // width or height zero, negative, or more pixels than allowed
  kDepth,        // bits per pixel other than 1, 4, 8, 16, 24 and 32
  kCompression,  // a compression unknown, or one that does not fit the depth
  kMasks,        // bit-field masks that are zero or not one run of bits
  kImageSize,    // a row or the whole image too large to address
};

// The reason a check gives, for logs and skip counts.
const char* CheckReason(Check check);

// Reads the header at the start of info (the header and what follows it: masks, colours);
// the first check that fails is returned and header is then only partly filled.
Check ReadHeader(std::span<const uint8_t> info, uint64_t max_pixels, Header& header);

// One channel of a bit-field pixel scaled to eight bits (the mask has been checked).
inline uint8_t MaskedChannel(uint32_t pixel, uint32_t mask) {
  if (mask == 0) {
    return 0;
  }
  const int shift = __builtin_ctz(mask);
  const uint32_t max = mask >> shift;
  return static_cast<uint8_t>(((pixel & mask) >> shift) * 255 / max);
}

}  // namespace dib
