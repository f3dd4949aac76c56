// Plays the five largest corpus pages at 96 and at 300 dots per inch.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "emf/canvas/canvas.h"
#include "emf/records/metafile.h"
#include "emf/player/player.h"

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

// A page of 5,000 lines of text in four fonts, each line its own record with a spacing
// array, as report generators write them: faces and glyphs must come from the caches.
std::vector<uint8_t> TextHeavyPage() {
  std::string records;
  auto put32 = [](std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
      out += static_cast<char>((v >> (8 * i)) & 0xFF);
    }
  };
  auto record = [&](uint32_t type, const std::string& body) {
    put32(records, type);
    put32(records, static_cast<uint32_t>(8 + body.size()));
    records += body;
  };
  const char* faces[] = {"Arial", "Times New Roman", "Courier New", "Arial"};
  for (uint32_t f = 0; f < 4; ++f) {
    std::string body;
    put32(body, f + 1);
    for (int32_t v : {-11 - static_cast<int32_t>(f), 0, 0, 0, f == 3 ? 700 : 400}) {
      put32(body, static_cast<uint32_t>(v));
    }
    put32(body, 0);
    put32(body, 0);
    std::string name(faces[f]);
    name.resize(32, '\0');
    for (char c : name) {
      body += c;
      body += '\0';
    }
    record(82, body);
  }
  const std::u16string line = u"Quarterly totals, region 12: 4,518.20 (up 3.5%)";
  for (int i = 0; i < 5000; ++i) {
    std::string select;
    put32(select, 1 + i % 4);
    record(37, select);
    std::string body;
    for (int k = 0; k < 4; ++k) {
      put32(body, 0);
    }
    put32(body, 1);
    put32(body, 0);
    put32(body, 0);
    put32(body, static_cast<uint32_t>(20 + (i / 100) * 15));  // reference point
    put32(body, static_cast<uint32_t>(20 + (i % 100) * 12));
    put32(body, static_cast<uint32_t>(line.size()));
    put32(body, 76);  // string offset
    put32(body, 0);
    for (int k = 0; k < 4; ++k) {
      put32(body, 0);
    }
    put32(body, static_cast<uint32_t>(76 + line.size() * 2 + (line.size() % 2) * 2));
    for (char16_t c : line) {
      body += static_cast<char>(c & 0xFF);
      body += static_cast<char>(c >> 8);
    }
    if (line.size() % 2) {
      body += std::string(2, '\0');
    }
    for (size_t k = 0; k < line.size(); ++k) {
      put32(body, 6);
    }
    record(84, body.substr(0));
  }
  put32(records, 14);
  put32(records, 20);
  put32(records, 0);
  put32(records, 16);
  put32(records, 20);
  std::string header;
  put32(header, 1);
  put32(header, 108);
  for (uint32_t v : {0u, 0u, 793u, 1122u, 0u, 0u, 21000u, 29700u, 0x464D4520u, 0x10000u}) {
    put32(header, v);
  }
  put32(header, static_cast<uint32_t>(108 + records.size()));
  put32(header, 2 + 4 + 2 * 5000);
  put32(header, 8);
  for (uint32_t v : {0u, 0u, 0u, 793u, 1122u, 210u, 297u, 0u, 0u, 0u, 210000u, 297000u}) {
    put32(header, v);
  }
  const std::string page = header + records;
  return std::vector<uint8_t>(page.begin(), page.end());
}

void PlayTextHeavyPage(benchmark::State& state) {
  const std::vector<uint8_t> data = TextHeavyPage();
  const auto file = emf::Metafile::Parse(data, nullptr);
  if (!file) {
    state.SkipWithError("not a metafile");
    return;
  }
  const int width = 2480, height = 3508;  // A4 at 300 dots per inch
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
  for (auto _ : state) {
    std::fill(pixels.begin(), pixels.end(), 0xFFFFFF);
    emf::Canvas canvas(pixels.data(), width, height, width * 4);
    benchmark::DoNotOptimize(emf::PlayMetafile(*file, canvas, emf::RectL{0, 0, width, height}));
  }
  state.counters["records"] = 10004;
  state.counters["inked"] = static_cast<double>(
      std::count_if(pixels.begin(), pixels.end(), [](uint32_t p) { return (p & 0xFFFFFF) != 0xFFFFFF; }));
}
BENCHMARK(PlayTextHeavyPage)->Unit(benchmark::kMillisecond);

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
