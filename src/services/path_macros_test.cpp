#include "services/path_macros.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "base/text_util.h"
#include "support/test_support.h"
#include "win32/win32.h"

namespace {

std::string ExecutableFolder() {
  char module[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, module, MAX_PATH);
  std::string folder = module;
  return folder.substr(0, FindLastPathSeparator(folder));
}

TEST(PathMacros, ExpandsEachMacroAndFoldsDoubledBackslashes) {
  testing_support::SetEnvironment("TMP", "C:\\Temp\\");
  const std::string pid = std::to_string(getpid());
  struct Case {
    std::string setting;
    std::string expected;
  };
  const Case cases[] = {
      {"%TEMPFOLDER%\\out.png", "C:\\Temp\\out.png"},
      {"%APPFOLDER%\\out\\job%PID%.bmp", ExecutableFolder() + "\\out\\job" + pid + ".bmp"},
      {"C:\\out\\%pid%.png", "C:\\out\\%pid%.png"},
      {"\\\\server\\share\\x.png", "\\server\\share\\x.png"},
      {"D:\\out\\scan.png", "D:\\out\\scan.png"},
      {"%PID%%PID%", pid + pid},
      {"a\\\\\\b\\\\\\\\c", "a\\\\b\\\\c"},  // three become two, four become two
      {"%TEMPFOLDER", "%TEMPFOLDER"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ExpandPathMacros(c.setting), c.expected) << c.setting;
  }
}

TEST(PathMacros, ReplaceAllNeverSearchesWhatItInserted) {
  std::string text = "abab";
  ReplaceAll(text, "ab", "xabx");
  EXPECT_EQ(text, "xabxxabx");
  ReplaceAll(text, "", "y");
  EXPECT_EQ(text, "xabxxabx");
}

}  // namespace
