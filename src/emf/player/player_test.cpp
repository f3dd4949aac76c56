// Programmatic pages for each record family, checked at chosen pixels.
#include "emf/player/player.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "emf/player/pages_test.h"
#include "support/spool_builder.h"

namespace {

using namespace player_test_pages;
using testing_support::EmfPage;
using testing_support::EmfRecord;

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
    EXPECT_EQ(r.stats.failure.find("EMR_POLYLINE16 makes a shape of") != std::string::npos, !drawn)
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
       {0, 26, 51, 77, 102, 128, 153, 179, 204, 230, 255, 229, 204, 178, 153, 127, 102, 76, 51, 25,
        0, 0,  0,  0,  0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,   0,  0,  0}},
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

}  // namespace
