#include "emf/wmf_writer.h"

#include <gtest/gtest.h>

#include <map>

#include "emf/metafile.h"
#include "emf/player.h"
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

}  // namespace
