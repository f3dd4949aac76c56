// Every program answers --help and --version as a Unix tool does; the converter only when
// that is its whole command line, since a printer package may pass it anything.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <vector>

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
    // A bad command line is one line that names the problem, not the whole help.
    const auto bad = RunProgram(program, {"--no-such-option"}, dir.path());
    EXPECT_EQ(bad.exitCode, 2) << tool.name;
    EXPECT_EQ(bad.out, "") << tool.name;
    EXPECT_EQ(bad.err, std::string(tool.name) + ": unknown option --no-such-option; try '" +
                           tool.name + " --help'\n");
  }
}

// The help is the one list of each tool's options: the manual page names every option it
// names, and no other, so the two cannot drift apart.
TEST(ToolHelp, EachManualPageNamesTheOptionsOfItsHelp) {
  const TempDir dir;
  const auto long_options = [](const std::string& text) {
    std::set<std::string> names;
    const std::regex option("--[a-z][a-z-]*[a-z]");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), option);
         it != std::sregex_iterator(); ++it) {
      names.insert(it->str());
    }
    return names;
  };
  for (const char* tool :
       {"quadrine-convert", "quadrine-render", "quadrine-print", "quadrine-results", "emfdump"}) {
    const std::string folder = std::string(tool) == "quadrine-results" ? "quadrine-results" : tool;
    const auto help =
        RunProgram(BuildDir() + "/tools/" + folder + "/" + tool, {"--help"}, dir.path());
    // The manual page's source spells a dash "\-".
    std::string page =
        testing_support::ReadFile(QUADRINE_SOURCE_DIR "/doc/man/" + std::string(tool) + ".1");
    for (size_t at = page.find("\\-"); at != std::string::npos; at = page.find("\\-", at)) {
      page.erase(at, 1);
    }
    EXPECT_EQ(long_options(help.out), long_options(page)) << tool;
  }
}

// README's line for each tool names every option of its help, by its long or short name; its
// fuzz list names every fuzz target; its layout draws every folder of src/.
TEST(ToolHelp, TheReadmeSaysWhatIsThere) {
  const TempDir dir;
  const std::string readme = testing_support::ReadFile(QUADRINE_SOURCE_DIR "/README.md");
  for (const char* tool :
       {"quadrine-convert", "quadrine-render", "quadrine-print", "quadrine-results", "emfdump"}) {
    const size_t start = readme.find("\n- `" + std::string(tool) + " ");
    ASSERT_NE(start, std::string::npos) << tool;
    const std::string synopsis = readme.substr(start, readme.find("\n- `", start + 1) - start);
    const auto help =
        RunProgram(BuildDir() + "/tools/" + tool + "/" + tool, {"--help"}, dir.path());
    // "  -o, --output PATTERN" or "      --grey": the short name, when there is one, and the long.
    const std::regex option("(?:(-[a-zA-Z]), )?(--[a-z][a-z-]*[a-z])");
    for (auto it = std::sregex_iterator(help.out.begin(), help.out.end(), option);
         it != std::sregex_iterator(); ++it) {
      const std::string shortName = (*it)[1];
      const std::string longName = (*it)[2];
      if (longName == "--help" || longName == "--version") {
        continue;
      }
      const bool named =
          synopsis.find(longName) != std::string::npos ||
          (!shortName.empty() && (synopsis.find("`" + shortName + " ") != std::string::npos ||
                                  synopsis.find("`" + shortName + "`") != std::string::npos));
      EXPECT_TRUE(named) << tool << ": README does not name " << longName;
    }
  }
  for (const auto& entry : std::filesystem::directory_iterator(QUADRINE_SOURCE_DIR "/tests/fuzz")) {
    const std::string name = entry.path().stem().string();
    if (name.ends_with("_fuzz")) {
      EXPECT_NE(readme.find("`" + name + "`"), std::string::npos) << name;
    }
  }
  // The layout names every folder of src/ and every part of the engine.
  for (const char* parent : {"src", "src/emf"}) {
    for (const auto& entry :
         std::filesystem::directory_iterator(QUADRINE_SOURCE_DIR "/" + std::string(parent))) {
      if (entry.is_directory()) {
        const std::string folder =
            "\n" + std::string(parent) + "/" + entry.path().filename().string() + "/";
        EXPECT_NE(readme.find(folder), std::string::npos) << folder;
      }
    }
  }
}

TEST(ToolHelp, EachBadCommandLineIsNamedInOneLine) {
  const TempDir dir;
  const struct {
    const char* path;
    std::vector<std::string> arguments;
    const char* problem;
  } cases[] = {
      {"/tools/quadrine-convert/quadrine-convert", {}, "quadrine-convert: no input;"},
      {"/tools/quadrine-render/quadrine-render",
       {"--dpi", "0", "a.emf", "a.png"},
       "quadrine-render: --dpi takes a number above 0 and up to 2400;"},
      {"/tools/quadrine-render/quadrine-render", {"a.emf"}, "quadrine-render: no output file;"},
      {"/tools/quadrine-render/quadrine-render",
       {"--page", "0", "a.emf", "a.png"},
       "quadrine-render: --page takes a page number from 1;"},
      {"/tools/quadrine-render/quadrine-render",
       {"a.emf", "a.png", "extra"},
       "quadrine-render: unexpected argument extra;"},
      {"/tools/emfdump/emfdump", {}, "emfdump: no page to dump;"},
      {"/tools/quadrine-print/quadrine-print", {}, "quadrine-print: no page to print;"},
      {"/tools/quadrine-results/quadrine-results",
       {"extra"},
       "quadrine-results: unexpected argument extra;"},
  };
  for (const auto& c : cases) {
    const auto bad = RunProgram(BuildDir() + c.path, c.arguments, dir.path());
    EXPECT_EQ(bad.exitCode, 2) << c.problem;
    EXPECT_TRUE(bad.err.starts_with(c.problem)) << bad.err;
    EXPECT_EQ(bad.err.find('\n'), bad.err.size() - 1) << bad.err;  // one line
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
