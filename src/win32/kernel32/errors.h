// Win32 error codes for POSIX failures.
#pragma once

#include "win32/win32_types.h"

namespace win32 {

DWORD ErrorFromErrno(int error);
// Sets the last error from errno and returns false, for "fail" paths.
bool FailFromErrno();
bool Fail(DWORD error);

}  // namespace win32
