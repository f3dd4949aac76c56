// quadrine-convert as a person runs it: spool files and pages in, one image per page out.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/spool_builder.h"
#include "support/test_support.h"

namespace {

using testing_support::BoxPage;
using testing_support::EmfPage;
using testing_support::EmfRecord;
using testing_support::FileExists;
using testing_support::ReadFile;
using testing_support::RunProgram;
using testing_support::SpoolFileBuilder;
using testing_support::TempDir;
using testing_support::WriteFile;

std::string Tool() {
  return testing_support::BuildDir() + "/tools/quadrine-convert/quadrine-convert";
}

std::string Corpus(const std::string& name) {
  return testing_support::SharedDir() + "/corpus/spl/" + name;
}

// EMF+ text stays text in a PDF and an SVG: a string laid out in a box (DrawString), the
// lines GDI+ records with their glyphs placed (DrawDriverString), and a label of glyph
// indices in a font of the page's own.
TEST(ConvertTool, EmfPlusTextIsFoundInPdfAndSvg) {
  const struct {
    std::string page, words;
  } cases[] = {
      {testing_support::SharedDir() + "/corpus/real/emfreader-LibreOffice_TestDrawString.emf",
       "TEST"},
      {std::string(QUADRINE_SOURCE_DIR) + "/tests/gdiplus-pages/pages/draw-string.emf", "wrap in"},
      {testing_support::SharedDir() + "/corpus/emf/test-182.emf", "SATA"},
  };
  for (const auto& c : cases) {
    const TempDir dir;
    const testing_support::ProcessResult pdf =
        RunProgram(Tool(), {c.page, "-o", "page.pdf"}, dir.path());
    ASSERT_EQ(pdf.exitCode, 0) << c.page << pdf.err;
    EXPECT_NE(
        RunProgram("/usr/bin/pdftotext", {dir / "page.pdf", "-"}, dir.path()).out.find(c.words),
        std::string::npos)
        << c.page;
    ASSERT_EQ(RunProgram(Tool(), {c.page, "-o", "page.svg"}, dir.path()).exitCode, 0);
    EXPECT_NE(ReadFile(dir / "page.svg").find(c.words.substr(0, 4)), std::string::npos) << c.page;
  }
}

// A Windows metafile's text in an East Asian code page keeps every character in the text
// layer of a PDF and an SVG, and its face is named as it is written.
TEST(ConvertTool, AWindowsMetafilesBig5TextIsFoundInPdfAndSvg) {
  const TempDir dir;
  const std::string wmf = testing_support::SharedDir() + "/corpus/real/wmfreader-wmf2canvas_5.wmf";
  const std::string heading = "\u6A19\u6977\u9AD4\u6E2C\u8A66";  // the file's own words
  const testing_support::ProcessResult pdf =
      RunProgram(Tool(), {wmf, "-o", "page.pdf"}, dir.path());
  ASSERT_EQ(pdf.exitCode, 0) << pdf.err;
  EXPECT_EQ(RunProgram("/usr/bin/pdftotext", {dir / "page.pdf", "-"}, dir.path())
                .out.find(heading + "\n"),
            0u);
  EXPECT_NE(pdf.err.find("wmfreader-wmf2canvas_5.wmf page 1: the face '\u6A19\u6977\u9AD4' is"),
            std::string::npos)
      << pdf.err;
  ASSERT_EQ(RunProgram(Tool(), {wmf, "-o", "page.svg"}, dir.path()).exitCode, 0);
  EXPECT_NE(ReadFile(dir / "page.svg").find(">" + heading + "<"), std::string::npos);
}

// A page cut short: its last records and EMR_EOF lost. The message names the records that
// remain and the count its header declares.
struct CutPage {
  std::string bytes;
  std::string said;  // "page 1: the page ends after record K of M; drawn as far as it goes"
};

uint32_t Word(const std::string& bytes, size_t at) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) {
    value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
  }
  return value;
}

CutPage CutShort(const std::string& page, size_t lost) {
  CutPage cut{page.substr(0, page.size() - lost), ""};
  size_t records = 0;
  for (size_t at = 0;
       at + 8 <= cut.bytes.size() && at + Word(cut.bytes, at + 4) <= cut.bytes.size();
       at += Word(cut.bytes, at + 4)) {
    ++records;
  }
  cut.said = "page 1: the page ends after record " + std::to_string(records) + " of " +
             std::to_string(Word(page, 52)) + "; drawn as far as it goes";
  return cut;
}

size_t FilesIn(const std::string& folder) {
  return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(folder),
                                           std::filesystem::directory_iterator()));
}

TEST(ConvertTool, ASpoolFileBecomesOnePngAPageAndStaysAsItWas) {
  const TempDir dir;
  const std::string spool = Corpus("EMFSpoolfileReader_00004.SPL");
  const std::string before = ReadFile(spool);
  const auto run =
      RunProgram(Tool(), {spool, "-o", "out/{name}-{page}.png", "-j", "1"}, dir.path());
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out + run.err, "");  // nothing on a pipe but errors
  for (int page = 1; page <= 3; ++page) {
    const std::string png =
        dir / ("out/EMFSpoolfileReader_00004-000" + std::to_string(page) + ".png");
    EXPECT_EQ(ReadFile(png).substr(1, 3), "PNG") << png;
  }
  EXPECT_EQ(FilesIn(dir / "out"), 3u);  // no temporary file stays
  EXPECT_EQ(ReadFile(spool), before);
  // A page of few colours is a palette PNG, unless --no-reduce asks for the depth as it is.
  EXPECT_EQ(ReadFile(dir / "out/EMFSpoolfileReader_00004-0001.png")[25], 3);
  ASSERT_EQ(RunProgram(Tool(), {spool, "--no-reduce", "-o", "rgb-{page}.png"}, dir.path()).exitCode,
            0);
  EXPECT_EQ(ReadFile(dir / "rgb-0001.png")[25], 2);

  // Pages spread over two workers give the same files.
  const auto parallel =
      RunProgram(Tool(), {spool, "-o", "two/{name}-{page}.png", "-j", "2"}, dir.path());
  EXPECT_EQ(parallel.exitCode, 0) << parallel.err;
  for (int page = 1; page <= 3; ++page) {
    const std::string name = "/EMFSpoolfileReader_00004-000" + std::to_string(page) + ".png";
    EXPECT_EQ(ReadFile(dir / ("two" + name)), ReadFile(dir / ("out" + name))) << name;
  }
}

TEST(ConvertTool, ExitStatusSaysWhatWasConverted) {
  const TempDir dir;
  WriteFile(dir / "page.emf", BoxPage(0));
  struct Case {
    std::vector<std::string> arguments;
    int exit_code;
    const char* said;
    size_t files;  // outputs made
  };
  const Case cases[] = {
      {{Corpus("00015.SPL")}, 2, "is an XPS spool file", 0},
      {{Corpus("00015.SPL"), "page.emf", "-o", "o/{name}.png"}, 1, "is an XPS spool file", 1},
      {{"missing.spl"}, 2, "missing.spl: no such file", 0},
      {{"page.emf", "page.emf", "-o", "o/{name}.png"}, 2, "would both be written", 0},
      {{"page.emf", "-o", "o/{name}.xyz"}, 2, "no format is written for the extension 'xyz'", 0},
      {{"page.emf", "--bogus"}, 2, "unknown option --bogus", 0},
      // A folder under a file cannot be made: said once, before any page is drawn.
      {{Corpus("EMFSpoolfileReader_00004.SPL"), "-o", "page.emf/o/{name}-{page}.png"},
       1,
       "the output folder page.emf/o cannot be made or written",
       0},
  };
  for (const Case& c : cases) {
    std::filesystem::remove_all(dir / "o");
    std::vector<std::string> arguments = c.arguments;
    const auto run = RunProgram(Tool(), arguments, dir.path());
    EXPECT_EQ(run.exitCode, c.exit_code) << c.said << "\n" << run.err;
    EXPECT_NE(run.err.find(c.said), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find(c.said), run.err.rfind(c.said)) << "said once: " << run.err;
    EXPECT_EQ(std::filesystem::exists(dir / "o") ? FilesIn(dir / "o") : 0u, c.files) << c.said;
  }
  const auto help = RunProgram(Tool(), {"--help"}, dir.path());
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_TRUE(help.out.starts_with("usage: quadrine-convert")) << help.out;
}

// On a terminal: a progress line, then a summary naming the first and the last file.
TEST(ConvertTool, ATerminalSeesProgressAndASummary) {
  const TempDir dir;
  const std::string command =
      Tool() + " -j 1 -o 'out/{page}.png' " + Corpus("EMFSpoolfileReader_00004.SPL");
  const auto run = RunProgram("/usr/bin/script", {"-qec", command, "/dev/null"}, dir.path());
  EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("quadrine-convert: 3 of 3 pages"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("3 pages -> out/0001.png ... out/0003.png"), std::string::npos) << run.out;
}

// A taken name is a failed page, unless --force: then the file is replaced by renaming a new
// one over it, so a link at the name is replaced and what it points to stays as it was.
TEST(ConvertTool, TakenNamesAndForce) {
  const TempDir dir;
  WriteFile(dir / "page.emf", BoxPage(0));
  WriteFile(dir / "page-0001.png", "older");
  WriteFile(dir / "target.txt", "not to be written through");
  ASSERT_EQ(symlink((dir / "target.txt").c_str(), (dir / "link-0001.png").c_str()), 0);

  const auto taken = RunProgram(Tool(), {"page.emf"}, dir.path());
  EXPECT_EQ(taken.exitCode, 1);
  EXPECT_NE(taken.err.find("page-0001.png: the file exists"), std::string::npos) << taken.err;
  EXPECT_EQ(ReadFile(dir / "page-0001.png"), "older");

  EXPECT_EQ(RunProgram(Tool(), {"page.emf", "--force"}, dir.path()).exitCode, 0);
  EXPECT_EQ(ReadFile(dir / "page-0001.png").substr(1, 3), "PNG");
  EXPECT_EQ(
      RunProgram(Tool(), {"page.emf", "--force", "-o", "link-{page}.png"}, dir.path()).exitCode, 0);
  EXPECT_FALSE(std::filesystem::is_symlink(dir / "link-0001.png"));
  EXPECT_EQ(ReadFile(dir / "target.txt"), "not to be written through");
}

TEST(ConvertTool, DocumentNamesBlankPagesAndCutFiles) {
  const TempDir dir;
  const std::string blank = EmfPage("");
  std::string cut = SpoolFileBuilder("x").Page(BoxPage(0)).Page(BoxPage(0)).Build();
  cut.resize(cut.size() - 60);  // the last page runs past the end
  WriteFile(dir / "job.spl",
            SpoolFileBuilder("C:\\docs\\..\\Q3 report?.docx").Page(BoxPage(0)).Page(blank).Build());
  WriteFile(dir / "cut.spl", cut);

  const auto named =
      RunProgram(Tool(), {"job.spl", "--skip-blank", "-o", "out/{doc}-{page}.png"}, dir.path());
  EXPECT_EQ(named.exitCode, 0) << named.err;
  EXPECT_TRUE(FileExists(dir / "out/Q3 report.docx-0001.png"));
  EXPECT_FALSE(FileExists(dir / "out/Q3 report.docx-0002.png"));  // blank: left out

  const auto partial = RunProgram(Tool(), {"cut.spl", "-o", "cut/{page}.png"}, dir.path());
  EXPECT_EQ(partial.exitCode, 1);
  EXPECT_NE(partial.err.find("cut.spl: its last page is cut short"), std::string::npos)
      << partial.err;
  EXPECT_TRUE(FileExists(dir / "cut/0001.png"));
  EXPECT_EQ(FilesIn(dir / "cut"), 1u);
}

// --one-file: every page of an input in one TIFF, in order, each a page of its own; the
// pages read back in another reader.
TEST(ConvertTool, OneFileHoldsEveryPageOfAnInput) {
  std::string why;
  const std::string reader = testing_support::ImageReader(why);
  ASSERT_FALSE(reader.empty()) << why;
  const TempDir dir;
  const std::string spool = Corpus("EMFSpoolfileReader_00004.SPL");
  const auto run = RunProgram(Tool(), {spool, "--one-file", "-d", "1"}, dir.path());
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(FilesIn(dir.path()), 1u);
  const auto seen = RunProgram(reader,
                               {"-c",
                                "import sys\nfrom PIL import Image\nim = Image.open(sys.argv[1])\n"
                                "for n in range(im.n_frames):\n    im.seek(n); im.load()\n"
                                "    print(n, im.size, im.mode, im.info.get('compression'))\n",
                                dir / "EMFSpoolfileReader_00004.tif"},
                               dir.path());
  EXPECT_EQ(seen.out, "0 (794, 1123) 1 group4\n1 (794, 1123) 1 group4\n2 (794, 1123) 1 group4\n")
      << seen.err;
  // Classic TIFF, which every reader opens: the pages come nowhere near its 4 GB.
  EXPECT_EQ(testing_support::ReadFile(dir / "EMFSpoolfileReader_00004.tif").substr(0, 4),
            std::string("II*\0", 4));
}

// A PDF of every page of a spool file, in order; each page a PDF of its own, its text found.
TEST(ConvertTool, PdfPagesAndOnePdfAnInput) {
  const TempDir dir;
  const std::string spool = Corpus("EMFSpoolfileReader_00004.SPL");
  ASSERT_EQ(RunProgram(Tool(), {spool, "--one-file", "-f", "pdf"}, dir.path()).exitCode, 0);
  const auto info =
      RunProgram("/usr/bin/pdfinfo", {dir / "EMFSpoolfileReader_00004.pdf"}, dir.path());
  EXPECT_NE(info.out.find("Pages:           3"), std::string::npos) << info.out;
  // The title is the name the program printed the document under.
  EXPECT_NE(info.out.find("Title:           C:\\Merrion Computing\\Development\\Projects\\Printer "
                          "Monitor\\Source\\SpoolMonitorService\\ShadowFileReader.vb"),
            std::string::npos)
      << info.out;
  EXPECT_NE(info.out.find("Creator:         quadrine-convert " QUADRINE_VERSION),
            std::string::npos);
  ASSERT_EQ(RunProgram(Tool(), {spool, "-o", "p-{page}.svg"}, dir.path()).exitCode, 0);
  EXPECT_TRUE(FileExists(dir / "p-0003.svg"));
  ASSERT_EQ(RunProgram(Tool(), {spool, "--grey", "-o", "p-{page}.pdf"}, dir.path()).exitCode, 0);
  EXPECT_NE(RunProgram("/usr/bin/pdftotext", {dir / "p-0001.pdf", "-"}, dir.path())
                .out.find("ShadowFileReader"),
            std::string::npos);
}

// A page whose records run past the end of its file is drawn as far as it goes and written,
// named, and counted as failed; whole pages of the same run are not.
TEST(ConvertTool, APageCutShortIsWrittenNamedAndCounted) {
  const TempDir dir;
  const CutPage cut = CutShort(BoxPage(0x0000FF), 30);  // into the box, EMR_EOF gone
  const CutPage on_edge = CutShort(EmfPage(EmfRecord(43, {1, 2, 3, 4})), 20);  // EMR_EOF gone
  WriteFile(dir / "cut.emf", cut.bytes);
  WriteFile(dir / "edge.emf", on_edge.bytes);
  WriteFile(dir / "whole.emf", BoxPage(0x0000FF));
  struct Case {
    std::vector<std::string> arguments;
    const char* output;
    const CutPage& page;
  };
  const Case cases[] = {
      {{"cut.emf", "whole.emf", "-o", "png/{name}.png"}, "png/cut.png", cut},
      {{"edge.emf", "-o", "png/{name}.png"}, "png/edge.png", on_edge},
      {{"cut.emf", "-o", "pdf/{name}.pdf"}, "pdf/cut.pdf", cut},
      {{"cut.emf", "--one-file", "-f", "pdf", "-o", "one/{name}"}, "one/cut.pdf", cut},
      {{"cut.emf", "--one-file", "-f", "tif", "-o", "one/{name}"}, "one/cut.tif", cut},
  };
  for (const Case& c : cases) {
    const auto run = RunProgram(Tool(), c.arguments, dir.path());
    EXPECT_EQ(run.exitCode, 1) << c.output << "\n" << run.err;
    EXPECT_NE(run.err.find(c.page.said), std::string::npos) << c.page.said << "\n" << run.err;
    EXPECT_TRUE(FileExists(dir / c.output)) << c.output;
  }
  EXPECT_TRUE(FileExists(dir / "png/whole.png"));
  EXPECT_EQ(RunProgram(Tool(), {"whole.emf", "-o", "w/{name}.png"}, dir.path()).exitCode, 0);
}

// A page cut short is never left out as blank, white as it may be: what was lost may have
// been ink. An EMF copy carries a page the engine cannot read as it is, as the converter
// copies it; drawn, the same page fails by name.
TEST(ConvertTool, APageTheEngineCannotReadWholeIsNeverLeftOutOrLost) {
  const TempDir dir;
  const CutPage white = CutShort(EmfPage(""), 20);  // EMR_EOF gone
  WriteFile(dir / "white.emf", white.bytes);
  // A damaged file whose header promises more than the records it has: "no records".
  const std::string unreadable = ReadFile(
      testing_support::SharedDir() + "/corpus/emf-corrupted/bad_corrupted_2014-12-02-215338.emf");
  WriteFile(dir / "bare.emf", unreadable);
  const auto skip =
      RunProgram(Tool(), {"--skip-blank", "white.emf", "-o", "s/{name}.png"}, dir.path());
  EXPECT_EQ(skip.exitCode, 1) << skip.err;
  EXPECT_NE(skip.err.find(white.said), std::string::npos) << skip.err;
  EXPECT_TRUE(FileExists(dir / "s/white.png"));

  const auto copied = RunProgram(Tool(), {"bare.emf", "-f", "emf", "-o", "e/{name}"}, dir.path());
  EXPECT_EQ(copied.exitCode, 0) << copied.err;
  EXPECT_EQ(ReadFile(dir / "e/bare.emf"), unreadable);
  const auto drawn = RunProgram(Tool(), {"bare.emf", "-o", "p/{name}.png"}, dir.path());
  EXPECT_EQ(drawn.exitCode, 1);
  EXPECT_NE(drawn.err.find("bare.emf page 1"), std::string::npos) << drawn.err;
  EXPECT_FALSE(FileExists(dir / "p/bare.png"));
}

// Inputs are never changed: with --force, an output name that leads to an input (the same
// name, a hard link, a folder reached through a link) is refused before anything is drawn.
TEST(ConvertTool, ForceNeverReplacesAnInput) {
  const TempDir dir;
  const std::string page = BoxPage(0x0000FF);
  WriteFile(dir / "page.emf", page);
  ASSERT_EQ(link((dir / "page.emf").c_str(), (dir / "hard-0001.png").c_str()), 0);
  ASSERT_EQ(link((dir / "page.emf").c_str(), (dir / "hard.pdf").c_str()), 0);
  ASSERT_EQ(symlink(dir.path().c_str(), (dir / "alias").c_str()), 0);
  const std::vector<std::string> cases[] = {
      {"page.emf", "-f", "emf", "-o", "{name}"},
      {"page.emf", "-o", "hard-{page}.png"},
      {"page.emf", "-f", "emf", "-o", "alias/page.emf"},
      {"page.emf", "--one-file", "-f", "pdf", "-o", "alias/hard"},
  };
  for (const std::vector<std::string>& arguments : cases) {
    std::vector<std::string> forced = arguments;
    forced.push_back("--force");
    const auto run = RunProgram(Tool(), forced, dir.path());
    EXPECT_EQ(run.exitCode, 2) << arguments.back() << "\n" << run.err;
    EXPECT_NE(run.err.find("is the input page.emf"), std::string::npos) << run.err;
    EXPECT_EQ(ReadFile(dir / "page.emf"), page) << arguments.back();
  }
  EXPECT_EQ(FilesIn(dir.path()), 4u);  // nothing drawn, no temporary file left
}

// Text a PDF cannot carry (noncharacters, a code point past the planes' last) in the document
// name or a text record becomes U+FFFD: every page of the input is written.
TEST(ConvertTool, TextAPdfCannotCarryCostsNoPage) {
  const TempDir dir;
  testing_support::FontSpec font;
  font.face = "Arial";
  const std::string text =
      EmfPage(testing_support::CreateFont(font) +
              testing_support::TextOutW(100, 100, u"x\uFDD0y\uFFFEz\U0010FFFF"));
  std::string spool = SpoolFileBuilder("Xname").Page(text).Page(BoxPage(0)).Build();
  spool[16] = '\xD0';  // the name's first character: U+FDD0
  spool[17] = '\xFD';
  WriteFile(dir / "job.spl", spool);
  const auto one = RunProgram(Tool(), {"job.spl", "--one-file", "-f", "pdf"}, dir.path());
  EXPECT_EQ(one.exitCode, 0) << one.err;
  const auto info = RunProgram("/usr/bin/pdfinfo", {dir / "job.pdf"}, dir.path());
  EXPECT_NE(info.out.find("Pages:           2"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("Title:           \xEF\xBF\xBDname"), std::string::npos) << info.out;
  const auto pages = RunProgram(Tool(), {"job.spl", "-o", "p-{page}.svg"}, dir.path());
  EXPECT_EQ(pages.exitCode, 0) << pages.err;
  EXPECT_NE(ReadFile(dir / "p-0001.svg").find(">x\xEF\xBF\xBDy\xEF\xBF\xBDz\xEF\xBF\xBD</text>"),
            std::string::npos);
}

// On a terminal the summary counts the pages --skip-blank left out.
// --pages: the pages asked for, each under its own number; a page the input lacks is said.
TEST(ConvertTool, PagesSelectsByTheirOwnNumbers) {
  const TempDir dir;
  const std::string spool = Corpus("EMFSpoolfileReader_00004.SPL");
  auto run = RunProgram(Tool(), {spool, "--pages", "1,3", "-o", "out/{page}.png"}, dir.path());
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(std::filesystem::exists(dir / "out/0001.png"));
  EXPECT_FALSE(std::filesystem::exists(dir / "out/0002.png"));
  EXPECT_TRUE(std::filesystem::exists(dir / "out/0003.png"));
  run = RunProgram(Tool(), {spool, "--pages", "2-", "--one-file", "-o", "one/{name}.pdf"},
                   dir.path());
  EXPECT_EQ(run.exitCode, 0) << run.err;
  const auto info = RunProgram("/usr/bin/pdfinfo", {dir / "one/EMFSpoolfileReader_00004.pdf"}, "/");
  EXPECT_NE(info.out.find("Pages:           2\n"), std::string::npos) << info.out;
  run = RunProgram(Tool(), {spool, "--pages", "3-4", "-o", "more/{page}.png"}, dir.path());
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("it has 3 pages, no page 4"), std::string::npos) << run.err;
  EXPECT_TRUE(std::filesystem::exists(dir / "more/0003.png"));
  run = RunProgram(Tool(), {spool, "--pages", "3-1"}, dir.path());
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_NE(run.err.find("a page list is like 1-3,7"), std::string::npos) << run.err;
}

// Pipes: a spool file on standard input, one page or one document on standard output, the
// same bytes as written to a file.
TEST(ConvertTool, PipesInAndOut) {
  const TempDir dir;
  const std::string spool = Corpus("EMFSpoolfileReader_00004.SPL");
  ASSERT_EQ(RunProgram(Tool(), {spool, "-o", "file/{page}.png"}, dir.path()).exitCode, 0);
  ASSERT_EQ(RunProgram(Tool(), {spool, "--one-file", "-o", "file/all.tif"}, dir.path()).exitCode,
            0);
  struct Case {
    std::string command;
    const char* piped;
    const char* same_as;
  };
  const Case cases[] = {
      {Tool() + " - --pages 2 -f png -o - < '" + spool + "' > piped.png", "piped.png",
       "file/0002.png"},
      {"cat '" + spool + "' | " + Tool() + " - --one-file -f tif -o - | cat > piped.tif",
       "piped.tif", "file/all.tif"},
  };
  for (const Case& c : cases) {
    const auto run = RunProgram("/bin/sh", {"-c", c.command}, dir.path());
    EXPECT_EQ(run.exitCode, 0) << c.command << "\n" << run.err;
    EXPECT_EQ(testing_support::ReadFile(dir / c.piped), testing_support::ReadFile(dir / c.same_as))
        << c.command;
  }
  // Standard output takes one file, and standard input is read once.
  const auto several = RunProgram(Tool(), {spool, "-f", "png", "-o", "-"}, dir.path());
  EXPECT_EQ(several.exitCode, 2);
  EXPECT_NE(several.err.find("3 would be written"), std::string::npos) << several.err;
  EXPECT_EQ(several.out, "");
  EXPECT_EQ(RunProgram(Tool(), {"-", "-"}, dir.path()).exitCode, 2);
  // Standard input is told by its first bytes, and what they make nothing of is not read on.
  const auto zeros = RunProgram("/bin/sh", {"-c", Tool() + " - < /dev/zero"}, dir.path());
  EXPECT_EQ(zeros.exitCode, 2);
  EXPECT_NE(zeros.err.find("-: neither an EMF page"), std::string::npos) << zeros.err;
  // A reader that goes away early is a failed output: said, exit 1, and no copy left behind.
  WriteFile(dir / "page.emf", BoxPage(0));
  std::filesystem::create_directories(dir / "staging");
  const auto closed = RunProgram(
      "/bin/bash",
      {"-c", "set -o pipefail; " + Tool() + " page.emf -f bmp -o - | head -c 10 > /dev/null"},
      dir.path(), {"TMPDIR=" + (dir / "staging")});
  EXPECT_EQ(closed.exitCode, 1) << closed.err;
  EXPECT_NE(closed.err.find("standard output"), std::string::npos) << closed.err;
  EXPECT_TRUE(std::filesystem::is_empty(dir / "staging"));
  // A placed file has the mode any new file gets.
  ASSERT_EQ(
      RunProgram("/bin/sh", {"-c", "umask 027; " + Tool() + " page.emf -o placed.png"}, dir.path())
          .exitCode,
      0);
  EXPECT_EQ(std::filesystem::status(dir / "placed.png").permissions(),
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                std::filesystem::perms::group_read);
}

// A folder gives its pages and spool files in name order (-R: its subfolders' too); other
// files are named and left out.
TEST(ConvertTool, AFolderGivesItsPagesAndSpoolFiles) {
  const TempDir dir;
  std::filesystem::create_directories(dir / "in/sub");
  std::filesystem::copy_file(Corpus("EMFSpoolfileReader_00004.SPL"), dir / "in/a.SPL");
  WriteFile(dir / "in/b.emf", BoxPage(0));
  WriteFile(dir / "in/sub/c.emf", BoxPage(0));
  WriteFile(dir / "in/notes.txt", "not a page");
  auto run = RunProgram(Tool(), {"in", "-o", "flat/{name}-{page}.png"}, dir.path());
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.err.find(
                "in/notes.txt: left out, neither an EMF page, a Windows metafile nor a spool file"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(FilesIn(dir / "flat"), 4u);  // three pages of a.SPL and b.emf
  run = RunProgram(Tool(), {"-R", "in", "-o", "deep/{name}-{page}.png"}, dir.path());
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(FilesIn(dir / "deep"), 5u);
  EXPECT_TRUE(std::filesystem::exists(dir / "deep/c-0001.png"));
}

// A folder that cannot be read is named and passed by; the rest is converted, and the exit
// status says something was not (as root, run without the power to read any folder).
TEST(ConvertTool, AFolderThatCannotBeReadIsNamedAndTheRestConverted) {
  const TempDir dir;
  std::filesystem::create_directories(dir / "in/locked");
  WriteFile(dir / "in/a.emf", BoxPage(0));
  WriteFile(dir / "in/locked/b.emf", BoxPage(0));
  std::filesystem::permissions(dir / "in/locked", std::filesystem::perms::none);
  const auto run = [&](std::vector<std::string> arguments) {
    if (geteuid() != 0) {
      return RunProgram(Tool(), arguments, dir.path());
    }
    arguments.insert(arguments.begin(),
                     {"--bounding-set=-dac_override,-dac_read_search", "--", Tool()});
    return RunProgram("/usr/bin/setpriv", arguments, dir.path());
  };
  const auto deep = run({"-R", "in", "-o", "deep/{name}.png"});
  EXPECT_EQ(deep.exitCode, 1) << deep.err;
  EXPECT_NE(deep.err.find("in/locked: the folder cannot be read"), std::string::npos) << deep.err;
  EXPECT_TRUE(FileExists(dir / "deep/a.png"));
  const auto locked = run({"in/locked", "in/a.emf", "-o", "flat/{name}.png"});
  EXPECT_EQ(locked.exitCode, 1) << locked.err;
  EXPECT_NE(locked.err.find("in/locked: the folder cannot be read"), std::string::npos)
      << locked.err;
  EXPECT_TRUE(FileExists(dir / "flat/a.png"));
  std::filesystem::permissions(dir / "in/locked", std::filesystem::perms::owner_all);
}

// A second run converts only what is missing: the outputs there are left alone, and counted.
TEST(ConvertTool, SkipExistingConvertsOnlyWhatIsMissing) {
  const TempDir dir;
  const std::string spool = Corpus("EMFSpoolfileReader_00004.SPL");
  ASSERT_EQ(RunProgram(Tool(), {spool, "-o", "out/{page}.png"}, dir.path()).exitCode, 0);
  std::filesystem::remove(dir / "out/0002.png");
  WriteFile(dir / "out/0003.png", "not drawn over");
  const std::string command = Tool() + " -j 1 --skip-existing -o 'out/{page}.png' " + spool;
  const auto run = RunProgram("/usr/bin/script", {"-qec", command, "/dev/null"}, dir.path());
  EXPECT_EQ(run.exitCode, 0) << run.out;
  EXPECT_NE(run.out.find("1 page -> out/0002.png, 2 outputs there already, left alone"),
            std::string::npos)
      << run.out;
  EXPECT_EQ(testing_support::ReadFile(dir / "out/0003.png"), "not drawn over");
  EXPECT_TRUE(std::filesystem::exists(dir / "out/0002.png"));
  // Without it, a taken name is a failed page, and the summary says how many.
  const auto taken =
      RunProgram("/usr/bin/script",
                 {"-qec", Tool() + " -j 1 -o 'out/{page}.png' " + spool, "/dev/null"}, dir.path());
  EXPECT_EQ(taken.exitCode, 1);
  EXPECT_NE(taken.out.find("3 failed"), std::string::npos) << taken.out;
  const auto both = RunProgram(Tool(), {"--force", "--skip-existing", spool}, dir.path());
  EXPECT_EQ(both.exitCode, 2);
  EXPECT_NE(both.err.find("--force replaces existing outputs"), std::string::npos) << both.err;
}

// The summary counts pages, in files of their own, in one file, or on standard output.
TEST(ConvertTool, TheSummaryCountsBlankPagesLeftOut) {
  const TempDir dir;
  const std::string blank = EmfPage("");
  WriteFile(dir / "job.spl",
            SpoolFileBuilder("x").Page(BoxPage(0)).Page(blank).Page(blank).Build());
  WriteFile(dir / "blank.spl", SpoolFileBuilder("x").Page(blank).Build());
  WriteFile(dir / "two.spl",
            SpoolFileBuilder("x").Page(BoxPage(0)).Page(blank).Page(BoxPage(0xFF)).Build());
  struct Case {
    const char* arguments;
    const char* said;
  };
  const Case cases[] = {
      {"job.spl -o 'out/{page}.png'", "1 page -> out/0001.png, 2 blank pages left out"},
      {"job.spl --one-file -f pdf -o 'one/{name}'",
       "1 page -> one/job.pdf, 2 blank pages left out"},
      {"blank.spl -o 'none/{page}.png'", "1 blank page left out"},
      {"two.spl --one-file -o 'both/{name}.tif'", "2 pages -> both/two.tif, 1 blank page left out"},
      {"job.spl --pages 1 -o - > piped.png", "1 page -> standard output"},
  };
  for (const Case& c : cases) {
    const std::string command = Tool() + " -j 1 --skip-blank " + c.arguments;
    const auto run = RunProgram("/usr/bin/script", {"-qec", command, "/dev/null"}, dir.path());
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_NE(run.out.find(c.said), std::string::npos) << c.arguments << "\n" << run.out;
  }
}

// A page drawn only through EMF+ is drawn as GDI draws it, as nothing, but never without a
// word: each is named, and the summary counts them apart.
TEST(ConvertTool, PagesOfOnlyEmfPlusDrawingAreNamedAndCounted) {
  const TempDir dir;
  const std::string emf_plus = testing_support::EmfPlusOnlyPage();
  WriteFile(dir / "plus.spl",
            SpoolFileBuilder("x").Page(emf_plus).Page(BoxPage(0)).Page(emf_plus).Build());
  const std::string command = Tool() + " -j 1 plus.spl -o 'out/{page}.png'";
  const auto run = RunProgram("/usr/bin/script", {"-qec", command, "/dev/null"}, dir.path());
  EXPECT_EQ(run.exitCode, 0) << run.out;
  for (const char* said : {"plus.spl page 1 holds only EMF+ drawing, which GDI draws as nothing",
                           "plus.spl page 3 holds only EMF+ drawing",
                           "3 pages -> out/0001.png ... out/0003.png, 2 pages hold only EMF+ "
                           "drawing (drawn as nothing)"}) {
    EXPECT_NE(run.out.find(said), std::string::npos) << said << "\n" << run.out;
  }
  EXPECT_EQ(run.out.find("page 2 holds"), std::string::npos) << run.out;
  // Nor are they blank pages: --skip-blank keeps them, and an EMF copy carries their drawing.
  const auto kept = RunProgram(
      Tool(), {"plus.spl", "--skip-blank", "-f", "emf", "-o", "e/{page}.emf"}, dir.path());
  EXPECT_EQ(kept.exitCode, 0) << kept.err;
  EXPECT_EQ(ReadFile(dir / "e/0001.emf"), emf_plus);
  EXPECT_EQ(FilesIn(dir / "e"), 3u);
}

// A drawing that strays outside its frame: cut off by the frame and named, or all of it shown
// on a page grown to the header's bounds.
TEST(ConvertTool, AreaBoundsShowsADrawingOutsideItsFrame) {
  const TempDir dir;
  WriteFile(dir / "wide.emf", testing_support::PageDrawingOutsideItsFrame());
  const auto size = [&](const std::string& png) { return testing_support::PngSize(dir / png); };
  const std::string notice = "wide.emf page 1 draws outside its frame; --area bounds shows all";
  auto run = RunProgram(Tool(), {"wide.emf", "-o", "frame.png"}, dir.path());
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.err.find(notice), std::string::npos) << run.err;
  EXPECT_EQ(size("frame.png"), "794 x 1123");
  run = RunProgram(Tool(), {"wide.emf", "--area", "bounds", "-o", "bounds.png"}, dir.path());
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err.find(notice), std::string::npos) << run.err;
  EXPECT_EQ(size("bounds.png"), "894 x 1223");
  EXPECT_EQ(RunProgram(Tool(), {"wide.emf", "--area", "page"}, dir.path()).exitCode, 2);
}

}  // namespace
