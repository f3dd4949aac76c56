#include "convert_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

ConvertOptions Parsed(const std::vector<std::string>& arguments, CommandLine expected) {
  ConvertOptions options;
  std::string error;
  EXPECT_EQ(ParseConvertOptions(arguments, options, error), expected) << error;
  return options;
}

TEST(ConvertOptions, EveryOptionInItsForms) {
  const ConvertOptions a = Parsed({"-o", "out/{doc}-{page}.TIF", "in.spl", "-r", "300x150", "-d8",
                                   "--grey", "--skip-blank", "-j", "3", "--force", "-q", "b.emf"},
                                  CommandLine::kConvert);
  EXPECT_EQ(a.inputs, (std::vector<std::string>{"in.spl", "b.emf"}));
  EXPECT_EQ(a.format, "tif");
  EXPECT_EQ(a.x_dpi, 300);
  EXPECT_EQ(a.y_dpi, 150);
  EXPECT_EQ(a.depth, 8);
  EXPECT_TRUE(a.grey && a.skip_blank && a.force && a.quiet);
  EXPECT_EQ(a.jobs, 3);

  const ConvertOptions b =
      Parsed({"--format=.JPEG", "--size=800x0", "--", "-odd-name.emf"}, CommandLine::kConvert);
  EXPECT_EQ(b.format, "jpeg");
  EXPECT_EQ(b.width, 800);
  EXPECT_EQ(b.height, 0);
  EXPECT_EQ(b.inputs, std::vector<std::string>{"-odd-name.emf"});
  EXPECT_EQ(b.pattern, "{name}-{page}.png");

  // One file an input: the default pattern loses its page number.
  EXPECT_EQ(Parsed({"--one-file", "in.spl"}, CommandLine::kConvert).pattern, "{name}.tif");
  EXPECT_EQ(Parsed({"--one-file", "-f", "tiff", "in.spl"}, CommandLine::kConvert).pattern,
            "{name}.tiff");

  // Standard output takes the defaults, unless -f names another format.
  EXPECT_EQ(Parsed({"-o", "-", "in.spl"}, CommandLine::kConvert).format, "png");
  EXPECT_EQ(Parsed({"-o", "-", "--one-file", "in.spl"}, CommandLine::kConvert).format, "tif");
  EXPECT_EQ(Parsed({"-o", "-", "-f", "pdf", "in.spl"}, CommandLine::kConvert).format, "pdf");

  Parsed({"--help"}, CommandLine::kHelp);
  Parsed({"x.emf", "--version"}, CommandLine::kVersion);
}

TEST(ConvertOptions, BadUsageIsNamed) {
  struct Case {
    std::vector<std::string> arguments;
    const char* said;
  };
  const Case cases[] = {
      {{}, "no input"},
      {{"x.emf", "-r", "0"}, "resolution"},
      {{"x.emf", "-r", "96x"}, "resolution"},
      {{"x.emf", "--size", "0x0"}, "size"},
      {{"x.emf", "-s", "12"}, "size"},
      {{"x.emf", "-d", "4"}, "depth"},
      {{"x.emf", "-j", "0"}, "jobs"},
      {{"x.emf", "-o"}, "needs a value"},
      {{"x.emf", "--grey=1"}, "takes no value"},
      {{"x.emf", "--colour"}, "unknown option --colour"},
      {{"x.emf", "-o", "out/{page}"}, "no extension"},
      {{"x.emf", "-o", "out.d/{page}"}, "no extension"},
      {{"x.emf", "--one-file", "-o", "{page}.tif"}, "may not hold {page}"},
  };
  for (const Case& c : cases) {
    ConvertOptions options;
    std::string error;
    EXPECT_EQ(ParseConvertOptions(c.arguments, options, error), CommandLine::kBadUsage) << c.said;
    EXPECT_NE(error.find(c.said), std::string::npos) << error;
  }
}

TEST(OutputNames, PatternAndDocumentName) {
  EXPECT_EQ(ExpandOutputPattern("out/{name}-{page}.png", "in", 3, ""), "out/in-0003.png");
  EXPECT_EQ(ExpandOutputPattern("{doc}/{page}{page}.png", "in", 12345, "Report"),
            "Report/1234512345.png");
  EXPECT_EQ(ExpandOutputPattern("{doc}-{pages}.png", "in", 1, ""), "in-{pages}.png");
}

TEST(ConvertOptions, PageLists) {
  struct Case {
    const char* text;
    std::vector<std::pair<int, int>> ranges;  // empty: refused
  };
  const Case cases[] = {
      {"1-3,7", {{1, 3}, {7, 7}}},
      {"2-", {{2, 0x7FFFFFFF}}},
      {"5,5", {{5, 5}, {5, 5}}},
      {"0", {}},
      {"3-1", {}},
      {"1,,2", {}},
      {"", {}},
      {"-3", {}},
      {"a", {}},
      {"1-2-3", {}},
  };
  for (const Case& c : cases) {
    std::vector<std::pair<int, int>> ranges;
    EXPECT_EQ(ParsePageList(c.text, ranges), !c.ranges.empty()) << c.text;
    if (!c.ranges.empty()) {
      EXPECT_EQ(ranges, c.ranges) << c.text;
    }
  }
  ConvertOptions options;
  EXPECT_TRUE(PageSelected(options, 9));
  ASSERT_TRUE(ParsePageList("2-3,7-", options.pages));
  for (int page = 1; page <= 9; ++page) {
    EXPECT_EQ(PageSelected(options, page), page == 2 || page == 3 || page >= 7) << page;
  }
}

TEST(OutputNames, ExtensionOfTheLastComponent) {
  EXPECT_EQ(ExtensionOf("a/b.PNG"), "png");
  EXPECT_EQ(ExtensionOf("a.d/b"), "");
  EXPECT_EQ(ExtensionOf("b."), "");
  EXPECT_EQ(ExtensionOf("b"), "");
}

}  // namespace
