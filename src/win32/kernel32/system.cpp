// Module, process, time, version and the system folders.
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

#include "base/text_util.h"
#include "win32/kernel32/errors.h"
#include "win32/kernel32/kernel32.h"
#include "win32/kernel32/native_path.h"
#include "win32/kernel32/process_start.h"

namespace {

// Windows' default image base, used as the executable's module handle.
const HMODULE kExecutableModule = reinterpret_cast<HMODULE>(0x400000);

// What an unmanifested program sees on Windows 10: version 6.2, build 9200.
constexpr DWORD kDefaultVersion = 0x23F00206;

std::string& CommandLine() {
  static std::string command_line;
  return command_line;
}

void AppendQuotedArgument(std::string& line, const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) {
    line += argument;
    return;
  }
  line += QuotedArgument(argument);
}

// Copies text into a caller's buffer by the rule of GetWindowsDirectoryA and GetTempPathA:
// the length without the terminator when it fits, else the size needed with it.
DWORD CopyOrMeasure(const std::string& text, LPSTR buffer, DWORD size) {
  if (buffer == nullptr || text.size() + 1 > size) {
    return static_cast<DWORD>(text.size() + 1);
  }
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return static_cast<DWORD>(text.size());
}

}  // namespace

namespace win32 {

void SetProcessCommandLine(int argc, char** argv) {
  std::string line;
  for (int i = 0; i < argc; ++i) {
    if (i > 0) {
      line += ' ';
    }
    AppendQuotedArgument(line, i == 0 ? ExecutablePath() : std::string(argv[i]));
  }
  CommandLine() = line;
}

}  // namespace win32

DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
  if (hModule != nullptr && hModule != kExecutableModule) {
    return win32::Fail(ERROR_INVALID_HANDLE, 0);
  }
  const std::string path = win32::ExecutablePath();
  if (path.empty()) {
    return win32::Fail(ERROR_FILE_NOT_FOUND, 0);
  }
  if (lpFilename == nullptr || nSize == 0) {
    return win32::Fail(ERROR_INSUFFICIENT_BUFFER, 0);
  }
  if (path.size() + 1 > nSize) {
    std::memcpy(lpFilename, path.data(), nSize - 1);
    lpFilename[nSize - 1] = '\0';
    return win32::Fail(ERROR_INSUFFICIENT_BUFFER, nSize);
  }
  std::memcpy(lpFilename, path.c_str(), path.size() + 1);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(path.size());
}

HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName) {
  if (lpModuleName != nullptr) {
    return win32::Fail(ERROR_CALL_NOT_IMPLEMENTED, nullptr);
  }
  return kExecutableModule;
}

LPSTR WINAPI GetCommandLineA(void) {
  return CommandLine().data();
}

DWORD WINAPI GetCurrentProcessId(void) {
  return static_cast<DWORD>(getpid());
}

DWORD WINAPI GetVersion(void) {
  const char* text = std::getenv("QUADRINE_WINVER");
  if (text == nullptr || *text == '\0') {
    return kDefaultVersion;
  }
  char* end = nullptr;
  errno = 0;
  const unsigned long long value = std::strtoull(text, &end, 0);
  if (errno != 0 || *end != '\0' || value > 0xFFFFFFFFull) {
    return kDefaultVersion;
  }
  return static_cast<DWORD>(value);
}

DWORD WINAPI GetTickCount(void) {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const unsigned long long ms = static_cast<unsigned long long>(now.tv_sec) * 1000ull +
                                static_cast<unsigned long long>(now.tv_nsec) / 1000000ull;
  return static_cast<DWORD>(ms);
}

void WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime) {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  localtime_r(&now.tv_sec, &local);
  lpSystemTime->wYear = static_cast<WORD>(local.tm_year + 1900);
  lpSystemTime->wMonth = static_cast<WORD>(local.tm_mon + 1);
  lpSystemTime->wDayOfWeek = static_cast<WORD>(local.tm_wday);
  lpSystemTime->wDay = static_cast<WORD>(local.tm_mday);
  lpSystemTime->wHour = static_cast<WORD>(local.tm_hour);
  lpSystemTime->wMinute = static_cast<WORD>(local.tm_min);
  // A leap second reads as the second before it, as Windows never shows 60.
  lpSystemTime->wSecond = static_cast<WORD>(local.tm_sec > 59 ? 59 : local.tm_sec);
  lpSystemTime->wMilliseconds = static_cast<WORD>(now.tv_nsec / 1000000);
}

void WINAPI Sleep(DWORD dwMilliseconds) {
  timespec wait{static_cast<time_t>(dwMilliseconds / 1000),
                static_cast<long>(dwMilliseconds % 1000) * 1000000L};
  while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
  }
}

UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize) {
  return CopyOrMeasure(win32::WindowsDirectory(), lpBuffer, uSize);
}

DWORD WINAPI GetTempPathA(DWORD nBufferLength, LPSTR lpBuffer) {
  std::string folder = "/tmp/";
  for (const char* name : {"TMP", "TEMP", "TMPDIR"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') {
      folder = value;
      break;
    }
  }
  if (folder.back() != '/' && folder.back() != '\\') {
    folder += '/';
  }
  return CopyOrMeasure(folder, lpBuffer, nBufferLength);
}

// The native absolute path, with "." and ".." resolved by name as Windows does (without
// looking at the file system); a trailing separator stays.
DWORD WINAPI GetFullPathNameA(LPCSTR lpFileName, DWORD nBufferLength, LPSTR lpBuffer,
                              LPSTR* lpFilePart) {
  if (lpFileName == nullptr || *lpFileName == '\0') {
    return win32::Fail(ERROR_INVALID_NAME, 0);
  }
  const std::optional<std::string> native = win32::ToNativePath(lpFileName);
  if (!native) {
    return 0;
  }
  std::filesystem::path full(*native);
  if (full.is_relative()) {
    std::error_code error;
    full = std::filesystem::current_path(error) / full;
    if (error) {
      return win32::Fail(ERROR_PATH_NOT_FOUND, 0);
    }
  }
  const std::string text = full.lexically_normal().string();
  const DWORD result = CopyOrMeasure(text, lpBuffer, nBufferLength);
  if (lpFilePart != nullptr) {
    *lpFilePart = nullptr;
    if (result == text.size() && text.back() != '/') {
      *lpFilePart = lpBuffer + text.rfind('/') + 1;
    }
  }
  SetLastError(ERROR_SUCCESS);
  return result;
}
