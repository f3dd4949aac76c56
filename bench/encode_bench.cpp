// Encoding a letter page at 300 dots per inch (2550 x 3300, rendered from a page) to PNG,
// JPEG, TIFF and GIF, beside ImageMagick's convert doing the same from the same BMP.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "convert/raster_encoding.h"
#include "convert/rasterize.h"

namespace {

const std::string& PageBmp() {
  static const std::string path = [] {
    ImageSettings settings;
    settings.specifySize = 1;
    settings.width = 2550;
    settings.height = 3300;
    const std::string bmp = MakeTempFilePath(".bmp");
    RenderEmfToBmp(QUADRINE_SOURCE_DIR "/samples/sample-page1.emf", bmp, settings);
    return bmp;
  }();
  return path;
}

void Ours(benchmark::State& state, const char* extension) {
  const std::string out = MakeTempFilePath(extension);
  for (auto _ : state) {
    std::filesystem::remove(out);
    benchmark::DoNotOptimize(EncodeImageFile(PageBmp(), out, EncodeOptions{300, 300}));
  }
  state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(out));
  std::filesystem::remove(out);
}

void ImageMagick(benchmark::State& state, const char* extension, const char* options) {
  if (std::system("command -v convert >/dev/null 2>&1") != 0) {
    state.SkipWithError("ImageMagick's convert is not installed");
    return;
  }
  const std::string out = MakeTempFilePath(extension);
  const std::string command =
      std::string("convert ") + PageBmp() + " " + options + " " + out + " 2>/dev/null";
  for (auto _ : state) {
    benchmark::DoNotOptimize(std::system(command.c_str()));
  }
  state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(out));
  std::filesystem::remove(out);
}

BENCHMARK_CAPTURE(Ours, png, ".png")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ImageMagick, png, ".png", "")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Ours, jpeg, ".jpg")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ImageMagick, jpeg, ".jpg", "-quality 90")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Ours, tiff, ".tif")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ImageMagick, tiff, ".tif", "-compress RLE")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Ours, gif, ".gif")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ImageMagick, gif, ".gif", "")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
