// Processes started without a search path, their arguments cut by the C runtime's rules.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "win32/kernel32/errors.h"
#include "win32/kernel32/file_object.h"
#include "win32/kernel32/kernel32.h"
#include "win32/kernel32/native_path.h"
#include "win32/kernel32/process_object.h"
#include "win32/msvcrt/command_line.h"

extern char** environ;

namespace win32 {

bool ProcessObject::Poll(bool block) {
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

}  // namespace win32

namespace {

using win32::ProcessObject;
using win32::ThreadObject;

int DescriptorOf(HANDLE handle) {
  auto file = win32::LookupHandleOf<win32::FileObject>(handle);
  return file ? file->fd.Get() : -1;
}

}  // namespace

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
  std::vector<std::string> arguments = win32::SplitLikeTheCRuntime(lpCommandLine);
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

BOOL WINAPI GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode) {
  auto process = win32::LookupHandleOf<ProcessObject>(hProcess);
  if (!process || lpExitCode == nullptr) {
    return win32::Fail(ERROR_INVALID_HANDLE);
  }
  process->Poll(false);
  *lpExitCode = process->exit_code;
  return TRUE;
}
