#include "dib.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "spool_builder.h"

namespace {

using testing_support::Append32;

std::string Info(int32_t width, int32_t height, uint16_t bpp, uint32_t compression,
                 std::vector<uint32_t> colours = {}) {
  std::string info;
  Append32(info, 40);
  Append32(info, static_cast<uint32_t>(width));
  Append32(info, static_cast<uint32_t>(height));
  Append32(info, 1u | (uint32_t{bpp} << 16));
  Append32(info, compression);
  for (int i = 0; i < 3; ++i) {
    Append32(info, 0);
  }
  Append32(info, static_cast<uint32_t>(colours.size()));
  Append32(info, 0);
  for (uint32_t c : colours) {
    Append32(info, c);
  }
  return info;
}

std::span<const uint8_t> Span(const std::string& s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

std::vector<uint32_t> Decode(const std::string& info, const std::string& bits, bool alpha = false) {
  std::string error;
  auto image = emf::DecodeDib(Span(info), Span(bits), alpha, false, &error);
  EXPECT_TRUE(image.has_value()) << error;
  return image ? image->pixels : std::vector<uint32_t>{};
}

TEST(Dib, DecodesEveryDepthIntoTopDownRows) {
  struct Case {
    const char* name;
    std::string info;
    std::string bits;
    std::vector<uint32_t> expected;
  };
  const Case cases[] = {
      {"1 bit with a palette, bottom-up",
       Info(2, 2, 1, 0, {0x000000, 0xFF0000}),
       std::string("\x40\0\0\0\x80\0\0\0", 8),
       {0xFFFF0000, 0xFF000000, 0xFF000000, 0xFFFF0000}},
      {"4 bits",
       Info(2, 1, 4, 0, {0x000000, 0x00FF00}),
       std::string("\x10\0\0\0", 4),
       {0xFF00FF00, 0xFF000000}},
      {"8 bits top-down",
       Info(1, -2, 8, 0, {0x0000FF, 0xFFFFFF}),
       std::string("\x00\0\0\0\x01\0\0\0", 8),
       {0xFF0000FF, 0xFFFFFFFF}},
      {"16 bits 5-5-5", Info(1, 1, 16, 0), std::string("\x1F\x7C\0\0", 4), {0xFFFF00FF}},
      {"24 bits", Info(1, 1, 24, 0), std::string("\x01\x02\x03\0", 4), {0xFF030201}},
      {"32 bits, fourth byte ignored",
       Info(1, 1, 32, 0),
       std::string("\x01\x02\x03\x04", 4),
       {0xFF030201}},
      {"8-bit run-length coding",
       Info(4, 1, 8, 1, {0x000000, 0xFF0000}),
       std::string("\x03\x01\x00\x01", 4),
       {0xFFFF0000, 0xFFFF0000, 0xFFFF0000, 0xFF000000}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Decode(c.info, c.bits), c.expected) << c.name;
  }
}

TEST(Dib, BitfieldsAndAlpha) {
  std::string info = Info(1, 1, 16, 3);
  Append32(info, 0xF800);
  Append32(info, 0x07E0);
  Append32(info, 0x001F);
  EXPECT_EQ(Decode(info, std::string("\x00\xF8\0\0", 4)), (std::vector<uint32_t>{0xFFFF0000}));
  // Premultiplied alpha is kept when asked for, with colours held to their alpha.
  EXPECT_EQ(Decode(Info(1, 1, 32, 0), std::string("\x10\x20\xFF\x80", 4), true),
            (std::vector<uint32_t>{0x80802010}));
}

TEST(Dib, RefusesWhatItCannotDrawWithoutAllocating) {
  struct Case {
    const char* name;
    std::string info;
  };
  const Case cases[] = {
      {"2^31 pixels", Info(65536, 32768, 24, 0)}, {"negative width", Info(-5, 5, 24, 0)},
      {"zero height", Info(5, 0, 24, 0)},         {"depth 7", Info(5, 5, 7, 0)},
      {"PNG payload", Info(5, 5, 24, 5)},         {"header cut", std::string("\x28\0\0\0\x05", 5)},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(emf::DecodeDib(Span(c.info), Span(std::string(64, '\0')), false, false, &error))
        << c.name;
    EXPECT_FALSE(error.empty()) << c.name;
  }
  // Rows the bits do not hold stay black.
  EXPECT_EQ(Decode(Info(1, 2, 24, 0), std::string("\xFF\xFF\xFF\0", 4)),
            (std::vector<uint32_t>{0xFF000000, 0xFFFFFFFF}));
}

}  // namespace
