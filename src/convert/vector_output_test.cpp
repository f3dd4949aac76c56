// Vector pages are created as every output is: exclusively, never through what stands at the
// name, and a page that could not be written leaves no file.
#include "convert/vector_output.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "support/spool_builder.h"
#include "support/test_support.h"

namespace {

using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

TEST(VectorOutput, AFilePlantedAtTheNameIsNeverWrittenThrough) {
  const TempDir dir;
  WriteFile(dir / "page.emf", testing_support::BoxPage(0x0000FF));
  WriteFile(dir / "target.txt", "not to be written through");
  for (const char* extension : {".pdf", ".svg"}) {
    const std::string link = dir / (std::string("link") + extension);
    const std::string taken = dir / (std::string("taken") + extension);
    ASSERT_EQ(symlink((dir / "target.txt").c_str(), link.c_str()), 0);
    WriteFile(taken, "someone else's");
    for (const std::string& staged : {link, taken}) {
      std::string reason;
      EXPECT_FALSE(WriteVectorOutput(dir / "page.emf", staged, extension, ImageSettings{}, reason))
          << staged;
      EXPECT_NE(reason.find("could not be created"), std::string::npos) << reason;
    }
    EXPECT_EQ(ReadFile(dir / "target.txt"), "not to be written through") << extension;
    EXPECT_EQ(ReadFile(taken), "someone else's") << extension;

    // A new name gets the document.
    const std::string fresh = dir / (std::string("fresh") + extension);
    std::string reason;
    ASSERT_TRUE(WriteVectorOutput(dir / "page.emf", fresh, extension, ImageSettings{}, reason))
        << reason;
    EXPECT_EQ(ReadFile(fresh).substr(0, 5), extension == std::string(".pdf") ? "%PDF-" : "<?xml");
  }
}

}  // namespace
