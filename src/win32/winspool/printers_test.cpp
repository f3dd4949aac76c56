#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "win32/win32.h"
#include "win32/winspool/printer_store.h"

namespace {

using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

class PrinterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("WINDIR", (windows_ / "windows").c_str(), 1);
    std::filesystem::create_directories(windows_ / "windows/system32/spool");
  }
  void TearDown() override { unsetenv("WINDIR"); }
  std::string PrintersFile() const { return windows_ / "windows/system32/spool/printers.ini"; }

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

}  // namespace
