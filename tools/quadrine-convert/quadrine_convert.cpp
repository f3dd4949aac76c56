// quadrine-convert: EMF pages and Windows spool files to images, one file per page, from a
// terminal. The spool reader, the engine and the encoders are the converter's own; the
// inputs are never changed, and no output replaces a file unless --force says so.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "base/print_job.h"
#include "base/usage_error.h"
#include "convert_inputs.h"
#include "convert_options.h"
#include "convert_progress.h"
#include "emf/records/metafile.h"
#include "emf/text/font.h"
#include "emf/vector/vector_document.h"
#include "formats/spool_format.h"
#include "imaging/image.h"
#include "imaging/row_writer.h"
#include "page/page.h"
#include "page_output.h"

namespace {

constexpr int kBadUsage = 2;

// One output file: one page, or with --one-file every page of an input.
struct PageTask {
  size_t input = 0;
  int number = 0;  // the first page's, from 1
  std::vector<SpoolPage> spans;
  std::vector<int> numbers;  // each span's page number in its input, from 1
  std::string output;
  std::string failure;  // empty when written
  bool skipped = false;
  bool existed = false;  // left alone: its output was there (--skip-existing)
  int blank = 0;         // pages left out as blank
  // Pages written as far as their data goes, by number: "the page ends after ...".
  std::vector<std::pair<int, std::string>> cut;
  std::vector<int> emf_plus_only;  // pages GDI draws as nothing: their drawing is all EMF+
  std::vector<int> outside_frame;  // pages drawing outside their frame, cut off by it
};

// -f names the format a file holds: a name whose extension says otherwise gets its own.
std::string WithFormatExtension(const std::string& path, const std::string& format) {
  if (path == kStandardStream) {
    return path;
  }
  const std::string extension = ExtensionOf(path);
  if (extension == format ||
      (FormatCodeOf(extension) != 0 && FormatCodeOf(extension) == FormatCodeOf(format))) {
    return path;
  }
  return (extension.empty() ? path : path.substr(0, path.size() - extension.size() - 1)) + "." +
         format;
}

// The pages of one input, named, from what was read of it (bytes); false (with why) when it
// holds none we read.
bool FindInputPages(Input& input, std::span<const uint8_t> bytes, size_t index,
                    const ConvertOptions& options, std::vector<PageTask>& tasks,
                    std::string& error) {
  page::InputPages found;
  if (input.kind == page::InputKind::kEmfPage || input.kind == page::InputKind::kWmf) {
    found.kind = input.kind;
    found.pages.push_back({0, kWholeInput});
  } else if (!page::FindInputPages(bytes, found, error)) {
    if (found.kind == page::InputKind::kOther) {
      error +=
          "; quadrine-convert reads EMF pages, Windows metafiles and spool files in the EMF "
          "format";
    }
    return false;
  }
  input.document = found.document;
  const std::vector<SpoolPage>& spans = found.pages;
  const std::string document = SafeDocumentName(found.document);
  if (found.last_cut_short) {
    error = "its last page is cut short and is left out";
  }
  // Only the pages asked for, each keeping its own number; a number the input does not reach
  // is said, and the input counts as failed.
  std::vector<std::pair<int, SpoolPage>> selected;
  for (size_t k = 0; k < spans.size(); ++k) {
    if (PageSelected(options, static_cast<int>(k + 1))) {
      selected.emplace_back(static_cast<int>(k + 1), spans[k]);
    }
  }
  for (const auto& [first, last] : options.pages) {
    const int highest = last == kToTheLastPage ? first : last;
    if (highest > static_cast<int>(spans.size())) {
      error = "it has " + std::to_string(spans.size()) + (spans.size() == 1 ? " page" : " pages") +
              ", no page " + std::to_string(highest);
      break;
    }
  }
  if (selected.empty()) {
    return false;
  }
  const std::string name = BaseNameWithoutExtension(input.path);
  if (options.one_file) {
    PageTask task;
    task.input = index;
    task.number = selected.front().first;
    for (const auto& [number, span] : selected) {
      task.spans.push_back(span);
      task.numbers.push_back(number);
    }
    task.output = WithFormatExtension(ExpandOutputPattern(options.pattern, name, 1, document),
                                      options.format);
    tasks.push_back(task);
    input.data->tasks_left = 1;
    return true;
  }
  for (const auto& [number, span] : selected) {
    PageTask task;
    task.input = index;
    task.number = number;
    task.spans = {span};
    task.numbers = {number};
    task.output = ExpandOutputPattern(options.pattern, name, task.number, document);
    task.output = WithFormatExtension(task.output, options.format);
    tasks.push_back(task);
  }
  input.data->tasks_left = selected.size();
  return true;
}

// Two pages may not share a name: refused before anything is written.
bool NamesAreDistinct(const std::vector<PageTask>& tasks, const std::vector<Input>& inputs) {
  std::map<std::string, const PageTask*> taken;
  for (const PageTask& task : tasks) {
    const std::string key = std::filesystem::path(task.output).lexically_normal().string();
    const auto [it, fresh] = taken.emplace(key, &task);
    if (!fresh) {
      std::fprintf(stderr,
                   "quadrine-convert: %s page %d and %s page %d would both be written to %s; "
                   "give a pattern with {page} and {name} in it\n",
                   inputs[it->second->input].path.c_str(), it->second->number,
                   inputs[task.input].path.c_str(), task.number, task.output.c_str());
      return false;
    }
  }
  return true;
}

// Every output's folder made and written to before any page is drawn: a folder that cannot be
// is said once, instead of once for each page after all of them were drawn.
bool OutputFoldersAreWritable(const std::vector<PageTask>& tasks) {
  std::set<std::string> checked;
  for (const PageTask& task : tasks) {
    if (task.output == kStandardStream) {
      continue;
    }
    const std::filesystem::path parent = std::filesystem::path(task.output).parent_path();
    const std::string folder = parent.empty() ? std::string(".") : parent.string();
    if (!checked.insert(folder).second) {
      continue;
    }
    std::error_code code;
    std::filesystem::create_directories(folder, code);
    // Written to, not just present: a probe file, made exclusively and removed at once.
    std::string probe = (std::filesystem::path(folder) / ".quadrine-probe-XXXXXX").string();
    const int fd = mkstemp(probe.data());
    if (fd < 0) {
      const int why = code ? code.value() : errno;
      std::fprintf(stderr,
                   "quadrine-convert: the output folder %s cannot be made or written (%s); "
                   "nothing was drawn\n",
                   folder.c_str(), std::strerror(why));
      return false;
    }
    close(fd);
    unlink(probe.c_str());
  }
  return true;
}

// With --force an output replaces the file at its name: never an input (the same file by
// device and inode, whatever name leads to it). Refused before anything is drawn.
bool NoOutputIsAnInput(const std::vector<PageTask>& tasks, const std::vector<Input>& inputs) {
  for (const PageTask& task : tasks) {
    struct stat seen {};
    if (task.output == kStandardStream || stat(task.output.c_str(), &seen) != 0) {
      continue;
    }
    for (const Input& input : inputs) {
      if (input.inode != 0 && seen.st_dev == input.device && seen.st_ino == input.inode) {
        std::fprintf(stderr,
                     "quadrine-convert: %s is the input %s; --force would replace it, and inputs "
                     "are never changed: give another output name\n",
                     task.output.c_str(), input.path.c_str());
        return false;
      }
    }
  }
  return true;
}

// A document's title: the name its program printed it under, else the input's file name.
std::string DocumentTitle(const Input& input) {
  return input.document.empty() ? BaseNameWithoutExtension(input.path) : input.document;
}

// The finished file to standard output; "" when all of it went, else why.
std::string CopyToStandardOutput(const std::string& temporary) {
  std::ifstream in(temporary, std::ios::binary);
  std::vector<char> buffer(1 << 16);
  std::string failure;
  while (in && failure.empty()) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    const size_t got = static_cast<size_t>(in.gcount());
    if (got > 0 && std::fwrite(buffer.data(), 1, got, stdout) != got) {
      failure = std::string("standard output: ") + std::strerror(errno);
    }
  }
  if (failure.empty() && std::fflush(stdout) != 0) {
    failure = std::string("standard output: ") + std::strerror(errno);
  }
  unlink(temporary.c_str());
  return failure;
}

// Opens a page of the input ready to draw, as the options ask.
bool OpenSpan(const Input& input, const SpoolPage& span, const ConvertOptions& options,
              page::Page& opened, std::string& error) {
  const std::span<const uint8_t> bytes(input.data->bytes);
  if (span.size == kWholeInput) {
    return page::OpenPage(bytes, {options.x_dpi, options.area_bounds, options.gdi}, opened, error);
  }
  if (span.offset > bytes.size() || span.size > bytes.size() - span.offset) {
    error = "the file changed since its pages were found";
    return false;
  }
  return page::OpenPage(bytes.subspan(span.offset, span.size),
                        {options.x_dpi, options.area_bounds, options.gdi}, opened, error);
}

// Opens page k of the task ready to draw, and notes what it says of itself; false with why.
bool OpenTaskPage(const Input& input, PageTask& task, size_t k, const ConvertOptions& options,
                  page::Page& opened, std::string& error) {
  if (!OpenSpan(input, task.spans[k], options, opened, error)) {
    return false;
  }
  // A drawing GDI leaves out is no blank page: kept, as the converter keeps it.
  if (opened.notes.emf_plus_only) {
    task.emf_plus_only.push_back(task.numbers[k]);
  }
  if (opened.notes.outside_frame) {
    task.outside_frame.push_back(task.numbers[k]);
  }
  return true;
}

// Whether --skip-blank leaves the opened page out: the converter's blank test, which a page
// drawn only through EMF+ and a page whose drawing fails never pass.
bool LeftOutAsBlank(const page::Page& opened, const ConvertOptions& options) {
  return options.skip_blank && !opened.notes.emf_plus_only &&
         page::IsBlank(*opened.file, opened.comments);
}

// The pages of a task to write: their numbers (k of the task's spans), and the bytes of their
// rows as the TIFF writer takes them, at the size they are drawn at.
struct KeptPages {
  std::vector<size_t> numbers;
  uint64_t row_bytes = 0;
};

// Blank pages left out (and counted) when asked; a page that cannot be read is kept, for its
// drawing to say why (it adds no rows).
KeptPages KeepPages(const Input& input, PageTask& task, const ConvertOptions& options) {
  KeptPages kept;
  for (size_t k = 0; k < task.spans.size(); ++k) {
    page::Page opened;
    std::string error;
    const bool readable = OpenTaskPage(input, task, k, options, opened, error);
    if (readable && LeftOutAsBlank(opened, options)) {
      ++task.blank;
      continue;
    }
    kept.numbers.push_back(k);
    const uint64_t bytes = readable ? PageRowBytes(opened.file->header(), options) : 0;
    kept.row_bytes = kept.row_bytes > ~uint64_t{0} - bytes ? ~uint64_t{0} : kept.row_bytes + bytes;
  }
  return kept;
}

// Each kept page of the task in turn, opened; the first failure, named by its page, stops it.
std::string EachKeptPage(const Input& input, PageTask& task, const ConvertOptions& options,
                         const std::vector<size_t>& kept,
                         const std::function<std::string(size_t, const page::Page&)>& add) {
  for (size_t n = 0; n < kept.size(); ++n) {
    const size_t k = kept[n];
    const int number = task.numbers[k];
    const emf::FontNoticeSource source(input.path + " page " + std::to_string(number));
    page::Page opened;
    std::string error;
    if (!OpenSpan(input, task.spans[k], options, opened, error) ||
        !(error = add(n, opened)).empty()) {
      return "page " + std::to_string(number) + ": " + error;
    }
    if (!opened.notes.cut_short.empty()) {
      task.cut.emplace_back(number, opened.notes.cut_short);
    }
  }
  return {};
}

// Every page of the input into one PDF, in order, each with its own size.
std::string WritePdfPages(const std::vector<size_t>& kept, const ConvertOptions& options, int fd,
                          const Input& input, PageTask& task) {
  emf::VectorDocument document(SinkInto(fd), emf::VectorFormat::kPdf, ColourRuleOf(options),
                               PdfInfo(DocumentTitle(input)));
  const std::string failure =
      EachKeptPage(input, task, options, kept, [&](size_t, const page::Page& opened) {
        return document.AddPage(*opened.file, opened.comments);
      });
  return failure.empty() ? document.Finish() : failure;
}

// Every page of the input into one file of pages (TIFF or PDF); blank pages left out when
// asked, and none at all leaves no file.
std::string WritePages(const Input& input, PageTask& task, const ConvertOptions& options,
                       const OpenTemporary& temporary, PageProgress* progress) {
  const KeptPages keeping = KeepPages(input, task, options);
  const std::vector<size_t>& kept = keeping.numbers;
  task.skipped = kept.empty();
  if (task.skipped) {
    return {};
  }
  if (options.format == "pdf") {
    return WritePdfPages(kept, options, temporary.fd, input, task);
  }
  std::string error;
  DescriptorOutput output(temporary.fd, temporary.path);
  // Classic TIFF, which every reader opens, unless the pages together may pass its 4 GB.
  std::unique_ptr<imaging::PageFileWriter> pages =
      imaging::OpenTiffPages(output, &error, keeping.row_bytes);
  if (pages == nullptr) {
    return error;
  }
  const std::string failure =
      EachKeptPage(input, task, options, kept, [&](size_t n, const page::Page& opened) {
        PageTarget target;
        target.pages = pages.get();
        target.number = static_cast<int>(n + 1);
        target.count = static_cast<int>(kept.size());
        target.progress = progress;
        if (progress != nullptr) {
          progress->page.store(task.numbers[kept[n]], std::memory_order_relaxed);
        }
        return DrawPage(opened, options, target);
      });
  if (!failure.empty()) {
    return failure;
  }
  return pages->Finish(&error) ? std::string() : error;
}

// Standard output is staged in the temporary folder: some formats go back over the file.
std::string StagedBeside(const std::string& output) {
  if (output != kStandardStream) {
    return output;
  }
  const char* temporary_folder = std::getenv("TMPDIR");
  return std::string(temporary_folder != nullptr && *temporary_folder != '\0' ? temporary_folder
                                                                              : "/tmp") +
         "/stdout";
}

// A page past the memory there is fails by name; the other pages go on.
constexpr const char* kOutOfMemory = "out of memory while drawing the page";

void ConvertTask(const Input& input, PageTask& task, const ConvertOptions& options,
                 PageProgress* progress) {
  struct GiveBack {
    const Input& input;
    ~GiveBack() { GiveBackBytes(input); }
  } give_back{input};
  // Whatever stands at the name (a link too) counts, and the page is not even drawn.
  const bool to_stdout = task.output == kStandardStream;
  struct stat existing {};
  if (options.skip_existing && !to_stdout && lstat(task.output.c_str(), &existing) == 0) {
    task.skipped = true;
    task.existed = true;
    return;
  }
  if (!TakeBytes(input, options.x_dpi, task.failure)) {
    return;
  }
  page::Page opened;
  if (!options.one_file) {
    std::string error;
    const bool readable = OpenTaskPage(input, task, 0, options, opened, error);
    // An EMF copy carries a page the engine cannot read as it is, as the converter copies it.
    if (!readable && (options.format != "emf" || opened.bytes.empty())) {
      task.failure = error;
      return;
    }
    if (readable && LeftOutAsBlank(opened, options)) {
      task.skipped = true;
      task.blank = 1;
      return;
    }
  }
  const std::filesystem::path folder = std::filesystem::path(task.output).parent_path();
  std::error_code code;
  if (!folder.empty()) {
    std::filesystem::create_directories(folder, code);
  }
  OpenTemporary temporary;
  if (!TemporaryBeside(StagedBeside(task.output), temporary, task.failure)) {
    return;
  }
  // The notices of the fonts a page asks for name it (pages are drawn on several threads).
  const emf::FontNoticeSource source(input.path + " page " + std::to_string(task.number));
  try {
    task.failure = options.one_file
                       ? WritePages(input, task, options, temporary, progress)
                       : WritePage(opened, options, temporary, DocumentTitle(input), progress);
  } catch (const std::bad_alloc&) {
    task.failure = kOutOfMemory;
  }
  if (!temporary.Close() && task.failure.empty()) {
    task.failure = std::strerror(errno);
  }
  if (!task.failure.empty() || task.skipped) {
    task.cut.clear();  // no file: the failure says it all
    std::remove(temporary.path.c_str());
    return;
  }
  if (!options.one_file && !opened.notes.cut_short.empty()) {
    task.cut.emplace_back(task.number, opened.notes.cut_short);
  }
  task.failure = to_stdout ? CopyToStandardOutput(temporary.path)
                           : PlaceFile(temporary.path, task.output, options.force);
  if (!task.failure.empty()) {
    task.cut.clear();
  }
}

size_t WorkerCount(const ConvertOptions& options, size_t tasks) {
  const size_t cores = std::max(1u, std::thread::hardware_concurrency());
  const size_t wanted = options.jobs > 0 ? static_cast<size_t>(options.jobs) : cores;
  return std::max<size_t>(1, std::min(wanted, tasks));
}

void ConvertAll(const std::vector<Input>& inputs, std::vector<PageTask>& tasks,
                const ConvertOptions& options, size_t worker_count, ConvertProgress& progress) {
  std::atomic<size_t> next{0};
  const auto work = [&](size_t worker) {
    for (size_t i; (i = next.fetch_add(1)) < tasks.size();) {
      PageTask& task = tasks[i];
      try {
        ConvertTask(inputs[task.input], task, options,
                    progress.PageStarted(worker, inputs[task.input].path, task.number));
      } catch (const std::bad_alloc&) {
        task.failure = kOutOfMemory;  // before anything was staged: nothing to remove
      }
      progress.PageDone(worker);
    }
  };
  std::vector<std::thread> workers;
  for (size_t w = 1; w < worker_count; ++w) {
    workers.emplace_back(work, w);
  }
  work(0);
  for (std::thread& worker : workers) {
    worker.join();
  }
}

int Report(const std::vector<Input>& inputs, const std::vector<PageTask>& tasks, bool input_failed,
           bool terminal) {
  for (const std::string& notice : emf::TakeFontNotices()) {
    std::fprintf(stderr, "quadrine-convert: %s\n", notice.c_str());
  }
  bool page_failed = false;
  std::vector<const PageTask*> written;
  int blank = 0;
  int existed = 0;
  int failed = 0;
  size_t emf_plus_only = 0;
  for (const PageTask& task : tasks) {
    blank += task.blank;
    // Drawn (or left out as blank) as GDI draws it, but never without a word.
    for (const int number : task.emf_plus_only) {
      std::fprintf(stderr, "quadrine-convert: %s page %d %s\n", inputs[task.input].path.c_str(),
                   number, page::kEmfPlusOnly);
    }
    emf_plus_only += task.emf_plus_only.size();
    for (const int number : task.outside_frame) {
      std::fprintf(stderr, "quadrine-convert: %s page %d %s\n", inputs[task.input].path.c_str(),
                   number, page::kOutsideFrame);
    }
    existed += task.existed ? 1 : 0;
    if (!task.failure.empty()) {
      page_failed = true;
      ++failed;
      std::fprintf(stderr, "quadrine-convert: %s page %d: %s: %s\n",
                   inputs[task.input].path.c_str(), task.number, task.output.c_str(),
                   task.failure.c_str());
    } else if (!task.skipped) {
      written.push_back(&task);
    }
    // Written, but not all of the page: it counts as failed.
    for (const auto& [number, cut] : task.cut) {
      page_failed = true;
      std::fprintf(stderr, "quadrine-convert: %s page %d: %s\n", inputs[task.input].path.c_str(),
                   number, cut.c_str());
    }
  }
  if (terminal &&
      (!written.empty() || blank > 0 || existed > 0 || failed > 0 || emf_plus_only > 0)) {
    // Pages, not files: a file of pages holds each of its inputs' pages but the blank ones.
    size_t pages = 0;
    for (const PageTask* task : written) {
      pages += task->spans.size() - static_cast<size_t>(task->blank);
    }
    const auto shown = [](const std::string& output) {
      return output == kStandardStream ? std::string("standard output") : output;
    };
    std::string summary;
    if (!written.empty()) {
      summary = std::to_string(pages) + (pages == 1 ? " page -> " : " pages -> ") +
                shown(written.front()->output) +
                (written.size() > 1 ? " ... " + shown(written.back()->output) : std::string());
    }
    if (blank > 0) {
      summary += (summary.empty() ? "" : ", ") + std::to_string(blank) +
                 (blank == 1 ? " blank page" : " blank pages") + " left out";
    }
    if (emf_plus_only > 0) {
      summary += (summary.empty() ? "" : ", ") + std::to_string(emf_plus_only) +
                 (emf_plus_only == 1 ? " page holds" : " pages hold") +
                 " only EMF+ drawing (drawn as nothing)";
    }
    if (existed > 0) {
      summary += (summary.empty() ? "" : ", ") + std::to_string(existed) +
                 (existed == 1 ? " output" : " outputs") + " there already, left alone";
    }
    if (failed > 0) {
      summary += (summary.empty() ? "" : ", ") + std::to_string(failed) + " failed";
    }
    std::fprintf(stderr, "%s\n", summary.c_str());
  }
  return page_failed || input_failed ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  ConvertOptions options;
  std::string error;
  switch (ParseConvertOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
    case CommandLine::kHelp:
      std::fputs(kConvertUsage, stdout);
      return 0;
    case CommandLine::kVersion:
      std::printf("quadrine-convert %s\n", QUADRINE_VERSION);
      return 0;
    case CommandLine::kBadUsage:
      return UsageError("quadrine-convert", error);
    case CommandLine::kConvert:
      break;
  }
  if (!WritesFormat(options.format)) {
    std::fprintf(stderr, "quadrine-convert: no format is written for the extension '%s'\n",
                 options.format.c_str());
    return kBadUsage;
  }
  if (options.one_file && FormatCodeOf(options.format) != imaging::kFormatTiff &&
      options.format != "pdf") {
    std::fprintf(stderr,
                 "quadrine-convert: --one-file needs a format that holds pages (tif, pdf), not "
                 "'%s'\n",
                 options.format.c_str());
    return kBadUsage;
  }
  RememberFileMode();
  // A reader that goes away (quadrine-convert -o - | head) makes writing to it fail, which the
  // page then says, instead of ending the process with its staged copy left behind.
  signal(SIGPIPE, SIG_IGN);

  std::vector<Input> inputs;
  std::vector<PageTask> tasks;
  bool input_failed = false;
  for (const std::string& path : ExpandFolders(options.inputs, options.recursive, input_failed)) {
    Input input;
    std::vector<uint8_t> bytes;
    error.clear();  // what an earlier input said is not this one's
    if (!TellInput(path, input, bytes, error) ||
        !FindInputPages(input, bytes, inputs.size(), options, tasks, error)) {
      std::fprintf(stderr, "quadrine-convert: %s: %s\n", path.c_str(), error.c_str());
      input_failed = true;
      continue;
    }
    if (!error.empty()) {
      std::fprintf(stderr, "quadrine-convert: %s: %s\n", path.c_str(), error.c_str());
      input_failed = true;
    }
    if (path == kStandardStream) {  // read once: held until its pages are done
      input.data->bytes = std::move(bytes);
      input.data->kept = true;
    }
    inputs.push_back(std::move(input));
  }
  if (tasks.empty()) {
    std::fprintf(stderr, "quadrine-convert: no readable input\n");
    return kBadUsage;
  }
  if (options.pattern == kStandardStream && tasks.size() > 1) {
    return UsageError("quadrine-convert",
                      "-o - writes one file to standard output, and " +
                          std::to_string(tasks.size()) +
                          " would be written: choose a page (--pages) or --one-file");
  }
  if (!NamesAreDistinct(tasks, inputs) || (options.force && !NoOutputIsAnInput(tasks, inputs))) {
    return kBadUsage;
  }
  if (!OutputFoldersAreWritable(tasks)) {
    return 1;
  }
  const bool terminal = !options.quiet && isatty(STDERR_FILENO) == 1;
  const size_t worker_count = WorkerCount(options, tasks.size());
  ConvertProgress progress(tasks.size(), worker_count, terminal);
  ConvertAll(inputs, tasks, options, worker_count, progress);
  progress.End();
  return Report(inputs, tasks, input_failed, terminal);
}
