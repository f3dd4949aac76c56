#include "emfplus/player.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "emf/canvas/canvas.h"
#include "emf/vector/vector_document.h"
#include "emfplus/objects.h"
#include "emfplus/plus_pages_test.h"
#include "emfplus/record_table.h"

namespace {

using namespace plus_test_pages;
using testing_support::EmfRecord;

constexpr uint32_t kRed = 0xFF0000, kBlue = 0x0000FF, kWhite = 0xFFFFFF;

// A GDI box filled in a colour (0x00BBGGRR) without an outline, in reference pixels.
std::string GdiBox(uint32_t colorref, int left, int top, int right, int bottom) {
  return EmfRecord(39, {1, 0, colorref, 0}) + EmfRecord(37, {1}) + EmfRecord(37, {0x80000008}) +
         EmfRecord(43, {static_cast<uint32_t>(left), static_cast<uint32_t>(top),
                        static_cast<uint32_t>(right), static_cast<uint32_t>(bottom)});
}

struct Drawn {
  std::vector<uint32_t> pixels = std::vector<uint32_t>(kSide * kSide, 0xFFFFFF);
  emf::PlayStats stats;
  std::string failure;
  uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * kSide + x] & 0xFFFFFF; }
};

// The page drawn as GDI+ draws it (or as GDI does, with gdi).
Drawn Draw(const std::string& page, bool gdi = false) {
  Drawn out;
  const auto file = emf::Metafile::Parse(
      std::span(reinterpret_cast<const uint8_t*>(page.data()), page.size()), nullptr);
  if (!file) {
    out.failure = "no page";
    return out;
  }
  emf::Canvas canvas(out.pixels.data(), kSide, kSide, kSide * 4);
  out.stats = emf::PlayMetafile(*file, canvas, emf::RectL{0, 0, kSide, kSide},
                                gdi ? emf::CommentDrawingMaker{} : emfplus::EmfPlusDrawing());
  out.failure = out.stats.failure;
  return out;
}

std::vector<uint8_t> Bytes(const std::string& s) {
  return {s.begin(), s.end()};
}

TEST(EmfPlusRecords, SplitsACommentIntoItsRecords) {
  const std::string two = Plus(emfplus::kGetDC, 0) + Plus(emfplus::kClear, 0, Words({0xFF000000}));
  struct Case {
    const char* what;
    std::string data;
    size_t records;
    bool cut_short;
  } cases[] = {
      {"two records", Words({emfplus::kSignature}) + two, 2, false},
      {"padded to whole words", Words({emfplus::kSignature}) + two + std::string(8, '\0'), 2,
       false},
      {"the last running past the end",
       Words({emfplus::kSignature}) + two +
           Plus(emfplus::kClear, 0, Words({0, 0, 0, 0})).substr(0, 16),
       2, true},
      {"another program's comment", Words({0x43494447}) + two, 0, false},
  };
  for (const Case& c : cases) {
    bool cut_short = false;
    const auto bytes = Bytes(c.data);
    EXPECT_EQ(emfplus::SplitRecords(bytes, &cut_short).size(), c.records) << c.what;
    EXPECT_EQ(cut_short, c.cut_short) << c.what;
  }
  EXPECT_STREQ(emfplus::RecordName(emfplus::kDrawDriverString), "EmfPlusDrawDriverString");
  EXPECT_EQ(emfplus::RecordName(0x40FF), nullptr);
}

TEST(EmfPlusObjects, ReadsPathPointsInEveryForm) {
  // The same figure (a closed triangle) as floats, 16-bit points, relative points and
  // run-length point types.
  const std::string floats = Words({kVersion, 3, 0, F(10), F(20), F(30), F(20), F(10), F(40)}) +
                             std::string("\x00\x01\x81\x00", 4);
  std::string compressed =
      Words({kVersion, 3, 0x4000, 10 | 20u << 16, 30 | 20u << 16, 10 | 40u << 16}) +
      std::string("\x00\x01\x81\x00", 4);
  std::string relative = Words({kVersion, 3, 0x0800}) + std::string("\x0A\x14\x14\x00\x6C\x14", 6) +
                         std::string("\x00\x01\x81\x00", 4);
  std::string run_length =
      Words({kVersion, 3, 0x4000 | 0x1000, 10 | 20u << 16, 30 | 20u << 16, 10 | 40u << 16}) +
      std::string("\x00\x41\x01\x41\x81\x41", 6);
  for (const std::string& data : {floats, compressed, relative, run_length}) {
    const auto bytes = Bytes(data);
    emf::ByteReader r(bytes);
    emfplus::PlusPath path;
    std::string why;
    ASSERT_TRUE(emfplus::ReadPath(r, path, why)) << why;
    ASSERT_EQ(path.path.segments.size(), 4u);
    EXPECT_EQ(path.path.segments[1].p[0].x, 30);
    EXPECT_EQ(path.path.segments[2].p[0].y, 40);
    EXPECT_EQ(path.path.segments[3].kind, emf::PathSegment::kClose);
  }
  // A count past what the data holds is refused before anything is sized by it.
  const auto huge = Bytes(Words({kVersion, 0x40000000, 0, F(1), F(1)}));
  emf::ByteReader r(huge);
  emfplus::PlusPath path;
  std::string why;
  EXPECT_FALSE(emfplus::ReadPath(r, path, why));
}

TEST(EmfPlusObjects, ADeepRegionTreeTakesNoStack) {
  // 100,000 unions, each of the rest and a rectangle, as a writer nests them.
  constexpr int kDepth = 100000;
  std::string data = Words({kVersion, 2 * kDepth});
  for (int i = 0; i < kDepth; ++i) {
    Put(data, emfplus::RegionNode::kUnion);
  }
  Put(data, emfplus::RegionNode::kEmpty);
  for (int i = 0; i < kDepth; ++i) {
    data += Words({emfplus::RegionNode::kRect, F(i % 90), F(0), F(2), F(2)});
  }
  const auto bytes = Bytes(data);
  emf::ByteReader r(bytes);
  emfplus::PlusRegion region;
  std::string why;
  ASSERT_TRUE(emfplus::ReadRegion(r, region, why)) << why;
  EXPECT_EQ(region.nodes.size(), 2u * kDepth + 1);
}

TEST(EmfPlusPlayer, DrawsWhereGdiPlusPuts) {
  const std::string red_box = FillRect(0xFFFF0000, 10, 10, 20, 20);
  struct Case {
    const char* what;
    std::string records;
    int x, y;  // a pixel inside the box, then one just outside it
    int out_x, out_y;
  } cases[] = {
      {"in pixels", Comment(InPixels() + red_box), 15, 15, 31, 15},
      // Without a page transform a unit is a hundredth of an inch: 96% of a pixel.
      {"in the default unit", Comment(red_box), 28, 15, 29, 15},
      {"moved by the world transform",
       Comment(InPixels() + Plus(emfplus::kTranslateWorldTransform, 0, Words({F(50), F(0)})) +
               red_box),
       65, 15, 15, 15},
      {"turned and then moved (appended)",
       Comment(InPixels() + Plus(emfplus::kRotateWorldTransform, 0, Words({F(90)})) +
               Plus(emfplus::kTranslateWorldTransform, 0x2000, Words({F(60), F(0)})) + red_box),
       35, 15, 15, 15},
      {"a saved transform restored",
       Comment(InPixels() + Plus(emfplus::kSave, 0, Words({1})) +
               Plus(emfplus::kScaleWorldTransform, 0, Words({F(3), F(3)})) +
               Plus(emfplus::kRestore, 0, Words({1})) + red_box),
       15, 15, 45, 45},
      {"inside a container that maps 100 units onto 50",
       Comment(InPixels() +
               Plus(emfplus::kBeginContainer, 0x0200,
                    Words({F(0), F(0), F(50), F(50), F(0), F(0), F(100), F(100), 7})) +
               FillRect(0xFFFF0000, 20, 20, 40, 40) + Plus(emfplus::kEndContainer, 0, Words({7})) +
               FillRect(0xFF0000FF, 0, 0, 5, 5)),
       15, 15, 31, 31},
  };
  for (const Case& c : cases) {
    const Drawn drawn = Draw(Page(c.records));
    EXPECT_EQ(drawn.failure, "") << c.what;
    EXPECT_EQ(drawn.At(c.x, c.y), kRed) << c.what;
    EXPECT_EQ(drawn.At(c.out_x, c.out_y), kWhite) << c.what;
  }
}

TEST(EmfPlusPlayer, DrawsGdiRecordsOnlyAfterAGetDCRecord) {
  // The first box is a stand-in, the second follows a GetDC, the third follows another EMF+
  // record again.
  const std::string page = Page(
      Comment(InPixels() + FillRect(0xFF0000FF, 0, 0, 10, 10)) + GdiBox(0x0000FF, 20, 0, 30, 10) +
      Comment(Plus(emfplus::kGetDC, 0)) + GdiBox(0x0000FF, 40, 0, 50, 10) +
      Comment(FillRect(0xFF0000FF, 60, 0, 10, 10)) + GdiBox(0x0000FF, 80, 0, 90, 10));
  const Drawn plus = Draw(page);
  EXPECT_EQ(plus.At(5, 5), kBlue);
  EXPECT_EQ(plus.At(25, 5), kWhite);
  EXPECT_EQ(plus.At(45, 5), kRed);
  EXPECT_EQ(plus.At(65, 5), kBlue);
  EXPECT_EQ(plus.At(85, 5), kWhite);
  // As GDI draws it, every GDI record and nothing of the EMF+ records.
  const Drawn gdi = Draw(page, true);
  EXPECT_EQ(gdi.At(5, 5), kWhite);
  EXPECT_EQ(gdi.At(25, 5), kRed);
  EXPECT_EQ(gdi.At(85, 5), kRed);
}

TEST(EmfPlusPlayer, ClipsAsTheRecordsCombine) {
  const std::string rect_10_10_30_30 =
      Plus(emfplus::kSetClipRect, 0x0000, Words({F(10), F(10), F(20), F(20)}));
  auto clip = [](int mode, float x) {
    return Plus(emfplus::kSetClipRect, static_cast<uint16_t>(mode << 8),
                Words({F(x), F(10), F(20), F(20)}));
  };
  const std::string fill = FillRect(0xFFFF0000, 0, 0, 100, 100);
  struct Case {
    const char* what;
    std::string clips;
    bool at_15, at_25, at_35, at_5;
  } cases[] = {
      {"replace", rect_10_10_30_30, true, true, false, false},
      {"intersect", rect_10_10_30_30 + clip(1, 20), false, true, false, false},
      {"union", rect_10_10_30_30 + clip(2, 20), true, true, true, false},
      {"xor", rect_10_10_30_30 + clip(3, 20), true, false, true, false},
      {"exclude", rect_10_10_30_30 + clip(4, 20), true, false, false, false},
      {"complement", rect_10_10_30_30 + clip(5, 20), false, false, true, false},
      {"reset", rect_10_10_30_30 + Plus(emfplus::kResetClip, 0), true, true, true, true},
      {"moved", rect_10_10_30_30 + Plus(emfplus::kOffsetClip, 0, Words({F(10), F(0)})), false, true,
       true, false},
  };
  for (const Case& c : cases) {
    const Drawn drawn = Draw(Page(Comment(InPixels() + c.clips + fill)));
    EXPECT_EQ(drawn.At(15, 15) == kRed, c.at_15) << c.what;
    EXPECT_EQ(drawn.At(25, 15) == kRed, c.at_25) << c.what;
    EXPECT_EQ(drawn.At(35, 15) == kRed, c.at_35) << c.what;
    EXPECT_EQ(drawn.At(5, 15) == kRed, c.at_5) << c.what;
  }
}

TEST(EmfPlusPlayer, PutsAnObjectTogetherFromItsPieces) {
  // A filled square path split over three records; the last piece does not say it goes on.
  const std::string whole =
      Words({kVersion, 4, 0, F(10), F(10), F(40), F(10), F(40), F(40), F(10), F(40)}) +
      std::string("\x00\x01\x01\x81", 4);
  auto piece = [&](size_t from, size_t count, bool goes_on) {
    std::string data = goes_on ? Words({static_cast<uint32_t>(whole.size())}) : std::string();
    return Plus(emfplus::kObject, static_cast<uint16_t>(0x0300 | (goes_on ? 0x8000 : 0)),
                data + whole.substr(from, count));
  };
  const std::string fill = Plus(emfplus::kFillPath, 0x8000, Words({0xFFFF0000}));
  const Drawn drawn = Draw(Page(Comment(InPixels() + piece(0, 20, true) + piece(20, 20, true)) +
                                Comment(piece(40, std::string::npos, false) + fill)));
  EXPECT_EQ(drawn.failure, "");
  EXPECT_EQ(drawn.At(25, 25), kRed);
  // An object that says it is larger than the player reads fails the page by name.
  const Drawn huge = Draw(Page(Comment(
      InPixels() + Plus(emfplus::kObject, 0x8300, Words({emfplus::kMaxObjectBytes + 1, 0})))));
  EXPECT_NE(huge.failure.find("path object of 67108865 bytes"), std::string::npos) << huge.failure;
}

TEST(EmfPlusPlayer, PaintsColoursWithTheirAlphaAndPensOfTheirWidth) {
  const Drawn drawn =
      Draw(Page(Comment(InPixels() + FillRect(0xFF0000FF, 0, 0, 100, 50) +
                        FillRect(0x80FF0000, 0, 0, 100, 100) + SolidPen(1, 6, 0xFF00FF00) +
                        Plus(emfplus::kDrawLines, 1, Words({2, F(10), F(80), F(90), F(80)})) +
                        SolidPen(2, 0, 0xFF000000) +
                        Plus(emfplus::kDrawLines, 2, Words({2, F(10), F(90), F(90), F(90)})))));
  EXPECT_EQ(drawn.At(50, 25), 0x80007Fu);  // half red over blue
  EXPECT_EQ(drawn.At(50, 75), 0xFF7F7Fu);  // half red over white
  for (int y : {78, 82}) {
    EXPECT_EQ(drawn.At(50, y), 0x00FF00u) << y;  // six pixels wide, about the line
  }
  EXPECT_NE(drawn.At(50, 85), 0x00FF00u);
  EXPECT_EQ(drawn.At(50, 90), 0u);  // a pen of no width draws one pixel
  EXPECT_NE(drawn.At(50, 91), 0u);
}

// A GIF file of a red and a blue pixel, and one whose blue is its transparent colour.
const std::string kGif(
    "\x47\x49\x46\x38\x37\x61\x02\x00\x01\x00\x81\x00\x00\xFF\x00\x00\x00\x00\xFF\x00\x00\x00"
    "\x00\x00\x00\x2C\x00\x00\x00\x00\x02\x00\x01\x00\x00\x08\x05\x00\x01\x04\x08\x08\x00\x3B",
    44);
const std::string kGifSeeThrough(
    "\x47\x49\x46\x38\x39\x61\x02\x00\x01\x00\x81\x00\x00\xFF\x00\x00\x00\x00\xFF\x00\x00\x00"
    "\x00\x00\x00\x21\xF9\x04\x01\x00\x00\x01\x00\x2C\x00\x00\x00\x00\x02\x00\x01\x00\x00\x08"
    "\x05\x00\x01\x04\x08\x08\x00\x3B",
    52);

// A bitmap object of 2 x 1 pixels in a pixel format, its rows as they are stored.
std::string BitmapObject(int id, uint32_t format, const std::string& rows, int stride,
                         const std::string& palette = {}) {
  return Plus(
      emfplus::kObject, static_cast<uint16_t>(0x500 | id),
      Words({kVersion, 1, 2, 1, static_cast<uint32_t>(stride), format, 0}) + palette + rows);
}

TEST(EmfPlusPlayer, DrawsBitmapsInEachPixelFormat) {
  // Red then blue, stretched over the page's left and right halves (half a pixel of the bitmap
  // to the left, as the default pixel offset mode places them).
  const std::string points = Words({3, F(0), F(0), F(100), F(0), F(0), F(100)});
  struct Case {
    const char* what;
    std::string object;
  } cases[] = {
      {"24-bit",
       BitmapObject(0, 0x00021808, std::string("\x00\x00\xFF\xFF\x00\x00\x00\x00", 8), 8)},
      {"32-bit ARGB", BitmapObject(0, 0x0026200A, Words({0xFFFF0000, 0xFF0000FF}), 8)},
      {"8-bit indexed", BitmapObject(0, 0x00030803, std::string("\x01\x00\x00\x00", 4), 4,
                                     Words({0, 2, 0xFF0000FF, 0xFFFF0000}))},
      {"1-bit indexed", BitmapObject(0, 0x00030101, std::string("\x40\x00\x00\x00", 4), 4,
                                     Words({0, 2, 0xFFFF0000, 0xFF0000FF}))},
      {"GIF file", Plus(emfplus::kObject, 0x0500, Words({kVersion, 1, 0, 0, 0, 0, 1}) + kGif)},
  };
  const std::string draw =
      Plus(emfplus::kDrawImagePoints, 0, Words({0, 2, F(0), F(0), F(2), F(1)}) + points);
  const std::string nearest = Plus(emfplus::kSetInterpolationMode, 5);
  for (const Case& c : cases) {
    const Drawn drawn = Draw(Page(Comment(InPixels() + nearest + c.object + draw)));
    EXPECT_EQ(drawn.failure, "") << c.what;
    EXPECT_EQ(drawn.At(20, 50), kRed) << c.what;
    EXPECT_EQ(drawn.At(75, 50), kBlue) << c.what;
  }
  const Drawn see_through = Draw(Page(
      Comment(InPixels() + nearest +
              Plus(emfplus::kObject, 0x0500, Words({kVersion, 1, 0, 0, 0, 0, 1}) + kGifSeeThrough) +
              draw)));
  EXPECT_EQ(see_through.At(20, 50), kRed);
  EXPECT_EQ(see_through.At(75, 50), kWhite);
  // Stretched by default, the pixels blend, sampled half a pixel of the bitmap further on
  // unless the pixel offset mode is half.
  const Drawn blended = Draw(Page(Comment(InPixels() + cases[1].object + draw)));
  EXPECT_NE(blended.At(10, 50), kRed);
  EXPECT_NE(blended.At(10, 50), kBlue);
  EXPECT_EQ(blended.At(80, 50), kBlue);
  const Drawn centred = Draw(
      Page(Comment(InPixels() + Plus(emfplus::kSetPixelOffsetMode, 4) + cases[1].object + draw)));
  EXPECT_EQ(centred.At(10, 50), kRed);
  EXPECT_NE(centred.At(50, 50), kRed);
  EXPECT_NE(centred.At(50, 50), kBlue);
}

TEST(EmfPlusPlayer, PlaysMetafileImagesInTheirPlace) {
  // An EMF+ page of 100 x 100 pixels filled blue, as an image drawn into (25, 25, 50, 50).
  const std::string inner = Page(Comment(InPixels() + FillRect(0xFF0000FF, 0, 0, 100, 100)));
  const std::string image =
      Plus(emfplus::kObject, 0x0500,
           Words({kVersion, 2, 4, static_cast<uint32_t>(inner.size())}) + inner);
  const std::string draw =
      Plus(emfplus::kDrawImage, 0,
           Words({0, 2, F(0), F(0), F(100), F(100), F(25), F(25), F(50), F(50)}));
  const Drawn drawn = Draw(Page(Comment(InPixels() + image + draw)));
  EXPECT_EQ(drawn.failure, "");
  EXPECT_EQ(drawn.At(50, 50), kBlue);
  EXPECT_EQ(drawn.At(20, 50), kWhite);
  EXPECT_EQ(drawn.At(80, 50), kWhite);
  // Turned a quarter of the way round, as a diamond: its blue left half shows, and what it
  // leaves undrawn stays as it was.
  const std::string half = Page(Comment(InPixels() + FillRect(0xFF0000FF, 0, 0, 50, 100)));
  const Drawn turned =
      Draw(Page(Comment(InPixels() + FillRect(0xFFFF0000, 0, 0, 100, 100) +
                        Plus(emfplus::kObject, 0x0500,
                             Words({kVersion, 2, 4, static_cast<uint32_t>(half.size())}) + half) +
                        Plus(emfplus::kDrawImagePoints, 0,
                             Words({0, 2, F(0), F(0), F(100), F(100), 3, F(50), F(10), F(90), F(50),
                                    F(10), F(50)})))));
  EXPECT_EQ(turned.failure, "");
  EXPECT_EQ(turned.At(40, 40), kBlue);
  EXPECT_EQ(turned.At(60, 60), kRed);
  EXPECT_EQ(turned.At(8, 8), kRed);
  // A picture that holds itself again and again stops at the engine's depth, by name.
  std::string nested = inner;
  for (int depth = 0; depth < 6; ++depth) {
    nested =
        Page(Comment(InPixels() +
                     Plus(emfplus::kObject, 0x0500,
                          Words({kVersion, 2, 4, static_cast<uint32_t>(nested.size())}) + nested) +
                     draw));
  }
  const Drawn deep = Draw(nested);
  EXPECT_EQ(deep.failure, "");
  EXPECT_EQ(deep.stats.skipped.at("EmfPlusDrawImage (metafiles nested too deep)"), 1);
}

TEST(EmfPlusPlayer, PaintsHatchesGradientsAndTextures) {
  const std::string fill_brush =
      Plus(emfplus::kFillRects, 0, Words({0, 1, F(0), F(0), F(100), F(100)}));
  // A horizontal hatch, red lines a device row in eight on blue, from the rendering origin.
  const std::string hatch =
      Plus(emfplus::kObject, 0x0100, Words({kVersion, 1, 0, 0xFFFF0000, 0xFF0000FF}));
  const Drawn lines = Draw(Page(Comment(InPixels() + hatch + fill_brush)));
  EXPECT_EQ(lines.At(10, 8), kRed);
  EXPECT_EQ(lines.At(10, 9), kBlue);
  const Drawn moved = Draw(Page(Comment(
      InPixels() + Plus(emfplus::kSetRenderingOrigin, 0, Words({0, 3})) + hatch + fill_brush)));
  EXPECT_EQ(moved.At(10, 11), kRed);
  EXPECT_EQ(moved.At(10, 8), kBlue);
  // A gradient from red at the left of its rectangle (0, 0, 50, 10) to blue at its right,
  // repeated past it.
  const std::string gradient =
      Plus(emfplus::kObject, 0x0100,
           Words({kVersion, 4, 0, 0, F(0), F(0), F(50), F(10), 0xFFFF0000, 0xFF0000FF, 0, 0}));
  const Drawn shaded = Draw(Page(Comment(InPixels() + gradient + fill_brush)));
  for (int x : {1, 51}) {
    EXPECT_GT(shaded.At(x, 50) >> 16, 0xF0u) << x;   // red
    EXPECT_LT(shaded.At(x, 50) & 0xFF, 0x10u) << x;  // no blue
  }
  EXPECT_LT(shaded.At(48, 50) >> 16, 0x10u);  // blue at the rectangle's right
  // A texture of a red and a blue pixel, ten times its size through its transform, repeated.
  const std::string texture =
      Plus(emfplus::kObject, 0x0100,
           Words({kVersion, 2, 0x02, 0, F(10), F(0), F(0), F(10), F(0), F(0), kVersion, 1, 2, 1, 8,
                  0x0026200A, 0, 0xFFFF0000, 0xFF0000FF}));
  // A path gradient over the page's square: red at its centre, blue at its corners.
  const std::string path_gradient =
      Plus(emfplus::kObject, 0x0100,
           Words({kVersion, 3, 0, 0, 0xFFFF0000, F(50), F(50), 1, 0xFF0000FF, 4, F(0), F(0), F(100),
                  F(0), F(100), F(100), F(0), F(100)}));
  const Drawn radial = Draw(Page(Comment(InPixels() + path_gradient + fill_brush)));
  EXPECT_GT(radial.At(50, 50) >> 16, 0xF0u);        // red at the centre
  EXPECT_GT(radial.At(1, 1) & 0xFF, 0xF0u);         // blue at a corner
  EXPECT_NE(radial.At(25, 25), radial.At(50, 50));  // shaded between
  // Focus scales of a half: the middle half of the square is the centre's colour.
  const std::string focused = Plus(
      emfplus::kObject, 0x0100,
      Words({kVersion, 3,      0x40, 0,      0xFFFF0000, F(50), F(50),  1, 0xFF0000FF, 4,      F(0),
             F(0),     F(100), F(0), F(100), F(100),     F(0),  F(100), 2, F(0.5f),    F(0.5f)}));
  const Drawn focus = Draw(Page(Comment(InPixels() + focused + fill_brush)));
  EXPECT_EQ(focus.At(28, 50), kRed);
  EXPECT_EQ(focus.At(50, 72), kRed);
  EXPECT_NE(focus.At(15, 50), kRed);
  const Drawn tiled = Draw(Page(Comment(InPixels() + texture + fill_brush)));
  EXPECT_EQ(tiled.At(5, 50), kRed);
  EXPECT_EQ(tiled.At(15, 50), kBlue);
  EXPECT_EQ(tiled.At(25, 50), kRed);
  // A texture of a picture whose left half is blue, the rest left undrawn, at half its size.
  const std::string half = Page(Comment(InPixels() + FillRect(0xFF0000FF, 0, 0, 50, 100)));
  const std::string picture_texture =
      Plus(emfplus::kObject, 0x0100,
           Words({kVersion, 2, 0x02, 0, F(0.5f), F(0), F(0), F(0.5f), F(0), F(0), kVersion, 2, 4,
                  static_cast<uint32_t>(half.size())}) +
               half);
  const Drawn pictured = Draw(Page(Comment(InPixels() + picture_texture + fill_brush)));
  EXPECT_EQ(pictured.failure, "");
  for (int x : {10, 60}) {
    EXPECT_EQ(pictured.At(x, 30), kBlue) << x;
    EXPECT_EQ(pictured.At(x + 30, 30), kWhite) << x;
  }
}

TEST(EmfPlusPlayer, PensPaintStripAndEndAsTheyAreMade) {
  auto pen = [](std::initializer_list<uint32_t> fields, const std::string& extra,
                const std::string& brush) {
    return Plus(emfplus::kObject, 0x0201, Words(fields) + extra + brush);
  };
  auto line = [](float x0, float y0, float x1, float y1) {
    return Plus(emfplus::kDrawLines, 1, Words({2, F(x0), F(y0), F(x1), F(y1)}));
  };
  const std::string red = Words({kVersion, 0, 0xFFFF0000});
  // A pen painting with a gradient from red to blue over 0 to 50, repeated.
  const std::string gradient =
      Words({kVersion, 4, 0, 0, F(0), F(0), F(50), F(10), 0xFFFF0000, 0xFF0000FF, 0, 0});
  const Drawn painted = Draw(Page(
      Comment(InPixels() + pen({kVersion, 0, 0, 0, F(10)}, {}, gradient) + line(0, 20, 100, 20))));
  EXPECT_GT(painted.At(2, 20) >> 16, 0xE0u);
  EXPECT_GT(painted.At(47, 20) & 0xFF, 0xE0u);
  EXPECT_GT(painted.At(52, 20) >> 16, 0xE0u);
  // Strips 0 to 0.3 and 0.7 to 1 of a 20-wide pen: two 6-wide lines with a gap between.
  const Drawn strips = Draw(Page(
      Comment(InPixels() +
              pen({kVersion, 0, 0x400, 0, F(20)}, Words({4, F(0), F(0.3f), F(0.7f), F(1)}), red) +
              line(10, 50, 90, 50))));
  for (const auto& [y, inked] : {std::pair{39, false},
                                 {42, true},
                                 {45, true},
                                 {50, false},
                                 {55, true},
                                 {58, true},
                                 {61, false}}) {
    EXPECT_EQ(strips.At(50, y) == kRed, inked) << y;
  }
  // The same strips round a closed figure that comes back to its first point, on the right
  // of its way and on its left.
  const Drawn round = Draw(Page(Comment(
      InPixels() +
      pen({kVersion, 0, 0x400, 0, F(20)}, Words({4, F(0), F(0.3f), F(0.7f), F(1)}), red) +
      PathObject(2, {{20, 20}, {80, 20}, {80, 80}, {20, 80}, {20, 20}}, {0, 1, 1, 1, 0x81}) +
      Plus(emfplus::kDrawPath, 2, Words({1})))));
  EXPECT_EQ(round.At(50, 13), kRed);
  EXPECT_EQ(round.At(50, 27), kRed);
  EXPECT_NE(round.At(50, 20), kRed);
  // An arrow anchor at the end of a 4-wide line: a head two widths long, wider than the line.
  const Drawn anchored = Draw(Page(Comment(
      InPixels() + pen({kVersion, 0, 0x04, 0, F(4), 0x14}, {}, red) + line(10, 80, 90, 80))));
  EXPECT_EQ(anchored.At(84, 82), kRed);
  EXPECT_EQ(anchored.At(84, 77), kRed);
  EXPECT_NE(anchored.At(92, 80), kRed);
  // A custom end cap: a triangle in pen widths, its tip on the end, the line stopping short.
  std::string cap_path = Words({kVersion, 3, 0, F(2), F(-4), F(0), F(0), F(-2), F(-4)});
  cap_path += std::string("\x00\x01\x81\x00", 4);
  const std::string cap = Words({kVersion, 0, 1, 0, F(3), 0, 0, 0, F(10), F(1), 0, 0, 0, 0,
                                 static_cast<uint32_t>(cap_path.size())}) +
                          cap_path;
  const std::string capped_pen = pen({kVersion, 0, 0x1004, 0, F(2), 0xFF},
                                     Words({static_cast<uint32_t>(cap.size())}) + cap, red);
  const Drawn capped = Draw(Page(Comment(InPixels() + capped_pen + line(10, 80, 90, 80))));
  EXPECT_EQ(capped.At(85, 82), kRed);
  EXPECT_NE(capped.At(85, 84), kRed);
  // A custom cap cut short leaves its pen out, counted with why.
  const Drawn cut =
      Draw(Page(Comment(InPixels() +
                        pen({kVersion, 0, 0x1004, 0, F(2), 0xFF},
                            Words({static_cast<uint32_t>(cap.size())}) + cap.substr(0, 40), red) +
                        line(10, 80, 90, 80))));
  EXPECT_EQ(
      cut.stats.skipped.count("EmfPlusObject (a custom line cap that ends before its fields do)"),
      1u);
  EXPECT_NE(cut.At(50, 80), kRed);
}

// A font object of a family at an em size in pixels.
std::string FontObject(int id, const std::u16string& family, float em) {
  std::string data = Words({kVersion, F(em), 2, 0, 0, static_cast<uint32_t>(family.size())});
  for (char16_t c : family) {
    data += static_cast<char>(c & 0xFF);
    data += static_cast<char>(c >> 8);
  }
  return Plus(emfplus::kObject, static_cast<uint16_t>(0x600 | id), data);
}

TEST(EmfPlusPlayer, DrawsDriverStringsWhereTheyArePlaced) {
  // "II" as characters, the first glyph placed at (20, 60), the second by its advance.
  const std::string text =
      Plus(emfplus::kDrawDriverString, 0x8000,
           Words({0xFF000000, 0x1 | 0x4, 0, 2, 'I' | 'I' << 16, F(20), F(60), F(0), F(0)}));
  const Drawn drawn = Draw(Page(Comment(InPixels() + FontObject(0, u"Arial", 40) + text)));
  EXPECT_EQ(drawn.failure, "");
  int ink_left = 0, ink_right = 0;
  for (int y = 20; y < 70; ++y) {
    for (int x = 0; x < kSide; ++x) {
      if (drawn.At(x, y) == 0) {
        (x < 20 ? ink_left : ink_right)++;
      }
    }
  }
  EXPECT_EQ(ink_left, 0);               // nothing before the first place
  EXPECT_GT(ink_right, 50);             // two strokes of a 40-pixel I
  EXPECT_EQ(drawn.At(50, 80), kWhite);  // nothing below the baseline
  // An SVG of the page keeps the characters as text.
  const std::string page = Page(Comment(InPixels() + FontObject(0, u"Arial", 40) + text));
  const std::vector<uint8_t> bytes = Bytes(page);
  const auto file = emf::Metafile::Parse(bytes, nullptr);
  ASSERT_TRUE(file.has_value());
  std::string svg;
  emf::VectorDocument document(
      [&](std::span<const uint8_t> bytes) {
        svg.append(bytes.begin(), bytes.end());
        return true;
      },
      emf::VectorFormat::kSvg, emf::ColourRule::kColour);
  EXPECT_EQ(document.AddPage(*file, emfplus::EmfPlusDrawing()), "");
  EXPECT_EQ(document.Finish(), "");
  EXPECT_NE(svg.find(">II<"), std::string::npos);
}

TEST(EmfPlusPlayer, LaysOutStringsInTheirRectangle) {
  // "II" centred in (0, 0, 100, 100), lines centred too; then the same at the near edges.
  auto draw_string = [](uint32_t format_id) {
    return Plus(emfplus::kDrawString, 0x8000,
                Words({0xFF000000, format_id, 2, F(0), F(0), F(100), F(100), 'I' | 'I' << 16}));
  };
  const std::string centred = Plus(emfplus::kObject, 0x0701,
                                   Words({kVersion, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, F(1), 0, 0, 0}));
  auto ink = [](const Drawn& drawn, int x0, int x1, int y0, int y1) {
    int count = 0;
    for (int y = y0; y < y1; ++y) {
      for (int x = x0; x < x1; ++x) {
        count += drawn.At(x, y) == 0 ? 1 : 0;
      }
    }
    return count;
  };
  const Drawn middle =
      Draw(Page(Comment(InPixels() + FontObject(0, u"Arial", 20) + centred + draw_string(1))));
  EXPECT_GT(ink(middle, 40, 60, 35, 65), 10);
  EXPECT_EQ(ink(middle, 0, 35, 0, 100), 0);
  EXPECT_EQ(ink(middle, 0, 100, 0, 30), 0);
  const Drawn near = Draw(Page(Comment(InPixels() + FontObject(0, u"Arial", 20) + draw_string(9))));
  EXPECT_GT(ink(near, 0, 20, 0, 25), 10);
  EXPECT_EQ(ink(near, 30, 100, 0, 100), 0);

  // Formats without margins: flags, alignment, hotkey prefix, trimming and tab stops.
  auto format = [](uint32_t flags, uint32_t align, uint32_t hotkey, uint32_t trimming,
                   std::vector<float> tabs = {}) {
    std::string data = Words({kVersion, flags, 0, align, 0, 0, 0, F(0), hotkey, F(0), F(0), F(1),
                              trimming, static_cast<uint32_t>(tabs.size()), 0});
    for (float tab : tabs) {
      Put(data, F(tab));
    }
    return Plus(emfplus::kObject, 0x0701, data);
  };
  auto text = [](const std::u16string& s, float height = 100) {
    std::string data =
        Words({0xFF000000, 1, static_cast<uint32_t>(s.size()), F(0), F(0), F(100), F(height)});
    for (char16_t c : s) {
      data += static_cast<char>(c & 0xFF);
      data += static_cast<char>(c >> 8);
    }
    return Plus(emfplus::kDrawString, 0x8000, data);
  };
  auto draw = [&](const std::string& format_object, const std::string& string) {
    return Draw(Page(Comment(InPixels() + FontObject(0, u"Arial", 20) + format_object + string)));
  };
  // An ampersand before a character is not drawn when the format has a hotkey prefix.
  const int plain = ink(draw(format(0, 0, 0, 1), text(u"&&")), 0, 100, 0, 100);
  const int prefixed = ink(draw(format(0, 0, 2, 1), text(u"&&")), 0, 100, 0, 100);
  EXPECT_GT(prefixed, 10);
  EXPECT_LT(prefixed, plain * 3 / 4);
  // A tab goes on to the tab stop, 60 from the line's start.
  const Drawn tabbed = draw(format(0, 0, 0, 1, {60}), text(u"I\tI"));
  EXPECT_GT(ink(tabbed, 58, 70, 0, 25), 10);
  EXPECT_EQ(ink(tabbed, 15, 55, 0, 100), 0);
  // Right to left, the near side is the right.
  const Drawn right = draw(format(1, 0, 0, 1), text(u"I"));
  EXPECT_GT(ink(right, 85, 100, 0, 25), 10);
  EXPECT_EQ(ink(right, 0, 80, 0, 100), 0);
  // A line too long, not wrapped, ends in an ellipsis (dots, low on the line) at the edge.
  const std::u16string long_line(40, u'I');
  EXPECT_EQ(ink(draw(format(0x1000, 0, 0, 3), text(long_line)), 85, 100, 0, 12), 0);
  EXPECT_GT(ink(draw(format(0x1000, 0, 0, 1), text(long_line)), 85, 100, 0, 12), 10);
  // Unclipped, a line limit keeps only the lines that fit in the rectangle.
  EXPECT_EQ(ink(draw(format(0x6000, 0, 0, 1), text(u"I\nI", 30)), 0, 100, 30, 100), 0);
  EXPECT_GT(ink(draw(format(0x4000, 0, 0, 1), text(u"I\nI", 30)), 0, 100, 30, 100), 3);
}

// A font too large for FreeType fails the page by name, and leaves the face as it was.
TEST(EmfPlusPlayer, AFontTooLargeToDrawFailsThePageAndSparesTheFace) {
  const std::string glyphs =
      Plus(emfplus::kDrawDriverString, 0x8000,
           Words({0xFF000000, 0x1 | 0x4, 0, 2, 'H' | 'H' << 16, F(10), F(80), F(0), F(0)}));
  const Drawn huge = Draw(Page(Comment(InPixels() + FontObject(0, u"Arial", 100000) + glyphs)));
  EXPECT_NE(huge.failure.find("larger than text is drawn"), std::string::npos) << huge.failure;
  const Drawn usual = Draw(Page(Comment(InPixels() + FontObject(0, u"Arial", 60) + glyphs)));
  EXPECT_EQ(usual.failure, "");
  int ink = 0;
  for (int y = 40; y < 80; ++y) {
    for (int x = 10; x < 90; ++x) {
      ink += usual.At(x, y) == 0 ? 1 : 0;
    }
  }
  EXPECT_GT(ink, 100);
}

// Pages made to cost without end: each is drawn within the engine's bounds, or fails or skips
// by name.
TEST(EmfPlusPlayer, CostlyPensPicturesAndStringsStayBounded) {
  const std::string red = Words({kVersion, 0, 0xFFFF0000});
  // A compound pen of 100,000 strip edges draws the first few dozen.
  std::string edges = Words({100000});
  for (int i = 0; i < 100000; ++i) {
    Put(edges, F(static_cast<float>(i % 2)));
  }
  const Drawn strips = Draw(Page(
      Comment(InPixels() +
              Plus(emfplus::kObject, 0x0201, Words({kVersion, 0, 0x400, 0, F(20)}) + edges + red) +
              Plus(emfplus::kDrawLines, 1, Words({2, F(10), F(50), F(90), F(50)})))));
  EXPECT_EQ(strips.failure, "");
  EXPECT_EQ(strips.At(50, 50), kRed);
  // A custom cap of 1,500 points on each of 1,000 line ends is past the engine's shapes.
  std::string cap_path = Words({kVersion, 1500, 0});
  std::string cap_types;
  for (int i = 0; i < 1500; ++i) {
    Put(cap_path, F(static_cast<float>(i % 7)));
    Put(cap_path, F(-static_cast<float>(i % 5)));
    cap_types += static_cast<char>(i == 0 ? 0 : i == 1499 ? 0x81 : 1);
  }
  cap_path += cap_types + std::string(-cap_types.size() % 4, '\0');
  const std::string cap = Words({kVersion, 0, 1, 0, F(0), 0, 0, 0, F(10), F(1), 0, 0, 0, 0,
                                 static_cast<uint32_t>(cap_path.size())}) +
                          cap_path;
  std::vector<std::pair<float, float>> ends;
  std::vector<uint8_t> end_types;
  for (int i = 0; i < 1000; ++i) {
    ends.push_back({static_cast<float>(i % 100), 10});
    ends.push_back({static_cast<float>(i % 100), 90});
    end_types.insert(end_types.end(), {0, 1});
  }
  const Drawn capped = Draw(Page(
      Comment(InPixels() +
              Plus(emfplus::kObject, 0x0201,
                   Words({kVersion, 0, 0x1004, 0, F(2), 0xFF, static_cast<uint32_t>(cap.size())}) +
                       cap + red) +
              PathObject(2, ends, end_types) + Plus(emfplus::kDrawPath, 2, Words({1})))));
  EXPECT_NE(capped.failure.find("past the"), std::string::npos) << capped.failure;
  // A turned picture whose page fails fails the page it is drawn on.
  const std::string failing = Page(Comment(
      InPixels() + FontObject(0, u"Arial", 500000) +
      Plus(emfplus::kDrawDriverString, 0x8000,
           Words({0xFF000000, 0x1 | 0x4, 0, 2, 'H' | 'H' << 16, F(10), F(80), F(0), F(0)}))));
  const Drawn turned = Draw(
      Page(Comment(InPixels() +
                   Plus(emfplus::kObject, 0x0500,
                        Words({kVersion, 2, 4, static_cast<uint32_t>(failing.size())}) + failing) +
                   Plus(emfplus::kDrawImagePoints, 0,
                        Words({0, 2, F(0), F(0), F(100), F(100), 3, F(50), F(10), F(90), F(50),
                               F(10), F(50)})))));
  EXPECT_NE(turned.failure.find("larger than text is drawn"), std::string::npos) << turned.failure;
  // A texture of a picture filled 300 times is drawn into a bitmap once.
  const std::string half = Page(Comment(InPixels() + FillRect(0xFF0000FF, 0, 0, 50, 100)));
  std::string fills =
      Plus(emfplus::kObject, 0x0100,
           Words({kVersion, 2, 0, 0, kVersion, 2, 4, static_cast<uint32_t>(half.size())}) + half);
  for (int i = 0; i < 300; ++i) {
    fills += Plus(emfplus::kFillRects, 0, Words({0, 1, F(i % 100), F(0), F(1), F(100)}));
  }
  const Drawn textured = Draw(Page(Comment(InPixels() + fills)));
  EXPECT_EQ(textured.failure, "");
  EXPECT_EQ(textured.At(20, 50), kBlue);
  // A line of 200,000 characters too long for its rectangle ends in an ellipsis.
  std::string text = Words({0xFF000000, 1, 200000, F(0), F(0), F(100), F(100)});
  for (int i = 0; i < 200000; ++i) {
    text += "I";
    text += '\0';
  }
  const Drawn long_line = Draw(Page(
      Comment(InPixels() + FontObject(0, u"Arial", 20) +
              Plus(emfplus::kObject, 0x0701,
                   Words({kVersion, 0x1000, 0, 0, 0, 0, 0, F(0), 0, F(0), F(0), F(1), 3, 0, 0})) +
              Plus(emfplus::kDrawString, 0x8000, text))));
  EXPECT_EQ(long_line.failure, "");
}

TEST(EmfPlusPlayer, CountsWhatItDoesNotDraw) {
  const Drawn drawn =
      Draw(Page(Comment(Plus(emfplus::kStrokeFillPath, 0, Words({0})) + Plus(0x40FF, 0) +
                        Plus(emfplus::kFillRects, 0) + Plus(emfplus::kDrawPath, 5, Words({1})))));
  EXPECT_EQ(drawn.failure, "");
  EXPECT_EQ(drawn.stats.skipped.at("EmfPlusStrokeFillPath"), 1);
  EXPECT_EQ(drawn.stats.skipped.at("EmfPlusUnknown(0x40FF)"), 1);
  EXPECT_EQ(drawn.stats.skipped.at("EmfPlusFillRects (too short)"), 1);
  EXPECT_EQ(drawn.stats.skipped.at("EmfPlusDrawPath (no such object)"), 1);
  // Fields past a record's data are drawn from zeros, and the page says which record.
  const Drawn cut = Draw(
      Page(Comment(Plus(emfplus::kFillPie, 0x8000, Words({0xFFFF0000, F(0), F(90), F(1), F(1)})))));
  EXPECT_NE(cut.failure.find("EmfPlusFillPie"), std::string::npos) << cut.failure;
}

}  // namespace
