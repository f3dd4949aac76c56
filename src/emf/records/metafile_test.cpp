#include "emf/records/metafile.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "emf/records/code_pages.h"
#include "support/spool_builder.h"

namespace emf {
namespace {

using testing_support::EmfPage;
using testing_support::EmfRecord;

std::span<const uint8_t> Bytes(const std::string& text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

void Put32(std::string& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) {
    bytes[at + i] = static_cast<char>(value >> (8 * i));
  }
}

TEST(MetafileParse, TakesRecordsUpToTheEndOfFileRecord) {
  const std::string page = EmfPage(EmfRecord(43, {1, 2, 3, 4}));
  std::string error;
  const auto file = Metafile::Parse(Bytes(page + EmfRecord(43, {5, 6, 7, 8})), &error);
  ASSERT_TRUE(file) << error;
  ASSERT_EQ(file->records().size(), 3u);  // header, rectangle, end of file
  EXPECT_EQ(file->records()[0].type, kEmrHeader);
  EXPECT_EQ(file->records()[1].type, kEmrRectangle);
  EXPECT_EQ(file->records()[2].type, kEmrEof);
  EXPECT_FALSE(file->truncated());
  EXPECT_EQ(file->header().frame.right, 21000);
  EXPECT_EQ(file->header().device.cx, 1920);  // the reference device EmfPage describes
}

// Each broken page either is refused with a reason, or plays what came before the break.
TEST(MetafileParse, BrokenFramesAreRefusedOrCutWhereTheyBreak) {
  const std::string good = EmfPage(EmfRecord(43, {1, 2, 3, 4}));
  const size_t header = 108;
  struct Case {
    const char* what;
    std::string bytes;
    bool parses;
    size_t records;
  };
  std::string bad_signature = good;
  Put32(bad_signature, 40, 0x12345678);
  std::string short_header = good;
  Put32(short_header, 4, 84);
  std::string odd_size = good;
  Put32(odd_size, header + 4, 26);
  std::string zero_size = good;
  Put32(zero_size, header + 4, 0);
  std::string past_end = good;
  Put32(past_end, header + 4, 0x7FFFFFF0);
  std::string short_count = good;
  Put32(short_count, 48, static_cast<uint32_t>(header + 24));  // nBytes ends after the rectangle
  const Case cases[] = {
      {"empty", "", false, 0},
      {"cut in the header", good.substr(0, 50), false, 0},
      {"not an EMF", std::string(200, 'x'), false, 0},
      {"wrong signature", bad_signature, false, 0},
      {"header below 88 bytes", short_header, false, 0},
      {"size not a multiple of 4", odd_size, true, 1},
      {"zero-size record", zero_size, true, 1},
      {"record past the end", past_end, true, 1},
      {"cut in the middle", good.substr(0, header + 12), true, 1},
      {"byte count shorter than the file", short_count, true, 2},
      {"cut after a whole record", good.substr(0, header + 24), true, 2},
  };
  for (const Case& c : cases) {
    std::string error;
    const auto file = Metafile::Parse(Bytes(c.bytes), &error);
    EXPECT_EQ(file.has_value(), c.parses) << c.what;
    if (file) {
      EXPECT_EQ(file->records().size(), c.records) << c.what;
      EXPECT_EQ(file->truncated(), c.bytes != good && c.bytes != short_count) << c.what;
    } else {
      EXPECT_FALSE(error.empty()) << c.what;
    }
  }
}

// A drawing that strays outside its frame: told apart from rounding, and a frame that
// holds all of it (A4 on a reference device of 96 dots per inch, 21000 / 794 of a hundredth
// of a millimetre a pixel).
TEST(FrameHoldingBounds, GrowsTheFrameToWhereTheDrawingReaches) {
  struct Case {
    RectL bounds;
    bool outside;
    RectL frame;
  };
  const Case cases[] = {
      {{0, 0, 793, 1122}, false, {0, 0, 21000, 29700}},
      {{10, 10, 400, 500}, false, {0, 0, 21000, 29700}},
      {{-1, 0, 793, 1122}, false, {-27, 0, 21000, 29700}},  // rounding is no straying
      {{-18, 0, 800, 1130}, false, {-477, 0, 21186, 29912}},
      {{1, -517, 473, 10}, true, {0, -13674, 21000, 29700}},
      {{-100, -50, 900, 1200}, true, {-2645, -1323, 23830, 31763}},
      {{0, 0, -1, -1}, false, {0, 0, 21000, 29700}},  // nothing drawn
  };
  for (const Case& c : cases) {
    Header header;
    header.frame = {0, 0, 21000, 29700};
    header.device = {794, 1123};
    header.millimeters = {210, 297};
    header.bounds = c.bounds;
    EXPECT_EQ(DrawsOutsideFrame(header), c.outside) << &c - cases;
    const RectL frame = FrameHoldingBounds(header);
    EXPECT_EQ((std::array{frame.left, frame.top, frame.right, frame.bottom}),
              (std::array{c.frame.left, c.frame.top, c.frame.right, c.frame.bottom}))
        << &c - cases;
  }
  Header unmeasured;
  unmeasured.frame = {0, 0, 100, 100};
  unmeasured.bounds = {-50, -50, 500, 500};
  EXPECT_FALSE(DrawsOutsideFrame(unmeasured));
  EXPECT_EQ(FrameHoldingBounds(unmeasured).left, 0);

  // The new frame goes into the page's own header.
  std::string page = EmfPage(EmfRecord(43, {0, 0, 10, 10}));
  std::vector<uint8_t> bytes(page.begin(), page.end());
  ReplaceFrame(bytes, {-5, -6, 700, 800});
  std::string error;
  const std::optional<Header> parsed = ParseHeader(bytes, &error);
  ASSERT_TRUE(parsed) << error;
  EXPECT_EQ((std::array{parsed->frame.left, parsed->frame.top, parsed->frame.right,
                        parsed->frame.bottom}),
            (std::array{-5, -6, 700, 800}));
}

TEST(CodePages, EachCharsetReadsInItsOwnCodePage) {
  struct Case {
    uint8_t charset;
    std::vector<uint8_t> bytes;
    std::vector<uint32_t> expected;
  };
  const Case cases[] = {
      {0, {'A', 0x80, 0xE9}, {'A', 0x20AC, 0xE9}},                 // ANSI: Windows-1252
      {204, {0xC0, 0xFF}, {0x0410, 0x044F}},                       // Cyrillic: Windows-1251
      {161, {0xC1}, {0x0391}},                                     // Greek: Windows-1253
      {2, {0x41, 0xF0}, {0x41, 0xF0}},                             // Symbol: bytes pass unchanged
      {128, {0x82, 0xA0, 'x'}, {0x3042, kContinuationByte, 'x'}},  // Shift-JIS: two bytes, one
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DecodeCodePage(c.bytes, c.charset), c.expected) << int{c.charset};
  }
  // A lead byte at the very end has no second byte: it is no character.
  const std::vector<uint32_t> cut = DecodeCodePage(std::vector<uint8_t>{'a', 0x82}, 128);
  ASSERT_EQ(cut.size(), 2u);
  EXPECT_EQ(cut[0], uint32_t{'a'});
  EXPECT_EQ(cut[1], 0xFFFDu);
}

}  // namespace
}  // namespace emf
