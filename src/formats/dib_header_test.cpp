#include "formats/dib_header.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

std::vector<uint8_t> InfoHeader(int32_t width, int32_t height, uint16_t bits, uint32_t compression,
                                std::vector<uint32_t> masks = {}) {
  std::vector<uint8_t> bytes(40, 0);
  auto put = [&](size_t at, uint32_t v, int size) {
    for (int i = 0; i < size; ++i) {
      bytes[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }
  };
  put(0, 40, 4);
  put(4, static_cast<uint32_t>(width), 4);
  put(8, static_cast<uint32_t>(height), 4);
  put(12, 1, 2);
  put(14, bits, 2);
  put(16, compression, 4);
  for (uint32_t mask : masks) {
    bytes.resize(bytes.size() + 4);
    put(bytes.size() - 4, mask, 4);
  }
  return bytes;
}

TEST(DibHeader, EachCheckHasItsCase) {
  using dib::Check;
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    Check expected;
  };
  const Case cases[] = {
      {"plain 24-bit", InfoHeader(3, 2, 24, dib::kBiRgb), Check::kOk},
      {"top-down 8-bit", InfoHeader(3, -2, 8, dib::kBiRgb), Check::kOk},
      {"565 masks", InfoHeader(3, 2, 16, dib::kBiBitfields, {0xF800, 0x07E0, 0x001F}), Check::kOk},
      {"PNG payload, no depth", InfoHeader(3, 2, 0, dib::kBiPng), Check::kOk},
      {"too short", std::vector<uint8_t>(3, 0), Check::kHeaderSize},
      {"size 20",
       [] {
         auto b = InfoHeader(3, 2, 24, 0);
         b[0] = 20;
         return b;
       }(),
       Check::kHeaderSize},
      {"zero width", InfoHeader(0, 2, 24, dib::kBiRgb), Check::kDimensions},
      {"too many pixels", InfoHeader(70000, 70000, 24, dib::kBiRgb), Check::kDimensions},
      {"INT32_MIN height", InfoHeader(3, INT32_MIN, 24, dib::kBiRgb), Check::kDimensions},
      {"depth 7", InfoHeader(3, 2, 7, dib::kBiRgb), Check::kDepth},
      {"RLE8 at 4 bits", InfoHeader(3, 2, 4, dib::kBiRle8), Check::kCompression},
      {"bit fields at 24 bits", InfoHeader(3, 2, 24, dib::kBiBitfields), Check::kCompression},
      {"compression 9", InfoHeader(3, 2, 24, 9), Check::kCompression},
      {"masks missing", InfoHeader(3, 2, 32, dib::kBiBitfields), Check::kMasks},
      {"a zero mask", InfoHeader(3, 2, 32, dib::kBiBitfields, {0xFF0000, 0, 0xFF}), Check::kMasks},
      {"a split mask", InfoHeader(3, 2, 16, dib::kBiBitfields, {0xF00F, 0x07E0, 0x001F}),
       Check::kMasks},
  };
  for (const Case& c : cases) {
    dib::Header header;
    EXPECT_EQ(dib::ReadHeader(c.bytes, uint64_t{1} << 28, header), c.expected) << c.what;
  }
  dib::Header header;
  ASSERT_EQ(dib::ReadHeader(InfoHeader(3, -2, 8, dib::kBiRgb), 1 << 28, header), Check::kOk);
  EXPECT_TRUE(header.top_down);
  EXPECT_EQ(header.height, 2);
  EXPECT_EQ(header.stride, 4u);
  EXPECT_EQ(header.image_size, 8u);
  EXPECT_EQ(header.palette_entries, 256u);
  EXPECT_EQ(dib::MaskedChannel(0x07E0, 0x07E0), 255);
  EXPECT_EQ(dib::MaskedChannel(0x0400, 0x07E0), 129);  // 32 of 63, cut
}

}  // namespace
