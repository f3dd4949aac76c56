// Every program answers --help and --version as a Unix tool does; the converter only when
// that is its whole command line, since a printer package may pass it anything.
#include <gtest/gtest.h>

#include <string>

#include "integration/installed_converter.h"
#include "support/test_support.h"

namespace {

using testing_support::BuildDir;
using testing_support::FileExists;
using testing_support::RunProgram;
using testing_support::TempDir;

TEST(ToolHelp, HelpOnStandardOutputVersionAndBadUsage) {
  const TempDir dir;
  const struct {
    const char* name;
    const char* path;
  } tools[] = {
      {"quadrine-convert", "/tools/quadrine-convert/quadrine-convert"},
      {"quadrine-render", "/tools/quadrine-render/quadrine-render"},
      {"quadrine-print", "/tools/quadrine-print/quadrine-print"},
      {"quadrine-results", "/tools/quadrine-results/quadrine-results"},
      {"emfdump", "/tools/emfdump/emfdump"},
  };
  for (const auto& tool : tools) {
    const std::string program = BuildDir() + tool.path;
    const auto help = RunProgram(program, {"--help"}, dir.path());
    EXPECT_EQ(help.exitCode, 0) << tool.name;
    EXPECT_TRUE(help.out.starts_with(std::string("usage: ") + tool.name)) << help.out;
    EXPECT_EQ(help.err, "") << tool.name;
    const auto version = RunProgram(program, {"--version"}, dir.path());
    EXPECT_EQ(version.exitCode, 0) << tool.name;
    EXPECT_EQ(version.out, std::string(tool.name) + " " QUADRINE_VERSION "\n");
    const auto bad = RunProgram(program, {"--no-such-option"}, dir.path());
    EXPECT_EQ(bad.exitCode, 2) << tool.name;
    EXPECT_EQ(bad.out, "") << tool.name;
    EXPECT_NE(bad.err.find("usage: "), std::string::npos) << tool.name << ": " << bad.err;
  }
}

TEST(ToolHelp, TheConverterAnswersOnlyAWholeCommandLineOfHelpOrVersion) {
  const testing_support::InstalledConverter converter;
  const auto help = converter.Run({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_TRUE(help.out.starts_with("usage: quadrine\n")) << help.out;
  EXPECT_EQ(converter.Run({"--version"}).out, "quadrine " QUADRINE_VERSION "\n");
  EXPECT_FALSE(FileExists(converter / "option.ini"));  // nothing was run
  // Anything more is a run like any other: no job, settings written.
  EXPECT_EQ(converter.Run({"--help", "now"}).exitCode, 255);
  EXPECT_TRUE(FileExists(converter / "option.ini"));
}

}  // namespace
