// The converter and quadrine-convert draw a page by the same rules: the same pages drawn, to
// the same pixels, and the same pages failed, whether the page is a real spool page, a
// corpus picture, a damaged file or a page the engine cannot draw whole.
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "integration/installed_converter.h"
#include "support/spool_builder.h"

namespace {

using testing_support::EmfPage;
using testing_support::EmfRecord;
using testing_support::FileExists;
using testing_support::InstalledConverter;
using testing_support::ProcessResult;
using testing_support::ReadFile;
using testing_support::RunProgram;
using testing_support::WriteFile;
namespace fs = std::filesystem;

std::string Tool() {
  return testing_support::BuildDir() + "/tools/quadrine-convert/quadrine-convert";
}

// A page whose only drawing is an EMR_SMALLTEXTOUT cut short of the clipping rectangle its
// options promise: the engine draws it from zeros and says the page failed.
std::string PageTheEngineFails() {
  return EmfPage(EmfRecord(108, {10, 10, 0, 0, 1, 0, 0}));
}

// A page whose bytes stop inside its last record.
std::string PageCutShort() {
  const std::string whole = testing_support::BoxPage(0x00FF00);
  return whole.substr(0, whole.size() - 30);
}

// A 24-bit BMP's pixels, top row first, each row without its padding; empty when it is none.
std::string BmpPixels(const std::string& bmp) {
  const auto word = [&](size_t at) {
    return static_cast<uint32_t>(static_cast<uint8_t>(bmp[at])) |
           static_cast<uint32_t>(static_cast<uint8_t>(bmp[at + 1])) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(bmp[at + 2])) << 16 |
           static_cast<uint32_t>(static_cast<uint8_t>(bmp[at + 3])) << 24;
  };
  if (bmp.size() < 54 || bmp.compare(0, 2, "BM") != 0 || (word(28) & 0xFFFF) != 24) {
    return {};
  }
  const size_t offset = word(10);
  const auto width = static_cast<int32_t>(word(18));
  const auto height = static_cast<int32_t>(word(22));
  const size_t rows = static_cast<size_t>(height < 0 ? -height : height);
  const size_t row_bytes = static_cast<size_t>(width) * 3;
  const size_t stride = (row_bytes + 3) / 4 * 4;
  if (width <= 0 || offset + stride * rows > bmp.size()) {
    return {};
  }
  std::string pixels = std::to_string(width) + "x" + std::to_string(rows) + ":";
  for (size_t y = 0; y < rows; ++y) {
    const size_t stored = height < 0 ? y : rows - 1 - y;
    pixels.append(bmp, offset + stored * stride, row_bytes);
  }
  return pixels;
}

// The pixels of each BMP in the folder, in name order.
std::vector<std::string> DrawnPages(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) {
    names.push_back(entry.path().string());
  }
  std::sort(names.begin(), names.end());
  std::vector<std::string> pages;
  for (const std::string& name : names) {
    pages.push_back(BmpPixels(ReadFile(name)));
  }
  return pages;
}

// What one way of drawing made of an input: its exit status and the pages it drew.
struct Drawn {
  int exit_code = 0;
  std::vector<std::string> pages;
  std::string said;
};

// The converter, run on the spool file queued as a job of its own, writing BMP files.
Drawn ThroughTheConverter(const std::string& spool) {
  InstalledConverter converter;
  converter.SetOption("AutoSave", "OutputFile", "C:\\out\\page.bmp");
  fs::create_directories(converter / "out");
  WriteFile(converter.SpoolFolder() + "/00001.SPL", spool);
  converter.SetQueue("[Quadrine]\nAttributes=256\nJobs=1\n");
  shm_unlink(testing_support::SharedBlockName().c_str());
  const ProcessResult run = converter.Run();
  shm_unlink(testing_support::SharedBlockName().c_str());
  // Only the outputs: a page that failed keeps its page file beside them.
  const testing_support::TempDir outputs;
  for (const auto& entry : fs::directory_iterator(converter / "out")) {
    if (entry.path().extension() == ".bmp") {
      fs::copy_file(entry.path(), outputs / entry.path().filename().string());
    }
  }
  return {run.exitCode, DrawnPages(outputs.path()), run.err};
}

// quadrine-convert over the same spool file, drawn as GDI draws it (as the converter draws),
// blank pages left out as the converter leaves them.
Drawn ThroughTheTool(const std::string& spool) {
  const testing_support::TempDir dir;
  WriteFile(dir / "job.spl", spool);
  const ProcessResult run =
      RunProgram(Tool(), {"--gdi", "--skip-blank", "-f", "bmp", "-o", "out/{page}.bmp", "job.spl"},
                 dir.path());
  return {run.exitCode,
          FileExists(dir / "out") ? DrawnPages(dir / "out") : std::vector<std::string>{}, run.err};
}

// A spool file of the pages.
std::string Spool(const std::vector<std::string>& pages) {
  testing_support::SpoolFileBuilder builder("agreement");
  for (const std::string& page : pages) {
    builder.Page(page);
  }
  return builder.Build();
}

std::vector<std::string> CorpusPages(const std::string& folder,
                                     const std::vector<std::string>& names) {
  std::vector<std::string> pages;
  for (const std::string& name : names) {
    pages.push_back(ReadFile(testing_support::SharedDir() + "/corpus/" + folder + "/" + name));
  }
  return pages;
}

std::string CorpusSpool(const std::string& name) {
  return ReadFile(testing_support::SharedDir() + "/corpus/spl/" + name);
}

TEST(OnePagePath, TheConverterAndTheToolAgreeOnWhatWasDrawnAndWhatFailed) {
  ASSERT_FALSE(testing_support::SharedDir().empty());
  struct Case {
    const char* what;
    std::string spool;
    int exit_code;  // both
    size_t drawn;   // pages drawn by both
  };
  const Case cases[] = {
      {"a real spool job", CorpusSpool("EMFSpoolfileReader_00004.SPL"), 0, 3},
      {"another", CorpusSpool("export_0000s10.SPL"), 0, 1},
      // test-000 draws in light colours only: blank to both.
      {"corpus pictures",
       Spool(CorpusPages("emf", {"test-000.emf", "test-007.emf", "test-030.emf", "test-154.emf"})),
       0, 3},
      {"damaged pictures",
       Spool(CorpusPages("emf-corrupted", {"bad_corrupted_2014-12-02-215338.emf",
                                           "bad_corrupted_2014-12-02-215400.emf",
                                           "bad_corrupted_2014-12-07-140817.emf"})),
       0, 2},
      {"a page the engine fails between two that draw",
       Spool({testing_support::BoxPage(0x0000FF), PageTheEngineFails(),
              testing_support::BoxPage(0xFF0000)}),
       1, 2},
      {"a blank page", Spool({EmfPage(""), testing_support::BoxPage(0)}), 0, 1},
  };
  for (const Case& c : cases) {
    const Drawn converter = ThroughTheConverter(c.spool);
    const Drawn tool = ThroughTheTool(c.spool);
    EXPECT_EQ(converter.exit_code, c.exit_code) << c.what << "\n" << converter.said;
    EXPECT_EQ(tool.exit_code, c.exit_code) << c.what << "\n" << tool.said;
    EXPECT_EQ(converter.pages.size(), c.drawn) << c.what;
    ASSERT_EQ(tool.pages.size(), converter.pages.size()) << c.what;
    for (size_t i = 0; i < tool.pages.size(); ++i) {
      EXPECT_FALSE(tool.pages[i].empty()) << c.what << " page " << i;
      EXPECT_TRUE(tool.pages[i] == converter.pages[i]) << c.what << " page " << i;
    }
  }
  // A spool file whose last page is cut short: both say so and fail.
  const std::string cut = Spool({testing_support::BoxPage(0), PageCutShort()});
  EXPECT_EQ(ThroughTheConverter(cut.substr(0, cut.size() - 8)).exit_code, 1);
  EXPECT_EQ(ThroughTheTool(cut.substr(0, cut.size() - 8)).exit_code, 1);
}

// A page whose drawing fails is not dropped as blank by the converter: it goes on to be
// converted, fails there too, keeps its page file and is named; the run says so and exits 1.
TEST(OnePagePath, APageWhoseDrawingFailsIsNeverDroppedAsBlank) {
  InstalledConverter converter;
  converter.SetConfig("debug", "outlog", "Yes");
  converter.SetOption("AutoSave", "OutputFile", "C:\\out\\page.png");
  fs::create_directories(converter / "out");
  WriteFile(converter.elsewhere() + "/fails.emf", PageTheEngineFails());
  ASSERT_EQ(converter.Print({"--no-run", "fails.emf"}).exitCode, 0);
  shm_unlink(testing_support::SharedBlockName().c_str());
  const ProcessResult run = converter.Run();
  shm_unlink(testing_support::SharedBlockName().c_str());
  EXPECT_EQ(run.exitCode, 1) << run.err;
  EXPECT_NE(run.err.find("000010000.emf"), std::string::npos) << run.err;
  EXPECT_TRUE(FileExists(converter / "out/000010000.emf"));
  EXPECT_FALSE(FileExists(converter / "out/page0001.png"));
  const std::string log = converter.Log();
  EXPECT_EQ(log.find("is blank and is left out"), std::string::npos) << log;
  EXPECT_NE(log.find("could not be drawn whole"), std::string::npos) << log;
}

}  // namespace
