#include "services/pending_pages.h"

#include <gtest/gtest.h>

namespace {

TEST(PendingPages, TheJournalReplaysToWhatIsStillPending) {
  const PendingRecord record = ParsePendingPages(
      "run\t41\t/out/\t/q/pending-pages.txt\n"
      "page\t/out/a0000.emf\t/s/00001.SPL\n"
      "page\t/out/a0001.emf\t/s/00001.SPL\t1\tReport 2026.docx\n"
      "temp\t/tmp/quadrine-41-0.tmp\n"
      "done\t/out/a0000.emf\n"
      "temp\t/tmp/quadrine-41-1.tmp\n"
      "freed\t/tmp/quadrine-41-0.tmp\n"
      "page\t/out/b0000.emf\t\n"
      "bogus line\n"
      "page\t/out/c0000.emf\t/s/00002.SPL");  // cut by a crash: not read
  EXPECT_EQ(record.processId, 41u);
  EXPECT_EQ(record.stagingFolder, "/out/");
  EXPECT_EQ(record.recordPath, "/q/pending-pages.txt");
  ASSERT_EQ(record.pages.size(), 2u);
  EXPECT_EQ(record.pages[0].page, "/out/a0001.emf");
  EXPECT_EQ(record.pages[0].spool, "/s/00001.SPL");
  EXPECT_EQ(record.pages[0].job, (PrintJob{1, "Report 2026.docx"}));
  EXPECT_TRUE(record.pages[0].jobRecorded);
  EXPECT_EQ(record.pages[1].page, "/out/b0000.emf");
  EXPECT_EQ(record.pages[1].spool, "");
  EXPECT_EQ(record.pages[1].job, PrintJob{});  // written before pages carried their job
  EXPECT_FALSE(record.pages[1].jobRecorded);
  EXPECT_EQ(record.temporaries, std::vector<std::string>{"/tmp/quadrine-41-1.tmp"});
}

TEST(PendingPages, APageOfNoJobIsToldFromALineWrittenBeforeJobs) {
  const PendingRecord record = ParsePendingPages(
      "run\t41\t/out/\t/q/pending-pages.txt\n"
      "page\t/out/a0000.emf\t/tmp/~emf15.tmp\t0\t\n"
      "page\t/out/b0000.emf\t/s/00015.SPL\n"
      "page\t/out/c0000.emf\t/s/00016.SPL\t16\tTab\\x09and\\x5Cslash\n");
  ASSERT_EQ(record.pages.size(), 3u);
  EXPECT_TRUE(record.pages[0].jobRecorded);
  EXPECT_EQ(record.pages[0].job, PrintJob{});
  EXPECT_FALSE(record.pages[1].jobRecorded);
  EXPECT_EQ(record.pages[2].job, (PrintJob{16, "Tab\tand\\slash"}));
}

TEST(PendingPages, ARecordOfAnEarlierFormNamesNoRecordAndIsNotObeyed) {
  const PendingRecord record = ParsePendingPages("run\t41\t/out/\npage\t/out/a0000.emf\t\n");
  EXPECT_EQ(record.recordPath, "");
  EXPECT_EQ(record.pages.size(), 1u);
}

// A name made pending again, before or after it was done, is its own entry: a "done" takes
// the oldest one still pending, and what is left keeps the order the pages were cut in.
TEST(PendingPages, ADoneTakesTheOldestPendingEntryOfItsName) {
  const PendingRecord record = ParsePendingPages(
      "run\t41\t/out/\t/q/pending-pages.txt\n"
      "page\t/out/a0000.emf\t/s/00001.SPL\n"
      "page\t/out/b0000.emf\t/s/00001.SPL\n"
      "page\t/out/a0000.emf\t/s/00002.SPL\n"
      "done\t/out/a0000.emf\n"
      "page\t/out/c0000.emf\t\n"
      "done\t/out/c0000.emf\n"
      "done\t/out/c0000.emf\n"
      "page\t/out/c0000.emf\t/s/00003.SPL\n"
      "temp\t/tmp/t\ntemp\t/tmp/t\nfreed\t/tmp/t\nfreed\t/tmp/u\n");
  std::vector<std::string> pending;
  for (const PendingPage& entry : record.pages) {
    pending.push_back(entry.page + " " + entry.spool);
  }
  EXPECT_EQ(pending,
            (std::vector<std::string>{"/out/b0000.emf /s/00001.SPL", "/out/a0000.emf /s/00002.SPL",
                                      "/out/c0000.emf /s/00003.SPL"}));
  EXPECT_EQ(record.temporaries, std::vector<std::string>{"/tmp/t"});
}

// No run writes a NUL or control byte into a field: a line with one is refused, and what it
// named is kept apart to be told; a run line with one leaves the whole record untrusted.
TEST(PendingPages, ALineWithAControlByteIsRefused) {
  using namespace std::string_literals;
  const std::string run = "run\t41\t/out/\t/q/pending-pages.txt\n";
  struct Case {
    std::string text;
    size_t pages;
    std::vector<std::string> refusedPages;
    std::vector<std::string> refusedTemporaries;
    bool runLineRefused;
  };
  const Case cases[] = {
      {run + "page\t/out/a\r0000.emf\t\n", 0, {"/out/a\r0000.emf"}, {}, false},
      {run + "page\t/out/a0000.emf\t/s/\x7F.SPL\n", 0, {"/out/a0000.emf"}, {}, false},
      {run + "temp\t/tmp/quadrine-41-0.tmp\0x\n"s, 0, {}, {"/tmp/quadrine-41-0.tmp\0x"s}, false},
      {run + "page\t/out/a0000.emf\t\ndone\t/out/a0000.emf\x01\n", 1, {}, {}, false},
      {"run\t41\t/out/\t/q/pending-pages.txt\t/old\x1B/\n", 0, {}, {}, true},
  };
  for (const Case& c : cases) {
    const PendingRecord record = ParsePendingPages(c.text);
    EXPECT_EQ(record.pages.size(), c.pages) << c.text;
    EXPECT_EQ(record.refusedPages, c.refusedPages) << c.text;
    EXPECT_EQ(record.refusedTemporaries, c.refusedTemporaries) << c.text;
    EXPECT_EQ(record.runLineRefused, c.runLineRefused) << c.text;
  }
}

}  // namespace
