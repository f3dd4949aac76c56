// Waiting for objects: the processes the stand-in starts, and named mutexes.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <string>

#include "win32/kernel32/errors.h"
#include "win32/kernel32/handles.h"
#include "win32/kernel32/kernel32.h"
#include "win32/kernel32/native_path.h"
#include "win32/kernel32/process_object.h"
#include "win32/kernel32/unique_fd.h"

namespace {

// A named mutex: an exclusive lock on its file, held while owned. The lock goes with the
// process, so a mutex whose owner died is simply free again (taken, as WAIT_ABANDONED is).
class MutexObject : public win32::KernelObject {
 public:
  explicit MutexObject(win32::UniqueFd lock) : fd(std::move(lock)) {}
  bool TryTake(bool block) {
    if (owned > 0) {
      ++owned;  // the owner may take it again, as on Windows
      return true;
    }
    while (flock(fd.Get(), block ? LOCK_EX : LOCK_EX | LOCK_NB) != 0) {
      if (errno != EINTR) {
        return false;
      }
    }
    owned = 1;
    return true;
  }
  bool Release() {
    if (owned == 0) {
      return false;
    }
    if (--owned == 0) {
      flock(fd.Get(), LOCK_UN);
    }
    return true;
  }
  win32::UniqueFd fd;
  int owned = 0;
};

// A lock file is a file: a folder or anything else planted at its name locks nothing.
bool IsRegularFile(int fd) {
  struct stat info {};
  return fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
}

// Polls until taken() says yes or the time is up.
DWORD WaitPolling(DWORD milliseconds, const std::function<bool()>& taken) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (taken()) {
      return WAIT_OBJECT_0;
    }
    const DWORD waited = GetTickCount() - start;
    if (waited >= milliseconds) {
      return WAIT_TIMEOUT;
    }
    Sleep(std::min<DWORD>(20, milliseconds - waited));
  }
}

// "Global\Name" and "Local\Name" share the machine-wide lock file "Name.lock".
std::string LockFileFor(const std::string& name) {
  std::string base = name;
  for (const char* prefix : {"Global\\", "Local\\"}) {
    if (base.starts_with(prefix)) {
      base.erase(0, std::char_traits<char>::length(prefix));
    }
  }
  return win32::WindowsDirectory() + "/system32/spool/" + base + ".lock";
}

}  // namespace

HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES /*lpMutexAttributes*/, BOOL bInitialOwner,
                           LPCSTR lpName) {
  if (lpName == nullptr || *lpName == '\0') {
    return win32::Fail(ERROR_NOT_SUPPORTED, nullptr);  // nothing here uses unnamed mutexes
  }
  const std::string name = lpName;
  if (name.find_first_of("/\\", name.find('\\') == std::string::npos ? 0 : name.find('\\') + 1) !=
      std::string::npos) {
    return win32::Fail(ERROR_INVALID_NAME, nullptr);
  }
  const std::string path = LockFileFor(name);
  std::error_code ignored;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ignored);
  const bool existed = access(path.c_str(), F_OK) == 0;
  win32::UniqueFd fd(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644));
  if (!fd.Valid() && errno == EACCES) {
    // Another user's lock file: reading it is enough to lock it, and that user's runs
    // then wait for ours as ours wait for theirs.
    fd.Reset(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  }
  if (fd.Valid() && !IsRegularFile(fd.Get())) {
    return win32::Fail(ERROR_ACCESS_DENIED, static_cast<HANDLE>(nullptr));
  }
  if (!fd.Valid()) {
    return win32::FailFromErrno(static_cast<HANDLE>(nullptr));
  }
  auto mutex = std::make_shared<MutexObject>(std::move(fd));
  if (bInitialOwner) {
    mutex->TryTake(false);
  }
  HANDLE handle = win32::InsertHandle(mutex);
  SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return handle;
}

HANDLE WINAPI OpenMutexA(DWORD /*dwDesiredAccess*/, BOOL /*bInheritHandle*/, LPCSTR lpName) {
  if (lpName == nullptr || *lpName == '\0') {
    return win32::Fail(ERROR_INVALID_PARAMETER, nullptr);
  }
  const std::string name = lpName;
  if (name.find_first_of("/\\", name.find('\\') == std::string::npos ? 0 : name.find('\\') + 1) !=
      std::string::npos) {
    return win32::Fail(ERROR_INVALID_NAME, nullptr);
  }
  // An existing mutex only; reading its lock file is enough to wait for it and take it.
  win32::UniqueFd fd(open(LockFileFor(name).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
  if (fd.Valid() && !IsRegularFile(fd.Get())) {
    return win32::Fail(ERROR_ACCESS_DENIED, static_cast<HANDLE>(nullptr));
  }
  if (!fd.Valid()) {
    return win32::Fail(errno == ENOENT ? ERROR_FILE_NOT_FOUND : win32::ErrorFromErrno(errno),
                       static_cast<HANDLE>(nullptr));
  }
  return win32::InsertHandle(std::make_shared<MutexObject>(std::move(fd)));
}

BOOL WINAPI ReleaseMutex(HANDLE hMutex) {
  auto mutex = win32::LookupHandleOf<MutexObject>(hMutex);
  if (!mutex) {
    return win32::Fail(ERROR_INVALID_HANDLE);
  }
  return mutex->Release() ? TRUE : win32::Fail(ERROR_NOT_OWNER);
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  if (auto mutex = win32::LookupHandleOf<MutexObject>(hHandle)) {
    if (dwMilliseconds == INFINITE) {
      return mutex->TryTake(true) ? WAIT_OBJECT_0 : win32::FailFromErrno(DWORD{WAIT_FAILED});
    }
    return WaitPolling(dwMilliseconds, [&] { return mutex->TryTake(false); });
  }
  auto process = win32::LookupHandleOf<win32::ProcessObject>(hHandle);
  if (!process) {
    return win32::Fail(ERROR_INVALID_HANDLE, WAIT_FAILED);
  }
  if (dwMilliseconds == INFINITE) {
    process->Poll(true);
    return WAIT_OBJECT_0;
  }
  return WaitPolling(dwMilliseconds, [&] { return process->Poll(false); });
}
