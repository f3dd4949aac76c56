// Anonymous pipes, processes started without a search path, and the debugger channel.
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <syslog.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "win32/kernel32/errors.h"
#include "win32/kernel32/file_object.h"
#include "win32/kernel32/kernel32.h"
#include "win32/kernel32/native_path.h"

extern char** environ;

namespace {

class ProcessObject : public win32::KernelObject {
 public:
  explicit ProcessObject(pid_t process) : pid(process) {}
  ~ProcessObject() override {
    // A child that has ended is reaped even when nobody waited for it.
    if (!ended) {
      Poll(false);
    }
  }
  // Reaps the child when it has ended; with block set, waits for that.
  bool Poll(bool block) {
    std::lock_guard lock(mutex);
    if (ended) {
      return true;
    }
    int status = 0;
    pid_t result;
    do {
      result = waitpid(pid, &status, block ? 0 : WNOHANG);
    } while (result < 0 && errno == EINTR);
    if (result == pid) {
      ended = true;
      exit_code = WIFEXITED(status) ? static_cast<DWORD>(WEXITSTATUS(status))
                                    : static_cast<DWORD>(128 + WTERMSIG(status));
    } else if (result < 0) {
      ended = true;  // not our child any more
    }
    return ended;
  }
  pid_t pid;
  std::mutex mutex;
  bool ended = false;
  DWORD exit_code = STILL_ACTIVE;
};

// A thread handle stands for the child's main thread; it only keeps the process in view.
class ThreadObject : public win32::KernelObject {
 public:
  explicit ThreadObject(std::shared_ptr<ProcessObject> owner) : process(std::move(owner)) {}
  std::shared_ptr<ProcessObject> process;
};

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// The Microsoft C runtime's rules: the program name runs to the next quote or blank; then
// 2n backslashes and a quote give n backslashes and toggle quoting, 2n+1 give n and a quote,
// and "" inside quotes is a quote.
std::vector<std::string> SplitLikeTheCRuntime(const char* line) {
  std::vector<std::string> arguments;
  const char* p = line;
  std::string program;
  if (*p == '"') {
    for (++p; *p != '\0' && *p != '"'; ++p) {
      program += *p;
    }
    if (*p == '"') {
      ++p;
    }
  } else {
    for (; *p != '\0' && !IsBlank(*p); ++p) {
      program += *p;
    }
  }
  arguments.push_back(program);
  for (;;) {
    while (IsBlank(*p)) {
      ++p;
    }
    if (*p == '\0') {
      break;
    }
    std::string argument;
    bool quoted = false;
    for (; *p != '\0' && (quoted || !IsBlank(*p)); ++p) {
      size_t backslashes = 0;
      while (*p == '\\') {
        ++backslashes;
        ++p;
      }
      if (*p == '"') {
        argument.append(backslashes / 2, '\\');
        if (backslashes % 2 == 1) {
          argument += '"';
        } else if (quoted && p[1] == '"') {
          argument += '"';
          ++p;
        } else {
          quoted = !quoted;
        }
        continue;
      }
      argument.append(backslashes, '\\');
      if (*p == '\0') {
        break;
      }
      if (!quoted && IsBlank(*p)) {
        break;
      }
      argument += *p;
    }
    arguments.push_back(std::move(argument));
    if (*p == '\0') {
      break;
    }
  }
  return arguments;
}

int DescriptorOf(HANDLE handle) {
  auto file = win32::LookupHandleOf<win32::FileObject>(handle);
  return file ? file->fd.Get() : -1;
}

}  // namespace

BOOL WINAPI CreatePipe(LPHANDLE hReadPipe, LPHANDLE hWritePipe,
                       LPSECURITY_ATTRIBUTES /*lpPipeAttributes*/, DWORD /*nSize*/) {
  if (hReadPipe == nullptr || hWritePipe == nullptr) {
    return win32::Fail(ERROR_INVALID_PARAMETER);
  }
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) {
    return win32::FailFromErrno();
  }
  auto reader = std::make_shared<win32::FileObject>(win32::UniqueFd(ends[0]), true, false);
  auto writer = std::make_shared<win32::FileObject>(win32::UniqueFd(ends[1]), false, true);
  reader->is_pipe = writer->is_pipe = true;
  *hReadPipe = win32::InsertHandle(std::move(reader));
  *hWritePipe = win32::InsertHandle(std::move(writer));
  return TRUE;
}

BOOL WINAPI PeekNamedPipe(HANDLE hNamedPipe, LPVOID lpBuffer, DWORD nBufferSize,
                          LPDWORD lpBytesRead, LPDWORD lpTotalBytesAvail,
                          LPDWORD lpBytesLeftThisMessage) {
  auto pipe = win32::LookupHandleOf<win32::FileObject>(hNamedPipe);
  if (!pipe || !pipe->is_pipe || !pipe->can_read) {
    return win32::Fail(ERROR_INVALID_HANDLE);
  }
  int waiting = 0;
  if (ioctl(pipe->fd.Get(), FIONREAD, &waiting) != 0) {
    return win32::FailFromErrno();
  }
  if (waiting == 0 && pipe->peeked.empty()) {
    pollfd poller{pipe->fd.Get(), POLLIN, 0};
    if (poll(&poller, 1, 0) == 1 && (poller.revents & POLLHUP) != 0) {
      return win32::Fail(ERROR_BROKEN_PIPE);
    }
  }
  // A pipe cannot be read without taking the bytes, so what is shown is kept aside.
  if (lpBuffer != nullptr && pipe->peeked.size() < nBufferSize && waiting > 0) {
    std::string more(std::min<size_t>(nBufferSize - pipe->peeked.size(), waiting), '\0');
    const ssize_t got = read(pipe->fd.Get(), more.data(), more.size());
    if (got > 0) {
      pipe->peeked.append(more.data(), static_cast<size_t>(got));
      waiting -= static_cast<int>(got);
    }
  }
  const size_t shown = lpBuffer != nullptr ? std::min<size_t>(pipe->peeked.size(), nBufferSize) : 0;
  if (shown > 0) {
    std::memcpy(lpBuffer, pipe->peeked.data(), shown);
  }
  if (lpBytesRead != nullptr) {
    *lpBytesRead = static_cast<DWORD>(shown);
  }
  if (lpTotalBytesAvail != nullptr) {
    *lpTotalBytesAvail = static_cast<DWORD>(pipe->peeked.size() + static_cast<size_t>(waiting));
  }
  if (lpBytesLeftThisMessage != nullptr) {
    *lpBytesLeftThisMessage = 0;
  }
  return TRUE;
}

BOOL WINAPI CreateProcessA(LPCSTR lpApplicationName, LPSTR lpCommandLine,
                           LPSECURITY_ATTRIBUTES /*lpProcessAttributes*/,
                           LPSECURITY_ATTRIBUTES /*lpThreadAttributes*/, BOOL /*bInheritHandles*/,
                           DWORD dwCreationFlags, LPVOID lpEnvironment, LPCSTR lpCurrentDirectory,
                           LPSTARTUPINFOA lpStartupInfo,
                           LPPROCESS_INFORMATION lpProcessInformation) {
  if (lpCommandLine == nullptr || lpStartupInfo == nullptr || lpProcessInformation == nullptr) {
    return win32::Fail(ERROR_INVALID_PARAMETER);
  }
  if (dwCreationFlags != 0 || lpEnvironment != nullptr || lpCurrentDirectory != nullptr) {
    return win32::Fail(ERROR_NOT_SUPPORTED);  // nothing here asks for them
  }
  std::vector<std::string> arguments = SplitLikeTheCRuntime(lpCommandLine);
  const std::string program_text = lpApplicationName ? lpApplicationName : arguments[0];
  if (program_text.empty()) {
    return win32::Fail(ERROR_FILE_NOT_FOUND);
  }
  const auto program = win32::ToNativePath(program_text);
  if (!program) {
    return FALSE;
  }
  if (access(program->c_str(), X_OK) != 0) {
    return win32::Fail(errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND);
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  if ((lpStartupInfo->dwFlags & STARTF_USESTDHANDLES) != 0) {
    const int out = DescriptorOf(lpStartupInfo->hStdOutput);
    const int err = DescriptorOf(lpStartupInfo->hStdError);
    if (out >= 0) {
      posix_spawn_file_actions_adddup2(&actions, out, 1);
    }
    if (err >= 0) {
      posix_spawn_file_actions_adddup2(&actions, err, 2);
    }
  }
  std::vector<char*> argv;
  for (std::string& argument : arguments) {
    argv.push_back(argument.data());
  }
  argv.push_back(nullptr);
  pid_t pid = 0;
  const int error = posix_spawn(&pid, program->c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) {
    return win32::Fail(win32::ErrorFromErrno(error));
  }
  auto process = std::make_shared<ProcessObject>(pid);
  lpProcessInformation->hThread = win32::InsertHandle(std::make_shared<ThreadObject>(process));
  lpProcessInformation->hProcess = win32::InsertHandle(process);
  lpProcessInformation->dwProcessId = static_cast<DWORD>(pid);
  lpProcessInformation->dwThreadId = static_cast<DWORD>(pid);
  return TRUE;
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  auto process = win32::LookupHandleOf<ProcessObject>(hHandle);
  if (!process) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  if (dwMilliseconds == INFINITE) {
    process->Poll(true);
    return WAIT_OBJECT_0;
  }
  const DWORD start = GetTickCount();
  for (;;) {
    if (process->Poll(false)) {
      return WAIT_OBJECT_0;
    }
    const DWORD waited = GetTickCount() - start;
    if (waited >= dwMilliseconds) {
      return WAIT_TIMEOUT;
    }
    Sleep(std::min<DWORD>(10, dwMilliseconds - waited));
  }
}

BOOL WINAPI GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode) {
  auto process = win32::LookupHandleOf<ProcessObject>(hProcess);
  if (!process || lpExitCode == nullptr) {
    return win32::Fail(ERROR_INVALID_HANDLE);
  }
  process->Poll(false);
  *lpExitCode = process->exit_code;
  return TRUE;
}

void WINAPI OutputDebugStringA(LPCSTR lpOutputString) {
  if (lpOutputString != nullptr) {
    syslog(LOG_DEBUG, "%s", lpOutputString);
  }
}
