#include "hooks/process_runner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_support.h"

namespace {

std::string Helper() {
  return testing_support::BuildDir() + "/tests/support/quadrine-test-helper";
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
  const int before = testing_support::OpenHandleCount();
  for (const Case& c : cases) {
    std::string output = "kept:";
    // Built piece by piece: "\"" + ... sets off GCC 12's false -Wrestrict.
    const std::string command =
        std::string("\"").append(Helper()).append("\" ").append(c.arguments);
    EXPECT_NE(RunCapturedProcess(command, output), 0) << c.arguments;
    EXPECT_EQ(output, "kept:" + c.expected) << c.arguments;
  }
  EXPECT_EQ(testing_support::OpenHandleCount(), before);
  EXPECT_FALSE(testing_support::ChildLeftBehind());
}

TEST(RunCapturedProcess, AProgramThatCannotStartGivesZero) {
  const int before = testing_support::OpenHandleCount();
  std::string output;
  EXPECT_EQ(RunCapturedProcess("\"/no/such/program\" a", output), 0);
  EXPECT_EQ(RunCapturedProcess("", output), 0);
  EXPECT_EQ(testing_support::OpenHandleCount(), before);
}

}  // namespace
