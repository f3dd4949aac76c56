#include "emf/wmf/wmf_writer.h"

#include <gtest/gtest.h>

#include <map>

#include "emf/player/player.h"
#include "emf/records/metafile.h"
#include "emf/text/font.h"
#include "support/spool_builder.h"

namespace {

using testing_support::EmfPage;
using testing_support::EmfRecord;

uint16_t Word(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

// The record functions of a file, counted; the walk checks every size on the way.
std::map<uint16_t, int> Functions(const std::vector<uint8_t>& file) {
  std::map<uint16_t, int> seen;
  size_t at = 18;
  while (at + 6 <= file.size()) {
    const uint32_t words = Word(file, at) | (uint32_t{Word(file, at + 2)} << 16);
    const uint16_t function = Word(file, at + 4);
    EXPECT_GE(words, 3u);
    ++seen[function];
    at += words * 2;
    if (function == 0) {
      EXPECT_EQ(at, file.size());
      break;
    }
  }
  return seen;
}

TEST(WmfWriter, APageBecomesAStandardWindowsMetafile) {
  // A red box, a line, a two-pixel bitmap and a word.
  std::string records = EmfRecord(39, {1, 0, 0x0000FF, 0}) + EmfRecord(37, {1}) +
                        EmfRecord(43, {10, 10, 100, 100}) + EmfRecord(27, {0, 150}) +
                        EmfRecord(54, {150, 150});
  std::string text;
  testing_support::Append32(text, 84);
  testing_support::Append32(text, 8 + 16 + 12 + 40 + 4);
  for (uint32_t v : {0u, 0u, 0u, 0u, 1u, 0u, 0u, 20u, 120u, 2u, 76u, 0u, 0u, 0u, 0u, 0u, 0u}) {
    testing_support::Append32(text, v);
  }
  text += std::string("H\0i\0", 4);
  const std::string page = EmfPage(records + text, 5292, 5292);
  const auto file = emf::Metafile::Parse(
      std::span(reinterpret_cast<const uint8_t*>(page.data()), page.size()), nullptr);
  ASSERT_TRUE(file);
  emf::WmfWriter writer(200, 200);
  emf::PlayMetafile(*file, writer, emf::RectL{0, 0, 200, 200});
  const std::vector<uint8_t> wmf = writer.Finish();
  ASSERT_GE(wmf.size(), 18u);
  EXPECT_EQ(Word(wmf, 0), 1);       // in memory
  EXPECT_EQ(Word(wmf, 2), 9);       // header words
  EXPECT_EQ(Word(wmf, 4), 0x0300);  // version
  EXPECT_EQ((Word(wmf, 6) | (uint32_t{Word(wmf, 8)} << 16)) * 2, wmf.size());
  const auto seen = Functions(wmf);
  EXPECT_EQ(seen.at(0x0103), 1);  // SETMAPMODE
  EXPECT_GE(seen.at(0x0538), 1);  // POLYPOLYGON for the box's inside
  EXPECT_GE(seen.at(0x0325), 2);  // POLYLINE for its outline and the line
  EXPECT_EQ(seen.at(0x0A32), 1);  // EXTTEXTOUT
  EXPECT_EQ(seen.at(0x02FB), 1);  // CREATEFONTINDIRECT
  EXPECT_EQ(seen.at(0), 1);       // the end
}

std::vector<uint8_t> Convert(const std::string& records) {
  const std::string page = EmfPage(records, 5292, 5292);
  const auto file = emf::Metafile::Parse(
      std::span(reinterpret_cast<const uint8_t*>(page.data()), page.size()), nullptr);
  EXPECT_TRUE(file);
  emf::WmfWriter writer(200, 200);
  if (file) {
    emf::PlayMetafile(*file, writer, emf::RectL{0, 0, 200, 200});
  }
  return writer.Finish();
}

// 40,000 points are more than a WMF record counts: the line goes on over several records,
// the polygon is thinned to what one holds; every record is well formed.
TEST(WmfWriter, LongLinesAndPolygonsKeepEveryRecordWellFormed) {
  for (uint32_t type : {4u, 3u}) {  // EMR_POLYLINE, EMR_POLYGON
    std::string record;
    testing_support::Append32(record, type);
    testing_support::Append32(record, 8 + 16 + 4 + 40000 * 8);
    for (int i = 0; i < 4; ++i) {
      testing_support::Append32(record, 0);
    }
    testing_support::Append32(record, 40000);
    for (uint32_t i = 0; i < 40000; ++i) {
      testing_support::Append32(record, 10 + i % 180);
      testing_support::Append32(record, 10 + (i / 180) % 180);
    }
    const std::vector<uint8_t> wmf = Convert(record);
    std::string why;
    EXPECT_TRUE(emf::WmfWellFormed(wmf, &why)) << type << ": " << why;
    const auto seen = Functions(wmf);
    if (type == 4) {
      EXPECT_EQ(seen.at(0x0325), 2);  // 32767 points, then the last 7234 from where it ended
    } else {
      EXPECT_EQ(seen.at(0x0538), 1);
    }
  }
}

// Text whose glyphs come from two faces (a fallback face has what the font's face lacks) is
// written once, as text: neither face's glyphs are written again as outlines.
TEST(WmfWriter, TextFromTwoFacesIsWrittenOnce) {
  emf::WmfWriter writer(200, 200);
  emf::TextDescription text;
  text.text = u"Hi";
  text.face = "Arial";
  text.em_height = 20;
  text.advances = {10, 10};
  writer.Text(text);
  const emf::Typeface& face =
      emf::TypefaceFor(emf::Font{-20, 0, 0, 0, 400, false, false, false, 0, 0, 0, "Arial"});
  const emf::Typeface& other =
      emf::TypefaceFor(emf::Font{-20, 0, 0, 0, 400, false, false, false, 0, 0, 0, "Courier New"});
  cairo_matrix_t matrix;
  cairo_matrix_init_scale(&matrix, 20, 20);
  writer.DrawGlyphs(face.face, matrix, {{face.GlyphFor('H'), 10, 30}}, 0, nullptr, {});
  writer.DrawGlyphs(other.face, matrix, {{other.GlyphFor('i'), 20, 30}}, 0, nullptr, {});
  const auto seen = Functions(writer.Finish());
  EXPECT_EQ(seen.at(0x0A32), 1);      // EXTTEXTOUT
  EXPECT_EQ(seen.count(0x0538), 0u);  // and no outlines besides
}

}  // namespace
