// Win32 error codes for POSIX failures, and the one way a stand-in call fails.
#pragma once

#include <cerrno>

#include "win32/kernel32/kernel32.h"
#include "win32/win32_types.h"

namespace win32 {

DWORD ErrorFromErrno(int error);

// Sets the last error and returns what the call returns on failure: FALSE, unless the call
// has its own failure value (INVALID_HANDLE_VALUE, 0, WAIT_FAILED, ...).
template <class Result = BOOL>
Result Fail(DWORD error, Result failed = Result{}) {
  SetLastError(error);
  return failed;
}

// The same with the error that errno names.
template <class Result = BOOL>
Result FailFromErrno(Result failed = Result{}) {
  return Fail(ErrorFromErrno(errno), failed);
}

}  // namespace win32
