// The row fill's own rules: which pixels a figure covers, and what it makes of figures left
// open, parts outside the pixels asked for, points that are no numbers, and the two rules.
// (Whole pages: Player.ALongOutlineIsFilledAsGdiFillsIt.)
#include "emf/canvas/row_fill.h"

#include <gtest/gtest.h>

#include <limits>
#include <vector>

namespace emf {
namespace {

Path Square(double left, double top, double side) {
  Path path;
  path.MoveTo({left, top});
  path.LineTo({left + side, top});
  path.LineTo({left + side, top + side});
  path.LineTo({left, top + side});
  return path;  // left open: a fill closes it
}

TEST(RowFill, CoversThePixelsWhoseCentresAreInside) {
  Path twice = Square(10.4, 10.4, 10);
  twice.Append(Square(10.4, 10.4, 10));
  Path with_nan = Square(10.4, 10.4, 10);
  with_nan.LineTo({std::numeric_limits<double>::quiet_NaN(), 5});
  with_nan.LineTo({std::numeric_limits<double>::infinity(), 5});
  Path curved;
  curved.MoveTo({10.4, 10.4});
  curved.CurveTo({20.4, 10.4}, {20.4, 10.4}, {20.4, 20.4});
  curved.LineTo({10.4, 20.4});
  const struct {
    const char* what;
    Path path;
    bool winding;
    int left, top;
    int inside;
  } cases[] = {
      {"a square of 10 on the fill grid", Square(10.4, 10.4, 10), true, 0, 0, 100},
      {"the same, a quarter of it asked for", Square(10.4, 10.4, 10), true, 15, 15, 25},
      {"wound twice, nonzero", twice, true, 0, 0, 100},
      {"wound twice, even-odd", twice, false, 0, 0, 0},
      {"points that are no numbers left out", with_nan, true, 0, 0, 100},
      {"a curve flattened, as cairo fills it", curved, true, 0, 0, 94},
      {"far away", Square(-1e12, -1e12, 2e12), true, 0, 0, 32 * 32},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> mask(32 * 32, 0x55);
    FillRows(c.path, c.winding, c.left, c.top, 32, 32, mask.data(), 32);
    int inside = 0, other = 0;
    for (uint8_t v : mask) {
      inside += v == 0xFF;
      other += v != 0xFF && v != 0;
    }
    EXPECT_EQ(inside, c.inside) << c.what;
    EXPECT_EQ(other, 0) << c.what;
  }
}

}  // namespace
}  // namespace emf
