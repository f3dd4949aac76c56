#include "win32/kernel32/fault.h"

#include <fnmatch.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <mutex>

namespace win32::fault {
namespace {

struct Switch {
  std::string kind;      // "stop-after" or "disk-full"
  std::string function;  // stop-after only
  std::string glob;
  int nth = 1;
};

// Read once; a malformed value switches nothing on.
const Switch& Setting() {
  static const Switch setting = [] {
    Switch s;
    const char* value = std::getenv("QUADRINE_FAULT");
    if (value == nullptr) {
      return s;
    }
    std::string text = value;
    auto take = [&text]() {
      const size_t colon = text.find(':');
      std::string part = text.substr(0, colon);
      text = colon == std::string::npos ? std::string() : text.substr(colon + 1);
      return part;
    };
    s.kind = take();
    if (s.kind == "stop-after") {
      s.function = take();
      s.glob = take();
      if (!text.empty()) {
        s.nth = std::atoi(text.c_str());
      }
    } else if (s.kind == "disk-full") {
      s.glob = text;
    } else {
      s.kind.clear();
    }
    return s;
  }();
  return setting;
}

}  // namespace

void AfterSuccess(const char* function, const std::string& native_path) {
  const Switch& s = Setting();
  if (s.kind != "stop-after" || s.function != function ||
      fnmatch(s.glob.c_str(), native_path.c_str(), 0) != 0) {
    return;
  }
  static std::mutex mutex;
  static int seen = 0;
  std::lock_guard lock(mutex);
  if (++seen == s.nth) {
    kill(getpid(), SIGKILL);  // no clean-up, no flushing: as a crash ends a process
  }
}

bool DiskFull(const std::string& native_path) {
  const Switch& s = Setting();
  return s.kind == "disk-full" && fnmatch(s.glob.c_str(), native_path.c_str(), 0) == 0;
}

}  // namespace win32::fault
