// The printer queue and the spool folder under crashes and hostile files: quadrine-print and
// the converter, run for real, never lose or replace a job, never write through a planted
// link, give up on a queue lock held by someone else, and keep job numbers in range.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "integration/installed_converter.h"
#include "support/spool_builder.h"

namespace {

using testing_support::FileExists;
using testing_support::InstalledConverter;
using testing_support::MinimalEmf;
using testing_support::ProcessResult;
using testing_support::ReadFile;
using testing_support::WriteFile;
namespace fs = std::filesystem;

// A page whose bytes say which it is.
std::string Page(int k) {
  return MinimalEmf(108, 1000 + 10 * k, 1000);
}

std::map<std::string, std::string> Files(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::directory_iterator(folder)) {
    files[entry.path().filename().string()] =
        fs::is_symlink(entry.symlink_status()) ? "<link>" : ReadFile(entry.path().string());
  }
  return files;
}

// An install folder of its own, with the pages going to out/ as EMF copies.
class Install {
 public:
  Install() {
    shm_unlink(testing_support::SharedBlockName().c_str());
    converter_.SetOption("AutoSave", "OutputFile", "C:\\out\\scan.emf");
    fs::create_directories(converter_ / "out");
  }
  Install(const Install&) = delete;
  Install& operator=(const Install&) = delete;
  ~Install() { shm_unlink(testing_support::SharedBlockName().c_str()); }

  const InstalledConverter& converter() const { return converter_; }
  std::string QueueFile() const { return converter_ / "windows/system32/spool/printers.ini"; }
  std::string SpoolFolder() const { return converter_.SpoolFolder(); }

  // Spools page k as one job, without converting it, with QUADRINE_FAULT set when fault is.
  ProcessResult Print(int k, const std::string& fault = "") const {
    const std::string name = "p" + std::to_string(k) + ".emf";
    WriteFile(converter_.elsewhere() + "/" + name, Page(k));
    std::vector<std::string> environment = {"WINDIR=", "ASAN_OPTIONS=detect_leaks=1"};
    if (!fault.empty()) {
      environment.push_back("QUADRINE_FAULT=" + fault);
    }
    return testing_support::RunProgram(converter_ / "quadrine-print", {"--no-run", name},
                                       converter_.elsewhere(), environment);
  }

  ProcessResult Run(const std::string& fault = "") const {
    return converter_.Run({}, fault.empty() ? std::vector<std::string>{}
                                            : std::vector<std::string>{"QUADRINE_FAULT=" + fault});
  }

  // How often each page appears among the outputs (EMF output copies a page as it is).
  std::vector<int> Appearances(const std::vector<int>& pages) const {
    std::vector<int> seen;
    const auto outputs = Files(converter_ / "out");
    for (const int k : pages) {
      int count = 0;
      for (const auto& [name, bytes] : outputs) {
        count += bytes == Page(k) ? 1 : 0;
      }
      seen.push_back(count);
    }
    return seen;
  }

 private:
  InstalledConverter converter_;
};

// kill -9 at each write of printers.ini, by quadrine-print and by the converter: the file is
// the old queue or the new, never empty, keeps its mode, and the next run loses no job.
TEST(HostileFiles, AKillWhileTheQueueIsWrittenLosesNoJob) {
  QUADRINE_SKIP_WITHOUT_FAULT_SWITCH();
  struct Case {
    const char* where;
    bool in_print;  // quadrine-print is killed, else the converter
    const char* fault;
    std::vector<int> converted;  // how often pages 0 and 1 are converted by the next run
  };
  const Case cases[] = {
      // The killed print never said its job was queued: its spool file stays unqueued.
      {"print, before the rename", true, "stop-after:CreateFileA:*/printers.ini.~*", {1, 0}},
      {"print, after the rename", true, "stop-after:MoveFileExA:*/printers.ini", {1, 1}},
      {"run, before the rename", false, "stop-after:CreateFileA:*/printers.ini.~*", {1, 1}},
      {"run, after the rename", false, "stop-after:MoveFileExA:*/printers.ini", {1, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.where);
    const Install fresh;
    ASSERT_EQ(fresh.Print(0).exitCode, 0);
    chmod(fresh.QueueFile().c_str(), 0604);
    const std::string before = ReadFile(fresh.QueueFile());
    if (c.in_print) {
      ASSERT_EQ(fresh.Print(1, c.fault).exitCode, 128 + 9);  // SIGKILL
    } else {
      ASSERT_EQ(fresh.Print(1).exitCode, 0);
      ASSERT_EQ(fresh.Run(c.fault).exitCode, 128 + 9);
    }
    // The old queue or the new one, whole.
    const std::string queue = ReadFile(fresh.QueueFile());
    EXPECT_TRUE(queue == before || queue.find("Jobs=1,2\n") != std::string::npos ||
                queue.find("Jobs=2\n") != std::string::npos)
        << queue;
    struct stat info {};
    ASSERT_EQ(stat(fresh.QueueFile().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0604u);

    const auto next = fresh.Run();
    EXPECT_EQ(next.exitCode, 0) << next.err;
    EXPECT_EQ(fresh.Appearances({0, 1}), c.converted) << queue;
    // A later job takes a number of its own: none is handed out twice while in use.
    ASSERT_EQ(fresh.Print(2).exitCode, 0);
    ASSERT_EQ(fresh.Run().exitCode, 0);
    EXPECT_EQ(fresh.Appearances({2}), std::vector<int>{1});
    // Nothing of the killed writer stays beside the queue or among the spool files.
    for (const fs::path& folder :
         {fs::path(fresh.QueueFile()).parent_path(), fs::path(fresh.SpoolFolder())}) {
      for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string file = entry.path().filename().string();
        EXPECT_TRUE(file.find(".~") == std::string::npos && !file.starts_with("~spool-")) << file;
      }
    }
  }
}

// Links planted at printers.ini, its lock file and the name the old spool writer used: nothing
// is written through them; a link at printers.ini is refused with a word, and the job queued
// before it is converted once the queue is whole again.
TEST(HostileFiles, PlantedLinksAreNeverWrittenThrough) {
  const Install install;
  const std::string victim = install.converter().elsewhere() + "/victim";
  ASSERT_EQ(install.Print(0).exitCode, 0);
  const std::string queue = ReadFile(install.QueueFile());
  struct Case {
    std::string link;
    bool refused;
  };
  const Case cases[] = {
      {install.QueueFile(), true},
      {install.QueueFile() + ".lock", true},
      {install.SpoolFolder() + "/00002.SPL.part", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.link);
    WriteFile(victim, "precious");
    fs::remove(c.link);
    fs::create_symlink(victim, c.link);
    const auto printed = install.Print(1);
    if (c.refused) {
      EXPECT_EQ(printed.exitCode, 1);
      EXPECT_NE(printed.err.find("is a link, which is never followed; nothing was printed"),
                std::string::npos)
          << printed.err;
      const auto run = install.Run();
      EXPECT_EQ(run.exitCode, 1);
      EXPECT_NE(run.err.find("cannot be read (a link stands where its file or lock should be"),
                std::string::npos)
          << run.err;
      EXPECT_TRUE(FileExists(install.SpoolFolder() + "/00001.SPL"));
      fs::remove(c.link);
      if (c.link == install.QueueFile()) {
        WriteFile(install.QueueFile(), queue);
      }
    } else {
      EXPECT_EQ(printed.exitCode, 0) << printed.err;
      EXPECT_TRUE(fs::is_symlink(c.link));
    }
    EXPECT_EQ(ReadFile(victim), "precious");
  }
  const auto run = install.Run();
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(install.Appearances({0, 1}), (std::vector<int>{1, 1}));
}

// A lock on printers.ini.lock held by another program: quadrine-print and the converter give
// up after the lock-wait time with exit 1 and a word; every job stays and a later run takes it.
TEST(HostileFiles, AQueueLockHeldElsewhereKeepsEveryJob) {
  QUADRINE_SKIP_WITHOUT_FAULT_SWITCH();
  const Install install;
  ASSERT_EQ(install.Print(0).exitCode, 0);
  const std::string queue = ReadFile(install.QueueFile());
  const int holder = open((install.QueueFile() + ".lock").c_str(), O_RDONLY);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(flock(holder, LOCK_EX), 0);

  const auto printed = install.Print(1, "lock-wait:400");
  EXPECT_EQ(printed.exitCode, 1);
  EXPECT_NE(printed.err.find("locked past the time allowed; nothing was printed\n"),
            std::string::npos)
      << printed.err;
  EXPECT_EQ(std::count(printed.err.begin(), printed.err.end(), '\n'), 1) << printed.err;
  const auto run = install.Run("lock-wait:400");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("cannot be read (another program held its lock past the time allowed)"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(Files(install.SpoolFolder()).size(), 1u);  // no new spool file, no leftover
  EXPECT_TRUE(FileExists(install.SpoolFolder() + "/00001.SPL"));
  EXPECT_TRUE(fs::is_empty(install.converter() / "out"));
  EXPECT_EQ(ReadFile(install.QueueFile()), queue);

  close(holder);
  ASSERT_EQ(install.Print(1).exitCode, 0);
  const auto later = install.Run();
  EXPECT_EQ(later.exitCode, 0) << later.err;
  EXPECT_EQ(install.Appearances({0, 1}), (std::vector<int>{1, 1}));
  EXPECT_TRUE(fs::is_empty(install.SpoolFolder()));
}

// Stray spool files numbered past the job range push no job out of it: later jobs get small
// numbers (with a word about the stray), are converted, and nothing is replaced.
TEST(HostileFiles, StraySpoolNumbersPushNoJobOutOfRange) {
  struct Case {
    const char* stray;
    const char* content;
  };
  const Case cases[] = {
      {"3000000000.spl", ""},
      {"4294967295.SPL", "stray"},
      {"4294967296.spl", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stray);
    const Install fresh;
    const std::string stray = fresh.SpoolFolder() + "/" + c.stray;
    WriteFile(stray, c.content);
    for (int k = 0; k < 2; ++k) {
      const auto printed = fresh.Print(k);
      ASSERT_EQ(printed.exitCode, 0) << printed.err;
      EXPECT_NE(printed.err.find(std::string("quadrine-print: ignoring ") + c.stray +
                                 ": its job number is out of range\n"),
                std::string::npos)
          << printed.err;
      EXPECT_NE(printed.err.find("job " + std::to_string(k + 1) + " "), std::string::npos)
          << printed.err;
    }
    const auto run = fresh.Run();
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(fresh.Appearances({0, 1}), (std::vector<int>{1, 1}));
    EXPECT_EQ(ReadFile(stray), c.content);
  }
}

// The counter at the top of the range wraps to 1 and passes over the numbers still queued.
TEST(HostileFiles, ACounterAtTheTopWrapsToOneSkippingQueuedNumbers) {
  const Install install;
  ASSERT_EQ(install.Print(0).exitCode, 0);
  ASSERT_EQ(install.Print(1).exitCode, 0);
  std::string queue = ReadFile(install.QueueFile());
  queue.replace(queue.find("LastJob=2"), 9, "LastJob=2147483646");
  WriteFile(install.QueueFile(), queue);
  ASSERT_EQ(install.Print(2).exitCode, 0);
  ASSERT_EQ(install.Print(3).exitCode, 0);
  for (const char* spool : {"00001.SPL", "00002.SPL", "2147483647.SPL", "00003.SPL"}) {
    EXPECT_TRUE(FileExists(install.SpoolFolder() + "/" + spool)) << spool;
  }
  EXPECT_NE(ReadFile(install.QueueFile()).find("Jobs=1,2,2147483647,3\n"), std::string::npos);
  const auto run = install.Run();
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(install.Appearances({0, 1, 2, 3}), std::vector<int>(4, 1));
  EXPECT_TRUE(fs::is_empty(install.SpoolFolder()));
}

}  // namespace
