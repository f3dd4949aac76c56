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

#include "formats/spool_format.h"
#include "emf/canvas/canvas.h"
#include "emf/text/font.h"
#include "emf/text/glyph_raster.h"
#include "emf/records/metafile.h"
#include "emf/player/player.h"

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

// The glyph rendering alone: the printable ASCII glyphs of Arial's substitute at 24 sizes, on
// each thread sizes of its own (12, 14, ... pixels an em on the first; 13, 15, ... on the
// second).
void GlyphsOnThreads(benchmark::State& state) {
  const emf::Typeface& face =
      emf::TypefaceFor(emf::Font{-20, 0, 0, 0, 400, false, false, false, 0, 0, 0, "Arial"});
  std::vector<uint32_t> glyphs;
  for (uint32_t c = 0x21; c < 0x7F; ++c) {
    glyphs.push_back(face.GlyphFor(c));
  }
  const int threads = static_cast<int>(state.range(0));
  for (auto _ : state) {
    emf::ForgetGlyphBitmaps();
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
      workers.emplace_back([&face, &glyphs, t] {
        for (int ppem = 12 + t; ppem < 60; ppem += 2) {
          emf::GlyphShape shape;
          shape.ppem = ppem;
          for (uint32_t glyph : glyphs) {
            benchmark::DoNotOptimize(emf::RasterizeGlyph(face, shape, glyph));
          }
        }
      });
    }
    for (std::thread& worker : workers) {
      worker.join();
    }
  }
  state.SetItemsProcessed(state.iterations() * threads * 24 * static_cast<int64_t>(glyphs.size()));
}

BENCHMARK(GlyphsOnThreads)->Arg(1)->Arg(2)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
