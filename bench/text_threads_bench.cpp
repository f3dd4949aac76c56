// Text pages drawn on one thread and on two at once, with the glyph bitmaps made afresh each
// time: the pages of the corpus's EMF spool files, thread t at 300 + 8t dots per inch so that
// each thread renders glyphs of its own. With the threads drawing text side by side, two
// threads take about as long as one (on two free cores); were glyphs rendered one at a time,
// they would take twice as long.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "base/spool_format.h"
#include "emf/canvas.h"
#include "emf/glyph_raster.h"
#include "emf/metafile.h"
#include "emf/player.h"

namespace {

std::vector<std::vector<uint8_t>> TextPages() {
  std::vector<std::vector<uint8_t>> pages;
  for (const char* name : {"EMFSpoolfileReader_00003.SPL", "EMFSpoolfileReader_00004.SPL"}) {
    std::ifstream in(std::string(QUADRINE_SHARED_DIR "/corpus/spl/") + name, std::ios::binary);
    const std::vector<uint8_t> spool{std::istreambuf_iterator<char>(in),
                                     std::istreambuf_iterator<char>()};
    for (const SpoolPage& page : FindPages(spool).pages) {
      pages.emplace_back(spool.begin() + static_cast<std::ptrdiff_t>(page.offset),
                         spool.begin() + static_cast<std::ptrdiff_t>(page.offset + page.size));
    }
  }
  return pages;
}

void DrawPages(const std::vector<emf::Metafile>& files, double dpi) {
  for (const emf::Metafile& file : files) {
    const emf::RectL& frame = file.header().frame;
    const int width = static_cast<int>((frame.right - frame.left) / 2540.0 * dpi + 0.5);
    const int height = static_cast<int>((frame.bottom - frame.top) / 2540.0 * dpi + 0.5);
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height, 0xFFFFFF);
    emf::Canvas canvas(pixels.data(), width, height, width * 4);
    benchmark::DoNotOptimize(emf::PlayMetafile(file, canvas, emf::RectL{0, 0, width, height}));
  }
}

void TextPagesOnThreads(benchmark::State& state) {
  const std::vector<std::vector<uint8_t>> bytes = TextPages();
  std::vector<emf::Metafile> files;
  for (const std::vector<uint8_t>& page : bytes) {
    if (auto file = emf::Metafile::Parse(page, nullptr)) {
      files.push_back(std::move(*file));
    }
  }
  if (files.empty()) {
    state.SkipWithError("the corpus's spool files are not there");
    return;
  }
  const int threads = static_cast<int>(state.range(0));
  for (auto _ : state) {
    emf::ForgetGlyphBitmaps();
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
      workers.emplace_back([&files, t] { DrawPages(files, 300 + 8 * t); });
    }
    for (std::thread& worker : workers) {
      worker.join();
    }
  }
  state.SetItemsProcessed(state.iterations() * threads * static_cast<int64_t>(files.size()));
  state.SetLabel(std::to_string(files.size()) + " pages a thread");
}

BENCHMARK(TextPagesOnThreads)->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
