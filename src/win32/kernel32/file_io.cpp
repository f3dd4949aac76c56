// Opening, reading and writing files through handles.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <mutex>

#include "win32/kernel32/errors.h"
#include "win32/kernel32/fault.h"
#include "win32/kernel32/file_object.h"
#include "win32/kernel32/kernel32.h"
#include "win32/kernel32/native_path.h"

namespace {

// A folder opened as a handle (FILE_FLAG_BACKUP_SEMANTICS), never through a link when the
// link itself is asked for (FILE_FLAG_OPEN_REPARSE_POINT). Held without FILE_SHARE_DELETE,
// paths below it are reached through it until the handle is closed.
HANDLE OpenFolder(const std::string& native, DWORD share, DWORD flags) {
  const int open_flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC |
                         ((flags & FILE_FLAG_OPEN_REPARSE_POINT) != 0 ? O_NOFOLLOW : 0);
  win32::UniqueFd fd(open(win32::ThroughHeldFolders(native).c_str(), open_flags));
  if (!fd.Valid()) {
    return win32::Fail(win32::ErrorFromErrno(errno), INVALID_HANDLE_VALUE);
  }
  auto object = std::make_shared<win32::FileObject>(std::move(fd), false, false);
  object->native_path = native;
  if ((share & FILE_SHARE_DELETE) == 0) {
    object->holds_folder = true;
    win32::HoldFolder(native, object->fd.Get());
  }
  return win32::Fail(ERROR_SUCCESS, win32::InsertHandle(std::move(object)));
}

}  // namespace

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/,
                          DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes,
                          HANDLE /*hTemplateFile*/) {
  if (lpFileName == nullptr) {
    return win32::Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
  }
  const auto native = win32::ToNativePath(lpFileName);
  if (!native) {
    return INVALID_HANDLE_VALUE;
  }
  if ((dwFlagsAndAttributes & FILE_FLAG_BACKUP_SEMANTICS) != 0) {
    if (dwCreationDisposition != OPEN_EXISTING || (dwDesiredAccess & GENERIC_WRITE) != 0) {
      return win32::Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
    }
    return OpenFolder(*native, dwShareMode, dwFlagsAndAttributes);
  }
  const std::string reached = win32::ThroughHeldFolders(*native);
  const bool read = (dwDesiredAccess & GENERIC_READ) != 0;
  const bool write = (dwDesiredAccess & GENERIC_WRITE) != 0;
  int flags = O_CLOEXEC | (read && write ? O_RDWR : write ? O_WRONLY : O_RDONLY);
  switch (dwCreationDisposition) {
    case CREATE_NEW:
      flags |= O_CREAT | O_EXCL;
      break;
    case CREATE_ALWAYS:
      flags |= O_CREAT | O_TRUNC;
      break;
    case OPEN_EXISTING:
      break;
    case OPEN_ALWAYS:
      flags |= O_CREAT;
      break;
    case TRUNCATE_EXISTING:
      flags |= O_TRUNC;
      break;
    default:
      return win32::Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
  }
  struct stat info {};
  const bool existed = stat(reached.c_str(), &info) == 0;
  if (existed && S_ISDIR(info.st_mode)) {
    return win32::Fail(ERROR_ACCESS_DENIED, INVALID_HANDLE_VALUE);
  }
  win32::UniqueFd fd(open(reached.c_str(), flags, 0666));
  if (!fd.Valid()) {
    return win32::Fail(errno == ENOENT && dwCreationDisposition != OPEN_EXISTING &&
                               dwCreationDisposition != TRUNCATE_EXISTING
                           ? ERROR_PATH_NOT_FOUND
                           : win32::ErrorFromErrno(errno),
                       INVALID_HANDLE_VALUE);
  }
  auto object = std::make_shared<win32::FileObject>(std::move(fd), read, write);
  object->native_path = *native;
  object->disk_full = write && win32::fault::DiskFull(*native);
  HANDLE handle = win32::InsertHandle(std::move(object));
  win32::fault::AfterSuccess("CreateFileA", *native);
  const bool reports_existing =
      dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == OPEN_ALWAYS;
  return win32::Fail(reports_existing && existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS, handle);
}

namespace {

// The file behind a handle for a synchronous read or write, or none with the last error set.
std::shared_ptr<win32::FileObject> FileForTransfer(HANDLE handle, LPDWORD count,
                                                   LPOVERLAPPED overlapped, bool write) {
  auto file = win32::LookupHandleOf<win32::FileObject>(handle);
  if (count != nullptr) {
    *count = 0;
  }
  if (!file || overlapped != nullptr) {
    win32::Fail(file ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (!(write ? file->can_write : file->can_read)) {
    win32::Fail(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  return file;
}

}  // namespace

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                     LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped) {
  auto file = FileForTransfer(hFile, lpNumberOfBytesRead, lpOverlapped, false);
  if (!file) {
    return FALSE;
  }
  if (!file->peeked.empty()) {
    // What a peek kept aside comes first, then whatever else is waiting, as one read.
    size_t count = std::min<size_t>(file->peeked.size(), nNumberOfBytesToRead);
    std::memcpy(lpBuffer, file->peeked.data(), count);
    file->peeked.erase(0, count);
    int waiting = 0;
    if (count < nNumberOfBytesToRead && ioctl(file->fd.Get(), FIONREAD, &waiting) == 0 &&
        waiting > 0) {
      const size_t more = std::min<size_t>(nNumberOfBytesToRead - count, waiting);
      const ssize_t got = read(file->fd.Get(), static_cast<char*>(lpBuffer) + count, more);
      count += got > 0 ? static_cast<size_t>(got) : 0;
    }
    if (lpNumberOfBytesRead != nullptr) {
      *lpNumberOfBytesRead = static_cast<DWORD>(count);
    }
    return TRUE;
  }
  ssize_t got;
  do {
    got = read(file->fd.Get(), lpBuffer, nNumberOfBytesToRead);
  } while (got < 0 && errno == EINTR);
  if (got < 0) {
    return win32::FailFromErrno();
  }
  if (got == 0 && file->is_pipe && nNumberOfBytesToRead > 0) {
    return win32::Fail(ERROR_BROKEN_PIPE);  // every writer has gone
  }
  if (lpNumberOfBytesRead != nullptr) {
    *lpNumberOfBytesRead = static_cast<DWORD>(got);
  }
  return TRUE;
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
  auto file = FileForTransfer(hFile, lpNumberOfBytesWritten, lpOverlapped, true);
  if (!file) {
    return FALSE;
  }
  if (file->disk_full && nNumberOfBytesToWrite > 0) {
    return win32::Fail(ERROR_DISK_FULL);
  }
  // Windows writes the whole buffer to a disk file or fails.
  const char* data = static_cast<const char*>(lpBuffer);
  const DWORD torn =
      static_cast<DWORD>(win32::fault::TornWriteLength(file->native_path, nNumberOfBytesToWrite));
  DWORD done = 0;
  while (done < nNumberOfBytesToWrite) {
    if (done >= torn) {
      win32::fault::Stop();
    }
    const ssize_t count = write(file->fd.Get(), data + done, torn - done);
    if (count < 0 && errno == EINTR) {
      continue;
    }
    if (count <= 0) {
      if (lpNumberOfBytesWritten != nullptr) {
        *lpNumberOfBytesWritten = done;
      }
      return count == 0 ? win32::Fail(ERROR_DISK_FULL) : win32::FailFromErrno();
    }
    done += static_cast<DWORD>(count);
  }
  if (lpNumberOfBytesWritten != nullptr) {
    *lpNumberOfBytesWritten = done;
  }
  win32::fault::AfterSuccess("WriteFile", file->native_path);
  return TRUE;
}

DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
  auto file = win32::LookupHandleOf<win32::FileObject>(hFile);
  struct stat info {};
  if (!file) {
    return win32::Fail(ERROR_INVALID_HANDLE, INVALID_FILE_SIZE);
  }
  if (fstat(file->fd.Get(), &info) != 0) {
    win32::FailFromErrno();
    return INVALID_FILE_SIZE;
  }
  const unsigned long long size = static_cast<unsigned long long>(info.st_size);
  if (lpFileSizeHigh != nullptr) {
    *lpFileSizeHigh = static_cast<DWORD>(size >> 32);
  }
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(size);
}

DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, LONG* lpDistanceToMoveHigh,
                            DWORD dwMoveMethod) {
  auto file = win32::LookupHandleOf<win32::FileObject>(hFile);
  if (!file) {
    return win32::Fail(ERROR_INVALID_HANDLE, INVALID_SET_FILE_POINTER);
  }
  // Without a high part the distance is a signed 32-bit value; with one, a 64-bit value.
  const long long distance =
      lpDistanceToMoveHigh == nullptr
          ? static_cast<long long>(lDistanceToMove)
          : static_cast<long long>(
                (static_cast<unsigned long long>(static_cast<DWORD>(*lpDistanceToMoveHigh)) << 32) |
                static_cast<DWORD>(lDistanceToMove));
  const int whence = dwMoveMethod == FILE_BEGIN     ? SEEK_SET
                     : dwMoveMethod == FILE_CURRENT ? SEEK_CUR
                     : dwMoveMethod == FILE_END     ? SEEK_END
                                                    : -1;
  if (whence < 0) {
    return win32::Fail(ERROR_INVALID_PARAMETER, INVALID_SET_FILE_POINTER);
  }
  const off_t position = lseek(file->fd.Get(), static_cast<off_t>(distance), whence);
  if (position < 0) {
    return win32::Fail(ERROR_NEGATIVE_SEEK, INVALID_SET_FILE_POINTER);
  }
  if (lpDistanceToMoveHigh != nullptr) {
    *lpDistanceToMoveHigh = static_cast<LONG>(static_cast<unsigned long long>(position) >> 32);
  }
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(position);
}

BOOL WINAPI SetEndOfFile(HANDLE hFile) {
  auto file = win32::LookupHandleOf<win32::FileObject>(hFile);
  if (!file || !file->can_write) {
    return win32::Fail(file ? ERROR_ACCESS_DENIED : ERROR_INVALID_HANDLE);
  }
  const off_t position = lseek(file->fd.Get(), 0, SEEK_CUR);
  if (position < 0 || ftruncate(file->fd.Get(), position) != 0) {
    return win32::FailFromErrno();
  }
  return TRUE;
}

HANDLE WINAPI GetStdHandle(DWORD nStdHandle) {
  int fd = -1;
  switch (nStdHandle) {
    case STD_INPUT_HANDLE:
      fd = 0;
      break;
    case STD_OUTPUT_HANDLE:
      fd = 1;
      break;
    case STD_ERROR_HANDLE:
      fd = 2;
      break;
    default:
      return win32::Fail(ERROR_INVALID_HANDLE, INVALID_HANDLE_VALUE);
  }
  // One handle each for the process's life, over a copy of the descriptor, as Windows keeps
  // its standard handles.
  static HANDLE handles[3] = {nullptr, nullptr, nullptr};
  static std::mutex mutex;
  std::lock_guard lock(mutex);
  if (handles[fd] == nullptr) {
    win32::UniqueFd copy(fcntl(fd, F_DUPFD_CLOEXEC, 3));
    if (!copy.Valid()) {
      return win32::Fail(ERROR_INVALID_HANDLE, INVALID_HANDLE_VALUE);
    }
    handles[fd] =
        win32::InsertHandle(std::make_shared<win32::FileObject>(std::move(copy), fd == 0, fd != 0));
  }
  return handles[fd];
}

DWORD WINAPI GetFileType(HANDLE hFile) {
  auto file = win32::LookupHandleOf<win32::FileObject>(hFile);
  struct stat info {};
  if (!file || fstat(file->fd.Get(), &info) != 0) {
    return win32::Fail(ERROR_INVALID_HANDLE, DWORD{FILE_TYPE_UNKNOWN});
  }
  SetLastError(ERROR_SUCCESS);
  if (S_ISCHR(info.st_mode)) {
    return FILE_TYPE_CHAR;  // a terminal, as a console is on Windows
  }
  if (S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode)) {
    return FILE_TYPE_PIPE;
  }
  return FILE_TYPE_DISK;
}
