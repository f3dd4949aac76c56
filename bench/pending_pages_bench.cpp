// The recovery record over a run of N pages: each page recorded as it is cut and marked done
// as it is converted, the way a run keeps it. Its bytes written grow with the page count (a
// line appended a change), where a record rewritten whole for each change grew with its
// square; both are reported, the second computed from the same lines. The next run reads the
// record of a run killed near its end under the run lock, so reading it must grow with the
// page count too.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "services/pending_pages.h"
#include "services/settings.h"
#include "win32/win32.h"

namespace {

void RecordARun(benchmark::State& state) {
  const int pages = static_cast<int>(state.range(0));
  const std::string folder = PathBesideExecutable("", "");
  std::vector<std::string> names;
  for (int k = 0; k < pages; ++k) {
    names.push_back(folder + "000120" + std::to_string(1000000 + k) + ".emf");
  }
  const std::string spool = folder + "windows/system32/spool/PRINTERS/00012.SPL";
  double written = 0;
  for (auto _ : state) {
    StartPendingPages(folder, {});
    for (const std::string& page : names) {
      AddPendingPage(page, spool);
    }
    for (const std::string& page : names) {
      RemovePendingPage(page);
    }
    state.PauseTiming();
    WIN32_FILE_ATTRIBUTE_DATA data{};
    GetFileAttributesExA(PendingPagesPath().c_str(), GetFileExInfoStandard, &data);
    written = static_cast<double>(data.nFileSizeLow);
    ClearPendingPages();
    state.ResumeTiming();
  }
  // What a record rewritten whole at each change would have written: the pending entries at
  // each of the 2N changes.
  const double entry = static_cast<double>(names[0].size() + spool.size() + 7);
  double rewritten = 0;
  for (int k = 1; k <= pages; ++k) {
    rewritten += 2 * k * entry;
  }
  state.counters["bytes_written"] = written;
  state.counters["bytes_if_rewritten_whole"] = rewritten;
}
BENCHMARK(RecordARun)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

// The record a run of N pages leaves when it is killed with a page still converting: every
// page cut, each but the last converted in turn with its temporary bitmap made and freed.
void ReadAKilledRunsRecord(benchmark::State& state) {
  const int pages = static_cast<int>(state.range(0));
  const std::string folder = "/home/user/Pictures/";
  std::string text = "run\t4242\t" + folder + "\t/opt/quadrine/pending-pages.txt\n";
  for (int k = 0; k < pages; ++k) {
    text += "page\t" + folder + "000120" + std::to_string(1000000 + k) +
            ".emf\t/var/spool/PRINTERS/00012.SPL\t12\tQuarterly report.docx\n";
  }
  for (int k = 0; k < pages; ++k) {
    const std::string temporary = "/tmp/quadrine-4242-" + std::to_string(k) + ".tmp";
    text += "temp\t" + temporary + "\n";
    if (k + 1 < pages) {
      text += "freed\t" + temporary + "\ndone\t" + folder + "000120" + std::to_string(1000000 + k) +
              ".emf\n";
    }
  }
  for (auto _ : state) {
    const PendingRecord record = ParsePendingPages(text);
    benchmark::DoNotOptimize(record.pages.data());
  }
  state.counters["record_bytes"] = static_cast<double>(text.size());
}
BENCHMARK(ReadAKilledRunsRecord)
    ->Arg(25000)
    ->Arg(50000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond);

}  // namespace
BENCHMARK_MAIN();
