// RenderEmfToBmp of a text-and-graphics page at 300 dots per inch, at depths 1, 8 and 24,
// with and without the greyscale pass.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "services/program_values.h"
#include "convert/rasterize.h"
#include "services/settings.h"
#include "win32/win32.h"

namespace {

void RenderPage(benchmark::State& state) {
  ImageSettings settings;
  settings.colorDepth = static_cast<int>(state.range(0));
  settings.grayscale = static_cast<int>(state.range(1));
  settings.xResolution = settings.yResolution = 300 * 72 / 96.0f;  // 72 is the reference
  const std::string page = QUADRINE_SOURCE_DIR "/samples/sample-page1.emf";
  const std::string out = MakeTempFilePath(".bmp");
  for (auto _ : state) {
    benchmark::DoNotOptimize(RenderEmfToBmp(page, out, settings));
    state.PauseTiming();
    DeleteFileA(out.c_str());
    state.ResumeTiming();
  }
}
BENCHMARK(RenderPage)
    ->ArgNames({"depth", "grey"})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Args({8, 0})
    ->Args({8, 1})
    ->Args({24, 0})
    ->Args({24, 1})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
