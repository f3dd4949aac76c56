// Pages per second of one print job of 21 pages (the corpus's seven spool pages, three times
// over) through the converter, as the printer package runs it after a job, beside
// quadrine-convert on the same job's spool file: -j 1 --no-reduce (the converter's 24-bit
// PNG), -j 1 and -j 2; at 96 and 300 dots per inch, to PNG and to JPEG. Each run is a child
// process. QUADRINE_JOB_BENCH_BUILD names another build folder whose programs are timed
// instead (an older build, for figures before and after a change in one sitting).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr int kRounds = 3;
const char* const kFormats[] = {"png", "jpg"};

std::string BuildFolder() {
  const char* other = std::getenv("QUADRINE_JOB_BENCH_BUILD");
  return other != nullptr && *other != '\0' ? other : QUADRINE_BINARY_DIR;
}

// Runs the program with the extra environment, in folder, its output thrown away; its exit
// status.
int Run(const std::vector<std::string>& arguments, const std::string& folder,
        const std::vector<std::string>& environment = {}) {
  std::vector<char*> argv;
  for (const std::string& argument : arguments) {
    argv.push_back(const_cast<char*>(argument.c_str()));
  }
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(folder.c_str()) != 0) {
      _exit(126);
    }
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    for (const std::string& setting : environment) {
      putenv(const_cast<char*>(setting.c_str()));
    }
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

void WriteText(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// The install folder the converter runs from, the 21 page files and the job's spool file.
struct Job {
  fs::path folder;
  fs::path install;
  fs::path elsewhere;  // the working and temporary folder
  std::vector<std::string> pages;
  fs::path spool;  // a copy of the spool file quadrine-print writes for the job
  std::string error;
};

const Job& TheJob() {
  static const Job job = [] {
    Job made;
    made.folder = fs::temp_directory_path() / ("quadrine-job-bench-" + std::to_string(getpid()));
    made.install = made.folder / "install";
    made.elsewhere = made.folder / "elsewhere";
    fs::create_directories(made.install / "windows/system32/spool/PRINTERS");
    fs::create_directories(made.elsewhere);
    const std::string build = BuildFolder();
    fs::copy_file(build + "/src/run/quadrine", made.install / "quadrine");
    fs::copy_file(build + "/tools/quadrine-print/quadrine-print", made.install / "quadrine-print");
    // The spool pages, cut out of the corpus's spool files.
    std::vector<std::string> cut = {
        build + "/tools/quadrine-convert/quadrine-convert", "-q", "-f", "emf", "-o",
        (made.elsewhere / "{name}-{page}.emf").string()};
    for (const auto& entry : fs::directory_iterator(QUADRINE_SHARED_DIR "/corpus/spl")) {
      cut.push_back(entry.path().string());
    }
    Run(cut, made.elsewhere.string());  // one of them is an XPS spool file, which it refuses
    std::vector<std::string> once;
    for (const auto& entry : fs::directory_iterator(made.elsewhere)) {
      once.push_back(entry.path().filename().string());
    }
    if (once.size() != 7) {
      made.error = "the seven spool pages could not be cut out";
      return made;
    }
    std::sort(once.begin(), once.end());
    for (int round = 0; round < kRounds; ++round) {
      made.pages.insert(made.pages.end(), once.begin(), once.end());
    }
    // One job, spooled once to keep its spool file for quadrine-convert.
    std::vector<std::string> print = {(made.install / "quadrine-print").string(), "--no-run"};
    print.insert(print.end(), made.pages.begin(), made.pages.end());
    const fs::path spoolFolder = made.install / "windows/system32/spool/PRINTERS";
    if (Run(print, made.elsewhere.string(), {"WINDIR="}) != 0) {
      made.error = "quadrine-print failed";
      return made;
    }
    for (const auto& entry : fs::directory_iterator(spoolFolder)) {
      if (entry.path().extension() == ".SPL") {
        made.spool = made.folder / "job.SPL";
        fs::copy_file(entry.path(), made.spool);
      }
      fs::remove(entry.path());
    }
    fs::remove(made.install / "windows/system32/spool/printers.ini");
    if (made.spool.empty()) {
      made.error = "quadrine-print wrote no spool file";
    }
    return made;
  }();
  return job;
}

void SetOption(const Job& job, const std::string& text) {
  WriteText(job.install / "option.ini", text);
}

// The converter's resolution setting counts 72 for every 96 true dots per inch.
std::string ConverterResolution(int dpi) {
  return std::to_string(dpi * 72 / 96);
}

void Converter(benchmark::State& state) {
  const Job& job = TheJob();
  if (!job.error.empty()) {
    state.SkipWithError(job.error.c_str());
    return;
  }
  const int dpi = static_cast<int>(state.range(0));
  const std::string format = kFormats[state.range(1)];
  SetOption(job, "[AutoSave]\r\nOutputFile=C:\\out\\page." + format +
                     "\r\n[AutoSaveOptions]\r\nm_strResolution=" + ConverterResolution(dpi) +
                     "\r\n");
  const fs::path out = job.install / "out";
  std::vector<std::string> print = {(job.install / "quadrine-print").string(), "--no-run"};
  print.insert(print.end(), job.pages.begin(), job.pages.end());
  for (auto _ : state) {
    fs::remove_all(out);
    fs::create_directories(out);
    if (Run(print, job.elsewhere.string(), {"WINDIR="}) != 0) {
      state.SkipWithError("quadrine-print failed");
      return;
    }
    const auto start = std::chrono::steady_clock::now();
    const int status = Run({(job.install / "quadrine").string()}, job.elsewhere.string(),
                           {"WINDIR=", "QUADRINE_WINVER=", "TMP=" + job.elsewhere.string()});
    state.SetIterationTime(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    shm_unlink(("/Quadrine." + std::to_string(getuid())).c_str());
    const auto written = std::distance(fs::directory_iterator(out), fs::directory_iterator());
    if (status != 0 || written != static_cast<long>(job.pages.size())) {
      state.SkipWithError("the converter did not write every page");
      return;
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(job.pages.size()));
  state.SetLabel(format);
}
BENCHMARK(Converter)
    ->ArgNames({"dpi", "jpg"})
    ->ArgsProduct({{96, 300}, {0, 1}})
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// quadrine-convert on the same spool file: mode 0 is -j 1 --no-reduce, 1 is -j 1, 2 is -j 2.
void ConvertTool(benchmark::State& state) {
  const Job& job = TheJob();
  if (!job.error.empty()) {
    state.SkipWithError(job.error.c_str());
    return;
  }
  const std::string dpi = std::to_string(state.range(0));
  const std::string format = kFormats[state.range(1)];
  const int64_t mode = state.range(2);
  const fs::path out = job.folder / "convert-out";
  std::vector<std::string> arguments = {BuildFolder() + "/tools/quadrine-convert/quadrine-convert",
                                        "-q",
                                        "-r",
                                        dpi,
                                        "-j",
                                        mode == 2 ? "2" : "1",
                                        "-o",
                                        (out / ("{page}." + format)).string()};
  if (mode == 0) {
    arguments.push_back("--no-reduce");
  }
  arguments.push_back(job.spool.string());
  for (auto _ : state) {
    fs::remove_all(out);
    const auto start = std::chrono::steady_clock::now();
    const int status = Run(arguments, job.elsewhere.string());
    state.SetIterationTime(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    if (status != 0) {
      state.SkipWithError("quadrine-convert failed");
      return;
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(job.pages.size()));
  state.SetLabel(format + (mode == 0 ? " -j 1 --no-reduce" : mode == 1 ? " -j 1" : " -j 2"));
}
BENCHMARK(ConvertTool)
    ->ArgNames({"dpi", "jpg", "mode"})
    ->ArgsProduct({{96, 300}, {0, 1}, {0, 1, 2}})
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  fs::remove_all(TheJob().folder);
  return 0;
}
