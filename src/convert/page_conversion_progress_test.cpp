// The progress window as the converter drives it, read through the stand-in's terminal view.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "convert/page_conversion_test.h"
#include "win32/stand_in.h"

namespace {

using conversion_testing::ConversionTest;
using testing_support::TempDir;

TEST_F(ConversionTest, ProgressCountsPagesAndAnEmptyListStillWritesTheKeys) {
  std::FILE* view = std::tmpfile();
  win32::user::SetTerminalViewStream(view);
  Program().showBar = 1;
  FileList empty;
  ConvertPages(dir_ / "doc.emf", empty);
  EXPECT_EQ(Program().progressWindow, nullptr);  // nothing reported
  char text[64];
  GetPrivateProfileStringA("AutoSaveOptions", "AddFileNameSuffix", "?", text, 64,
                           Program().settingsPath.c_str());
  EXPECT_STREQ(text, "%04d");
  const TempDir out;
  FileList five = Pages(5);
  ConvertPages(out / "doc.emf", five);
  std::fflush(view);
  std::rewind(view);
  std::string shown;
  char buffer[4096];
  for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, view)) > 0;) {
    shown.append(buffer, got);
  }
  for (const char* step :
       {"] 0% Convert page #1...", "] 20% Convert page #2...", "] 40% Convert page #3...",
        "] 60% Convert page #4...", "] 80% Convert page #5..."}) {
    EXPECT_NE(shown.find(step), std::string::npos) << step;
  }
  EXPECT_EQ(shown.find("100%"), std::string::npos);
  win32::user::SetTerminalViewStream(nullptr);
  std::fclose(view);
  Program().showBar = 0;
}

}  // namespace
