#include "page/page.h"

#include <gtest/gtest.h>

#include <string>

#include "emfplus/plus_pages_test.h"
#include "support/spool_builder.h"

namespace {

using testing_support::EmfPage;
using testing_support::EmfRecord;

std::span<const uint8_t> Bytes(const std::string& text) {
  return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

// A Windows metafile header of nine words and META_EOF, with the placeable key before it
// when asked.
std::string Wmf(bool placeable) {
  std::string bytes;
  const auto word = [&](uint16_t w) {
    bytes.append({static_cast<char>(w), static_cast<char>(w >> 8)});
  };
  if (placeable) {
    for (uint16_t w : {0xCDD7, 0x9AC6, 0, 0, 0, 100, 100, 1440, 0, 0, 0}) {
      word(w);
    }
  }
  for (uint16_t w : {1, 9, 0x300, 12, 0, 0, 3, 0, 0, 3, 0, 0}) {
    word(w);
  }
  return bytes;
}

// An EMR_SMALLTEXTOUT whose options promise a clipping rectangle it lacks: the engine draws
// it from zeros and fails the page.
std::string FailingRecord() {
  return EmfRecord(108, {10, 10, 0, 0, 1, 0, 0});
}

// Each input is told by its first bytes, and one we do not read says what it is.
TEST(PageInput, KindsAreToldByContent) {
  struct Case {
    std::string bytes;
    page::InputKind kind;
    const char* why;  // part of what an unread kind says
  };
  const Case cases[] = {
      {EmfPage(""), page::InputKind::kEmfPage, ""},
      {testing_support::SpoolFileBuilder("x").Page(EmfPage("")).Build(), page::InputKind::kEmfSpool,
       ""},
      {Wmf(true), page::InputKind::kWmf, ""},
      {Wmf(false), page::InputKind::kWmf, ""},
      {std::string("PK\x03\x04", 4) + std::string(60, '\0'), page::InputKind::kOther,
       "it is an XPS spool file"},
      {"hello, world", page::InputKind::kOther, "neither an EMF page, a Windows metafile"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(page::KindOfInput(Bytes(c.bytes)), c.kind) << c.why;
    page::InputPages found;
    std::string error;
    EXPECT_EQ(page::FindInputPages(Bytes(c.bytes), found, error),
              c.kind != page::InputKind::kOther);
    EXPECT_NE(error.find(c.why), std::string::npos) << error;
  }
}

TEST(PageInput, APageIsPickedByItsNumberOrTheInputSaysWhatItHas) {
  const std::string first = EmfPage("", 1000, 1000);
  const std::string second = EmfPage("", 2000, 1000);
  const std::string spool =
      testing_support::SpoolFileBuilder("Report").Page(first).Page(second).Build();
  page::InputPages found;
  std::string error;
  ASSERT_TRUE(page::FindInputPages(Bytes(spool), found, error)) << error;
  EXPECT_EQ(found.document, "Report");
  SpoolPage span;
  ASSERT_TRUE(page::SelectPage(found, 2, span, error));
  EXPECT_EQ(spool.substr(span.offset, span.size), second);
  EXPECT_FALSE(page::SelectPage(found, 3, span, error));
  EXPECT_EQ(error, "the spool file has 2 pages, no page 3");

  ASSERT_TRUE(page::FindInputPages(Bytes(first), found, error));
  EXPECT_FALSE(page::SelectPage(found, 2, span, error));
  EXPECT_EQ(error, "an EMF page has only page 1");
  EXPECT_FALSE(
      page::FindInputPages(Bytes(testing_support::SpoolFileBuilder("x").Build()), found, error));
  EXPECT_EQ(error, "a spool file with no EMF page in it");
}

// What a page says of itself is noted when it is opened, the same for every tool.
TEST(Page, NotesWhatThePageSaysOfItself) {
  const std::string whole = EmfPage(EmfRecord(43, {1, 2, 3, 4}));
  struct Case {
    std::string bytes;
    bool area_bounds;
    bool emf_plus_only, outside_frame;
    std::string cut_short;
  };
  const Case cases[] = {
      {whole, false, false, false, ""},
      {testing_support::EmfPlusOnlyPage(), false, true, false, ""},
      {testing_support::PageDrawingOutsideItsFrame(), false, false, true, ""},
      {testing_support::PageDrawingOutsideItsFrame(), true, false, false, ""},
      {whole.substr(0, whole.size() - 20), false, false, false,
       "the page ends after record 2 of 3; drawn as far as it goes"},
  };
  for (const Case& c : cases) {
    page::Page opened;
    std::string error;
    ASSERT_TRUE(page::OpenPage(Bytes(c.bytes), {96, c.area_bounds}, opened, error)) << error;
    EXPECT_EQ(opened.notes.emf_plus_only, c.emf_plus_only);
    EXPECT_EQ(opened.notes.outside_frame, c.outside_frame);
    EXPECT_EQ(opened.notes.cut_short, c.cut_short);
  }
  // --area bounds grows the frame in the page's own copy, to the top left the box reaches.
  page::Page grown;
  std::string error;
  ASSERT_TRUE(page::OpenPage(Bytes(testing_support::PageDrawingOutsideItsFrame()), {96, true},
                             grown, error));
  EXPECT_LT(grown.file->header().frame.left, 0);
  EXPECT_FALSE(page::OpenPage(Bytes("not a page"), {}, grown, error));
}

// A page with EMF+ records is drawn from them unless the tool is asked to draw as GDI does,
// which draws an EMF+-only page as nothing and says so.
TEST(Page, DrawsEmfPlusPagesAsGdiPlusOrAsGdiWhenAsked) {
  using namespace plus_test_pages;
  const std::string page = Page(Comment(InPixels() + FillRect(0xFF0000FF, 0, 0, 100, 100)));
  for (const bool gdi : {false, true}) {
    page::Page opened;
    std::string error;
    page::OpenOptions options;
    options.gdi = gdi;
    ASSERT_TRUE(page::OpenPage(Bytes(page), options, opened, error)) << error;
    EXPECT_EQ(opened.notes.emf_plus_only, gdi);
    uint32_t middle = 0;
    emf::PlayStats stats;
    page::DrawRows(
        *opened.file, 100, 100,
        [&](const uint32_t* rows, size_t stride, int count) {
          middle = count > 50 ? rows[50 * stride + 50] & 0xFFFFFF : middle;
          return true;
        },
        stats, false, opened.comments);
    EXPECT_EQ(middle, gdi ? 0xFFFFFFu : 0x0000FFu) << gdi;
    EXPECT_EQ(page::IsBlank(*opened.file, opened.comments), gdi) << gdi;
  }
}

TEST(Page, SizesFromTheFrameOrTheSizeAskedFor) {
  struct Case {
    int32_t frame_right, frame_bottom;
    page::SizeRequest request;
    int width, height;  // 0: refused
  };
  const Case cases[] = {
      {21000, 29700, {}, 794, 1123},           // A4 at 96 dots per inch
      {21000, 29700, {300, 300}, 2480, 3508},  // and at 300
      {21000, 29700, {96, 96, true, 400, 0}, 400, 566},
      {21000, 29700, {96, 96, true, 0, 566}, 400, 566},
      {21000, 29700, {96, 96, true, 10, 20}, 10, 20},
      {0, 29700, {}, 0, 0},                   // an empty frame
      {2000000000, 29700, {1e6, 1e6}, 0, 0},  // past what an int counts
  };
  for (const Case& c : cases) {
    page::Page opened;
    std::string error;
    ASSERT_TRUE(
        page::OpenPage(Bytes(EmfPage("", c.frame_right, c.frame_bottom)), {}, opened, error));
    page::PixelSize size;
    EXPECT_EQ(page::SizeOf(opened.file->header(), c.request, size, error), c.width > 0)
        << c.frame_right;
    if (c.width > 0) {
      EXPECT_EQ(size.width, c.width);
      EXPECT_EQ(size.height, c.height);
    } else {
      EXPECT_FALSE(error.empty());
    }
  }
}

// The blank test: a page whose drawing fails is never blank, whatever its test bitmap shows.
TEST(Page, OnlyAPageDrawnCleanlyAndWhiteIsBlank) {
  struct Case {
    std::string bytes;
    bool blank;
  };
  const Case cases[] = {
      {EmfPage(""), true},
      {testing_support::BoxPage(0x000000), false},
      {testing_support::BoxPage(0xE0E0E0), true},  // light grey is white in black and white
      {EmfPage(FailingRecord()), false},
      {EmfPage(EmfRecord(43, {1, 2, 3, 4})).substr(0, 108 + 24), false},  // cut short
      {EmfPage("", 10, 10), true},                                        // under one test pixel
  };
  for (const Case& c : cases) {
    page::Page opened;
    std::string error;
    ASSERT_TRUE(page::OpenPage(Bytes(c.bytes), {}, opened, error)) << error;
    EXPECT_EQ(page::IsBlank(*opened.file), c.blank) << c.bytes.size();
  }
}

}  // namespace
