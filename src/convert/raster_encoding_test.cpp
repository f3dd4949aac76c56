#include "convert/raster_encoding.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "convert/rasterize.h"
#include "support/spool_builder.h"
#include "support/test_support.h"

namespace {

using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::TempDir;

// A 64 x 48 picture: red, green, blue and white quarters.
std::string MakeBmp(const TempDir& dir, int bits) {
  imaging::Image image;
  if (bits == 24) {
    image.Reset(64, 48, 24, {});
    for (int y = 0; y < 48; ++y) {
      for (int x = 0; x < 64; ++x) {
        uint8_t* p = image.Row(y) + 3 * x;
        const int quarter = (y >= 24) * 2 + (x >= 32);
        const imaging::Rgb colours[4] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
        p[0] = colours[quarter].r;
        p[1] = colours[quarter].g;
        p[2] = colours[quarter].b;
      }
    }
  } else if (bits == 8) {
    std::vector<imaging::Rgb> ramp(256);
    for (int i = 0; i < 256; ++i) {
      ramp[i] = {static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i)};
    }
    image.Reset(64, 48, 8, ramp);
    for (int y = 0; y < 48; ++y) {
      for (int x = 0; x < 64; ++x) {
        image.Row(y)[x] = static_cast<uint8_t>(x * 4);
      }
    }
  } else {
    image.Reset(64, 48, 1, {{0, 0, 0}, {255, 255, 255}});
    for (int y = 0; y < 48; ++y) {
      for (int x = 0; x < 64; ++x) {
        image.Row(y)[x] = x >= 32;
      }
    }
  }
  const std::string path = dir / ("in" + std::to_string(bits) + ".bmp");
  EXPECT_TRUE(image.Save(path, imaging::kFormatBmp));
  return path;
}

// What another reader sees in each corner of the picture of MakeBmp.
std::vector<std::string> Quarters(int tolerance) {
  std::vector<std::string> checks = {"at=10,10:255,0,0~", "at=50,10:0,255,0~", "at=10,40:0,0,255~",
                                     "at=50,40:255,255,255~"};
  for (std::string& check : checks) {
    check.append(std::to_string(tolerance));
  }
  return checks;
}

TEST(FormatCodes, FollowTheTableWithoutRegardToCase) {
  struct Case {
    const char* path;
    uint32_t code;
  };
  const Case cases[] = {{"a.bmp", 1},  {"a.GIF", 2},       {"C:\\x\\a.JPEG", 3}, {"a.jpg", 3},
                        {"a.png", 4},  {"a.ico", 5},       {"a.tif", 6},         {"a.Tiff", 6},
                        {"a.tga", 7},  {"a.pcx", 8},       {"a.wbmp", 9},        {"a.wmf", 10},
                        {"a.emf", 10}, {"a.jp2", 11},      {"a.j2k", 11},        {"a.jpc", 12},
                        {"a.j2c", 12}, {"a.pgx", 13},      {"a.pnm", 14},        {"a.pgm", 14},
                        {"a.ppm", 14}, {"a.ras", 15},      {"a.pbm", 16},        {"a.WebP", 17},
                        {"a.xyz", 0},  {"noextension", 0}, {"a.jpgx", 0}};
  for (const Case& c : cases) {
    EXPECT_EQ(FormatCodeFromExtension(c.path), c.code) << c.path;
  }
}

TEST(Encoding, EveryFormatReadsBackInAnotherReader) {
  if (const char* why = testing_support::ReadBackUnavailable()) {
    GTEST_SKIP() << why;
  }
  TempDir dir;
  const std::string colour = MakeBmp(dir, 24);
#ifndef _WIN32
  const mode_t current_umask = umask(022);
  umask(current_umask);
#endif
  struct Case {
    const char* extension;
    const char* mode;
    int tolerance;  // per channel; lossy formats get some
    bool carries_dpi;
  };
  const Case cases[] = {
      {"png", "RGB", 0, true},   {"jpg", "RGB", 12, true},  {"tif", "RGB", 0, true},
      {"bmp", "RGB", 0, true},   {"gif", "P", 8, false},    {"tga", "RGB", 0, false},
      {"pcx", "RGB", 0, true},   {"ppm", "RGB", 0, false},  {"ico", "RGB", 0, false},
      {"ras", "RGB", 0, false},  {"jp2", "RGB", 16, false}, {"j2k", "RGB", 16, false},
      {"webp", "RGB", 0, false},
  };
  for (const Case& c : cases) {
    const std::string out = dir / (std::string("out.") + c.extension);
    ASSERT_EQ(EncodeImageFile(colour, out, EncodeOptions{300, 150}), 0) << c.extension;
    std::vector<std::string> checks = Quarters(c.tolerance);
    checks.push_back("size=64x48");
    checks.push_back(std::string("mode=") + c.mode);
    if (c.carries_dpi) {
      checks.push_back("dpi=300x150");
    }
    EXPECT_EQ(testing_support::ReadBack(out, checks), "") << c.extension;
#ifndef _WIN32
    // Every format gets the mode of any new file (giflib alone would make GIFs 0600).
    struct stat info {};
    ASSERT_EQ(stat(out.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, static_cast<mode_t>(0666 & ~current_umask)) << c.extension;
#endif
  }
}

TEST(Encoding, TheAdjustmentsOfEachFormat) {
  if (const char* why = testing_support::ReadBackUnavailable()) {
    GTEST_SKIP() << why;
  }
  TempDir dir;
  const std::string grey = MakeBmp(dir, 8);
  const std::string mono = MakeBmp(dir, 1);
  const std::string colour = MakeBmp(dir, 24);
  struct Case {
    const std::string* from;
    const char* out;
    EncodeOptions options;
    std::vector<std::string> checks;
  };
  const Case cases[] = {
      // JPEG from an 8-bit grey image is raised to 24 bits.
      {&grey, "g.jpg", {}, {"mode=RGB"}},
      // GIF: 24 bits become 8 with a palette of their own; 1 bit stays two colours.
      {&colour, "c.gif", {}, {"mode=P"}},
      {&mono, "m.gif", {}, {"colours=2"}},
      // TIFF: Group 4 for black and white, PackBits otherwise.
      {&mono, "m.tif", {}, {"compression=group4"}},
      {&colour, "c.tif", {}, {"compression=packbits"}},
      // PBM holds black and white; PGM grey.
      {&colour, "c.pbm", {}, {"mode=1"}},
      {&grey, "g.pgm", {}, {"mode=L", "at=50,10:200,200,200~0"}},
      // Resolutions are whole dots per inch.
      {&colour, "r.png", EncodeOptions{150, 150}, {"dpi=150x150"}},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(EncodeImageFile(*c.from, dir / c.out, c.options), 0) << c.out;
    EXPECT_EQ(testing_support::ReadBack(dir / c.out, c.checks), "") << c.out;
  }
  // WBMP and PGX are read byte by byte.
  ASSERT_EQ(EncodeImageFile(mono, dir / "m.wbmp", {}), 0);
  const std::string wbmp = ReadFile(dir / "m.wbmp");
  EXPECT_EQ(wbmp.substr(0, 4), std::string("\0\0\x40\x30", 4));  // type, header, 64, 48
  EXPECT_EQ(static_cast<unsigned char>(wbmp[4]), 0x00u);         // black half first
  EXPECT_EQ(static_cast<unsigned char>(wbmp[8]), 0xFFu);
  ASSERT_EQ(EncodeImageFile(grey, dir / "g.pgx", {}), 0);
  EXPECT_EQ(ReadFile(dir / "g.pgx").substr(0, 16), "PG ML + 8 64 48\n");
}

TEST(Encoding, RefusalsLeaveNoFile) {
  TempDir dir;
  const std::string colour = MakeBmp(dir, 24);
  EXPECT_EQ(EncodeImageFile(colour, dir / "x.xyz", {}), 1);
  EXPECT_FALSE(FileExists(dir / "x.xyz"));
  testing_support::WriteFile(dir / "cut.bmp", ReadFile(colour).substr(0, 500));
  EXPECT_EQ(EncodeImageFile(dir / "cut.bmp", dir / "cut.png", {}), 1);
  EXPECT_FALSE(FileExists(dir / "cut.png"));
  // A header that claims 2^31 pixels is refused before anything is allocated.
  std::string huge = ReadFile(colour).substr(0, 54);
  huge[18] = 0;
  huge[19] = 0;
  huge[20] = 1;  // 65536 wide
  huge[22] = 0;
  huge[23] = static_cast<char>(0x80);  // 32768 high
  huge[24] = 0;
  testing_support::WriteFile(dir / "huge.bmp", huge);
  imaging::Image image;
  EXPECT_FALSE(image.Load(dir / "huge.bmp", imaging::kFormatBmp));
  EXPECT_FALSE(image.last_error.empty());
}

// bReducePng: a PNG of RGB pixels is written as grey levels or a palette at the smallest
// depth that holds every pixel unchanged, else as RGB; Pillow reads the same pixels back.
TEST(Encoding, ReducedPngsHoldEveryPixelUnchanged) {
  if (const char* why = testing_support::ReadBackUnavailable()) {
    GTEST_SKIP() << why;
  }
  TempDir dir;
  struct Case {
    const char* name;
    uint32_t (*colour)(int x, int y);  // 0xRRGGBB of a 300 x 200 page
    int bit_depth;                     // what IHDR says, reduced
    int colour_type;                   // 0 grey, 2 RGB, 3 palette
  };
  const Case cases[] = {
      {"black and white", [](int x, int y) { return (x / 7 + y / 5) % 2 ? 0xFFFFFFu : 0u; }, 1, 0},
      {"four greys of the 2-bit ramp", [](int x, int) { return 0x555555u * (x % 4); }, 2, 0},
      {"grey gradient", [](int x, int y) { return 0x010101u * ((x + y) % 256); }, 8, 0},
      {"three greys off the ramp", [](int x, int) { return 0x101010u * (x % 3 + 1); }, 2, 3},
      {"text in five colours",
       [](int x, int y) {
         const uint32_t ink[] = {0xFFFFFF, 0x000000, 0xC00000, 0x0000C0, 0x808080};
         return ink[(x * 7 + y * 3) % 5];
       },
       4, 3},
      {"a picture", [](int x, int y) { return uint32_t(x) << 16 | uint32_t(y) << 8 | 0x40; }, 8, 2},
  };
  for (const Case& c : cases) {
    imaging::Image image;
    image.Reset(300, 200, 24, {});
    for (int y = 0; y < 200; ++y) {
      for (int x = 0; x < 300; ++x) {
        const uint32_t v = c.colour(x, y);
        uint8_t* p = image.Row(y) + 3 * x;
        p[0] = static_cast<uint8_t>(v >> 16);
        p[1] = static_cast<uint8_t>(v >> 8);
        p[2] = static_cast<uint8_t>(v);
      }
    }
    const std::string bmp = dir / "page.bmp";
    const std::string png = dir / "page.png";
    ASSERT_TRUE(image.Save(bmp, imaging::kFormatBmp));
    std::remove(png.c_str());
    ASSERT_EQ(EncodeImageFile(bmp, png, EncodeOptions{96, 96, true}), 0) << c.name;
    const std::string bytes = ReadFile(png);
    ASSERT_GT(bytes.size(), 26u);
    EXPECT_EQ(bytes[24], c.bit_depth) << c.name;
    EXPECT_EQ(bytes[25], c.colour_type) << c.name;
    EXPECT_EQ(testing_support::ReadBack(png, {"same=" + bmp}), "") << c.name;
  }
  // Without the setting the converter's rule holds: a 24-bit page gives a 24-bit PNG.
  const std::string png = dir / "rgb.png";
  ASSERT_EQ(EncodeImageFile(dir / "page.bmp", png, EncodeOptions{}), 0);
  EXPECT_EQ(ReadFile(png)[25], 2);
}

// A page of five colours: a red box, a blue ellipse over it, a grey bar, on white.
std::string ColourPage() {
  using testing_support::EmfRecord;
  return testing_support::EmfPage(EmfRecord(39, {1, 0, 0x0000C0, 0}) + EmfRecord(37, {1}) +
                                      EmfRecord(43, {200, 200, 2600, 1800}) +
                                      EmfRecord(39, {2, 0, 0xC04000, 0}) + EmfRecord(37, {2}) +
                                      EmfRecord(42, {1200, 900, 3600, 2600}) +
                                      EmfRecord(39, {3, 0, 0x808080, 0}) + EmfRecord(37, {3}) +
                                      EmfRecord(43, {300, 2800, 3800, 3100}),
                                  4000, 3200);
}

// The converter draws a page into a bitmap of its own and encodes its rows straight into the
// output: for every format of the table, at every depth it draws, in colour and in grey, the
// file is byte for byte the one that drawing the page into a BMP file and encoding that file
// gives (the BMP output's own path). Depth 4 is refused by both.
TEST(Encoding, EveryFormatAndDepthAsFromABmpFile) {
  TempDir dir;
  const std::string page = dir / "page.emf";
  testing_support::WriteFile(page, ColourPage());
  const char* const extensions[] = {"gif", "jpg", "jpeg", "png", "ico", "tif", "tiff",
                                    "tga", "pcx", "wbmp", "jp2", "j2k", "jpc", "j2c",
                                    "pgx", "pnm", "pgm",  "ppm", "ras", "pbm", "webp"};
  for (const int depth : {1, 4, 8, 16, 24, 32}) {
    for (const int grey : {0, 1}) {
      ImageSettings settings;
      settings.colorDepth = depth;
      settings.grayscale = grey;
      settings.xResolution = 150;
      settings.yResolution = 120;
      settings.reducePng = grey;  // both PNG rules, once each
      const std::string bmp = dir / "page.bmp";
      std::remove(bmp.c_str());
      std::string reason;
      const bool drawn = RenderEmfToBmp(page, bmp, settings, &reason) != 0;
      EXPECT_EQ(drawn, depth != 4) << depth << " " << reason;
      for (const char* extension : extensions) {
        SCOPED_TRACE(std::string(extension) + " at " + std::to_string(depth) +
                     (grey ? " bits, grey" : " bits"));
        const std::string expected = dir / (std::string("expected.") + extension);
        const std::string written = dir / (std::string("written.") + extension);
        std::remove(expected.c_str());
        std::remove(written.c_str());
        std::string why;
        const int result = RenderPageToImage(page, written, settings, why);
        if (!drawn) {
          EXPECT_EQ(result, 0);
          EXPECT_FALSE(FileExists(written));
          continue;
        }
        ASSERT_EQ(result, 1) << why;
        ASSERT_EQ(EncodeImageFile(bmp, expected, EncodeOptions{150, 120, grey != 0}), 0);
        const std::string bytes = ReadFile(written);
        EXPECT_GT(bytes.size(), 0u);
        EXPECT_TRUE(bytes == ReadFile(expected));
      }
    }
  }
}

}  // namespace
