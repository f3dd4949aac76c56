#include "spool/blank_pages.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "services/program_values.h"
#include "support/spool_builder.h"
#include "support/test_support.h"

namespace {

using testing_support::EmfPage;
using testing_support::EmfRecord;
using testing_support::FileExists;
using testing_support::TempDir;
using testing_support::WriteFile;

// A filled box in one colour, with no outline.
std::string BoxPage(uint32_t color, int32_t frameRight = 21000, int32_t frameBottom = 29700) {
  return EmfPage(EmfRecord(39, {1, 0, color, 0}) + EmfRecord(37, {1}) +
                     EmfRecord(37, {0x80000008}) + EmfRecord(43, {100, 100, 400, 400}),
                 frameRight, frameBottom);
}

int BlankTest(const std::string& bytes) {
  TempDir dir;
  WriteFile(dir / "p.emf", bytes);
  HENHMETAFILE metafile = GetEnhMetaFileA((dir / "p.emf").c_str());
  EXPECT_NE(metafile, nullptr);
  const int blank = IsBlankEMFPage(metafile);
  DeleteEnhMetaFile(metafile);
  return blank;
}

TEST(BlankPage, OnlyWhatStaysBlackInBlackAndWhiteCounts) {
  struct Case {
    const char* name;
    std::string page;
    int blank;
  };
  const Case cases[] = {
      {"black box", BoxPage(0x000000), 0},
      {"dark red box", BoxPage(0x000080), 0},
      {"light yellow box turns white", BoxPage(0xC0FFFF), 1},
      {"no drawing", EmfPage(""), 1},
      {"drawing outside the frame", EmfPage(EmfRecord(43, {5000, 5000, 5100, 5100})), 1},
      {"frame under 1.5 screen pixels wide", BoxPage(0, 30, 29700), 1},
      {"frame under 1.5 screen pixels high", BoxPage(0, 21000, 30), 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BlankTest(c.page), c.blank) << c.name;
  }
  EXPECT_EQ(IsBlankEMFPage(nullptr), 1);
}

TEST(BlankPage, LoadDropsBlankPagesAndKeepsTheRestInOrder) {
  TempDir root;
  const std::string temp = root / "temp";
  const std::string out = root / "out";
  std::filesystem::create_directories(temp);
  std::filesystem::create_directories(out);
  testing_support::SetEnvironment("TMP", temp.c_str());
  testing_support::SetEnvironment("QUADRINE_WINVER",
                                  "0xC0000A04");  // pages from the temporary folder, no waits
  Program().showBar = 0;
  WriteFile(temp + "/~emf1.tmp", BoxPage(0));
  WriteFile(temp + "/~emf2.tmp", EmfPage(""));
  WriteFile(temp + "/~emf3.tmp", "not a metafile");
  WriteFile(temp + "/~emf4.tmp", BoxPage(0xFF0000));
  FileList list{"earlier.emf"};
  LoadSpoolingFiles(0, out, list);
  EXPECT_EQ(list, (FileList{"earlier.emf", out + "/~emf10000.emf", out + "/~emf30002.emf",
                            out + "/~emf40003.emf"}));
  EXPECT_FALSE(FileExists(out + "/~emf20001.emf"));
  EXPECT_TRUE(FileExists(out + "/~emf30002.emf"));
  testing_support::SetEnvironment("QUADRINE_WINVER", nullptr);
  testing_support::SetEnvironment("TMP", nullptr);
}

}  // namespace
