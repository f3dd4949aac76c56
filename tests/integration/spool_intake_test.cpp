// Spool intake through the real programs: quadrine-print, then the converter.
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <filesystem>
#include <string>

#include "integration/installed_converter.h"
#include "support/spool_builder.h"

namespace {

using testing_support::FileExists;
using testing_support::InstalledConverter;
using testing_support::MinimalEmf;
using testing_support::ReadFile;
using testing_support::WriteFile;

TEST(SpoolIntake, APrintedJobBecomesItsPageFiles) {
  InstalledConverter converter;
  converter.SetConfig("debug", "outlog", "Yes");
  converter.SetOption("AutoSave", "OutputFile", "C:\\out\\scan.emf");
  std::filesystem::create_directories(converter / "out");
  const std::string first = MinimalEmf(108, 1000, 1000);
  const std::string second = MinimalEmf(108, 2000, 1000);
  WriteFile(converter.elsewhere() + "/a.emf", first + "trailing bytes past nBytes");
  WriteFile(converter.elsewhere() + "/b.emf", second);

  const auto printed = converter.Print({"--no-run", "--document", "Größe", "a.emf", "b.emf"});
  ASSERT_EQ(printed.exitCode, 0) << printed.err;
  EXPECT_TRUE(FileExists(converter.SpoolFolder() + "/00001.SPL"));
  EXPECT_EQ(converter.Queue(), "[Quadrine]\nAttributes=0\nJobs=1\n[(spooler)]\nLastJob=1\n");

  shm_unlink(testing_support::SharedBlockName().c_str());
  const auto run = converter.Run();
  EXPECT_EQ(run.exitCode, 0) << run.err;
  // The pages, copied as they were cut out, start with the submitted EMFs byte for byte.
  EXPECT_EQ(ReadFile(converter / "out/scan0001.emf").substr(0, first.size()), first);
  EXPECT_EQ(ReadFile(converter / "out/scan0002.emf").substr(0, second.size()), second);
  EXPECT_FALSE(FileExists(converter / "out/000010000.emf"));
  EXPECT_FALSE(FileExists(converter.SpoolFolder() + "/00001.SPL"));
  EXPECT_EQ(converter.Queue(), "[Quadrine]\nAttributes=0\nJobs=\n[(spooler)]\nLastJob=1\n");

  // The number is not handed out again once its spool file and queue entry are gone.
  const auto again = converter.Print({"--no-run", "b.emf"});
  ASSERT_EQ(again.exitCode, 0) << again.err;
  EXPECT_TRUE(FileExists(converter.SpoolFolder() + "/00002.SPL"));
  std::filesystem::remove(converter.SpoolFolder() + "/00002.SPL");

  const std::string log = converter.Log();
  const std::string spool = converter.SpoolFolder() + "/00001.SPL";
  for (const std::string& entry :
       {"ReadBinaryDataFile('" + spool + "').\n", "DeleteFile('" + spool + "')\n",
        "DeleteOnePrinterJobBySPLFile('" + spool + "').\n",
        "GetJobIDFromFileName('" + spool + "') = 1\n", std::string("DeleteOnePrinterJob(1).\n"),
        std::string("OK, found and delete JobId (1).\n"),
        "File 1 = \"" + converter / "out/scan0001.emf\"\n"}) {
    EXPECT_NE(log.find(entry), std::string::npos) << entry << "\n" << log;
  }
  const auto results = testing_support::RunProgram(
      testing_support::BuildDir() + "/tools/quadrine-results/quadrine-results", {"--remove"},
      converter.folder());
  EXPECT_EQ(results.out, converter / "out/scan0001.emf\n" + converter / "out/scan0002.emf\n");
}

TEST(SpoolIntake, PrintRefusesWhatIsNoEmfAndWritesNothing) {
  InstalledConverter converter;
  WriteFile(converter.elsewhere() + "/good.emf", MinimalEmf());
  WriteFile(converter.elsewhere() + "/notes.txt", std::string(200, 'x'));
  std::string cut = MinimalEmf();
  cut.resize(cut.size() - 8);
  WriteFile(converter.elsewhere() + "/cut.emf", cut);
  for (const char* bad : {"notes.txt", "cut.emf", "missing.emf"}) {
    const auto printed = converter.Print({"good.emf", bad});
    EXPECT_EQ(printed.exitCode, 2) << bad;
    EXPECT_NE(printed.err.find(bad), std::string::npos) << printed.err;
  }
  EXPECT_TRUE(std::filesystem::is_empty(converter.SpoolFolder()));
  EXPECT_FALSE(FileExists(converter / "windows/system32/spool/printers.ini"));
  EXPECT_EQ(converter.Print({}).exitCode, 2);
}

TEST(SpoolIntake, PrintStartsTheConverterBesideIt) {
  InstalledConverter converter;
  converter.SetConfig("installation", "PrinterName", "Office");
  converter.SetOption("AutoSave", "OutputFile", "C:\\page.emf");
  WriteFile(converter.elsewhere() + "/a.emf", MinimalEmf());
  shm_unlink(testing_support::SharedBlockName().c_str());
  const auto printed = converter.Print({"a.emf"});
  EXPECT_EQ(printed.exitCode, 0) << printed.err;
  EXPECT_TRUE(FileExists(converter / "page0001.emf"));
  EXPECT_EQ(converter.Queue(), "[Office]\nAttributes=0\nJobs=\n[(spooler)]\nLastJob=1\n");
  shm_unlink(testing_support::SharedBlockName().c_str());
}

TEST(SpoolIntake, RealSpoolFilesAndARefusedArchive) {
  const std::string shared = testing_support::SharedDir();
  ASSERT_FALSE(shared.empty());
  InstalledConverter converter;
  converter.SetConfig("debug", "outlog", "Yes");
  converter.SetOption("AutoSave", "OutputFile", "C:\\out\\");
  std::filesystem::create_directories(converter / "out");
  for (const char* name : {"EMFSpoolfileReader_00003.SPL", "EMFSpoolfileReader_00004.SPL",
                           "EMF_SPL-to-EMF_00035.SPL", "export_0000s10.SPL", "00015.SPL"}) {
    std::filesystem::copy_file(shared + "/corpus/spl/" + name,
                               converter.SpoolFolder() + "/" + name);
  }
  converter.SetQueue("[Quadrine]\nAttributes=256\nJobs=3,4,35,0,15\n");
  shm_unlink(testing_support::SharedBlockName().c_str());
  const auto run = converter.Run();
  EXPECT_EQ(run.exitCode, 0);
  // Seven pages, none blank, copied under the output setting's bare folder name.
  for (const char* page :
       {"0001.emf", "0002.emf", "0003.emf", "0004.emf", "0005.emf", "0006.emf", "0007.emf"}) {
    EXPECT_EQ(ReadFile(converter / ("out/" + std::string(page))).substr(40, 4), " EMF") << page;
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(converter / "out"),
                          std::filesystem::directory_iterator()),
            7);
  EXPECT_TRUE(FileExists(converter.SpoolFolder() + "/00015.SPL"));
  EXPECT_EQ(converter.Queue(), "[Quadrine]\nAttributes=256\nJobs=15\n");
  EXPECT_NE(converter.Log().find("This is not a valid spooler file: '" + converter.SpoolFolder() +
                                 "/00015.SPL'\n"),
            std::string::npos);
  shm_unlink(testing_support::SharedBlockName().c_str());
}

TEST(SpoolIntake, The9xFamilyCopiesTheTemporaryPages) {
  InstalledConverter converter;
  converter.SetOption("AutoSave", "OutputFile", "C:\\out\\x.emf");
  std::filesystem::create_directories(converter / "out");
  const std::string temp = converter.elsewhere() + "/temp";
  std::filesystem::create_directories(temp);
  WriteFile(temp + "/~EMF01.tmp", MinimalEmf(108, 1000, 1000));
  WriteFile(temp + "/~emf02.tmp", MinimalEmf(108, 2000, 2000));
  WriteFile(temp + "/~emf03.tmp", "");  // empty: invisible
  WriteFile(temp + "/leftover.emf", "x");
  WriteFile(temp + "/leftover.spl", "x");
  WriteFile(converter / "out/old0000.emf", "kept");
  shm_unlink(testing_support::SharedBlockName().c_str());
  const auto run = converter.Run({}, {"QUADRINE_WINVER=0xC0000A04", "TMP=" + temp});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(ReadFile(converter / "out/x0001.emf"), MinimalEmf(108, 1000, 1000));
  EXPECT_EQ(ReadFile(converter / "out/x0002.emf"), MinimalEmf(108, 2000, 2000));
  EXPECT_EQ(ReadFile(converter / "out/old0000.emf"), "kept");
  // Each copied page leaves the temporary folder; other programs' files there stay.
  EXPECT_FALSE(FileExists(temp + "/~EMF01.tmp"));
  EXPECT_FALSE(FileExists(temp + "/~emf02.tmp"));
  EXPECT_TRUE(FileExists(temp + "/leftover.emf"));
  EXPECT_TRUE(FileExists(temp + "/leftover.spl"));
  shm_unlink(testing_support::SharedBlockName().c_str());
}

TEST(PageOutput, APrintedJobBecomesNumberedPngFiles) {
  InstalledConverter converter;
  converter.SetOption("AutoSave", "OutputFile", "C:\\out\\scan.png");
  converter.SetOption("AutoSaveOptions", "m_strResolution", "144");
  std::filesystem::create_directories(converter / "out");
  WriteFile(converter.elsewhere() + "/a.emf", MinimalEmf(108, 5000, 5000));
  ASSERT_EQ(converter.Print({"--no-run", "a.emf", "a.emf"}).exitCode, 0);
  shm_unlink(testing_support::SharedBlockName().c_str());
  const auto run = converter.Run();
  EXPECT_EQ(run.exitCode, 0) << run.err;
  for (const char* name : {"out/scan0001.png", "out/scan0002.png"}) {
    EXPECT_EQ(ReadFile(converter / name).substr(1, 3), "PNG") << name;
  }
  EXPECT_FALSE(FileExists(converter / "out/000010000.emf"));
  shm_unlink(testing_support::SharedBlockName().c_str());
}

TEST(PageOutput, APrintedJobBecomesNumberedBitmaps) {
  InstalledConverter converter;
  converter.SetOption("AutoSave", "OutputFile", "C:\\out\\scan.bmp");
  std::filesystem::create_directories(converter / "out");
  WriteFile(converter.elsewhere() + "/a.emf", MinimalEmf(108, 5000, 5000));
  ASSERT_EQ(converter.Print({"--no-run", "a.emf", "a.emf"}).exitCode, 0);
  shm_unlink(testing_support::SharedBlockName().c_str());
  const auto run = converter.Run();
  EXPECT_EQ(run.exitCode, 0) << run.err;
  for (const char* name : {"out/scan0001.bmp", "out/scan0002.bmp"}) {
    const std::string bmp = ReadFile(converter / name);
    ASSERT_GE(bmp.size(), 56u) << name;
    EXPECT_EQ(bmp.substr(0, 2), "BM");
  }
  EXPECT_FALSE(FileExists(converter / "out/000010000.emf"));
  EXPECT_NE(converter.Option("AutoSaveOptions", "EMFMakerTickCount"), "<missing>");
  shm_unlink(testing_support::SharedBlockName().c_str());
}

}  // namespace

namespace {

// An independent reader: libwmf's wmf2svg draws the converted page.
TEST(PageOutput, WindowsMetafilesOpenInAnotherReader) {
  ASSERT_TRUE(testing_support::FileExists("/usr/bin/wmf2svg"));  // installed by ./dev
  testing_support::InstalledConverter converter;
  converter.SetOption("AutoSave", "OutputFile", "C:\\out\\page.wmf");
  std::filesystem::create_directories(converter / "out");
  const std::string samples = QUADRINE_SOURCE_DIR "/samples/";
  ASSERT_EQ(converter.Print({"--no-run", samples + "sample-page1.emf"}).exitCode, 0);
  shm_unlink(testing_support::SharedBlockName().c_str());
  ASSERT_EQ(converter.Run().exitCode, 0);
  const auto svg = testing_support::RunProgram(
      "/usr/bin/wmf2svg", {"-o", converter / "page.svg", converter / "out/page0001.wmf"},
      converter.folder());
  EXPECT_EQ(svg.exitCode, 0) << svg.err;
  const std::string picture = testing_support::ReadFile(converter / "page.svg");
  EXPECT_NE(picture.find("<text"), std::string::npos);
  EXPECT_NE(picture.find("<polyline"), std::string::npos);
  EXPECT_NE(picture.find("<path"), std::string::npos);
  shm_unlink(testing_support::SharedBlockName().c_str());
}

}  // namespace
