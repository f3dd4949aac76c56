#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "base/checked.h"
#include "base/text_util.h"

namespace {

TEST(Checked, OverflowAnywhereInAChainIsRemembered) {
  using checked::Checked;
  const Checked<int32_t> fits = Checked<int32_t>(46340) * 46340;
  EXPECT_EQ(fits.Value(), 2147395600);
  const Checked<int32_t> over = Checked<int32_t>(46341) * 46341 - 1000000000;
  EXPECT_FALSE(over.Valid());  // the subtraction afterwards does not bring it back
  EXPECT_EQ(over.ValueOr(-1), -1);
  Checked<uint32_t> frame = 10;
  frame -= 11;
  EXPECT_FALSE(frame.Valid());
  Checked<int64_t> total = 0;
  for (int i = 0; i < 4; ++i) {
    total += std::numeric_limits<int64_t>::max() / 3;
  }
  EXPECT_FALSE(total.Valid());
  EXPECT_EQ((Checked<int32_t>(INT32_MIN) - 0).Value(), INT32_MIN);
  EXPECT_FALSE((Checked<int32_t>(0) - INT32_MIN).Valid());  // -INT32_MIN does not fit
}

TEST(Checked, CastsRefuseWhatDoesNotFit) {
  EXPECT_EQ(checked::Cast<int>(300.7), 300);
  EXPECT_EQ(checked::Cast<int>(-2.9), -2);
  EXPECT_FALSE(checked::Cast<int>(std::nan("")));
  EXPECT_FALSE(checked::Cast<int>(1e30));
  EXPECT_FALSE(checked::Cast<int>(-1e30));
  EXPECT_FALSE(checked::Cast<int>(std::numeric_limits<double>::infinity()));
  EXPECT_EQ(checked::Cast<int>(2147483647.9), 2147483647);
  EXPECT_FALSE(checked::Cast<uint16_t>(-1));
  EXPECT_FALSE(checked::Cast<int32_t>(uint32_t{0x80000000}));
  EXPECT_EQ(checked::Cast<uint8_t>(255), 255);
}

TEST(TextUtil, PathsAndCase) {
  EXPECT_TRUE(EqualsIgnoringCase(".PNG", ".png"));
  EXPECT_FALSE(EqualsIgnoringCase(".png", ".pn"));
  EXPECT_EQ(FindLastPathSeparator("C:\\out/page.png"), 6u);
  EXPECT_EQ(FindLastPathSeparator("page.png"), std::string::npos);
  EXPECT_EQ(JoinPath("/tmp/", "a"), "/tmp/a");
  EXPECT_EQ(JoinPath("", "a"), "a");
}

}  // namespace
