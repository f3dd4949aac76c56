// Intake through the stand-in's own files: the queue in printers.ini under WINDIR, and the
// Windows version the stand-in reports (QUADRINE_WINVER), which picks the 9x-family path.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "services/program_values.h"
#include "services/run_report.h"
#include "spool/blank_pages.h"
#include "spool/printer_jobs.h"
#include "spool/spool_collection.h"
#include "support/spool_builder.h"
#include "support/test_support.h"

namespace {

using testing_support::BoxPage;
using testing_support::EmfPage;
using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

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

// A queue that cannot be read is not an empty queue: the run takes no spool file and says so
// (a run failure); a job whose pages are out but whose entry cannot be removed is said to
// stay. Only a missing printer stays silent, as it always was.
TEST_F(QueueTest, AQueueThatCannotBeReadTakesNothingAndSaysSo) {
  const std::string queue = "[Quadrine]\nAttributes=0\nJobs=3,35\n";
  const std::string elsewhere = root_ / "elsewhere.ini";
  const FileList files = {"/s/00003.SPL", "/s/00035.SPL"};
  struct Case {
    const char* what;
    bool linked;  // printers.ini is a link to a queue elsewhere
    const char* printer;
    int taken;
    int reported;
  };
  const Case cases[] = {
      {"readable", false, "Quadrine", 2, 0},
      {"no such printer", false, "Missing", 0, 0},
      {"a link", true, "Quadrine", 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(root_ / "windows/system32/spool/printers.ini");
    WriteFile(elsewhere, queue);
    if (c.linked) {
      std::filesystem::create_symlink(elsewhere, root_ / "windows/system32/spool/printers.ini");
    } else {
      SetQueue(queue);
    }
    Program().printerName = c.printer;
    FileList list = files;
    const int failuresBefore = ReportedFailures();
    EXPECT_EQ(CheckAllSPLFiles(list), c.taken);
    EXPECT_EQ(list.size(), static_cast<size_t>(c.taken == 0 && c.reported ? 0 : 2));
    EXPECT_EQ(DeleteOnePrinterJob(35), c.taken > 0 ? 1 : 0);
    EXPECT_EQ(ReportedFailures() - failuresBefore, 2 * c.reported);
    EXPECT_EQ(ReadFile(elsewhere), queue);
  }
  Program().printerName = "Quadrine";
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
