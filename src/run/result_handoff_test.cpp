#include "run/result_handoff.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "support/test_support.h"

namespace {

// Plays the part of another program of the printer package reading the block.
class SharedBlockTest : public ::testing::Test {
 protected:
  void SetUp() override { shm_unlink(testing_support::SharedBlockName().c_str()); }
  void TearDown() override { shm_unlink(testing_support::SharedBlockName().c_str()); }

  static std::string BlockBytes(size_t count) {
    const int fd = shm_open(testing_support::SharedBlockName().c_str(), O_RDONLY, 0);
    if (fd < 0) {
      return "<no block>";
    }
    struct stat info {};
    fstat(fd, &info);
    const size_t size = static_cast<size_t>(info.st_size);
    void* view = mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    close(fd);
    std::string bytes(static_cast<const char*>(view), std::min(count, size));
    munmap(view, size);
    return bytes;
  }

  static void CreateBlock(size_t size, char fill) {
    const int fd = shm_open(testing_support::SharedBlockName().c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, static_cast<off_t>(size)), 0);
    void* view = mmap(nullptr, size, PROT_WRITE, MAP_SHARED, fd, 0);
    std::memset(view, fill, size);
    munmap(view, size);
    close(fd);
  }
};

TEST_F(SharedBlockTest, HoldsEveryPathAndALineFeedThenAZero) {
  EXPECT_EQ(PublishResultList("C:\\out\\a0001.png\nC:\\out\\a0002.png\n"), 1);
  EXPECT_EQ(BlockBytes(36), std::string("C:\\out\\a0001.png\nC:\\out\\a0002.png\n\0", 35) + '\0');
  struct stat info {};
  ASSERT_EQ(stat(("/dev/shm" + testing_support::SharedBlockName()).c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(info.st_size, static_cast<off_t>(kResultBlockSize));
}

TEST_F(SharedBlockTest, AnExistingBlockKeepsWhatLiesPastTheNewText) {
  CreateBlock(kResultBlockSize, 'z');
  EXPECT_EQ(PublishResultList("ab\n"), 1);
  EXPECT_EQ(BlockBytes(6), std::string("ab\n\0zz", 6));
}

TEST_F(SharedBlockTest, TextTooLongIsCutAfterItsLastWholeLine) {
  CreateBlock(16, 'z');  // a reader made the block smaller than ours
  EXPECT_EQ(PublishResultList("line1\nline2\nline3\n"), 1);
  EXPECT_EQ(BlockBytes(16), std::string("line1\nline2\n\0zzz", 16));

  EXPECT_EQ(PublishResultList(std::string(40, 'x') + "\n"), 1);
  EXPECT_EQ(BlockBytes(1), std::string(1, '\0'));

  EXPECT_EQ(PublishResultList("exactly-fifteen"), 1);  // 15 bytes and the zero fit
  EXPECT_EQ(BlockBytes(16), std::string("exactly-fifteen\0", 16));
}

TEST_F(SharedBlockTest, AFullSizeListIsBounded) {
  std::string text;
  while (text.size() < kResultBlockSize + 1000) {
    text += std::string(259, 'p') + "\n";
  }
  EXPECT_EQ(PublishResultList(text), 1);
  const std::string bytes = BlockBytes(kResultBlockSize);
  const size_t zero = bytes.find('\0');
  ASSERT_NE(zero, std::string::npos);
  EXPECT_EQ(zero % 260, 0u);
  EXPECT_EQ(zero, (kResultBlockSize - 1) / 260 * 260);
}

// Only this user's block, only a shared-memory object, and always mode 0600.
TEST_F(SharedBlockTest, OnlyThisUsersOwnBlockIsWrittenAndItStaysPrivate) {
  const std::string name = testing_support::SharedBlockName();
  int fd = shm_open(name.c_str(), O_RDWR | O_CREAT, 0644);
  ASSERT_GE(fd, 0);
  fchmod(fd, 0644);
  close(fd);
  EXPECT_EQ(PublishResultList("x\n"), 1);
  struct stat info {};
  ASSERT_EQ(stat(("/dev/shm" + name).c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);  // a readable block is closed again
  if (getuid() == 0) {
    // Another user's block (made here by handing this one over) is left alone.
    ASSERT_EQ(chown(("/dev/shm" + name).c_str(), 12345, 12345), 0);
    EXPECT_EQ(PublishResultList("secret\n"), 0);
    EXPECT_EQ(BlockBytes(2), std::string("x\n", 2));
  }
  shm_unlink(name.c_str());
  ASSERT_EQ(mkdir(("/dev/shm" + name).c_str(), 0700), 0);  // not a shared-memory object
  EXPECT_EQ(PublishResultList("x\n"), 0);
  rmdir(("/dev/shm" + name).c_str());
}

}  // namespace
