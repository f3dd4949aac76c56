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

TEST(PathMacros, TheRunsNamesDateAndTimeAndLeavesTheJobsAndUnknownOnes) {
  const std::string expanded =
      ExpandPathMacros("C:\\out\\%USERNAME%\\%DATE%_%TIME%-%DOCNAME%-%JOBID%-%date%-%NOPE%.png");
  char user[UNLEN + 1] = {};
  DWORD size = sizeof user;
  ASSERT_TRUE(GetUserNameA(user, &size));
  ASSERT_EQ(size, std::string(user).size() + 1);
  const std::string prefix = "C:\\out\\" + SafeDocumentName(user) + "\\";
  ASSERT_EQ(expanded.substr(0, prefix.size()), prefix);
  const std::string rest = expanded.substr(prefix.size());
  // YYYY-MM-DD_HHMMSS, then what is not the run's to expand.
  ASSERT_EQ(rest.size(), 17 + std::string("-%DOCNAME%-%JOBID%-%date%-%NOPE%.png").size()) << rest;
  for (size_t i : {4u, 7u}) {
    EXPECT_EQ(rest[i], '-') << rest;
  }
  EXPECT_EQ(rest[10], '_') << rest;
  for (size_t i = 0; i < 17; ++i) {
    if (i != 4 && i != 7 && i != 10) {
      EXPECT_TRUE(rest[i] >= '0' && rest[i] <= '9') << rest;
    }
  }
  EXPECT_EQ(rest.substr(17), "-%DOCNAME%-%JOBID%-%date%-%NOPE%.png");
  SYSTEMTIME now{};
  GetLocalTime(&now);
  EXPECT_GE(now.wMonth, 1);
  EXPECT_LE(now.wMonth, 12);
  EXPECT_EQ(std::stoi(rest.substr(0, 4)), now.wYear);  // a run at midnight on New Year aside
}

TEST(PathMacros, AJobsValuesNeverLeaveTheFolderBeforeThem) {
  struct Case {
    std::string path;
    unsigned long number;
    std::string document;
    std::string expanded;
  };
  const Case cases[] = {
      {"C:\\out\\%DOCNAME%.pdf", 12, "Quarterly report.docx", "C:\\out\\Quarterly report.docx.pdf"},
      {"C:\\out\\%DOCNAME%\\p%JOBID%.png", 7, "..\\..\\x", "C:\\out\\x\\p7.png"},
      {"C:\\out\\%DOCNAME%\\p.png", 7, "/etc/passwd", "C:\\out\\passwd\\p.png"},
      {"C:\\out\\%DOCNAME%\\p.png", 7, "C:\\Windows\\", "C:\\out\\document\\p.png"},
      {"C:\\out\\%DOCNAME%\\p.png", 7, "..", "C:\\out\\document\\p.png"},
      {"C:\\out\\%DOCNAME%.pdf", 7, "CON", "C:\\out\\_CON.pdf"},
      {"C:\\out\\LPT%JOBID%\\p.png", 1, "", "C:\\out\\_LPT1\\p.png"},
      {"C:\\out\\%DOCNAME%-%JOBID%.tif", 0, "", "C:\\out\\document-0.tif"},
      {"C:\\out\\%DOCNAME%.pdf", 3, std::string(5000, 'a'),
       "C:\\out\\" + std::string(64, 'a') + ".pdf"},
      {"C:\\out\\%DOCNAME%.pdf", 3, "tab\there\x01\xFF\xFE", "C:\\out\\tabhere.pdf"},
      {"C:\\out\\page.png", 3, "x", "C:\\out\\page.png"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ExpandJobMacros(c.path, PrintJob{c.number, c.document}), c.expanded)
        << c.path << " " << c.document;
  }
}

TEST(PathMacros, TheFolderBeforeAJobsMacroTakesEveryJob) {
  const std::pair<std::string, std::string> cases[] = {
      {"C:\\out\\2026-12-09-%DOCNAME%\\p.png", "C:\\out\\"},
      {"C:\\out\\%DOCNAME%.pdf", "C:\\out\\"},
      {"/srv/out/a/%JOBID%/b/%DOCNAME%/p.png", "/srv/out/a/"},
      {"C:\\out\\p.png", "C:\\out\\p.png"},
      {"%DOCNAME%.pdf", ""},
  };
  for (const auto& [path, folder] : cases) {
    EXPECT_EQ(PathBeforeJobMacros(path), folder) << path;
    EXPECT_EQ(HasJobMacros(path), path != folder) << path;
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
