// quadrine-render and emfdump as a user runs them: pages of any size drawn band by band into the
// format the output's extension names, and pages past a format's limits refused without a file.
#include <gtest/gtest.h>

#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "emfplus/plus_pages_test.h"
#include "imaging/bmp_reader.h"
#include "support/spool_builder.h"
#include "support/test_support.h"

namespace {

using testing_support::EmfRecord;
using testing_support::ProcessResult;
using testing_support::TempDir;

std::string RenderTool() {
  return testing_support::BuildDir() + "/tools/quadrine-render/quadrine-render";
}

std::string FilledRect(uint32_t colorref, int l, int t, int r, int b) {
  return EmfRecord(39, {1, 0, colorref, 0}) + EmfRecord(37, {1}) +
         EmfRecord(43, {uint32_t(l), uint32_t(t), uint32_t(r), uint32_t(b)}) +
         EmfRecord(40, {1});  // EMR_DELETEOBJECT
}

// A page of width x height pixels at 96 dots per inch (the frame in hundredths of a millimetre).
std::string PageOfPixels(const std::string& records, int width, int height) {
  return testing_support::EmfPage(EmfRecord(37, {0x80000008}) + records,
                                  static_cast<int32_t>(int64_t{width} * 2540 / 96),
                                  static_cast<int32_t>(int64_t{height} * 2540 / 96));
}

ProcessResult Render(const TempDir& dir, const std::string& page, const std::string& output) {
  testing_support::WriteFile(dir / "page.emf", page);
  return testing_support::RunProgram(RenderTool(), {dir / "page.emf", dir / output}, dir.path());
}

// A page of 40000 x 1000 pixels passes cairo's widest surface and one band's pixels: it is cut
// into bands and tiles. Rectangles across both seams come out whole, with no seam in them.
TEST(RenderTool, APageOfBandsAndTilesIsDrawnWhole) {
  TempDir dir;
  const std::string page = PageOfPixels(FilledRect(0x0000FF, 32000, 400, 34000, 600) +
                                            FilledRect(0x00FF00, 39000, 900, 40000, 1000) +
                                            FilledRect(0xFF0000, 0, 0, 10, 10),
                                        40000, 1000);
  const ProcessResult result = Render(dir, page, "wide.bmp");
  ASSERT_EQ(result.exitCode, 0) << result.err;
  const std::string bytes = testing_support::ReadFile(dir / "wide.bmp");
  imaging::Image image;
  std::string error;
  ASSERT_TRUE(imaging::ReadBmp(
      std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), image, &error))
      << error;
  ASSERT_EQ(image.width(), 40000);
  ASSERT_EQ(image.height(), 1000);
  struct Expected {
    int x, y;
    imaging::Rgb color;
  };
  const imaging::Rgb red{255, 0, 0}, green{0, 255, 0}, blue{0, 0, 255}, white{255, 255, 255};
  for (const Expected& e :
       {Expected{32000, 400, red}, Expected{33999, 599, red}, Expected{32734, 479, red},
        Expected{32735, 480, red}, Expected{31999, 480, white}, Expected{34000, 480, white},
        Expected{32735, 399, white}, Expected{32735, 600, white}, Expected{39999, 999, green},
        Expected{0, 0, blue}, Expected{20000, 500, white}}) {
    EXPECT_EQ(image.PixelRgb(e.x, e.y), e.color) << e.x << "," << e.y;
  }
  for (int y = 400; y < 600; ++y) {  // no seam: the red rectangle is red throughout
    for (int x = 32000; x < 34000; x += 7) {
      ASSERT_EQ(image.PixelRgb(x, y), red) << x << "," << y;
    }
  }
}

// The extension picks the format; one that names none of ours, or a page past the format's
// own limits, is refused with a message and leaves no file.
TEST(RenderTool, TheExtensionPicksTheFormatAndLimitsAreNamed) {
  struct Case {
    const char* output;
    int width, height;
    int exit_code;
    std::string magic;    // the file's first bytes, when one is written
    const char* message;  // part of what standard error says, when refused
  };
  const Case cases[] = {
      {"p.png", 50, 40, 0, "\x89PNG", ""},
      {"p.jpg", 50, 40, 0, "\xFF\xD8\xFF", ""},
      {"p.JPEG", 50, 40, 0, "\xFF\xD8\xFF", ""},
      {"p.tif", 50, 40, 0, std::string("II*\0", 4), ""},
      {"p.bmp", 50, 40, 0, "BM", ""},
      {"p.gif", 50, 40, 0, "GIF8", ""},  // written from the whole image
      {"p.pcx", 50, 40, 0, "\x0A", ""},
      {"p.webp", 50, 40, 0, "RIFF", ""},
      {"p.xyz", 50, 40, 2, "", "names no image format"},
      {"p.emf", 50, 40, 2, "", "names no image format"},
      {"p.jpg", 65501, 2, 1, "", "65500 pixels a side"},
      {"p.bmp", 40000, 40000, 1, "", "past what BMP holds"},
      {"p.webp", 2, 16384, 1, "", "past what WebP holds (16383 pixels a side)"},
      // Refused before anything is drawn or opened: a row of it is past what is drawn at once.
      {"p.tif", 20000000, 480, 1, "", "20000000 pixels wide"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const ProcessResult result =
        Render(dir, PageOfPixels(FilledRect(0x0000FF, 1, 1, 2, 2), c.width, c.height), c.output);
    EXPECT_EQ(result.exitCode, c.exit_code) << c.output << ": " << result.err;
    const std::string written = testing_support::FileExists(dir / c.output)
                                    ? testing_support::ReadFile(dir / c.output)
                                    : "";
    if (c.exit_code == 0) {
      EXPECT_EQ(written.substr(0, c.magic.size()), c.magic) << c.output;
    } else {
      EXPECT_FALSE(testing_support::FileExists(dir / c.output)) << c.output;
      EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
    }
  }
}

// A spool file's page is picked by number; a number past its pages is named.
TEST(RenderTool, APageOfASpoolFile) {
  TempDir dir;
  const std::string red = PageOfPixels(FilledRect(0x0000FF, 0, 0, 10, 10), 10, 10);
  const std::string blue = PageOfPixels(FilledRect(0xFF0000, 0, 0, 10, 10), 10, 10);
  testing_support::WriteFile(dir / "job.spl",
                             testing_support::SpoolFileBuilder("job").Page(red).Page(blue).Build());
  const ProcessResult second = testing_support::RunProgram(
      RenderTool(), {"--page", "2", dir / "job.spl", dir / "2.bmp"}, dir.path());
  ASSERT_EQ(second.exitCode, 0) << second.err;
  imaging::Image image;
  ASSERT_TRUE(image.Load(dir / "2.bmp", imaging::kFormatBmp));
  EXPECT_EQ(image.PixelRgb(5, 5), (imaging::Rgb{0, 0, 255}));
  const ProcessResult third = testing_support::RunProgram(
      RenderTool(), {"--page", "3", dir / "job.spl", dir / "3.bmp"}, dir.path());
  EXPECT_EQ(third.exitCode, 1);
  EXPECT_NE(third.err.find("the spool file has 2 pages, no page 3"), std::string::npos)
      << third.err;
  EXPECT_FALSE(testing_support::FileExists(dir / "3.bmp"));
}

// A face that is not installed is said with the input and page it was asked for in, by both
// tools (quadrine-convert draws pages on several threads at once).
TEST(RenderTool, FontNoticesNameTheInputAndPage) {
  TempDir dir;
  testing_support::FontSpec font;
  font.face = "No Face Named So";
  testing_support::WriteFile(dir / "face.emf",
                             testing_support::EmfPage(testing_support::CreateFont(font) +
                                                      testing_support::TextOutA(10, 10, "Hello")));
  const std::string convert =
      testing_support::BuildDir() + "/tools/quadrine-convert/quadrine-convert";
  const std::pair<std::string, std::vector<std::string>> runs[] = {
      {RenderTool(), {"face.emf", "face.png"}},
      {convert, {"-q", "face.emf"}},
  };
  for (const auto& [program, arguments] : runs) {
    const ProcessResult run = testing_support::RunProgram(program, arguments, dir.path());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find(": face.emf page 1: the face 'No Face Named So' is not installed"),
              std::string::npos)
        << program << ": " << run.err;
  }
}

}  // namespace

// A page whose records run past the end of its file is drawn as far as it goes and written,
// and the tool says so and exits 1; an output that is the input is refused.
TEST(RenderTool, APageCutShortAndAnOutputThatIsTheInput) {
  const TempDir dir;
  const std::string whole = PageOfPixels(FilledRect(0x0000FF, 0, 0, 10, 10), 20, 20);
  const std::string cut = whole.substr(0, whole.size() - 24);  // EMR_EOF and the deletion
  const ProcessResult result = Render(dir, cut, "cut.png");
  EXPECT_EQ(result.exitCode, 1) << result.err;
  EXPECT_NE(result.err.find("page 1: the page ends after record 5 of 7; drawn as far as it goes"),
            std::string::npos)
      << result.err;
  EXPECT_TRUE(testing_support::FileExists(dir / "cut.png"));
  EXPECT_EQ(Render(dir, whole, "whole.png").exitCode, 0);

  testing_support::WriteFile(dir / "page.png", whole);  // an EMF page under an image's name
  const ProcessResult same =
      testing_support::RunProgram(RenderTool(), {dir / "page.png", dir / "page.png"}, dir.path());
  EXPECT_EQ(same.exitCode, 2);
  EXPECT_NE(same.err.find("is the input"), std::string::npos) << same.err;
  EXPECT_EQ(testing_support::ReadFile(dir / "page.png"), whole);
}

// What GDI cuts off or leaves out is said by each tool: a drawing outside its frame (all of it
// shown with --area bounds), and a page drawn only through EMF+.
TEST(RenderTool, ADrawingOutsideItsFrameAndOnlyEmfPlusDrawingAreSaid) {
  TempDir dir;
  testing_support::WriteFile(dir / "wide.emf", testing_support::PageDrawingOutsideItsFrame());
  testing_support::WriteFile(dir / "plus.emf", testing_support::EmfPlusOnlyPage());
  const auto png_size = [&](const std::string& name) {
    return testing_support::PngSize(dir / name);
  };
  const std::string dump = testing_support::BuildDir() + "/tools/emfdump/emfdump";
  struct Case {
    std::string program;
    std::vector<std::string> arguments;
    const char* said;  // on standard error; nullptr: nothing
    const char* png;   // the output and its size
    const char* size;
  };
  const Case cases[] = {
      {RenderTool(),
       {"wide.emf", "frame.png"},
       "wide.emf page 1 draws outside its frame; --area bounds shows all of it",
       "frame.png",
       "794 x 1123"},
      {RenderTool(),
       {"--area", "bounds", "wide.emf", "bounds.png"},
       nullptr,
       "bounds.png",
       "894 x 1223"},
      {RenderTool(),
       {"plus.emf", "plus.png"},
       "plus.emf page 1 holds only EMF+ drawing, which GDI draws as nothing",
       "plus.png",
       "794 x 1123"},
      {dump, {"plus.emf"}, "plus.emf page 1 holds only EMF+ drawing", nullptr, nullptr},
      {dump, {"wide.emf"}, "wide.emf page 1 draws outside its frame", nullptr, nullptr},
  };
  for (const Case& c : cases) {
    const ProcessResult run = testing_support::RunProgram(c.program, c.arguments, dir.path());
    EXPECT_EQ(run.exitCode, 0) << c.arguments[0] << run.err;
    if (c.said != nullptr) {
      EXPECT_NE(run.err.find(c.said), std::string::npos) << run.err;
    } else {
      EXPECT_EQ(run.err, "");
    }
    if (c.png != nullptr) {
      EXPECT_EQ(png_size(c.png), c.size) << c.png;
    }
  }
  // The drawing's corner, cut off by the frame, is the grown page's first pixel.
  ASSERT_EQ(
      testing_support::RunProgram(RenderTool(), {"wide.emf", "frame.bmp"}, dir.path()).exitCode, 0);
  ASSERT_EQ(testing_support::RunProgram(RenderTool(),
                                        {"--area", "bounds", "wide.emf", "bounds.bmp"}, dir.path())
                .exitCode,
            0);
  imaging::Image frame;
  imaging::Image bounds;
  ASSERT_TRUE(frame.Load(dir / "frame.bmp", imaging::kFormatBmp));
  ASSERT_TRUE(bounds.Load(dir / "bounds.bmp", imaging::kFormatBmp));
  EXPECT_EQ(frame.PixelRgb(0, 0), (imaging::Rgb{255, 255, 255}));
  EXPECT_EQ(bounds.PixelRgb(0, 0), (imaging::Rgb{0, 0, 0}));
  EXPECT_EQ(
      testing_support::RunProgram(RenderTool(), {"--area", "all", "wide.emf", "x.png"}, dir.path())
          .exitCode,
      2);
}

// A page of EMF+ records is drawn as GDI+ draws it by both tools, and as GDI does (as
// nothing, and said) with --gdi; emfdump lists the records inside the comments.
TEST(RenderTool, APageOfEmfPlusRecordsIsDrawnAsGdiPlusDrawsIt) {
  using namespace plus_test_pages;
  TempDir dir;
  testing_support::WriteFile(dir / "plus.emf",
                             Page(Comment(InPixels() + FillRect(0xFF0000FF, 0, 0, 100, 100))));
  const std::string convert =
      testing_support::BuildDir() + "/tools/quadrine-convert/quadrine-convert";
  struct Case {
    std::string program;
    std::vector<std::string> arguments;
    const char* output;
    imaging::Rgb middle;
    bool said;  // that GDI draws the page as nothing
  } cases[] = {
      {RenderTool(), {"plus.emf", "render.bmp"}, "render.bmp", {0, 0, 255}, false},
      {RenderTool(),
       {"--gdi", "plus.emf", "render-gdi.bmp"},
       "render-gdi.bmp",
       {255, 255, 255},
       true},
      {convert, {"-q", "plus.emf", "-o", "convert.bmp"}, "convert.bmp", {0, 0, 255}, false},
      {convert,
       {"-q", "--gdi", "plus.emf", "-o", "convert-gdi.bmp"},
       "convert-gdi.bmp",
       {255, 255, 255},
       true},
  };
  for (const Case& c : cases) {
    const ProcessResult run = testing_support::RunProgram(c.program, c.arguments, dir.path());
    EXPECT_EQ(run.exitCode, 0) << c.output << run.err;
    EXPECT_EQ(run.err.find("holds only EMF+ drawing") != std::string::npos, c.said) << run.err;
    imaging::Image image;
    ASSERT_TRUE(image.Load(dir / c.output, imaging::kFormatBmp)) << c.output;
    EXPECT_EQ(image.PixelRgb(50, 50), c.middle) << c.output;
  }
  const ProcessResult dump = testing_support::RunProgram(
      testing_support::BuildDir() + "/tools/emfdump/emfdump", {"plus.emf"}, dir.path());
  EXPECT_NE(dump.out.find("+ EmfPlusSetPageTransform"), std::string::npos) << dump.out;
  EXPECT_NE(dump.out.find("+ EmfPlusFillRects"), std::string::npos) << dump.out;
}

// emfdump shows what a text record says: the string on the record's line, and with --text the
// strings alone, a spool file's page picked as by quadrine-render.
TEST(RecordDump, TheStringsOfTextRecords) {
  TempDir dir;
  const std::string page = testing_support::EmfPage(
      testing_support::CreateFont({}) + testing_support::TextOutA(10, 10, "Terms of Use") +
      testing_support::TextOutA(10, 30, "a<b & c"));
  testing_support::WriteFile(dir / "job.spl", testing_support::SpoolFileBuilder("job")
                                                  .Page(testing_support::EmfPage(""))
                                                  .Page(page)
                                                  .Build());
  const std::string dump = testing_support::BuildDir() + "/tools/emfdump/emfdump";
  const ProcessResult text =
      testing_support::RunProgram(dump, {"--page", "2", "--text", dir / "job.spl"}, dir.path());
  ASSERT_EQ(text.exitCode, 0) << text.err;
  EXPECT_EQ(text.out, "Terms of Use\na<b & c\n");
  const ProcessResult records =
      testing_support::RunProgram(dump, {"--page", "2", dir / "job.spl"}, dir.path());
  EXPECT_NE(records.out.find("EMR_EXTTEXTOUTA"), std::string::npos) << records.out;
  EXPECT_NE(records.out.find("  \"Terms of Use\"\n"), std::string::npos) << records.out;
}
