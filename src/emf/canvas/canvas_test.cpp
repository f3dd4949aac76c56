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

}  // namespace
}  // namespace emf
