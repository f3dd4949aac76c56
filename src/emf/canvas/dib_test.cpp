#include "emf/canvas/dib.h"

#include <cairo.h>
#include <gtest/gtest.h>
#include <jpeglib.h>

#include <string>
#include <vector>

#include "support/spool_builder.h"

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
      {"2^31 pixels", Info(65536, 32768, 24, 0)},
      {"negative width", Info(-5, 5, 24, 0)},
      {"zero height", Info(5, 0, 24, 0)},
      {"depth 7", Info(5, 5, 7, 0)},
      {"PNG payload that is no PNG", Info(5, 5, 24, 5)},
      {"header cut", std::string("\x28\0\0\0\x05", 5)},
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

cairo_status_t AppendBytes(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

// Printers that take JPEG and PNG get whole files in place of the bits.
TEST(Dib, JpegAndPngPayloadsAreDecoded) {
  // PNG: a red pixel and a half-transparent blue one.
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 2, 1);
  auto* data = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(surface));
  data[0] = 0xFFFF0000;
  data[1] = 0x80000080;  // premultiplied
  cairo_surface_mark_dirty(surface);
  std::string png;
  cairo_surface_write_to_png_stream(surface, AppendBytes, &png);
  cairo_surface_destroy(surface);
  const std::vector<uint32_t> from_png = Decode(Info(2, 1, 0, 5), png);
  ASSERT_EQ(from_png.size(), 2u);
  EXPECT_EQ(from_png[0], 0xFFFF0000u);
  EXPECT_EQ(from_png[1] >> 24, 0x80u);

  // JPEG: 8 x 8 of one green, which survives compression within a few levels.
  jpeg_compress_struct info;
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = 8;
  info.image_height = 8;
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_start_compress(&info, TRUE);
  unsigned char row[24];
  for (int i = 0; i < 8; ++i) {
    row[3 * i] = 0x20;
    row[3 * i + 1] = 0xC0;
    row[3 * i + 2] = 0x40;
  }
  while (info.next_scanline < 8) {
    JSAMPROW rows[1] = {row};
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  const std::string jpeg(reinterpret_cast<const char*>(buffer), size);
  jpeg_destroy_compress(&info);
  free(buffer);
  const std::vector<uint32_t> from_jpeg = Decode(Info(8, 8, 0, 4), jpeg);
  ASSERT_EQ(from_jpeg.size(), 64u);
  EXPECT_NEAR(static_cast<int>((from_jpeg[27] >> 8) & 0xFF), 0xC0, 4);
  EXPECT_NEAR(static_cast<int>((from_jpeg[27] >> 16) & 0xFF), 0x20, 4);

  // A PNG whose header claims 65536 x 32768 pixels is refused before decoding; a cut JPEG
  // fails cleanly.
  std::string huge = png.substr(0, 33);
  huge[16] = 0;
  huge[17] = 1;
  huge[18] = 0;
  huge[19] = 0;
  huge[20] = 0;
  huge[21] = 0;
  huge[22] = static_cast<char>(0x80);
  huge[23] = 0;
  std::string error;
  EXPECT_FALSE(emf::DecodeDib(Span(Info(2, 1, 0, 5)), Span(huge), false, false, &error));
  EXPECT_FALSE(
      emf::DecodeDib(Span(Info(8, 8, 0, 4)), Span(jpeg.substr(0, 20)), false, false, &error));
}

}  // namespace
