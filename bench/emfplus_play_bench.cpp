// Plays pages with EMF+ records as GDI+ draws them and as GDI does, at 96 and 300 dots per
// inch: the corpus's and the real files' largest EMF+ pages.
#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "emf/canvas/canvas.h"
#include "emf/player/player.h"
#include "emf/records/metafile.h"
#include "emfplus/player.h"

namespace {

void PlayPage(benchmark::State& state, const std::string& path, double dpi, bool gdi_plus) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
  const auto file = emf::Metafile::Parse(data, nullptr);
  if (!file || !emfplus::HoldsEmfPlus(*file)) {
    state.SkipWithError("no page with EMF+ records");
    return;
  }
  const emf::RectL& frame = file->header().frame;
  const int width = static_cast<int>((frame.right - frame.left) / 2540.0 * dpi + 0.5);
  const int height = static_cast<int>((frame.bottom - frame.top) / 2540.0 * dpi + 0.5);
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
  const emf::CommentDrawingMaker comments =
      gdi_plus ? emfplus::EmfPlusDrawing() : emf::CommentDrawingMaker{};
  for (auto _ : state) {
    std::fill(pixels.begin(), pixels.end(), 0xFFFFFF);
    emf::Canvas canvas(pixels.data(), width, height, width * 4);
    benchmark::DoNotOptimize(
        emf::PlayMetafile(*file, canvas, emf::RectL{0, 0, width, height}, comments));
  }
  state.counters["pixels"] = static_cast<double>(pixels.size());
}

}  // namespace

int main(int argc, char** argv) {
  const std::string shared = QUADRINE_SHARED_DIR;
  const char* pages[] = {
      "/corpus/emf/test-161.emf",
      "/corpus/emf/test-150.emf",
      "/corpus/emf/test-000.emf",  // bitmaps blended as they stretch
      "/corpus/real/emfreader-LibreOffice_image15.emf",
      "/corpus/real/emfreader-LibreOffice_bug3.emf",
  };
  for (const char* page : pages) {
    const std::string path = shared + page;
    const std::string name = path.substr(path.find_last_of('/') + 1);
    for (const double dpi : {96.0, 300.0}) {
      for (const bool gdi_plus : {true, false}) {
        benchmark::RegisterBenchmark(
            (name + (gdi_plus ? "/gdiplus/" : "/gdi/") + std::to_string(static_cast<int>(dpi)))
                .c_str(),
            [=](benchmark::State& state) { PlayPage(state, path, dpi, gdi_plus); })
            ->Unit(benchmark::kMillisecond);
      }
    }
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
