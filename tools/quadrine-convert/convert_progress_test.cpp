#include "convert_progress.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

using std::chrono::milliseconds;

TEST(ConvertProgress, TheLineNamesTheSlowestPageOnceItHasTakenASecond) {
  struct Case {
    std::vector<RunningPage> running;
    const char* line;
  };
  const Case cases[] = {
      {{}, "quadrine-convert: 3 of 10 pages"},
      // Quick pages are not worth naming.
      {{{"a.SPL page 1", milliseconds(900), 10, 100}}, "quadrine-convert: 3 of 10 pages"},
      {{{"a.SPL page 1", milliseconds(1500), 45, 100}},
       "quadrine-convert: 3 of 10 pages; a.SPL page 1: 45% drawn, 1 s"},
      // Several at once: the one that has run longest, wherever it stands in the list.
      {{{"a.SPL page 1", milliseconds(3000), 90, 100},
        {"b.emf page 1", milliseconds(12500), 1, 3},
        {"a.SPL page 2", milliseconds(200), 0, 100}},
       "quadrine-convert: 3 of 10 pages; b.emf page 1: 33% drawn, 12 s"},
      // A page whose rows are not counted (vector output, or not yet sized).
      {{{"a.SPL page 4", milliseconds(2000), 0, 0}},
       "quadrine-convert: 3 of 10 pages; a.SPL page 4: drawing, 2 s"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ProgressLine(3, 10, c.running), c.line);
  }
}

// Workers on several threads report while the ticker draws; ending twice (by hand, then by the
// destructor) is harmless. ./dev tsan runs this under ThreadSanitizer.
TEST(ConvertProgress, WorkersReportFromTheirThreadsWhileTheLineIsDrawn) {
  ConvertProgress progress(4, 2, true);
  const auto work = [&progress](size_t worker) {
    for (int page = 1; page <= 2; ++page) {
      PageProgress* rows = progress.PageStarted(worker, "/some/folder/input.spl", page);
      rows->Start(100);
      for (int band = 0; band < 4; ++band) {
        rows->Advance(25);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
      progress.PageDone(worker);
    }
  };
  std::thread other(work, 1);
  work(0);
  other.join();
  progress.End();
  progress.End();
}

}  // namespace
