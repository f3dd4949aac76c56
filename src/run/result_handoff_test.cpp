#include "run/result_handoff.h"

#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"

namespace {

using testing_support::CreateSharedBlock;
using testing_support::ReadSharedBlock;

// Plays the part of another program of the printer package reading the block. The handle
// the converter keeps until its after-hook has returned is kept here until the end.
class SharedBlockTest : public ::testing::Test {
 protected:
  void SetUp() override { testing_support::RemoveSharedBlock(); }
  void TearDown() override {
    kept_ = ScopedHandle();
    testing_support::RemoveSharedBlock();
  }
  int Publish(const std::string& text) { return PublishResultList(text, &kept_); }

  ScopedHandle kept_;
};

TEST_F(SharedBlockTest, HoldsEveryPathAndALineFeedThenAZero) {
  EXPECT_EQ(Publish("C:\\out\\a0001.png\nC:\\out\\a0002.png\n"), 1);
  EXPECT_EQ(ReadSharedBlock(36),
            std::string("C:\\out\\a0001.png\nC:\\out\\a0002.png\n\0", 35) + '\0');
  EXPECT_EQ(ReadSharedBlock(kResultBlockSize + 10).size(), kResultBlockSize);
}

TEST_F(SharedBlockTest, AnExistingBlockKeepsWhatLiesPastTheNewText) {
  ASSERT_TRUE(CreateSharedBlock(kResultBlockSize, 'z'));
  EXPECT_EQ(Publish("ab\n"), 1);
  EXPECT_EQ(ReadSharedBlock(6), std::string("ab\n\0zz", 6));
}

TEST_F(SharedBlockTest, AFullSizeListIsCutAfterItsLastWholeLine) {
  std::string text;
  while (text.size() < kResultBlockSize + 1000) {
    text += std::string(259, 'p') + "\n";
  }
  EXPECT_EQ(Publish(text), 1);
  const std::string bytes = ReadSharedBlock(kResultBlockSize);
  const size_t zero = bytes.find('\0');
  ASSERT_NE(zero, std::string::npos);
  EXPECT_EQ(zero % 260, 0u);
  EXPECT_EQ(zero, (kResultBlockSize - 1) / 260 * 260);
}

}  // namespace
