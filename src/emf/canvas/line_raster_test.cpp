#include "emf/canvas/line_raster.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <set>
#include <utility>
#include <vector>

namespace emf {
namespace {

using Pixels = std::vector<std::pair<int64_t, int64_t>>;

constexpr PixelBox kEverywhere{-1000000000, -1000000000, 1000000000, 1000000000};

Pixels Walk(int64_t x0, int64_t y0, int64_t x1, int64_t y1, const PixelBox& box = kEverywhere,
            int64_t* skipped = nullptr) {
  Pixels pixels;
  int64_t passed = 0;
  WalkLine(
      x0, y0, x1, y1, box, [&](int64_t x, int64_t y) { pixels.emplace_back(x, y); },
      [&](int64_t count) { passed += count; });
  if (skipped != nullptr) {
    *skipped = passed;
  }
  return pixels;
}

TEST(LineRaster, LinesLeaveOutTheirLastPixel) {
  struct Case {
    int64_t x0, y0, x1, y1;
    Pixels expected;
  };
  const Case cases[] = {
      {0, 0, 3, 0, {{0, 0}, {1, 0}, {2, 0}}},
      {0, 0, 0, -2, {{0, 0}, {0, -1}}},
      {0, 0, 3, 3, {{0, 0}, {1, 1}, {2, 2}}},
      {0, 0, 4, 1, {{0, 0}, {1, 0}, {2, 0}, {3, 1}}},  // octant 1: steps late
      {4, 1, 0, 0, {{4, 1}, {3, 1}, {2, 0}, {1, 0}}},  // octant 5: the bias steps early
      {5, 5, 5, 5, {}},                                // a point draws nothing
      {0, 0, -1, 3, {{0, 0}, {0, 1}, {-1, 2}}},        // octant 3
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Walk(c.x0, c.y0, c.x1, c.y1), c.expected)
        << c.x0 << "," << c.y0 << " -> " << c.x1 << "," << c.y1;
  }
}

// GDI's octant bias makes a line and its reverse cover the same pixels, each walk with the
// other's first pixel in place of its own last; every step moves to a neighbouring pixel.
TEST(LineRaster, ALineAndItsReverseCoverTheSamePixels) {
  for (int64_t dx = -12; dx <= 12; ++dx) {
    for (int64_t dy = -12; dy <= 12; ++dy) {
      if (dx == 0 && dy == 0) {
        continue;
      }
      Pixels forward = Walk(0, 0, dx, dy);
      Pixels backward = Walk(dx, dy, 0, 0);
      ASSERT_EQ(forward.size(), static_cast<size_t>(std::max(std::llabs(dx), std::llabs(dy))));
      for (size_t i = 1; i < forward.size(); ++i) {
        ASSERT_LE(std::llabs(forward[i].first - forward[i - 1].first), 1);
        ASSERT_LE(std::llabs(forward[i].second - forward[i - 1].second), 1);
      }
      std::set<std::pair<int64_t, int64_t>> a(forward.begin(), forward.end());
      std::set<std::pair<int64_t, int64_t>> b(backward.begin(), backward.end());
      a.emplace(dx, dy);
      b.emplace(0, 0);
      EXPECT_EQ(a, b) << "0,0 -> " << dx << "," << dy;
    }
  }
}

TEST(LineRaster, OctantsAndTheStepLimit) {
  EXPECT_EQ(OctantOf(5, 1), LineOctant::k1);
  EXPECT_EQ(OctantOf(1, 5), LineOctant::k2);
  EXPECT_EQ(OctantOf(-1, 5), LineOctant::k3);
  EXPECT_EQ(OctantOf(-5, 1), LineOctant::k4);
  EXPECT_EQ(OctantOf(-5, -1), LineOctant::k5);
  EXPECT_EQ(OctantOf(-1, -5), LineOctant::k6);
  EXPECT_EQ(OctantOf(1, -5), LineOctant::k7);
  EXPECT_EQ(OctantOf(5, -1), LineOctant::k8);
  EXPECT_EQ(RoundToPixel(2.5), 3);
  EXPECT_EQ(RoundToPixel(-2.5), -2);
  EXPECT_EQ(RoundToPixel(1e300), 1000000000);
}

// A box only cuts a walk: inside it the pixels are those of the whole walk, GDI's stepping
// kept, and every pixel outside is counted as passed over.
TEST(LineRaster, ABoxCutsTheWalkWithoutChangingItsSteps) {
  const PixelBox boxes[] = {{0, 0, 10, 10}, {-3, 2, 4, 7}, {5, -8, 6, 30}, {20, 20, 30, 30}};
  for (const PixelBox& box : boxes) {
    for (int64_t x0 = -12; x0 <= 12; x0 += 3) {
      for (int64_t dx = -25; dx <= 25; dx += 2) {
        for (int64_t dy = -25; dy <= 25; dy += 3) {
          const Pixels whole = Walk(x0, 1, x0 + dx, 1 + dy);
          Pixels inside;
          for (const auto& p : whole) {
            if (p.first >= box.left && p.first < box.right && p.second >= box.top &&
                p.second < box.bottom) {
              inside.push_back(p);
            }
          }
          int64_t skipped = 0;
          ASSERT_EQ(Walk(x0, 1, x0 + dx, 1 + dy, box, &skipped), inside)
              << x0 << ",1 -> " << x0 + dx << "," << 1 + dy;
          EXPECT_EQ(skipped + static_cast<int64_t>(inside.size()),
                    static_cast<int64_t>(whole.size()));
        }
      }
    }
  }
  // A line a billion pixels long across a small box costs its few pixels.
  int64_t skipped = 0;
  EXPECT_EQ(Walk(-1000000000, 5, 1000000000, 6, {0, 0, 4, 10}, &skipped).size(), 4u);
  EXPECT_EQ(skipped, 2000000000 - 4);
}

TEST(LineRaster, StylesCountPixelsAcrossTheSegmentsOfAPath) {
  auto pattern = [](std::vector<double> dashes, int count) {
    LineStyleCounter counter(std::move(dashes));
    std::vector<bool> out;
    for (int i = 0; i < count; ++i) {
      out.push_back(counter.NextIsDash());
    }
    return out;
  };
  EXPECT_EQ(pattern({3, 1}, 8), (std::vector<bool>{1, 1, 1, 0, 1, 1, 1, 0}));
  EXPECT_EQ(pattern({}, 3), (std::vector<bool>{1, 1, 1}));
  EXPECT_EQ(pattern({1.5, 1.5}, 6), (std::vector<bool>{1, 1, 0, 1, 1, 0}));
  LineStyleCounter skipping({3, 1});
  skipping.Skip(6);  // as if six pixels had been walked: the next is the seventh
  EXPECT_TRUE(skipping.NextIsDash());
  EXPECT_FALSE(skipping.NextIsDash());

  Path path;
  path.MoveTo({0.4, 0.4});  // rounded to whole pixels first
  path.LineTo({4, 0});
  path.LineTo({4, 4});
  path.Close();
  LineStyleCounter dashes({2, 2});
  Pixels on;
  size_t walked = 0;
  WalkPath(
      path, kEverywhere,
      [&](int64_t x, int64_t y) {
        ++walked;
        if (dashes.NextIsDash()) {
          on.emplace_back(x, y);
        }
      },
      [&](int64_t count) { dashes.Skip(count); });
  EXPECT_EQ(walked, 12u);  // 4 + 4 + the closing diagonal's 4
  EXPECT_EQ(on, (Pixels{{0, 0}, {1, 0}, {4, 0}, {4, 1}, {4, 4}, {3, 3}}));
}

std::vector<std::vector<Point>> Figures(const Path& path) {
  std::vector<std::vector<Point>> figures;
  for (const PathSegment& s : path.segments) {
    if (s.kind == PathSegment::kMove) {
      figures.emplace_back();
    }
    if (s.kind == PathSegment::kMove || s.kind == PathSegment::kLine) {
      figures.back().push_back(s.p[0]);
    }
  }
  return figures;
}

// Where a geometric pen's dashes begin and end, as the reference renderer laid them on pages of
// tests/gdi-pages: whole pixels of each slanted segment only, a new start at each figure, a
// closed figure's last dash running on into its first.
TEST(LineRaster, GeometricDashesTakeWholePixelsOfEachSlantedSegment) {
  struct Case {
    const char* name;
    Path path;
    std::vector<double> dashes;
    std::vector<std::pair<Point, Point>> expected;  // each dash's first and last point
  };
  Path upright;
  upright.MoveTo({0, 0});
  upright.LineTo({50, 0});
  Path steps;  // 2.236 pixels a step, of which 2 count towards the style
  steps.MoveTo({0, 0});
  for (int i = 1; i <= 40; ++i) {
    steps.LineTo({2.0 * i, 1.0 * i});
  }
  Path one;  // the same line in one segment keeps its true length
  one.MoveTo({0, 0});
  one.LineTo({80, 40});
  Path figures;
  figures.MoveTo({0, 0});
  figures.LineTo({30, 0});
  figures.MoveTo({0, 10});
  figures.LineTo({30, 10});
  Path square;
  square.MoveTo({0, 0});
  square.LineTo({10, 0});
  square.LineTo({10, 10});
  square.LineTo({0, 10});
  square.Close();
  const Case cases[] = {
      {"upright", upright, {20, 24}, {{{0, 0}, {20, 0}}, {{44, 0}, {50, 0}}}},
      {"short slanted segments", steps, {20, 24}, {{{0, 0}, {19, 9}}, {{43, 21}, {63, 31}}}},
      {"one slanted segment",
       one,
       {20, 24},
       {{{0, 0}, {17, 8}}, {{39, 19}, {57, 28}}, {{78, 39}, {80, 40}}}},
      {"each figure starts anew", figures, {20, 24}, {{{0, 0}, {20, 0}}, {{0, 10}, {20, 10}}}},
      {"closed figure", square, {30, 4}, {{{0, 6}, {0, 10}}}},
  };
  for (const Case& c : cases) {
    std::vector<std::pair<Point, Point>> got;
    const std::optional<Path> laid_out = GeometricDashes(c.path, c.dashes);
    ASSERT_TRUE(laid_out.has_value()) << c.name;
    for (const std::vector<Point>& dash : Figures(*laid_out)) {
      got.emplace_back(dash.front(), dash.back());
    }
    ASSERT_EQ(got.size(), c.expected.size()) << c.name;
    for (size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].first.x, c.expected[i].first.x) << c.name << " dash " << i;
      EXPECT_EQ(got[i].first.y, c.expected[i].first.y) << c.name << " dash " << i;
      EXPECT_EQ(got[i].second.x, c.expected[i].second.x) << c.name << " dash " << i;
      EXPECT_EQ(got[i].second.y, c.expected[i].second.y) << c.name << " dash " << i;
    }
  }
  // A line reaching far off the page is left to be dashed whole rather than walked dash by dash.
  Path far;
  far.MoveTo({0, 0});
  far.LineTo({1e8, 0});
  EXPECT_FALSE(GeometricDashes(far, {1, 1}).has_value());
}

// Curves are dashed along chords of whole pixels, halved in sixteenths of a pixel until each
// piece lies within a pixel of its chord: a quarter circle of radius 45 in eight chords (the
// reference's dashes along pen-dashed-curves of tests/gdi-pages follow these chords closer
// than the true curve's).
TEST(LineRaster, GeometricDashesFollowCurvesByWholePixelChords) {
  Path quarter;
  quarter.MoveTo({105, 60});
  quarter.CurveTo({105, 35.15}, {84.85, 15}, {60, 15});
  const std::optional<Path> laid_out = GeometricDashes(quarter, {1000, 1});
  ASSERT_TRUE(laid_out.has_value());
  const auto figures = Figures(*laid_out);
  ASSERT_EQ(figures.size(), 1u);
  const std::vector<std::pair<int, int>> expected = {
      {105, 60}, {104, 51}, {102, 42}, {97, 35}, {92, 28}, {85, 23}, {78, 19}, {69, 16}, {60, 15}};
  ASSERT_EQ(figures[0].size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(figures[0][i].x, expected[i].first) << i;
    EXPECT_EQ(figures[0][i].y, expected[i].second) << i;
  }
}

}  // namespace
}  // namespace emf
