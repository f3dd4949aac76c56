#include "hooks/process_runner.h"

#include <cstring>

#include "services/scoped_handles.h"
#include "win32/win32.h"

namespace {

constexpr size_t kReadBufferSize = 8192;
constexpr DWORD kPollMilliseconds = 100;

// Receives each chunk of output and the end notes; it keeps and shows nothing, and is where
// a debugging build would look.
void TraceOutput(const char* /*text*/) {}

bool IsWhiteSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

int RunCapturedProcess(const std::string& commandLine, std::string& output, DWORD* exitCode) {
  if (commandLine.empty()) {
    return 0;
  }
  OutputDebugStringA(commandLine.c_str());
  OutputDebugStringA("\n");

  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) {
    return 0;
  }
  ScopedHandle pipeRead(readEnd);
  ScopedHandle pipeWrite(writeEnd);

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  PROCESS_INFORMATION started{};
  std::string writableLine = commandLine;
  if (!CreateProcessA(nullptr, writableLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &started)) {
    GetLastError();
    return 0;
  }
  // Closed in the order thread, process, then the pipe's read and write ends.
  ScopedHandle process(started.hProcess);
  ScopedHandle thread(started.hThread);

  char buffer[kReadBufferSize] = {};
  int result = 0;
  for (;;) {
    char peeked = 0;
    DWORD waiting = 0;
    const BOOL peekResult = PeekNamedPipe(readEnd, &peeked, 1, &waiting, nullptr, nullptr);
    if (!peekResult) {
      break;
    }
    if (waiting != 0) {
      DWORD got = 0;
      if (!ReadFile(readEnd, buffer, kReadBufferSize - 1, &got, nullptr)) {
        TraceOutput("ReadFile failed");
        break;
      }
      buffer[got] = '\0';
      for (DWORD i = 0; i < got; ++i) {
        if (buffer[i] == '\b') {
          buffer[i] = ' ';
        }
      }
      TraceOutput(buffer);
      output.append(buffer, strnlen(buffer, got));
      continue;
    }
    if (WaitForSingleObject(process.Get(), 0) == WAIT_TIMEOUT) {
      Sleep(kPollMilliseconds);
      continue;
    }
    if (buffer[0] == '\0') {
      TraceOutput("\r\nProcess terminated successfully.\r\n");
    }
    result = peekResult;
    break;
  }
  if (exitCode != nullptr && !GetExitCodeProcess(process.Get(), exitCode)) {
    *exitCode = STILL_ACTIVE;
  }
  thread.Reset();
  process.Reset();
  pipeRead.Reset();
  pipeWrite.Reset();
  return result;
}

std::vector<std::string> SplitCommandLine(const char* text) {
  std::string work = text != nullptr ? text : GetCommandLineA();
  std::vector<std::string> arguments;
  size_t i = 0;
  const size_t end = work.size();
  while (i < end) {
    while (i < end && IsWhiteSpace(work[i])) {
      ++i;
    }
    const bool quoted = i < end && work[i] == '"';
    if (quoted) {
      ++i;
    }
    const size_t start = i;
    if (quoted) {
      // The closing quote is one followed by white space or the end of the text.
      while (i < end && !(work[i] == '"' && (i + 1 == end || IsWhiteSpace(work[i + 1])))) {
        ++i;
      }
      arguments.push_back(work.substr(start, i - start));
      if (i >= end || i + 1 == end) {
        break;
      }
      i += 2;
    } else {
      while (i < end && !IsWhiteSpace(work[i])) {
        ++i;
      }
      arguments.push_back(work.substr(start, i - start));
      if (i < end) {
        ++i;
      }
    }
  }
  return arguments;
}
