// Waiting for objects: the processes the stand-in starts.
#include <algorithm>

#include "win32/kernel32/errors.h"
#include "win32/kernel32/kernel32.h"
#include "win32/kernel32/process_object.h"

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
  auto process = win32::LookupHandleOf<win32::ProcessObject>(hHandle);
  if (!process) {
    return win32::Fail(ERROR_INVALID_HANDLE, WAIT_FAILED);
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
