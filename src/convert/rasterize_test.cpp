#include "convert/rasterize.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "services/program_values.h"
#include "support/spool_builder.h"
#include "support/test_support.h"

namespace {

using testing_support::EmfPage;
using testing_support::EmfRecord;
using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

uint32_t Get32(const std::string& b, size_t at) {
  uint32_t v = 0;
  std::memcpy(&v, b.data() + at, 4);
  return v;
}

// A frame's length (hundredths of a millimetre) in pixels at the screen's density, which the
// platform gives: 96 dots per inch on the stand-in, 1024 pixels on 271 mm under Wine.
double AtScreenDensity(int32_t length, bool across) {
  HDC screen = GetDC(nullptr);
  const double per_pixel =
      across ? GetDeviceCaps(screen, HORZSIZE) * 100.0 / GetDeviceCaps(screen, HORZRES)
             : GetDeviceCaps(screen, VERTSIZE) * 100.0 / GetDeviceCaps(screen, VERTRES);
  ReleaseDC(nullptr, screen);
  return length / per_pixel + 0.5;
}

// An A4 page at the screen's density.
const uint32_t kA4Width = static_cast<uint32_t>(AtScreenDensity(21000, true));
const uint32_t kA4Height = static_cast<uint32_t>(AtScreenDensity(29700, false));

// A red box on a page of the given frame.
std::string RedPage(int32_t right = 21000, int32_t bottom = 29700) {
  return EmfPage(
      EmfRecord(39, {1, 0, 0x0000FF, 0}) + EmfRecord(37, {1}) + EmfRecord(43, {0, 0, 2000, 2000}),
      right, bottom);
}

class RasterizeTest : public ::testing::Test {
 protected:
  std::string Page(const std::string& bytes) {
    WriteFile(dir_ / "page.emf", bytes);
    return dir_ / "page.emf";
  }
  TempDir dir_;
};

TEST_F(RasterizeTest, BmpLayoutForEachDepth) {
  struct Case {
    int depth;
    uint32_t offset;
    uint32_t colors;
  };
  const Case cases[] = {{1, 64, 2},  {8, 1080, 256}, {16, 56, 0},
                        {24, 56, 0}, {32, 56, 0},    {0, 56, 0}};
  for (const Case& c : cases) {
    ImageSettings settings;
    settings.colorDepth = c.depth;
    const std::string out = dir_ / ("page" + std::to_string(c.depth) + ".bmp");
    ASSERT_EQ(RenderEmfToBmp(Page(RedPage()), out, settings), 1);
    const std::string b = ReadFile(out);
    const int depth = c.depth == 0 ? 24 : c.depth;
    const uint32_t image = (kA4Width * depth + 31) / 32 * 4 * kA4Height;
    EXPECT_EQ(b.substr(0, 2), "BM");
    EXPECT_EQ(Get32(b, 2), c.offset + image) << c.depth;
    EXPECT_EQ(Get32(b, 10), c.offset) << c.depth;
    EXPECT_EQ(Get32(b, 14), 40u);
    EXPECT_EQ(Get32(b, 18), kA4Width);
    EXPECT_EQ(Get32(b, 22), kA4Height);
    EXPECT_EQ(Get32(b, 28) & 0xFFFF, static_cast<uint32_t>(depth));
    EXPECT_EQ(Get32(b, 34), image);
    EXPECT_EQ(Get32(b, 46), c.colors);
    EXPECT_EQ(b.size(), c.offset + image);
    EXPECT_EQ(b.substr(c.offset - 2, 2), std::string(2, '\0'));  // the gap
    if (c.depth == 1) {
      EXPECT_EQ(Get32(b, 54), 0u);
      EXPECT_EQ(Get32(b, 58), 0x00FFFFFFu);
    }
    if (c.depth == 8) {
      EXPECT_EQ(Get32(b, 54 + 4 * 200), 0x00C8C8C8u);
    }
  }
}

TEST_F(RasterizeTest, SizeFromFrameResolutionAndRequestedSize) {
  struct Case {
    const char* name;
    float x_dpi, y_dpi;
    int specify, width, height;
    int32_t frame_right, frame_bottom;
    uint32_t expected_width, expected_height;
  };
  // A page of 15875 x 21167 at the screen's density keeps its aspect when one side is given.
  const double aspect = AtScreenDensity(21167, false) / AtScreenDensity(15875, true);
  const auto times = [](double scale, double length) {
    return static_cast<uint32_t>(scale * length);
  };
  const Case cases[] = {
      {"screen density", 0, 0, 0, 0, 0, 21000, 29700, kA4Width, kA4Height},
      {"144 dots per inch doubles", 144, 144, 0, 0, 0, 21000, 29700,
       static_cast<uint32_t>(AtScreenDensity(2 * 21000, true)),
       static_cast<uint32_t>(AtScreenDensity(2 * 29700, false))},
      {"horizontal resolution alone scales nothing", 300, 0, 0, 0, 0, 21000, 29700, kA4Width,
       kA4Height},
      {"width only keeps the aspect", 0, 0, 1, 800, 0, 15875, 21167, 800, times(800, aspect)},
      {"height only", 0, 0, 1, 0, 400, 15875, 21167, times(400, 1 / aspect), 400},
      {"both given", 0, 0, 1, 100, 50, 21000, 29700, 100, 50},
      {"empty frame with a requested size", 0, 0, 1, 40, 30, 0, 29700, 40, 30},
  };
  for (const Case& c : cases) {
    ImageSettings settings;
    settings.xResolution = c.x_dpi;
    settings.yResolution = c.y_dpi;
    settings.specifySize = c.specify;
    settings.width = c.width;
    settings.height = c.height;
    const std::string out = dir_ / (std::string("size-") + std::to_string(&c - cases) + ".bmp");
    ASSERT_EQ(RenderEmfToBmp(Page(RedPage(c.frame_right, c.frame_bottom)), out, settings), 1)
        << c.name;
    const std::string b = ReadFile(out);
    EXPECT_EQ(Get32(b, 18), c.expected_width) << c.name;
    EXPECT_EQ(Get32(b, 22), c.expected_height) << c.name;
  }
}

TEST_F(RasterizeTest, RefusalsWriteNothing) {
  ImageSettings settings;
  EXPECT_EQ(RenderEmfToBmp(Page(RedPage(0, 29700)), dir_ / "empty.bmp", settings), 0);
  // A frame from INT32_MIN to INT32_MAX: its width does not fit 32 bits, and no bitmap does
  // either; refused without undefined arithmetic.
  std::string widest = RedPage(INT32_MAX, INT32_MAX);
  for (size_t at : {24u, 28u}) {  // the frame's left and top
    const uint32_t low = 0x80000000u;
    std::memcpy(widest.data() + at, &low, 4);
  }
  std::string why;
  EXPECT_EQ(RenderEmfToBmp(Page(widest), dir_ / "widest.bmp", settings, &why), 0);
  EXPECT_NE(why, "");
  EXPECT_EQ(RenderEmfToBmp(Page("not a metafile"), dir_ / "text.bmp", settings), 0);
  settings.colorDepth = 4;
  EXPECT_EQ(RenderEmfToBmp(Page(RedPage()), dir_ / "four.bmp", settings), 0);
  for (const char* name : {"empty.bmp", "text.bmp", "four.bmp", "widest.bmp"}) {
    EXPECT_FALSE(FileExists(dir_ / name)) << name;
  }
  // An existing file is never overwritten.
  WriteFile(dir_ / "taken.bmp", "keep");
  settings.colorDepth = 24;
  RenderEmfToBmp(Page(RedPage()), dir_ / "taken.bmp", settings);
  EXPECT_EQ(ReadFile(dir_ / "taken.bmp"), "keep");
}

TEST_F(RasterizeTest, GreyscaleGivesEqualChannelsAndTheRedBoxIsThere) {
  for (const int grey : {0, 1}) {
    ImageSettings settings;
    settings.grayscale = grey;
    const std::string out = dir_ / (std::string("grey") + std::to_string(grey) + ".bmp");
    ASSERT_EQ(RenderEmfToBmp(Page(RedPage()), out, settings), 1);
    const std::string b = ReadFile(out);
    // Bottom-up rows: row 10 from the top, pixel 10, inside the red box's outline.
    const size_t stride = (kA4Width * 3 + 3) / 4 * 4;
    const size_t top_left = 56 + stride * (kA4Height - 1 - 10) + 10 * 3;
    const uint8_t blue = b[top_left], green = b[top_left + 1], red = b[top_left + 2];
    if (grey) {
      EXPECT_EQ(blue, 85);
      EXPECT_EQ(green, 85);
      EXPECT_EQ(red, 85);
    } else {
      EXPECT_EQ(red, 255);
      EXPECT_EQ(green, 0);
    }
  }
}

TEST_F(RasterizeTest, GreyscaleReachesPixelsBetweenWhiteRuns) {
  // A one-pixel red line at x = 7 in white: the pass must not jump over it.
  const std::string page = EmfPage(EmfRecord(38, {1, 0, 1, 0, 0x0000FF}) + EmfRecord(37, {1}) +
                                   EmfRecord(27, {7, 0}) + EmfRecord(54, {7, 100}));
  ImageSettings settings;
  settings.grayscale = 1;
  ASSERT_EQ(RenderEmfToBmp(Page(page), dir_ / "line.bmp", settings), 1);
  const std::string b = ReadFile(dir_ / "line.bmp");
  const size_t stride = (kA4Width * 3 + 3) / 4 * 4;
  const size_t row = 56 + stride * (kA4Height - 1 - 50);
  EXPECT_EQ(static_cast<uint8_t>(b[row + 7 * 3]), 85);
  EXPECT_EQ(static_cast<uint8_t>(b[row + 7 * 3 + 2]), 85);
  EXPECT_EQ(static_cast<uint8_t>(b[row + 6 * 3]), 255);
  EXPECT_EQ(static_cast<uint8_t>(b[row + 8 * 3 + 1]), 255);
}

TEST(TempFiles, EndInTheirEnding) {
  const std::string path = MakeTempFilePath(".bmp");
  EXPECT_TRUE(path.ends_with(".tmp.bmp")) << path;
  EXPECT_NE(path.find("quadrine-"), std::string::npos);
  EXPECT_FALSE(FileExists(path));
}

}  // namespace
