// Pipes, processes and waits of the stand-in, held to what Windows does.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_support.h"
#include "win32/msvcrt/command_line.h"
#include "win32/win32.h"

namespace {

std::string Helper() {
  return testing_support::BuildDir() + "/tests/support/quadrine-test-helper";
}

struct Started {
  BOOL ok = FALSE;
  DWORD error = 0;
  PROCESS_INFORMATION info{};
};

Started Start(const std::string& command, HANDLE output = nullptr, DWORD flags = 0) {
  std::string line = command;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  if (output != nullptr) {
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = output;
    startup.hStdError = output;
  }
  Started started;
  started.ok = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, flags, nullptr, nullptr,
                              &startup, &started.info);
  started.error = GetLastError();
  return started;
}

void Close(const Started& started) {
  CloseHandle(started.info.hThread);
  CloseHandle(started.info.hProcess);
}

TEST(Pipes, PeekedBytesAreHandedOutFirstAndAClosedWriterBreaksThePipe) {
  HANDLE reader = nullptr;
  HANDLE writer = nullptr;
  ASSERT_TRUE(CreatePipe(&reader, &writer, nullptr, 0));
  DWORD count = 0;
  ASSERT_TRUE(WriteFile(writer, "hello", 5, &count, nullptr));
  char peeked[3];
  DWORD shown = 0;
  DWORD total = 0;
  ASSERT_TRUE(PeekNamedPipe(reader, peeked, sizeof peeked, &shown, &total, nullptr));
  EXPECT_EQ(std::string(peeked, shown), "hel");
  EXPECT_EQ(total, 5u);
  char all[16];
  ASSERT_TRUE(ReadFile(reader, all, sizeof all, &count, nullptr));
  EXPECT_EQ(std::string(all, count), "hello");
  ASSERT_TRUE(PeekNamedPipe(reader, nullptr, 0, nullptr, &total, nullptr));
  EXPECT_EQ(total, 0u);
  ASSERT_TRUE(CloseHandle(writer));
  EXPECT_FALSE(PeekNamedPipe(reader, nullptr, 0, nullptr, &total, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BROKEN_PIPE));
  // Only the read end of a pipe is peeked, and a handle is closed once.
  EXPECT_FALSE(PeekNamedPipe(writer, nullptr, 0, nullptr, &total, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  ASSERT_TRUE(CloseHandle(reader));
  EXPECT_FALSE(CloseHandle(reader));
}

TEST(Processes, WaitsTimeOutOrSeeTheExitCode) {
  Started sleeper = Start("\"" + Helper() + "\" sleep 400");
  ASSERT_TRUE(sleeper.ok) << sleeper.error;
  EXPECT_EQ(WaitForSingleObject(sleeper.info.hProcess, 20), static_cast<DWORD>(WAIT_TIMEOUT));
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeProcess(sleeper.info.hProcess, &code));
  EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_EQ(WaitForSingleObject(sleeper.info.hProcess, INFINITE), WAIT_OBJECT_0);
  ASSERT_TRUE(GetExitCodeProcess(sleeper.info.hProcess, &code));
  EXPECT_EQ(code, 0u);
  Close(sleeper);

  Started failing = Start("\"" + Helper() + "\" exit 7");
  ASSERT_TRUE(failing.ok);
  EXPECT_EQ(WaitForSingleObject(failing.info.hProcess, 10000), WAIT_OBJECT_0);
  ASSERT_TRUE(GetExitCodeProcess(failing.info.hProcess, &code));
  EXPECT_EQ(code, 7u);
  Close(failing);
}

TEST(Processes, RefusalsSayWhy) {
  struct Case {
    std::string command;
    DWORD flags;
    DWORD error;
  };
  const Case cases[] = {
      {"/nonexistent/program x", 0, ERROR_FILE_NOT_FOUND},
      {"\"\" x", 0, ERROR_FILE_NOT_FOUND},
      {"\"" + Helper() + "\" exit 0", 0x00000010 /* CREATE_NEW_CONSOLE */, ERROR_NOT_SUPPORTED},
  };
  for (const Case& c : cases) {
    const Started started = Start(c.command, nullptr, c.flags);
    EXPECT_FALSE(started.ok) << c.command;
    EXPECT_EQ(started.error, c.error) << c.command;
  }
  HANDLE reader = nullptr;
  HANDLE writer = nullptr;
  ASSERT_TRUE(CreatePipe(&reader, &writer, nullptr, 0));
  EXPECT_EQ(WaitForSingleObject(reader, 0), WAIT_FAILED);  // a pipe is nothing to wait for
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(FindClose(reader));  // each kind of handle is closed by its own function
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
  CloseHandle(reader);
  CloseHandle(writer);
}

// The child sees its arguments as the C runtime cuts the command line, through its output.
TEST(Processes, TheChildGetsTheArgumentsTheCRuntimeCuts) {
  HANDLE reader = nullptr;
  HANDLE writer = nullptr;
  ASSERT_TRUE(CreatePipe(&reader, &writer, nullptr, 0));
  Started child =
      Start("\"" + Helper() + "\" args \"two words\" a\\\\\\\"b \"c\"\"d\" e\\f", writer);
  ASSERT_TRUE(child.ok);
  CloseHandle(writer);
  EXPECT_EQ(WaitForSingleObject(child.info.hProcess, 10000), WAIT_OBJECT_0);
  std::string output;
  char buffer[256];
  DWORD count = 0;
  while (ReadFile(reader, buffer, sizeof buffer, &count, nullptr) && count > 0) {
    output.append(buffer, count);
  }
  EXPECT_EQ(output, "two words\na\\\"b\nc\"d\ne\\f\n");
  CloseHandle(reader);
  Close(child);
}

TEST(CommandLine, CutLikeTheCRuntime) {
  using Args = std::vector<std::string>;
  struct Case {
    const char* line;
    Args expected;
  };
  const Case cases[] = {
      {"prog a b", {"prog", "a", "b"}},
      {"\"C:\\Program Files\\p.exe\" x", {"C:\\Program Files\\p.exe", "x"}},
      {"p a\\\\\\\"b", {"p", "a\\\"b"}},     // 2n+1 backslashes and a quote
      {"p \"a\\\\\" b", {"p", "a\\", "b"}},  // 2n backslashes end the quoted part
      {"p a\\b\\\\c", {"p", "a\\b\\\\c"}},   // backslashes without a quote stay
      {"p \"a\"\"b\"", {"p", "a\"b"}},       // "" inside quotes is a quote
      {"p \"\"", {"p", ""}},
      {"p   ", {"p"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(win32::SplitLikeTheCRuntime(c.line), c.expected) << c.line;
  }
}

}  // namespace
