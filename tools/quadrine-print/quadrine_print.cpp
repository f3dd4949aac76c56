// quadrine-print: prints EMF pages to the virtual printer on Linux. It writes a spool file
// in the published EMF spool format into the spool folder under the next free job number,
// queues the job on the printer, and starts the converter beside it, as the printer package
// does on Windows.
#include <spawn.h>
#include <strings.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "base/usage_error.h"
#include "win32/stand_in.h"
#include "win32/win32.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr int kUsageError = 2;

struct Options {
  std::string printer;
  std::string document;
  bool run = true;
  std::vector<std::string> pages;
};

int Usage(std::FILE* to = stderr, int exit_code = kUsageError) {
  std::fprintf(to,
               "usage: quadrine-print [--printer NAME] [--document TITLE] [--no-run] PAGE.emf...\n"
               "       quadrine-print --init DIR\n"
               "Spools the EMF pages as one print job and starts the converter beside this "
               "program.\n"
               "  --printer NAME    the printer (default: PrinterName of config.ini, else "
               "Quadrine)\n"
               "  --document TITLE  the document name (default: the first page's name)\n"
               "  --no-run          only spool and queue the job\n"
               "  --init DIR        make an install folder in DIR from the installed programs\n"
               "  --help, --version\n");
  return exit_code;
}

uint32_t Load32(const std::string& bytes, size_t offset) {
  uint32_t value = 0;
  std::memcpy(&value, bytes.data() + offset, 4);
  return value;
}

void Append32(std::string& bytes, uint32_t value) {
  bytes.append(reinterpret_cast<const char*>(&value), 4);
}

// The EMF itself (as long as its header says), or the reason it is none.
std::optional<std::string> ReadEmfPage(const std::string& path, std::string* reason) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *reason = "cannot be read";
    return std::nullopt;
  }
  std::ostringstream content;
  content << in.rdbuf();
  std::string bytes = content.str();
  constexpr size_t kMinimumHeader = 88;
  if (bytes.size() < kMinimumHeader || Load32(bytes, 0) != 1 || Load32(bytes, 40) != 0x464D4520) {
    *reason = "is not an EMF file (no enhanced-metafile header)";
    return std::nullopt;
  }
  const uint32_t header_size = Load32(bytes, 4);
  const uint32_t total = Load32(bytes, 48);
  if (header_size < kMinimumHeader || header_size > total || total > bytes.size() ||
      total % 4 != 0) {
    *reason = "is a damaged EMF file (its header's sizes do not fit the file)";
    return std::nullopt;
  }
  bytes.resize(total);
  return bytes;
}

std::string Utf16Le(const std::string& utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size();) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    uint32_t code = c;
    size_t length = 1;
    if (c >= 0xF0 && i + 3 < utf8.size()) {
      code = (c & 0x07u) << 18 | (utf8[i + 1] & 0x3Fu) << 12 | (utf8[i + 2] & 0x3Fu) << 6 |
             (utf8[i + 3] & 0x3Fu);
      length = 4;
    } else if (c >= 0xE0 && i + 2 < utf8.size()) {
      code = (c & 0x0Fu) << 12 | (utf8[i + 1] & 0x3Fu) << 6 | (utf8[i + 2] & 0x3Fu);
      length = 3;
    } else if (c >= 0xC0 && i + 1 < utf8.size()) {
      code = (c & 0x1Fu) << 6 | (utf8[i + 1] & 0x3Fu);
      length = 2;
    }
    i += length;
    auto unit = [&](uint32_t u) {
      out += static_cast<char>(u & 0xFF);
      out += static_cast<char>((u >> 8) & 0xFF);
    };
    if (code >= 0x10000) {
      code -= 0x10000;
      unit(0xD800 + (code >> 10));
      unit(0xDC00 + (code & 0x3FF));
    } else {
      unit(code);
    }
  }
  out += std::string(2, '\0');
  return out;
}

// The header record, then per page EMRI_METAFILE_DATA and EMRI_METAFILE_EXT.
std::string BuildSpoolFile(const std::string& document, const std::vector<std::string>& pages) {
  std::string name = Utf16Le(document);
  while ((16 + name.size()) % 4 != 0) {
    name += '\0';
  }
  std::string spool;
  Append32(spool, 0x00010000);                               // dwVersion
  Append32(spool, static_cast<uint32_t>(16 + name.size()));  // cjSize
  Append32(spool, 16);                                       // dpszDocName
  Append32(spool, 0);                                        // dpszOutput: none
  spool += name;
  for (const std::string& page : pages) {
    Append32(spool, 0x0C);  // EMRI_METAFILE_DATA
    Append32(spool, static_cast<uint32_t>(page.size()));
    spool += page;
    Append32(spool, 0x0D);  // EMRI_METAFILE_EXT: offset back to its page record
    Append32(spool, 8);
    Append32(spool, static_cast<uint32_t>(page.size() + 8));
    Append32(spool, 0);
  }
  return spool;
}

std::string ConfiguredPrinter(const fs::path& folder) {
  char name[1024] = {};
  GetPrivateProfileStringA("installation", "PrinterName", "Quadrine", name, sizeof name,
                           (folder / "config.ini").c_str());
  return *name != '\0' ? name : "Quadrine";
}

// The job numbers the spool folder's spool files carry (from the first digit of the name on,
// as the converter reads them), so that no job is numbered as a file already there. A number
// out of the job range (a stray file) is left out of the choice, with a word.
std::set<DWORD> SpoolFileNumbers(const fs::path& spool_folder) {
  std::set<DWORD> numbers;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(spool_folder, error)) {
    const std::string name = entry.path().filename().string();
    if (name.size() <= 4 || strcasecmp(name.c_str() + name.size() - 4, ".SPL") != 0) {
      continue;
    }
    const size_t digits = name.find_first_of("0123456789");
    if (digits == std::string::npos || digits >= name.size() - 4) {
      continue;
    }
    uint64_t number = 0;
    const char* first = name.data() + digits;
    const auto [end, result] = std::from_chars(first, name.data() + name.size() - 4, number);
    if (result != std::errc() || number < 1 || number > win32::spooler::kHighestJobNumber) {
      std::fprintf(stderr, "quadrine-print: ignoring %s: its job number is out of range\n",
                   name.c_str());
      continue;
    }
    numbers.insert(static_cast<DWORD>(number));
  }
  return numbers;
}

using HandleOwner = std::unique_ptr<void, BOOL (*)(HANDLE)>;

// The spool file written whole under a new, exclusive name of unguessable letters beside its
// final one (CREATE_NEW never opens a link or a file planted there), so that a reader never
// sees half of it; empty when it could not be written (last error set).
std::string WriteStagedSpoolFile(const fs::path& spool_folder, const std::string& spool) {
  constexpr int kTries = 8;
  for (int attempt = 0; attempt < kTries; ++attempt) {
    char name[40];
    std::snprintf(name, sizeof name, "~spool-%016llx.part",
                  static_cast<unsigned long long>(win32::UnpredictableBits()));
    const std::string staged = (spool_folder / name).string();
    HANDLE created = CreateFileA(staged.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (created == INVALID_HANDLE_VALUE) {
      if (GetLastError() == ERROR_FILE_EXISTS) {
        continue;
      }
      return {};
    }
    HandleOwner file(created, CloseHandle);
    bool whole = true;
    for (size_t done = 0; whole && done < spool.size();) {
      constexpr size_t kChunk = size_t{1} << 30;
      const DWORD size = static_cast<DWORD>(std::min(kChunk, spool.size() - done));
      DWORD written = 0;
      whole = WriteFile(file.get(), spool.data() + done, size, &written, nullptr) && written > 0;
      done += written;
    }
    const DWORD error = whole ? ERROR_SUCCESS : GetLastError();
    if (!whole || !CloseHandle(file.release())) {
      const DWORD reported = error != ERROR_SUCCESS ? error : GetLastError();
      DeleteFileA(staged.c_str());
      SetLastError(reported != ERROR_SUCCESS ? reported : ERROR_WRITE_FAULT);
      return {};
    }
    return staged;
  }
  return {};
}

int RunConverter(const fs::path& converter) {
  std::string program = converter.string();
  char* argv[] = {program.data(), nullptr};
  pid_t pid = 0;
  if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ) != 0) {
    std::fprintf(stderr, "quadrine-print: cannot start the converter %s\n", program.c_str());
    return 1;
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

// The command line; false when it asks for nothing or for what this program does not know.
bool ParseOptions(int argc, char** argv, Options& options, std::string& problem) {
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if ((argument == "--printer" || argument == "--document") && i + 1 < argc) {
      (argument == "--printer" ? options.printer : options.document) = argv[++i];
    } else if (argument == "--no-run") {
      options.run = false;
    } else if (argument.starts_with("--")) {
      problem = UnknownArgument(argument);
      return false;
    } else {
      options.pages.push_back(argument);
    }
  }
  problem = "no page to print";
  return !options.pages.empty();
}

// Every page read and checked before anything is spooled: one bad page prints nothing.
bool ReadPages(const std::vector<std::string>& paths, std::vector<std::string>& pages) {
  for (const std::string& path : paths) {
    std::string reason;
    auto page = ReadEmfPage(path, &reason);
    if (!page) {
      std::fprintf(stderr, "quadrine-print: %s %s; nothing was printed\n", path.c_str(),
                   reason.c_str());
      return false;
    }
    pages.push_back(std::move(*page));
  }
  return true;
}

struct QueuedJob {
  DWORD number = 0;
  fs::path spool_path;
  std::string failure;  // empty when the spool file was written
};

// Numbers the job, writes its spool file and queues it, all under the queue's lock, so that
// two printing programs never take the same number.
bool QueueJob(const std::string& printer, const fs::path& spool_folder, const std::string& spool,
              QueuedJob& job) {
  return win32::spooler::ChangePrinter(printer, true, [&](win32::spooler::PrinterRecord& p) {
    // Spool files are staged only under the queue's lock: one staged now is a dead print's.
    win32::spooler::RemoveFilesLike(spool_folder.string(), "~spool-*.part");
    const std::string staged = WriteStagedSpoolFile(spool_folder, spool);
    if (staged.empty()) {
      job.failure = "cannot write a spool file in " + spool_folder.string() + " (error " +
                    std::to_string(GetLastError()) + "); nothing was printed";
      return false;
    }
    // A number queued on any printer, or whose spool file is there, is in use; a name taken
    // between the look and the move (by a program that does not lock the queue) is too.
    std::set<DWORD> taken = SpoolFileNumbers(spool_folder);
    constexpr int kTries = 16;
    for (int attempt = 0; attempt < kTries; ++attempt) {
      job.number = p.NextJob([&](DWORD number) { return taken.contains(number); });
      if (job.number == 0) {
        break;
      }
      char name[32];
      std::snprintf(name, sizeof name, "%05u.SPL", static_cast<unsigned>(job.number));
      job.spool_path = spool_folder / name;
      // Without MOVEFILE_REPLACE_EXISTING the move fails on a taken name, links included.
      if (MoveFileExA(staged.c_str(), job.spool_path.c_str(), 0)) {
        p.jobs.push_back(job.number);
        return true;
      }
      if (GetLastError() != ERROR_ALREADY_EXISTS) {
        job.failure = "cannot write " + job.spool_path.string() + " (error " +
                      std::to_string(GetLastError()) + "); nothing was printed";
        DeleteFileA(staged.c_str());
        return false;
      }
      taken.insert(job.number);
    }
    job.failure = "no free job number in " + spool_folder.string() + "; nothing was printed";
    DeleteFileA(staged.c_str());
    return false;
  });
}

// Why the queue could not be changed, in one line.
std::string QueueFailure(DWORD error) {
  const std::string queue = win32::spooler::PrintersFilePath();
  switch (error) {
    case ERROR_TIMEOUT:
      return "another program held the printer queue " + queue +
             ".lock locked past the time allowed; nothing was printed";
    case ERROR_CANT_RESOLVE_FILENAME:
      return "the printer queue " + queue +
             " (or its lock file) is a link, which is never followed; nothing was printed";
    default:
      return "cannot change the printer queue " + queue + " (error " + std::to_string(error) +
             "); nothing was printed";
  }
}

}  // namespace

// --init DIR: an install folder made from the programs beside this one (the installed
// template): the converter, quadrine-print and quadrine-results, and the spool folder.
// Nothing that exists is replaced.
int MakeInstallFolder(const fs::path& folder) {
  const fs::path template_folder = fs::path(win32::ExecutablePath()).parent_path();
  const char* const programs[] = {"quadrine", "quadrine-print", "quadrine-results"};
  std::error_code error;
  for (const char* program : programs) {
    if (!fs::is_regular_file(template_folder / program, error)) {
      std::fprintf(stderr, "quadrine-print: %s is not beside quadrine-print in %s\n", program,
                   template_folder.c_str());
      return 1;
    }
    if (fs::exists(folder / program, error)) {
      std::fprintf(stderr, "quadrine-print: %s exists already; nothing was changed\n",
                   (folder / program).c_str());
      return 1;
    }
  }
  if (!fs::create_directories(folder / "windows/system32/spool/PRINTERS", error) && error) {
    std::fprintf(stderr, "quadrine-print: cannot make %s: %s\n", folder.c_str(),
                 error.message().c_str());
    return 1;
  }
  for (const char* program : programs) {
    if (!fs::copy_file(template_folder / program, folder / program, error)) {
      std::fprintf(stderr, "quadrine-print: cannot copy %s: %s\n", program,
                   error.message().c_str());
      return 1;
    }
  }
  std::printf(
      "An install folder is ready in %s.\nSet where pages go in its option.ini, for example\n"
      "  [AutoSave]\n  OutputFile=%s/out/page.png\nthen print with %s/quadrine-print PAGE.emf\n",
      folder.c_str(), folder.c_str(), folder.c_str());
  return 0;
}

int main(int argc, char** argv) {
  if (argc == 3 && std::string_view(argv[1]) == "--init") {
    return MakeInstallFolder(fs::absolute(argv[2]));
  }
  for (int i = 1; i < argc; ++i) {
    if (std::string_view(argv[i]) == "--help") {
      return Usage(stdout, 0);
    }
    if (std::string_view(argv[i]) == "--version") {
      std::printf("quadrine-print %s\n", QUADRINE_VERSION);
      return 0;
    }
  }
  Options options;
  if (std::string problem; !ParseOptions(argc, argv, options, problem)) {
    return UsageError("quadrine-print", problem);
  }
  std::vector<std::string> pages;
  if (!ReadPages(options.pages, pages)) {
    return kUsageError;
  }
  const fs::path folder = fs::path(win32::ExecutablePath()).parent_path();
  if (options.printer.empty()) {
    options.printer = ConfiguredPrinter(folder);
  }
  if (options.document.empty()) {
    options.document = fs::path(options.pages[0]).filename().string();
  }

  const fs::path spool_folder = fs::path(win32::spooler::SpoolDirectory()) / "PRINTERS";
  std::error_code error;
  fs::create_directories(spool_folder, error);
  QueuedJob job;
  if (!QueueJob(options.printer, spool_folder, BuildSpoolFile(options.document, pages), job)) {
    const DWORD error = GetLastError();
    if (job.failure.empty() && !job.spool_path.empty()) {
      // The spool file was placed but the queue could not be saved: unqueued, no converter
      // would ever take it, so it goes rather than pass for a printed job.
      DeleteFileA(job.spool_path.c_str());
    }
    std::fprintf(stderr, "quadrine-print: %s\n",
                 job.failure.empty() ? QueueFailure(error).c_str() : job.failure.c_str());
    return 1;
  }
  std::fprintf(stderr, "quadrine-print: job %u (%zu page%s) queued on \"%s\" as %s\n",
               static_cast<unsigned>(job.number), pages.size(), pages.size() == 1 ? "" : "s",
               options.printer.c_str(), job.spool_path.c_str());
  if (!options.run) {
    return 0;
  }
  return RunConverter(folder / "quadrine");
}
