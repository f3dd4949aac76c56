// What a terminal shows while quadrine-convert works: pages done of all and, for a page that
// has taken more than a second, how far it has got (with several at once, the slowest one's).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "page_output.h"

// A page being drawn, as the progress line sees it.
struct RunningPage {
  std::string label;  // "x.SPL page 4"
  std::chrono::steady_clock::duration taken{};
  int rows_done = 0;
  int rows = 0;  // 0: not known (vector pages, or not yet sized)
};

// "quadrine-convert: 3 of 10 pages", then "; x.SPL page 4: 45% drawn, 12 s" for the page
// that has run longest, once it has run a second.
std::string ProgressLine(size_t done, size_t total, const std::vector<RunningPage>& running);

class ConvertProgress {
 public:
  // workers: how many pages may be drawn at once. Nothing is shown unless shown is set.
  ConvertProgress(size_t total, size_t workers, bool shown);
  ~ConvertProgress();
  ConvertProgress(const ConvertProgress&) = delete;
  ConvertProgress& operator=(const ConvertProgress&) = delete;

  // The worker's next page, named by its input; what it draws reports into the result.
  PageProgress* PageStarted(size_t worker, const std::string& input, int page);
  void PageDone(size_t worker);
  // Stops the ticking and clears the line.
  void End();

 private:
  struct Slot {
    bool busy = false;
    std::string input;
    std::chrono::steady_clock::time_point started;
    PageProgress progress;
  };
  void ShowLocked();
  void Tick();

  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::deque<Slot> slots_;  // never moved: their PageProgress is shared with the workers
  size_t done_ = 0;
  size_t total_;
  bool shown_;
  bool drawn_ = false;  // a line is on the terminal
  std::thread ticker_;
};
