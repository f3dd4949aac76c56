// Pens on programmatic pages: widths as GDI takes them, styles, dashes and wide lines, held
// against the reference renderer's pixels of tests/gdi-pages.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "emf/player/pages_test.h"

namespace {

using namespace player_test_pages;
using testing_support::EmfPage;
using testing_support::EmfRecord;

TEST(Player, PensWidthsStylesAndNull) {
  // A geometric pen 11 units wide, flat ends.
  const std::string wide = EmfRecord(95, {2, 0, 0, 0, 0, 0x10200, 11, 0, 0, 0, 0}) + Select(2);
  const Rendered r = Play(wide + EmfRecord(27, {20, 100}) + EmfRecord(54, {180, 100}));
  EXPECT_EQ(r.At(100, 100), kBlack);
  EXPECT_EQ(r.At(100, 104), kBlack);
  EXPECT_EQ(r.At(100, 108), kWhite);
  EXPECT_EQ(r.At(15, 100), kWhite);  // flat end
  // A dashed cosmetic line has gaps; with a null pen nothing is drawn.
  const std::string dashed = EmfRecord(38, {2, 1, 0, 0, 0}) + Select(2) + EmfRecord(18, {1});
  const Rendered d = Play(dashed + EmfRecord(27, {0, 50}) + EmfRecord(54, {200, 50}));
  int ink = 0;
  for (int x = 0; x < 100; ++x) {
    ink += d.At(x, 50) == kBlack;
  }
  EXPECT_GT(ink, 30);
  EXPECT_LT(ink, 95);
  const Rendered none = Play(NullPen() + EmfRecord(27, {0, 50}) + EmfRecord(54, {200, 50}));
  EXPECT_EQ(none.At(100, 50), kWhite);
}

TEST(Player, WidePenUnderAPixelDrawsTheThinLine) {
  // Ten logical units to the pixel: a pen 4 units wide comes to 0.4 pixels, and GDI draws
  // it as its one-pixel Bresenham line, one pixel in each column of a shallow line.
  const std::string tenth =
      EmfRecord(17, {8}) + EmfRecord(9, {2000, 2000}) + EmfRecord(11, {200, 200});
  const std::string pen = EmfRecord(38, {2, 0, 4, 0, 0}) + Select(2);
  const Rendered r = Play(tenth + pen + EmfRecord(27, {100, 100}) + EmfRecord(54, {1900, 700}));
  for (int x = 10; x < 190; ++x) {
    int ink = 0;
    for (int y = 0; y < kSide; ++y) {
      ink += r.At(x, y) == kBlack;
    }
    ASSERT_EQ(ink, 1) << "column " << x;
  }
  EXPECT_EQ(r.At(10, 10), kBlack);
  EXPECT_EQ(r.At(190, 70), kWhite);  // the last pixel is left out
  // GDI rounds the ends to whole pixels before it draws: y = 10.6 is row 11.
  const Rendered level = Play(tenth + pen + EmfRecord(27, {100, 106}) + EmfRecord(54, {1900, 106}));
  EXPECT_EQ(level.At(100, 11), kBlack);
  EXPECT_EQ(level.At(100, 10), kWhite);
}

// Where each run of inked pixels down column x starts, and how long it is.
std::vector<std::pair<int, int>> InkRuns(const Rendered& r, int x) {
  std::vector<std::pair<int, int>> runs;
  for (int y = 0; y < kSide; ++y) {
    if (r.At(x, y) == kWhite) {
      continue;
    }
    if (runs.empty() || runs.back().first + runs.back().second != y) {
      runs.emplace_back(y, 0);
    }
    ++runs.back().second;
  }
  return runs;
}

std::string GeometricPen(int width) {
  return EmfRecord(95, {2, 0, 0, 0, 0, 0x10000, U(width), 0, 0, 0, 0});
}

std::string LevelLine(int y, int x0, int x1) {
  return EmfRecord(27, {U(x0), U(y)}) + EmfRecord(54, {U(x1), U(y)});
}

// Pens at 1.18 pixels a unit, each drawn as one level line, as the reference renderer drew
// tests/gdi-pages' pen-width-origin: the width is the distance between the rounded ends of
// the width's step along x, so the window's x origin decides it, when the pen is chosen (or
// chosen again by RestoreDC, or taken again under a new scale).
TEST(Player, PenWidthsTakenFromTheRoundedEndsWhenChosen) {
  struct Row {
    int ox, oy;
    std::string pen, after;
  };
  const std::string moved = EmfRecord(10, {3, 0});
  const Row rows[] = {
      {0, 0, GeometricPen(1), ""},
      {3, 0, GeometricPen(1), ""},
      {0, 3, GeometricPen(1), ""},
      {3, 0, GeometricPen(2), ""},
      {3, 0, EmfRecord(38, {2, 0, 1, 0, 0}), ""},                    // CreatePen
      {3, 0, EmfRecord(38, {2, 0, 0, 0, 0}), ""},                    // width 0
      {3, 0, EmfRecord(95, {2, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0}), ""},  // cosmetic
      {0, 0, GeometricPen(1), moved},                                // kept
      {0, 0, GeometricPen(1), moved + EmfRecord(33, {}) + EmfRecord(34, {U(-1)})},
      {0, 0, GeometricPen(1), moved + EmfRecord(9, {200, 200}) + EmfRecord(11, {236, 236})},
  };
  const std::string scale = EmfRecord(9, {100, 100}) + EmfRecord(11, {118, 118});
  std::string page = EmfRecord(17, {8}) + scale;
  int i = 0;
  for (const Row& row : rows) {
    const int ox = row.after.empty() ? row.ox : 3;
    page += EmfRecord(10, {U(row.ox), U(row.oy)}) + row.pen + Select(2) + row.after +
            LevelLine(10 + 10 * i + row.oy, 10 + ox, 150 + ox) + Select(0x80000007) +
            EmfRecord(40, {2}) + EmfRecord(10, {0, 0}) + scale;
    ++i;
  }
  const std::vector<std::pair<int, int>> expected = {{12, 1}, {23, 2}, {35, 1}, {46, 3},  {58, 2},
                                                     {71, 1}, {83, 1}, {94, 1}, {105, 2}, {117, 2}};
  EXPECT_EQ(InkRuns(Play(page), 80), expected);
}

// The ink's box within [x0, x1) x [y0, y1): left, top, right, bottom, all inclusive.
std::array<int, 4> InkBox(const Rendered& r, int x0, int y0, int x1, int y1) {
  std::array<int, 4> box{kSide, kSide, -1, -1};
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x) {
      if (r.At(x, y) == kBlack) {
        box = {std::min(box[0], x), std::min(box[1], y), std::max(box[2], x), std::max(box[3], y)};
      }
    }
  }
  return box;
}

// tests/gdi-pages' pen-odd-width: an odd pen is centred on its points' pixels, an even one
// covers w / 2 before them, and a flat end stops before the last point's pixel.
TEST(Player, WidePensSitOnTheirPointsPixelsAsTheReferenceDraws) {
  struct Row {
    int width;
    std::array<int, 4> level, upright, box;
  };
  const Row rows[] = {{3, {10, 19, 69, 21}, {9, 30, 11, 89}, {29, 39, 71, 81}},
                      {5, {10, 18, 69, 22}, {8, 30, 12, 89}, {28, 38, 72, 82}},
                      {4, {10, 18, 69, 21}, {8, 30, 11, 89}, {28, 38, 71, 81}}};
  for (const Row& row : rows) {
    const std::string page =
        EmfRecord(95, {2, 0, 0, 0, 0, 0x10200, U(row.width), 0, 0, 0, 0}) + Select(2) +
        LevelLine(20, 10, 70) + LevelLine(30, 10, 10).substr(0, 16) + EmfRecord(54, {10, 90}) +
        EmfRecord(38, {3, 0, U(row.width), 0, 0}) + Select(3) + Rect(30, 40, 70, 80);
    const Rendered r = Play(page);
    SCOPED_TRACE(row.width);
    EXPECT_EQ(InkBox(r, 0, 10, 100, 25), row.level);
    EXPECT_EQ(InkBox(r, 0, 28, 20, 95), row.upright);
    EXPECT_EQ(InkBox(r, 25, 35, 80, 90), row.box);
  }
}

// tests/gdi-pages' pen-inside-frame: an inside-frame pen's ellipse and round rectangle
// reach the box's own edge pixels and no further, at odd and even widths; its rectangle is
// drawn where a solid pen's is, as the reference renderer draws it.
TEST(Player, InsideFramePensDrawWithinTheBox) {
  struct Row {
    std::string pen;
    std::array<int, 4> rectangle, ellipse, round;
  };
  const Row rows[] = {
      {EmfRecord(38, {2, 6, 10, 0, 0}), {5, 5, 74, 64}, {80, 10, 139, 59}, {150, 10, 209, 59}},
      {EmfRecord(38, {2, 6, 5, 0, 0}), {8, 8, 72, 62}, {80, 10, 139, 59}, {150, 10, 209, 59}},
      {EmfRecord(95, {2, 0, 0, 0, 0, 0x10006, 9, 0, 0, 0, 0}),
       {6, 6, 74, 64},
       {80, 10, 139, 59},
       {150, 10, 209, 59}},
  };
  for (const Row& row : rows) {
    const std::string page = Fill(0xC0C0C0) + row.pen + Select(2) + Rect(10, 10, 70, 60) +
                             EmfRecord(42, {80, 10, 140, 60}) +
                             EmfRecord(44, {150, 10, 210, 60, 20, 20});
    const Rendered r = Play(page);
    SCOPED_TRACE(testing::PrintToString(row.ellipse));
    EXPECT_EQ(InkBox(r, 0, 0, 76, 70), row.rectangle);
    EXPECT_EQ(InkBox(r, 76, 0, 146, 70), row.ellipse);
    // The round rectangle runs past the 200-pixel test page's edge: its left and height.
    const std::array<int, 4> round = InkBox(r, 146, 0, kSide, 70);
    EXPECT_EQ(round[0], row.round[0]);
    EXPECT_EQ(round[1], row.round[1]);
    EXPECT_EQ(round[3], row.round[3]);
  }
}

// Pens under world transforms, as the reference renderer drew tests/gdi-pages'
// pen-width-turned: a turned width loses its fraction (4 units turned by 30 degrees are 3
// pixels), x decides under unequal scales, a new scale takes the width again, and CreatePen's
// dashed pen draws solid where it comes to more than a pixel and dashed where it does not.
TEST(Player, PenWidthsUnderWorldTransforms) {
  struct Row {
    const char* name;
    double m11, m12, m21, m22;
    std::string pen;
    int width;  // pixels down column 80; 0: a gap of the dashes there
  };
  const double c = std::cos(std::acos(-1.0) / 6), s = 0.5;
  const Row rows[] = {
      {"unturned", 1, 0, 0, 1, GeometricPen(4), 4},
      {"turned by 30 degrees", c, s, -s, c, GeometricPen(4), 3},
      {"turned by 90 degrees", 0, 1, -1, 0, GeometricPen(4), 4},
      {"x times 3", 3, 0, 0, 1, GeometricPen(4), 12},
      {"y times 3", 1, 0, 0, 3, GeometricPen(4), 4},
      {"scaled after it is chosen", 3, 0, 0, 3, GeometricPen(2), 6},
      {"dashed, 3 pixels", 3, 0, 0, 3, EmfRecord(38, {2, 1, 1, 0, 0}), 3},
      {"dashed, under a pixel", 0.25, 0, 0, 0.25, EmfRecord(38, {2, 1, 4, 0, 0}), 0},
  };
  for (const Row& row : rows) {
    const std::string world =
        EmfRecord(35, {F(static_cast<float>(row.m11)), F(static_cast<float>(row.m12)),
                       F(static_cast<float>(row.m21)), F(static_cast<float>(row.m22)), 0, 0});
    const bool later = std::string(row.name) == "scaled after it is chosen";
    const double det = row.m11 * row.m22 - row.m12 * row.m21;
    auto logical = [&](double x, double y) {
      return std::pair<int, int>{static_cast<int>(std::lround((x * row.m22 - y * row.m21) / det)),
                                 static_cast<int>(std::lround((y * row.m11 - x * row.m12) / det))};
    };
    const auto [x0, y0] = logical(10, 100);
    const auto [x1, y1] = logical(150, 100);
    const std::string page = EmfRecord(16, {2}) +
                             (later ? row.pen + Select(2) + world : world + row.pen + Select(2)) +
                             EmfRecord(27, {U(x0), U(y0)}) + EmfRecord(54, {U(x1), U(y1)});
    const Rendered r = Play(page);
    const auto runs = InkRuns(r, 80);
    if (row.width == 0) {
      EXPECT_TRUE(runs.empty()) << row.name;
      int ink = 0;
      for (int x = 10; x < 150; ++x) {
        ink += r.At(x, 100) != kWhite;
      }
      EXPECT_GT(ink, 50) << row.name;
      EXPECT_LT(ink, 120) << row.name;
      EXPECT_EQ(InkRuns(r, 20), (std::vector<std::pair<int, int>>{{100, 1}})) << row.name;
    } else {
      ASSERT_EQ(runs.size(), 1u) << row.name;
      EXPECT_EQ(runs[0].second, row.width) << row.name;
    }
  }
}

// A geometric pen's own dash lengths are device pixels at any mapping (settled through the
// reference renderer): a 20-on, 24-off style stays 20 and 24 pixels under a 1/3 scale.
TEST(Player, UserStyleDashesAreDevicePixelsAtAnyScale) {
  const std::string page = EmfRecord(17, {8}) + EmfRecord(9, {600, 600}) +
                           EmfRecord(11, {200, 200}) +
                           EmfRecord(95, {2, 0, 0, 0, 0, 0x12207, 6, 0, 0, 0, 2, 20, 24}) +
                           Select(2) + EmfRecord(27, {0, 150}) + EmfRecord(54, {600, 150});
  const Rendered r = Play(page);
  std::vector<int> runs;
  bool ink = r.At(0, 50) != kWhite;
  int length = 0;
  for (int x = 0; x < kSide; ++x) {
    if ((r.At(x, 50) != kWhite) == ink) {
      ++length;
    } else {
      runs.push_back(length);
      ink = !ink;
      length = 1;
    }
  }
  ASSERT_GE(runs.size(), 4u);
  EXPECT_EQ(runs[0], 20);  // dash
  EXPECT_EQ(runs[1], 24);  // gap
  EXPECT_EQ(runs[2], 20);
}

// Styled pens in OPAQUE mode over a red background colour, as the reference renderer drew
// tests/gdi-pages' pen-style-gaps: only CreatePen's dashed pen paints its gaps, and a cosmetic
// user style counts three pixels a unit. Runs are counted from a line's first ink.
TEST(Player, OnlyCreatePensFillTheirGapsAndCosmeticStylesCountThreePixels) {
  struct Case {
    const char* pen;
    std::string record;
    int dash, gap;
    uint32_t gap_colour;
  };
  const Case cases[] = {
      {"CreatePen PS_DASH", EmfRecord(38, {2, 1, 1, 0, 0}), 18, 6, kRed},
      {"cosmetic PS_DASH", EmfRecord(95, {2, 0, 0, 0, 0, 0x00001, 1, 0, 0, 0, 0}), 18, 6, kWhite},
      {"cosmetic user style", EmfRecord(95, {2, 0, 0, 0, 0, 0x00007, 1, 0, 0, 0, 2, 6, 6}), 18, 18,
       kWhite},
      {"geometric user style", EmfRecord(95, {2, 0, 0, 0, 0, 0x10007, 4, 0, 0, 0, 2, 12, 12}), 16,
       8, kWhite},
  };
  for (const Case& c : cases) {
    const Rendered r = Play(EmfRecord(18, {2}) + EmfRecord(25, {0x0000FF}) + c.record + Select(2) +
                            EmfRecord(27, {10, 50}) + EmfRecord(54, {190, 50}));
    int x = 0;
    while (x < kSide && r.At(x, 50) != kBlack) {
      ++x;
    }
    const int start = x;
    while (x < kSide && r.At(x, 50) == kBlack) {
      ++x;
    }
    EXPECT_EQ(x - start, c.dash) << c.pen;
    const int gap_start = x;
    while (x < kSide && r.At(x, 50) != kBlack) {
      EXPECT_EQ(r.At(x, 50), c.gap_colour) << c.pen << " at " << x;
      ++x;
    }
    EXPECT_EQ(x - gap_start, c.gap) << c.pen;
  }
}

// A geometric pen's dashes along a line of short slanted segments, as the reference renderer
// drew them (pen-dashed-segments in tests/gdi-pages): each segment moves the style on by its
// whole pixels only, so dashes and gaps reach further than along the same line in one piece.
TEST(Player, GeometricDashesAlongSlantedSegmentsAsTheReferenceDraws) {
  struct Case {
    const char* name;
    int step;                   // each segment goes step right and step / 2 down
    std::vector<int> ink, gap;  // x of pixels on the line that are inked, that are not
  };
  const Case cases[] = {
      {"one segment", 80, {12, 24, 51, 64}, {29, 46, 69, 85}},
      {"segments of 2.24 pixels", 2, {12, 26, 55, 70}, {31, 50, 75, 94}},
      {"segments of 4.47 pixels", 4, {12, 26, 55, 70}, {31, 50, 75, 94}},
  };
  for (const Case& c : cases) {
    std::vector<uint32_t> words = {10, 10, 90, 50, static_cast<uint32_t>(80 / c.step)};
    for (int x = 10 + c.step; x <= 90; x += c.step) {
      words.push_back(static_cast<uint32_t>(x));
      words.push_back(static_cast<uint32_t>(10 + (x - 10) / 2));
    }
    std::string poly_line_to = EmfRecord(6, {});
    for (uint32_t w : words) {
      poly_line_to.append(reinterpret_cast<const char*>(&w), 4);
    }
    const uint32_t size = static_cast<uint32_t>(poly_line_to.size());
    std::memcpy(poly_line_to.data() + 4, &size, 4);
    const Rendered r = Play(EmfRecord(95, {2, 0, 0, 0, 0, 0x12207, 3, 0, 0, 0, 2, 20, 24}) +
                            Select(2) + EmfRecord(59, {}) + EmfRecord(27, {10, 10}) + poly_line_to +
                            EmfRecord(60, {}) + EmfRecord(64, {0, 0, U(-1), U(-1)}));
    auto on_line = [&](int x) { return r.At(x, 10 + (x - 10) / 2); };
    for (size_t i = 0; i < c.ink.size(); i += 2) {
      for (int x = c.ink[i]; x <= c.ink[i + 1]; ++x) {
        EXPECT_NE(on_line(x), kWhite) << c.name << " x " << x;
      }
      for (int x = c.gap[i]; x <= c.gap[i + 1]; ++x) {
        EXPECT_EQ(on_line(x), kWhite) << c.name << " x " << x;
      }
    }
  }
}

// A geometric pen strokes with its hatch (HS_HORIZONTAL on a transparent background), and is
// widened to whole device pixels: 20 units at 0.08 pixel a unit draw two pixels, not 1.6 (settled
// on tests/gdi-pages' pen pages).
TEST(Player, GeometricPensStrokeWithTheirBrushInWholePixels) {
  const std::string hatched_pen =
      EmfRecord(95, {2, 0, 0, 0, 0, 0x10000 | 0x200, 20, 2, 0x0000FF, 0, 0}) + Select(2);
  const Rendered hatched =
      Play(EmfRecord(18, {1}) + hatched_pen + EmfRecord(27, {20, 50}) + EmfRecord(54, {180, 50}));
  int red = 0;
  for (int y = 40; y < 60; ++y) {
    red += hatched.At(100, y) == kRed;
  }
  EXPECT_GE(red, 2);  // the hatch's lines, eight pixels apart, and the page between them
  EXPECT_LE(red, 3);
  const Rendered thin =
      Play(EmfRecord(17, {8}) + EmfRecord(9, {1250, 1250}) + EmfRecord(11, {100, 100}) +
           EmfRecord(95, {2, 0, 0, 0, 0, 0x10000 | 0x200, 20, 0, 0, 0, 0}) + Select(2) +
           EmfRecord(27, {0, 1250}) + EmfRecord(54, {2500, 1250}));
  int inked = 0;
  for (int y = 90; y < 110; ++y) {
    inked += thin.At(100, y) != kWhite;
  }
  EXPECT_EQ(inked, 2);
}

}  // namespace
