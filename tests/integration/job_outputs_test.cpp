// Outputs named after their print jobs: the macros of a job in a run that collects several, hostile
// document names, and one PDF or TIFF holding each job's pages.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "base/print_job.h"
#include "integration/installed_converter.h"
#include "support/spool_builder.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using testing_support::FileExists;
using testing_support::InstalledConverter;
using testing_support::ReadFile;
using testing_support::RunProgram;
using testing_support::WriteFile;

std::string TextPage(const std::string& words) {
  testing_support::FontSpec font;
  font.face = "Arial";
  return testing_support::EmfPage(testing_support::CreateFont(font) +
                                  testing_support::TextOutA(100, 100, words));
}

// Text over a box of the colour (0x00BBGGRR), which tells the page in a picture.
std::string TextOnColour(const std::string& words, uint32_t colour) {
  using testing_support::EmfRecord;
  testing_support::FontSpec font;
  font.face = "Arial";
  return testing_support::EmfPage(
      EmfRecord(39, {2, 0, colour, 0}) + EmfRecord(37, {2}) + EmfRecord(37, {0x80000008}) +
      EmfRecord(43, {100, 100, 400, 400}) + testing_support::CreateFont(font) +
      testing_support::TextOutA(100, 500, words));
}

// A page whose last record is cut short of its fields: drawn part way, it is no page to keep.
std::string PageCutShort() {
  testing_support::FontSpec font;
  font.face = "Arial";
  return testing_support::EmfPage(testing_support::CreateFont(font) +
                                  testing_support::TextOutA(100, 100, "cut short") +
                                  testing_support::EmfRecord(108, {10, 10, 0, 0, 1, 0, 0}));
}

// A page the blank test sees ink on but that neither a PDF page nor, drawn 800 pixels wide, a
// bitmap holds: 4 mm wide and 5.5 m tall.
std::string PageTooTall() {
  using testing_support::EmfRecord;
  return testing_support::EmfPage(EmfRecord(39, {1, 0, 0, 0}) + EmfRecord(37, {1}) +
                                      EmfRecord(37, {0x80000008}) +
                                      EmfRecord(43, {0, 0, 10, 20000}),
                                  400, 550000);
}

// The files under folder, by their paths relative to it.
std::set<std::string> FilesUnder(const std::string& folder) {
  std::set<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (!entry.is_directory()) {
      files.insert(fs::relative(entry.path(), folder).string());
    }
  }
  return files;
}

std::string LocalDate(std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  char date[16];
  std::strftime(date, sizeof date, "%Y-%m-%d", &local);
  return date;
}

std::string Helper() {
  return testing_support::BuildDir() + "/tests/support/quadrine-test-helper";
}

// Prints the pages (EMF bytes) as one job under the document name, without converting it.
void PrintJob(const InstalledConverter& converter, const std::string& document,
              const std::vector<std::string>& pages) {
  std::vector<std::string> arguments = {"--no-run", "--document", document};
  for (size_t i = 0; i < pages.size(); ++i) {
    const std::string name = "page" + std::to_string(i) + ".emf";
    WriteFile(converter.elsewhere() + "/" + name, pages[i]);
    arguments.push_back(name);
  }
  ASSERT_EQ(converter.Print(arguments).exitCode, 0) << document;
}

TEST(JobOutputs, EachJobOfOneRunIsNamedAfterItsOwnDocument) {
  InstalledConverter converter;
  converter.SetConfig("debug", "outlog", "Yes");
  const char* setting = "%APPFOLDER%\\out\\%USERNAME%-%DATE%\\%DOCNAME%\\p%JOBID%_.emf";
  converter.SetOption("AutoSave", "OutputFile", setting);
  const std::string box = testing_support::BoxPage(0x000000);
  PrintJob(converter, "C:\\Users\\me\\Quarterly report.docx", {box, box});
  PrintJob(converter, "Letter", {box});
  const std::time_t before = std::time(nullptr);
  const auto run = converter.Run();
  const std::time_t after = std::time(nullptr);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  shm_unlink(testing_support::SharedBlockName().c_str());

  const passwd* user = getpwuid(geteuid());
  ASSERT_NE(user, nullptr);
  std::string folder = "out/" + SafeDocumentName(user->pw_name) + "-" + LocalDate(before);
  if (!fs::is_directory(converter / folder)) {
    folder = "out/" + SafeDocumentName(user->pw_name) + "-" + LocalDate(after);  // at midnight
  }
  // Each job in its own folder, numbered from the start; the page files, cut into the folder
  // before the job's, are gone.
  const std::set<std::string> expected = {"Quarterly report.docx/p1_0001.emf",
                                          "Quarterly report.docx/p1_0002.emf",
                                          "Letter/p2_0001.emf"};
  EXPECT_EQ(FilesUnder(converter / folder), expected);
  std::string listed;
  int number = 1;
  for (const char* name : {"Quarterly report.docx/p1_0001.emf", "Quarterly report.docx/p1_0002.emf",
                           "Letter/p2_0001.emf"}) {
    listed +=
        "File " + std::to_string(number++) + " = \"" + converter / folder + "/" + name + "\"\n";
  }
  // The log shows the setting with the job's macros in it, each job's own name, and the files.
  const std::string log = converter.Log();
  std::string files;
  for (size_t at = log.find("File "); at != std::string::npos; at = log.find("File ", at + 1)) {
    files += log.substr(log.find("File ", at), log.find('\n', at) + 1 - at);
  }
  EXPECT_EQ(files, listed);
  const std::string expanded =
      converter.folder() + "\\out\\" + SafeDocumentName(user->pw_name) + "-" + LocalDate(before);
  EXPECT_NE(log.find("strTempPath2=" + expanded + "\\%DOCNAME%\\p%JOBID%_.emf\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("Job 1 \"C:\\Users\\me\\Quarterly report.docx\" is written as '"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("Job 2 \"Letter\" is written as '"), std::string::npos) << log;
}

TEST(JobOutputs, NoDocumentNameLeadsOutOfTheOutputFolder) {
  InstalledConverter converter;
  converter.SetOption("AutoSave", "OutputFile", "C:\\out\\%DOCNAME%\\%DOCNAME%.emf");
  converter.SetOption("AutoSaveOptions", "AddFileNameSuffix", "");
  struct Case {
    std::string document;
    std::string output;  // empty: any name of letters, digits and blanks will do
  };
  const std::vector<Case> cases = {
      {"..\\..\\x", "x/x.emf"},
      {"../../../../etc/passwd", "passwd/passwd.emf"},
      {converter.elsewhere() + "/victim", "victim/victim.emf"},
      {"C:\\Windows\\system32\\", "document/document.emf"},
      {"CON", "_CON/_CON.emf"},
      {"aux.txt", "_aux.txt/_aux.txt.emf"},
      {"tab\there\x01 bell\x7f", "tabhere bell/tabhere bell.emf"},
      {std::string(5000, 'a'), std::string(64, 'a') + "/" + std::string(64, 'a') + ".emf"},
      {"\xFF\xFE\xC3(invalid utf-8)", ""},
  };
  for (const Case& c : cases) {
    PrintJob(converter, c.document, {testing_support::BoxPage(0x000000)});
  }
  const auto run = converter.Run();
  ASSERT_EQ(run.exitCode, 0) << run.err;
  shm_unlink(testing_support::SharedBlockName().c_str());
  // Nothing was written beside the output folder, in it only the outputs.
  EXPECT_EQ(FilesUnder(converter.elsewhere()), std::set<std::string>{"page0.emf"});
  const std::set<std::string> outputs = FilesUnder(converter / "out");
  ASSERT_EQ(outputs.size(), cases.size());
  for (const Case& c : cases) {
    if (!c.output.empty()) {
      EXPECT_EQ(outputs.count(c.output), 1u) << c.output;
    }
  }
  for (const std::string& output : outputs) {
    EXPECT_EQ(output.find_first_not_of(
                  "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789._- /"),
              std::string::npos)
        << output;
  }
}

// The folders made for a job are held while its pages are placed: a job folder swapped for a
// link after its first page (which Windows refuses while it is held) leads no page through
// the link; the pages go on into the folder that was made.
TEST(JobOutputs, AJobFolderSwappedForALinkAfterItsFirstPageLeadsNoPageThroughIt) {
  QUADRINE_SKIP_WITHOUT_FAULT_SWITCH();
  InstalledConverter converter;
  converter.SetOption("AutoSave", "OutputFile", "C:\\out\\%DOCNAME%\\p.png");
  PrintJob(converter, "Report",
           {testing_support::BoxPage(0xFF0000), testing_support::BoxPage(0x000080),
            testing_support::BoxPage(0x0000FF)});
  const std::string held = converter.elsewhere() + "/held";
  const std::string victim = converter.elsewhere() + "/victim";
  std::filesystem::create_directories(victim);
  testing_support::ProcessResult run;
  std::thread converting([&] {
    run = converter.Run({}, {"QUADRINE_FAULT=hold-after:MoveFileExA:*p0001.png:" + held});
  });
  for (int i = 0; i < 3000 && !FileExists(held); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(FileExists(held)) << "the run never placed its first page";
  const std::string job = converter / "out/Report";
  std::filesystem::rename(job, converter / "out/moved");
  std::filesystem::create_directory_symlink(victim, job);
  std::filesystem::remove(held);
  converting.join();
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(std::filesystem::is_empty(victim));
  EXPECT_EQ(FilesUnder(converter / "out/moved"),
            (std::set<std::string>{"p0001.png", "p0002.png", "p0003.png"}));
}

// A document's pages by pdftotext, page by page.
std::vector<std::string> PdfPages(const std::string& pdf) {
  std::vector<std::string> pages;
  const std::string text = RunProgram("/usr/bin/pdftotext", {pdf, "-"}, "/").out;
  size_t start = 0;
  for (size_t feed = text.find('\f'); feed != std::string::npos; feed = text.find('\f', start)) {
    std::string page = text.substr(start, feed - start);
    while (!page.empty() && (page.back() == '\n' || page.back() == ' ')) {
      page.pop_back();
    }
    pages.push_back(page);
    start = feed + 1;
  }
  return pages;
}

// What Pillow reads in a TIFF: whether it is the classic form, then each frame's colour at
// (200, 200) as RRGGBB.
std::string TiffPages(const std::string& tiff) {
  const auto read =
      RunProgram("/usr/bin/python3",
                 {"-c",
                  "import sys\nfrom PIL import Image, ImageSequence\nim = Image.open(sys.argv[1])\n"
                  "print(open(sys.argv[1], 'rb').read(4) == b'II*\\0', *['%02x%02x%02x' % "
                  "f.convert('RGB').getpixel((200, 200)) for f in ImageSequence.Iterator(im)])",
                  tiff},
                 "/");
  return read.out;
}

TEST(JobOutputs, OneFilePerJobHoldsEachJobsPagesInOrder) {
  for (const std::string extension : {"pdf", "tif"}) {
    InstalledConverter converter;
    converter.SetOption("AutoSave", "OutputFile",
                        ("%APPFOLDER%\\out\\%DOCNAME%." + extension).c_str());
    converter.SetOption("AutoSaveOptions", "bOneFilePerJob", "1");
    const std::string record = converter.elsewhere() + "/hooks.txt";
    converter.SetOption("RunExe", "PATH", (Helper() + " record " + record + " after %1").c_str());
    PrintJob(converter, "Quarterly report",
             {TextOnColour("first page", 0x0000FF), TextOnColour("second page", 0x00FF00),
              TextOnColour("third page", 0xFF0000)});
    PrintJob(converter, "Letter", {TextOnColour("dear reader", 0x000000)});
    const auto run = converter.Run();
    ASSERT_EQ(run.exitCode, 0) << run.err;
    shm_unlink(testing_support::SharedBlockName().c_str());

    const std::string report = converter / ("out/Quarterly report." + extension);
    const std::string letter = converter / ("out/Letter." + extension);
    EXPECT_EQ(FilesUnder(converter / "out"),
              (std::set<std::string>{"Quarterly report." + extension, "Letter." + extension}));
    // One entry a job in the published list and in the after-hook's.
    const std::string list = report + "\n" + letter + "\n";
    EXPECT_EQ(ReadFile(converter / "outfiles.txt"), list);
    EXPECT_EQ(ReadFile(record), "after: [" + converter / "outfiles.txt" + "]\n" + list);
    EXPECT_EQ(converter.Option("AutoSaveOptions", "bOneFilePerJob"), "1");
    if (extension == "pdf") {
      EXPECT_EQ(PdfPages(report),
                (std::vector<std::string>{"first page", "second page", "third page"}));
      EXPECT_EQ(PdfPages(letter), std::vector<std::string>{"dear reader"});
      const auto info = RunProgram("/usr/bin/pdfinfo", {report}, "/");
      EXPECT_NE(info.out.find("Title:           Quarterly report\n"), std::string::npos)
          << info.out;
    } else {
      EXPECT_EQ(TiffPages(report), "True ff0000 00ff00 0000ff\n");
      EXPECT_EQ(TiffPages(letter), "True 000000\n");
    }

    // The same document again: its name is taken, and the counter tells them apart.
    PrintJob(converter, "Quarterly report", {TextPage("again")});
    EXPECT_EQ(converter.Run().exitCode, 0);
    shm_unlink(testing_support::SharedBlockName().c_str());
    EXPECT_TRUE(FileExists(converter / ("out/Quarterly report000." + extension)));
  }
}

TEST(JobOutputs, APageThatFailsIsKeptAndTheDocumentHoldsTheOthers) {
  for (const std::string extension : {"pdf", "tif"}) {
    InstalledConverter converter;
    converter.SetOption("AutoSave", "OutputFile", ("C:\\out\\%DOCNAME%." + extension).c_str());
    converter.SetOption("AutoSaveOptions", "bOneFilePerJob", "1");
    converter.SetOption("AutoSaveOptions", "bSpecifyWidthHeight", "1");
    converter.SetOption("AutoSaveOptions", "strWidthAndHeight", "800x0");
    const std::string record = converter.elsewhere() + "/hooks.txt";
    converter.SetOption("RunExe", "PATH", (Helper() + " record " + record + " after").c_str());
    PrintJob(converter, "Mixed",
             {TextOnColour("before", 0x0000FF), PageTooTall(), PageCutShort(),
              TextOnColour("after", 0xFF0000)});
    const auto run = converter.Run();
    shm_unlink(testing_support::SharedBlockName().c_str());
    EXPECT_EQ(run.exitCode, 1);
    // Named in their order, their page files kept.
    const size_t second = run.err.find("quadrine: page 2 (" + converter / "out/000010001.emf): ");
    const size_t third = run.err.find("quadrine: page 3 (" + converter / "out/000010002.emf): ");
    EXPECT_NE(second, std::string::npos) << run.err;
    EXPECT_NE(third, std::string::npos) << run.err;
    EXPECT_LT(second, third) << run.err;
    EXPECT_EQ(FilesUnder(converter / "out"),
              (std::set<std::string>{"Mixed." + extension, "000010001.emf", "000010002.emf"}));
    EXPECT_EQ(ReadFile(converter / "outfiles.txt"), converter / ("out/Mixed." + extension) + "\n");
    if (extension == "pdf") {
      EXPECT_EQ(PdfPages(converter / "out/Mixed.pdf"),
                (std::vector<std::string>{"before", "after"}));
    } else {
      EXPECT_EQ(TiffPages(converter / "out/Mixed.tif"), "True ff0000 0000ff\n");
    }
  }
}

TEST(JobOutputs, AKilledRunLeavesTheJobsPagesForTheNextToMakeItsDocument) {
  QUADRINE_SKIP_WITHOUT_FAULT_SWITCH();
  InstalledConverter converter;
  converter.SetOption("AutoSave", "OutputFile", "C:\\out\\%DOCNAME%.pdf");
  converter.SetOption("AutoSaveOptions", "bOneFilePerJob", "1");
  PrintJob(converter, "Minutes", {TextPage("one"), TextPage("two"), TextPage("three")});
  // Killed as the document is begun, its pages recorded and not yet converted.
  const auto killed =
      converter.Run({}, {"QUADRINE_FAULT=stop-after:CreateFileA:*/out/~quadrine-*.pdf"});
  EXPECT_NE(killed.exitCode, 0);
  const std::set<std::string> left = FilesUnder(converter / "out");
  EXPECT_EQ(left.count("000010000.emf") + left.count("000010001.emf") + left.count("000010002.emf"),
            3u);
  const auto next = converter.Run();
  shm_unlink(testing_support::SharedBlockName().c_str());
  ASSERT_EQ(next.exitCode, 0) << next.err;
  EXPECT_EQ(FilesUnder(converter / "out"), std::set<std::string>{"Minutes.pdf"});
  EXPECT_EQ(PdfPages(converter / "out/Minutes.pdf"),
            (std::vector<std::string>{"one", "two", "three"}));
}

TEST(JobOutputs, AKilledRunOfThe9xSpoolersPagesMakesOneDocumentOfThem) {
  QUADRINE_SKIP_WITHOUT_FAULT_SWITCH();
  InstalledConverter converter;
  converter.SetOption("AutoSave", "OutputFile", "C:\\out\\%DOCNAME%-%JOBID%.tif");
  converter.SetOption("AutoSaveOptions", "bOneFilePerJob", "1");
  WriteFile(converter.elsewhere() + "/~EMF15.tmp", TextOnColour("one", 0x0000FF));
  WriteFile(converter.elsewhere() + "/~EMF27.tmp", TextOnColour("two", 0x00FF00));
  const std::string windows98 = "QUADRINE_WINVER=0xC0000A04";
  const auto killed =
      converter.Run({}, {windows98, "QUADRINE_FAULT=stop-after:CreateFileA:*/out/~quadrine-*.tif"});
  EXPECT_NE(killed.exitCode, 0);
  const auto next = converter.Run({}, {windows98});
  shm_unlink(testing_support::SharedBlockName().c_str());
  ASSERT_EQ(next.exitCode, 0) << next.err;
  // Pages of no job are one job, numbered 0, after a kill as before it.
  EXPECT_EQ(FilesUnder(converter / "out"), std::set<std::string>{"document-0.tif"});
  EXPECT_EQ(TiffPages(converter / "out/document-0.tif"), "True ff0000 00ff00\n");
}

TEST(JobOutputs, AFolderOfAJobThatCannotBeMadeKeepsItsPages) {
  InstalledConverter converter;
  converter.SetOption("AutoSave", "OutputFile", "C:\\out\\%DOCNAME%\\page.emf");
  fs::create_directories(converter / "out");
  WriteFile(converter / "out/Taken", "a file where the job's folder would be");
  fs::create_directory_symlink(converter.elsewhere(), converter / "out/Linked");
  const std::string box = testing_support::BoxPage(0x000000);
  PrintJob(converter, "Taken", {box});
  PrintJob(converter, "Linked", {box});
  const auto run = converter.Run();
  shm_unlink(testing_support::SharedBlockName().c_str());
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("its folder '" + converter / "out/Taken' could not be made"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("its folder '" + converter / "out/Linked' is a link"), std::string::npos)
      << run.err;
  // Nothing went through the link; both pages wait in the output folder.
  EXPECT_EQ(FilesUnder(converter.elsewhere()), std::set<std::string>{"page0.emf"});
  EXPECT_TRUE(FileExists(converter / "out/000010000.emf"));
  EXPECT_TRUE(FileExists(converter / "out/000020000.emf"));
}

TEST(JobOutputs, AFullDiskFailsTheDocumentAndKeepsEveryPage) {
  QUADRINE_SKIP_WITHOUT_FAULT_SWITCH();
  for (const std::string extension : {"pdf", "tif"}) {
    InstalledConverter converter;
    converter.SetOption("AutoSave", "OutputFile", ("C:\\out\\%DOCNAME%." + extension).c_str());
    converter.SetOption("AutoSaveOptions", "bOneFilePerJob", "1");
    PrintJob(converter, "Full", {TextPage("one"), TextPage("two")});
    const auto run = converter.Run({}, {"QUADRINE_FAULT=disk-full:*/out/~quadrine-*"});
    shm_unlink(testing_support::SharedBlockName().c_str());
    EXPECT_EQ(run.exitCode, 1) << extension;
    for (const char* page : {"000010000.emf", "000010001.emf"}) {
      EXPECT_NE(run.err.find(converter / "out/" + page), std::string::npos) << run.err;
    }
    EXPECT_NE(run.err.find("the disk is full"), std::string::npos) << run.err;
    EXPECT_EQ(FilesUnder(converter / "out"),
              (std::set<std::string>{"000010000.emf", "000010001.emf"}));
  }
}

TEST(JobOutputs, AFormatOfOnePageAFileIgnoresOneFilePerJob) {
  InstalledConverter converter;
  converter.SetConfig("debug", "outlog", "Yes");
  converter.SetOption("AutoSave", "OutputFile", "C:\\out\\%DOCNAME%.emf");
  converter.SetOption("AutoSaveOptions", "bOneFilePerJob", "1");
  const std::string box = testing_support::BoxPage(0x000000);
  PrintJob(converter, "Two pages", {box, box});
  ASSERT_EQ(converter.Run().exitCode, 0);
  shm_unlink(testing_support::SharedBlockName().c_str());
  EXPECT_EQ(FilesUnder(converter / "out"),
            (std::set<std::string>{"Two pages0001.emf", "Two pages0002.emf"}));
  EXPECT_NE(converter.Log().find("bOneFilePerJob is set, but a .emf file holds one page: each "
                                 "page is written on its own.\n"),
            std::string::npos);
}

// A page drawn only through EMF+ is not taken for a blank page: it is converted as GDI draws
// it, empty, and the log says which, page by page and in one document a job.
TEST(JobOutputs, APageOfOnlyEmfPlusDrawingIsSaidInTheLog) {
  const std::string emf_plus = testing_support::EmfPlusOnlyPage();
  const std::string box = testing_support::BoxPage(0x000000);
  for (const char* one_file : {"0", "1"}) {
    InstalledConverter converter;
    converter.SetConfig("debug", "outlog", "Yes");
    converter.SetOption("AutoSave", "OutputFile", "C:\\out\\page.tif");
    converter.SetOption("AutoSaveOptions", "bOneFilePerJob", one_file);
    PrintJob(converter, "Chart", {box, emf_plus});
    ASSERT_EQ(converter.Run().exitCode, 0) << one_file;
    shm_unlink(testing_support::SharedBlockName().c_str());
    const std::string log = converter.Log();
    EXPECT_NE(log.find("page 2 (" + converter / "out/000010001.emf" +
                       ") holds only EMF+ drawing, which GDI draws as nothing\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("page 1 holds"), std::string::npos) << log;
    // Not taken for a blank page: its drawing is there, for a reader of EMF+ to draw.
    const std::set<std::string> files = *one_file == '1'
                                            ? std::set<std::string>{"page.tif"}
                                            : std::set<std::string>{"page0001.tif", "page0002.tif"};
    EXPECT_EQ(FilesUnder(converter / "out"), files);
  }
}

}  // namespace
