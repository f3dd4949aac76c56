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

}  // namespace
