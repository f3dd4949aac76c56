// The converter run as a whole, through the real program in a temporary install folder.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include <ctime>
#include <filesystem>
#include <regex>
#include <string>

#include "integration/installed_converter.h"
#include "support/spool_builder.h"

namespace {

using testing_support::FileExists;
using testing_support::InstalledConverter;

constexpr int kNoPageExitCode = 255;  // -1 as the shell sees it

TEST(ConversionRun, WithoutSettingsFilesWritesTheDefaultsAndFindsNoPage) {
  InstalledConverter converter;
  const auto result = converter.Run();
  EXPECT_EQ(result.exitCode, kNoPageExitCode) << result.err;
  EXPECT_EQ(converter.Option("AutoSave", "OutputFile"), "C:\\");
  EXPECT_TRUE(std::regex_match(converter.Option("AutoSaveOptions", "TotalStartTickCount"),
                               std::regex("-?[0-9]+")));
  EXPECT_EQ(converter.Option("AutoSaveOptions", "EMFMakerTickCount"), "<missing>");
  EXPECT_EQ(converter.Config("debug", "outlog"), "No");
  EXPECT_FALSE(FileExists(converter / "quadrine.log"));
  EXPECT_EQ(result.err, "");
}

TEST(ConversionRun, ArgumentsChangeNothing) {
  InstalledConverter plain;
  InstalledConverter with_arguments;
  const auto a = plain.Run();
  const auto b = with_arguments.Run({"--help", "C:\\other\\x.png", "-v"});
  EXPECT_EQ(a.exitCode, b.exitCode);
  EXPECT_EQ(with_arguments.Option("AutoSave", "OutputFile"), "C:\\");
}

TEST(DiagnosticLog, TheSwitchIsOffOnlyForNo) {
  struct Case {
    const char* value;
    bool logs;
  };
  const Case cases[] = {{"No", false}, {"NO", false}, {"no", false},
                        {"Yes", true}, {"1", true},   {"", true}};
  for (const Case& c : cases) {
    InstalledConverter converter;
    converter.SetConfig("debug", "outlog", c.value);
    const auto result = converter.Run();
    EXPECT_EQ(result.exitCode, kNoPageExitCode);
    EXPECT_EQ(FileExists(converter / "quadrine.log"), c.logs) << "outlog=" << c.value;
    EXPECT_EQ(converter.Config("debug", "outlog"), c.value);
  }
}

TEST(DiagnosticLog, HoldsOneRunWithUtcTimeStamps) {
  InstalledConverter converter;
  converter.SetConfig("debug", "outlog", "Yes");
  converter.SetOption("AutoSave", "OutputFile", "C:\\first\\a.png");
  converter.Run();
  converter.SetOption("AutoSave", "OutputFile", "%APPFOLDER%\\out\\job%PID%.bmp");
  const std::time_t before = std::time(nullptr);
  converter.Run({}, {"TZ=XXX-9"});  // nine hours east of UTC
  const std::string log = converter.Log();

  const std::string stamp = "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d -- ";
  const std::regex expected(
      "(" + stamp + ")strTempPath1=%APPFOLDER%\\\\out\\\\job%PID%\\.bmp\n" + stamp +
      "strTempPath2=" + converter.folder() + "\\\\out\\\\job[0-9]+\\.bmp\n" + stamp +
      "Load spooling files\\.\\.\\.\n" + stamp + "ConvertEMFFiles: bClear=0, strDestDir=" +
      converter.folder() + "/out/\n" + stamp + "FindFiles\\('" + converter.folder() +
      "/windows/system32/spool/PRINTERS/'\\) return '0'\\.\\.\\.\n" + stamp +
      "CheckAllSPLFiles\\(\\) return '0'\\.\\.\\.\n" + stamp + "Found '0' EMF files\\.\\.\\.\n" +
      stamp + "Can't find output EMF files\\.\n");
  std::smatch match;
  ASSERT_TRUE(std::regex_match(log, match, expected)) << log;

  std::tm stamped{};
  ASSERT_NE(strptime(match[1].str().c_str(), "%Y-%m-%d %H:%M:%S", &stamped), nullptr);
  const std::time_t logged = timegm(&stamped);
  EXPECT_LE(std::abs(static_cast<long>(logged - before)), 60L) << match[1];
}

// A missing font never passes silently: a page drawn with a face that is not installed says
// so on standard error and in the log, once for the run, naming the page, and the page is
// still converted.
TEST(DiagnosticLog, AFaceThatIsNotInstalledIsSaidOnceInTheLogAndOnStandardError) {
  InstalledConverter converter;
  converter.SetOption("AutoSave", "OutputFile", "C:\\out.png");
  converter.SetConfig("debug", "outlog", "Yes");
  testing_support::FontSpec font;
  font.face = "No Such Face Anywhere";
  const std::string page = testing_support::EmfPage(testing_support::CreateFont(font) +
                                                    testing_support::TextOutA(10, 10, "Hello"));
  testing_support::WriteFile(converter.elsewhere() + "/a.emf", page);
  testing_support::WriteFile(converter.elsewhere() + "/b.emf", page);
  ASSERT_EQ(converter.Print({"--no-run", "a.emf", "b.emf"}).exitCode, 0);
  shm_unlink(testing_support::SharedBlockName().c_str());
  const auto result = converter.Run();
  shm_unlink(testing_support::SharedBlockName().c_str());
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_TRUE(FileExists(converter / "out0002.png"));
  // The notice names the page file the face was asked for in.
  const std::string notice = ".emf: the face 'No Such Face Anywhere' is not installed";
  for (const std::string& told : {result.err, converter.Log()}) {
    const size_t first = told.find(notice);
    ASSERT_NE(first, std::string::npos) << told;
    EXPECT_EQ(told.find(notice, first + 1), std::string::npos) << told;
    const size_t line = told.rfind('\n', first);
    EXPECT_NE(told.find("quadrine: ", line == std::string::npos ? 0 : line), std::string::npos)
        << told;
  }
}

TEST(DiagnosticLog, AnUnopenableLogIsReportedAndTheRunGoesOn) {
  InstalledConverter converter;
  converter.SetConfig("debug", "outlog", "Yes");
  mkdir((converter / "quadrine.log").c_str(), 0755);  // a folder where the log should be
  const auto result = converter.Run();
  EXPECT_EQ(result.exitCode, kNoPageExitCode);
  EXPECT_NE(result.err.find("ERROR: Failed to create '" + converter.folder() +
                            "/quadrine.log' log file!\n"),
            std::string::npos)
      << result.err;
  EXPECT_EQ(converter.Option("AutoSave", "OutputFile"), "C:\\");
}

TEST(Settings, MalformedFilesGiveTheDefaults) {
  InstalledConverter converter;
  testing_support::WriteFile(converter / "option.ini", std::string("\0\x01[[[\n==\n\xff", 9));
  testing_support::WriteFile(converter / "config.ini", "[debug\noutlog\n");
  const auto result = converter.Run();
  EXPECT_EQ(result.exitCode, kNoPageExitCode);
  EXPECT_EQ(converter.Option("AutoSave", "OutputFile"), "C:\\");
  EXPECT_EQ(converter.Config("debug", "outlog"), "No");
}

// Cut to its buffer the setting would name another folder: it is refused, kept whole, and
// the job waits.
// A setting too long, as written or once its macros are expanded, would be cut by the C
// runtime's path functions (or overrun them on Windows): the run is refused, the setting kept.
TEST(Settings, AnOverlongOutputSettingIsRefusedAndKeptWhole) {
  struct Case {
    std::string setting;
    const char* said;
  };
  const Case cases[] = {
      {"C:\\" + std::string(400, 'd') + "\\x.png",
       "the OutputFile setting is longer than 259 characters"},
      {"%APPFOLDER%\\" + std::string(240, 'd') + "\\x.png",
       "the OutputFile setting with its macros expanded is longer than 259 characters"},
  };
  for (const Case& c : cases) {
    InstalledConverter converter;
    converter.SetConfig("debug", "outlog", "Yes");
    converter.SetOption("AutoSave", "OutputFile", c.setting.c_str());
    const auto result = converter.Run();
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find(c.said), std::string::npos) << result.err;
    EXPECT_EQ(converter.Option("AutoSave", "OutputFile"), c.setting);
  }
}

// A real text page written as WebP holds the very pixels of the same page written as a reduced
// PNG, in clearly less space, at the screen's density and at 300 dots per inch.
TEST(ConversionRun, AWebpPageHoldsThePixelsOfTheReducedPngInLessSpace) {
  const std::string shared = testing_support::SharedDir();
  ASSERT_FALSE(shared.empty());
  std::string why;
  const std::string reader = testing_support::ImageReader(why);
  ASSERT_FALSE(reader.empty()) << why;
  for (const char* resolution : {"Default", "225"}) {  // 72 is the reference: 225 is 300 dpi
    SCOPED_TRACE(resolution);
    InstalledConverter converter;
    converter.SetOption("AutoSaveOptions", "m_strResolution", resolution);
    converter.SetOption("AutoSaveOptions", "bReducePng", "1");
    std::filesystem::create_directories(converter / "out");
    for (const char* extension : {"png", "webp"}) {
      std::filesystem::copy_file(shared + "/corpus/spl/export_0000s10.SPL",
                                 converter.SpoolFolder() + "/00021.SPL");
      converter.SetQueue("[Quadrine]\nAttributes=0\nJobs=21\n");
      converter.SetOption("AutoSave", "OutputFile",
                          (std::string("C:\\out\\page.") + extension).c_str());
      const auto run = converter.Run();
      ASSERT_EQ(run.exitCode, 0) << extension << ": " << run.err;
    }
    const std::string png = converter / "out/page0001.png";
    const std::string webp = converter / "out/page0001.webp";
    EXPECT_EQ(testing_support::ReadFile(png)[25], 3);  // reduced to a palette
    const auto same = testing_support::RunProgram(
        reader,
        {"-c",
         "import sys\nfrom PIL import Image\n"
         "a = Image.open(sys.argv[1]).convert('RGB')\n"
         "b = Image.open(sys.argv[2])\n"
         "print(b.format, b.mode, a.size == b.size and a.tobytes() == b.tobytes())\n",
         png, webp},
        "/");
    EXPECT_EQ(same.out, "WEBP RGB True\n") << same.err;
    const auto png_size = std::filesystem::file_size(png);
    const auto webp_size = std::filesystem::file_size(webp);
    EXPECT_LE(webp_size * 10, png_size * 8) << webp_size << " bytes against " << png_size;
  }
}

}  // namespace
