// The vector back end's documents: the colour rules, the SVG's text layer (what a browser
// finds in a page whose glyphs are drawn as shapes), text cairo refuses, and files that cannot
// be written.
#include "emf/vector/vector_document.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "emf/player/player.h"
#include "emf/records/metafile.h"
#include "emf/text/cairo_owners.h"
#include "emf/vector/vector_target.h"
#include "support/spool_builder.h"
#include "support/test_support.h"

namespace {

using testing_support::CreateFont;
using testing_support::FontSpec;
using testing_support::TextOutW;

std::vector<uint8_t> Bytes(const std::string& page) {
  return {page.begin(), page.end()};
}

// The document's bytes as written through the sink, and the writer's answer.
struct Written {
  std::string bytes;
  std::string error;
};

Written Write(const std::string& page, emf::VectorFormat format,
              const emf::DocumentInfo& info = {}) {
  Written written;
  const emf::ByteSink keep = [&written](std::span<const uint8_t> bytes) {
    written.bytes.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return true;
  };
  written.error = emf::WriteVectorPage(Bytes(page), keep, format, emf::ColourRule::kColour, info);
  return written;
}

TEST(VectorDocument, ColourRules) {
  struct Case {
    emf::ColorRef color;
    emf::ColourRule rule;
    emf::ColorRef expected;
  };
  const Case cases[] = {
      {0x123456, emf::ColourRule::kColour, 0x123456},
      {0x0000FF, emf::ColourRule::kGrey, 0x555555},  // (255 + 0 + 0) / 3
      {0xFFFF00, emf::ColourRule::kGrey, 0xAAAAAA},
      {0x00FFFF, emf::ColourRule::kBlackAndWhite, 0xFFFFFF},  // yellow is bright
      {0xFF0000, emf::ColourRule::kBlackAndWhite, 0},         // blue is dark
      {0x808080, emf::ColourRule::kBlackAndWhite, 0},         // 128 is not above 128
      {0x818181, emf::ColourRule::kBlackAndWhite, 0xFFFFFF},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(emf::ApplyColourRule(c.color, c.rule), c.expected) << std::hex << c.color;
  }
}

// Each run's characters are in the SVG at their glyphs' places, escaped, a turned run with its
// angle, and a character beyond 16 bits (one glyph for two UTF-16 units) keeps the characters
// after it in step.
TEST(VectorDocument, AnSvgHoldsItsTextUnseenOverTheGlyphs) {
  FontSpec serif;  // which has U+1D400
  serif.face = "DejaVu Serif";
  FontSpec turned;
  turned.escapement = 900;
  const std::string page = testing_support::EmfPage(
      CreateFont({}) + TextOutW(100, 100, u"a<b & c") +
      TextOutW(100, 200, u"wide", 0, {40, 40, 40, 40}) + CreateFont(serif) +
      TextOutW(100, 300, u"\U0001D400ok") + CreateFont(turned) + TextOutW(300, 600, u"up"));
  const Written written = Write(page, emf::VectorFormat::kSvg);
  ASSERT_EQ(written.error, "");
  const std::string& svg = written.bytes;
  EXPECT_NE(svg.find(">a&lt;b &amp; c</text>"), std::string::npos) << svg.substr(svg.size() - 800);
  // (The faces differ: a run is cut where the face changes.)
  EXPECT_NE(svg.find(">\U0001D400</text>"), std::string::npos) << svg.substr(svg.size() - 800);
  EXPECT_NE(svg.find(">ok</text>"), std::string::npos);
  EXPECT_NE(svg.find("rotate=\"-90\">up</text>"), std::string::npos);
  // The spaced run: four places, 40 units apart as the spacing array says.
  const size_t wide = svg.find(">wide</text>");
  ASSERT_NE(wide, std::string::npos);
  const size_t x = svg.rfind(" x=\"", wide);
  double places[4] = {};
  ASSERT_EQ(std::sscanf(svg.c_str() + x + 4, "%lf %lf %lf %lf", &places[0], &places[1], &places[2],
                        &places[3]),
            4);
  EXPECT_NEAR(places[3] - places[2], places[1] - places[0], 0.02);
  EXPECT_GT(places[1] - places[0], 0);
  EXPECT_EQ(svg.rfind("</svg>"), svg.size() - 7) << "the layer goes before the closing tag";
}

// A noncharacter, a code point cairo takes for none, or bytes that are no UTF-8, in a text
// record or in the document's name, cost the page nothing: the text carries U+FFFD there.
TEST(VectorDocument, TextCairoRefusesBecomesTheReplacementCharacter) {
  const std::string replacement = "\xEF\xBF\xBD";
  struct Case {
    const char* what;
    std::u16string text;
    std::string title;
    const char* layer;  // the SVG's text for the run
  };
  const Case cases[] = {
      {"U+FDD0 in the text", u"a\uFDD0b", "",
       "a\xEF\xBF\xBD"
       "b"},
      {"U+FFFE in the text", u"a\uFFFEb", "",
       "a\xEF\xBF\xBD"
       "b"},
      {"U+10FFFF in the text", u"a\U0010FFFFb", "",
       "a\xEF\xBF\xBD"
       "b"},
      {"a lone surrogate", std::u16string(u"a") + char16_t{0xD800} + u"b", "",
       "a\xEF\xBF\xBD"
       "b"},
      {"U+FDD0 in the name", u"ab", "Report \xEF\xB7\x90", "ab"},
      {"U+10FFFF in the name", u"ab", "Report \xF4\x8F\xBF\xBF", "ab"},
      {"no UTF-8 in the name", u"ab", "Report \xC3(\xFF", "ab"},
  };
  for (const Case& c : cases) {
    const std::string page = testing_support::EmfPage(CreateFont({}) + TextOutW(100, 100, c.text));
    const emf::DocumentInfo info{c.title, "test"};
    EXPECT_EQ(Write(page, emf::VectorFormat::kPdf, info).error, "") << c.what;
    const Written svg = Write(page, emf::VectorFormat::kSvg, info);
    EXPECT_EQ(svg.error, "") << c.what;
    EXPECT_NE(svg.bytes.find(std::string(">") + c.layer + "</text>"), std::string::npos)
        << c.what << "\n"
        << svg.bytes.substr(svg.bytes.size() > 400 ? svg.bytes.size() - 400 : 0);
  }

  struct Utf8Case {
    std::string in;
    std::string out;
  };
  const Utf8Case texts[] = {
      {"plain \xC3\xA9t\xC3\xA9 \xF0\x9D\x90\x80", "plain \xC3\xA9t\xC3\xA9 \xF0\x9D\x90\x80"},
      {"\xEF\xB7\x90", replacement},            // U+FDD0
      {"\xEF\xBF\xBF", replacement},            // U+FFFF
      {"\xF0\x9F\xBF\xBE", replacement},        // U+1FFFE
      {"\xED\xA0\x80", replacement},            // an encoded surrogate
      {"\xC0\xAF", replacement + replacement},  // overlong '/'
      {"\xE0\x80\xAF", replacement},            // overlong, three bytes
      {"\xF4\x90\x80\x80", replacement},        // past U+10FFFF
      {"a\xE2\x82", "a" + replacement},         // cut short at the end
      {"\xE2(b", replacement + "(b"},           // cut short before a letter
      {"\x80x", replacement + "x"},             // a lone continuation byte
  };
  for (const Utf8Case& t : texts) {
    EXPECT_EQ(emf::CarriedText(t.in), t.out) << t.in;
  }
}

// A write the sink refuses fails the document: the caller then removes the file.
TEST(VectorDocument, AFileThatCannotBeWrittenIsAFailure) {
  const std::vector<uint8_t> page = Bytes(testing_support::EmfPage(TextOutW(10, 10, u"x")));
  const emf::ByteSink refuse = [](std::span<const uint8_t>) { return false; };
  for (const emf::VectorFormat format : {emf::VectorFormat::kPdf, emf::VectorFormat::kSvg}) {
    const std::string error = emf::WriteVectorPage(page, refuse, format, emf::ColourRule::kColour);
    EXPECT_NE(error.find("could not be written"), std::string::npos) << error;
  }
  const emf::ByteSink keep = [](std::span<const uint8_t>) { return true; };
  EXPECT_NE(emf::WriteVectorPage(Bytes("not a page"), keep, emf::VectorFormat::kPdf,
                                 emf::ColourRule::kColour),
            "");
}

// AlphaBlend on a vector page comes out as on the raster page, to the rounding of whoever
// composites it: here cairo's own rasteriser stands in for the reader.
TEST(VectorDocument, AlphaBlendsAsTheRasterPageDoes) {
  using testing_support::BlendBitmap;
  struct Case {
    BlendBitmap bitmap;
    uint32_t constant_alpha;
    bool source_alpha;
  };
  const Case cases[] = {{BlendBitmap::kRgb32, 255, true},
                        {BlendBitmap::kBitfields32, 128, true},
                        {BlendBitmap::kRgb32, 128, false},
                        {BlendBitmap::kRgb24, 255, true}};
  constexpr int kWidth = 200, kHeight = 100;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "bitmap " << static_cast<int>(c.bitmap) << ", constant "
                                    << c.constant_alpha << ", source alpha " << c.source_alpha);
    const std::string page = testing_support::EmfPage(
        testing_support::BlendRecords(c.bitmap, c.constant_alpha, c.source_alpha), 5292, 2646);
    const auto file = emf::Metafile::Parse(
        std::span(reinterpret_cast<const uint8_t*>(page.data()), page.size()), nullptr);
    ASSERT_TRUE(file.has_value());
    std::vector<uint32_t> raster(kWidth * kHeight, 0xFFFFFF);
    emf::Canvas canvas(raster.data(), kWidth, kHeight, kWidth * 4);
    emf::PlayMetafile(*file, canvas, emf::RectL{0, 0, kWidth, kHeight});
    const emf::Surface surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight));
    {
      const emf::Context cr(cairo_create(surface.get()));
      cairo_set_source_rgb(cr.get(), 1, 1, 1);
      cairo_paint(cr.get());
      emf::VectorTarget target(cr.get(), kWidth, kHeight, emf::ColourRule::kColour);
      emf::PlayMetafile(*file, target, emf::RectL{0, 0, kWidth, kHeight});
    }
    cairo_surface_flush(surface.get());
    const auto* drawn =
        reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(surface.get()));
    const int stride = cairo_image_surface_get_stride(surface.get()) / 4;
    // Cell centres of the three blends: no edge, where a reader's antialiasing would differ.
    struct Spot {
      int x, y;
    };
    std::vector<Spot> spots;
    for (const int x : {20, 40, 60, 80}) {
      for (const int y : {15, 35, 65, 85}) {
        spots.push_back({x, y});
      }
    }
    for (const int x : {118, 136, 154, 171}) {
      for (const int y : {12, 27}) {
        spots.push_back({x, y});
      }
    }
    for (const auto [x, y] : spots) {
      const uint32_t want = raster[static_cast<size_t>(y) * kWidth + x];
      const uint32_t got = drawn[static_cast<size_t>(y) * stride + x];
      for (const int shift : {0, 8, 16}) {
        EXPECT_LE(std::abs(static_cast<int>((want >> shift) & 0xFF) -
                           static_cast<int>((got >> shift) & 0xFF)),
                  2)
            << x << "," << y << ": " << std::hex << want << " " << got;
      }
    }
  }
}

}  // namespace
