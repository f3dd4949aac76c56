// A page's frame turned into pixels: the one rule by which every path that draws a page (the
// converter through GDI, its blank test, the tools through the engine) sizes it. Plain C++,
// built on every platform: the caller brings the screen's measures.
#pragma once

#include <cstdint>

// A metafile header's frame, in hundredths of a millimetre.
struct PageFrame {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
};

// What the screen says of itself (GetDeviceCaps): HORZSIZE and VERTSIZE in millimetres,
// HORZRES and VERTRES in pixels, LOGPIXELSX and LOGPIXELSY.
struct ScreenMeasures {
  int width_mm = 0;
  int height_mm = 0;
  int width_pixels = 0;
  int height_pixels = 0;
  int per_inch_x = 0;
  int per_inch_y = 0;
};

// Hundredths of a millimetre one pixel covers, on each axis. The screen's pitch is worked in
// 32-bit floating point, as the converter has always measured (a page's size in pixels can
// differ by one from a double's at some frames), and so is every size worked from it.
struct PixelPitch {
  double x = 0;
  double y = 0;
  bool single_precision = false;
};

// The converter's pitch: the screen's own at 96 an inch whatever the display's scaling (the
// converter is DPI-aware, so a scaled screen shows it physical pixels), then the resolution
// setting, which counts 72 for that density and applies only when both axes are set.
PixelPitch ScreenPitch(const ScreenMeasures& screen, float x_resolution = 0,
                       float y_resolution = 0);

// The pitch of a density in dots per inch.
PixelPitch PitchOfDensity(double x_dpi, double y_dpi);

// The frame's size in pixels at the pitch, with a half added for rounding and not yet cut to
// whole pixels (the rules that take a fixed size work from these).
struct FramePixels {
  double width = 0;
  double height = 0;
  bool single_precision = false;  // held, and worked on, as 32-bit floating point
};
FramePixels FrameInPixels(const PageFrame& frame, const PixelPitch& pitch);

// A size the settings fix: both sides, or one with the other kept in proportion to the frame,
// or (neither given) the frame's own size; each cut toward zero.
struct FixedSize {
  int width = 0;
  int height = 0;
};
FramePixels FixSize(const FramePixels& frame_size, const FixedSize& fixed);

// Whole pixels of a size, or none.
struct PixelCount {
  int width = 0;
  int height = 0;
};

// The size a page's bitmap is drawn at from its frame: at least one pixel each way and below
// 2^31; false when the size gives no bitmap (an empty or reversed frame, a size past what an
// int counts). Sizes are cut toward zero.
bool WholePixels(const FramePixels& size, PixelCount& pixels);

// The blank test's bitmap: the page's frame at the screen's pitch, halved on each axis.
enum class BlankTest {
  kNothingShows,  // a half is under one pixel, or the frame is empty
  kDrawn,         // pixels holds the test bitmap's size
  kTooLarge,      // more than kMaxBlankTestPixels: kept untested, since it could be a page
};
inline constexpr double kMaxBlankTestPixels = 1 << 26;
BlankTest BlankTestPixels(const PageFrame& frame, const PixelPitch& screen_pitch,
                          PixelCount& pixels);

// Whether a colour turns black in a black-and-white bitmap: a brightness (0.299 R + 0.587 G +
// 0.114 B, in thousandths so that the edge falls where it does in GDI's stand-in) of 128 or
// less, so that a page of 50 % grey text is not taken for blank.
inline bool TurnsBlackInBlackAndWhite(int red, int green, int blue) {
  return 299 * red + 587 * green + 114 * blue <= 128 * 1000;
}
