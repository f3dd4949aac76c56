#include "hooks/command_hooks.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <iterator>
#include <string>

#include "services/diagnostic_log.h"
#include "services/settings.h"
#include "support/test_support.h"

namespace {

using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::ReadTextFile;
using testing_support::TempDir;

// The hooks read option.ini and write outfiles.txt beside the executable: this test's.
class HookTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::remove(GetOptionIniPath().c_str());
    std::remove(ListFile().c_str());
  }
  void TearDown() override { SetUp(); }
  static std::string ListFile() { return PathBesideExecutable("outfiles", ".txt"); }
  static void SetPath(const char* hook, const std::string& value) {
    WritePrivateProfileStringA(hook, "PATH", value.c_str(), GetOptionIniPath().c_str());
  }
  std::string Record() const { return record_ / "record.txt"; }

  TempDir record_;
  const FileList list_ = {"C:\\out\\a0001.png", "", "/tmp/b c.png"};
};

TEST_F(HookTest, AnUnconfiguredHookDoesNothing) {
  EXPECT_EQ(RunHook("RunExe", list_), -1);
  SetPath("RunExe", "");
  EXPECT_EQ(RunHook("RunExe", list_), -1);
  EXPECT_FALSE(FileExists(ListFile()));
}

TEST_F(HookTest, ABareProgramNameIsLookedForBesideTheExecutable) {
  SetPath("RunExe", "quadrine-test-helper record " + Record() + " after");
  EXPECT_EQ(RunHook("RunExe", list_), 1);
  const std::string folder = PathBesideExecutable("", "");
  EXPECT_EQ(ReadTextFile(Record()),
            "after: [" + ListFile() + "]\nC:\\out\\a0001.png\n\n/tmp/b c.png\n");
  EXPECT_EQ(ReadTextFile(ListFile()), "C:\\out\\a0001.png\n\n/tmp/b c.png\n");

  SetPath("RunExe", "missing-helper x");
  EXPECT_EQ(RunHook("RunExe", list_), 0);
  SetPath("RunExe", "\"\" x");  // an empty program: nothing put in front, nothing starts
  EXPECT_EQ(RunHook("RunExe", list_), 0);
}

TEST_F(HookTest, PlaceholdersQuotesAndAbsolutePaths) {
  const std::string helper = PathBesideExecutable("quadrine-test-helper", "");
  // A value that starts and ends with a quote would lose that pair, as on Windows.
  SetPath("RunExeOnEMF",
          "\"" + helper + "\" record \"" + Record() + "\" tag \"two words\" \"/list=%1\" %1");
  EXPECT_EQ(RunHook("RunExeOnEMF", list_), 1);
  const std::string list = ListFile();
  EXPECT_EQ(ReadTextFile(Record()), "tag: [two words] [/list=" + list + "] [" + list +
                                        "]\nC:\\out\\a0001.png\n\n/tmp/b c.png\n");
}

// The C runtime reads "D:\dest\" as D:\dest" and an escaped quote: trailing backslashes
// are doubled inside the quotes, so the program gets the argument as it was written.
TEST_F(HookTest, ArgumentsEndingInBackslashesReachTheProgramUnchanged) {
  const std::string helper = PathBesideExecutable("quadrine-test-helper", "");
  SetPath("RunExe", helper + " record " + Record() + " tag D:\\dest\\ C:\\two\\\\ %1");
  EXPECT_EQ(RunHook("RunExe", list_), 1);
  EXPECT_EQ(ReadTextFile(Record()).substr(0, ReadTextFile(Record()).find('\n')),
            "tag: [D:\\dest\\] [C:\\two\\\\] [" + ListFile() + "]");
}

TEST_F(HookTest, OverlongSettingsAreRefused) {
  const std::string helper = PathBesideExecutable("quadrine-test-helper", "");
  std::string many = helper;
  for (int i = 0; i < 1024; ++i) {
    many += " a";
  }
  const std::string cases[] = {
      "/" + std::string(300, 'p'),            // program path over 259 characters
      helper + " " + std::string(2040, 'x'),  // command over 2047 characters
      many,                                   // 1,025 arguments
  };
  // Each refusal is said in the log.
  WritePrivateProfileStringA("debug", "outlog", "Yes", GetConfigIniPath().c_str());
  std::remove(GetLogFilePath().c_str());
  for (const std::string& setting : cases) {
    SetPath("RunExe", setting);
    EXPECT_EQ(RunHook("RunExe", list_), -1) << setting.substr(0, 40);
  }
  EXPECT_FALSE(FileExists(ListFile()));
  const std::string log = ReadTextFile(GetLogFilePath());
  EXPECT_NE(log.find("RunExe: the program's path is longer than 259 characters"), std::string::npos)
      << log;
  size_t refusals = 0;
  for (size_t at = 0; (at = log.find("and is not run.", at)) != std::string::npos; ++at) {
    ++refusals;
  }
  EXPECT_EQ(refusals, std::size(cases)) << log;
  std::remove(GetConfigIniPath().c_str());
  std::remove(GetLogFilePath().c_str());
}

}  // namespace
