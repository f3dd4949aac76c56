// Programmatic pages for each record family, checked at chosen pixels.
#include "emf/player/player.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "support/spool_builder.h"

namespace {

using testing_support::EmfPage;
using testing_support::EmfRecord;

constexpr int kSide = 200;
constexpr uint32_t kWhite = 0xFFFFFF, kBlack = 0x000000, kRed = 0xFF0000, kBlue = 0x0000FF;

// 200 x 200 pixels where one logical unit of MM_TEXT is one pixel.
struct Rendered {
  std::vector<uint32_t> pixels = std::vector<uint32_t>(kSide * kSide, kWhite);
  emf::PlayStats stats;
  uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * kSide + x] & 0xFFFFFF; }
};

Rendered Play(const std::string& records) {
  const std::string page = EmfPage(records, 5292, 5292);
  Rendered out;
  const auto file = emf::Metafile::Parse(
      std::span(reinterpret_cast<const uint8_t*>(page.data()), page.size()), nullptr);
  EXPECT_TRUE(file.has_value());
  if (file) {
    emf::Canvas canvas(out.pixels.data(), kSide, kSide, kSide * 4);
    out.stats = emf::PlayMetafile(*file, canvas, emf::RectL{0, 0, kSide, kSide});
  }
  return out;
}

uint32_t U(int v) {
  return static_cast<uint32_t>(v);
}
uint32_t F(float v) {
  uint32_t bits;
  std::memcpy(&bits, &v, 4);
  return bits;
}
std::string Solid(uint32_t index, uint32_t colorref) {
  return EmfRecord(39, {index, 0, colorref, 0});
}
std::string Select(uint32_t index) {
  return EmfRecord(37, {index});
}
std::string NullPen() {
  return Select(0x80000008);
}
std::string Rect(int l, int t, int r, int b) {
  return EmfRecord(43, {U(l), U(t), U(r), U(b)});
}
std::string Fill(uint32_t colorref) {
  return Solid(1, colorref) + Select(1);
}

// EMR_POLYGON16 with 16-bit points.
std::string Polygon16(std::initializer_list<std::pair<int, int>> points) {
  std::string r;
  testing_support::Append32(r, 86);
  testing_support::Append32(r, static_cast<uint32_t>(28 + 4 * points.size()));
  for (int i = 0; i < 4; ++i) {
    testing_support::Append32(r, 0);
  }
  testing_support::Append32(r, static_cast<uint32_t>(points.size()));
  for (auto [x, y] : points) {
    r += static_cast<char>(x & 0xFF);
    r += static_cast<char>((x >> 8) & 0xFF);
    r += static_cast<char>(y & 0xFF);
    r += static_cast<char>((y >> 8) & 0xFF);
  }
  return r;
}

// Playback draws a rectangle's outline through its four corners, the far edges included,
// as GDI's advanced graphics mode does; the fill alone stops short of them.
TEST(Player, RectangleOutlineCoversTheFarEdgesAndItsFillDoesNot) {
  const std::string red = Fill(0x0000FF);
  const Rendered outlined = Play(red + Select(0x80000007) + Rect(10, 10, 100, 100));
  EXPECT_EQ(outlined.At(10, 50), kBlack);
  EXPECT_EQ(outlined.At(100, 50), kBlack);
  EXPECT_EQ(outlined.At(50, 100), kBlack);
  EXPECT_EQ(outlined.At(99, 50), kRed);
  EXPECT_EQ(outlined.At(101, 50), kWhite);
  const Rendered filled = Play(red + NullPen() + Rect(10, 10, 100, 100));
  EXPECT_EQ(filled.At(99, 99), kRed);
  EXPECT_EQ(filled.At(100, 50), kWhite);
  EXPECT_EQ(filled.At(50, 100), kWhite);
}

TEST(Player, MappingModesAndTransforms) {
  struct Case {
    const char* name;
    std::string setup;
    int x, y;          // a pixel inside the drawn box
    int out_x, out_y;  // one outside it
  };
  const Case cases[] = {
      {"anisotropic doubles",
       EmfRecord(17, {8}) + EmfRecord(9, {100, 100}) + EmfRecord(11, {200, 200}), 50, 50, 15, 15},
      {"isotropic keeps the smaller scale",
       EmfRecord(17, {7}) + EmfRecord(9, {100, 100}) + EmfRecord(11, {200, 400}), 50, 50, 90, 90},
      {"window origin moves the page", EmfRecord(10, {U(-50), U(-50)}), 80, 80, 40, 40},
      {"world transform scales", EmfRecord(35, {F(2), F(0), F(0), F(2), F(0), F(0)}), 50, 50, 15,
       15},
      {"left-multiplied translation", EmfRecord(36, {F(1), F(0), F(0), F(1), F(100), F(0), 2}), 130,
       30, 30, 30},
  };
  for (const Case& c : cases) {
    const Rendered r = Play(c.setup + NullPen() + Fill(0x0000FF) + Rect(20, 20, 40, 40));
    EXPECT_EQ(r.At(c.x, c.y), kRed) << c.name;
    EXPECT_EQ(r.At(c.out_x, c.out_y), kWhite) << c.name;
  }
}

TEST(Player, FixedMappingModesPutYUp) {
  // MM_LOMETRIC: tenths of a millimetre, y growing upwards from the origin.
  const Rendered r =
      Play(EmfRecord(17, {2}) + NullPen() + Fill(0x0000FF) + Rect(100, -100, 300, -300));
  // 10 mm = 37.8 pixels; 30 mm = 113.4 pixels.
  EXPECT_EQ(r.At(75, 75), kRed);
  EXPECT_EQ(r.At(30, 30), kWhite);
  EXPECT_EQ(r.At(120, 120), kWhite);
}

TEST(Player, SaveAndRestoreBringBackTheState) {
  const Rendered r = Play(NullPen() + Fill(0x0000FF) + EmfRecord(33, {}) + Fill(0xFF0000) +
                          EmfRecord(35, {F(3), F(0), F(0), F(3), F(0), F(0)}) +
                          EmfRecord(34, {U(-1)}) + Rect(10, 10, 20, 20));
  EXPECT_EQ(r.At(15, 15), kRed);
  EXPECT_EQ(r.At(45, 45), kWhite);
}

TEST(Player, FillModesOfASelfCrossingStar) {
  const std::string star = Polygon16({{100, 10}, {160, 190}, {10, 70}, {190, 70}, {40, 190}});
  const Rendered alternate = Play(NullPen() + Fill(0) + star);
  const Rendered winding = Play(NullPen() + Fill(0) + EmfRecord(19, {2}) + star);
  EXPECT_EQ(alternate.At(100, 110), kWhite);  // the centre is crossed twice
  EXPECT_EQ(winding.At(100, 110), kBlack);
  EXPECT_EQ(alternate.At(100, 40), kBlack);
}

TEST(Player, PathsFillAndClip) {
  const std::string box_path = EmfRecord(59, {}) + Rect(50, 50, 150, 150) + EmfRecord(60, {});
  const Rendered filled = Play(Fill(0x0000FF) + box_path + EmfRecord(62, {0, 0, 0, 0}));
  EXPECT_EQ(filled.At(100, 100), kRed);
  EXPECT_EQ(filled.At(20, 20), kWhite);
  const Rendered clipped =
      Play(box_path + EmfRecord(67, {5}) + NullPen() + Fill(0x0000FF) + Rect(0, 0, 200, 200));
  EXPECT_EQ(clipped.At(100, 100), kRed);
  EXPECT_EQ(clipped.At(20, 20), kWhite);
  // An aborted path draws nothing and leaves nothing behind.
  const Rendered aborted = Play(EmfRecord(59, {}) + Rect(50, 50, 150, 150) + EmfRecord(68, {}) +
                                EmfRecord(62, {0, 0, 0, 0}));
  EXPECT_EQ(aborted.At(50, 50), kWhite);
}

TEST(Player, ClipRectanglesAndRegions) {
  const std::string fill_page = NullPen() + Fill(0x0000FF) + Rect(0, 0, 200, 200);
  const Rendered intersect = Play(EmfRecord(30, {50, 50, 100, 100}) + fill_page);
  EXPECT_EQ(intersect.At(75, 75), kRed);
  EXPECT_EQ(intersect.At(120, 120), kWhite);
  const Rendered exclude = Play(EmfRecord(29, {50, 50, 100, 100}) + fill_page);
  EXPECT_EQ(exclude.At(75, 75), kWhite);
  EXPECT_EQ(exclude.At(120, 120), kRed);
  // A region of two rectangles in device units, then clipping turned off again.
  const std::string region =
      EmfRecord(75, {64, 5, 32, 1, 2, 32, 0, 0, 200, 200, 0, 0, 20, 20, 180, 180, 200, 200});
  const Rendered selected = Play(region + fill_page);
  EXPECT_EQ(selected.At(10, 10), kRed);
  EXPECT_EQ(selected.At(190, 190), kRed);
  EXPECT_EQ(selected.At(100, 100), kWhite);
  const Rendered reset = Play(region + EmfRecord(75, {0, 5}) + fill_page);
  EXPECT_EQ(reset.At(100, 100), kRed);
}

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
        box = {std::min(box[0], x), std::min(box[1], y), std::max(box[2], x),
               std::max(box[3], y)};
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

TEST(Player, HatchesWithTransparentAndOpaqueBackgrounds) {
  const std::string hatch = EmfRecord(39, {1, 2, 0x0000FF, 4}) + Select(1) + NullPen();
  int red = 0, white = 0, black = 0;
  const Rendered transparent = Play(EmfRecord(18, {1}) + hatch + Rect(0, 0, 64, 64));
  const Rendered opaque =
      Play(EmfRecord(18, {2}) + EmfRecord(25, {0}) + hatch + Rect(0, 0, 64, 64));
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 32; ++x) {
      red += transparent.At(x, y) == kRed;
      white += transparent.At(x, y) == kWhite;
      black += opaque.At(x, y) == kBlack;
    }
  }
  EXPECT_GT(red, 100);  // the cross lines
  EXPECT_GT(white, 500);
  EXPECT_GT(black, 500);  // the background colour, opaque
}

TEST(Player, BinaryRasterOperations) {
  const std::string black_box = NullPen() + Fill(0) + Rect(10, 10, 60, 60);
  const Rendered xored =
      Play(black_box + EmfRecord(20, {7}) + Fill(0xFFFFFF) + Rect(10, 10, 60, 60));
  EXPECT_EQ(xored.At(30, 30), kWhite);  // black XOR white
  const Rendered inverted = Play(EmfRecord(20, {6}) + NullPen() + Rect(10, 10, 60, 60));
  EXPECT_EQ(inverted.At(30, 30), kBlack);  // R2_NOT turns white to black
  const Rendered nop = Play(EmfRecord(20, {11}) + black_box);
  EXPECT_EQ(nop.At(30, 30), kWhite);
}

// EMR_STRETCHDIBITS of a 2 x 2, 24-bit, bottom-up DIB onto (20, 20, 100, 100).
std::string TwoByTwo(uint32_t rop) {
  std::string info;
  for (uint32_t v : {40u, 2u, 2u}) {
    testing_support::Append32(info, v);
  }
  testing_support::Append32(info, 1 | (24 << 16));
  for (int i = 0; i < 6; ++i) {
    testing_support::Append32(info, 0);
  }
  // Rows bottom-up: blue, white; then red, black. Each row padded to 8 bytes.
  const std::string bits(
      "\xFF\x00\x00\xFF\xFF\xFF\x00\x00"
      "\x00\x00\xFF\x00\x00\x00\x00\x00",
      16);
  std::string r;
  testing_support::Append32(r, 81);
  testing_support::Append32(r, 80 + 40 + 16);
  for (uint32_t v :
       {0u, 0u, 0u, 0u, 20u, 20u, 0u, 0u, 2u, 2u, 80u, 40u, 120u, 16u, 0u, rop, 80u, 80u}) {
    testing_support::Append32(r, v);
  }
  return r + info + bits;
}

TEST(Player, StretchedBitmapsKeepTheirRowOrder) {
  const Rendered r = Play(TwoByTwo(0x00CC0020));
  EXPECT_EQ(r.At(30, 30), kRed);  // top-left pixel of the image
  EXPECT_EQ(r.At(90, 30), kBlack);
  EXPECT_EQ(r.At(30, 90), kBlue);
  EXPECT_EQ(r.At(90, 90), kWhite);
  EXPECT_EQ(r.At(10, 10), kWhite);
  // SRCINVERT over white inverts the image.
  const Rendered x = Play(TwoByTwo(0x00660046));
  EXPECT_EQ(x.At(30, 30), 0x00FFFFu);
}

// EMR_MASKBLT of the two-by-two image at (20, 20) through a mask whose left column is set.
std::string MaskedTwoByTwo(uint32_t rop4) {
  const std::string plain = TwoByTwo(0x00CC0020);
  const std::string info = plain.substr(80, 40);
  const std::string bits = plain.substr(120, 16);
  std::string mask_info;
  for (uint32_t v : {40u, 2u, 2u, 1u | (1u << 16), 0u, 0u, 0u, 0u, 2u, 0u, 0u, 0xFFFFFFu}) {
    testing_support::Append32(mask_info, v);
  }
  const std::string mask_bits("\x80\0\0\0\x80\0\0\0", 8);
  std::string r;
  testing_support::Append32(r, 78);
  testing_support::Append32(r, 240);
  for (uint32_t v : {0u, 0u, 0u, 0u, 20u,  20u, 2u,   2u,  rop4, 0u, 0u, F(1), 0u,  0u,   F(1),
                     0u, 0u, 0u, 0u, 128u, 40u, 168u, 16u, 0u,   0u, 0u, 184u, 48u, 232u, 8u}) {
    testing_support::Append32(r, v);
  }
  return r + info + bits + mask_info + mask_bits;
}

TEST(Player, MaskBltAppliesEachOperationWhereTheMaskSaysSo) {
  // Foreground SRCCOPY where the mask is set, background DSTINVERT elsewhere.
  const Rendered r = Play(MaskedTwoByTwo(0x55CC0020));
  EXPECT_EQ(r.At(20, 20), kRed);
  EXPECT_EQ(r.At(20, 21), kBlue);
  EXPECT_EQ(r.At(21, 21), kBlack);  // white page inverted, not the image's white
  EXPECT_EQ(r.At(22, 22), kWhite);
}

TEST(Player, ArcDirectionChoosesTheHalf) {
  const std::string pie = EmfRecord(47, {20, 20, 180, 180, 180, 100, 20, 100});
  const Rendered counter = Play(Fill(0) + pie);
  const Rendered clockwise = Play(Fill(0) + EmfRecord(57, {2}) + pie);
  EXPECT_EQ(counter.At(100, 50), kBlack);  // from 3 o'clock over the top to 9 o'clock
  EXPECT_EQ(counter.At(100, 150), kWhite);
  EXPECT_EQ(clockwise.At(100, 150), kBlack);
  EXPECT_EQ(clockwise.At(100, 50), kWhite);
}

TEST(Player, UnknownAndBrokenRecordsAreSkippedAndCounted) {
  const Rendered r = Play(EmfRecord(200, {1, 2, 3}) + EmfRecord(43, {1}) + NullPen() +
                          Fill(0x0000FF) + Rect(10, 10, 50, 50));
  EXPECT_EQ(r.stats.skipped.at("EMR_UNKNOWN(200)"), 1);
  EXPECT_EQ(r.stats.skipped.at("EMR_RECTANGLE (too short)"), 1);
  EXPECT_EQ(r.At(30, 30), kRed);  // what follows still draws
  // A polygon that claims 100 million points in a small record draws nothing.
  const Rendered claim = Play(EmfRecord(86, {0, 0, 0, 0, 100000000, 1, 2}));
  EXPECT_EQ(claim.At(1, 1), kWhite);
  // Object indices outside the table change nothing.
  const Rendered far =
      Play(Select(70000) + EmfRecord(40, {0}) + Solid(70000, 0) + Rect(10, 10, 50, 50));
  EXPECT_EQ(far.At(30, 30), kWhite);
}

// A record long enough to be played whose fields run past its end was drawn from zeros: the
// page fails, naming the record, and what follows still draws.
TEST(Player, ARecordWhoseFieldsRunPastItsEndFailsThePage) {
  // EMR_SMALLTEXTOUT of no characters whose options promise a clipping rectangle it lacks.
  const Rendered r = Play(EmfRecord(108, {10, 10, 0, 0, 1, 0, 0}) + NullPen() + Fill(0x0000FF) +
                          Rect(10, 10, 50, 50));
  EXPECT_EQ(r.stats.failure, "record 2 (EMR_SMALLTEXTOUT) ends before its fields do");
  EXPECT_EQ(r.At(30, 30), kRed);
  EXPECT_EQ(Play(EmfRecord(108, {10, 10, 0, 0x100, 1, 0, 0})).stats.failure, "");  // ETO_NO_RECT
}

// A BITMAPINFOHEADER and the bits of a one-row 24-bit bitmap of one colour (B, G, R).
std::string WideRow(uint32_t width, uint8_t b, uint8_t g, uint8_t r) {
  std::string dib;
  for (uint32_t v : {40u, width, 1u, 1u | (24u << 16), 0u, 0u, 0u, 0u, 0u, 0u}) {
    testing_support::Append32(dib, v);
  }
  std::string bits;
  for (uint32_t x = 0; x < width; ++x) {
    bits += static_cast<char>(b);
    bits += static_cast<char>(g);
    bits += static_cast<char>(r);
  }
  bits.resize((bits.size() + 3) & ~size_t{3}, '\0');
  return dib + bits;
}

// Bitmaps wider than cairo's 32767 pixels: GDI stretches the first onto its destination and
// tiles the second as a brush, and what follows on the page is drawn as well.
TEST(Player, BitmapsWiderThanCairosLimitAreDrawn) {
  const uint32_t width = 40000;
  const std::string green = WideRow(width, 0, 255, 0);
  const uint32_t bits_size = static_cast<uint32_t>(green.size() - 40);
  std::string stretch;
  testing_support::Append32(stretch, 81);
  testing_support::Append32(stretch, static_cast<uint32_t>(80 + green.size()));
  for (uint32_t v : {0u, 0u, 0u, 0u, 10u, 10u, 0u, 0u, width, 1u, 80u, 40u, 120u, bits_size, 0u,
                     0x00CC0020u, 180u, 20u}) {
    testing_support::Append32(stretch, v);
  }
  stretch += green;
  const std::string blue = WideRow(width, 255, 0, 0);
  std::string brush;
  testing_support::Append32(brush, 94);  // EMR_CREATEDIBPATTERNBRUSHPT
  testing_support::Append32(brush, static_cast<uint32_t>(32 + blue.size()));
  for (uint32_t v : {1u, 0u, 32u, 40u, 72u, bits_size}) {
    testing_support::Append32(brush, v);
  }
  brush += blue;
  const Rendered r = Play(stretch + brush + Select(1) + NullPen() + Rect(10, 40, 190, 60) +
                          Solid(2, 0x0000FF) + Select(2) + Rect(10, 70, 190, 90));
  EXPECT_EQ(r.At(100, 20), 0x00FF00u);  // stretched
  EXPECT_EQ(r.At(100, 50), kBlue);      // tiled
  EXPECT_EQ(r.At(100, 80), kRed);       // and the page goes on
  EXPECT_EQ(r.stats.failure, "");
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
      {"cosmetic user style", EmfRecord(95, {2, 0, 0, 0, 0, 0x00007, 1, 0, 0, 0, 2, 6, 6}), 18,
       18, kWhite},
      {"geometric user style", EmfRecord(95, {2, 0, 0, 0, 0, 0x10007, 4, 0, 0, 0, 2, 12, 12}),
       16, 8, kWhite},
  };
  for (const Case& c : cases) {
    const Rendered r = Play(EmfRecord(18, {2}) + EmfRecord(25, {0x0000FF}) + c.record +
                            Select(2) + EmfRecord(27, {10, 50}) + EmfRecord(54, {190, 50}));
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

// AlphaBlend as the reference renderer drew the blend pages (tests/gdi-pages): each cell of
// the 4 x 2 bitmap over white and over blue, premultiplied pixels over the page with the
// constant alpha scaling them, the constant alpha alone without AC_SRC_ALPHA, per-pixel alpha
// from a bitmap of fewer than 32 bits refused, and stretching by nearest pixels.
TEST(Player, AlphaBlendAsGdiBlends) {
  using testing_support::BlendBitmap;
  struct Case {
    BlendBitmap bitmap;
    uint32_t constant_alpha;
    bool source_alpha;
    uint32_t cells[4][4];  // over white: top row, bottom row; then over blue
  };
  constexpr uint32_t kOverWhite[2][4] = {{0xFFFFFF, 0xFF0000, 0xFF7F7F, 0x71A3D5},
                                         {0x0000FF, 0xBFFFBF, 0x00FF00, 0xD7C3AF}};
  constexpr uint32_t kOverBlue[2][4] = {{0x2850C8, 0xFF0000, 0x942864, 0x3C78C7},
                                        {0x0000FF, 0x1E7C96, 0x00FF00, 0x54598E}};
  constexpr uint32_t kConstant[4][4] = {{0x7F7F7F, 0xFF7F7F, 0xBF7F7F, 0x98B1CA},
                                        {0x7F7FFF, 0x7F9F7F, 0x7FFF7F, 0x9D9389},
                                        {0x142864, 0x942864, 0x542864, 0x2D5AAF},
                                        {0x1428E4, 0x144864, 0x14A864, 0x323C6E}};
  auto per_pixel = [&](BlendBitmap bitmap) {
    Case c{bitmap, 255, true, {}};
    for (int i = 0; i < 4; ++i) {
      for (int row = 0; row < 2; ++row) {
        c.cells[row][i] = kOverWhite[row][i];
        c.cells[2 + row][i] = kOverBlue[row][i];
      }
    }
    return c;
  };
  auto constant = [&](BlendBitmap bitmap) {
    Case c{bitmap, 128, false, {}};
    std::memcpy(c.cells, kConstant, sizeof kConstant);
    return c;
  };
  const Case cases[] = {
      per_pixel(BlendBitmap::kRgb32),
      per_pixel(BlendBitmap::kBitfields32),
      per_pixel(BlendBitmap::kV5Header32),
      {BlendBitmap::kRgb32,
       128,
       true,
       {{0xFFFFFF, 0xFF7F7F, 0xFFBFBF, 0xB8D1EA},
        {0x7F7FFF, 0xDFFFDF, 0x7FFF7F, 0xEBE1D7},
        {0x2850C8, 0x942864, 0x5E3C96, 0x3264C8},
        {0x1428E4, 0x2366AF, 0x14A864, 0x3E54AB}}},
      constant(BlendBitmap::kRgb32),
      constant(BlendBitmap::kRgb24),
      {BlendBitmap::kRgb24,
       255,
       true,
       {{kWhite, kWhite, kWhite, kWhite},
        {kWhite, kWhite, kWhite, kWhite},
        {0x2850C8, 0x2850C8, 0x2850C8, 0x2850C8},
        {0x2850C8, 0x2850C8, 0x2850C8, 0x2850C8}}},
      {BlendBitmap::kRgb32,
       255,
       false,
       {{0x000000, 0xFF0000, 0x800000, 0x326496},
        {0x0000FF, 0x004000, 0x00FF00, 0x3C2814},
        {0x000000, 0xFF0000, 0x800000, 0x326496},
        {0x0000FF, 0x004000, 0x00FF00, 0x3C2814}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "bitmap " << static_cast<int>(c.bitmap) << ", constant "
                                    << c.constant_alpha << ", source alpha " << c.source_alpha);
    const Rendered r =
        Play(testing_support::BlendRecords(c.bitmap, c.constant_alpha, c.source_alpha));
    for (int band = 0; band < 4; ++band) {
      for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(r.At(20 + 20 * i, 15 + 20 * band), c.cells[band][i]) << band << " " << i;
      }
    }
    // 4 pixels over 70, each the nearest source pixel, unsmoothed up to a pixel from where
    // the next one starts (at 127.5, 145 and 162.5).
    const int starts[] = {110, 128, 145, 163, 180};
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(r.At(starts[i] + 1, 10), c.cells[0][i]) << i;
      EXPECT_EQ(r.At(starts[i + 1] - 2, 10), c.cells[0][i]) << i;
    }
    EXPECT_EQ(r.At(180, 10), kWhite);
    EXPECT_EQ(r.At(150, 19), c.cells[0][2]);
    EXPECT_EQ(r.At(150, 20), c.cells[1][2]);
  }
}

// A 10 x 10, 24-bit DIB of quadrants: red, green over blue, black; bottom-up unless top_down.
std::pair<std::string, std::string> Quadrants(bool top_down = false) {
  std::string info;
  for (uint32_t v :
       {40u, 10u, top_down ? U(-10) : 10u, 1u | (24u << 16), 0u, 320u, 0u, 0u, 0u, 0u}) {
    testing_support::Append32(info, v);
  }
  std::string bits;
  for (int row = 0; row < 10; ++row) {
    const int y = top_down ? row : 9 - row;
    for (int x = 0; x < 10; ++x) {
      const uint32_t rgb = y < 5 ? (x < 5 ? kRed : 0x00FF00) : (x < 5 ? kBlue : kBlack);
      bits += static_cast<char>(rgb & 0xFF);
      bits += static_cast<char>((rgb >> 8) & 0xFF);
      bits += static_cast<char>((rgb >> 16) & 0xFF);
    }
    bits.append(2, '\0');
  }
  return {info, bits};
}

// EMR_BITBLT, or EMR_STRETCHBLT with a source size, of Quadrants with a source transform that
// moves the source by (dx, dy).
std::string QuadrantsBlt(int x, int y, int cx, int cy, int sx, int sy, float dx, float dy,
                         int scx = 0, int scy = 0) {
  const auto [info, bits] = Quadrants();
  const bool stretch = scx != 0;
  const uint32_t fixed = stretch ? 108 : 100;
  std::string r;
  testing_support::Append32(r, stretch ? 77 : 76);
  testing_support::Append32(r, fixed + 40 + 320);
  for (uint32_t v :
       {0u, 0u, 0u,   0u,    U(x),  U(y), U(cx), U(cy), 0x00CC0020u, U(sx),      U(sy), F(1),
        0u, 0u, F(1), F(dx), F(dy), 0u,   0u,    fixed, 40u,         fixed + 40, 320u}) {
    testing_support::Append32(r, v);
  }
  if (stretch) {
    testing_support::Append32(r, U(scx));
    testing_support::Append32(r, U(scy));
  }
  return r + info + bits;
}

// The part of a source rectangle that lies past the bitmap leaves its share of the
// destination alone, and the source transform places the rectangle on the bitmap (settled
// on tests/gdi-pages' blt-source-outside through the reference renderer).
TEST(Player, TransfersTakeOnlyThePartOfTheSourceOnTheBitmap) {
  const auto [info, bits] = Quadrants();
  std::string dibits;
  testing_support::Append32(dibits, 81);
  testing_support::Append32(dibits, 80 + 40 + 320);
  for (uint32_t v : {0u, 0u, 0u, 0u, 10u, 60u, U(-2), U(-2), 8u, 8u, 80u, 40u, 120u, 320u, 0u,
                     0x00CC0020u, 40u, 40u}) {
    testing_support::Append32(dibits, v);
  }
  const Rendered r = Play(QuadrantsBlt(10, 10, 40, 40, 0, 0, 0, 0) +
                          QuadrantsBlt(60, 10, 40, 40, -5, -5, 0, 0, 20, 20) +
                          QuadrantsBlt(110, 10, 10, 10, 2, 2, -2, -2) + dibits + info + bits);
  struct Spot {
    int x, y;
    uint32_t rgb;
  };
  const Spot spots[] = {
      {12, 12, kRed},   {17, 12, 0x00FF00}, {12, 17, kBlue},  {17, 17, kBlack},  // 1:1
      {25, 25, kWhite},                                                          // past the bitmap
      {72, 22, kRed},   {82, 22, 0x00FF00}, {65, 15, kWhite}, {95, 35, kWhite},  // stretched
      {113, 11, kRed},  // moved by the source transform
      {22, 62, kRed},   {45, 62, 0x00FF00}, {22, 70, kBlue},  {45, 70, kBlack},  // rows up
      {15, 70, kWhite}, {30, 95, kWhite}};
  for (const Spot& spot : spots) {
    EXPECT_EQ(r.At(spot.x, spot.y), spot.rgb) << spot.x << "," << spot.y;
  }
}

// An extent that MM_ISOTROPIC shrinks, or ScaleViewportExtEx cuts, to nothing keeps one unit,
// as the reference renderer draws tests/gdi-pages' map-shrunk-extents (the WMF reader keeps
// the same mapping): a 5,000 x 400 box over a 10,000 x 10 window and a 100 x 100 viewport
// becomes 50 x 40 pixels, and a 4,000 x 40 box after a viewport extent of 100 / 1000, 40 x 40.
TEST(Player, ExtentsShrunkToNothingKeepOneUnit) {
  const std::string black_brush = EmfRecord(37, {0x80000004});
  const Rendered r =
      Play(black_brush + EmfRecord(33, {}) + EmfRecord(17, {7}) + EmfRecord(9, {10000, 10}) +
           EmfRecord(11, {100, 100}) + EmfRecord(12, {10, 10}) + EmfRecord(43, {0, 0, 5000, 400}) +
           EmfRecord(34, {U(-1)}) + EmfRecord(17, {8}) + EmfRecord(9, {100, 100}) +
           EmfRecord(11, {100, 100}) + EmfRecord(12, {100, 10}) + EmfRecord(31, {1, 1000, 1, 1}) +
           EmfRecord(43, {0, 0, 4000, 40}));
  EXPECT_EQ(r.At(30, 30), kBlack);
  EXPECT_EQ(r.At(65, 30), kWhite);
  EXPECT_EQ(r.At(30, 55), kWhite);
  EXPECT_EQ(r.At(120, 45), kBlack);
  EXPECT_EQ(r.At(145, 30), kWhite);
}

// A polygon long enough to be filled row by row is filled as the reference renderer fills
// tests/gdi-pages' fill-long-outline: 9,068 pixels, notches a pixel wide and all (cairo's
// aliased fill gives 285 of them otherwise).
TEST(Player, ALongOutlineIsFilledAsGdiFillsIt) {
  std::vector<uint32_t> counts;
  std::vector<int16_t> coordinates;
  for (const auto& [radius, count, turn] : {std::tuple{60.0, 9000, 1}, {20.0, 3000, -1}}) {
    counts.push_back(static_cast<uint32_t>(count));
    for (int i = 0; i < count; ++i) {
      const double a = turn * 2 * 3.141592653589793 * i / count;
      const double r = radius + 5 * std::sin(a * 37) + 1.5 * std::sin(a * 301);
      coordinates.push_back(static_cast<int16_t>(std::floor(100.3 + r * std::cos(a) + 0.5)));
      coordinates.push_back(static_cast<int16_t>(std::floor(75.2 + r * 0.9 * std::sin(a) + 0.5)));
    }
  }
  std::string polygons;
  for (uint32_t v : {0u, 0u, 200u, 150u, 2u, 12000u}) {
    testing_support::Append32(polygons, v);
  }
  for (uint32_t count : counts) {
    testing_support::Append32(polygons, count);
  }
  polygons.append(reinterpret_cast<const char*>(coordinates.data()), coordinates.size() * 2);
  std::string record;  // EMR_POLYPOLYGON16
  testing_support::Append32(record, 91);
  testing_support::Append32(record, static_cast<uint32_t>(8 + polygons.size()));
  const Rendered r = Play(EmfRecord(37, {0x80000004}) + EmfRecord(37, {0x80000008}) +
                          EmfRecord(19, {2}) + record + polygons);
  int inside = 0;
  uint64_t hash = 0xcbf29ce484222325;  // FNV-1a of the inside pixels' indices, in order
  for (int y = 0; y < 150; ++y) {
    for (int x = 0; x < kSide; ++x) {
      if (r.At(x, y) == kBlack) {
        ++inside;
        const uint32_t index = static_cast<uint32_t>(y * kSide + x);
        for (int k = 0; k < 4; ++k) {
          hash = (hash ^ ((index >> (8 * k)) & 0xFF)) * 0x100000001b3;
        }
      }
    }
  }
  EXPECT_EQ(inside, 9068);
  EXPECT_EQ(hash, 0x4abb99e14074e982u);
}

// A shape past the points one shape may have is not drawn, and the page fails naming the
// record; one at the limit is drawn.
TEST(Player, AShapePastTheLimitFailsThePageByName) {
  for (const size_t points : {emf::kMaxShapeSegments - 1, emf::kMaxShapeSegments + 1}) {
    std::string polyline;  // EMR_POLYLINE16: bounds, count, points
    for (uint32_t v : {0u, 0u, 10u, 10u, static_cast<uint32_t>(points)}) {
      testing_support::Append32(polyline, v);
    }
    for (size_t i = 0; i < points; ++i) {
      testing_support::Append32(polyline, i % 2 == 0 ? 0x000A0005u : 0x00050005u);
    }
    std::string record;
    testing_support::Append32(record, 87);
    testing_support::Append32(record, static_cast<uint32_t>(8 + polyline.size()));
    const Rendered r = Play(record + polyline);
    const bool drawn = points <= emf::kMaxShapeSegments;
    EXPECT_EQ(r.stats.failure.find("EMR_POLYLINE16 makes a shape of") != std::string::npos,
              !drawn)
        << points << ": " << r.stats.failure;
    EXPECT_EQ(r.At(5, 7), drawn ? kBlack : kWhite) << points;
  }
}

// StretchDIBits and SetDIBitsToDevice count source rows from the bitmap's bottom row, whether
// it stores its rows bottom-up or top-down (settled on tests/gdi-pages' blt-source-rows through
// the reference renderer): rows 5 to 9 of Quadrants are its red and green half either way.
TEST(Player, DibRecordsCountSourceRowsFromTheBottomRowEitherWay) {
  for (bool top_down : {false, true}) {
    const auto [info, bits] = Quadrants(top_down);
    std::string stretch;  // source (0, 5, 10, 5) onto (10, 10, 10, 5)
    testing_support::Append32(stretch, 81);
    testing_support::Append32(stretch, 80 + 40 + 320);
    for (uint32_t v : {0u, 0u, 0u, 0u, 10u, 10u, 0u, 5u, 10u, 5u, 80u, 40u, 120u, 320u, 0u,
                       0x00CC0020u, 10u, 5u}) {
      testing_support::Append32(stretch, v);
    }
    std::string set;  // the same source at (40, 10)
    testing_support::Append32(set, 80);
    testing_support::Append32(set, 76 + 40 + 320);
    for (uint32_t v :
         {0u, 0u, 0u, 0u, 40u, 10u, 0u, 5u, 10u, 5u, 76u, 40u, 116u, 320u, 0u, 0u, 10u}) {
      testing_support::Append32(set, v);
    }
    const Rendered r = Play(stretch + info + bits + set + info + bits);
    for (int left : {10, 40}) {
      EXPECT_EQ(r.At(left + 2, 12), kRed) << top_down << " at " << left;
      EXPECT_EQ(r.At(left + 7, 12), 0x00FF00u) << top_down << " at " << left;
      EXPECT_EQ(r.At(left + 2, 16), kWhite) << top_down << " at " << left;
    }
  }
}

// Shrinking, each stretch mode shows what GDI shows of the source pixels a destination pixel
// stands for, only those on the bitmap counting (tests/gdi-pages' blt-shrink through the
// reference renderer). The 10 x 10 bitmap's pixel (x, y) is (25x, 25y, 128): at 3 x 3 it gives
// source columns 0-2, 3-6 and 7-9 and rows 0-2, 3-6 and 7-9; COLORONCOLOR shows the last
// column and first row of each, BLACKONWHITE their AND, WHITEONBLACK their OR. A source
// reaching 5 pixels past each side leaves the outer destination pixels alone, and an axis
// that grows repeats pixels while the other shrinks.
TEST(Player, ShrunkBitmapsShowWhatEachStretchModeKeeps) {
  std::string info;
  for (uint32_t v : {40u, 10u, 10u, 1u | (24u << 16), 0u, 320u, 0u, 0u, 0u, 0u}) {
    testing_support::Append32(info, v);
  }
  std::string bits;
  for (int y = 9; y >= 0; --y) {
    for (int x = 0; x < 10; ++x) {
      bits += static_cast<char>(128);
      bits += static_cast<char>(25 * y);
      bits += static_cast<char>(25 * x);
    }
    bits.append(2, '\0');
  }
  struct Case {
    uint32_t mode;
    int source[4];                  // x, y, width, height
    int width, height;              // drawn at (10, 10)
    int first_column, first_row;    // the first destination column and row drawn
    std::vector<int> reds, greens;  // of each column and row drawn
  };
  std::vector<int> grown;
  for (int i = 0; i < 20; ++i) {
    grown.push_back(25 * (i / 2));
  }
  const Case cases[] = {
      {3, {0, 0, 10, 10}, 3, 3, 0, 0, {50, 150, 225}, {0, 75, 175}},
      {1, {0, 0, 10, 10}, 3, 3, 0, 0, {0, 0, 128}, {0, 0, 128}},
      {2, {0, 0, 10, 10}, 3, 3, 0, 0, {59, 255, 239}, {59, 255, 239}},
      {3, {-5, -5, 20, 20}, 8, 8, 2, 2, {50, 100, 175, 225}, {0, 75, 125, 200}},
      {1, {-5, -5, 20, 20}, 8, 8, 2, 2, {0, 64, 4, 192}, {0, 64, 4, 192}},
      {3, {0, 0, 10, 10}, 20, 5, 0, 0, grown, {0, 50, 100, 150, 200}},
  };
  for (const Case& c : cases) {
    std::string stretch;
    testing_support::Append32(stretch, 81);
    testing_support::Append32(stretch, 80 + 40 + 320);
    for (uint32_t v :
         {0u, 0u, 0u, 0u, 10u, 10u, U(c.source[0]), U(c.source[1]), U(c.source[2]), U(c.source[3]),
          80u, 40u, 120u, 320u, 0u, 0x00CC0020u, U(c.width), U(c.height)}) {
      testing_support::Append32(stretch, v);
    }
    const Rendered r = Play(EmfRecord(21, {c.mode}) + stretch + info + bits);
    for (int y = 0; y <= c.height; ++y) {
      for (int x = 0; x <= c.width; ++x) {
        const int column = x - c.first_column, row = y - c.first_row;
        const bool drawn = column >= 0 && row >= 0 && column < static_cast<int>(c.reds.size()) &&
                           row < static_cast<int>(c.greens.size());
        const uint32_t want =
            drawn ? U(c.reds[column]) << 16 | U(c.greens[row]) << 8 | 128u : kWhite;
        EXPECT_EQ(r.At(10 + x, 10 + y), want)
            << "mode " << c.mode << ", " << c.width << " x " << c.height << " at " << x << "," << y;
      }
    }
  }
}

// HALFTONE growing a row of black, white, black and red to 40 and 13 pixels blends the two
// source pixels about x * source / destination, counted from the pixels' corners, the last
// one repeated: the reference renderer's values on tests/gdi-pages' blt-halftone-grow, which
// cairo's bilinear weights meet within 3.
TEST(Player, HalftoneGrowsByBlendingFromThePixelsCorners) {
  std::string info;
  for (uint32_t v : {40u, 4u, 1u, 1u | (24u << 16), 0u, 12u, 0u, 0u, 0u, 0u}) {
    testing_support::Append32(info, v);
  }
  const std::string bits("\0\0\0\xFF\xFF\xFF\0\0\0\0\0\xFF", 12);  // blue, green, red
  struct Case {
    int width;
    std::vector<int> reds, greens;
  };
  const Case cases[] = {
      {40,
       {0,   26,  51,  77,  102, 128, 153, 179, 204, 230, 255, 229, 204, 178,
        153, 127, 102, 76,  51,  25,  0,   26,  51,  76,  102, 127, 153, 178,
        204, 229, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255},
       {0,   26,  51,  77,  102, 128, 153, 179, 204, 230, 255, 229, 204, 178,
        153, 127, 102, 76,  51,  25,  0,   0,   0,   0,   0,   0,   0,   0,
        0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0}},
      {13,
       {0, 78, 157, 235, 196, 118, 39, 39, 118, 196, 255, 255, 255},
       {0, 78, 157, 235, 196, 118, 39, 0, 0, 0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    std::string stretch;
    testing_support::Append32(stretch, 81);
    testing_support::Append32(stretch, 80 + 40 + 12);
    for (uint32_t v : {0u, 0u, 0u, 0u, 10u, 10u, 0u, 0u, 4u, 1u, 80u, 40u, 120u, 12u, 0u,
                       0x00CC0020u, U(c.width), 1u}) {
      testing_support::Append32(stretch, v);
    }
    const Rendered r = Play(EmfRecord(21, {4}) + stretch + info + bits);
    for (int x = 0; x < c.width; ++x) {
      const uint32_t p = r.At(10 + x, 10);
      EXPECT_NEAR(static_cast<int>(p >> 16), c.reds[x], 3) << c.width << " at " << x;
      EXPECT_NEAR(static_cast<int>((p >> 8) & 0xFF), c.greens[x], 3) << c.width << " at " << x;
    }
  }
}

// Hatched brushes past HS_DIAGCROSS fill with the brush's colour; a monochrome brush record
// whose bitmap is not black and white keeps the bitmap's colours.
TEST(Player, BrushesOfHatchesPastTheLastAndOfColouredMonochromeBitmaps) {
  const Rendered hatch =
      Play(NullPen() + EmfRecord(39, {1, 2, 0x0000FF, 6}) + Select(1) + Rect(10, 10, 60, 60));
  EXPECT_EQ(hatch.At(30, 30), kRed);
  EXPECT_EQ(hatch.At(31, 33), kRed);
  // EMR_CREATEMONOBRUSH of an 8 x 8 one-bit bitmap in two greys, rows alternately 0 and 1.
  std::string mono;
  testing_support::Append32(mono, 93);
  testing_support::Append32(mono, 32 + 48 + 32);
  for (uint32_t v : {1u, 0u, 32u, 48u, 80u, 32u, 40u, 8u, 8u, 1u | (1u << 16), 0u, 32u, 0u, 0u, 2u,
                     0u, 0x555555u, 0xAAAAAAu}) {
    testing_support::Append32(mono, v);
  }
  for (int row = 0; row < 8; ++row) {
    testing_support::Append32(mono, row % 2 == 0 ? 0u : 0xFFu);
  }
  const Rendered pattern = Play(NullPen() + mono + Select(1) + Rect(0, 0, 64, 64));
  EXPECT_EQ(pattern.At(3, 0) ^ pattern.At(3, 1), 0x555555u ^ 0xAAAAAAu);
  EXPECT_TRUE(pattern.At(3, 0) == 0x555555u || pattern.At(3, 0) == 0xAAAAAAu);
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
