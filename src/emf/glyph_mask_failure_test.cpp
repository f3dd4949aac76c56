// A run of text whose glyph mask cairo cannot make fails the page by name, never leaves it
// silently without the text. This program stands in for cairo_image_surface_create, so it
// can refuse the 8-bit surfaces glyph masks are made of, and is a test program of its own.
#include <cairo.h>
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "emf/canvas.h"
#include "emf/metafile.h"
#include "emf/player.h"
#include "support/spool_builder.h"

namespace {

std::atomic<bool> refuse_masks{false};

}  // namespace

extern "C" cairo_surface_t* cairo_image_surface_create(cairo_format_t format, int width,
                                                       int height) {
  using Create = cairo_surface_t* (*)(cairo_format_t, int, int);
  static const auto real = reinterpret_cast<Create>(dlsym(RTLD_NEXT, "cairo_image_surface_create"));
  if (refuse_masks && format == CAIRO_FORMAT_A8 && width * height > 1) {
    return real(format, -1, -1);  // cairo's own surface in error
  }
  return real(format, width, height);
}

namespace {

using testing_support::CreateFont;
using testing_support::EmfPage;
using testing_support::FontSpec;
using testing_support::TextOutW;

TEST(GlyphMask, AMaskThatCannotBeMadeFailsThePage) {
  for (bool smooth : {true, false}) {
    SCOPED_TRACE(smooth ? "smoothed" : "plain");
    FontSpec font;
    font.height = -30;
    const std::string page = EmfPage(CreateFont(font) + TextOutW(10, 10, u"Text"), 5292, 5292);
    const auto file = emf::Metafile::Parse(
        std::span(reinterpret_cast<const uint8_t*>(page.data()), page.size()), nullptr);
    ASSERT_TRUE(file.has_value());
    for (bool refuse : {false, true}) {
      std::vector<uint32_t> pixels(200 * 200, 0xFFFFFF);
      emf::Canvas canvas(pixels.data(), 200, 200, 200 * 4);
      canvas.set_smooth_text(smooth);
      refuse_masks = refuse;
      emf::PlayMetafile(*file, canvas, emf::RectL{0, 0, 200, 200});
      refuse_masks = false;
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
