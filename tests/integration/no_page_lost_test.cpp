// Every page printed becomes a file once, or stays with a word why: beside a second run,
// after a crash, on a full disk, and with links planted in the way.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
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

// The number of a process that has ended.
unsigned GoneProcessId() {
  const pid_t child = fork();
  if (child == 0) {
    _exit(0);
  }
  waitpid(child, nullptr, 0);
  return static_cast<unsigned>(child);
}

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

  // Nothing is left behind: no spool file, no page file, no half output, no record, no
  // temporary file, no half rewrite of the program's own files.
  void ExpectNothingLeft() const {
    EXPECT_TRUE(fs::is_empty(converter_.SpoolFolder()));
    for (const auto& [name, bytes] : Files(converter_ / "out")) {
      EXPECT_TRUE(name.starts_with("scan")) << name;
    }
    for (const auto& [name, bytes] : Files(converter_.elsewhere())) {
      EXPECT_FALSE(name.starts_with("quadrine-")) << name;  // the temporary folder's
    }
    for (const auto& [name, bytes] : Files(converter_.folder())) {
      EXPECT_FALSE(name.starts_with("pending-pages.txt") || name.starts_with("outfiles.txt.~"))
          << name;
    }
  }

  // A recovery record as a run that died would have left it, with these lines after its first.
  void PlantRecord(unsigned processId, const std::string& lines, mode_t mode = 0600,
                   const std::string& stagingFolder = {}) const {
    const std::string record = converter_ / "pending-pages.txt";
    const std::string folder = stagingFolder.empty() ? converter_ / "out/" : stagingFolder;
    WriteFile(record,
              "run\t" + std::to_string(processId) + "\t" + folder + "\t" + record + "\n" + lines);
    chmod(record.c_str(), mode);
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

// A run killed at each point: the next run finishes its work, every page ends up converted
// once (the page in flight when the output was placed, at most twice), and nothing of the
// killed run stays: no torn record, no page file, no staging or temporary file.
TEST_F(NoPageLost, ARunKilledAnywhereLosesNothing) {
  QUADRINE_SKIP_WITHOUT_FAULT_SWITCH();
  struct Case {
    const char* where;
    const char* fault;
    int at_most_twice = -1;  // the page that may be converted twice
    const char* output = "C:\\out\\scan.emf";
    int next_exit = 0;            // what the next run answers
    const char* resolution = "";  // the killed run's resolution setting
  };
  const Case cases[] = {
      {"after the record is started", "stop-after:MoveFileExA:*/pending-pages.txt"},
      {"after a page is recorded, before it is made",
       "stop-after:WriteFile:*/pending-pages.txt.~*:3"},
      {"in the middle of a line of the record", "stop-within:WriteFile:*/pending-pages.txt.~*:4"},
      {"after cutting (the record holds every page)",
       "stop-after:WriteFile:*/pending-pages.txt.~*:4"},
      {"after a page file is made, before it is written",
       "stop-after:CreateFileA:*/out/0*0001.emf"},
      {"after the spool file is deleted", "stop-after:DeleteFileA:*.SPL"},
      {"after the second output is placed", "stop-after:MoveFileExA:*/out/scan0002.emf", 1},
      {"in the middle of copying the third page", "stop-after:CopyFileA:*/out/~quadrine-*:3"},
      {"after an empty staging file is made", "stop-after:CreateFileA:*/out/~quadrine-*:2", -1,
       "C:\\out\\scan.wmf"},
      {"while a page's image is written", "stop-after:WriteFile:*/out/~quadrine-*:2", -1,
       "C:\\out\\scan.png"},
      // A page past one band is drawn in a temporary file.
      {"after a temporary name is reserved", "stop-after:CreateFileA:*/quadrine-*.tmp", -1,
       "C:\\out\\scan.png", 0, "11100"},
      {"after a temporary bitmap is made", "stop-after:CreateFileA:*/quadrine-*.tmp.bmp", -1,
       "C:\\out\\scan.png", 0, "11100"},
      {"while the list of created files is written", "stop-after:CreateFileA:*/outfiles.txt.~*", -1,
       "C:\\out\\scan.emf", 255},
  };
  converter_.SetOption("RunExe", "PATH", "/bin/true");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.where);
    fs::remove_all(converter_ / "out");
    fs::create_directories(converter_ / "out");
    converter_.SetOption("AutoSave", "OutputFile", c.output);
    converter_.SetOption("AutoSaveOptions", "m_strResolution", c.resolution);
    PrintJob(0, 3);
    const auto killed = converter_.Run({}, {std::string("QUADRINE_FAULT=") + c.fault});
    ASSERT_EQ(killed.exitCode, 128 + 9) << killed.err;  // SIGKILL
    converter_.SetOption("AutoSaveOptions", "m_strResolution", "");
    const auto next = converter_.Run();
    EXPECT_EQ(next.exitCode, c.next_exit) << next.err;
    EXPECT_EQ(next.err.find("left alone"), std::string::npos) << next.err;
    const auto outputs = Files(converter_ / "out");
    if (std::string(c.output).ends_with(".emf")) {
      const std::vector<int> seen = Appearances(outputs, 3);
      for (int k = 0; k < 3; ++k) {
        EXPECT_GE(seen[static_cast<size_t>(k)], 1) << "page " << k;
        EXPECT_LE(seen[static_cast<size_t>(k)], k == c.at_most_twice ? 2 : 1) << "page " << k;
      }
    } else {
      EXPECT_EQ(outputs.size(), 3u);
    }
    ExpectNothingLeft();
  }
}

// A record the program did not write, or entries of it that name what the program did not
// make, are ignored with a word: nothing they name is deleted, moved or swept, and the job
// printed beside them is converted as usual.
TEST_F(NoPageLost, APlantedRecordTouchesNothing) {
  const unsigned gone = GoneProcessId();
  const std::string elsewhere = converter_.elsewhere();
  const std::string out = converter_ / "out";
  struct Case {
    const char* what;
    std::string lines;
    std::vector<std::string> kept;  // files that must stay as they are
    std::string stagingFolder;      // the record's, when not the output folder
  };
  const std::string stagingName = "~quadrine-" + std::to_string(gone) + "-0.part.png";
  const Case cases[] = {
      {"any file, its 'spool file' surviving",
       "page\t" + elsewhere + "/victim.txt\t" + elsewhere + "/other.doc\n",
       {elsewhere + "/victim.txt", elsewhere + "/other.doc"},
       ""},
      {"an EMF page under a name this program never gives",
       "page\t" + elsewhere + "/report.emf\t\n",
       {elsewhere + "/report.emf"},
       ""},
      {"a page file whose 'spool file' is outside the spool folder",
       "page\t" + out + "/000050000.emf\t" + elsewhere + "/00005.SPL\n",
       {out + "/000050000.emf", elsewhere + "/00005.SPL"},
       ""},
      {"staging names in a folder no page of the record is in",
       "page\t" + elsewhere + "/victim.txt\t\n",
       {elsewhere + "/" + stagingName},
       elsewhere + "/"},
      {"temporary files that are not the dead run's",
       "temp\t" + (converter_ / "keep.tmp") + "\ntemp\t" + elsewhere + "/quadrine-1-0.tmp\n",
       {converter_ / "keep.tmp", elsewhere + "/quadrine-1-0.tmp"},
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(out);
    fs::create_directories(out);
    const std::map<std::string, std::string> victims = {
        {elsewhere + "/victim.txt", "precious"},    {elsewhere + "/other.doc", "precious too"},
        {elsewhere + "/report.emf", Page(7)},       {out + "/000050000.emf", Page(8)},
        {elsewhere + "/00005.SPL", "a spool file"}, {elsewhere + "/" + stagingName, "a picture"},
        {converter_ / "keep.tmp", "kept"},          {elsewhere + "/quadrine-1-0.tmp", "kept"}};
    for (const auto& [path, bytes] : victims) {
      WriteFile(path, bytes);
    }
    PlantRecord(gone, c.lines, 0600, c.stagingFolder);
    PrintJob(0, 1);
    const auto run = converter_.Run();
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("left alone"), std::string::npos) << run.err;
    for (const std::string& path : c.kept) {
      EXPECT_EQ(ReadFile(path), victims.at(path)) << path;
    }
    EXPECT_TRUE(FileExists(out + "/scan0001.emf"));
    EXPECT_FALSE(FileExists(out + "/scan0002.emf"));  // nothing of the record's was converted
  }
}

// The record is written under the run lock, so its writer has ended even when its number now
// belongs to a live process (here this test's): what it left in the output folder and the
// temporary folder still goes.
TEST_F(NoPageLost, TheLeftoversOfARunWhoseNumberLivesOnAreCleared) {
  const unsigned live = static_cast<unsigned>(getpid());
  const std::string staged = converter_ / ("out/~quadrine-" + std::to_string(live) + "-0.part.png");
  const std::string temporary =
      converter_.elsewhere() + "/quadrine-" + std::to_string(live) + "-3.tmp";
  WriteFile(staged, "");
  WriteFile(temporary, "");
  WriteFile(temporary + ".bmp", "half a bitmap");
  PlantRecord(live, "temp\t" + temporary + "\n");
  PrintJob(0, 1);
  const auto run = converter_.Run();
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_FALSE(FileExists(staged));
  EXPECT_FALSE(FileExists(temporary));
  EXPECT_FALSE(FileExists(temporary + ".bmp"));
  ExpectNothingLeft();
}

// A record that is not the user's own, or not this install's, is not read at all.
TEST_F(NoPageLost, ARecordNotOfThisUsersOwnIsNotUsed) {
  const std::string out = converter_ / "out";
  const std::string record = converter_ / "pending-pages.txt";
  struct Case {
    const char* what;
    const char* why;
    std::function<void()> plant;
  };
  const std::string lines = "page\t" + out + "/000070000.emf\t\n";
  const Case cases[] = {
      {"others may write it", "others may read or write it",
       [&] { PlantRecord(GoneProcessId(), lines, 0666); }},
      {"a link", "it is a link",
       [&] {
         PlantRecord(GoneProcessId(), lines);
         fs::rename(record, converter_.elsewhere() + "/record");
         fs::create_symlink(converter_.elsewhere() + "/record", record);
       }},
      {"another install's", "another install folder",
       [&] {
         WriteFile(record, "run\t1\t" + out + "/\t/elsewhere/pending-pages.txt\n" + lines);
         chmod(record.c_str(), 0600);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(out);
    fs::create_directories(out);
    WriteFile(out + "/000070000.emf", Page(7));
    c.plant();
    PrintJob(0, 1);
    const auto run = converter_.Run();
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("is not used"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(c.why), std::string::npos) << run.err;
    EXPECT_EQ(ReadFile(out + "/000070000.emf"), Page(7));
    EXPECT_EQ(Files(out).size(), 2u);  // the page file and the job's one output
    EXPECT_FALSE(FileExists(record));  // this run's own record replaced it and is done
    fs::remove(converter_.elsewhere() + "/record");
  }
}

// The record grows with the pages: one line appended for each change, never rewritten whole.
TEST_F(NoPageLost, TheRecordIsAppendedToNotRewritten) {
  QUADRINE_SKIP_WITHOUT_FAULT_SWITCH();
  PrintJob(0, 6);
  // Killed as the last page file goes: the record then holds the whole run but the last
  // page's end, a line a change: its run, each page cut, tried and drawn in its blank test,
  // tried in its conversion, and done.
  const auto killed =
      converter_.Run({}, {"QUADRINE_FAULT=stop-after:DeleteFileA:*/out/000010005.emf"});
  ASSERT_EQ(killed.exitCode, 128 + 9) << killed.err;
  const std::string record = ReadFile(converter_ / "pending-pages.txt");
  EXPECT_EQ(std::count(record.begin(), record.end(), '\n'), 1 + 6 + 6 * 2 + 6 + 5);
  struct stat info {};
  ASSERT_EQ(stat((converter_ / "pending-pages.txt").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(converter_.Run().exitCode, 255);  // nothing was left to do
  ExpectNothingLeft();
}

TEST_F(NoPageLost, AKilledBitmapNeverSitsUnderAnOutputName) {
  QUADRINE_SKIP_WITHOUT_FAULT_SWITCH();
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
  QUADRINE_SKIP_WITHOUT_FAULT_SWITCH();
  struct Case {
    const char* output;
    const char* full;        // which files the full disk refuses
    const char* resolution;  // the resolution setting
  };
  const Case cases[] = {
      {"C:\\out\\scan.bmp", "*/out/~quadrine-*", ""},
      {"C:\\out\\scan.png", "*/out/~quadrine-*", ""},
      {"C:\\out\\scan.emf", "*/out/~quadrine-*", ""},
      {"C:\\out\\scan.wmf", "*/out/~quadrine-*", ""},
      // A page past one band is drawn in a temporary file, and the temporary folder is full.
      {"C:\\out\\scan.png", "*/quadrine-*.tmp.bmp", "11100"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.output) + " " + c.full);
    fs::remove_all(converter_ / "out");
    fs::create_directories(converter_ / "out");
    converter_.SetOption("AutoSave", "OutputFile", c.output);
    converter_.SetOption("AutoSaveOptions", "m_strResolution", c.resolution);
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

  // The recovery record and the names it was once written under: links there are replaced
  // or passed by, never written through.
  fs::create_symlink(converter_.elsewhere() + "/victim", converter_ / "pending-pages.txt");
  fs::create_symlink(converter_.elsewhere() + "/gone", converter_ / "pending-pages.txt.new");
  PrintJob(2, 1);
  const auto third = converter_.Run();
  EXPECT_EQ(third.exitCode, 0) << third.err;
  EXPECT_EQ(ReadFile(converter_.elsewhere() + "/victim"), "precious");
  EXPECT_FALSE(FileExists(converter_.elsewhere() + "/gone"));
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
// for each): the first run is held after its first page, so the second run always meets it
// and waits; every page of both jobs becomes one file.
TEST_F(NoPageLost, TwoJobsPrintedApartGiveEveryPageOnce) {
  QUADRINE_SKIP_WITHOUT_FAULT_SWITCH();
  converter_.SetOption("AutoSave", "OutputFile", "C:\\out\\scan.png");
  converter_.SetOption("AutoSaveOptions", "m_strResolution", "150");
  std::vector<std::string> first = {"--document", "one"};
  std::vector<std::string> second = {"--document", "two"};
  for (int k = 0; k < 6; ++k) {
    const std::string name = "p" + std::to_string(k) + ".emf";
    WriteFile(converter_.elsewhere() + "/" + name, MinimalEmf(108, 8000, 8000 - 400 * k));
    (k < 3 ? first : second).push_back(name);
  }
  const std::string held = converter_.elsewhere() + "/held";
  testing_support::ProcessResult a;
  testing_support::ProcessResult b;
  std::atomic<bool> secondDone = false;
  std::thread one([&] {
    a = converter_.Print(first,
                         {"QUADRINE_FAULT=hold-after:MoveFileExA:*/out/scan0001.png:" + held});
  });
  auto waitFor = [](const std::string& path) {
    for (int i = 0; i < 3000 && !FileExists(path); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return FileExists(path);
  };
  ASSERT_TRUE(waitFor(held)) << "the first run never reached its first page";
  std::thread two([&] {
    b = converter_.Print(second);
    secondDone = true;
  });
  // The second job is queued and its converter started; it waits for the first run.
  EXPECT_TRUE(waitFor(converter_.SpoolFolder() + "/00002.SPL"));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_FALSE(secondDone);
  EXPECT_TRUE(FileExists(converter_ / "out/scan0001.png"));
  EXPECT_FALSE(FileExists(converter_ / "out/scan0002.png"));
  fs::remove(held);
  one.join();
  two.join();
  EXPECT_EQ(a.exitCode, 0) << a.err;
  EXPECT_EQ(b.exitCode, 0) << b.err;
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

// A blank page is left out, and the log names it.
TEST_F(NoPageLost, ABlankPageLeftOutIsNamedInTheLog) {
  converter_.SetConfig("debug", "outlog", "Yes");
  WriteFile(converter_.elsewhere() + "/blank.emf", testing_support::EmfPage(""));
  WriteFile(converter_.elsewhere() + "/p0.emf", Page(0));
  ASSERT_EQ(converter_.Print({"--no-run", "p0.emf", "blank.emf"}).exitCode, 0);
  const auto run = converter_.Run();
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(Files(converter_ / "out").size(), 1u);
  EXPECT_NE(converter_.Log().find("page 2 (" + converter_ / "out/000010001.emf" +
                                  ") is blank and is left out\n"),
            std::string::npos)
      << converter_.Log();
}

// The lock that keeps runs apart fails closed: a lock file that cannot be opened stops the
// run with the jobs kept, and one that can only be read still keeps two runs apart.
TEST_F(NoPageLost, TheRunLockFailsClosed) {
  const std::string lock = converter_ / "windows/system32/spool/Quadrine.Run.lock";
  fs::create_directories(lock);  // a folder at its name
  PrintJob(0, 1);
  auto run = converter_.Run();
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("cannot be made"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("the jobs stay queued"), std::string::npos) << run.err;
  EXPECT_TRUE(fs::is_empty(converter_ / "out"));
  EXPECT_TRUE(FileExists(converter_.SpoolFolder() + "/00001.SPL"));
  fs::remove(lock);

  // Another user's lock file, readable only, held by that user's run.
  WriteFile(lock, "");
  chmod(lock.c_str(), 0444);
  const int held = open(lock.c_str(), O_RDONLY);
  ASSERT_GE(held, 0);
  ASSERT_EQ(flock(held, LOCK_EX), 0);
  // As root every file opens for writing: the converter runs without the power to override
  // permissions, as another user would.
  testing_support::ProcessResult second;
  std::thread waiting([&] {
    second =
        geteuid() == 0
            ? testing_support::RunProgram(
                  "/usr/bin/setpriv",
                  {"--bounding-set=-dac_override,-dac_read_search", "--", converter_ / "quadrine"},
                  converter_.elsewhere(),
                  {"WINDIR=", "QUADRINE_WINVER=", "TMP=" + converter_.elsewhere()})
            : converter_.Run();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  EXPECT_TRUE(fs::is_empty(converter_ / "out"));  // it waits for the lock's holder
  flock(held, LOCK_UN);
  close(held);
  waiting.join();
  EXPECT_EQ(second.exitCode, 0) << second.err;
  EXPECT_EQ(Files(converter_ / "out").size(), 1u);
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
