// The block as the POSIX stand-in keeps it: a shared-memory object of this user's, which a
// reader may have made smaller than ours.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "run/result_handoff.h"
#include "support/test_support.h"

namespace {

using testing_support::CreateSharedBlock;
using testing_support::ReadSharedBlock;
using testing_support::SharedBlockName;

class PosixSharedBlockTest : public ::testing::Test {
 protected:
  void SetUp() override { testing_support::RemoveSharedBlock(); }
  void TearDown() override { testing_support::RemoveSharedBlock(); }
  static std::string ObjectPath() { return "/dev/shm" + SharedBlockName(); }
};

TEST_F(PosixSharedBlockTest, TextTooLongForASmallerBlockIsCutAfterItsLastWholeLine) {
  ASSERT_TRUE(CreateSharedBlock(16, 'z'));  // a reader made the block smaller than ours
  EXPECT_EQ(PublishResultList("line1\nline2\nline3\n"), 1);
  EXPECT_EQ(ReadSharedBlock(16), std::string("line1\nline2\n\0zzz", 16));

  EXPECT_EQ(PublishResultList(std::string(40, 'x') + "\n"), 1);
  EXPECT_EQ(ReadSharedBlock(1), std::string(1, '\0'));

  EXPECT_EQ(PublishResultList("exactly-fifteen"), 1);  // 15 bytes and the zero fit
  EXPECT_EQ(ReadSharedBlock(16), std::string("exactly-fifteen\0", 16));
}

// Only this user's block, only a shared-memory object, and always mode 0600.
TEST_F(PosixSharedBlockTest, OnlyThisUsersOwnBlockIsWrittenAndItStaysPrivate) {
  EXPECT_EQ(PublishResultList("x\n"), 1);
  struct stat info {};
  ASSERT_EQ(stat(ObjectPath().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  ASSERT_EQ(chmod(ObjectPath().c_str(), 0644), 0);
  EXPECT_EQ(PublishResultList("x\n"), 1);
  ASSERT_EQ(stat(ObjectPath().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);  // a readable block is closed again
  if (getuid() == 0) {
    // Another user's block (made here by handing this one over) is left alone.
    ASSERT_EQ(chown(ObjectPath().c_str(), 12345, 12345), 0);
    EXPECT_EQ(PublishResultList("secret\n"), 0);
    EXPECT_EQ(ReadSharedBlock(2), std::string("x\n", 2));
  }
  testing_support::RemoveSharedBlock();
  ASSERT_EQ(mkdir(ObjectPath().c_str(), 0700), 0);  // not a shared-memory object
  EXPECT_EQ(PublishResultList("x\n"), 0);
  rmdir(ObjectPath().c_str());
}

}  // namespace
