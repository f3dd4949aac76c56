#include "win32/kernel32/fault.h"

#include <fcntl.h>
#include <fnmatch.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace win32::fault {
namespace {

struct Clause {
  std::string kind;      // "stop-after", "stop-within", "disk-full" or "lock-wait"
  std::string function;  // stop-after and stop-within only
  std::string glob;
  int nth = 1;
  unsigned milliseconds = 0;  // lock-wait only
  std::string marker;         // hold-after only
  int seen = 0;               // matching calls so far
};

// Splits off the text before the first colon.
std::string Take(std::string& text) {
  const size_t colon = text.find(':');
  std::string part = text.substr(0, colon);
  text = colon == std::string::npos ? std::string() : text.substr(colon + 1);
  return part;
}

// One clause; its kind is cleared when the text is malformed, and it then switches nothing on.
Clause Parse(std::string text) {
  Clause clause;
  clause.kind = Take(text);
  if (clause.kind == "stop-after" || clause.kind == "stop-within") {
    clause.function = Take(text);
    clause.glob = Take(text);
    if (!text.empty()) {
      clause.nth = std::atoi(text.c_str());
    }
  } else if (clause.kind == "hold-after") {
    clause.function = Take(text);
    clause.glob = Take(text);
    clause.marker = text;
  } else if (clause.kind == "disk-full") {
    clause.glob = text;
  } else if (clause.kind == "lock-wait") {
    clause.milliseconds = static_cast<unsigned>(std::strtoul(text.c_str(), nullptr, 10));
  } else {
    clause.kind.clear();
  }
  return clause;
}

struct Switch {
  std::vector<Clause> clauses;
};

std::mutex counts_mutex;  // guards the clauses' counts

// Read once.
Switch& Setting() {
  static Switch setting = [] {
    Switch s;
    const char* value = std::getenv("QUADRINE_FAULT");
    std::string text = value != nullptr ? value : "";
    size_t from = 0;
    while (from < text.size()) {
      const size_t end = std::min(text.find(';', from), text.size());
      Clause clause = Parse(text.substr(from, end - from));
      if (!clause.kind.empty()) {
        s.clauses.push_back(std::move(clause));
      }
      from = end + 1;
    }
    return s;
  }();
  return setting;
}

bool Matches(const Clause& clause, const char* kind, const char* function,
             const std::string& native_path) {
  return clause.kind == kind && (function == nullptr || clause.function == function) &&
         fnmatch(clause.glob.c_str(), native_path.c_str(), 0) == 0;
}

}  // namespace

void Stop() {
  kill(getpid(), SIGKILL);  // no clean-up, no flushing: as a crash ends a process
  _exit(137);
}

void AfterSuccess(const char* function, const std::string& native_path) {
  Switch& s = Setting();
  if (s.clauses.empty()) {
    return;
  }
  std::string held;
  {
    std::lock_guard lock(counts_mutex);
    for (Clause& clause : s.clauses) {
      if (Matches(clause, "stop-after", function, native_path) && ++clause.seen == clause.nth) {
        Stop();
      }
      if (Matches(clause, "hold-after", function, native_path) && ++clause.seen == 1) {
        held = clause.marker;
      }
    }
  }
  if (!held.empty()) {
    const int marker = open(held.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (marker >= 0) {
      close(marker);
    }
    for (int waited = 0; waited < 6000 && access(held.c_str(), F_OK) == 0; ++waited) {
      usleep(10000);
    }
  }
}

size_t TornWriteLength(const std::string& native_path, size_t size) {
  Switch& s = Setting();
  if (s.clauses.empty()) {
    return size;
  }
  std::lock_guard lock(counts_mutex);
  for (Clause& clause : s.clauses) {
    if (Matches(clause, "stop-within", "WriteFile", native_path) && ++clause.seen == clause.nth) {
      return size / 2;
    }
  }
  return size;
}

bool DiskFull(const std::string& native_path) {
  for (const Clause& clause : Setting().clauses) {
    if (Matches(clause, "disk-full", nullptr, native_path)) {
      return true;
    }
  }
  return false;
}

unsigned LockWaitMilliseconds(unsigned usual) {
  for (const Clause& clause : Setting().clauses) {
    if (clause.kind == "lock-wait") {
      return clause.milliseconds;
    }
  }
  return usual;
}

}  // namespace win32::fault
