#include "convert_progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace {

constexpr std::chrono::seconds kSlowPage{1};
constexpr std::chrono::milliseconds kTick{250};

}  // namespace

std::string ProgressLine(size_t done, size_t total, const std::vector<RunningPage>& running) {
  std::string line =
      "quadrine-convert: " + std::to_string(done) + " of " + std::to_string(total) + " pages";
  const RunningPage* slowest = nullptr;
  for (const RunningPage& page : running) {
    if (page.taken >= kSlowPage && (slowest == nullptr || page.taken > slowest->taken)) {
      slowest = &page;
    }
  }
  if (slowest == nullptr) {
    return line;
  }
  line += "; " + slowest->label + ": ";
  if (slowest->rows > 0) {
    // Between two pages of one file the rows may be the last page's: never past 100.
    const long long percent =
        std::min<long long>(100, static_cast<long long>(slowest->rows_done) * 100 / slowest->rows);
    line += std::to_string(percent) + "% drawn, ";
  } else {
    line += "drawing, ";
  }
  return line +
         std::to_string(std::chrono::duration_cast<std::chrono::seconds>(slowest->taken).count()) +
         " s";
}

ConvertProgress::ConvertProgress(size_t total, size_t workers, bool shown)
    : slots_(workers), total_(total), shown_(shown) {
  if (shown_) {
    ticker_ = std::thread([this] { Tick(); });
  }
}

ConvertProgress::~ConvertProgress() {
  End();
}

PageProgress* ConvertProgress::PageStarted(size_t worker, const std::string& input, int page) {
  const std::lock_guard lock(mutex_);
  Slot& slot = slots_.at(worker);
  slot.busy = true;
  slot.input = input;
  slot.started = std::chrono::steady_clock::now();
  slot.progress.Start(0);
  slot.progress.page.store(page, std::memory_order_relaxed);
  return &slot.progress;
}

void ConvertProgress::PageDone(size_t worker) {
  const std::lock_guard lock(mutex_);
  slots_.at(worker).busy = false;
  ++done_;
  ShowLocked();
}

void ConvertProgress::End() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (ticker_.joinable()) {
    ticker_.join();
  }
  const std::lock_guard lock(mutex_);
  if (drawn_) {
    std::fputs("\r\033[K", stderr);
    drawn_ = false;
  }
}

void ConvertProgress::ShowLocked() {
  if (!shown_ || stopping_) {
    return;
  }
  const auto now = std::chrono::steady_clock::now();
  std::vector<RunningPage> running;
  for (const Slot& slot : slots_) {
    if (slot.busy) {
      running.push_back({std::filesystem::path(slot.input).filename().string() + " page " +
                             std::to_string(slot.progress.page.load(std::memory_order_relaxed)),
                         now - slot.started,
                         slot.progress.rows_done.load(std::memory_order_relaxed),
                         slot.progress.rows.load(std::memory_order_relaxed)});
    }
  }
  // Cut to the terminal's width, since a wrapped line is not taken back by a carriage return;
  // cleared to the end, so a shorter line leaves nothing of a longer one.
  std::string line = ProgressLine(done_, total_, running);
  winsize size{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1 &&
      line.size() >= size.ws_col) {
    line.resize(size.ws_col - 1U);
    // Not in the middle of a character: its leading byte goes with the bytes that follow it.
    while (!line.empty() && (static_cast<unsigned char>(line.back()) & 0xC0) == 0x80) {
      line.pop_back();
    }
    if (!line.empty() && static_cast<unsigned char>(line.back()) >= 0xC0) {
      line.pop_back();
    }
  }
  std::fprintf(stderr, "\r%s\033[K", line.c_str());
  std::fflush(stderr);
  drawn_ = true;
}

void ConvertProgress::Tick() {
  std::unique_lock lock(mutex_);
  while (!wake_.wait_for(lock, kTick, [this] { return stopping_; })) {
    // Only a slow page is worth a line between pages done.
    const auto now = std::chrono::steady_clock::now();
    for (const Slot& slot : slots_) {
      if (slot.busy && now - slot.started >= kSlowPage) {
        ShowLocked();
        break;
      }
    }
  }
}
