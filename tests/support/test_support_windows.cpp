// The test helpers that differ by platform: Windows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/text_util.h"
#include "support/test_support.h"
#include "win32/win32.h"

namespace testing_support {

TempDir::TempDir() {
  char base[MAX_PATH];
  const DWORD length = GetTempPathA(MAX_PATH, base);
  if (length == 0 || length >= MAX_PATH) {
    throw std::runtime_error("GetTempPathA failed");
  }
  for (unsigned attempt = GetCurrentProcessId() ^ GetTickCount();; ++attempt) {
    path_ = std::string(base) + "quadrine-test-" + std::to_string(attempt % 1000000);
    if (CreateDirectoryA(path_.c_str(), nullptr)) {
      return;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) {
      throw std::runtime_error("CreateDirectoryA failed");
    }
  }
}

namespace {

// One argument as the C runtime splits a command line back into arguments.
std::string Quoted(const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos) {
    return argument;
  }
  return QuotedArgument(argument);
}

// The environment block of this process with the extra NAME=value entries in place.
std::string EnvironmentBlock(const std::vector<std::string>& extra) {
  std::vector<std::string> entries;
  LPCH block = GetEnvironmentStringsA();
  for (const char* e = block; *e != '\0'; e += std::strlen(e) + 1) {
    entries.emplace_back(e);
  }
  FreeEnvironmentStringsA(block);
  for (const std::string& entry : extra) {
    const std::string name = entry.substr(0, entry.find('=') + 1);
    std::erase_if(entries, [&](const std::string& s) {
      return _strnicmp(s.c_str(), name.c_str(), name.size()) == 0;
    });
    entries.push_back(entry);
  }
  std::string out;
  for (const std::string& entry : entries) {
    out += entry;
    out += '\0';
  }
  return out + '\0';
}

}  // namespace

ProcessResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& workingDirectory,
                         const std::vector<std::string>& environment) {
  TempDir capture;
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  const auto open = [&](const std::string& path, DWORD access, DWORD disposition) {
    return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                       disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  };
  HANDLE in = open("NUL", GENERIC_READ, OPEN_EXISTING);
  HANDLE out = open(capture / "out", GENERIC_WRITE, CREATE_ALWAYS);
  HANDLE err = open(capture / "err", GENERIC_WRITE, CREATE_ALWAYS);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in;
  startup.hStdOutput = out;
  startup.hStdError = err;
  std::string command = Quoted(program);
  for (const std::string& argument : arguments) {
    command += ' ';
    command += Quoted(argument);
  }
  std::string block = EnvironmentBlock(environment);
  PROCESS_INFORMATION process{};
  ProcessResult result;
  const BOOL started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0,
                                      block.data(), workingDirectory.c_str(), &startup, &process);
  CloseHandle(in);
  CloseHandle(out);
  CloseHandle(err);
  if (!started) {
    result.err = "spawn failed";
    return result;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  result.exitCode = static_cast<int>(code & 0xFF);
  result.out = ReadFile(capture / "out");
  result.err = ReadFile(capture / "err");
  return result;
}

std::string SharedBlockName() {
  return "Quadrine";
}

namespace {
HANDLE created_block = nullptr;  // what keeps a block made by CreateSharedBlock
}  // namespace

std::string ReadSharedBlock(size_t count) {
  HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, SharedBlockName().c_str());
  if (mapping == nullptr) {
    return "<no block>";
  }
  const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
  std::string bytes = "<no block>";
  MEMORY_BASIC_INFORMATION region{};
  if (view != nullptr && VirtualQuery(view, &region, sizeof region) == sizeof region) {
    bytes.assign(static_cast<const char*>(view), std::min(count, size_t{region.RegionSize}));
  }
  if (view != nullptr) {
    UnmapViewOfFile(view);
  }
  CloseHandle(mapping);
  return bytes;
}

bool CreateSharedBlock(size_t size, char fill) {
  RemoveSharedBlock();
  created_block = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                     static_cast<DWORD>(size), SharedBlockName().c_str());
  void* view =
      created_block != nullptr ? MapViewOfFile(created_block, FILE_MAP_WRITE, 0, 0, size) : nullptr;
  if (view == nullptr) {
    return false;
  }
  std::memset(view, fill, size);
  UnmapViewOfFile(view);
  return true;
}

void RemoveSharedBlock() {
  if (created_block != nullptr) {
    CloseHandle(created_block);
    created_block = nullptr;
  }
}

int OpenHandleCount() {
  DWORD count = 0;
  GetProcessHandleCount(GetCurrentProcess(), &count);
  return static_cast<int>(count);
}

bool ChildLeftBehind() {
  return false;
}

const char* WithoutStandIn() {
  return "the job queue and the links are the stand-in's own files";
}

std::string ImageReader(std::string& reason) {
  reason = "no Python with Pillow on Windows to read the files back";
  return "";
}

namespace {

// This process among the test programs of a run (Wine may give a later one the same id).
const std::string& ProcessToken() {
  static const std::string token =
      std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount());
  return token;
}

// A name of its own in the queue, for a file of this process.
std::string QueuedName(const std::string& file) {
  static int count = 0;
  const size_t slash = file.find_last_of("/\\");
  return ProcessToken() + "-" + std::to_string(++count) + "-" +
         file.substr(slash == std::string::npos ? 0 : slash + 1);
}

}  // namespace

std::string ReadBack(const std::string& file, const std::vector<std::string>& checks) {
  const char* folder = std::getenv("QUADRINE_READ_BACK_DIR");
  if (folder == nullptr || *folder == '\0') {
    return "no folder to queue the file in (QUADRINE_READ_BACK_DIR)";
  }
  const std::string queue = folder;
  CreateDirectoryA(queue.c_str(), nullptr);
  const std::string name = QueuedName(file);
  if (!CopyFileA(file.c_str(), (queue + "\\" + name).c_str(), FALSE)) {
    return "cannot copy " + file + " into " + queue;
  }
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string line = test != nullptr ? std::string(test->test_suite_name()) + "." + test->name()
                                     : std::string("?");
  line += "\t" + name;
  for (const std::string& check : checks) {
    std::string entry = check;
    if (check.starts_with("same=")) {
      const std::string other = QueuedName(check.substr(5));
      if (!CopyFileA(check.substr(5).c_str(), (queue + "\\" + other).c_str(), FALSE)) {
        return "cannot copy " + check.substr(5) + " into " + queue;
      }
      entry = "same=" + other;
    }
    line += "\t" + entry;
  }
  // One list a process: test programs may run side by side.
  const std::string list = queue + "\\checks-" + ProcessToken() + ".txt";
  std::FILE* out = std::fopen(list.c_str(), "ab");
  if (out == nullptr) {
    return "cannot write " + list;
  }
  std::fputs((line + "\n").c_str(), out);
  std::fclose(out);
  return "";
}

const char* ReadBackUnavailable() {
  const char* folder = std::getenv("QUADRINE_READ_BACK_DIR");
  return folder != nullptr && *folder != '\0'
             ? nullptr
             : "the files are read back on Linux: ./dev test-windows names the folder for them "
               "in QUADRINE_READ_BACK_DIR";
}

void SetEnvironment(const char* name, const char* value) {
  _putenv_s(name, value == nullptr ? "" : value);
}

}  // namespace testing_support
