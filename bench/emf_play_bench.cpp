// Plays the five largest corpus pages at 96 and at 300 dots per inch.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "canvas.h"
#include "metafile.h"
#include "player.h"

namespace {

std::string CorpusDir() {
  for (const char* candidate : std::initializer_list<const char*>{std::getenv("QUADRINE_SHARED"), QUADRINE_SOURCE_DIR "/../shared",
                                "/work/shared"}) {
    if (candidate != nullptr && std::filesystem::is_directory(std::string(candidate) + "/corpus/emf")) {
      return std::string(candidate) + "/corpus/emf";
    }
  }
  return {};
}

std::vector<std::filesystem::path> LargestPages(size_t count) {
  std::vector<std::filesystem::path> pages;
  const std::string dir = CorpusDir();
  if (dir.empty()) {
    return pages;
  }
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    pages.push_back(entry.path());
  }
  std::sort(pages.begin(), pages.end(), [](const auto& a, const auto& b) {
    return std::filesystem::file_size(a) > std::filesystem::file_size(b);
  });
  pages.resize(std::min(count, pages.size()));
  return pages;
}

void PlayPage(benchmark::State& state, const std::filesystem::path& path, double dpi) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
  const auto file = emf::Metafile::Parse(data, nullptr);
  if (!file) {
    state.SkipWithError("not a metafile");
    return;
  }
  const emf::RectL& frame = file->header().frame;
  const int width = static_cast<int>((frame.right - frame.left) / 2540.0 * dpi + 0.5);
  const int height = static_cast<int>((frame.bottom - frame.top) / 2540.0 * dpi + 0.5);
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
  for (auto _ : state) {
    std::fill(pixels.begin(), pixels.end(), 0xFFFFFF);
    emf::Canvas canvas(pixels.data(), width, height, width * 4);
    benchmark::DoNotOptimize(emf::PlayMetafile(*file, canvas, emf::RectL{0, 0, width, height}));
  }
  state.counters["pixels"] = static_cast<double>(pixels.size());
}

const bool registered = [] {
  for (const auto& page : LargestPages(5)) {
    for (const double dpi : {96.0, 300.0}) {
      benchmark::RegisterBenchmark(
          (page.stem().string() + "/" + std::to_string(static_cast<int>(dpi)) + "dpi").c_str(),
          [page, dpi](benchmark::State& state) { PlayPage(state, page, dpi); })
          ->Unit(benchmark::kMillisecond);
    }
  }
  return true;
}();

}  // namespace

BENCHMARK_MAIN();
