#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "win32/win32.h"
#include "win32/winspool/printer_store.h"

namespace {

using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;
namespace fs = std::filesystem;

class PrinterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("WINDIR", (windows_ / "windows").c_str(), 1);
    std::filesystem::create_directories(windows_ / "windows/system32/spool");
  }
  void TearDown() override { unsetenv("WINDIR"); }
  std::string PrintersFile() const { return windows_ / "windows/system32/spool/printers.ini"; }
  std::string LockFile() const { return PrintersFile() + ".lock"; }

  TempDir windows_;
};

std::vector<DWORD> QueuedJobs(HANDLE printer, DWORD* attributes) {
  DWORD needed = 0;
  EXPECT_FALSE(GetPrinterA(printer, 2, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  std::vector<BYTE> info(needed);
  EXPECT_TRUE(GetPrinterA(printer, 2, info.data(), needed, &needed));
  const auto* printer_info = reinterpret_cast<const PRINTER_INFO_2A*>(info.data());
  *attributes = printer_info->Attributes;

  DWORD returned = 0;
  EnumJobsA(printer, 0, printer_info->cJobs, 2, nullptr, 0, &needed, &returned);
  std::vector<BYTE> jobs(needed);
  EXPECT_TRUE(
      EnumJobsA(printer, 0, printer_info->cJobs, 2, jobs.data(), needed, &needed, &returned));
  std::vector<DWORD> ids;
  for (DWORD i = 0; i < returned; ++i) {
    ids.push_back(reinterpret_cast<const JOB_INFO_2A*>(jobs.data())[i].JobId);
  }
  return ids;
}

TEST_F(PrinterTest, OpensOnlyPrintersWithASection) {
  HANDLE printer = nullptr;
  char name[] = "Quadrine";
  EXPECT_FALSE(OpenPrinterA(name, &printer, nullptr));  // no printers file yet
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));
  WriteFile(PrintersFile(), "[Office]\nAttributes=0\nJobs=\n");
  EXPECT_FALSE(OpenPrinterA(name, &printer, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));
  char office[] = "office";
  ASSERT_TRUE(OpenPrinterA(office, &printer, nullptr));
  EXPECT_FALSE(CloseHandle(printer));
  EXPECT_TRUE(ClosePrinter(printer));
  EXPECT_FALSE(ClosePrinter(printer));
}

TEST_F(PrinterTest, ListsAndDeletesJobs) {
  WriteFile(PrintersFile(),
            "; queue\n[Quadrine]\nAttributes=256\nJobs=12, 7,13\n[Other]\nJobs=1\n");
  HANDLE printer = nullptr;
  char name[] = "Quadrine";
  ASSERT_TRUE(OpenPrinterA(name, &printer, nullptr));
  DWORD attributes = 0;
  EXPECT_EQ(QueuedJobs(printer, &attributes), (std::vector<DWORD>{12, 7, 13}));
  EXPECT_EQ(attributes, static_cast<DWORD>(PRINTER_ATTRIBUTE_KEEPPRINTEDJOBS));

  EXPECT_TRUE(SetJobA(printer, 7, 0, nullptr, JOB_CONTROL_DELETE));
  EXPECT_FALSE(SetJobA(printer, 7, 0, nullptr, JOB_CONTROL_CANCEL));  // already gone
  EXPECT_FALSE(SetJobA(printer, 12, 0, nullptr, JOB_CONTROL_PAUSE));
  EXPECT_EQ(QueuedJobs(printer, &attributes), (std::vector<DWORD>{12, 13}));
  EXPECT_EQ(ReadFile(PrintersFile()),
            "; queue\n[Quadrine]\nAttributes=256\nJobs=12,13\n[Other]\nJobs=1\n");
  ClosePrinter(printer);
}

TEST_F(PrinterTest, AnEmptyQueueNeedsNoBuffer) {
  WriteFile(PrintersFile(), "[Quadrine]\nAttributes=0\nJobs=\n");
  HANDLE printer = nullptr;
  char name[] = "Quadrine";
  ASSERT_TRUE(OpenPrinterA(name, &printer, nullptr));
  DWORD needed = 1;
  DWORD returned = 1;
  EXPECT_TRUE(EnumJobsA(printer, 0, 0, 2, nullptr, 0, &needed, &returned));
  EXPECT_EQ(needed, 0u);
  EXPECT_EQ(returned, 0u);
  ClosePrinter(printer);
}

TEST_F(PrinterTest, ConcurrentChangesLoseNoJob) {
  constexpr int kJobsEach = 150;
  std::vector<pid_t> children;
  for (int process = 0; process < 2; ++process) {
    const pid_t child = fork();
    if (child == 0) {
      for (int i = 0; i < kJobsEach; ++i) {
        win32::spooler::ChangePrinter("Quadrine", true, [&](win32::spooler::PrinterRecord& p) {
          p.jobs.push_back(static_cast<DWORD>(process * 1000 + i));
          return true;
        });
      }
      _exit(0);
    }
    children.push_back(child);
  }
  for (const pid_t child : children) {
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_EQ(status, 0);
  }
  const auto record = win32::spooler::ReadPrinter("Quadrine");
  ASSERT_TRUE(record);
  EXPECT_EQ(record->jobs.size(), 2u * kJobsEach);
}

bool AddJob(DWORD job) {
  return win32::spooler::ChangePrinter("Quadrine", true, [&](win32::spooler::PrinterRecord& p) {
    p.jobs.push_back(job);
    return true;
  });
}

TEST_F(PrinterTest, APlantedLinkIsNeverReadOrWrittenThrough) {
  const std::string victim = windows_ / "victim";
  const std::string queue = "[Quadrine]\nAttributes=0\nJobs=1\n";
  for (const std::string& link : {PrintersFile(), LockFile()}) {
    SCOPED_TRACE(link);
    fs::remove(PrintersFile());
    fs::remove(LockFile());
    WriteFile(victim, queue);
    if (link != PrintersFile()) {
      WriteFile(PrintersFile(), queue);
    }
    fs::create_symlink(victim, link);
    SetLastError(0);
    EXPECT_FALSE(win32::spooler::ReadPrinter("Quadrine"));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANT_RESOLVE_FILENAME));
    HANDLE printer = nullptr;
    char name[] = "Quadrine";
    EXPECT_FALSE(OpenPrinterA(name, &printer, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANT_RESOLVE_FILENAME));
    EXPECT_FALSE(AddJob(2));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CANT_RESOLVE_FILENAME));
    EXPECT_EQ(ReadFile(victim), queue);
    EXPECT_TRUE(fs::is_symlink(link));
  }
}

// A change replaces printers.ini whole, so a crash in the middle leaves the old or the new
// queue; the new file keeps the old one's mode and owner, and nothing else is left beside it.
TEST_F(PrinterTest, AChangeReplacesTheFileKeepingItsModeAndOwner) {
  WriteFile(PrintersFile(), "[Quadrine]\nAttributes=0\nJobs=1\n");
  chmod(PrintersFile().c_str(), 0640);
  const bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(chown(PrintersFile().c_str(), 12345, 23456), 0);
  }
  struct stat before {};
  ASSERT_EQ(stat(PrintersFile().c_str(), &before), 0);
  ASSERT_TRUE(AddJob(2));
  struct stat after {};
  ASSERT_EQ(stat(PrintersFile().c_str(), &after), 0);
  EXPECT_NE(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_mode & 07777, 0640u);
  if (root) {
    EXPECT_EQ(after.st_uid, 12345u);
    EXPECT_EQ(after.st_gid, 23456u);
  }
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(fs::path(PrintersFile()).parent_path())) {
    names.insert(entry.path().filename().string());
  }
  EXPECT_EQ(names, (std::set<std::string>{"printers.ini", "printers.ini.lock"}));
}

// The fault switch is read once a process: a case that needs its own setting runs alone in a
// fresh copy of this test program.
bool RunAloneWithFault(const std::string& test, const std::string& fault) {
  const auto run =
      testing_support::RunProgram(fs::read_symlink("/proc/self/exe"), {"--gtest_filter=" + test},
                                  "/", {"QUADRINE_FAULT=" + fault});
  EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
  return run.exitCode == 0 && run.out.find("[  PASSED  ] 1 test") != std::string::npos;
}

// Anyone who can read the lock file can hold it; the wait for it gives up after the lock-wait
// time with ERROR_TIMEOUT, and nothing is changed.
TEST_F(PrinterTest, TheWaitForAHeldLockIsBounded) {
  QUADRINE_SKIP_WITHOUT_FAULT_SWITCH();
  if (std::getenv("QUADRINE_FAULT") == nullptr) {
    EXPECT_TRUE(RunAloneWithFault("PrinterTest.TheWaitForAHeldLockIsBounded", "lock-wait:300"));
    return;
  }
  const std::string queue = "[Quadrine]\nAttributes=0\nJobs=1\n";
  WriteFile(PrintersFile(), queue);
  WriteFile(LockFile(), "");
  HANDLE opened = nullptr;
  char name[] = "Quadrine";
  ASSERT_TRUE(OpenPrinterA(name, &opened, nullptr));
  // Held through a read-only descriptor, as a user who may only read the file would hold it.
  const int holder = open(LockFile().c_str(), O_RDONLY);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(flock(holder, LOCK_EX), 0);
  struct Case {
    const char* call;
    std::function<bool()> succeeded;
  };
  const Case cases[] = {
      {"ReadPrinter", [] { return win32::spooler::ReadPrinter("Quadrine").has_value(); }},
      {"ChangePrinter", [] { return AddJob(2); }},
      {"OpenPrinterA",
       [&] {
         HANDLE printer = nullptr;
         return OpenPrinterA(name, &printer, nullptr) != FALSE;
       }},
      {"SetJobA", [&] { return SetJobA(opened, 1, 0, nullptr, JOB_CONTROL_DELETE) != FALSE; }},
  };
  for (const Case& c : cases) {
    const auto start = std::chrono::steady_clock::now();
    SetLastError(0);
    EXPECT_FALSE(c.succeeded()) << c.call;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_TIMEOUT)) << c.call;
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(300)) << c.call;
    EXPECT_LT(waited, std::chrono::seconds(10)) << c.call;
  }
  EXPECT_EQ(ReadFile(PrintersFile()), queue);
  close(holder);
  EXPECT_TRUE(AddJob(2));  // free again
  ClosePrinter(opened);
}

// Job numbers stay in 1..2^31-1: after the counter, wrapping to 1, past every number queued on
// any printer or taken otherwise (a spool file of that number); a counter out of range, as a
// stray number left it, restarts at 1. Adding the job moves the counter on to it.
TEST_F(PrinterTest, JobNumbersStayInRangeAndSkipNumbersInUse) {
  struct Case {
    const char* queue;
    std::set<DWORD> taken;
    DWORD expected;
  };
  const Case cases[] = {
      {"", {}, 1},
      {"[(spooler)]\nLastJob=5\n", {}, 6},
      {"[(spooler)]\nLastJob=5\n[Quadrine]\nJobs=6\n[Other]\nJobs=7\n", {8}, 9},
      {"[(spooler)]\nLastJob=2147483646\n", {}, 2147483647},
      {"[(spooler)]\nLastJob=2147483647\n[Quadrine]\nJobs=1,2\n[Other]\nJobs=3\n", {4}, 5},
      {"[(spooler)]\nLastJob=3000000000\n[Quadrine]\nJobs=3000000000,1\n", {}, 2},
      {"[(spooler)]\nLastJob=4294967296\n", {1, 2}, 3},
      {"[(spooler)]\nLastJob=junk\n", {}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.queue);
    WriteFile(PrintersFile(), c.queue);
    DWORD given = 0;
    ASSERT_TRUE(
        win32::spooler::ChangePrinter("Quadrine", true, [&](win32::spooler::PrinterRecord& p) {
          given = p.NextJob([&](DWORD number) { return c.taken.contains(number); });
          p.jobs.push_back(given);
          return true;
        }));
    EXPECT_EQ(given, c.expected);
    const std::string queue = ReadFile(PrintersFile());
    EXPECT_NE(queue.find("LastJob=" + std::to_string(c.expected) + "\n"), std::string::npos)
        << queue;
  }
}

}  // namespace
