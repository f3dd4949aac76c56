// Pages of any size in bounded memory. test-158, a 3.2 x 4.1 m poster, goes to PNG through
// quadrine-render at 96 and 300 dots per inch and through the converter's page path (drawn
// in a mapped temporary BMP file, as a page past one band is, then encoded from it) at 96, each in
// a child process whose peak memory is measured: peak_anon_MB samples the child's anonymous memory
// every 2 ms, peak_rss_MB is the kernel's high-water mark of everything resident (mapped files
// included). Then the corpus is played whole, as the band plan draws ordinary pages, and forced
// into bands, to show what bands cost.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "measure_child.h"
#include "convert/image_settings.h"
#include "convert/raster_encoding.h"
#include "convert/rasterize.h"
#include "emf/player/band_player.h"
#include "emf/records/metafile.h"
#include "win32/win32.h"

namespace {

const std::string kCorpus = QUADRINE_SHARED_DIR "/corpus/emf";
const std::string kPoster = kCorpus + "/test-158.emf";

using bench_support::MeasureChild;

void PosterThroughRenderTool(benchmark::State& state) {
  const std::string dpi = std::to_string(state.range(0));
  const std::string out = MakeTempFilePath(".png");
  MeasureChild(state, [&] {
    execl(QUADRINE_RENDER_TOOL, QUADRINE_RENDER_TOOL, kPoster.c_str(), out.c_str(), "--dpi",
          dpi.c_str(), static_cast<char*>(nullptr));
    return 127;
  });
  state.counters["png_MB"] = static_cast<double>(std::filesystem::file_size(out)) / 1e6;
  ReleaseTempFilePath(out, ".png");
}
BENCHMARK(PosterThroughRenderTool)
    ->ArgName("dpi")
    ->Arg(96)
    ->Arg(300)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

void PosterThroughConverter(benchmark::State& state) {
  ImageSettings settings;
  settings.colorDepth = 24;
  settings.xResolution = settings.yResolution = 72;  // 96 true dots per inch
  const std::string out = MakeTempFilePath(".png");
  MeasureChild(state, [&] {
    std::string reason;
    return RenderPageToImage(kPoster, out, settings, reason) != 0 ? 0 : 1;
  });
  ReleaseTempFilePath(out, ".png");
}
BENCHMARK(PosterThroughConverter)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

struct CorpusPage {
  std::vector<uint8_t> bytes;
  std::optional<emf::Metafile> file;
  int width = 0;
  int height = 0;
};

// The corpus pages, sized at dpi. Parsed once every file is read: a page's metafile points into
// its bytes, which must not move after.
std::vector<CorpusPage> Corpus(int dpi) {
  std::vector<CorpusPage> pages;
  for (const auto& entry : std::filesystem::directory_iterator(kCorpus)) {
    CorpusPage& page = pages.emplace_back();
    std::ifstream in(entry.path(), std::ios::binary);
    page.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  for (CorpusPage& page : pages) {
    page.file = emf::Metafile::Parse(page.bytes, nullptr);
    if (page.file) {
      const emf::RectL& frame = page.file->header().frame;
      page.width = static_cast<int>((frame.right - frame.left) / 2540.0 * dpi + 0.5);
      page.height = static_cast<int>((frame.bottom - frame.top) / 2540.0 * dpi + 0.5);
    }
  }
  return pages;
}

// The corpus at 300 dots per inch, band_rows 0: as the band plan draws it (every corpus page
// but the poster whole); else cut into bands of that many rows.
void CorpusInBands(benchmark::State& state) {
  const int band_rows = static_cast<int>(state.range(0));
  const std::vector<CorpusPage> pages = Corpus(300);
  const auto play_all = [&] {
    int bands = 0;
    for (const CorpusPage& page : pages) {
      if (!page.file || page.width < 1 || page.height < 1 ||
          int64_t{page.width} * page.height > emf::kBandPixels) {
        continue;  // the poster is measured above
      }
      const emf::BandPlan plan = band_rows == 0
                                     ? emf::PlanBands(page.width, page.height)
                                     : emf::BandPlan{band_rows, page.width, emf::kBandMargin};
      emf::PlayStats stats;
      const std::string failure = emf::PlayInBands(
          *page.file, page.width, page.height, plan,
          [&](const uint32_t*, size_t, int) {
            ++bands;
            return true;
          },
          stats);
      if (!failure.empty()) {
        state.SkipWithError(failure.c_str());
      }
    }
    return bands;
  };
  play_all();  // loads the fonts, so that every timed pass finds them loaded
  int bands = 0;
  for (auto _ : state) {
    bands = play_all();
  }
  state.counters["bands"] = bands;
}
BENCHMARK(CorpusInBands)
    ->ArgName("band_rows")
    ->Arg(0)
    ->Arg(1024)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
