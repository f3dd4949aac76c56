#include "page_output.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "support/spool_builder.h"
#include "support/test_support.h"

namespace {

// The encoders write the temporary file through its descriptor at offsets: what they write
// is there to read back, the descriptor's own position stays put, and a write the file
// refuses (a full disk, a descriptor open for reading) fails.
TEST(DescriptorOutput, WritesAtOffsetsAndSaysWhenTheFileRefuses) {
  const testing_support::TempDir dir;
  const int fd = open((dir / "f").c_str(), O_RDWR | O_CREAT | O_EXCL, 0600);
  ASSERT_GE(fd, 0);
  DescriptorOutput file(fd, dir / "f");
  EXPECT_EQ(file.name(), dir / "f");
  ASSERT_TRUE(file.WriteAt(4, "efgh", 4));
  ASSERT_TRUE(file.WriteAt(0, "abcd", 4));
  char back[16] = {};
  size_t got = 0;
  ASSERT_TRUE(file.ReadAt(2, back, sizeof back, &got));
  EXPECT_EQ(std::string(back, got), "cdefgh");
  EXPECT_EQ(lseek(fd, 0, SEEK_CUR), 0);
  close(fd);
  EXPECT_EQ(testing_support::ReadFile(dir / "f"), "abcdefgh");

  for (const char* refusing : {"/dev/full", "f"}) {
    const std::string path = *refusing == '/' ? std::string(refusing) : dir / refusing;
    const int refused = open(path.c_str(), *refusing == '/' ? O_WRONLY : O_RDONLY);
    ASSERT_GE(refused, 0) << path;
    EXPECT_FALSE(DescriptorOutput(refused, path).WriteAt(0, "x", 1)) << path;
    close(refused);
  }
}

// A page drawn with someone watching counts each of its rows once, in colour (rows streamed to
// the encoder) and in grey (rows gathered into an image first).
TEST(PageProgress, EveryRowOfTheDrawnPageIsCountedOnce) {
  const std::string bytes = testing_support::BoxPage(0x0000FF);
  page::Page page;
  std::string opened;
  ASSERT_TRUE(page::OpenPage(
      std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), {}, page, opened))
      << opened;
  for (const bool grey : {false, true}) {
    const testing_support::TempDir dir;
    OpenTemporary temporary;
    std::string error;
    ASSERT_TRUE(TemporaryBeside(dir / "page.png", temporary, error)) << error;
    ConvertOptions options;
    options.format = "png";
    options.grey = grey;
    PageProgress progress;
    progress.Advance(7);  // what an earlier page left
    EXPECT_EQ(WritePage(page, options, temporary, "title", &progress), "");
    EXPECT_EQ(progress.rows.load(), 1123) << grey;  // A4 at 96 dots per inch
    EXPECT_EQ(progress.rows_done.load(), 1123) << grey;
  }
}

}  // namespace
