#include "spool/spool_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "base/text_util.h"
#include "services/program_values.h"
#include "support/spool_builder.h"
#include "support/test_support.h"

namespace {

using testing_support::Append32;
using testing_support::FileExists;
using testing_support::MinimalEmf;
using testing_support::ReadFile;
using testing_support::SpoolFileBuilder;
using testing_support::TempDir;
using testing_support::WriteFile;

class SpoolFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing_support::SetEnvironment("WINDIR", (root_ / "windows").c_str());
    std::filesystem::create_directories(root_ / "windows/system32/spool/PRINTERS");
    std::filesystem::create_directories(root_ / "out");
    WriteFile(root_ / "windows/system32/spool/printers.ini",
              "[Quadrine]\nAttributes=0\nJobs=7,12\n");
    Program().printerName = "Quadrine";
  }
  void TearDown() override { testing_support::SetEnvironment("WINDIR", nullptr); }

  std::string Spool(const std::string& name, const std::string& bytes) const {
    const std::string path = root_ / ("windows/system32/spool/PRINTERS/" + name);
    WriteFile(path, bytes);
    return path;
  }
  std::string Queue() const { return ReadFile(root_ / "windows/system32/spool/printers.ini"); }
  std::string Out() const { return root_ / "out"; }
  // A page file in Out() as the reader names it, with the platform's separator.
  std::string In(const std::string& name) const { return Out() + kPathSeparator + name; }
  // The job queue is checked where it is a file of the stand-in's.
  void ExpectQueue(const std::string& expected) const {
    if (testing_support::WithoutStandIn() == nullptr) {
      EXPECT_EQ(Queue(), expected);
    }
  }

  TempDir root_;
};

TEST_F(SpoolFileTest, HeaderCheckRefusesWhatIsNoSpoolFile) {
  const std::string emf = MinimalEmf();
  std::string ps_data(12, 'p');
  std::string record_past_end;
  Append32(record_past_end, 12);
  Append32(record_past_end, 1000);
  struct Case {
    std::string name;
    std::string bytes;
    int expected;
  };
  const Case cases[] = {
      {"one page", SpoolFileBuilder().Page(emf).Build(), 1},
      {"job data record first", SpoolFileBuilder().Record(20, ps_data).Page(emf).Build(), 1},
      {"two job data records",
       SpoolFileBuilder().Record(20, ps_data).Record(20, ps_data).Page(emf).Build(), 0},
      {"page record of size 0", SpoolFileBuilder().Record(12, "").Build(), 0},
      {"page record past the end", SpoolFileBuilder().Build() + record_past_end + "xx", 0},
      {"job data past the end",
       SpoolFileBuilder().Record(20, "").Build() + "\x14\0\0\0\xff\xff\0\0", 0},
      {"header size past the end", std::string("\0\0\1\0\xff\xff\xff\x7f", 8), 0},
      {"cut in the signature", std::string("\0\0", 2), 0},
      {"an EMF", emf, 0},
      {"empty", "", 0},
  };
  for (const Case& c : cases) {
    const std::string path = Spool("00007.SPL", c.bytes);
    EmfStartPattern pattern{};
    EXPECT_EQ(CheckSpoolerFileHeader(path, pattern), c.expected) << c.name;
    if (c.expected) {
      EXPECT_EQ(std::memcmp(pattern.data(), emf.data(), 6), 0) << c.name;
      EXPECT_EQ(pattern[6], 0);
    }
  }
}

TEST_F(SpoolFileTest, CutsPagesThenDeletesTheSpoolFileAndItsJob) {
  const std::string first = MinimalEmf(108, 1000, 1000);
  const std::string second = MinimalEmf(88, 2000, 2000);  // a header of another size
  const std::string bytes = SpoolFileBuilder().Page(first).Page(second).Build();
  const std::string path = Spool("00012.SPL", bytes);
  for (const std::string& destination : {Out(), Out() + kPathSeparator}) {
    Spool("00012.SPL", bytes);
    std::filesystem::remove_all(Out());
    std::filesystem::create_directories(Out());
    Program().printerName = "Quadrine";
    FileList list{"earlier.emf"};
    EXPECT_EQ(ReadBinaryDataFile(path, destination, list), 2);
    EXPECT_EQ(list, (FileList{"earlier.emf", In("000120000.emf"), In("000120001.emf")}));
    EXPECT_FALSE(FileExists(path));
    // Each page file is its page's EMF, as long as its own header says.
    EXPECT_EQ(ReadFile(list[1]), first);
    EXPECT_EQ(ReadFile(list[2]), second);
  }
  ExpectQueue("[Quadrine]\nAttributes=0\nJobs=7\n");
}

TEST_F(SpoolFileTest, APageFileNeverReplacesAFileNorFollowsALink) {
  if (const char* why = testing_support::WithoutStandIn()) {
    GTEST_SKIP() << why;
  }
  const std::string page = MinimalEmf();
  const std::string path = Spool("00012.SPL", SpoolFileBuilder().Page(page).Page(page).Build());
  WriteFile(Out() + "/000120000.emf", "another run's page");
  WriteFile(root_ / "victim", "precious");
  std::filesystem::create_symlink(root_ / "victim", Out() + "/000120001.emf");
  std::filesystem::create_symlink(root_ / "nowhere", Out() + "/000120001-1.emf");
  FileList list;
  EXPECT_EQ(ReadBinaryDataFile(path, Out(), list), 2);
  EXPECT_EQ(list, (FileList{Out() + "/000120000-1.emf", Out() + "/000120001-2.emf"}));
  EXPECT_EQ(ReadFile(Out() + "/000120000.emf"), "another run's page");
  EXPECT_EQ(ReadFile(root_ / "victim"), "precious");
  EXPECT_FALSE(FileExists(root_ / "nowhere"));
  EXPECT_EQ(ReadFile(list[1]), page);
}

TEST_F(SpoolFileTest, AFileStillBeingWrittenStaysWithItsJob) {
  const std::string page = MinimalEmf();
  const std::string whole = SpoolFileBuilder().Page(page).Page(page).Build();
  const std::string path = Spool("00012.SPL", whole.substr(0, whole.size() - 30));
  FileList list;
  EXPECT_EQ(ReadBinaryDataFile(path, Out(), list), 0);
  EXPECT_TRUE(list.empty());
  EXPECT_TRUE(FileExists(path));
  EXPECT_FALSE(FileExists(Out() + "/000120000.emf"));
  ExpectQueue("[Quadrine]\nAttributes=0\nJobs=7,12\n");
}

TEST_F(SpoolFileTest, RefusedFilesAndTheirJobsStay) {
  const std::string path =
      Spool("00012.SPL", SpoolFileBuilder().Record(20, "x").Record(20, "y").Build());
  FileList list;
  EXPECT_EQ(ReadBinaryDataFile(path, Out(), list), 0);
  EXPECT_TRUE(FileExists(path));
  EXPECT_TRUE(list.empty());
  ExpectQueue("[Quadrine]\nAttributes=0\nJobs=7,12\n");
  EXPECT_EQ(ReadBinaryDataFile("", Out(), list), 0);
  EXPECT_EQ(ReadBinaryDataFile(path, "", list), 0);
}

TEST_F(SpoolFileTest, AFileWithoutASecondPatternIsStillDeleted) {
  std::string emf = MinimalEmf();
  emf[40] = 'X';  // the header check reads only the first six bytes
  const std::string path = Spool("00012.SPL", SpoolFileBuilder().Page(emf).Build());
  FileList list;
  EXPECT_EQ(ReadBinaryDataFile(path, Out(), list), 0);
  EXPECT_FALSE(FileExists(path));
  ExpectQueue("[Quadrine]\nAttributes=0\nJobs=7\n");
}

TEST_F(SpoolFileTest, PagesThatCannotBeWrittenKeepTheSpoolFileAndItsJob) {
  const std::string path = Spool("00012.SPL", SpoolFileBuilder().Page(MinimalEmf()).Build());
  FileList list;
  EXPECT_EQ(ReadBinaryDataFile(path, root_ / "no/such/folder", list), 1);
  EXPECT_TRUE(list.empty());  // the list names only page files this run made
  EXPECT_TRUE(FileExists(path));
  ExpectQueue("[Quadrine]\nAttributes=0\nJobs=7,12\n");
}

TEST_F(SpoolFileTest, PageNumbersGrowToFiveDigits) {
  SpoolFileBuilder builder;
  const std::string emf = MinimalEmf();
  for (int i = 0; i < 10001; ++i) {
    builder.Page(emf);
  }
  const std::string path = Spool("7.SPL", builder.Build());
  FileList list;
  EXPECT_EQ(ReadBinaryDataFile(path, Out(), list), 10001);
  ASSERT_EQ(list.size(), 10001u);
  EXPECT_EQ(list[9999], In("79999.emf"));
  EXPECT_EQ(list[10000], In("710000.emf"));
  EXPECT_EQ(ReadFile(list[10000]).substr(0, emf.size()), emf);
}

TEST_F(SpoolFileTest, RealSpoolFiles) {
  const std::string shared = testing_support::SharedDir();
  ASSERT_FALSE(shared.empty());
  struct Case {
    const char* name;
    int pages;
  };
  const Case cases[] = {{"EMFSpoolfileReader_00003.SPL", 2},
                        {"EMFSpoolfileReader_00004.SPL", 3},
                        {"EMF_SPL-to-EMF_00035.SPL", 1},
                        {"export_0000s10.SPL", 1},
                        {"00015.SPL", 0}};
  for (const Case& c : cases) {
    const std::string path = Spool(c.name, ReadFile(shared + "/corpus/spl/" + c.name));
    FileList list;
    EXPECT_EQ(ReadBinaryDataFile(path, Out(), list), c.pages) << c.name;
    ASSERT_EQ(list.size(), static_cast<size_t>(c.pages));
    for (const std::string& page : list) {
      const std::string bytes = ReadFile(page);
      ASSERT_GE(bytes.size(), 108u);
      EXPECT_EQ(bytes.substr(0, 4), std::string("\1\0\0\0", 4)) << page;
      EXPECT_EQ(bytes.substr(40, 4), " EMF") << page;
    }
    EXPECT_EQ(FileExists(path), c.pages == 0) << c.name;  // the ZIP archive stays
  }
}

}  // namespace
