// Every page printed becomes a file once, or stays with a word why: beside a second run,
// after a crash, on a full disk, and with links planted in the way.
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "integration/installed_converter.h"
#include "support/spool_builder.h"

namespace {

using testing_support::FileExists;
using testing_support::InstalledConverter;
using testing_support::MinimalEmf;
using testing_support::ReadFile;
using testing_support::WriteFile;
namespace fs = std::filesystem;

// A page whose bytes say which it is.
std::string Page(int k, uint32_t headerSize = 108) {
  return MinimalEmf(headerSize, 1000 + 10 * k, 1000);
}

// The files of a folder by name, their contents.
std::map<std::string, std::string> Files(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(folder)) {
    files[entry.path().filename().string()] = ReadFile(entry.path().string());
  }
  return files;
}

// How often each of the pages appears among the outputs (EMF output copies a page as it is).
std::vector<int> Appearances(const std::map<std::string, std::string>& outputs, int pages) {
  std::vector<int> seen(static_cast<size_t>(pages), 0);
  for (const auto& [name, bytes] : outputs) {
    for (int k = 0; k < pages; ++k) {
      seen[static_cast<size_t>(k)] += bytes == Page(k) ? 1 : 0;
    }
  }
  return seen;
}

class NoPageLost : public ::testing::Test {
 protected:
  void SetUp() override {
    shm_unlink(testing_support::SharedBlockName().c_str());
    converter_.SetOption("AutoSave", "OutputFile", "C:\\out\\scan.emf");
    fs::create_directories(converter_ / "out");
  }
  void TearDown() override { shm_unlink(testing_support::SharedBlockName().c_str()); }

  // Queues a job of the pages first to first + count - 1 without converting it.
  void PrintJob(int first, int count) const {
    std::vector<std::string> arguments = {"--no-run"};
    for (int k = first; k < first + count; ++k) {
      const std::string name = "p" + std::to_string(k) + ".emf";
      WriteFile(converter_.elsewhere() + "/" + name, Page(k));
      arguments.push_back(name);
    }
    const auto printed = converter_.Print(arguments);
    ASSERT_EQ(printed.exitCode, 0) << printed.err;
  }

  // Nothing is left behind: no spool file, no page file, no half output, no record.
  void ExpectNothingLeft() const {
    EXPECT_TRUE(fs::is_empty(converter_.SpoolFolder()));
    for (const auto& [name, bytes] : Files(converter_ / "out")) {
      EXPECT_TRUE(name.starts_with("scan")) << name;
    }
    EXPECT_FALSE(FileExists(converter_ / "pending-pages.txt"));
  }

  InstalledConverter converter_;
};

TEST_F(NoPageLost, TwoRunsStartedTogetherConvertEveryPageOnce) {
  for (int job = 0; job < 4; ++job) {
    PrintJob(3 * job, 3);
  }
  testing_support::ProcessResult first;
  testing_support::ProcessResult second;
  std::thread a([&] { first = converter_.Run(); });
  std::thread b([&] { second = converter_.Run(); });
  a.join();
  b.join();
  // One run takes what is queued; the other waits for it and finds nothing, or the rest.
  EXPECT_TRUE(first.exitCode == 0 || first.exitCode == 255) << first.err;
  EXPECT_TRUE(second.exitCode == 0 || second.exitCode == 255) << second.err;
  EXPECT_TRUE(first.exitCode == 0 || second.exitCode == 0);
  const auto outputs = Files(converter_ / "out");
  EXPECT_EQ(outputs.size(), 12u);
  EXPECT_EQ(Appearances(outputs, 12), std::vector<int>(12, 1));
  ExpectNothingLeft();
}

TEST_F(NoPageLost, PagesWhoseHeadersDifferInSizeAreAllFound) {
  WriteFile(converter_.elsewhere() + "/a.emf", Page(0, 108));
  WriteFile(converter_.elsewhere() + "/b.emf", Page(1, 88));
  WriteFile(converter_.elsewhere() + "/c.emf", Page(2, 124));
  ASSERT_EQ(converter_.Print({"--no-run", "a.emf", "b.emf", "c.emf", "a.emf"}).exitCode, 0);
  const auto run = converter_.Run();
  EXPECT_EQ(run.exitCode, 0) << run.err;
  const auto outputs = Files(converter_ / "out");
  ASSERT_EQ(outputs.size(), 4u);
  EXPECT_EQ(outputs.at("scan0002.emf"), Page(1, 88));
  EXPECT_EQ(outputs.at("scan0003.emf"), Page(2, 124));
}

// A run killed at each point: the next run finishes its work, and every page ends up
// converted once (the page in flight when the output was placed, at most twice).
TEST_F(NoPageLost, ARunKilledAnywhereLosesNothing) {
  struct Case {
    const char* where;
    const char* fault;
    int at_most_twice;  // the page that may be converted twice, or -1
  };
  const Case cases[] = {
      {"after cutting (the record holds every page)",
       "stop-after:MoveFileExA:*/pending-pages.txt:4", -1},
      {"after the spool file is deleted", "stop-after:DeleteFileA:*.SPL", -1},
      {"after the second output is placed", "stop-after:MoveFileExA:*/out/scan0002.emf", 1},
      {"in the middle of copying the third page", "stop-after:CopyFileA:*/out/~quadrine-*:3", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.where);
    fs::remove_all(converter_ / "out");
    fs::create_directories(converter_ / "out");
    PrintJob(0, 3);
    const auto killed = converter_.Run({}, {std::string("QUADRINE_FAULT=") + c.fault});
    ASSERT_EQ(killed.exitCode, 128 + 9) << killed.err;  // SIGKILL
    const auto next = converter_.Run();
    EXPECT_EQ(next.exitCode, 0) << next.err;
    const std::vector<int> seen = Appearances(Files(converter_ / "out"), 3);
    for (int k = 0; k < 3; ++k) {
      EXPECT_GE(seen[static_cast<size_t>(k)], 1) << "page " << k;
      EXPECT_LE(seen[static_cast<size_t>(k)], k == c.at_most_twice ? 2 : 1) << "page " << k;
    }
    ExpectNothingLeft();
  }
}

TEST_F(NoPageLost, AKilledBitmapNeverSitsUnderAnOutputName) {
  converter_.SetOption("AutoSave", "OutputFile", "C:\\out\\scan.bmp");
  PrintJob(0, 3);
  const auto killed =
      converter_.Run({}, {"QUADRINE_FAULT=stop-after:CreateFileMappingA:*/out/~quadrine-*:2"});
  ASSERT_EQ(killed.exitCode, 128 + 9) << killed.err;
  for (const auto& [name, bytes] : Files(converter_ / "out")) {
    // Whole bitmaps under output names, the rest under names no one takes for an output.
    EXPECT_TRUE(name.starts_with("~quadrine-") || name == "scan0001.bmp" ||
                name.starts_with("00001000"))
        << name;
  }
  const auto next = converter_.Run();
  EXPECT_EQ(next.exitCode, 0) << next.err;
  // Three whole bitmaps (the recovered pages take the next free names after scan0001.bmp).
  const auto outputs = Files(converter_ / "out");
  EXPECT_EQ(outputs.size(), 3u);
  for (const auto& [name, bytes] : outputs) {
    EXPECT_TRUE(name.starts_with("scan") && name.ends_with(".bmp")) << name;
    ASSERT_GE(bytes.size(), 54u) << name;
    EXPECT_EQ(bytes.substr(0, 2), "BM") << name;
    uint32_t declared = 0;
    std::memcpy(&declared, bytes.data() + 2, 4);
    EXPECT_EQ(declared, bytes.size()) << name;
  }
  ExpectNothingLeft();
}

TEST_F(NoPageLost, AFullDiskGivesAFailureAndNoHalfFile) {
  struct Case {
    const char* output;
    const char* full;  // which files the full disk refuses
  };
  const Case cases[] = {
      {"C:\\out\\scan.bmp", "*/out/~quadrine-*"}, {"C:\\out\\scan.png", "*/out/~quadrine-*"},
      {"C:\\out\\scan.emf", "*/out/~quadrine-*"}, {"C:\\out\\scan.wmf", "*/out/~quadrine-*"},
      {"C:\\out\\scan.png", "*/pdf*.tmp.bmp"},  // the temporary folder is full
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.output) + " " + c.full);
    fs::remove_all(converter_ / "out");
    fs::create_directories(converter_ / "out");
    converter_.SetOption("AutoSave", "OutputFile", c.output);
    PrintJob(0, 2);
    const auto run = converter_.Run({}, {std::string("QUADRINE_FAULT=disk-full:") + c.full});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("quadrine: page 1 ("), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("; the page file is kept"), std::string::npos) << run.err;
    // The two page files stay for the user, and nothing else: no half output.
    const auto left = Files(converter_ / "out");
    EXPECT_EQ(left.size(), 2u);
    for (const auto& [name, bytes] : left) {
      EXPECT_TRUE(name.starts_with("0000") && name.ends_with(".emf")) << name;  // page files
    }
  }
}

TEST_F(NoPageLost, APageTooLargeForABitmapIsAFailureNotAFile) {
  converter_.SetOption("AutoSave", "OutputFile", "C:\\out\\scan.bmp");
  converter_.SetOption("AutoSaveOptions", "m_strResolution", "30000");
  WriteFile(converter_.elsewhere() + "/a4.emf", MinimalEmf(108, 21000, 29700));
  ASSERT_EQ(converter_.Print({"--no-run", "a4.emf"}).exitCode, 0);
  const auto run = converter_.Run();
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("quadrine: page 1 ("), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("; the page file is kept"), std::string::npos) << run.err;
  EXPECT_EQ(Files(converter_ / "out").size(), 1u);  // the page file alone
  EXPECT_TRUE(FileExists(converter_ / "out/000010000.emf"));
}

TEST_F(NoPageLost, PlantedLinksAreNeverFollowed) {
  WriteFile(converter_.elsewhere() + "/victim", "precious");
  // A Windows metafile is written into a new file of its own, never through a link.
  converter_.SetOption("AutoSave", "OutputFile", "C:\\out\\meta.wmf");
  fs::create_symlink(converter_.elsewhere() + "/gone.wmf", converter_ / "out/meta0001.wmf");
  PrintJob(5, 1);
  ASSERT_EQ(converter_.Run().exitCode, 0);
  EXPECT_FALSE(FileExists(converter_.elsewhere() + "/gone.wmf"));
  EXPECT_TRUE(FileExists(converter_ / "out/meta0001000.wmf"));
  converter_.SetOption("AutoSave", "OutputFile", "C:\\out\\scan.emf");
  fs::create_symlink(converter_.elsewhere() + "/victim", converter_ / "out/scan0001.emf");
  fs::create_symlink(converter_.elsewhere() + "/gone", converter_ / "out/scan0002.emf");
  fs::create_symlink(converter_.elsewhere() + "/victim", converter_ / "out/000010000.emf");
  PrintJob(0, 2);
  const auto run = converter_.Run();
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(ReadFile(converter_.elsewhere() + "/victim"), "precious");
  EXPECT_FALSE(FileExists(converter_.elsewhere() + "/gone"));
  EXPECT_EQ(ReadFile(converter_ / "out/scan0001000.emf"), Page(0));
  EXPECT_EQ(ReadFile(converter_ / "out/scan0002000.emf"), Page(1));
}

TEST_F(NoPageLost, AMissingOutputFolderIsMadeAndAnUnwritableOneKeepsTheJob) {
  converter_.SetOption("AutoSave", "OutputFile", "C:\\new\\deeper\\scan.emf");
  PrintJob(0, 1);
  auto run = converter_.Run();
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(ReadFile(converter_ / "new/deeper/scan0001.emf"), Page(0));

  WriteFile(converter_ / "afile", "x");  // a file where a folder should be
  converter_.SetOption("AutoSave", "OutputFile", "C:\\afile\\scan.emf");
  PrintJob(1, 1);
  run = converter_.Run();
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("cannot be made or written; the job stays queued"), std::string::npos)
      << run.err;
  EXPECT_TRUE(FileExists(converter_.SpoolFolder() + "/00002.SPL"));
  EXPECT_NE(converter_.Queue().find("Jobs=2\n"), std::string::npos);
}

TEST_F(NoPageLost, AnotherPrintersSpoolFileIsLeftAlone) {
  PrintJob(0, 1);
  WriteFile(converter_.SpoolFolder() + "/00099.SPL",
            ReadFile(converter_.SpoolFolder() + "/00001.SPL"));
  const auto run = converter_.Run();
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(FileExists(converter_.SpoolFolder() + "/00099.SPL"));
  EXPECT_EQ(Files(converter_ / "out").size(), 1u);
}

TEST_F(NoPageLost, ASpoolFileStillBeingWrittenWaitsForALaterRun) {
  PrintJob(0, 2);
  const std::string spool = converter_.SpoolFolder() + "/00001.SPL";
  const std::string whole = ReadFile(spool);
  WriteFile(spool, whole.substr(0, whole.size() - 40));
  auto run = converter_.Run();
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("is still being written"), std::string::npos) << run.err;
  EXPECT_TRUE(fs::is_empty(converter_ / "out"));
  WriteFile(spool, whole);  // the writer finished
  run = converter_.Run();
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(Appearances(Files(converter_ / "out"), 2), std::vector<int>(2, 1));
  ExpectNothingLeft();
}

// The second job is printed while the first is converted (quadrine-print starts a converter
// for each): the second run waits, and every page of both jobs becomes one file.
TEST_F(NoPageLost, TwoJobsPrintedApartGiveEveryPageOnce) {
  converter_.SetOption("AutoSave", "OutputFile", "C:\\out\\scan.png");
  converter_.SetOption("AutoSaveOptions", "m_strResolution", "150");
  std::vector<std::string> first = {"--document", "one"};
  std::vector<std::string> second = {"--document", "two"};
  for (int k = 0; k < 6; ++k) {
    const std::string name = "p" + std::to_string(k) + ".emf";
    WriteFile(converter_.elsewhere() + "/" + name, MinimalEmf(108, 8000, 8000 - 400 * k));
    (k < 3 ? first : second).push_back(name);
  }
  testing_support::ProcessResult a;
  testing_support::ProcessResult b;
  std::thread one([&] { a = converter_.Print(first); });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  std::thread two([&] { b = converter_.Print(second); });
  one.join();
  two.join();
  EXPECT_TRUE(a.exitCode == 0 || a.exitCode == 255) << a.err;
  EXPECT_TRUE(b.exitCode == 0 || b.exitCode == 255) << b.err;
  const auto outputs = Files(converter_ / "out");
  EXPECT_EQ(outputs.size(), 6u);
  std::set<size_t> heights;  // each page's own height shows in its PNG
  for (const auto& [name, bytes] : outputs) {
    ASSERT_EQ(bytes.substr(1, 3), "PNG") << name;
    heights.insert(static_cast<size_t>(static_cast<unsigned char>(bytes[22]) << 8 |
                                       static_cast<unsigned char>(bytes[23])));
  }
  EXPECT_EQ(heights.size(), 6u);
  ExpectNothingLeft();
}

// On a terminal the run ends with one line that sums it up.
TEST_F(NoPageLost, ATerminalGetsASummaryLine) {
  PrintJob(0, 2);
  const auto run = testing_support::RunProgram(
      "/usr/bin/script", {"-qec", converter_ / "quadrine", "/dev/null"}, converter_.elsewhere(),
      {"WINDIR=", "TMP=" + converter_.elsewhere()});
  EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("quadrine: 2 pages converted"), std::string::npos) << run.out;
}

}  // namespace
