// A windowed program gets no console; started from one, it may still answer there.
#include <cstdio>
#include <io.h>

#include "run/standard_streams.h"
#include "win32/win32.h"

namespace {

bool Missing(DWORD which) {
  const HANDLE handle = GetStdHandle(which);
  return handle == nullptr || handle == INVALID_HANDLE_VALUE ||
         GetFileType(handle) == FILE_TYPE_UNKNOWN;
}

void Reopen(std::FILE* stream, DWORD which) {
  if (std::freopen("CONOUT$", "w", stream) != nullptr) {
    // The summary line asks the handle whether it is a console.
    SetStdHandle(which, reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))));
  }
}

}  // namespace

void ConnectStandardStreams() {
  const bool noOutput = Missing(STD_OUTPUT_HANDLE);
  const bool noError = Missing(STD_ERROR_HANDLE);
  // Started by the printer package, there is neither handle nor console: nothing is shown.
  if ((!noOutput && !noError) || !AttachConsole(ATTACH_PARENT_PROCESS)) {
    return;
  }
  if (noOutput) {
    Reopen(stdout, STD_OUTPUT_HANDLE);
  }
  if (noError) {
    Reopen(stderr, STD_ERROR_HANDLE);
  }
}
