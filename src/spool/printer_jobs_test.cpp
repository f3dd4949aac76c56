#include "spool/printer_jobs.h"

#include <gtest/gtest.h>

#include "spool/spool_collection.h"
#include "support/test_support.h"

namespace {

TEST(JobNumber, IsTheNumberFromTheFirstDigitOfTheBaseName) {
  struct Case {
    const char* path;
    int expected;
  };
  const Case cases[] = {
      {"C:\\Windows\\System32\\spool\\PRINTERS\\00012.SPL", 12},
      {"/spool/FP00012.SPL", 12},
      {"12A3.SPL", 12},
      {"export_0000s10.SPL", 0},
      {"C:\\job12\\abc.SPL", -1},
      {"nodigits.SPL", -1},
      {"", -1},
      {"99999999999999999999.SPL", -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(GetJobIDFromFileName(c.path), c.expected) << c.path;
  }
  EXPECT_EQ(DeleteOnePrinterJobBySPLFile(""), -1);
  EXPECT_EQ(DeleteOnePrinterJobBySPLFile("/x/nodigits.SPL"), 0);
}

TEST(FileNamePrefix, ComparesBaseNamesWithoutRegardToCase) {
  const FileList list = {"/out/000120000.emf", "C:\\out\\Abc0001.emf"};
  EXPECT_EQ(FindFileNamePrefix("00012", list), 1);
  EXPECT_EQ(FindFileNamePrefix("aBC", list), 1);
  EXPECT_EQ(FindFileNamePrefix("out", list), 0);
  EXPECT_EQ(FindFileNamePrefix("", list), 0);
}

}  // namespace
