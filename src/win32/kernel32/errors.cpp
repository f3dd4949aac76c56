#include "win32/kernel32/errors.h"

#include <cerrno>

#include "win32/kernel32/kernel32.h"

namespace {
thread_local DWORD last_error = ERROR_SUCCESS;
}

DWORD WINAPI GetLastError(void) {
  return last_error;
}
void WINAPI SetLastError(DWORD dwErrCode) {
  last_error = dwErrCode;
}

namespace win32 {

DWORD ErrorFromErrno(int error) {
  switch (error) {
    case 0:
      return ERROR_SUCCESS;
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
      return ERROR_ACCESS_DENIED;
    case EEXIST:
      return ERROR_FILE_EXISTS;
    case ENOSPC:
    case EDQUOT:
      return ERROR_DISK_FULL;
    case ENAMETOOLONG:
      return ERROR_FILENAME_EXCED_RANGE;
    case EMFILE:
    case ENFILE:
      return ERROR_TOO_MANY_OPEN_FILES;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case EINVAL:
      return ERROR_INVALID_PARAMETER;
    case ENOTEMPTY:
      return ERROR_DIR_NOT_EMPTY;
    case EPIPE:
      return ERROR_BROKEN_PIPE;
    case EBADF:
      return ERROR_INVALID_HANDLE;
    default:
      return ERROR_GEN_FAILURE;
  }
}

}  // namespace win32
