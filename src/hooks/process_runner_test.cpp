#include "hooks/process_runner.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace {

std::string Helper() {
  return testing_support::BuildDir() + "/tests/support/quadrine-test-helper";
}

// Files and pipes the process holds open. Sockets are left out: the debugger channel
// (OutputDebugStringA) opens the syslog socket once, the first time something is written.
int OpenDescriptors() {
  int count = 0;
  DIR* fds = opendir("/proc/self/fd");
  while (const dirent* entry = readdir(fds)) {
    char target[256] = "";
    const std::string link = std::string("/proc/self/fd/") + entry->d_name;
    const ssize_t length = readlink(link.c_str(), target, sizeof target - 1);
    if (length > 0 && std::string(target, static_cast<size_t>(length)).starts_with("socket:")) {
      continue;
    }
    ++count;
  }
  closedir(fds);
  return count;
}

TEST(SplitCommandLine, CutsByTheSimpleQuotingRule) {
  using Args = std::vector<std::string>;
  struct Case {
    const char* text;
    Args expected;
  };
  const Case cases[] = {
      {"a \"b c\" d", {"a", "b c", "d"}},
      {"\"C:\\Program Files\\x.exe\" x", {"C:\\Program Files\\x.exe", "x"}},
      {"\"a\"b c\"", {"a\"b c"}},
      {"a\"b", {"a\"b"}},
      {"\"\"", {""}},
      {"x  ", {"x", ""}},
      {"x ", {"x"}},
      {"   ", {""}},
      {"x  y", {"x", "y"}},
      {"a\\\"b", {"a\\\"b"}},  // no escapes
      {"\"open", {"open"}},
      {"", {}},
      {"\xe9t\xe9 x", {"\xe9t\xe9", "x"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SplitCommandLine(c.text), c.expected) << c.text;
  }
}

TEST(RunCapturedProcess, CollectsWhatTheProgramWrites) {
  struct Case {
    const char* arguments;
    std::string expected;
  };
  std::string flood;
  for (int i = 0; i < 20000; ++i) {
    flood += static_cast<char>('a' + i % 26);
  }
  const Case cases[] = {
      {"silent", ""}, {"flood 20000", flood}, {"backspace", "a b c"},
      {"zero", "ab"}, {"close-early", ""},
  };
  const int before = OpenDescriptors();
  for (const Case& c : cases) {
    std::string output = "kept:";
    EXPECT_NE(RunCapturedProcess("\"" + Helper() + "\" " + c.arguments, output), 0) << c.arguments;
    EXPECT_EQ(output, "kept:" + c.expected) << c.arguments;
  }
  EXPECT_EQ(OpenDescriptors(), before);
  EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);  // no child left, not even a zombie
  EXPECT_EQ(errno, ECHILD);
}

TEST(RunCapturedProcess, AProgramThatCannotStartGivesZero) {
  const int before = OpenDescriptors();
  std::string output;
  EXPECT_EQ(RunCapturedProcess("\"/no/such/program\" a", output), 0);
  EXPECT_EQ(RunCapturedProcess("", output), 0);
  EXPECT_EQ(OpenDescriptors(), before);
}

}  // namespace
