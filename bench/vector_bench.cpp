// A page written as a PDF beside the same page rasterised at 300 dots per inch and written as
// a PNG (as quadrine-convert does both), with each file's size: a text page (the first page of
// the spool file EMFSpoolfileReader_00004.SPL), samples/sample-page1.emf and a picture page
// (test-178, gradients).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "formats/spool_format.h"
#include "emf/player/band_player.h"
#include "emf/records/metafile.h"
#include "emf/vector/vector_document.h"
#include "imaging/colour_census.h"

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<uint8_t> PageBytes(const std::string& name) {
  if (name == "text") {
    std::vector<uint8_t> spool =
        ReadBytes(QUADRINE_SHARED_DIR "/corpus/spl/EMFSpoolfileReader_00004.SPL");
    const SpoolPages found = FindPages(spool);
    const SpoolPage first = found.pages.at(0);
    return {spool.begin() + static_cast<std::ptrdiff_t>(first.offset),
            spool.begin() + static_cast<std::ptrdiff_t>(first.offset + first.size)};
  }
  return ReadBytes(name == "sample" ? QUADRINE_SOURCE_DIR "/samples/sample-page1.emf"
                                    : QUADRINE_SHARED_DIR "/corpus/emf/test-178.emf");
}

std::string OutPath(const char* extension) {
  return (fs::temp_directory_path() / ("quadrine-vector-bench" + std::string(extension))).string();
}

void Pdf(benchmark::State& state, const std::string& name) {
  const std::vector<uint8_t> page = PageBytes(name);
  std::string pdf;
  const emf::ByteSink keep = [&pdf](std::span<const uint8_t> bytes) {
    pdf.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return true;
  };
  for (auto _ : state) {
    pdf.clear();
    const std::string error =
        emf::WriteVectorPage(page, keep, emf::VectorFormat::kPdf, emf::ColourRule::kColour);
    if (!error.empty()) {
      state.SkipWithError(error.c_str());
      return;
    }
  }
  state.counters["bytes"] = static_cast<double>(pdf.size());
}

void Png300(benchmark::State& state, const std::string& name) {
  const std::vector<uint8_t> bytes = PageBytes(name);
  const std::string out = OutPath(".png");
  std::string error;
  const auto file = emf::Metafile::Parse(bytes, &error);
  const emf::RectL& frame = file->header().frame;
  const int width = static_cast<int>((frame.right - frame.left) / 2540.0 * 300 + 0.5);
  const int height = static_cast<int>((frame.bottom - frame.top) / 2540.0 * 300 + 0.5);
  for (auto _ : state) {
    imaging::RowLayout layout;
    layout.width = width;
    layout.height = height;
    layout.x_dpi = layout.y_dpi = 300;
    auto writer = imaging::OpenReducingPngRows(layout, out, &error);
    std::vector<uint8_t> rgb(static_cast<size_t>(width) * 3);
    emf::PlayStats stats;
    emf::PlayInBands(
        *file, width, height, emf::PlanStreamedBands(width, height),
        [&](const uint32_t* rows, size_t stride, int count) {
          for (int y = 0; y < count; ++y) {
            emf::RowToRgb(rows + static_cast<size_t>(y) * stride, width, rgb.data());
            writer->WriteRows(rgb.data(), rgb.size(), 1);
          }
          return true;
        },
        stats);
    writer->Finish(&error);
  }
  state.counters["bytes"] = static_cast<double>(fs::file_size(out));
  fs::remove(out);
}

BENCHMARK_CAPTURE(Pdf, text, "text")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Png300, text, "text")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Pdf, sample, "sample")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Png300, sample, "sample")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Pdf, picture, "picture")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Png300, picture, "picture")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
