// Pages per second of quadrine-convert on a 20-page spool file, at 96 and 300 dots per inch,
// with one worker and with two, each run a child process writing PNG files; and the same 20
// pages through the converter's page path (drawn into a bitmap whose rows go to the encoder),
// one after the other as a run converts them.
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "convert/image_settings.h"
#include "convert/raster_encoding.h"
#include "convert/rasterize.h"
#include "win32/win32.h"

namespace {

namespace fs = std::filesystem;

const std::string kCorpus = QUADRINE_SHARED_DIR "/corpus/emf";
constexpr int kPages = 20;

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Append32(std::string& out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) {
    out += static_cast<char>(value >> shift & 0xFF);
  }
}

// The first 20 corpus pages of ordinary size (under 1 MB, letter or A4 and smaller), as the
// page files a run converts and as one spool file, as Windows writes it.
struct Job {
  fs::path folder;
  std::vector<std::string> pages;
  std::string spool;
};

const Job& TheJob() {
  static const Job job = [] {
    Job made;
    made.folder =
        fs::temp_directory_path() / ("quadrine-convert-bench-" + std::to_string(getpid()));
    fs::create_directories(made.folder);
    std::vector<fs::path> names;
    for (const auto& entry : fs::directory_iterator(kCorpus)) {
      if (entry.path().extension() == ".emf" && entry.file_size() < (1u << 20)) {
        names.push_back(entry.path());
      }
    }
    std::sort(names.begin(), names.end());
    std::string spool;
    Append32(spool, 0x00010000);  // version, header size, document name offset, output offset
    Append32(spool, 24);
    Append32(spool, 16);
    Append32(spool, 0);
    spool += std::string("b\0j\0\0\0\0\0", 8);
    for (const fs::path& name : names) {
      const std::string bytes = ReadBytes(name);
      if (bytes.size() < 48 || static_cast<int>(made.pages.size()) == kPages) {
        continue;
      }
      const fs::path copy = made.folder / name.filename();
      std::ofstream(copy, std::ios::binary) << bytes;
      made.pages.push_back(copy.string());
      Append32(spool, 12);  // EMRI_METAFILE_DATA
      Append32(spool, static_cast<uint32_t>(bytes.size()));
      spool += bytes;
    }
    made.spool = (made.folder / "job.spl").string();
    std::ofstream(made.spool, std::ios::binary) << spool;
    return made;
  }();
  return job;
}

int RunTool(const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  for (const std::string& argument : arguments) {
    argv.push_back(const_cast<char*>(argument.c_str()));
  }
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

void ConvertTool(benchmark::State& state) {
  const Job& job = TheJob();
  const std::string dpi = std::to_string(state.range(0));
  const std::string jobs = std::to_string(state.range(1));
  const fs::path out = job.folder / ("out-" + dpi + "-" + jobs);
  for (auto _ : state) {
    fs::remove_all(out);
    const auto start = std::chrono::steady_clock::now();
    if (RunTool({QUADRINE_CONVERT_TOOL, "-q", "-r", dpi, "-j", jobs, "-o",
                 (out / "{page}.png").string(), job.spool}) != 0) {
      state.SkipWithError("quadrine-convert failed");
      return;
    }
    state.SetIterationTime(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(job.pages.size()));
}
BENCHMARK(ConvertTool)
    ->ArgNames({"dpi", "jobs"})
    ->Args({96, 1})
    ->Args({96, 2})
    ->Args({300, 1})
    ->Args({300, 2})
    ->Iterations(2)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The converter's own path for the same pages: its resolution setting counts 72 for 96 true
// dots per inch.
void ConverterPagePath(benchmark::State& state) {
  const Job& job = TheJob();
  ImageSettings settings;
  settings.colorDepth = 24;
  settings.xResolution = settings.yResolution = static_cast<float>(state.range(0)) * 72 / 96;
  for (auto _ : state) {
    for (const std::string& page : job.pages) {
      std::string reason;
      const std::string png = MakeTempFilePath(".png");
      const int written = RenderPageToImage(page, png, settings, reason);
      ReleaseTempFilePath(png, ".png");
      if (written == 0) {
        state.SkipWithError(("the converter failed on " + page + ": " + reason).c_str());
        return;
      }
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(job.pages.size()));
}
BENCHMARK(ConverterPagePath)
    ->ArgName("dpi")
    ->Arg(96)
    ->Arg(300)
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  fs::remove_all(TheJob().folder);
  return 0;
}
