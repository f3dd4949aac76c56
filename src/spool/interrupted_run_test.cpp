#include "spool/interrupted_run.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "services/own_files.h"
#include "support/spool_builder.h"
#include "support/test_support.h"

namespace {

using namespace std::string_literals;

TEST(InterruptedRun, OnlyTheNamesThisProgramGivesPageFilesAreTakenForThem) {
  struct Case {
    const char* name;
    const char* sourceBase;
    bool page;
  };
  const Case cases[] = {
      {"000120000.emf", "00012", true},
      {"0001210000.emf", "00012", true},  // the ten-thousandth page and on
      {"0001210000-3.emf", "00012", true},
      {"job-120000.emf", "job-12", true},  // a base that ends in a dash and digits
      {"job-120000-1.emf", "job-12", true},
      {"job-12000.emf", "job-12", false},
      {"000120003-2.emf", "00012", true},
      {"000120003.EMF", "00012", true},
      {"~emf0A1B0001.emf", "~emf0A1B", true},
      {"scan0001.emf", "", true},
      {"000130000.emf", "00012", false},
      {"00012000.emf", "00012", false},
      {"000120000.emf.txt", "00012", false},
      {"notes.txt", "", false},
      {"report.emf", "", false},
      {"000120000-x.emf", "00012", false},
      {"000120000-.emf", "00012", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsPageFileName(c.name, c.sourceBase), c.page) << c.name << " " << c.sourceBase;
  }
}

// An EMF header of 88 bytes that says the page has size bytes.
std::string Header(uint32_t size) {
  std::string head(88, '\0');
  head[0] = 1;
  std::memcpy(head.data() + 40, " EMF", 4);
  std::memcpy(head.data() + 48, &size, 4);
  return head;
}

// The header with some of its bytes replaced.
std::string Changed(std::string head, size_t at, std::string_view bytes) {
  std::memcpy(head.data() + at, bytes.data(), bytes.size());  // replace() trips GCC 12's -Wrestrict
  return head;
}

TEST(InterruptedRun, APageIsWholeCutShortOrSomethingElse) {
  struct Case {
    const char* what;
    std::string head;
    unsigned long long size;
    PageContent content;
  };
  const Case cases[] = {
      {"a whole page", Header(400), 400, PageContent::kWholePage},
      {"a page cut short", Header(400), 200, PageContent::kStartOfPage},
      {"an empty file", "", 0, PageContent::kStartOfPage},
      {"the first bytes of a header", Header(400).substr(0, 10), 10, PageContent::kStartOfPage},
      {"a page with bytes after its end", Header(400), 500, PageContent::kOther},
      {"another record first", Changed(Header(400), 0, "\x02"), 400, PageContent::kOther},
      {"no signature", Changed(Header(400), 40, "WMF "), 400, PageContent::kOther},
      {"text", "precious", 8, PageContent::kOther},
      {"a short file that is not all there is", Header(400).substr(0, 10), 400,
       PageContent::kOther},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ClassifyPageBytes(c.head, c.size), c.content) << c.what;
  }
}

// A record that passes every check of its own may still name files anywhere: only page files
// in the folders its run line names are taken, and no entry with a NUL or control byte is
// obeyed. Each entry not taken is said, its control bytes shown, not written.
TEST(InterruptedRun, OnlyPagesInTheFoldersOfTheRecordsRunAreTaken) {
  const testing_support::TempDir root;
  const std::string out = root / "out/";
  const std::string elsewhere = root / "elsewhere/";
  std::filesystem::create_directories(out);
  std::filesystem::create_directories(elsewhere);
  // Whole pages under names runs give, and a page of the user's own.
  const std::string planted[] = {out + "scan0001.emf", elsewhere + "chart0001.emf",
                                 out + "logo.emf"};
  const std::string record = PendingPagesPath();
  // As a run writes it, having carried over the page a run before it cut elsewhere.
  StartPendingPages(out, {{elsewhere + "chart0001.emf", "", PrintJob{7, "Chart"}, true}});
  const std::string carriedOver = testing_support::ReadFile(record);
  ClearPendingPages();

  const std::string run = "run\t4242\t" + out + "\t" + record + "\n";
  struct Case {
    const char* what;
    std::string text;
    std::vector<std::string> taken;
    const char* said;  // null: nothing
  };
  const Case cases[] = {
      {"a page file of its run",
       run + "page\t" + out + "scan0001.emf\t\n",
       {out + "scan0001.emf"},
       nullptr},
      {"a page file its run carried over", carriedOver, {elsewhere + "chart0001.emf"}, nullptr},
      {"a page file's name in another folder",
       run + "page\t" + elsewhere + "chart0001.emf\t\n",
       {},
       "elsewhere/chart0001.emf', which is not a page file this program made"},
      {"a way out of its folder",
       run + "page\t" + out + "../elsewhere/chart0001.emf\t\n",
       {},
       "chart0001.emf', which is not a page file this program made"},
      {"a NUL before a folder",
       run + "page\t" + out + "logo.emf\0/x0001.emf\t\n"s,
       {},
       "logo.emf\\x00/x0001.emf', which is not a page file this program made"},
      {"a NUL in the name",
       run + "page\t" + out + "logo.emf\0x0001.emf\t\n"s,
       {},
       "logo.emf\\x00x0001.emf', which is not a page file this program made"},
      {"a control byte in its source",
       run + "page\t" + out + "scan0001.emf\t" + root.path() + "/\x01/scan.SPL\n",
       {},
       "scan0001.emf', which is not a page file this program made"},
      {"a control byte in its document",
       run + "page\t" + out + "scan0001.emf\t\t7\tA\x1B[2J\n",
       {},
       "scan0001.emf', which is not a page file this program made"},
      {"a control byte in its run line",
       "run\t4242\x7F\t" + out + "\t" + record + "\npage\t" + out + "scan0001.emf\t\n",
       {},
       "is not used (its run line holds a control byte)"},
  };
  for (const Case& c : cases) {
    for (const std::string& path : planted) {
      testing_support::WriteFile(path, testing_support::MinimalEmf());
    }
    testing_support::WriteFile(record, c.text);
    MakeFilePrivate(record);
    FileList list;
    std::vector<PendingPage> carried;
    testing::internal::CaptureStderr();
    RecoverInterruptedRun(out, list, carried);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(list, c.taken) << c.what;
    EXPECT_EQ(carried.size(), c.taken.size()) << c.what;
    if (c.said == nullptr) {
      EXPECT_EQ(said.find("left alone"), std::string::npos) << c.what << ": " << said;
    } else {
      EXPECT_NE(said.find(c.said), std::string::npos) << c.what << ": " << said;
    }
    EXPECT_EQ(said.find_first_of("\x01\x1B\x7F"s + '\0'), std::string::npos) << c.what;
    for (const std::string& path : planted) {
      EXPECT_TRUE(testing_support::FileExists(path)) << c.what << ": " << path;
    }
  }
  std::filesystem::remove(record);
}

// A page being drawn when a run died is taken again, once: a page that was being drawn when
// two runs ended is set aside under a name that says so, said, and not taken. A page drawn
// whole (its blank test done) when a run died counts no death.
TEST(InterruptedRun, APageThatWasBeingDrawnWhenTwoRunsEndedIsSetAside) {
  const testing_support::TempDir root;
  const std::string out = root / "out/";
  std::filesystem::create_directories(out);
  const std::string page = out + "scan0001.emf";
  const std::string record = PendingPagesPath();
  const auto recover = [&](const std::string& text, FileList& list,
                           std::vector<PendingPage>& carried) {
    testing_support::WriteFile(record, text);
    MakeFilePrivate(record);
    testing::internal::CaptureStderr();
    RecoverInterruptedRun(out, list, carried);
    return testing::internal::GetCapturedStderr();
  };
  testing_support::WriteFile(page, testing_support::MinimalEmf());
  const std::string run = "run\t4242\t" + out + "\t" + record + "\n";
  const std::string cut = run + "page\t" + page + "\t\n";

  FileList list;
  std::vector<PendingPage> carried;
  recover(cut + "try\t" + page + "\ndrawn\t" + page + "\n", list, carried);
  ASSERT_EQ(carried.size(), 1u);
  EXPECT_EQ(carried[0].deaths, 0);  // tested whole: the run ended elsewhere

  list.clear();
  carried.clear();
  recover(cut + "try\t" + page + "\n", list, carried);
  ASSERT_EQ(carried.size(), 1u);
  EXPECT_EQ(carried[0].deaths, 1);
  // The next run carries it over, tries it, and dies too.
  StartPendingPages(out, carried);
  const std::string second = testing_support::ReadFile(record) + "try\t" + page + "\n";
  ClearPendingPages();
  list.clear();
  carried.clear();
  const std::string said = recover(second, list, carried);
  EXPECT_TRUE(list.empty());
  EXPECT_TRUE(carried.empty());
  const std::string aside = out + "scan0001.stopped-the-converter.emf";
  EXPECT_NE(said.find("set aside as '" + aside + "'"), std::string::npos) << said;
  EXPECT_FALSE(testing_support::FileExists(page));
  EXPECT_EQ(testing_support::ReadFile(aside), testing_support::MinimalEmf());  // kept whole
  std::filesystem::remove(record);
}

}  // namespace
