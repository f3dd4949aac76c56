// Vector output end to end: a printed job with OutputFile naming a PDF or an SVG gives one
// document per page, whose text a reader finds.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "integration/installed_converter.h"
#include "support/spool_builder.h"
#include "support/test_support.h"

namespace {

using testing_support::FileExists;
using testing_support::InstalledConverter;
using testing_support::RunProgram;

std::string TextPage(const std::string& words) {
  testing_support::FontSpec font;
  font.face = "Arial";
  return testing_support::EmfPage(testing_support::CreateFont(font) +
                                  testing_support::TextOutA(100, 100, words));
}

TEST(VectorOutput, APrintedJobBecomesSearchablePdfAndSvgPages) {
  for (const char* extension : {"pdf", "svg"}) {
    InstalledConverter converter;
    converter.SetOption("AutoSave", "OutputFile",
                        (std::string("C:\\out\\doc.") + extension).c_str());
    std::filesystem::create_directories(converter / "out");
    testing_support::WriteFile(converter.elsewhere() + "/a.emf", TextPage("Quadrine vector page"));
    testing_support::WriteFile(converter.elsewhere() + "/b.emf",
                               TextPage("second <searchable> & page"));
    ASSERT_EQ(converter.Print({"a.emf", "b.emf"}).exitCode, 0) << extension;
    const std::string first = converter / (std::string("out/doc0001.") + extension);
    const std::string second = converter / (std::string("out/doc0002.") + extension);
    ASSERT_TRUE(FileExists(first)) << extension;
    ASSERT_TRUE(FileExists(second)) << extension;
    if (std::string(extension) == "pdf") {
      const auto info = RunProgram("/usr/bin/pdfinfo", {first}, "/");
      EXPECT_NE(info.out.find("Page size:       595.5 x 842.25 pts"), std::string::npos)
          << info.out;  // A4 in whole pixels of the 96-dpi page
      EXPECT_NE(info.out.find("Creator:         Quadrine " QUADRINE_VERSION), std::string::npos);
      EXPECT_NE(
          RunProgram("/usr/bin/pdftotext", {first, "-"}, "/").out.find("Quadrine vector page"),
          std::string::npos);
      EXPECT_NE(RunProgram("/usr/bin/pdftotext", {second, "-"}, "/")
                    .out.find("second <searchable> & page"),
                std::string::npos);
    } else {
      const auto shown =
          RunProgram("/usr/bin/rsvg-convert", {first, "-o", converter / "shown.png"}, "/");
      EXPECT_EQ(shown.exitCode, 0) << shown.err;
      // The text is in the file, over the drawn glyphs, for a browser to find.
      const std::string svg = testing_support::ReadFile(second);
      EXPECT_NE(svg.find(">second &lt;searchable&gt; &amp; page</text>"), std::string::npos);
    }
  }
}

}  // namespace
