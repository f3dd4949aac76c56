#include "spool/blank_pages.h"

#include <gtest/gtest.h>

#include <string>

#include "support/spool_builder.h"
#include "support/test_support.h"

namespace {

using testing_support::BoxPage;
using testing_support::EmfPage;
using testing_support::EmfRecord;
using testing_support::TempDir;
using testing_support::WriteFile;

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
    bool stand_in_only;  // Windows dithers a light colour into a 1-bit bitmap instead
  };
  const Case cases[] = {
      {"black box", BoxPage(0x000000), 0, false},
      {"dark red box", BoxPage(0x000080), 0, false},
      {"light yellow box turns white", BoxPage(0xC0FFFF), 1, true},
      {"no drawing", EmfPage(""), 1, false},
      {"drawing outside the frame", EmfPage(EmfRecord(43, {5000, 5000, 5100, 5100})), 1, false},
      {"frame under 1.5 screen pixels wide", BoxPage(0, 30, 29700), 1, false},
      {"frame under 1.5 screen pixels high", BoxPage(0, 21000, 30), 1, false},
  };
  for (const Case& c : cases) {
    if (c.stand_in_only && testing_support::WithoutStandIn() != nullptr) {
      continue;
    }
    EXPECT_EQ(BlankTest(c.page), c.blank) << c.name;
  }
  EXPECT_EQ(IsBlankEMFPage(nullptr), 1);
}

}  // namespace
