#include <gtest/gtest.h>

#include <string>

#include "win32/msvcrt/msvcrt.h"

namespace {

struct SplitCase {
  const char* path;
  const char* drive;
  const char* dir;
  const char* fname;
  const char* ext;
};

TEST(SplitPath, TakesBothSeparatorsAndADrive) {
  const SplitCase cases[] = {
      {"C:\\out\\page.png", "C:", "\\out\\", "page", ".png"},
      {"D:\\out\\scan", "D:", "\\out\\", "scan", ""},
      {"C:\\", "C:", "\\", "", ""},
      {"page.bmp", "", "", "page", ".bmp"},
      {"/tmp/x.tar.gz", "", "/tmp/", "x.tar", ".gz"},
      {"/srv/out\\mixed/f.emf", "", "/srv/out\\mixed/", "f", ".emf"},
      {"\\\\server\\share\\f.txt", "", "\\\\server\\share\\", "f", ".txt"},
      {"dir.d/name", "", "dir.d/", "name", ""},
      {".hidden", "", "", "", ".hidden"},
      {"", "", "", "", ""},
  };
  for (const SplitCase& c : cases) {
    char drive[_MAX_DRIVE];
    char dir[_MAX_DIR];
    char fname[_MAX_FNAME];
    char ext[_MAX_EXT];
    _splitpath(c.path, drive, dir, fname, ext);
    EXPECT_STREQ(drive, c.drive) << c.path;
    EXPECT_STREQ(dir, c.dir) << c.path;
    EXPECT_STREQ(fname, c.fname) << c.path;
    EXPECT_STREQ(ext, c.ext) << c.path;
  }
}

TEST(SplitPath, BoundsEveryPart) {
  const std::string long_name(600, 'n');
  const std::string path = "C:\\" + std::string(400, 'd') + "\\" + long_name + "." + long_name;
  char drive[_MAX_DRIVE];
  char dir[_MAX_DIR];
  char fname[_MAX_FNAME];
  char ext[_MAX_EXT];
  _splitpath(path.c_str(), drive, dir, fname, ext);
  EXPECT_EQ(std::string(dir).size(), _MAX_DIR - 1u);
  EXPECT_EQ(std::string(fname).size(), _MAX_FNAME - 1u);
  EXPECT_EQ(std::string(ext).size(), _MAX_EXT - 1u);
}

TEST(MakePath, JoinsWithThePlatformSeparator) {
  struct Case {
    const char* drive;
    const char* dir;
    const char* fname;
    const char* ext;
    const char* expected;
  };
  const Case cases[] = {
      {"C:", "\\out\\", "scan0001", ".png", "C:\\out\\scan0001.png"},
      {"", "/tmp", "x", "bmp", "/tmp/x.bmp"},
      {"C", "\\", "f", ".emf", "C:\\f.emf"},
      {"D:", "\\out\\", nullptr, nullptr, "D:\\out\\"},
      {nullptr, nullptr, "page", ".bmp", "page.bmp"},
      {"", "", "", "", ""},
  };
  for (const Case& c : cases) {
    char path[_MAX_PATH];
    _makepath(path, c.drive, c.dir, c.fname, c.ext);
    EXPECT_STREQ(path, c.expected);
  }
}

TEST(MakePath, NeverWritesPastMaxPath) {
  const std::string part(250, 'p');
  char path[_MAX_PATH + 16];
  std::fill(std::begin(path), std::end(path), '#');
  _makepath(path, "C:", part.c_str(), part.c_str(), part.c_str());
  EXPECT_EQ(std::string(path).size(), _MAX_PATH - 1u);
  EXPECT_EQ(path[_MAX_PATH], '#');
}

}  // namespace
