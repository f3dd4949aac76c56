#include "win32/winspool/printer_store.h"

#include <fcntl.h>
#include <fnmatch.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <thread>

#include "win32/kernel32/errors.h"
#include "win32/kernel32/fault.h"
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

// How long a change or a read waits for another process's hold on the queue before it gives
// up: anyone who can read the lock file can hold it.
constexpr unsigned kLockWaitMilliseconds = 30000;

// The printers file read under its lock; the lock goes with the descriptor.
struct LockedQueue {
  UniqueFd lock;
  IniDocument document;
};

// The error for a file that could not be opened; a link (ELOOP under O_NOFOLLOW) where
// printers.ini or its lock should be is refused in words of its own.
bool FailFromOpenError(int error) {
  return Fail(error == ELOOP ? ERROR_CANT_RESOLVE_FILENAME : ErrorFromErrno(error));
}

// The lock file beside printers.ini: ours to create, or anyone's to open read-only (flock
// works on any descriptor). Invalid with errno ENOENT when it is missing and cannot be made.
UniqueFd OpenLockFile(const std::string& path) {
  constexpr int kFlags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  UniqueFd fd(open(path.c_str(), O_RDWR | O_CREAT | kFlags, 0644));
  if (!fd.Valid() && (errno == EACCES || errno == EPERM || errno == EROFS)) {
    fd.Reset(open(path.c_str(), O_RDONLY | kFlags));
  }
  return fd;
}

// Waits for the exclusive lock, at most the lock-wait time, polling so that the wait can end.
bool WaitForLock(int fd) {
  using Clock = std::chrono::steady_clock;
  const auto deadline =
      Clock::now() + std::chrono::milliseconds(fault::LockWaitMilliseconds(kLockWaitMilliseconds));
  auto pause = std::chrono::milliseconds(1);
  for (;;) {
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
      return true;
    }
    if (errno == EINTR) {
      continue;
    }
    if (errno != EWOULDBLOCK) {
      return FailFromErrno();
    }
    const auto now = Clock::now();
    if (now >= deadline) {
      return Fail(ERROR_TIMEOUT);
    }
    std::this_thread::sleep_for(std::min<Clock::duration>(pause, deadline - now));
    pause = std::min(pause * 2, std::chrono::milliseconds(20));
  }
}

// printers.ini's text; none with ENOENT when it is missing. Never through a link.
std::optional<std::string> ReadQueueText(const std::string& path, int* error) {
  UniqueFd fd(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  struct stat info {};
  if (!fd.Valid() || fstat(fd.Get(), &info) != 0) {
    *error = errno;
    return std::nullopt;
  }
  if (!S_ISREG(info.st_mode)) {
    *error = S_ISDIR(info.st_mode) ? EISDIR : EACCES;
    return std::nullopt;
  }
  std::string text;
  char buffer[8192];
  for (;;) {
    const ssize_t got = read(fd.Get(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) {
      continue;
    }
    if (got < 0) {
      *error = errno;
      return std::nullopt;
    }
    if (got == 0) {
      return text;
    }
    text.append(buffer, static_cast<size_t>(got));
  }
}

// Locks the queue and reads it. With create set, a missing spool folder or printers.ini is
// an empty queue to fill; without it, no printer at all. A reader that finds no lock file and
// may not make one reads unlocked: printers.ini is only ever replaced whole, so what it reads
// is one whole version, and whoever cannot make the lock file cannot change the queue either.
std::optional<LockedQueue> LockQueue(bool create, bool change) {
  const std::string path = PrintersFilePath();
  struct stat info {};
  if (create) {
    std::error_code ignored;
    std::filesystem::create_directories(SpoolDirectory(), ignored);
  } else if (lstat(path.c_str(), &info) != 0 && (errno == ENOENT || errno == ENOTDIR)) {
    return Fail(ERROR_INVALID_PRINTER_NAME, std::nullopt);
  }
  LockedQueue queue;
  queue.lock = OpenLockFile(path + ".lock");
  if (queue.lock.Valid()) {
    if (fstat(queue.lock.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
      return Fail(ERROR_ACCESS_DENIED, std::nullopt);
    }
    if (!WaitForLock(queue.lock.Get())) {
      return std::nullopt;
    }
  } else if (change || errno != ENOENT) {
    FailFromOpenError(errno);
    return std::nullopt;
  }
  int error = 0;
  auto text = ReadQueueText(path, &error);
  if (!text && error == ENOENT) {
    if (!create) {
      return Fail(ERROR_INVALID_PRINTER_NAME, std::nullopt);
    }
    text.emplace();
  }
  if (!text) {
    FailFromOpenError(error);
    return std::nullopt;
  }
  queue.document = IniDocument(*text);
  return queue;
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

// The job number handed out last, in a section no printer can have.
constexpr const char* kCounterSection = "(spooler)";
constexpr const char* kCounterKey = "LastJob";

// A counter past the highest number (written before numbers were kept in range) restarts at 1.
DWORD ReadCounter(const IniDocument& document) {
  const std::string text = document.Get(kCounterSection, kCounterKey).value_or("0");
  uint64_t last = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), last);
  if (error == std::errc::result_out_of_range ||
      (error == std::errc() && last > kHighestJobNumber)) {
    return kHighestJobNumber;
  }
  return error == std::errc() ? static_cast<DWORD>(last) : 0;
}

std::vector<DWORD> JobsOfEveryPrinter(const IniDocument& document) {
  std::vector<DWORD> jobs;
  for (const std::string& section : document.SectionNames()) {
    const auto listed = ParseJobs(document.Get(section, "Jobs").value_or(""));
    jobs.insert(jobs.end(), listed.begin(), listed.end());
  }
  return jobs;
}

}  // namespace

DWORD PrinterRecord::NextJob(const std::function<bool(DWORD)>& taken) const {
  std::vector<DWORD> queued = queued_anywhere;
  std::sort(queued.begin(), queued.end());
  DWORD candidate = last_job;
  // Each number passed over is in use, so this ends long before it has tried them all.
  for (DWORD tried = 0; tried < kHighestJobNumber; ++tried) {
    candidate = candidate >= kHighestJobNumber ? 1 : candidate + 1;
    if (!std::binary_search(queued.begin(), queued.end(), candidate) &&
        !(taken && taken(candidate))) {
      return candidate;
    }
  }
  return 0;
}

std::string SpoolDirectory() {
  return WindowsDirectory() + "/system32/spool";
}

std::string PrintersFilePath() {
  return SpoolDirectory() + "/printers.ini";
}

std::optional<PrinterRecord> ReadPrinter(const std::string& name) {
  auto locked = LockQueue(false, false);
  if (!locked) {
    return std::nullopt;
  }
  auto record = Find(locked->document, name);
  if (!record) {
    return Fail(ERROR_INVALID_PRINTER_NAME, std::optional<PrinterRecord>{});
  }
  return record;
}

void RemoveFilesLike(const std::string& folder, const char* pattern) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    const std::string name = entry.path().filename().string();
    if (fnmatch(pattern, name.c_str(), 0) == 0 && !entry.is_directory(error)) {
      unlink(entry.path().c_str());
    }
  }
}

bool ChangePrinter(const std::string& name, bool create,
                   const std::function<bool(PrinterRecord&)>& change) {
  auto locked = LockQueue(create, true);
  if (!locked) {
    return false;
  }
  // Every rewrite of the queue happens under this lock: a new file beside it now is what a
  // writer that died left.
  RemoveFilesLike(SpoolDirectory(), "printers.ini.~*");
  IniDocument& document = locked->document;
  auto record = Find(document, name);
  if (!record) {
    if (!create) {
      return Fail(ERROR_INVALID_PRINTER_NAME);
    }
    record = PrinterRecord{};
    record->name = name;
  }
  record->last_job = ReadCounter(document);
  record->queued_anywhere = JobsOfEveryPrinter(document);
  const std::vector<DWORD> before = record->jobs;
  if (!change(*record)) {
    return false;
  }
  // The last job the change added moves the counter on; removing jobs leaves it as it is.
  std::optional<DWORD> added;
  for (const DWORD job : record->jobs) {
    if (std::find(before.begin(), before.end(), job) == before.end()) {
      added = job;
    }
  }
  document.Set(name, "Attributes", std::to_string(record->attributes));
  document.Set(name, "Jobs", FormatJobs(record->jobs));
  if (added) {
    document.Set(kCounterSection, kCounterKey, std::to_string(*added));
  }
  return ReplaceFileAtomically(PrintersFilePath(), document.Text(), 0644);
}

}  // namespace win32::spooler
