#include "win32/kernel32/native_path.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>

#include "win32/kernel32/errors.h"
#include "win32/kernel32/kernel32.h"

namespace win32 {
namespace {

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') {
    path.pop_back();
  }
  return path;
}

std::string Absolute(const std::string& path) {
  std::error_code error;
  std::filesystem::path absolute = std::filesystem::absolute(path, error);
  if (error) {
    return path;
  }
  return WithoutTrailingSlashes(absolute.lexically_normal().string());
}

// The folder that "C:" names, without a trailing separator ("" for the root itself).
std::string DriveCRoot() {
  std::string parent = std::filesystem::path(WindowsDirectory()).parent_path().string();
  return parent == "/" ? std::string() : parent;
}

struct HeldFolders {
  std::mutex mutex;
  std::map<std::string, int> by_path;  // absolute native path -> descriptor
};

HeldFolders& Held() {
  static HeldFolders held;
  return held;
}

}  // namespace

void HoldFolder(const std::string& native, int fd) {
  HeldFolders& held = Held();
  const std::lock_guard lock(held.mutex);
  held.by_path[Absolute(native)] = fd;
}

void ReleaseFolder(int fd) {
  HeldFolders& held = Held();
  const std::lock_guard lock(held.mutex);
  std::erase_if(held.by_path, [fd](const auto& entry) { return entry.second == fd; });
}

std::string ThroughHeldFolders(const std::string& native) {
  HeldFolders& held = Held();
  const std::lock_guard lock(held.mutex);
  if (held.by_path.empty()) {
    return native;
  }
  const std::string absolute = Absolute(native);
  const std::pair<const std::string, int>* innermost = nullptr;
  for (const auto& entry : held.by_path) {
    const std::string& folder = entry.first;
    const bool inside = absolute == folder || (absolute.starts_with(folder) &&
                                               (folder == "/" || absolute[folder.size()] == '/'));
    if (inside && (innermost == nullptr || folder.size() > innermost->first.size())) {
      innermost = &entry;
    }
  }
  if (innermost == nullptr) {
    return native;
  }
  // The folder itself as "N/.": the folder, not the descriptor's link, is what is asked of.
  const std::string below = absolute.substr(innermost->first.size());
  return "/proc/self/fd/" + std::to_string(innermost->second) +
         (below.empty()     ? "/."
          : below[0] == '/' ? below
                            : "/" + below);
}

std::optional<std::string> ToReachablePath(std::string_view path) {
  std::optional<std::string> native = ToNativePath(path);
  if (native) {
    *native = ThroughHeldFolders(*native);
  }
  return native;
}

std::string ExecutablePath() {
  std::string path(4096, '\0');
  const ssize_t length = readlink("/proc/self/exe", path.data(), path.size() - 1);
  if (length <= 0) {
    return {};
  }
  path.resize(static_cast<size_t>(length));
  return path;
}

std::string WindowsDirectory() {
  const char* windir = std::getenv("WINDIR");
  if (windir != nullptr && *windir != '\0') {
    std::string native(windir);
    std::replace(native.begin(), native.end(), '\\', '/');
    return Absolute(native);
  }
  return std::filesystem::path(ExecutablePath()).parent_path().string() + "/windows";
}

std::optional<std::string> ToNativePath(std::string_view path) {
  if (path.empty()) {
    Fail(ERROR_PATH_NOT_FOUND);
    return std::nullopt;
  }
  std::string rest;
  std::string root;
  const bool has_drive = path.size() >= 2 && path[1] == ':' &&
                         ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
  if (has_drive) {
    const char drive = static_cast<char>(path[0] & ~0x20);
    if (drive == 'C') {
      root = DriveCRoot();
    } else if (drive != 'Z') {
      Fail(ERROR_PATH_NOT_FOUND);
      return std::nullopt;
    }
    rest = path.substr(2);
    // "C:name" is taken from the drive's root: the stand-in keeps no per-drive folder.
    if (rest.empty() || (rest[0] != '\\' && rest[0] != '/')) {
      rest.insert(rest.begin(), '/');
    }
  } else {
    rest = path;
  }
  std::replace(rest.begin(), rest.end(), '\\', '/');
  return root + rest;
}

}  // namespace win32
