// A windowed program gets no console; started from one, it may still answer there.
#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "run/standard_streams.h"
#include "win32/win32.h"

namespace {

bool Missing(DWORD which) {
  const HANDLE handle = GetStdHandle(which);
  return handle == nullptr || handle == INVALID_HANDLE_VALUE ||
         GetFileType(handle) == FILE_TYPE_UNKNOWN;
}

// Binds descriptor fd, and the stream on it, to the console's screen. freopen cannot do it:
// msvcrt leaves a stream that had no handle at start-up without a descriptor, and some
// versions refuse to reopen such a stream.
void ToConsole(std::FILE* stream, int fd, DWORD which) {
  const HANDLE screen =
      CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  if (screen == INVALID_HANDLE_VALUE) {
    return;
  }
  const int opened = _open_osfhandle(reinterpret_cast<intptr_t>(screen), _O_TEXT);
  if (opened < 0) {
    CloseHandle(screen);
    return;
  }
  if (opened != fd) {
    const int bound = _dup2(opened, fd);
    _close(opened);
    if (bound != 0) {
      return;
    }
  }
  stream->_file = fd;
  std::clearerr(stream);
  // The summary line asks the handle whether it is a console.
  SetStdHandle(which, reinterpret_cast<HANDLE>(_get_osfhandle(fd)));
}

}  // namespace

void ConnectStandardStreams() {
  const bool noOutput = Missing(STD_OUTPUT_HANDLE);
  const bool noError = Missing(STD_ERROR_HANDLE);
  if (!noOutput && !noError) {
    return;
  }
  // Started by the printer package, there is neither handle nor console: nothing is shown.
  // A process that has a console already (Wine gives a windowed child its parent's) is
  // refused with ERROR_ACCESS_DENIED, and writes to that one.
  if (!AttachConsole(ATTACH_PARENT_PROCESS) && GetLastError() != ERROR_ACCESS_DENIED) {
    return;
  }
  if (noOutput) {
    ToConsole(stdout, 1, STD_OUTPUT_HANDLE);
  }
  if (noError) {
    ToConsole(stderr, 2, STD_ERROR_HANDLE);
  }
}
