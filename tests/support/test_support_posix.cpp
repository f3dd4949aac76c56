// The test helpers that differ by platform: POSIX.
#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "support/test_support.h"

extern char** environ;

namespace testing_support {

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/quadrine-test-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::runtime_error("mkdtemp failed");
  }
  path_ = pattern;
}

ProcessResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& workingDirectory,
                         const std::vector<std::string>& environment) {
  TempDir capture;
  const std::string out_path = capture / "out";
  const std::string err_path = capture / "err";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT, 0600);
  posix_spawn_file_actions_addchdir_np(&actions, workingDirectory.c_str());

  std::vector<std::string> env_strings;
  for (char** e = environ; *e != nullptr; ++e) {
    env_strings.emplace_back(*e);
  }
  for (const std::string& extra : environment) {
    const std::string name = extra.substr(0, extra.find('=') + 1);
    std::erase_if(env_strings, [&](const std::string& s) { return s.starts_with(name); });
    env_strings.push_back(extra);
  }
  std::vector<char*> env;
  for (std::string& s : env_strings) {
    env.push_back(s.data());
  }
  env.push_back(nullptr);
  std::vector<std::string> argv_strings{program};
  argv_strings.insert(argv_strings.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& s : argv_strings) {
    argv.push_back(s.data());
  }
  argv.push_back(nullptr);

  ProcessResult result;
  pid_t pid = 0;
  const int error = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), env.data());
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) {
    result.err = "spawn failed";
    return result;
  }
  int status = 0;
  waitpid(pid, &status, 0);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.out = ReadFile(out_path);
  result.err = ReadFile(err_path);
  return result;
}

std::string SharedBlockName() {
  return "/Quadrine." + std::to_string(getuid());
}

std::string ReadSharedBlock(size_t count) {
  const int fd = shm_open(SharedBlockName().c_str(), O_RDONLY, 0);
  if (fd < 0) {
    return "<no block>";
  }
  struct stat info {};
  fstat(fd, &info);
  const size_t size = static_cast<size_t>(info.st_size);
  void* view = mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
  close(fd);
  if (view == MAP_FAILED) {
    return "<no block>";
  }
  std::string bytes(static_cast<const char*>(view), std::min(count, size));
  munmap(view, size);
  return bytes;
}

bool CreateSharedBlock(size_t size, char fill) {
  const int fd = shm_open(SharedBlockName().c_str(), O_RDWR | O_CREAT, 0600);
  if (fd < 0) {
    return false;
  }
  bool made = ftruncate(fd, static_cast<off_t>(size)) == 0;
  void* view = made ? mmap(nullptr, size, PROT_WRITE, MAP_SHARED, fd, 0) : MAP_FAILED;
  if (view != MAP_FAILED) {
    std::memset(view, fill, size);
    munmap(view, size);
  }
  close(fd);
  return made && view != MAP_FAILED;
}

void RemoveSharedBlock() {
  shm_unlink(SharedBlockName().c_str());
}

// Files and pipes the process holds open. Sockets are left out: the debugger channel
// (OutputDebugStringA) opens the syslog socket once, the first time something is written.
int OpenHandleCount() {
  int count = 0;
  DIR* fds = opendir("/proc/self/fd");
  while (const dirent* entry = readdir(fds)) {
    char target[256] = "";
    const std::string link = std::string("/proc/self/fd/") + entry->d_name;
    const ssize_t length = readlink(link.c_str(), target, sizeof target - 1);
    if (length > 0 && std::string(target, static_cast<size_t>(length)).starts_with("socket:")) {
      continue;
    }
    ++count;
  }
  closedir(fds);
  return count;
}

bool ChildLeftBehind() {
  return !(waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD);
}

const char* WithoutStandIn() {
  return nullptr;
}

std::string ImageReader(std::string& reason) {
  reason.clear();
  return "/usr/bin/python3";
}

std::string ReadBack(const std::string& file, const std::vector<std::string>& checks) {
  std::vector<std::string> arguments = {file};
  arguments.insert(arguments.end(), checks.begin(), checks.end());
  const ProcessResult result =
      RunProgram(QUADRINE_SOURCE_DIR "/tests/support/check_image.py", arguments, "/");
  if (result.exitCode == 0) {
    return "";
  }
  return file + ": " + result.out + result.err + "(exit " + std::to_string(result.exitCode) + ")";
}

// ./dev installs Debian's python3 with Pillow: a missing reader is a failure, not a skip.
const char* ReadBackUnavailable() {
  return nullptr;
}

void SetEnvironment(const char* name, const char* value) {
  if (value == nullptr) {
    unsetenv(name);
  } else {
    setenv(name, value, 1);
  }
}

}  // namespace testing_support
