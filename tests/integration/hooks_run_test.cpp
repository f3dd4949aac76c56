// Both hooks in a real run: before conversion on the page files, at the end on the outputs.
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <filesystem>
#include <string>
#include <vector>

#include "integration/installed_converter.h"
#include "support/spool_builder.h"
#include "win32/win32.h"

namespace {

using testing_support::FileExists;
using testing_support::InstalledConverter;
using testing_support::ReadFile;
using testing_support::WriteFile;

std::string Helper() {
  return testing_support::BuildDir() + "/tests/support/quadrine-test-helper";
}

TEST(HooksInARun, RunInOrderWithTheirListFiles) {
  InstalledConverter converter;
  const std::string record = converter.elsewhere() + "/record.txt";
  converter.SetOption("AutoSave", "OutputFile", "C:\\out\\scan.emf");
  converter.SetOption("RunExeOnEMF", "PATH", (Helper() + " record " + record + " before").c_str());
  converter.SetOption("RunExe", "PATH", (Helper() + " record " + record + " after %1").c_str());
  std::filesystem::create_directories(converter / "out");
  WriteFile(converter.elsewhere() + "/a.emf", testing_support::MinimalEmf());
  ASSERT_EQ(converter.Print({"--no-run", "a.emf", "a.emf"}).exitCode, 0);
  shm_unlink(testing_support::SharedBlockName().c_str());
  const auto run = converter.Run();
  EXPECT_EQ(run.exitCode, 0);
  const std::string list = converter / "outfiles.txt";
  // The lists name native paths, which the hooks can open.
  const std::string pages = converter / "out/000010000.emf\n" + converter / "out/000010001.emf\n";
  const std::string outputs = converter / "out/scan0001.emf\n" + converter / "out/scan0002.emf\n";
  EXPECT_EQ(ReadFile(record),
            "before: [" + list + "]\n" + pages + "after: [" + list + "]\n" + outputs);
  EXPECT_EQ(ReadFile(list), outputs);
  EXPECT_EQ(run.out + run.err, "");  // the hooks' output appears nowhere

  // A native OutputFile, with a step back in it, is published as the plain path.
  std::filesystem::create_directories(converter.elsewhere() + "/native");
  converter.SetOption("AutoSave", "OutputFile",
                      (converter.elsewhere() + "/native/../native/page.emf").c_str());
  ASSERT_EQ(converter.Print({"--no-run", "a.emf"}).exitCode, 0);
  EXPECT_EQ(converter.Run().exitCode, 0);
  const std::string native = converter.elsewhere() + "/native/page0001.emf";
  EXPECT_EQ(ReadFile(list), native + "\n");
  EXPECT_TRUE(FileExists(native));
  shm_unlink(testing_support::SharedBlockName().c_str());
}

TEST(HooksInARun, NoPageNoHook) {
  InstalledConverter converter;
  const std::string record = converter.elsewhere() + "/record.txt";
  converter.SetOption("RunExeOnEMF", "PATH", (Helper() + " record " + record + " before").c_str());
  converter.SetOption("RunExe", "PATH", (Helper() + " record " + record + " after").c_str());
  WriteFile(converter / "outfiles.txt", "from an earlier run\n");
  EXPECT_EQ(converter.Run().exitCode, 255);
  EXPECT_FALSE(FileExists(record));
  EXPECT_EQ(ReadFile(converter / "outfiles.txt"), "from an earlier run\n");
}

TEST(HooksInARun, AFailingHookChangesNothing) {
  InstalledConverter converter;
  converter.SetOption("AutoSave", "OutputFile", "C:\\x.emf");
  converter.SetConfig("debug", "outlog", "Yes");
  converter.SetOption("RunExeOnEMF", "PATH", "missing-program --flag");
  converter.SetOption("RunExe", "PATH", (Helper() + " exit 3").c_str());
  WriteFile(converter.elsewhere() + "/a.emf", testing_support::MinimalEmf());
  ASSERT_EQ(converter.Print({"--no-run", "a.emf"}).exitCode, 0);
  shm_unlink(testing_support::SharedBlockName().c_str());
  EXPECT_EQ(converter.Run().exitCode, 0);
  EXPECT_TRUE(FileExists(converter / "x0001.emf"));
  // Each hook's end goes to the log.
  const std::string log = converter.Log();
  EXPECT_NE(log.find("RunExeOnEMF: the command could not be started.\n"), std::string::npos) << log;
  EXPECT_NE(log.find("RunExe: the command exited with 3.\n"), std::string::npos) << log;
  shm_unlink(testing_support::SharedBlockName().c_str());
}

// A list that cannot be written (a full disk, a read-only install folder) skips each hook
// that reads it, and the run says so and fails; the pages are converted all the same.
TEST(HooksInARun, AListThatCannotBeWrittenSkipsItsHooksAndFailsTheRun) {
  QUADRINE_SKIP_WITHOUT_FAULT_SWITCH();
  struct Case {
    bool before;  // RunExeOnEMF configured too
    std::vector<std::string> skipped;
  };
  const Case cases[] = {
      {false, {"RunExe"}},
      {true, {"RunExeOnEMF", "RunExe"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.before ? "both hooks" : "RunExe only");
    InstalledConverter converter;
    const std::string record = converter.elsewhere() + "/record.txt";
    converter.SetOption("AutoSave", "OutputFile", "C:\\x.emf");
    converter.SetConfig("debug", "outlog", "Yes");
    if (c.before) {
      converter.SetOption("RunExeOnEMF", "PATH",
                          (Helper() + " record " + record + " before").c_str());
    }
    converter.SetOption("RunExe", "PATH", (Helper() + " record " + record + " after").c_str());
    WriteFile(converter / "outfiles.txt", "from an earlier run\n");
    WriteFile(converter.elsewhere() + "/a.emf", testing_support::MinimalEmf());
    ASSERT_EQ(converter.Print({"--no-run", "a.emf"}).exitCode, 0);
    shm_unlink(testing_support::SharedBlockName().c_str());
    const auto run = converter.Run({}, {"QUADRINE_FAULT=disk-full:*/outfiles.txt*"});
    shm_unlink(testing_support::SharedBlockName().c_str());
    EXPECT_EQ(run.exitCode, 1);
    const std::string log = converter.Log();
    std::string said;
    for (const std::string& hook : c.skipped) {
      const std::string line = "quadrine: the list of files cannot be written to '" +
                               converter / "outfiles.txt" + "'; the " + hook +
                               " hook, which reads it, was skipped\n";
      EXPECT_NE(log.find(line), std::string::npos) << log;
      said += line;
    }
    EXPECT_EQ(run.err, said);
    EXPECT_FALSE(FileExists(record));  // no hook program started
    EXPECT_TRUE(FileExists(converter / "x0001.emf"));
    EXPECT_EQ(ReadFile(converter / "outfiles.txt"), "from an earlier run\n");
  }
}

}  // namespace

namespace {

// The list's path goes in for %1 before the argument is quoted, so an install folder whose
// name holds a quote, or a link planted at the list's name, changes nothing.
TEST(HooksInARun, TheListPathArrivesWholeAndTheListIsNeverWrittenThroughALink) {
  InstalledConverter converter;
  const std::string folder = converter.elsewhere() + "/in \"quoted\" folder";
  std::filesystem::copy(converter.folder(), folder, std::filesystem::copy_options::recursive);
  const std::string record = converter.elsewhere() + "/record.txt";
  WritePrivateProfileStringA("AutoSave", "OutputFile", "C:\\out\\scan.emf",
                             (folder + "/option.ini").c_str());
  WritePrivateProfileStringA("RunExe", "PATH",
                             (Helper() + " record " + record + " after %1").c_str(),
                             (folder + "/option.ini").c_str());
  std::filesystem::create_directories(folder + "/out");
  WriteFile(converter.elsewhere() + "/victim", "precious");
  std::filesystem::create_symlink(converter.elsewhere() + "/victim", folder + "/outfiles.txt");
  WriteFile(converter.elsewhere() + "/a.emf", testing_support::MinimalEmf());
  ASSERT_EQ(testing_support::RunProgram(folder + "/quadrine-print", {"--no-run", "a.emf"},
                                        converter.elsewhere(), {"WINDIR="})
                .exitCode,
            0);
  shm_unlink(testing_support::SharedBlockName().c_str());
  const auto run =
      testing_support::RunProgram(folder + "/quadrine", {}, converter.elsewhere(),
                                  {"WINDIR=", "QUADRINE_WINVER=", "TMP=" + converter.elsewhere()});
  shm_unlink(testing_support::SharedBlockName().c_str());
  EXPECT_EQ(run.exitCode, 0) << run.err;
  const std::string list = folder + "/outfiles.txt";
  EXPECT_EQ(ReadFile(record), "after: [" + list + "]\n" + folder + "/out/scan0001.emf\n");
  EXPECT_EQ(ReadFile(converter.elsewhere() + "/victim"), "precious");
  EXPECT_FALSE(std::filesystem::is_symlink(list));
}

}  // namespace
