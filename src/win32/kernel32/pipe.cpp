// Anonymous pipes: a read end and a write end, with peeking.
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "win32/kernel32/errors.h"
#include "win32/kernel32/file_object.h"
#include "win32/kernel32/kernel32.h"

BOOL WINAPI CreatePipe(LPHANDLE hReadPipe, LPHANDLE hWritePipe,
                       LPSECURITY_ATTRIBUTES /*lpPipeAttributes*/, DWORD /*nSize*/) {
  if (hReadPipe == nullptr || hWritePipe == nullptr) {
    return win32::Fail(ERROR_INVALID_PARAMETER);
  }
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) {
    return win32::FailFromErrno();
  }
  auto reader = std::make_shared<win32::FileObject>(win32::UniqueFd(ends[0]), true, false);
  auto writer = std::make_shared<win32::FileObject>(win32::UniqueFd(ends[1]), false, true);
  reader->is_pipe = writer->is_pipe = true;
  *hReadPipe = win32::InsertHandle(std::move(reader));
  *hWritePipe = win32::InsertHandle(std::move(writer));
  return TRUE;
}

BOOL WINAPI PeekNamedPipe(HANDLE hNamedPipe, LPVOID lpBuffer, DWORD nBufferSize,
                          LPDWORD lpBytesRead, LPDWORD lpTotalBytesAvail,
                          LPDWORD lpBytesLeftThisMessage) {
  auto pipe = win32::LookupHandleOf<win32::FileObject>(hNamedPipe);
  if (!pipe || !pipe->is_pipe || !pipe->can_read) {
    return win32::Fail(ERROR_INVALID_HANDLE);
  }
  int waiting = 0;
  if (ioctl(pipe->fd.Get(), FIONREAD, &waiting) != 0) {
    return win32::FailFromErrno();
  }
  if (waiting == 0 && pipe->peeked.empty()) {
    pollfd poller{pipe->fd.Get(), POLLIN, 0};
    if (poll(&poller, 1, 0) == 1 && (poller.revents & POLLHUP) != 0) {
      return win32::Fail(ERROR_BROKEN_PIPE);
    }
  }
  // A pipe cannot be read without taking the bytes, so what is shown is kept aside.
  if (lpBuffer != nullptr && pipe->peeked.size() < nBufferSize && waiting > 0) {
    std::string more(std::min<size_t>(nBufferSize - pipe->peeked.size(), waiting), '\0');
    const ssize_t got = read(pipe->fd.Get(), more.data(), more.size());
    if (got > 0) {
      pipe->peeked.append(more.data(), static_cast<size_t>(got));
      waiting -= static_cast<int>(got);
    }
  }
  const size_t shown = lpBuffer != nullptr ? std::min<size_t>(pipe->peeked.size(), nBufferSize) : 0;
  if (shown > 0) {
    std::memcpy(lpBuffer, pipe->peeked.data(), shown);
  }
  if (lpBytesRead != nullptr) {
    *lpBytesRead = static_cast<DWORD>(shown);
  }
  if (lpTotalBytesAvail != nullptr) {
    *lpTotalBytesAvail = static_cast<DWORD>(pipe->peeked.size() + static_cast<size_t>(waiting));
  }
  if (lpBytesLeftThisMessage != nullptr) {
    *lpBytesLeftThisMessage = 0;
  }
  return TRUE;
}
