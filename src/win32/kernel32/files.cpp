// File attributes, deletion, copying and temporary file names.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "win32/kernel32/errors.h"
#include "win32/kernel32/fault.h"
#include "win32/kernel32/file_time.h"
#include "win32/kernel32/kernel32.h"
#include "win32/kernel32/native_path.h"
#include "win32/kernel32/unique_fd.h"

namespace {

// ENOENT means "file not found" when the folder exists and "path not found" when it does not.
DWORD MissingError(const std::string& native) {
  const std::string parent = std::filesystem::path(native).parent_path().string();
  struct stat info {};
  const bool parent_is_folder =
      parent.empty() || (stat(parent.c_str(), &info) == 0 && S_ISDIR(info.st_mode));
  return parent_is_folder ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t written = write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) {
        continue;
      }
      return false;
    }
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

bool CopyContents(int from, int to) {
  char buffer[1 << 16];
  for (;;) {
    const ssize_t got = read(from, buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) {
        continue;
      }
      return false;
    }
    if (got == 0) {
      return true;
    }
    if (!WriteAll(to, buffer, static_cast<size_t>(got))) {
      return false;
    }
  }
}

bool StatPath(LPCSTR name, struct stat* info) {
  if (name == nullptr) {
    return win32::Fail(ERROR_INVALID_PARAMETER);
  }
  const auto native = win32::ToReachablePath(name);
  if (!native) {
    return false;
  }
  if (stat(native->c_str(), info) != 0) {
    // A link whose target is gone still takes its name, as a reparse point does on Windows:
    // it exists, so nothing is created through it.
    if (errno == ENOENT && lstat(native->c_str(), info) == 0) {
      return true;
    }
    if (errno == ENOENT) {
      return win32::Fail(MissingError(*native));
    }
    return win32::FailFromErrno();
  }
  return true;
}

DWORD AttributesOf(const struct stat& info) {
  DWORD attributes = S_ISDIR(info.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
  if ((info.st_mode & S_IWUSR) == 0) {
    attributes |= FILE_ATTRIBUTE_READONLY;
  }
  return attributes;
}

// A symbolic link is what Windows calls a reparse point: reported as one, with its target's
// other attributes, so that a caller can refuse to work through it.
DWORD LinkAttribute(LPCSTR name) {
  const auto native = win32::ToReachablePath(name);
  struct stat info {};
  return native && lstat(native->c_str(), &info) == 0 && S_ISLNK(info.st_mode)
             ? FILE_ATTRIBUTE_REPARSE_POINT
             : 0;
}

}  // namespace

DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName) {
  struct stat info {};
  return StatPath(lpFileName, &info) ? AttributesOf(info) | LinkAttribute(lpFileName)
                                     : INVALID_FILE_ATTRIBUTES;
}

BOOL WINAPI GetFileAttributesExA(LPCSTR lpFileName, GET_FILEEX_INFO_LEVELS fInfoLevelId,
                                 LPVOID lpFileInformation) {
  struct stat info {};
  if (fInfoLevelId != GetFileExInfoStandard || lpFileInformation == nullptr) {
    return win32::Fail(ERROR_INVALID_PARAMETER);
  }
  if (!StatPath(lpFileName, &info)) {
    return FALSE;
  }
  auto* data = static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(lpFileInformation);
  *data = WIN32_FILE_ATTRIBUTE_DATA{};
  data->dwFileAttributes = AttributesOf(info) | LinkAttribute(lpFileName);
  const unsigned long long size =
      S_ISDIR(info.st_mode) ? 0 : static_cast<unsigned long long>(info.st_size);
  data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
  data->nFileSizeLow = static_cast<DWORD>(size);
  data->ftCreationTime = win32::ToFileTime(info.st_ctim);
  data->ftLastAccessTime = win32::ToFileTime(info.st_atim);
  data->ftLastWriteTime = win32::ToFileTime(info.st_mtim);
  return TRUE;
}

BOOL WINAPI DeleteFileA(LPCSTR lpFileName) {
  if (lpFileName == nullptr) {
    return win32::Fail(ERROR_INVALID_PARAMETER);
  }
  const auto native = win32::ToReachablePath(lpFileName);
  if (!native) {
    return FALSE;
  }
  struct stat info {};
  if (lstat(native->c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
    return win32::Fail(ERROR_ACCESS_DENIED);
  }
  if (unlink(native->c_str()) != 0) {
    if (errno == ENOENT) {
      return win32::Fail(MissingError(*native));
    }
    return win32::FailFromErrno();
  }
  win32::fault::AfterSuccess("DeleteFileA", *native);
  return TRUE;
}

BOOL WINAPI CopyFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, BOOL bFailIfExists) {
  if (lpExistingFileName == nullptr || lpNewFileName == nullptr) {
    return win32::Fail(ERROR_INVALID_PARAMETER);
  }
  const auto source = win32::ToReachablePath(lpExistingFileName);
  const auto target = source ? win32::ToReachablePath(lpNewFileName) : std::nullopt;
  if (!source || !target) {
    return FALSE;
  }
  win32::UniqueFd from(open(source->c_str(), O_RDONLY | O_CLOEXEC));
  if (!from.Valid()) {
    if (errno == ENOENT) {
      return win32::Fail(MissingError(*source));
    }
    return win32::FailFromErrno();
  }
  struct stat from_info {};
  if (fstat(from.Get(), &from_info) != 0) {
    return win32::FailFromErrno();
  }
  if (S_ISDIR(from_info.st_mode)) {
    return win32::Fail(ERROR_ACCESS_DENIED);
  }
  // Copying a file onto itself would truncate it before reading: Windows refuses it.
  struct stat to_info {};
  if (stat(target->c_str(), &to_info) == 0) {
    if (bFailIfExists) {
      return win32::Fail(ERROR_FILE_EXISTS);
    }
    if (to_info.st_dev == from_info.st_dev && to_info.st_ino == from_info.st_ino) {
      return win32::Fail(ERROR_SHARING_VIOLATION);
    }
    if (S_ISDIR(to_info.st_mode)) {
      return win32::Fail(ERROR_ACCESS_DENIED);
    }
  }
  if (win32::fault::DiskFull(*target)) {
    return win32::Fail(ERROR_DISK_FULL);
  }
  const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (bFailIfExists ? O_EXCL : O_TRUNC);
  win32::UniqueFd to(open(target->c_str(), flags, from_info.st_mode & 0777));
  if (!to.Valid()) {
    if (errno == ENOENT) {
      return win32::Fail(MissingError(*target));
    }
    return win32::FailFromErrno();
  }
  if (!CopyContents(from.Get(), to.Get()) || close(to.Release()) != 0) {
    const int error = errno;
    unlink(target->c_str());
    return win32::Fail(win32::ErrorFromErrno(error));
  }
  win32::fault::AfterSuccess("CopyFileA", *target);
  return TRUE;
}

BOOL WINAPI MoveFileExA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, DWORD dwFlags) {
  if (lpExistingFileName == nullptr || lpNewFileName == nullptr ||
      (dwFlags & ~static_cast<DWORD>(MOVEFILE_REPLACE_EXISTING)) != 0) {
    return win32::Fail(ERROR_INVALID_PARAMETER);
  }
  const auto source = win32::ToReachablePath(lpExistingFileName);
  const auto target = source ? win32::ToReachablePath(lpNewFileName) : std::nullopt;
  if (!source || !target) {
    return FALSE;
  }
  if ((dwFlags & MOVEFILE_REPLACE_EXISTING) != 0) {
    if (rename(source->c_str(), target->c_str()) != 0) {
      return errno == ENOENT ? win32::Fail(MissingError(*source)) : win32::FailFromErrno();
    }
    win32::fault::AfterSuccess("MoveFileExA", *target);
    return TRUE;
  }
  // renameat2 refuses an existing target, links and dangling links included, atomically.
  if (renameat2(AT_FDCWD, source->c_str(), AT_FDCWD, target->c_str(), RENAME_NOREPLACE) == 0) {
    win32::fault::AfterSuccess("MoveFileExA", *target);
    return TRUE;
  }
  if (errno == EEXIST) {
    return win32::Fail(ERROR_ALREADY_EXISTS);
  }
  if (errno != EINVAL && errno != ENOSYS) {
    return errno == ENOENT ? win32::Fail(MissingError(*source)) : win32::FailFromErrno();
  }
  // A file system without RENAME_NOREPLACE: a hard link is just as exclusive.
  if (link(source->c_str(), target->c_str()) != 0) {
    return errno == EEXIST ? win32::Fail(ERROR_ALREADY_EXISTS) : win32::FailFromErrno();
  }
  unlink(source->c_str());
  return TRUE;
}

BOOL WINAPI CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES /*lpSecurityAttributes*/) {
  if (lpPathName == nullptr) {
    return win32::Fail(ERROR_INVALID_PARAMETER);
  }
  const auto native = win32::ToReachablePath(lpPathName);
  if (!native) {
    return FALSE;
  }
  if (mkdir(native->c_str(), 0777) != 0) {
    if (errno == EEXIST) {
      return win32::Fail(ERROR_ALREADY_EXISTS);
    }
    return errno == ENOENT ? win32::Fail(ERROR_PATH_NOT_FOUND) : win32::FailFromErrno();
  }
  return TRUE;
}

UINT WINAPI GetTempFileNameA(LPCSTR lpPathName, LPCSTR lpPrefixString, UINT uUnique,
                             LPSTR lpTempFileName) {
  if (lpPathName == nullptr || lpTempFileName == nullptr) {
    return win32::Fail(ERROR_INVALID_PARAMETER, 0);
  }
  std::string folder = lpPathName;
  if (folder.size() > MAX_PATH - 14) {
    return win32::Fail(ERROR_BUFFER_OVERFLOW, 0);
  }
  if (!folder.empty() && folder.back() != '/' && folder.back() != '\\') {
    folder += '/';
  }
  const std::string prefix = std::string(lpPrefixString ? lpPrefixString : "").substr(0, 3);
  auto make_name = [&](UINT number) {
    char name[32];
    std::snprintf(name, sizeof name, "%04X.tmp", number & 0xFFFFu);
    return folder + prefix + name;
  };
  if (uUnique != 0) {
    const std::string name = make_name(uUnique);
    std::memcpy(lpTempFileName, name.c_str(), name.size() + 1);
    return uUnique & 0xFFFFu;
  }
  // Like Windows: start from the tick count and create the first free name exclusively.
  UINT number = (GetTickCount() & 0xFFFFu) | 1u;
  for (UINT attempt = 0; attempt < 0xFFFFu; ++attempt) {
    const std::string name = make_name(number);
    const auto native = win32::ToReachablePath(name);
    if (!native) {
      return 0;
    }
    const int fd = open(native->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      close(fd);
      std::memcpy(lpTempFileName, name.c_str(), name.size() + 1);
      return number;
    }
    if (errno != EEXIST) {
      if (errno == ENOENT) {
        return win32::Fail(ERROR_PATH_NOT_FOUND, 0);
      }
      win32::FailFromErrno();
      return 0;
    }
    number = number % 0xFFFFu + 1;
  }
  return win32::Fail(ERROR_FILE_EXISTS, 0);
}
