// The vector back end's documents: the colour rules, the SVG's text layer (what a browser
// finds in a page whose glyphs are drawn as shapes), and files that cannot be written.
#include "emf/vector_document.h"

#include <gtest/gtest.h>

#include <string>

#include "support/spool_builder.h"
#include "support/test_support.h"

namespace {

using testing_support::CreateFont;
using testing_support::FontSpec;
using testing_support::TextOutW;

std::vector<uint8_t> Bytes(const std::string& page) {
  return {page.begin(), page.end()};
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
  testing_support::TempDir dir;
  FontSpec serif;  // which has U+1D400
  serif.face = "DejaVu Serif";
  FontSpec turned;
  turned.escapement = 900;
  const std::string page = testing_support::EmfPage(
      CreateFont({}) + TextOutW(100, 100, u"a<b & c") +
      TextOutW(100, 200, u"wide", 0, {40, 40, 40, 40}) + CreateFont(serif) +
      TextOutW(100, 300, u"\U0001D400ok") + CreateFont(turned) + TextOutW(300, 600, u"up"));
  ASSERT_EQ(emf::WriteVectorPage(Bytes(page), dir / "page.svg", emf::VectorFormat::kSvg,
                                 emf::ColourRule::kColour),
            "");
  const std::string svg = testing_support::ReadFile(dir / "page.svg");
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

TEST(VectorDocument, AFileThatCannotBeWrittenIsAFailure) {
  testing_support::TempDir dir;
  const std::vector<uint8_t> page = Bytes(testing_support::EmfPage(TextOutW(10, 10, u"x")));
  for (const emf::VectorFormat format : {emf::VectorFormat::kPdf, emf::VectorFormat::kSvg}) {
    const std::string error =
        emf::WriteVectorPage(page, dir / "missing/page", format, emf::ColourRule::kColour);
    EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
  }
  EXPECT_NE(emf::WriteVectorPage(Bytes("not a page"), dir / "bad.pdf", emf::VectorFormat::kPdf,
                                 emf::ColourRule::kColour),
            "");
}

}  // namespace
