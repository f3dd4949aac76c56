// The canvas on its own, without the player: device-pixel shapes in, pixels out.
#include "emf/canvas/canvas.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "emf/canvas/raster_ops.h"
#include "emf/player/player.h"
#include "support/spool_builder.h"

#if defined(__SANITIZE_ADDRESS__)
#include <ft2build.h>
#include <sanitizer/lsan_interface.h>
#include FT_FREETYPE_H
#endif

// cairo's image surfaces fail on demand, as when memory runs out: while refused is set, every
// image surface the engine makes is cairo's error surface, and while masks_refused is set,
// every 8-bit one of more than a pixel (what glyph masks are made of). The engine is linked
// into this program, so its calls come here first.
namespace {
std::atomic<bool> refused{false};
std::atomic<bool> masks_refused{false};
}  // namespace

extern "C" cairo_surface_t* cairo_image_surface_create(cairo_format_t format, int width,
                                                       int height) {
  using Create = cairo_surface_t* (*)(cairo_format_t, int, int);
  static const auto create =
      reinterpret_cast<Create>(dlsym(RTLD_NEXT, "cairo_image_surface_create"));
  const bool mask = format == CAIRO_FORMAT_A8 && width * height > 1;
  return refused || (masks_refused && mask) ? create(format, -1, -1)
                                            : create(format, width, height);
}

namespace emf {
namespace {

constexpr int kSide = 40;
constexpr uint32_t kWhite = 0xFFFFFF, kBlack = 0x000000;
constexpr ColorRef kRedRef = 0x0000FF;  // COLORREF red
constexpr uint32_t kRed = 0xFF0000;     // the same red as a pixel
constexpr int kR2Xor = 7, kR2Nop = 11;
constexpr uint32_t kBlackness = 0x00000042, kPatCopy = 0x00F00021, kDstInvert = 0x00550009;

struct Surface {
  std::vector<uint32_t> pixels = std::vector<uint32_t>(kSide * kSide, kWhite);
  Canvas canvas{pixels.data(), kSide, kSide, kSide * 4};
  uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * kSide + x] & 0xFFFFFF; }
  // How many pixels of the surface have the colour.
  int Count(uint32_t color) const {
    int n = 0;
    for (uint32_t p : pixels) {
      n += (p & 0xFFFFFF) == color;
    }
    return n;
  }
};

int Differing(const Surface& a, const Surface& b) {
  int n = 0;
  for (size_t i = 0; i < a.pixels.size(); ++i) {
    n += (a.pixels[i] & 0xFFFFFF) != (b.pixels[i] & 0xFFFFFF);
  }
  return n;
}

Path Box(double l, double t, double r, double b) {
  Path path;
  path.MoveTo({l, t});
  path.LineTo({r, t});
  path.LineTo({r, b});
  path.LineTo({l, b});
  path.Close();
  return path;
}

Paint SolidPaint(ColorRef color) {
  Paint paint;
  paint.brush = Brush{Brush::kSolid, color, 0, nullptr, false};
  return paint;
}

TEST(Canvas, FillsCoverWholePixelsFromTheLeftEdgeUpToTheRight) {
  Surface s;
  s.canvas.FillPath(Box(10, 10, 20, 15), FillRule::kWinding, SolidPaint(kRedRef), kR2CopyPen);
  EXPECT_EQ(s.Count(kRed), 10 * 5);
  EXPECT_EQ(s.At(10, 10), kRed);
  EXPECT_EQ(s.At(19, 14), kRed);
  EXPECT_EQ(s.At(20, 14), kWhite);
  EXPECT_EQ(s.At(19, 15), kWhite);
  // A null brush paints nothing; XOR twice gives the page back; NOP changes nothing.
  Paint null_brush;
  null_brush.brush.style = Brush::kNull;
  s.canvas.FillPath(Box(0, 0, 40, 40), FillRule::kWinding, null_brush, kR2CopyPen);
  s.canvas.FillPath(Box(0, 0, 40, 40), FillRule::kWinding, SolidPaint(0xFFFFFF), kR2Nop);
  EXPECT_EQ(s.Count(kRed), 50);
  s.canvas.FillPath(Box(15, 12, 30, 20), FillRule::kWinding, SolidPaint(0xFFFFFF), kR2Xor);
  EXPECT_EQ(s.At(16, 13), 0x00FFFF);  // red XOR white
  EXPECT_EQ(s.At(25, 18), kBlack);    // white XOR white
  s.canvas.FillPath(Box(15, 12, 30, 20), FillRule::kWinding, SolidPaint(0xFFFFFF), kR2Xor);
  EXPECT_EQ(s.Count(kRed), 50);
  EXPECT_EQ(s.Count(kWhite), kSide * kSide - 50);
}

TEST(Canvas, AClipRegionLimitsFillsLinesAndPixels) {
  Surface s;
  Region clip = MakeRegion(0, 0, 20, 40);
  s.canvas.SetClip(clip.get());
  s.canvas.FillPath(Box(10, 10, 30, 20), FillRule::kWinding, SolidPaint(kRedRef), kR2CopyPen);
  EXPECT_EQ(s.At(19, 15), kRed);
  EXPECT_EQ(s.At(20, 15), kWhite);
  StrokeStyle pen;
  Path line;
  line.MoveTo({0, 30});
  line.LineTo({39, 30});
  s.canvas.StrokePath(line, pen, kR2CopyPen);
  EXPECT_EQ(s.At(19, 30), kBlack);
  EXPECT_EQ(s.At(25, 30), kWhite);
  s.canvas.SetPixel(25, 5, 0);
  s.canvas.SetPixel(5, 5, 0);
  s.canvas.SetPixel(-1, 5, 0);  // off the surface: nothing, no fault
  EXPECT_EQ(s.At(25, 5), kWhite);
  EXPECT_EQ(s.At(5, 5), kBlack);
  s.canvas.SetClip(nullptr);
  s.canvas.SetPixel(25, 5, 0);
  EXPECT_EQ(s.At(25, 5), kBlack);
}

// A shaded triangle reaching millions of pixels past the surface is shaded over the part
// that shows, linearly from its corners: red from nothing at the left to full at x = 40.
TEST(Canvas, AShadedTriangleFarPastTheSurfaceShadesThePartThatShows) {
  Surface s;
  const Point corners[3] = {{0, 0}, {40, 0}, {0, 4e9}};
  const ColorRef colours[3] = {0, kRedRef, 0};
  s.canvas.FillGradientTriangle(corners, colours);
  for (int x : {5, 20, 35}) {
    const int red = static_cast<int>(s.At(x, 2) >> 16);
    EXPECT_NEAR(red, (x + 0.5) / 40 * 255, 4) << x;
  }
}

TEST(Canvas, CosmeticDashesCountPixelsAndOpaqueGapsTakeTheBackground) {
  Surface s;
  StrokeStyle pen;
  pen.dashes = {3, 1};
  Path line;
  line.MoveTo({0, 2});
  line.LineTo({8, 2});
  s.canvas.StrokePath(line, pen, kR2CopyPen);
  const uint32_t expected[8] = {kBlack, kBlack, kBlack, kWhite, kBlack, kBlack, kBlack, kWhite};
  for (int x = 0; x < 8; ++x) {
    EXPECT_EQ(s.At(x, 2), expected[x]) << x;
  }
  EXPECT_EQ(s.At(8, 2), kWhite);  // the last pixel is left out
  pen.opaque_gaps = true;
  pen.background = kRedRef;
  line = Path();
  line.MoveTo({0, 4});
  line.LineTo({8, 4});
  s.canvas.StrokePath(line, pen, kR2CopyPen);
  EXPECT_EQ(s.At(3, 4), kRed);
  EXPECT_EQ(s.At(2, 4), kBlack);
}

TEST(Canvas, TernaryOperationsWithAndWithoutASource) {
  Surface s;
  s.canvas.FillWithRop3(Box(0, 0, 10, 10), kBlackness, SolidPaint(kRedRef));
  EXPECT_EQ(s.At(5, 5), kBlack);
  s.canvas.FillWithRop3(Box(10, 0, 20, 10), kPatCopy, SolidPaint(kRedRef));
  EXPECT_EQ(s.At(15, 5), kRed);
  s.canvas.FillWithRop3(Box(5, 0, 15, 10), kDstInvert, SolidPaint(kRedRef));
  EXPECT_EQ(s.At(7, 5), kWhite);     // black inverted
  EXPECT_EQ(s.At(12, 5), 0x00FFFF);  // red inverted

  // A 2 x 2 image stretched onto 10 x 10 pixels, nearest pixels, copied as it is.
  Image image;
  image.width = image.height = 2;
  image.pixels = {0xFF0000FF, 0xFF00FF00, 0xFFFF0000, 0xFF000000};
  s.canvas.DrawImage(image, 0, 0, 2, 2, {20, 20}, {30, 20}, {20, 30}, kSrcCopy, nullptr, false);
  EXPECT_EQ(s.At(21, 21), 0x0000FF);
  EXPECT_EQ(s.At(28, 21), 0x00FF00);
  EXPECT_EQ(s.At(21, 28), 0xFF0000);
  EXPECT_EQ(s.At(28, 28), kBlack);
  EXPECT_EQ(s.At(30, 25), kWhite);
}

// Upright fills of one colour are written straight into the pixels; every other fill goes
// through cairo. Both must cover the same pixels: a fill with a one-pixel pattern brush and an
// image that carries alpha take cairo's way, and are the reference for a solid brush and an
// opaque image of one colour, over edges at and around half pixels and cairo's 1/256 steps,
// either way round, past the canvas, and cut by a clip region of two rectangles.
TEST(Canvas, UprightFillsOfOneColourCoverThePixelsCairoWould) {
  struct Edges {
    double left, top, right, bottom;
  };
  const Edges boxes[] = {
      {10, 10, 20, 15},
      {10.5, 3.5, 20.5, 7.5},
      {10.49609375, 3.50390625, 20.50390625, 7.49609375},
      {10.498046875, 3.501953125, 20.501953125, 7.498046875},
      {12.2, 4.7, 12.9, 30.1},   // narrower than a pixel
      {30.6, 30.6, 12.4, 20.4},  // drawn from the bottom right
      {-5.5, -3.5, 6.5, 4.5},
      {35.5, 20, 60, 45.5},
      {17.3, 17.3, 17.3, 25},  // no width
  };
  Paint pattern_brush;
  auto one_pixel = std::make_shared<Image>();
  one_pixel->width = one_pixel->height = 1;
  one_pixel->pixels = {0xFF000000u | kRed};
  pattern_brush.brush = Brush{Brush::kPattern, 0, 0, one_pixel, false};
  Image opaque;
  opaque.width = 3;
  opaque.height = 2;
  opaque.pixels.assign(6, 0xFF000000u | kRed);
  Image with_alpha = opaque;
  with_alpha.has_alpha = true;
  Region clip = MakeRegion();
  cairo_rectangle_int_t parts[] = {{0, 0, 14, 40}, {14, 5, 26, 20}};
  for (const cairo_rectangle_int_t& part : parts) {
    cairo_region_union_rectangle(clip.get(), &part);
  }
  for (bool clipped : {false, true}) {
    for (const Edges& b : boxes) {
      SCOPED_TRACE(::testing::Message() << b.left << "," << b.top << " - " << b.right << ","
                                        << b.bottom << (clipped ? " clipped" : ""));
      Surface fast, cairo;
      for (Surface* s : {&fast, &cairo}) {
        s->canvas.SetClip(clipped ? clip.get() : nullptr);
      }
      const Path area = Box(b.left, b.top, b.right, b.bottom);
      fast.canvas.FillPath(area, FillRule::kWinding, SolidPaint(kRedRef), kR2CopyPen);
      cairo.canvas.FillPath(area, FillRule::kWinding, pattern_brush, kR2CopyPen);
      EXPECT_EQ(Differing(fast, cairo), 0) << "a fill";
      Surface fast_image, cairo_image;
      for (Surface* s : {&fast_image, &cairo_image}) {
        s->canvas.SetClip(clipped ? clip.get() : nullptr);
      }
      const Point tl{b.left, b.top}, tr{b.right, b.top}, bl{b.left, b.bottom};
      fast_image.canvas.DrawImage(opaque, 0, 0, 3, 2, tl, tr, bl, kSrcCopy, nullptr, false);
      cairo_image.canvas.DrawImage(with_alpha, 0, 0, 3, 2, tl, tr, bl, kSrcCopy, nullptr, false);
      EXPECT_EQ(Differing(fast_image, cairo_image), 0) << "an image";
    }
  }
}

// The canvas keeps its clip on cairo's context from one operation to the next: each operation
// still takes the clip in force when it is drawn.
TEST(Canvas, EachOperationTakesTheClipInForceWhenItIsDrawn) {
  Surface s;
  StrokeStyle pen;
  pen.cosmetic = false;
  pen.width = 3;
  auto line = [](double y) {
    Path path;
    path.MoveTo({0, y});
    path.LineTo({40, y});
    return path;
  };
  Region left = MakeRegion(0, 0, 20, 40);
  Region right = MakeRegion(20, 0, 40, 40);
  s.canvas.SetClip(left.get());
  s.canvas.StrokePath(line(5), pen, kR2CopyPen);
  s.canvas.SetClip(right.get());
  s.canvas.StrokePath(line(15), pen, kR2CopyPen);
  s.canvas.StrokePath(line(20), pen, kR2CopyPen);
  s.canvas.SetClip(nullptr);
  s.canvas.StrokePath(line(25), pen, kR2CopyPen);
  EXPECT_EQ(s.At(5, 5), kBlack);
  EXPECT_EQ(s.At(25, 5), kWhite);
  EXPECT_EQ(s.At(5, 15), kWhite);
  EXPECT_EQ(s.At(25, 15), kBlack);
  EXPECT_EQ(s.At(25, 20), kBlack);
  EXPECT_EQ(s.At(5, 25), kBlack);
  EXPECT_EQ(s.At(25, 25), kBlack);
}

// A surface the canvas or the player could not have fails the page by name; nothing is
// drawn from a surface that is not there.
TEST(Canvas, ASurfaceThatCannotBeMadeFailsThePage) {
  struct Case {
    const char* what;
    std::string (*draw)();  // the failure after drawing
    const char* said;
  };
  const Case cases[] = {
      {"a fill through a raster operation",
       [] {
         Surface s;
         s.canvas.FillPath(Box(0, 0, 10, 10), FillRule::kWinding, SolidPaint(kRedRef), kR2Xor);
         return s.canvas.Failure();
       },
       "a raster operation"},
      {"a wide line through a raster operation",
       [] {
         Surface s;
         StrokeStyle style;
         style.cosmetic = false;
         style.width = 4;
         s.canvas.StrokePath(Box(5, 5, 30, 30), style, kR2Xor);
         return s.canvas.Failure();
       },
       "a raster operation"},
      {"a clip path",
       [] {
         const std::string page = testing_support::EmfPage(
             testing_support::EmfRecord(59, {}) + testing_support::EmfRecord(43, {5, 5, 30, 30}) +
             testing_support::EmfRecord(60, {}) + testing_support::EmfRecord(67, {5}));
         const auto file = Metafile::Parse(
             std::span(reinterpret_cast<const uint8_t*>(page.data()), page.size()), nullptr);
         Surface s;
         return PlayMetafile(*file, s.canvas, RectL{0, 0, kSide, kSide}).failure;
       },
       "a clip path"},
  };
  for (const Case& c : cases) {
    refused = true;
    const std::string failure = c.draw();
    refused = false;
    EXPECT_NE(failure.find(c.said), std::string::npos) << c.what << ": " << failure;
  }
}

#if defined(__SANITIZE_ADDRESS__)
// A FreeType library or face of ours left unreleased is a leak the sanitizer build reports:
// the leak checker passes only the libraries' own one-time allocations. The library's address
// is kept masked, so that the check finds nothing that points to it, and released afterwards.
constexpr uintptr_t kMask = 0x5A5A5A5A5A5A5A5Au;

[[gnu::noinline]] uintptr_t MaskedLibrary() {
  FT_Library library = nullptr;
  return FT_Init_FreeType(&library) == 0 ? reinterpret_cast<uintptr_t>(library) ^ kMask : 0;
}

[[gnu::noinline]] void ClearStack() {
  volatile char scratch[4096];
  for (volatile char& c : scratch) {
    c = 0;
  }
}

TEST(LeakCheck, AFreeTypeLibraryOfOursLeftUnreleasedIsReported) {
  const uintptr_t masked = MaskedLibrary();
  ASSERT_NE(masked, 0u);
  ClearStack();
  const int leaked = __lsan_do_recoverable_leak_check();
  FT_Done_FreeType(reinterpret_cast<FT_Library>(masked ^ kMask));
  EXPECT_NE(leaked, 0);
}
#endif

// A run of text whose glyph mask cairo cannot make fails the page by name, never leaves it
// silently without the text.
TEST(GlyphMask, AMaskThatCannotBeMadeFailsThePage) {
  for (bool smooth : {true, false}) {
    SCOPED_TRACE(smooth ? "smoothed" : "plain");
    testing_support::FontSpec font;
    font.height = -30;
    const std::string page = testing_support::EmfPage(
        testing_support::CreateFont(font) + testing_support::TextOutW(10, 10, u"Text"), 5292, 5292);
    const auto file = Metafile::Parse(
        std::span(reinterpret_cast<const uint8_t*>(page.data()), page.size()), nullptr);
    ASSERT_TRUE(file.has_value());
    for (bool refuse : {false, true}) {
      std::vector<uint32_t> pixels(200 * 200, 0xFFFFFF);
      Canvas canvas(pixels.data(), 200, 200, 200 * 4);
      canvas.set_smooth_text(smooth);
      masks_refused = refuse;
      PlayMetafile(*file, canvas, RectL{0, 0, 200, 200});
      masks_refused = false;
      const bool inked = std::any_of(pixels.begin(), pixels.end(),
                                     [](uint32_t p) { return (p & 0xFFFFFF) != 0xFFFFFF; });
      if (refuse) {
        EXPECT_FALSE(inked);
        EXPECT_EQ(canvas.Failure().rfind("text: ", 0), 0u) << canvas.Failure();
      } else {
        EXPECT_TRUE(inked);
        EXPECT_EQ(canvas.Failure(), "");
      }
    }
  }
}

// Wide solid pens as the reference renderer drew tests/gdi-pages' pen-segments-* and
// pen-joins-v-* (a cell of each, at the same place): every row's runs of inked pixels,
// "y:x0-x1,x2-x3 ...", first and last pixel of each run (x-x for one pixel).
struct WidePenCase {
  const char* what;
  int width;
  cairo_line_cap_t cap;
  cairo_line_join_t join;
  std::vector<Point> points;
  const char* rows;
};

constexpr auto kFlat = CAIRO_LINE_CAP_BUTT, kSquare = CAIRO_LINE_CAP_SQUARE,
               kRoundCap = CAIRO_LINE_CAP_ROUND;
constexpr auto kRound = CAIRO_LINE_JOIN_ROUND, kBevel = CAIRO_LINE_JOIN_BEVEL,
               kMiter = CAIRO_LINE_JOIN_MITER;

std::string InkedRows(const std::vector<uint32_t>& pixels, int side) {
  std::string out;
  for (int y = 0; y < side; ++y) {
    std::string row;
    for (int x = 0; x < side; ++x) {
      const bool inked = (pixels[static_cast<size_t>(y) * side + x] & 0xFFFFFF) != 0xFFFFFF;
      const bool before =
          x > 0 && (pixels[static_cast<size_t>(y) * side + x - 1] & 0xFFFFFF) != 0xFFFFFF;
      if (inked && !before) {
        row += (row.empty() ? "" : ",") + std::to_string(x);
      }
      const bool after =
          x + 1 < side && (pixels[static_cast<size_t>(y) * side + x + 1] & 0xFFFFFF) != 0xFFFFFF;
      if (inked && !after) {
        row += "-" + std::to_string(x);
      }
    }
    if (!row.empty()) {
      out += (out.empty() ? "" : " ") + std::to_string(y) + ":" + row;
    }
  }
  return out;
}

TEST(Canvas, WideSolidPensCoverThePixelsTheReferenceRendererDrew) {
  const std::vector<WidePenCase> cases = {
      {"square ends, 5 pixels, shallow",
       5,
       kSquare,
       kRound,
       {{12, 25}, {59, 45}},
       "22:11-13 23:11-15 24:10-18 25:10-20 26:9-22 27:12-25 28:14-27 29:17-29 30:19-32 31:21-34 "
       "32:24-36 33:26-39 34:28-41 35:31-44 36:33-46 37:35-48 38:38-51 39:40-53 40:43-55 41:45-58 "
       "42:47-60 43:50-62 44:52-62 45:54-62 46:57-61 47:59-61"},
      {"square ends, 5 pixels, steep, leftward",
       5,
       kSquare,
       kRound,
       {{50, 12}, {21, 59}},
       "10:49-50 11:48-52 12:48-53 13:47-53 14:46-52 15:46-52 16:45-51 17:45-50 18:44-50 19:43-49 "
       "20:43-49 21:42-48 22:41-47 23:41-47 24:40-46 25:40-45 26:39-45 27:38-44 28:38-44 29:37-43 "
       "30:37-42 31:36-42 32:35-41 33:35-41 34:34-40 35:33-39 36:33-39 37:32-38 38:32-37 39:31-37 "
       "40:30-36 41:30-36 42:29-35 43:29-34 44:28-34 45:27-33 46:27-33 47:26-32 48:25-31 49:25-31 "
       "50:24-30 51:24-29 52:23-29 53:22-28 54:22-28 55:21-27 56:21-26 57:20-26 58:19-25 59:19-25 "
       "60:18-24 61:17-23 62:19-23 63:21-22"},
      {"round ends, 4 pixels",
       4,
       kRoundCap,
       kRound,
       {{50, 12}, {21, 59}},
       "10:49-50 11:48-51 12:48-51 13:47-50 14:47-51 15:46-51 16:45-50 17:45-50 18:44-49 19:44-48 "
       "20:43-48 21:42-47 22:42-47 23:41-46 24:40-45 25:40-45 26:39-44 27:39-43 28:38-43 29:37-42 "
       "30:37-42 31:36-41 32:36-40 33:35-40 34:34-39 35:34-39 36:33-38 37:32-37 38:32-37 39:31-36 "
       "40:31-35 41:30-35 42:29-34 43:29-34 44:28-33 45:28-32 46:27-32 47:26-31 48:26-31 49:25-30 "
       "50:24-29 51:24-29 52:23-28 53:23-27 54:22-27 55:21-26 56:21-26 57:20-25 58:19-24 59:19-24 "
       "60:20-23"},
      {"round ends, 7 pixels",
       7,
       kRoundCap,
       kRound,
       {{12, 45}, {59, 25}},
       "22:58-60 23:56-61 24:54-62 25:51-62 26:49-62 27:47-61 28:44-60 29:42-60 30:40-58 31:37-56 "
       "32:35-53 33:33-51 34:30-49 35:28-46 36:26-44 37:23-42 38:21-39 39:19-37 40:16-35 41:14-32 "
       "42:11-30 43:10-28 44:9-25 45:9-23 46:9-21 47:10-18 48:11-16"},
      {"flat ends, round join, 6 pixels",
       6,
       kFlat,
       kRound,
       {{7, 15}, {35, 35}, {55, 60}},
       "13:9-10 14:8-11 15:7-13 16:6-14 17:5-15 18:7-17 19:8-18 20:10-20 21:11-21 22:12-22 "
       "23:14-24 24:15-25 25:17-27 26:18-28 27:19-29 28:21-31 29:22-32 30:24-34 31:25-35 32:26-36 "
       "33:28-36 34:29-38 35:31-39 36:32-40 37:33-41 38:34-41 39:35-42 40:36-43 41:37-44 42:37-45 "
       "43:38-45 44:39-46 45:40-47 46:41-48 47:41-49 48:42-49 49:43-50 50:44-51 51:45-52 52:45-53 "
       "53:46-53 54:47-54 55:48-55 56:49-56 57:49-57 58:50-57 59:51-56 60:52-55 61:53-54"},
      {"flat ends, round join, 8 pixels",
       8,
       kFlat,
       kRound,
       {{5, 45}, {35, 35}, {65, 10}},
       "8:61-62 9:60-63 10:59-64 11:58-65 12:56-66 13:55-67 14:54-67 15:53-66 16:52-65 17:50-64 "
       "18:49-63 19:48-61 20:47-60 21:46-59 22:44-58 23:43-57 24:42-55 25:41-54 26:40-53 27:38-52 "
       "28:37-51 29:36-49 30:35-48 31:33-47 32:31-46 33:28-45 34:25-43 35:22-42 36:19-41 37:16-40 "
       "38:13-36,38-39 39:10-36 40:7-33 41:4-30 42:5-27 43:5-24 44:6-21 45:6-18 46:6-15 47:7-12 "
       "48:7-9"},
      {"bevel join, 7 pixels",
       7,
       kFlat,
       kBevel,
       {{5, 45}, {35, 35}, {65, 10}},
       "8:62-63 9:61-64 10:60-65 11:59-66 12:57-67 13:56-67 14:55-66 15:54-65 16:53-64 17:51-63 "
       "18:50-61 19:49-60 20:48-59 21:47-58 22:45-57 23:44-55 24:43-54 25:42-53 26:41-52 27:39-51 "
       "28:38-49 29:37-48 30:36-47 31:35-46 32:33-45 33:31-43 34:28-42 35:25-41 36:22-40 37:19-39 "
       "38:16-37 39:13-36 40:10-33 41:7-30 42:4-27 43:5-24 44:5-21 45:6-18 46:6-15 47:7-12 48:7-9"},
      {"bevel join, 3 pixels",
       3,
       kFlat,
       kBevel,
       {{7, 15}, {35, 35}, {55, 60}},
       "14:8-9 15:7-10 16:6-12 17:8-13 18:9-14 19:11-16 20:12-17 21:13-19 22:15-20 23:16-21 "
       "24:18-23 25:19-24 26:20-26 27:22-27 28:23-28 29:25-30 30:26-31 31:27-33 32:29-34 33:30-35 "
       "34:32-36 35:33-37 36:34-38 37:35-39 38:36-40 39:37-40 40:38-41 41:38-42 42:39-43 43:40-44 "
       "44:41-44 45:42-45 46:42-46 47:43-47 48:44-48 49:45-48 50:46-49 51:46-50 52:47-51 53:48-52 "
       "54:49-52 55:50-53 56:50-54 57:51-55 58:52-56 59:53-56 60:54-55"},
      {"miter join drawn as a bevel, 4 pixels",
       4,
       kFlat,
       kMiter,
       {{5, 45}, {35, 35}, {65, 10}},
       "9:63-64 10:62-65 11:61-66 12:60-66 13:58-65 14:57-64 15:56-63 16:55-62 17:54-60 18:52-59 "
       "19:51-58 20:50-57 21:49-56 22:48-54 23:46-53 24:45-52 25:44-51 26:43-50 27:42-48 28:40-47 "
       "29:39-46 30:38-45 31:37-44 32:36-42 33:34-41 34:31-40 35:28-39 36:25-38 37:22-35 38:19-32 "
       "39:16-29 40:13-26 41:10-23 42:7-20 43:4-17 44:5-14 45:5-11 46:6-8"},
      {"miter join drawn as a bevel, 6 pixels",
       6,
       kFlat,
       kMiter,
       {{5, 45}, {35, 35}, {65, 10}},
       "9:62-63 10:61-64 11:60-65 12:59-66 13:57-66 14:56-65 15:55-64 16:54-63 17:53-62 18:51-60 "
       "19:50-59 20:49-58 21:48-57 22:47-56 23:45-54 24:44-53 25:43-52 26:42-51 27:41-50 28:39-48 "
       "29:38-47 30:37-46 31:36-45 32:35-44 33:31-42 34:28-41 35:25-40 36:22-39 37:19-38 38:16-35 "
       "39:13-32 40:10-29 41:7-26 42:4-23 43:5-20 44:5-17 45:5-14 46:6-11 47:6-8"},
  };
  constexpr int kCell = 70;
  for (const WidePenCase& c : cases) {
    SCOPED_TRACE(c.what);
    StrokeStyle style;
    style.cosmetic = false;
    style.width = c.width;
    style.cap = c.cap;
    style.join = c.join;
    Path path;
    path.MoveTo(c.points[0]);
    for (size_t i = 1; i < c.points.size(); ++i) {
      path.LineTo(c.points[i]);
    }
    std::vector<uint32_t> pixels(kCell * kCell, kWhite);
    Canvas canvas(pixels.data(), kCell, kCell, kCell * 4);
    canvas.StrokePath(path, style, kR2CopyPen);
    const std::string rows = InkedRows(pixels, kCell);
    EXPECT_EQ(rows, c.rows);
    // XOR inverts each pixel once, however many of the pen's shapes cover it.
    std::vector<uint32_t> once(kCell * kCell, kWhite);
    Canvas xor_canvas(once.data(), kCell, kCell, kCell * 4);
    style.color = 0xFFFFFF;
    xor_canvas.StrokePath(path, style, kR2Xor);
    EXPECT_EQ(InkedRows(once, kCell), rows);
  }
}

}  // namespace
}  // namespace emf
