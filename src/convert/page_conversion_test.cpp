#include "convert/page_conversion.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "convert/page_conversion_test.h"
#include "services/program_values.h"
#include "services/settings.h"
#include "support/test_support.h"

namespace {

using conversion_testing::ConversionTest;
using testing_support::FileExists;
using testing_support::MinimalEmf;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

TEST_F(ConversionTest, SettingsParseRules) {
  struct Case {
    const char* depth;
    const char* resolution;
    const char* size;
    int expected_depth;
    float x, y;
    int width, height;
  };
  const Case cases[] = {
      {nullptr, nullptr, nullptr, 0, 0, 0, 0, 0},
      {"24bit", "300x150", "800x600", 24, 300, 150, 800, 600},
      {"", "300", "800", 24, 300, 300, 800, 800},
      {"abc", "x300", "800X600", 0, 0, 0, 800, 800},
      {"8", "150.9", "0x0", 8, 150, 150, 0, 0},
      {"1", "300X300", "x5", 1, 300, 300, 0, 0},
      {"99999999999", "150.9x72.5", "99999999999x5", 2147483647, 150.9f, 72.5f, 2147483647, 5},
      // Densities that are no number or beyond any page are not applied.
      {"24", "300xnan", "", 24, 0, 0, 0, 0},
      {"24", "1x1e30", "", 24, 0, 0, 0, 0},
      {"24", "-5x300", "", 24, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    Set("m_strColorDepth", c.depth);
    Set("m_strResolution", c.resolution);
    Set("strWidthAndHeight", c.size);
    const ImageSettings s = ReadImageSettings();
    EXPECT_EQ(s.colorDepth, c.expected_depth) << (c.depth ? c.depth : "(missing)");
    EXPECT_FLOAT_EQ(s.xResolution, c.x) << (c.resolution ? c.resolution : "(missing)");
    EXPECT_FLOAT_EQ(s.yResolution, c.y);
    EXPECT_EQ(s.width, c.width) << (c.size ? c.size : "(missing)");
    EXPECT_EQ(s.height, c.height);
  }
}

TEST(SuffixFormat, OnlyOneIntegerConversionIsKept) {
  struct Case {
    const char* format;
    const char* expected;
  };
  const Case cases[] = {{"%04d", "%04d"},     {"_%d", "_%d"},   {"", ""},         {"%%%d", "%%%d"},
                        {"-%5.3x", "-%5.3x"}, {"%s%n", "%04d"}, {"%d%d", "%04d"}, {"%*d", "%04d"},
                        {"%ld", "%04d"},      {"%", "%04d"},    {"%f", "%04d"}};
  for (const Case& c : cases) {
    EXPECT_EQ(SafeSuffixFormat(c.format), c.expected) << c.format;
  }
}

TEST_F(ConversionTest, NamesCountFromTheStartNumberAndNeverOverwrite) {
  struct Case {
    const char* start;
    const char* suffix;
    std::vector<std::string> names;
  };
  const Case cases[] = {
      {nullptr, nullptr, {"doc0001.emf", "doc0002.emf", "doc0003.emf"}},
      // Beyond the 32-bit range the number is held at its end and wraps as an int would.
      {"99999999999", nullptr, {"doc2147483647.emf", "doc-2147483648.emf", "doc-2147483647.emf"}},
      {"7", nullptr, {"doc0007.emf", "doc0008.emf", "doc0009.emf"}},
      {"abc", "_%d", {"doc_0.emf", "doc_1.emf", "doc_2.emf"}},
      {"1", "", {"doc.emf", "doc000.emf", "doc001.emf"}},
      {"1", "%s%n", {"doc0001.emf", "doc0002.emf", "doc0003.emf"}},
  };
  for (const Case& c : cases) {
    const TempDir out;
    Set("FileNameSuffixStartNumber", c.start);
    Set("AddFileNameSuffix", c.suffix);
    FileList list = Pages(3);
    const FileList pages = list;
    ConvertPages(out / "doc", list);
    FileList expected;
    for (const std::string& name : c.names) {
      expected.push_back(out / name);
    }
    EXPECT_EQ(list, expected) << (c.suffix ? c.suffix : "(default)");
    for (size_t i = 0; i < pages.size(); ++i) {
      EXPECT_FALSE(FileExists(pages[i]));  // converted pages are deleted
      EXPECT_EQ(ReadFile(expected[i]), MinimalEmf());
    }
  }
  // Both keys exist afterwards, and the start number was not advanced.
  char text[64];
  GetPrivateProfileStringA("AutoSaveOptions", "FileNameSuffixStartNumber", "?", text, 64,
                           Program().settingsPath.c_str());
  EXPECT_STREQ(text, "1");

  // A suffix too long for its buffer takes the default and is left whole, not cut.
  std::string long_suffix = "_";
  long_suffix.append(300, 'x').append("%d");
  Set("AddFileNameSuffix", long_suffix.c_str());
  const TempDir out;
  FileList list = Pages(1);
  ConvertPages(out / "doc", list);
  EXPECT_EQ(list, FileList{out / "doc0001.emf"});
  char whole[1024];
  GetPrivateProfileStringA("AutoSaveOptions", "AddFileNameSuffix", "?", whole, sizeof whole,
                           Program().settingsPath.c_str());
  EXPECT_EQ(whole, long_suffix);
}

TEST_F(ConversionTest, ASecondRunFindsItsNamesTaken) {
  const TempDir out;
  FileList first = Pages(1);
  ConvertPages(out / "doc.emf", first);
  FileList second = Pages(1);
  ConvertPages(out / "doc.emf", second);
  EXPECT_EQ(second, FileList{out / "doc0001000.emf"});
  EXPECT_EQ(MakeUniquePath(out / "free.emf"), out / "free.emf");
}

// A taken name gets a counter; where the counter would carry the path past the system's
// limit there is no free name, rather than one cut short.
TEST_F(ConversionTest, AFreeNameNeverPassesThePathLimit) {
  const TempDir out;
  for (size_t length : {size_t{100}, size_t{_MAX_PATH - 4}, size_t{_MAX_PATH - 3}}) {
    const std::string folder = out / std::string(length - out.path().size() - 7, 'd');
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    const std::string taken = folder + "/x.emf";
    ASSERT_EQ(taken.size(), length);
    WriteFile(taken, "taken");
    const std::string free = MakeUniquePath(taken);
    if (length + 3 < _MAX_PATH) {
      EXPECT_EQ(free, folder + "/x000.emf");
    } else {
      EXPECT_EQ(free, "");
    }
  }
}

TEST_F(ConversionTest, PagesWithoutOutputStayAndLeaveTheList) {
  const TempDir out;
  FileList list = Pages(2);
  WriteFile(list[1], "not a metafile");
  const FileList pages = list;
  ConvertPages(out / "scan.BMP", list);  // the extension is compared without regard to case
  EXPECT_EQ(list, FileList{out / "scan0001.BMP"});
  EXPECT_FALSE(FileExists(pages[0]));
  EXPECT_TRUE(FileExists(pages[1]));
  EXPECT_EQ(ReadFile(out / "scan0001.BMP").substr(0, 2), "BM");

  FileList wmf = Pages(1);
  ConvertPages(out / "scan.wmf", wmf);
  ASSERT_EQ(wmf, FileList{out / "scan0001.wmf"});
  EXPECT_EQ(ReadFile(wmf[0]).substr(0, 6),
            std::string("\1\0\x09\0\0\x03", 6));  // no placeable header
  FileList png = Pages(1);
  ConvertPages(out / "scan.png", png);
  ASSERT_EQ(png, FileList{out / "scan0001.png"});
  EXPECT_EQ(ReadFile(png[0]).substr(1, 3), "PNG");
  FileList unknown = Pages(1);
  ConvertPages(out / "scan.xyz", unknown);  // "unknown extension for ..." on standard error
  EXPECT_TRUE(unknown.empty());
  // An output path of 300 characters gives no file, cut or not.
  FileList long_path = Pages(1);
  ConvertPages(out / (std::string(300, 'n') + ".emf"), long_path);
  EXPECT_TRUE(long_path.empty());
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out.path()),
                          std::filesystem::directory_iterator()),
            3);
  EXPECT_TRUE(FileExists(dir_ / "page0.emf"));  // kept for another try
}

}  // namespace
