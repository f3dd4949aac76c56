// The image object, the shared converter and the BMP reader at unit level.
#include "imaging/image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "imaging/bmp_reader.h"
#include "imaging/encoders.h"
#include "imaging/row_writer.h"
#include "support/test_support.h"

namespace imaging {
namespace {

using testing_support::TempDir;

// A 5 x 3 RGB picture with a different colour at every pixel.
Image Picture() {
  Image image;
  image.Reset(5, 3, 24, {});
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 5; ++x) {
      uint8_t* p = image.Row(y) + 3 * x;
      p[0] = static_cast<uint8_t>(40 * x);
      p[1] = static_cast<uint8_t>(80 * y);
      p[2] = static_cast<uint8_t>(x + y);
    }
  }
  return image;
}

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void ExpectSamePixels(const Image& a, const Image& b) {
  ASSERT_EQ(a.width(), b.width());
  ASSERT_EQ(a.height(), b.height());
  for (int y = 0; y < a.height(); ++y) {
    for (int x = 0; x < a.width(); ++x) {
      ASSERT_EQ(a.PixelRgb(x, y), b.PixelRgb(x, y)) << x << "," << y;
    }
  }
}

TEST(ImageObject, DepthChangesKeepWhatTheyCan) {
  Image grey;
  std::vector<Rgb> ramp;
  for (int i = 0; i < 256; ++i) {
    ramp.push_back({static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i)});
  }
  grey.Reset(4, 2, 8, ramp);
  grey.Row(1)[3] = 200;
  EXPECT_TRUE(grey.GreyPalette());
  ASSERT_TRUE(grey.IncreaseBpp(24));
  EXPECT_EQ(grey.bpp(), 24);
  EXPECT_EQ(grey.PixelRgb(3, 1), (Rgb{200, 200, 200}));
  EXPECT_FALSE(grey.IncreaseBpp(32));
  EXPECT_FALSE(grey.last_error.empty());

  Image picture = Picture();
  ASSERT_TRUE(picture.DecreaseBpp(8, false));
  EXPECT_EQ(picture.bpp(), 8);
  ExpectSamePixels(picture, Picture());  // 15 colours fit a palette exactly
  Image two = Picture();
  ASSERT_TRUE(two.DecreaseBpp(1, true));
  ASSERT_EQ(two.palette().size(), 2u);
  EXPECT_FALSE(two.DecreaseBpp(4, false));
  Image empty;
  EXPECT_FALSE(empty.Save("/nonexistent/x.png", kFormatPng));
  EXPECT_FALSE(empty.last_error.empty());
}

// The converter hands each encoder a form it takes.
TEST(ImageObject, TheConverterAdaptsToWhatEachEncoderTakes) {
  struct Case {
    uint32_t format;
    uint16_t bpp_from_rgb;
  };
  const Case cases[] = {{kFormatBmp, 24}, {kFormatGif, 8}, {kFormatJpeg, 24}, {kFormatWbmp, 1},
                        {kFormatPgx, 8},  {kFormatPbm, 1}, {kFormatPng, 24}};
  for (const Case& c : cases) {
    const Encoder* encoder = FindEncoder(c.format);
    ASSERT_NE(encoder, nullptr) << c.format;
    Image image = Picture();
    std::string error;
    ASSERT_TRUE(AdaptForEncoder(image, *encoder, &error)) << encoder->name << ": " << error;
    EXPECT_EQ(image.bpp(), c.bpp_from_rgb) << encoder->name;
  }
  EXPECT_EQ(FindEncoder(kFormatWmf), nullptr);  // metafiles are not the image library's
  EXPECT_EQ(FindEncoder(kFormatNone), nullptr);
}

// A taller picture given to the streaming encoders in uneven pieces makes the very file that
// saving it whole makes; a writer given too few rows fails rather than finish a cut file.
TEST(RowWriters, RowsGivenInPiecesMakeTheFileOfTheWholeImage) {
  TempDir dir;
  Image picture;
  picture.Reset(37, 23, 24, {});
  for (size_t i = 0; i < picture.pixels().size(); ++i) {
    picture.pixels()[i] = static_cast<uint8_t>(i * 7 % 251);
  }
  for (uint32_t format : {kFormatBmp, kFormatPng, kFormatJpeg, kFormatTiff}) {
    const std::string name = FindEncoder(format)->name;
    ASSERT_TRUE(picture.Save(dir / "whole", format)) << name << ": " << picture.last_error;
    std::string error;
    auto rows = OpenRowWriter(format, LayoutOf(picture), dir / "pieces", &error);
    ASSERT_NE(rows, nullptr) << name << ": " << error;
    for (int top = 0, count = 1; top < picture.height(); top += count, count += 2) {
      count = std::min(count, picture.height() - top);
      ASSERT_TRUE(rows->WriteRows(picture.Row(top), picture.RowBytes(), count)) << name;
    }
    ASSERT_TRUE(rows->Finish(&error)) << name << ": " << error;
    EXPECT_EQ(ReadAll(dir / "pieces"), ReadAll(dir / "whole")) << name;

    auto cut = OpenRowWriter(format, LayoutOf(picture), dir / "cut", &error);
    ASSERT_NE(cut, nullptr) << name;
    cut->WriteRows(picture.Row(0), picture.RowBytes(), picture.height() - 1);
    EXPECT_FALSE(cut->Finish(&error)) << name;
    EXPECT_EQ(error, "the image's rows were not all given") << name;
  }
}

// Images of a few pixels are written in every format of the list (JPEG 2000's wavelet levels
// need at least 32 pixels a side unless fewer are asked for).
TEST(RowWriters, ImagesOfAFewPixelsAreWrittenInEveryFormat) {
  TempDir dir;
  const int sizes[][2] = {{1, 1}, {5, 3}, {2, 40}, {31, 31}, {32, 33}};
  for (uint32_t format = 0; format < 64; ++format) {
    if (FindEncoder(format) == nullptr) {
      continue;
    }
    for (const auto& size : sizes) {
      Image image;
      image.Reset(size[0], size[1], 24, {});
      std::fill(image.pixels().begin(), image.pixels().end(), uint8_t{200});
      EXPECT_TRUE(image.Save(dir / "small", format))
          << FindEncoder(format)->name << " " << size[0] << " x " << size[1] << ": "
          << image.last_error;
    }
  }
}

// A format's own limits are named before anything is written.
TEST(RowWriters, SizesPastAFormatsLimitsAreRefusedByName) {
  struct Case {
    uint32_t format;
    int width, height, bpp;
    const char* error;  // empty: fits
  };
  const Case cases[] = {
      {kFormatJpeg, 65500, 1, 24, ""},
      {kFormatJpeg, 65501, 1, 24,
       "an image of 65501 x 1 pixels is past what JPEG holds (65500 "
       "pixels a side)"},
      {kFormatGif, 1, 65536, 8,
       "an image of 1 x 65536 pixels is past what GIF holds (65535 "
       "pixels a side)"},
      {kFormatBmp, 37000, 38000, 24, ""},  // 4 218 000 000 bytes of rows
      {kFormatBmp, 38000, 38000, 24,
       "an image of 38000 x 38000 pixels is past what BMP holds "
       "(4 GB)"},
      {kFormatBmp, 38000, 38000, 8, ""},
      {kFormatPng, 100000, 100000, 24, ""},
      {kFormatWebp, 16383, 16383, 24, ""},
      {kFormatWebp, 5, 16384, 8,
       "an image of 5 x 16384 pixels is past what WebP holds (16383 "
       "pixels a side)"},
      {kFormatPng, 0, 10, 24, "an image of 0 x 10 pixels is past what PNG holds"},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_EQ(FitsFormat(c.format, c.width, c.height, c.bpp, &error), *c.error == 0)
        << c.width << " x " << c.height;
    EXPECT_EQ(error, c.error);
  }
}

TEST(BmpReader, ReadsBackWhatTheEncoderWrote) {
  TempDir dir;
  Image picture = Picture();
  picture.SetXDPI(300);
  picture.SetYDPI(150);
  ASSERT_TRUE(picture.Save(dir / "p.bmp", kFormatBmp)) << picture.last_error;
  Image back;
  ASSERT_TRUE(back.Load(dir / "p.bmp", kFormatBmp)) << back.last_error;
  ExpectSamePixels(back, picture);
  EXPECT_EQ(back.x_dpi(), 300);
  EXPECT_EQ(back.y_dpi(), 150);

  Image indexed = Picture();
  ASSERT_TRUE(indexed.DecreaseBpp(8, false));
  ASSERT_TRUE(indexed.Save(dir / "i.bmp", kFormatBmp));
  ASSERT_TRUE(back.Load(dir / "i.bmp", kFormatBmp));
  EXPECT_EQ(back.bpp(), 8);
  ExpectSamePixels(back, Picture());
}

// Every refusal comes before anything is allocated for pixels, with its own reason.
TEST(BmpReader, RefusesCutLyingAndHugeFiles) {
  TempDir dir;
  Image picture = Picture();
  ASSERT_TRUE(picture.Save(dir / "p.bmp", kFormatBmp));
  const std::vector<uint8_t> good = ReadAll(dir / "p.bmp");
  auto with = [&](size_t at, uint32_t value) {
    std::vector<uint8_t> bytes = good;
    for (int i = 0; i < 4; ++i) {
      bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
    }
    return bytes;
  };
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    const char* reason;
  };
  const Case cases[] = {
      {"not BMP", std::vector<uint8_t>(60, 'x'), "not a BMP file"},
      {"cut in the pixels", std::vector<uint8_t>(good.begin(), good.end() - 10),
       "BMP file cut in its pixels"},
      {"header size 20", with(14, 20), "BMP header of an unknown size"},
      {"2^31 pixels", with(18, 0x7FFFFFFF), "BMP size out of range"},
      {"zero width", with(18, 0), "BMP size out of range"},
      {"depth 7", with(28, 7), "BMP depth not supported"},
      {"RLE8 file", with(30, 1), "compressed BMP files are not read"},
      {"pixel offset past the end", with(10, 0xFFFFFF00), "BMP file cut in its pixels"},
  };
  for (const Case& c : cases) {
    Image image;
    std::string error;
    EXPECT_FALSE(ReadBmp(c.bytes, image, &error)) << c.what;
    EXPECT_EQ(error, c.reason) << c.what;
  }
}

}  // namespace
}  // namespace imaging
