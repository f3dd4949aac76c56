#include "base/page_pixels.h"

#include <cmath>

namespace {

constexpr double kHundredthsOfMmPerInch = 2540.0;
constexpr double kLargestSide = 2147483647.0;  // what an int counts

}  // namespace

PixelPitch ScreenPitch(const ScreenMeasures& screen, float x_resolution, float y_resolution) {
  float x = static_cast<float>(screen.width_mm) * 100.0f / static_cast<float>(screen.width_pixels);
  float y =
      static_cast<float>(screen.height_mm) * 100.0f / static_cast<float>(screen.height_pixels);
  if (screen.per_inch_x > 0) {
    x *= static_cast<float>(screen.per_inch_x) / 96.0f;
  }
  if (screen.per_inch_y > 0) {
    y *= static_cast<float>(screen.per_inch_y) / 96.0f;
  }
  if (x_resolution > 0 && y_resolution > 0) {
    x = x * 72 / x_resolution;
    y = y * 72 / y_resolution;
  }
  return {x, y, true};
}

PixelPitch PitchOfDensity(double x_dpi, double y_dpi) {
  return {kHundredthsOfMmPerInch / x_dpi, kHundredthsOfMmPerInch / y_dpi};
}

FramePixels FrameInPixels(const PageFrame& frame, const PixelPitch& pitch) {
  const double width = (static_cast<double>(frame.right) - frame.left) / pitch.x + 0.5;
  const double height = (static_cast<double>(frame.bottom) - frame.top) / pitch.y + 0.5;
  if (pitch.single_precision) {
    return {static_cast<float>(width), static_cast<float>(height), true};
  }
  return {width, height, false};
}

FramePixels FixSize(const FramePixels& frame_size, const FixedSize& fixed) {
  const double w = frame_size.width;
  const double h = frame_size.height;
  const bool single = frame_size.single_precision;
  // One side in proportion to the frame: other * side / other side, cut toward zero.
  const auto in_proportion = [single](int other, double side, double other_side) {
    return single ? std::trunc(static_cast<float>(other) * static_cast<float>(side) /
                               static_cast<float>(other_side))
                  : std::trunc(other * side / other_side);
  };
  if (fixed.width > 0 && fixed.height > 0) {
    return {static_cast<double>(fixed.width), static_cast<double>(fixed.height), single};
  }
  if (fixed.width > 0) {
    return {static_cast<double>(fixed.width), in_proportion(fixed.width, h, w), single};
  }
  if (fixed.height > 0) {
    return {in_proportion(fixed.height, w, h), static_cast<double>(fixed.height), single};
  }
  return {std::trunc(w), std::trunc(h), single};
}

bool WholePixels(const FramePixels& size, PixelCount& pixels) {
  // Written so that NaN fails too.
  if (!(size.width >= 1 && size.height >= 1 && size.width < kLargestSide &&
        size.height < kLargestSide)) {
    return false;
  }
  pixels = {static_cast<int>(size.width), static_cast<int>(size.height)};
  return true;
}

BlankTest BlankTestPixels(const PageFrame& frame, const PixelPitch& screen_pitch,
                          PixelCount& pixels) {
  const FramePixels page = FrameInPixels(frame, screen_pitch);
  const double width = page.width * 0.5;
  const double height = page.height * 0.5;
  if (!(width >= 1 && height >= 1)) {
    return BlankTest::kNothingShows;
  }
  if (!(width * height <= kMaxBlankTestPixels)) {
    return BlankTest::kTooLarge;
  }
  pixels = {static_cast<int>(width), static_cast<int>(height)};
  return BlankTest::kDrawn;
}
