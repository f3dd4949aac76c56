#include "spool/printer_jobs.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "services/program_values.h"
#include "spool/spool_collection.h"
#include "support/test_support.h"

namespace {

using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

TEST(JobNumber, IsTheNumberFromTheFirstDigitOfTheBaseName) {
  struct Case {
    const char* path;
    int expected;
  };
  const Case cases[] = {
      {"C:\\Windows\\System32\\spool\\PRINTERS\\00012.SPL", 12},
      {"/spool/FP00012.SPL", 12},
      {"12A3.SPL", 12},
      {"export_0000s10.SPL", 0},
      {"C:\\job12\\abc.SPL", -1},
      {"nodigits.SPL", -1},
      {"", -1},
      {"99999999999999999999.SPL", -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(GetJobIDFromFileName(c.path), c.expected) << c.path;
  }
  EXPECT_EQ(DeleteOnePrinterJobBySPLFile(""), -1);
  EXPECT_EQ(DeleteOnePrinterJobBySPLFile("/x/nodigits.SPL"), 0);
}

class QueueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing_support::SetEnvironment("WINDIR", (root_ / "windows").c_str());
    std::filesystem::create_directories(root_ / "windows/system32/spool");
    Program().printerName = "Quadrine";
  }
  void TearDown() override { testing_support::SetEnvironment("WINDIR", nullptr); }
  void SetQueue(const std::string& text) const {
    WriteFile(root_ / "windows/system32/spool/printers.ini", text);
  }
  std::string Queue() const { return ReadFile(root_ / "windows/system32/spool/printers.ini"); }

  TempDir root_;
};

TEST_F(QueueTest, DeletesOnlyTheNamedJob) {
  SetQueue("[Quadrine]\nAttributes=0\nJobs=3,12,4\n");
  EXPECT_EQ(DeleteOnePrinterJobBySPLFile("/spool/00012.SPL"), 1);
  EXPECT_EQ(Queue(), "[Quadrine]\nAttributes=0\nJobs=3,4\n");
  EXPECT_EQ(DeleteOnePrinterJob(99), 1);  // not queued: not an error
  SetQueue("[Quadrine]\nAttributes=0\nJobs=\n");
  EXPECT_EQ(DeleteOnePrinterJob(3), 1);
  Program().printerName = "Missing";
  EXPECT_EQ(DeleteOnePrinterJob(3), 0);
}

TEST_F(QueueTest, OnlyThisPrintersQueuedSpoolFilesAreTaken) {
  const FileList files = {"/s/00003.SPL", "/s/00004.SPL", "/s/nodigits.SPL", "/s/00035.SPL"};
  struct Case {
    const char* queue;
    int expected;
    FileList kept;
  };
  const Case cases[] = {
      {"[Quadrine]\nAttributes=256\nJobs=35,3\n", 2, {"/s/00003.SPL", "/s/00035.SPL"}},
      {"[Quadrine]\nAttributes=0\nJobs=35\n", 1, {"/s/00035.SPL"}},  // others' stay
      {"[Quadrine]\nAttributes=256\nJobs=\n", 0, files},
      {"[Other]\nJobs=3\n", 0, files},
  };
  for (const Case& c : cases) {
    SetQueue(c.queue);
    FileList list = files;
    EXPECT_EQ(CheckAllSPLFiles(list), c.expected) << c.queue;
    EXPECT_EQ(list, c.kept) << c.queue;
  }
}

TEST(FileNamePrefix, ComparesBaseNamesWithoutRegardToCase) {
  const FileList list = {"/out/000120000.emf", "C:\\out\\Abc0001.emf"};
  EXPECT_EQ(FindFileNamePrefix("00012", list), 1);
  EXPECT_EQ(FindFileNamePrefix("aBC", list), 1);
  EXPECT_EQ(FindFileNamePrefix("out", list), 0);
  EXPECT_EQ(FindFileNamePrefix("", list), 0);
}

}  // namespace
