#include "win32/winspool/printer_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <filesystem>

#include "win32/kernel32/errors.h"
#include "win32/kernel32/kernel32.h"
#include "win32/kernel32/native_path.h"
#include "win32/kernel32/unique_fd.h"
#include "win32/winspool/winspool.h"

namespace win32::spooler {
namespace {

std::vector<DWORD> ParseJobs(std::string_view text) {
  std::vector<DWORD> jobs;
  while (!text.empty()) {
    const size_t comma = text.find(',');
    std::string_view item = text.substr(0, comma);
    while (!item.empty() && (item.front() == ' ' || item.front() == '\t')) {
      item.remove_prefix(1);
    }
    DWORD job = 0;
    const auto [end, error] = std::from_chars(item.data(), item.data() + item.size(), job);
    if (error == std::errc() && end != item.data()) {
      jobs.push_back(job);
    }
    text = comma == std::string_view::npos ? std::string_view() : text.substr(comma + 1);
  }
  return jobs;
}

std::string FormatJobs(const std::vector<DWORD>& jobs) {
  std::string text;
  for (const DWORD job : jobs) {
    if (!text.empty()) {
      text += ',';
    }
    text += std::to_string(job);
  }
  return text;
}

// The printers file opened and locked; the lock goes with the descriptor.
struct LockedFile {
  UniqueFd fd;
  IniDocument document;
};

std::optional<LockedFile> Lock(bool create) {
  const std::string path = PrintersFilePath();
  if (create) {
    std::error_code ignored;
    std::filesystem::create_directories(SpoolDirectory(), ignored);
  }
  UniqueFd fd(open(path.c_str(), O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0), 0644));
  if (!fd.Valid() && !create && errno == EACCES) {
    fd.Reset(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  }
  if (!fd.Valid()) {
    return win32::Fail(errno == ENOENT ? ERROR_INVALID_PRINTER_NAME : ErrorFromErrno(errno),
                       std::nullopt);
  }
  while (flock(fd.Get(), LOCK_EX) != 0) {
    if (errno != EINTR) {
      FailFromErrno();
      return std::nullopt;
    }
  }
  std::string text;
  char buffer[8192];
  off_t offset = 0;
  for (;;) {
    const ssize_t got = pread(fd.Get(), buffer, sizeof buffer, offset);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got <= 0) {
      break;
    }
    text.append(buffer, static_cast<size_t>(got));
    offset += got;
  }
  return LockedFile{std::move(fd), IniDocument(text)};
}

std::optional<PrinterRecord> Find(const IniDocument& document, const std::string& name) {
  const auto attributes = document.Get(name, "Attributes");
  const auto jobs = document.Get(name, "Jobs");
  if (!attributes && !jobs) {
    return std::nullopt;
  }
  PrinterRecord record;
  record.name = name;
  const std::string attribute_text = attributes.value_or("0");
  std::from_chars(attribute_text.data(), attribute_text.data() + attribute_text.size(),
                  record.attributes);
  record.jobs = ParseJobs(jobs.value_or(""));
  return record;
}

// The highest job number handed out so far, in a section no printer can have.
constexpr const char* kCounterSection = "(spooler)";
constexpr const char* kCounterKey = "LastJob";

}  // namespace

std::string SpoolDirectory() {
  return WindowsDirectory() + "/system32/spool";
}

std::string PrintersFilePath() {
  return SpoolDirectory() + "/printers.ini";
}

std::optional<PrinterRecord> ReadPrinter(const std::string& name) {
  auto locked = Lock(false);
  if (!locked) {
    return std::nullopt;
  }
  auto record = Find(locked->document, name);
  if (!record) {
    return Fail(ERROR_INVALID_PRINTER_NAME, std::optional<PrinterRecord>{});
  }
  return record;
}

bool ChangePrinter(const std::string& name, bool create,
                   const std::function<bool(PrinterRecord&)>& change) {
  auto locked = Lock(create);
  if (!locked) {
    return false;
  }
  auto record = Find(locked->document, name);
  if (!record) {
    if (!create) {
      return Fail(ERROR_INVALID_PRINTER_NAME);
    }
    record = PrinterRecord{name, 0, {}, 1};
  }
  DWORD last_job = 0;
  const std::string counter = locked->document.Get(kCounterSection, kCounterKey).value_or("0");
  std::from_chars(counter.data(), counter.data() + counter.size(), last_job);
  for (const DWORD job : record->jobs) {
    last_job = std::max(last_job, job);
  }
  record->next_job = last_job + 1;
  const std::vector<DWORD> before = record->jobs;
  if (!change(*record)) {
    return false;
  }
  // A job that was added moves the counter on; removing jobs leaves it as it is.
  bool added = false;
  for (const DWORD job : record->jobs) {
    added = added || std::find(before.begin(), before.end(), job) == before.end();
    last_job = std::max(last_job, job);
  }
  locked->document.Set(name, "Attributes", std::to_string(record->attributes));
  locked->document.Set(name, "Jobs", FormatJobs(record->jobs));
  if (added) {
    locked->document.Set(kCounterSection, kCounterKey, std::to_string(last_job));
  }
  const std::string text = locked->document.Text();
  if (ftruncate(locked->fd.Get(), 0) != 0) {
    return FailFromErrno();
  }
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t count =
        pwrite(locked->fd.Get(), text.data() + done, text.size() - done, static_cast<off_t>(done));
    if (count < 0 && errno == EINTR) {
      continue;
    }
    if (count <= 0) {
      return FailFromErrno();
    }
    done += static_cast<size_t>(count);
  }
  return true;
}

}  // namespace win32::spooler
