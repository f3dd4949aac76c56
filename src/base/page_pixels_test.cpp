#include "base/page_pixels.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr PageFrame kA4{0, 0, 21000, 29700};
// The stand-in's screen: 1920 x 1440 pixels on 508 x 381 mm, 96 an inch.
constexpr ScreenMeasures kScreen{508, 381, 1920, 1440, 96, 96};

PixelCount Whole(const FramePixels& size) {
  PixelCount pixels;
  EXPECT_TRUE(WholePixels(size, pixels));
  return pixels;
}

TEST(PagePixels, TheScreenAndTheResolutionSettingGiveThePitch) {
  struct Case {
    ScreenMeasures screen;
    float x_resolution, y_resolution;
    int width, height;
  };
  const Case cases[] = {
      {kScreen, 0, 0, 794, 1123},
      // A display scaled to 150 %: physical pixels, yet the page keeps its size at 96.
      {{508, 381, 2880, 2160, 144, 144}, 0, 0, 794, 1123},
      {kScreen, 144, 144, 1587, 2245},  // 72 counts for the screen's own density
      {kScreen, 300, 0, 794, 1123},     // one axis alone changes nothing
  };
  for (const Case& c : cases) {
    const PixelCount pixels =
        Whole(FrameInPixels(kA4, ScreenPitch(c.screen, c.x_resolution, c.y_resolution)));
    EXPECT_EQ(pixels.width, c.width) << c.x_resolution;
    EXPECT_EQ(pixels.height, c.height) << c.x_resolution;
  }
  const PixelCount at96 = Whole(FrameInPixels(kA4, PitchOfDensity(96, 96)));
  EXPECT_EQ(at96.width, 794);
  EXPECT_EQ(at96.height, 1123);
}

TEST(PagePixels, AFixedSizeKeepsTheFramesProportionsForAMissingSide) {
  const FramePixels page{600.4, 800.4};
  struct Case {
    FixedSize fixed;
    int width, height;
  };
  const Case cases[] = {
      {{800, 0}, 800, 1066}, {{0, 400}, 300, 400}, {{50, 70}, 50, 70}, {{0, 0}, 600, 800}};
  for (const Case& c : cases) {
    const PixelCount pixels = Whole(FixSize(page, c.fixed));
    EXPECT_EQ(pixels.width, c.width);
    EXPECT_EQ(pixels.height, c.height);
  }
  // The screen's sizes are worked in 32-bit floating point, as the converter always worked
  // them: here the proportional side comes out one pixel longer than in double precision.
  const FramePixels tall = FrameInPixels({0, 0, 7457, 35560}, ScreenPitch(kScreen));
  EXPECT_EQ(Whole(FixSize(tall, {1000, 0})).height, 4762);
}

TEST(PagePixels, SizesNoBitmapCanHaveAreRefused) {
  PixelCount pixels;
  for (const FramePixels size : {FramePixels{0.5, 10}, FramePixels{10, -3}, FramePixels{3e9, 10},
                                 FramePixels{10, std::nan("")}}) {
    EXPECT_FALSE(WholePixels(size, pixels)) << size.width << " x " << size.height;
  }
}

// The blank test halves the page: a half under one pixel shows nothing, and a page too large
// to draw (or measured on a screen that gives no size) is kept untested, never taken for blank.
TEST(PagePixels, TheBlankTestKeepsWhatItCannotDraw) {
  struct Case {
    PageFrame frame;
    ScreenMeasures screen;
    BlankTest result;
  };
  const Case cases[] = {
      {kA4, kScreen, BlankTest::kDrawn},
      {{0, 0, 20, 29700}, kScreen, BlankTest::kNothingShows},
      {{0, 0, 0, 0}, kScreen, BlankTest::kNothingShows},
      {{0, 0, 2000000000, 2000000000}, kScreen, BlankTest::kTooLarge},
      {kA4, {0, 0, 1920, 1440, 96, 96}, BlankTest::kTooLarge},
  };
  for (const Case& c : cases) {
    PixelCount pixels;
    EXPECT_EQ(BlankTestPixels(c.frame, ScreenPitch(c.screen), pixels), c.result) << c.frame.right;
  }
  PixelCount half;
  ASSERT_EQ(BlankTestPixels(kA4, ScreenPitch(kScreen), half), BlankTest::kDrawn);
  EXPECT_EQ(half.width, 397);
  EXPECT_EQ(half.height, 561);
}

}  // namespace
