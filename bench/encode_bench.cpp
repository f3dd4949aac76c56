// Encoding pages to PNG beside ImageMagick's convert doing the same from the same BMP (its
// time is the whole process, reading the BMP included): samples/sample-page1.emf as a letter
// page of 2550 x 3300, and at 96 and 300 dots per inch with two corpus pages, a text page
// (the first page of the spool file export_0000s10.SPL) and a picture page (test-178, colour
// gradients). Ours is the converter's path with bReducePng=1: the BMP read back a band at a
// time, its colours counted, then written as grey levels, a palette or RGB. The same pages as
// lossless WebP, beside convert's lossless WebP. Then JPEG, TIFF and GIF of the letter page,
// each beside convert's.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "formats/spool_format.h"
#include "convert/raster_encoding.h"
#include "convert/rasterize.h"

namespace {

const std::string kShared = QUADRINE_SHARED_DIR;

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The first page of a spool file, as an EMF file of its own.
std::string FirstPageOf(const std::string& spool) {
  const std::string bytes = ReadBytes(spool);
  const SpoolPages found =
      FindPages({reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()});
  const std::string path = MakeTempFilePath(".emf");
  if (!found.pages.empty()) {
    std::ofstream(path, std::ios::binary)
        << bytes.substr(found.pages[0].offset, found.pages[0].size);
  }
  return path;
}

const std::string& PagePath(const std::string& page) {
  static std::map<std::string, std::string> paths;
  if (paths.empty()) {
    paths["sample"] = QUADRINE_SOURCE_DIR "/samples/sample-page1.emf";
    paths["text"] = FirstPageOf(kShared + "/corpus/spl/export_0000s10.SPL");
    paths["picture"] = kShared + "/corpus/emf/test-178.emf";
  }
  return paths.at(page);
}

// The page drawn into a BMP once: at dpi dots per inch, or for 0 the letter page's 2550 x 3300.
const std::string& PageBmp(const std::string& page, int dpi) {
  static std::map<std::pair<std::string, int>, std::string> made;
  std::string& bmp = made[{page, dpi}];
  if (bmp.empty()) {
    ImageSettings settings;
    if (dpi == 0) {
      settings.specifySize = 1;
      settings.width = 2550;
      settings.height = 3300;
    } else {
      settings.xResolution = settings.yResolution = static_cast<float>(dpi) * 72 / 96;
    }
    bmp = MakeTempFilePath(".bmp");
    RenderEmfToBmp(PagePath(page), bmp, settings);
  }
  return bmp;
}

void Ours(benchmark::State& state, const std::string& page, int dpi, const char* extension) {
  const std::string& bmp = PageBmp(page, dpi);  // drawn before the clock runs
  const std::string out = MakeTempFilePath(extension);
  EncodeOptions options{dpi > 0 ? dpi : 300, dpi > 0 ? dpi : 300, true};
  for (auto _ : state) {
    std::filesystem::remove(out);
    if (EncodeImageFile(bmp, out, options) != 0) {
      state.SkipWithError("not encoded");
      return;
    }
  }
  state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(out));
  std::filesystem::remove(out);
}

void ImageMagick(benchmark::State& state, const std::string& page, int dpi, const char* extension,
                 const char* options) {
  if (std::system("command -v convert >/dev/null 2>&1") != 0) {
    state.SkipWithError("ImageMagick's convert is not installed");
    return;
  }
  const std::string out = MakeTempFilePath(extension);
  const std::string command =
      std::string("convert ") + PageBmp(page, dpi) + " " + options + " " + out + " 2>/dev/null";
  for (auto _ : state) {
    benchmark::DoNotOptimize(std::system(command.c_str()));
  }
  state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(out));
  std::filesystem::remove(out);
}

void RegisterAll() {
  struct Page {
    const char* name;
    int dpi;
  };
  const Page pages[] = {{"sample", 0},  {"sample", 96},  {"sample", 300}, {"text", 96},
                        {"text", 300}, {"picture", 96}, {"picture", 300}};
  for (const Page& p : pages) {
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, p.dpi == 0 ? "%s/letter" : "%s/%ddpi", p.name, p.dpi);
    std::string ours = "png/ours/";
    std::string theirs = "png/convert/";
    benchmark::RegisterBenchmark((ours += suffix).c_str(), Ours, p.name, p.dpi, ".png")
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((theirs += suffix).c_str(), ImageMagick, p.name, p.dpi, ".png",
                                 "")
        ->Unit(benchmark::kMillisecond);
  }
  for (const Page& p : pages) {
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, p.dpi == 0 ? "%s/letter" : "%s/%ddpi", p.name, p.dpi);
    benchmark::RegisterBenchmark((std::string("webp/ours/") + suffix).c_str(), Ours, p.name,
                                 p.dpi, ".webp")
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((std::string("webp/convert/") + suffix).c_str(), ImageMagick,
                                 p.name, p.dpi, ".webp", "-define webp:lossless=true")
        ->Unit(benchmark::kMillisecond);
  }
  struct Other {
    const char* name;
    const char* extension;
    const char* convert_options;
  };
  for (const Other& o : {Other{"jpeg", ".jpg", "-quality 90"}, Other{"tiff", ".tif", "-compress RLE"},
                         Other{"gif", ".gif", ""}}) {
    benchmark::RegisterBenchmark((std::string(o.name) + "/ours/sample/letter").c_str(), Ours,
                                 "sample", 0, o.extension)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark((std::string(o.name) + "/convert/sample/letter").c_str(),
                                 ImageMagick, "sample", 0, o.extension, o.convert_options)
        ->Unit(benchmark::kMillisecond);
  }
}

}  // namespace

int main(int argc, char** argv) {
  RegisterAll();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
