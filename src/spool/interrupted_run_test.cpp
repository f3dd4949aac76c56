#include "spool/interrupted_run.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>

namespace {

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

}  // namespace
