// Programmatic text pages: where glyphs land, how big they are, how they are smoothed.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "emf/player/player.h"
#include "emf/text/font.h"
#include "support/spool_builder.h"

namespace {

using testing_support::Append32;
using testing_support::CreateFont;
using testing_support::EmfPage;
using testing_support::EmfRecord;
using testing_support::FontSpec;
using testing_support::TextOutA;
using testing_support::TextOutW;

constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kEtoOpaque = 0x2, kEtoClipped = 0x4, kEtoGlyphIndex = 0x10;
constexpr uint32_t kTaRight = 2, kTaCenter = 6, kTaBottom = 8, kTaBaseline = 24;

uint32_t U(int v) {
  return static_cast<uint32_t>(v);
}

std::string Align(uint32_t mode) {
  return EmfRecord(22, {mode});
}

struct Page {
  int side;
  std::vector<uint32_t> pixels;
  uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * side + x] & 0xFFFFFF; }
  // The ink's bounding box: left, top, right, bottom (exclusive); all -1 when blank.
  std::vector<int> Ink() const {
    int l = side, t = side, r = -1, b = -1;
    for (int y = 0; y < side; ++y) {
      for (int x = 0; x < side; ++x) {
        if (At(x, y) != kWhite) {
          l = std::min(l, x);
          t = std::min(t, y);
          r = std::max(r, x + 1);
          b = std::max(b, y + 1);
        }
      }
    }
    return r < 0 ? std::vector<int>{-1, -1, -1, -1} : std::vector<int>{l, t, r, b};
  }
  // Columns where a run of ink starts along row y.
  std::vector<int> InkStarts(int y) const {
    std::vector<int> starts;
    for (int x = 0; x < side; ++x) {
      if (At(x, y) != kWhite && (x == 0 || At(x - 1, y) == kWhite)) {
        starts.push_back(x);
      }
    }
    return starts;
  }
};

// A 200-unit square page (MM_TEXT units of a 96 dots-per-inch device) played at a density.
Page Play(const std::string& records, int dpi = 96) {
  const std::string page = EmfPage(records, 5292, 5292);
  Page out{200 * dpi / 96, {}};
  out.pixels.assign(static_cast<size_t>(out.side) * out.side, kWhite);
  const auto file = emf::Metafile::Parse(
      std::span(reinterpret_cast<const uint8_t*>(page.data()), page.size()), nullptr);
  EXPECT_TRUE(file.has_value());
  if (file) {
    emf::Canvas canvas(out.pixels.data(), out.side, out.side, out.side * 4);
    emf::PlayMetafile(*file, canvas, emf::RectL{0, 0, out.side, out.side});
  }
  return out;
}

TEST(Text, DxArrayPutsEachGlyphOriginToThePixelAt300Dpi) {
  // 'l' is a plain stem, so each glyph's ink starts at its origin plus one bearing. One
  // logical unit is 3.1248 pixels; GDI rounds the reference point and each glyph's offset
  // from it (31.2, 68.7, 90.6) to whole pixels.
  FontSpec font;
  font.height = -20;
  const Page page = Play(
      CreateFont(font) + Align(kTaBaseline) + TextOutW(21, 100, u"llll", 0, {10, 12, 7, 10}), 300);
  const std::vector<int> starts = page.InkStarts(100 * 300 / 96 - 10);
  ASSERT_EQ(starts.size(), 4u);
  EXPECT_EQ(starts[1] - starts[0], 31);
  EXPECT_EQ(starts[2] - starts[0], 69);
  EXPECT_EQ(starts[3] - starts[0], 91);
}

TEST(Text, AlignmentPlacesTheTextBoxAroundTheReferencePoint) {
  const std::string font = CreateFont({});
  struct Case {
    uint32_t align;
    const char* what;
  };
  for (const Case& c : {Case{0, "left top"}, Case{kTaRight | kTaBaseline, "right baseline"},
                        Case{kTaCenter | kTaBottom, "centre bottom"}}) {
    SCOPED_TRACE(c.what);
    const Page page = Play(font + Align(c.align) + TextOutW(100, 100, u"HH"));
    const std::vector<int> ink = page.Ink();
    ASSERT_GE(ink[0], 0);
    const int width = ink[2] - ink[0];
    EXPECT_GT(width, 30);
    switch (c.align & kTaCenter) {
      case 0:
        EXPECT_NEAR(ink[0], 103, 3);  // the left bearing of 'H'
        break;
      case kTaRight:
        EXPECT_NEAR(ink[2], 97, 3);
        break;
      default:
        EXPECT_NEAR((ink[0] + ink[2]) / 2, 100, 2);
    }
    // Arial's cap height is 0.716 em, its ascent 0.905 em and its descent 0.212 em.
    switch (c.align & kTaBaseline) {
      case 0:
        EXPECT_NEAR(ink[1], 100 + 36 - 29, 2);
        break;
      case kTaBaseline:
        EXPECT_EQ(ink[3], 100);
        break;
      default:
        EXPECT_NEAR(ink[3], 100 - 8, 2);
    }
  }
}

TEST(Text, EscapementTurnsTheBaselineCounterClockwise) {
  FontSpec font;
  font.escapement = 900;
  const Page page = Play(CreateFont(font) + Align(kTaBaseline) + TextOutW(100, 150, u"HHH"));
  const std::vector<int> ink = page.Ink();
  ASSERT_GE(ink[0], 0);
  EXPECT_GT(ink[3] - ink[1], 2 * (ink[2] - ink[0]));  // runs up the page
  EXPECT_LE(ink[3], 150);
  EXPECT_LE(ink[2], 100);  // the glyphs stand left of a baseline that points up
}

TEST(Text, MirroringMappingTurnsCompatibleTextTheOtherWay) {
  // y points up on this page; 270 degrees reads down in its own space, and GDI's compatible
  // mode turns it on the device instead, where it reads up.
  FontSpec font;
  font.escapement = 2700;
  const std::string y_up = EmfRecord(17, {8}) + EmfRecord(9, {200, U(-200)}) +
                           EmfRecord(10, {0, 200}) + EmfRecord(11, {200, 200});
  const Page page = Play(y_up + CreateFont(font) + Align(kTaBaseline) + TextOutW(100, 50, u"HHH"));
  const std::vector<int> ink = page.Ink();
  ASSERT_GE(ink[0], 0);
  EXPECT_LE(ink[3], 150);  // above the reference point, at y = 150 on the device
  EXPECT_GT(ink[3] - ink[1], 2 * (ink[2] - ink[0]));
}

TEST(Text, TurnedAdvancesScaleWithTheAxisTheyRunAlong) {
  // Logical units are one pixel across and two down: advances of 20 units up the page
  // come to 40 pixels apart.
  FontSpec font;
  font.height = -10;
  font.escapement = 900;
  const std::string tall =
      EmfRecord(17, {8}) + EmfRecord(9, {200, 100}) + EmfRecord(11, {200, 200});
  const Page page = Play(tall + CreateFont(font) + Align(kTaBaseline) +
                         TextOutW(100, 95, u"----", 0, {20, 20, 20, 20}));
  const std::vector<int> ink = page.Ink();
  ASSERT_GE(ink[0], 0);
  EXPECT_NEAR(ink[3] - ink[1], 3 * 40 + 5, 4);  // three steps and one dash's length
}

// In the compatible graphics mode a world transform that turns the page carries a spacing
// array's places along the turned baseline while the glyphs stay upright, as the reference
// renderer draws them (tests/gdi-pages, text-turned-compatible): a quarter turn runs "HHHH"
// down the page.
TEST(Text, TurnedWorldTransformCarriesSpacingAlongTheTurnedBaseline) {
  FontSpec font;
  font.height = -12;
  const std::string quarter_turn =
      EmfRecord(35, {0, 0x3F800000u, 0xBF800000u, 0, 0x42C80000u, 0x41A00000u});  // to (100, 20)
  const Page page = Play(quarter_turn + CreateFont(font) + Align(kTaBaseline) +
                         TextOutW(0, 0, u"HHHH", 0, {40, 40, 40, 40}));
  const std::vector<int> ink = page.Ink();
  ASSERT_GE(ink[0], 0);
  EXPECT_GT(ink[3] - ink[1], 3 * 40);  // down the page
  EXPECT_LT(ink[2] - ink[0], 20);      // one upright glyph wide
}

TEST(Text, NegativeHeightIsTheEmAndPositiveTheCell) {
  FontSpec em;
  em.height = -60;
  FontSpec cell = em;
  cell.height = 60;
  const auto cap = [](const FontSpec& f) {
    const std::vector<int> ink = Play(CreateFont(f) + TextOutW(20, 20, u"H")).Ink();
    return ink[3] - ink[1];
  };
  // The cap height is 0.688 em: 41 pixels of a 60-pixel em; a 60-pixel cell (ascent and
  // descent, 1.117 em) holds an em of 53.7 pixels.
  EXPECT_NEAR(cap(em), 41, 1);
  EXPECT_NEAR(cap(cell), 37, 1);
  // The extremes of the field draw something or nothing, never undefined arithmetic.
  for (int height : {INT32_MIN, INT32_MAX, -1}) {
    FontSpec extreme = em;
    extreme.height = height;
    extreme.width = INT32_MIN;
    Play(CreateFont(extreme) + TextOutW(20, 20, u"H"));
  }
}

// A size FreeType refuses fails the page by name and leaves the face as it was: text in that
// face at a usual size, on a later page, is drawn.
TEST(Text, AFontTooLargeToDrawFailsThePageAndSparesTheFace) {
  FontSpec huge;
  huge.face = "Times New Roman";
  huge.height = -100000;
  const std::string page = EmfPage(CreateFont(huge) + TextOutW(20, 20, u"H"), 5292, 5292);
  const auto file = emf::Metafile::Parse(
      std::span(reinterpret_cast<const uint8_t*>(page.data()), page.size()), nullptr);
  ASSERT_TRUE(file.has_value());
  std::vector<uint32_t> pixels(200 * 200, kWhite);
  emf::Canvas canvas(pixels.data(), 200, 200, 200 * 4);
  emf::PlayMetafile(*file, canvas, emf::RectL{0, 0, 200, 200});
  EXPECT_NE(canvas.Failure().find("larger than text is drawn"), std::string::npos)
      << canvas.Failure();

  FontSpec usual = huge;
  usual.height = -60;
  const std::vector<int> ink = Play(CreateFont(usual) + TextOutW(20, 20, u"H")).Ink();
  EXPECT_NEAR(ink[3] - ink[1], 40, 2);
}

// A long run of large glyphs mostly off the page draws what its glyphs that reach the page
// draw, among them one whose origin is 300 pixels left of the page.
TEST(Text, LargeGlyphsOffThePageLeaveTheInkOfThoseThatReachIt) {
  FontSpec large;
  large.face = "Arial";
  large.height = -600;
  const std::string font = CreateFont(large) + Align(kTaBaseline);
  const std::vector<int> every(40, 150);
  const Page long_run = Play(font + TextOutW(-5850, 300, std::u16string(40, u'H'), 0, every));
  const Page last_two =
      Play(font + TextOutW(-5850, 300, std::u16string(38, u' ') + u"HH", 0, every));
  EXPECT_NE(last_two.Ink()[0], -1);
  EXPECT_LT(last_two.Ink()[0], 100);
  EXPECT_EQ(long_run.Ink(), last_two.Ink());
  EXPECT_EQ(long_run.InkStarts(100), last_two.InkStarts(100));
}

TEST(Text, UnknownFaceFallsBackOnThePitchAndFamilyItAsksFor) {
  const auto width = [](const FontSpec& f, const std::u16string& text) {
    const std::vector<int> ink = Play(CreateFont(f) + TextOutW(10, 50, text)).Ink();
    return ink[2] - ink[0];
  };
  FontSpec modern;
  modern.height = -20;
  modern.face = "No Such Face Anywhere";
  modern.pitch_and_family = 0x31;  // FF_MODERN | FIXED_PITCH
  FontSpec swiss = modern;
  swiss.pitch_and_family = 0x22;  // FF_SWISS | VARIABLE_PITCH
  // A monospaced face gives 'i' and 'm' the same advance; a proportional one does not.
  EXPECT_NEAR(width(modern, u"iiiiiiiiii"), width(modern, u"mmmmmmmmmm"), 12);
  EXPECT_LT(width(swiss, u"iiiiiiiiii") * 2, width(swiss, u"mmmmmmmmmm"));
}

TEST(Text, CharactersTheFaceLacksComeFromAFaceThatHasThem) {
  // Arial's substitute has no umbrella; DejaVu Sans, installed with the system, has one.
  emf::Font arial;
  arial.face = "Arial";
  if (emf::FallbackTypefaceFor(arial, 0x2602) == nullptr) {
    GTEST_SKIP() << "no installed face has U+2602";
  }
  const std::string font = CreateFont({});
  const Page umbrella = Play(font + TextOutW(50, 50, u"\u2602"));
  const Page missing = Play(font + TextOutW(50, 50, u"\U0010FFFD"));  // nobody's character
  EXPECT_NE(umbrella.Ink()[0], -1);
  EXPECT_NE(umbrella.pixels, missing.pixels);
  // A surrogate pair is one glyph but two entries of the spacing array.
  const Page spaced = Play(font + TextOutW(20, 50, u"H\U0010FFFDH", 0, {40, 20, 20, 40}));
  const std::vector<int> starts = spaced.InkStarts(70);
  ASSERT_GE(starts.size(), 2u);
  EXPECT_EQ(starts.back() - starts.front(), 80);
}

TEST(Text, UnderlineAndStrikeOutLieWhereTheFacePutsThem) {
  // GDI's bands: the face's position and thickness in whole pixels at the em (40 here), the
  // band reaching half its thickness above the position.
  emf::Font arial;
  arial.face = "Arial";
  const emf::Typeface& face = emf::TypefaceFor(arial);
  const auto rows_of = [](double position, double size) {
    const int thickness = std::max(1, static_cast<int>(std::lround(size * 40)));
    const int top = 100 - (static_cast<int>(std::lround(position * 40)) + thickness / 2);
    std::vector<int> rows;
    for (int y = top; y < top + thickness; ++y) {
      rows.push_back(y);
    }
    return rows;
  };
  const auto gap_ink = [](const FontSpec& f) {
    const Page page = Play(CreateFont(f) + Align(kTaBaseline) + TextOutW(20, 100, u"H H"));
    std::vector<int> rows;
    for (int y = 70; y < 120; ++y) {
      if (page.At(52, y) != kWhite) {  // past the first 'H', in the space
        rows.push_back(y);
      }
    }
    return rows;
  };
  FontSpec plain;
  FontSpec underlined;
  underlined.underline = true;
  FontSpec struck;
  struck.strike_out = true;
  EXPECT_TRUE(gap_ink(plain).empty());
  EXPECT_EQ(gap_ink(underlined), rows_of(face.underline_position, face.underline_size));
  EXPECT_EQ(gap_ink(struck), rows_of(face.strikeout_position, face.strikeout_size));
}

TEST(Text, EightBitTextIsInTheCodePageOfTheFontsCharset) {
  struct Case {
    uint8_t charset;
    std::string bytes;
    std::u16string text;
  };
  const Case cases[] = {
      {204, "\xCF\xF0\xE8\xE2\xE5\xF2", u"\u041F\u0440\u0438\u0432\u0435\u0442"},  // Cyrillic
      {161, "\xC1\xE8\xE2", u"\u0391\u03B8\u03B2"},                                // Greek
      {238, "\x8A\xE8", u"\u0160\u010D"},                                          // Central Europe
      {0, "\x80\xE9", u"\u20AC\u00E9"},                                            // Western
      {128, "A\x93\xFA\x96\x7B", u"A\u65E5\u672C"},  // Shift-JIS: two bytes a character
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.charset));
    FontSpec font;
    font.charset = c.charset;
    const Page narrow = Play(CreateFont(font) + TextOutA(20, 50, c.bytes));
    const Page wide = Play(CreateFont(font) + TextOutW(20, 50, c.text));
    EXPECT_NE(wide.Ink()[0], -1);
    EXPECT_EQ(narrow.pixels, wide.pixels);
  }
}

TEST(Text, GlyphIndicesDrawTheGlyphsTheyName) {
  // In Arial's order, and its metric-compatible substitute's, 'H' is glyph 43.
  const std::string font = CreateFont({});
  const Page by_code = Play(font + TextOutW(50, 50, u"H"));
  const Page by_index = Play(font + TextOutW(50, 50, std::u16string(1, 43), kEtoGlyphIndex));
  EXPECT_NE(by_code.Ink()[0], -1);
  EXPECT_EQ(by_code.pixels, by_index.pixels);
}

TEST(Text, OpaqueRectangleFillsAndClippedRectangleCuts) {
  const std::string setup = CreateFont({}) + EmfRecord(25, {0x0000FF});  // red background
  const Page opaque = Play(setup + TextOutW(50, 50, u"H", kEtoOpaque, {}, {10, 10, 190, 40}));
  EXPECT_EQ(opaque.At(15, 15), 0xFF0000u);
  EXPECT_EQ(opaque.At(15, 45), kWhite);
  // The clipping rectangle cuts glyphs and, in opaque background mode, the cells' fill.
  for (uint32_t mode : {1u, 2u}) {
    const Page clipped = Play(setup + EmfRecord(18, {mode}) +
                              TextOutW(50, 50, u"HH", kEtoClipped, {}, {0, 0, 70, 200}));
    const std::vector<int> ink = clipped.Ink();
    EXPECT_EQ(ink[2], 70);
    EXPECT_EQ(clipped.At(69, 55), mode == 2 ? 0xFF0000u : kWhite);
  }
}

TEST(Text, SmoothingFollowsQualityAndTheFacesGaspTable) {
  const auto greys = [](const FontSpec& f) {
    const Page page = Play(CreateFont(f) + TextOutW(10, 10, u"Wave"));
    int count = 0;
    for (uint32_t p : page.pixels) {
      count += (p & 0xFFFFFF) != kWhite && (p & 0xFFFFFF) != 0;
    }
    return count;
  };
  FontSpec small;  // 12 pixels: Arial's gasp table asks for plain pixels there
  small.height = -12;
  FontSpec large;  // 30 pixels: grey
  large.height = -30;
  FontSpec asked = small;
  asked.quality = 4;  // ANTIALIASED_QUALITY: only where the face's table allows it
  FontSpec never = large;
  never.quality = 3;  // NONANTIALIASED_QUALITY
  EXPECT_EQ(greys(small), 0);
  EXPECT_GT(greys(large), 0);
  EXPECT_EQ(greys(asked), 0);
  EXPECT_EQ(greys(never), 0);
}

}  // namespace

namespace {

// Smoothed text is mixed with the page in linear light (gamma 2.31): black on white and
// white on black each take only the reference renderer's 17 levels, which a plain mix of
// the grey levels would not (level 8 of 16 is 189 on white, not 128, and 104 on black).
TEST(Text, SmoothedTextIsMixedInLinearLight) {
  const auto levels = [](bool white_text) {
    std::set<int> seen;
    FontSpec font;
    font.height = -30;
    std::string records = CreateFont(font) + EmfRecord(18, {1});  // transparent background
    if (white_text) {
      records += EmfRecord(39, {2, 0, 0, 0}) + EmfRecord(37, {2}) +
                 EmfRecord(43, {0, 0, 200, 200}) +
                 EmfRecord(24, {0xFFFFFF});  // a black page, white text
    }
    const Page page = Play(records + TextOutW(10, 10, u"Wave"));
    for (uint32_t p : page.pixels) {
      seen.insert(static_cast<int>(p & 0xFF));
    }
    return seen;
  };
  // The reference renderer's levels k of 16, black text on white; white text on black takes
  // the same ones the other way round. Ours are within one of them.
  const std::set<int> reference = {0,   77,  104, 124, 140, 154, 167, 178, 189,
                                   199, 208, 217, 225, 233, 240, 248, 255};
  const auto near_reference = [&](const std::set<int>& seen) {
    return std::all_of(seen.begin(), seen.end(), [&](int v) {
      return reference.count(v) + reference.count(v - 1) + reference.count(v + 1) > 0;
    });
  };
  for (bool white_text : {false, true}) {
    const std::set<int> seen = levels(white_text);
    EXPECT_TRUE(near_reference(seen)) << ::testing::PrintToString(seen);
    EXPECT_GT(seen.size(), 10u) << white_text;
    EXPECT_EQ(seen.count(128), 0u) << "a plain mix";
  }
}

// Without a spacing array each glyph advances by its width hinted at the size, whole pixels:
// the stems of a row of l's stand at equal steps, where unhinted widths (4.6 pixels for
// Carlito's l at 20 pixels) would step unevenly.
TEST(Text, GlyphsWithoutSpacingAdvanceByWholeHintedWidths) {
  for (const char* face : {"Calibri", "Arial", "Verdana"}) {
    FontSpec font;
    font.height = -20;
    font.face = face;
    const Page page =
        Play(CreateFont(font) + Align(kTaBaseline) + TextOutW(10, 100, u"llllllllll"));
    const std::vector<int> starts = page.InkStarts(95);
    ASSERT_EQ(starts.size(), 10u) << face;
    for (size_t i = 2; i < starts.size(); ++i) {
      EXPECT_EQ(starts[i] - starts[i - 1], starts[1] - starts[0]) << face << " at " << i;
    }
  }
}

// Text the face's gasp table draws in plain pixels is hinted for plain pixels, and so are its
// advances, as the reference renderer draws it (tests/gdi-pages, text-plain-pixels): Arial's
// "TxTx..." ends where the reference's does at 16, 13 and 12 pixels (the smoothed hinting's
// steps would carry it 15, 8 and 7 pixels further), spaces included; bold at 16 pixels, which
// the face smooths, keeps the smoothed steps.
TEST(Text, PlainPixelTextAdvancesByItsPlainPixelHinting) {
  struct Case {
    int height;
    int weight;
    const char16_t* text;
    int right;  // the reference's last inked column, plus one
  };
  const Case cases[] = {{-16, 400, u"TxTxTxTxTxTxTxTx", 132},
                        {-13, 400, u"TxTxTxTxTxTxTxTx", 115},
                        {-12, 400, u"TxTxTxTxTxTxTxTx", 100},
                        {-16, 700, u"TxTxTxTxTxTxTxTx", 156},
                        {-16, 400, u"Tx Tx Tx Tx Tx Tx", 120}};
  for (const Case& c : cases) {
    FontSpec font;
    font.height = c.height;
    font.weight = c.weight;
    const Page page = Play(CreateFont(font) + Align(kTaBaseline) + TextOutW(4, 20, c.text));
    EXPECT_EQ(page.Ink()[2], c.right) << c.height << " " << c.weight;
  }
}

// Bold and italic asked of a face that has neither (MS Gothic's substitute) are made as GDI
// makes them, and full-width characters advance by twice the half width, as the reference
// renderer draws tests/gdi-pages' text-simulated-styles: ten l's end (last inked column plus
// one) and stand as high as there, and four full-width characters start 14 pixels apart at
// 13 pixels (the face's own full width is 13).
TEST(Text, BoldAndItalicAreSimulatedWhereTheFaceHasNone) {
  struct Case {
    int height;
    int weight;
    bool italic;
    int right, ink_height;
  };
  const Case cases[] = {{-13, 400, false, 78, 9},   {-13, 700, false, 88, 9},
                        {-13, 400, true, 79, 9},    {-24, 400, false, 127, 17},
                        {-24, 700, false, 137, 18}, {-24, 400, true, 129, 17}};
  for (const Case& c : cases) {
    FontSpec font;
    font.face = "MS Gothic";
    font.charset = 128;
    font.height = c.height;
    font.weight = c.weight;
    font.italic = c.italic;
    // Ink darker than mid-grey, as measured on the reference.
    const Page page = Play(CreateFont(font) + TextOutW(10, 4, u"llllllllll"));
    int right = 0, top = page.side, bottom = 0;
    for (int y = 0; y < page.side; ++y) {
      for (int x = 0; x < page.side; ++x) {
        if ((page.At(x, y) & 0xFF) < 128) {
          right = std::max(right, x + 1);
          top = std::min(top, y);
          bottom = std::max(bottom, y + 1);
        }
      }
    }
    EXPECT_EQ(right, c.right) << c.height << " " << c.weight << " " << c.italic;
    EXPECT_EQ(bottom - top, c.ink_height) << c.height << " " << c.weight << " " << c.italic;
  }
  FontSpec full;
  full.face = "MS Gothic";
  full.charset = 128;
  full.height = -13;
  const Page page = Play(CreateFont(full) + TextOutW(10, 4, u"\u8a2d\u8a2d\u8a2d\u8a2d"));
  const std::vector<int> ink = page.Ink();
  std::vector<int> starts;
  for (int x = ink[0]; x < ink[2]; ++x) {
    bool column = false, before = false;
    for (int y = ink[1]; y < ink[3]; ++y) {
      column = column || page.At(x, y) != kWhite;
      before = before || (x > 0 && page.At(x - 1, y) != kWhite);
    }
    if (column && !before) {
      starts.push_back(x);
    }
  }
  EXPECT_EQ(starts, (std::vector<int>{11, 25, 39, 53}));
}

// GDI weighs an East Asian charset above the face's name: Arial asked for in SHIFTJIS has no
// kana or kanji, so the run is drawn in the face Windows keeps for the charset (MS Gothic's
// substitute), Latin letters and all, as the reference renderer draws it.
TEST(Text, AnEastAsianCharsetTheFaceLacksTakesTheCharsetsFace) {
  const auto draw = [](const char* face, uint8_t charset) {
    FontSpec font;
    font.face = face;
    font.charset = charset;
    font.height = -13;
    return Play(CreateFont(font) + TextOutW(10, 10, u"\u8a2d\u7f6e Aa")).pixels;
  };
  EXPECT_EQ(draw("Arial", 128), draw("MS Gothic", 128));
  EXPECT_NE(draw("Arial", 0), draw("MS Gothic", 128));
}

// Text that no clip cuts is written straight into the page; text that a clip may cut goes
// through cairo. Cut by a clip region or by its own clipping rectangle, a run is the uncut run
// inside the clip and leaves the page alone outside it, smoothed or plain, over white and over
// colour; and the run's clipping rectangle ends with it.
TEST(Text, ClippedTextIsTheWholeTextCut) {
  // The left half of the page red, the right half white.
  const std::string red_half = EmfRecord(39, {2, 0, 0x0000FF, 0}) + EmfRecord(37, {2}) +
                               EmfRecord(37, {0x80000008}) + EmfRecord(43, {0, 0, 60, 200});
  for (int height : {-30, -12}) {
    SCOPED_TRACE(height == -30 ? "smoothed" : "plain");
    FontSpec font;
    font.height = height;
    const std::string setup = red_half + CreateFont(font) + EmfRecord(18, {1});
    const std::u16string text = u"Wave in the clip";
    const Page whole = Play(setup + TextOutW(20, 20, text));
    const Page background = Play(setup);
    ASSERT_NE(whole.pixels, background.pixels);
    const Page by_region = Play(setup + EmfRecord(30, {0, 0, 80, 200}) + TextOutW(20, 20, text));
    const Page by_rectangle =
        Play(setup + TextOutW(20, 20, text, kEtoClipped, {}, {0, 0, 80, 200}));
    for (const Page* cut : {&by_region, &by_rectangle}) {
      int differing = 0;
      for (int y = 0; y < whole.side; ++y) {
        for (int x = 0; x < whole.side; ++x) {
          const uint32_t expected = x < 80 ? whole.At(x, y) : background.At(x, y);
          differing += cut->At(x, y) != expected;
        }
      }
      EXPECT_EQ(differing, 0) << (cut == &by_region ? "a clip region" : "a clipping rectangle");
    }
  }
  // A wide line after a run with a clipping rectangle is not cut by it.
  const Page line =
      Play(CreateFont({}) + TextOutW(20, 20, u"Wave", kEtoClipped, {}, {0, 0, 30, 40}) +
           EmfRecord(38, {3, 0, 5, 0, 0}) + EmfRecord(37, {3}) + EmfRecord(27, {0, 150}) +
           EmfRecord(54, {190, 150}));
  EXPECT_EQ(line.At(100, 150), 0u);
}

// A missing font never passes silently: each substitution of note is said once.
TEST(Text, MissingFacesAndCharactersAreSaidOnce) {
  // Faces and a character no other test asks for: each is said once a process.
  emf::TakeFontNotices();
  emf::Font font{-20, 0, 0, 0, 400, false, false, false, 0, 0, 0, "Marlett"};
  emf::TypefaceFor(font);
  font.face = "Nowhere Installed Sans";
  emf::TypefaceFor(font);
  emf::TypefaceFor(font);  // asked again: not said again
  font.face = "Arial";
  emf::TypefaceFor(font);  // drawn with its usual substitute: nothing to say
  EXPECT_EQ(emf::FallbackTypefaceFor(font, 0x10FFFC), nullptr);
  const std::vector<std::string> notices = emf::TakeFontNotices();
  ASSERT_EQ(notices.size(), 3u);
  EXPECT_NE(notices[0].find("the symbol face 'Marlett' is not installed"), std::string::npos)
      << notices[0];
  EXPECT_NE(notices[1].find("the face 'Nowhere Installed Sans' is not installed; it is drawn with"),
            std::string::npos)
      << notices[1];
  EXPECT_EQ(notices[2], "no installed face has the character U+10FFFC (asked of 'Arial')");
  EXPECT_TRUE(emf::TakeFontNotices().empty());
}

// The reference renderer draws with the same substitutes as the engine: its face file and
// the table hold the same pairs in the same order.
// A size that scales to a hair under a whole pixel is realised at the whole size below, and
// the run advances by that size's widths, as GDI's does (a 64-unit title at 0.99980 pixels a
// unit is 63 pixels, in glyphs and in width).
TEST(Text, AdvancesAreTheWholePixelSizes) {
  emf::TextRun run;
  run.valid = true;
  for (char16_t c : std::u16string(u"Metafile Companion Test Chart")) {
    run.codes.push_back(c);
  }
  const auto advance = [&run](int height, double scale) {
    emf::Font font;
    font.height = height;
    font.weight = 700;
    font.face = "Arial";
    emf::Transform t;
    t.m11 = t.m22 = scale;
    const emf::TextMeasure measure = emf::MeasureText(run, &font, t, 0);
    EXPECT_TRUE(measure.valid);
    return measure.advance.x;
  };
  EXPECT_EQ(advance(-64, 63.987 / 64), advance(-63, 1));
  EXPECT_LT(advance(-63, 1), advance(-64, 1));
}

TEST(Faces, TheReferenceRenderersFaceFileIsTheTable) {
  std::ifstream file(QUADRINE_SOURCE_DIR "/tests/corpus/reference-faces.txt");
  ASSERT_TRUE(file.good());
  std::vector<std::pair<std::string, std::string>> listed;
  for (std::string line; std::getline(file, line);) {
    if (line.empty() || line[0] == '#') {
      continue;
    }
    const size_t equals = line.find('=');
    ASSERT_NE(equals, std::string::npos) << line;
    listed.emplace_back(line.substr(0, equals), line.substr(equals + 1));
  }
  std::vector<std::pair<std::string, std::string>> table;
  for (const emf::FaceSubstitute& pair : emf::FaceSubstitutes()) {
    table.emplace_back(pair.windows, pair.drawn_with);
  }
  EXPECT_EQ(listed, table);
}

// Every substitute is installed: asked for by its Windows name, in English or in its own
// script, each face is drawn with its substitute and says nothing, but for Wingdings and
// Webdings, whose substitute has few of their characters (the rest are its empty boxes).
TEST(Faces, EverySubstituteIsInstalledAndTheNamesOfEachScriptFindIt) {
  const struct {
    const char* face;
    const char* family;
  } named[] = {
      {"MS Gothic", "IPAGothic"},
      {"\xEF\xBC\xAD\xEF\xBC\xB3 \xE3\x82\xB4\xE3\x82\xB7\xE3\x83\x83\xE3\x82\xAF", "IPAGothic"},
      {"meiryo", "IPAPGothic"},
      {"\xE5\xAE\x8B\xE4\xBD\x93", "WenQuanYi Zen Hei Mono"},  // SimSun
      {"Microsoft YaHei", "WenQuanYi Zen Hei"},
      {"\xEB\xA7\x91\xEC\x9D\x80 \xEA\xB3\xA0\xEB\x94\x95", "NanumGothic"},  // Malgun Gothic
      {"Batang", "NanumMyeongjo"},
      {"ARIAL CYR", "Liberation Sans"},
      {"Symbol", "Standard Symbols PS"},
  };
  for (const auto& [face, family] : named) {
    EXPECT_EQ(emf::SubstituteFamily(face), family) << face;
  }
  emf::TakeFontNotices();
  for (const emf::FaceSubstitute& pair : emf::FaceSubstitutes()) {
    emf::Font font;
    font.face = std::string(pair.windows);
    emf::TypefaceFor(font);
  }
  for (const std::string& notice : emf::TakeFontNotices()) {
    EXPECT_EQ(notice.rfind("the symbol face 'W", 0), 0u) << notice;
    EXPECT_NE(notice.find("is not installed; it is drawn with 'OpenSymbol': "), std::string::npos)
        << notice;
  }
}

// Symbol's codes draw the signs they stand for, whether written as bytes or in the private
// use area; Wingdings' usual bullets and checks too; other faces' codes are left alone.
TEST(Faces, SymbolFacesDrawTheSignsTheirCodesStandFor) {
  EXPECT_EQ(emf::SymbolCharacter("Symbol", 'a'), 0x03B1u);
  EXPECT_EQ(emf::SymbolCharacter("SYMBOL", 0xF070), 0x03C0u);
  EXPECT_EQ(emf::SymbolCharacter("Symbol", 0xB3), 0x2265u);
  EXPECT_EQ(emf::SymbolCharacter("Symbol", 0x7F), 0x7Fu);  // no character: as it is
  EXPECT_EQ(emf::SymbolCharacter("Wingdings", 0xFC), 0x2714u);
  EXPECT_EQ(emf::SymbolCharacter("Wingdings", 'A'), static_cast<uint32_t>('A'));
  EXPECT_EQ(emf::SymbolCharacter("Arial", 'a'), static_cast<uint32_t>('a'));
  // Drawn: Symbol's "p" is the pi of its substitute, which holds its signs at Symbol's own
  // codes rather than at their Unicode values.
  FontSpec symbol;
  symbol.face = "Symbol";
  FontSpec substitute;
  substitute.face = "Standard Symbols PS";
  const Page recoded = Play(CreateFont(symbol) + TextOutW(50, 50, u"p"));
  const Page pi = Play(CreateFont(substitute) + TextOutW(50, 50, u"p"));
  EXPECT_NE(recoded.Ink()[0], -1);
  EXPECT_EQ(recoded.pixels, pi.pixels);
  // Wingdings' check mark is the heavy check of its substitute.
  FontSpec wingdings;
  wingdings.face = "Wingdings";
  FontSpec open_symbol;
  open_symbol.face = "OpenSymbol";
  const Page check = Play(CreateFont(wingdings) + TextOutW(50, 50, u"\u00FC"));
  const Page heavy = Play(CreateFont(open_symbol) + TextOutW(50, 50, u"\u2714"));
  EXPECT_NE(check.Ink()[0], -1);
  EXPECT_EQ(check.pixels, heavy.pixels);
}

// The notices of a page's fonts name where they come from.
TEST(Faces, NoticesNameTheirSource) {
  emf::TakeFontNotices();
  {
    const emf::FontNoticeSource source("letter.emf page 2");
    emf::Font font;
    font.face = "Nowhere Installed Serif";
    emf::TypefaceFor(font);
  }
  emf::Font font;
  font.face = "Nowhere Installed Mono";
  emf::TypefaceFor(font);
  const std::vector<std::string> notices = emf::TakeFontNotices();
  ASSERT_EQ(notices.size(), 2u);
  EXPECT_EQ(notices[0].rfind("letter.emf page 2: the face 'Nowhere Installed Serif'", 0), 0u)
      << notices[0];
  EXPECT_EQ(notices[1].rfind("the face 'Nowhere Installed Mono'", 0), 0u) << notices[1];
}

}  // namespace
