#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "win32/kernel32/native_path.h"
#include "win32/win32.h"

namespace {

using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    const char* old = std::getenv(name);
    had_ = old != nullptr;
    old_ = had_ ? old : "";
    if (value) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (had_) {
      setenv(name_, old_.c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  bool had_;
  std::string old_;
};

TEST(NativePath, MapsDrivesAndSeparators) {
  ScopedEnv windir("WINDIR", "/srv/printer/windows");
  struct Case {
    const char* path;
    const char* expected;
  };
  const Case cases[] = {
      {"C:\\out\\scan.png", "/srv/printer/out/scan.png"},
      {"c:\\", "/srv/printer/"},
      {"C:", "/srv/printer/"},
      {"C:name.txt", "/srv/printer/name.txt"},
      {"Z:\\etc\\hosts", "/etc/hosts"},
      {"z:/tmp", "/tmp"},
      {"/tmp/a\\b", "/tmp/a/b"},
      {"relative\\file", "relative/file"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(win32::ToNativePath(c.path).value_or("<none>"), c.expected) << c.path;
  }
  for (const char* missing : {"D:\\x", "a:", ""}) {
    SetLastError(0);
    EXPECT_FALSE(win32::ToNativePath(missing)) << missing;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  }
}

// What the converter hands on: full native paths, "." and ".." resolved by name.
TEST(NativePath, FullPathsAreNativeAndAbsolute) {
  ScopedEnv windir("WINDIR", "/srv/printer/windows");
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  struct Case {
    const char* path;
    std::string expected;  // empty: refused with ERROR_PATH_NOT_FOUND
    const char* file_part;
  };
  const Case cases[] = {
      {"C:\\out\\scan0001.png", "/srv/printer/out/scan0001.png", "scan0001.png"},
      {"C:\\out\\..\\.\\x\\", "/srv/printer/x/", nullptr},
      {"Z:\\tmp\\a.emf", "/tmp/a.emf", "a.emf"},
      {"out\\b.bmp", std::string(cwd) + "/out/b.bmp", "b.bmp"},
      {"/srv/../etc", "/etc", "etc"},
      {"Q:\\x.png", "", nullptr},
  };
  for (const Case& c : cases) {
    char buffer[MAX_PATH] = "";
    LPSTR file_part = buffer;
    const DWORD length = GetFullPathNameA(c.path, sizeof buffer, buffer, &file_part);
    if (c.expected.empty()) {
      EXPECT_EQ(length, 0u) << c.path;
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND)) << c.path;
      continue;
    }
    EXPECT_EQ(length, c.expected.size()) << c.path;
    EXPECT_EQ(buffer, c.expected) << c.path;
    EXPECT_STREQ(file_part, c.file_part) << c.path;
    // A buffer one byte short gets nothing but the size it needs.
    char small[MAX_PATH] = "untouched";
    EXPECT_EQ(GetFullPathNameA(c.path, length, small, nullptr), length + 1) << c.path;
    EXPECT_STREQ(small, "untouched");
  }
}

TEST(SystemFolders, WindowsDirectoryAndTemporaryFolder) {
  {
    ScopedEnv windir("WINDIR", "/srv/w");
    char buffer[MAX_PATH];
    EXPECT_EQ(GetWindowsDirectoryA(buffer, MAX_PATH), 6u);
    EXPECT_STREQ(buffer, "/srv/w");
    EXPECT_EQ(GetWindowsDirectoryA(buffer, 3), 7u);  // too small: the size needed
  }
  {
    ScopedEnv windir("WINDIR", nullptr);
    char buffer[MAX_PATH];
    GetWindowsDirectoryA(buffer, MAX_PATH);
    EXPECT_EQ(std::string(buffer),
              win32::ExecutablePath().substr(0, win32::ExecutablePath().rfind('/')) + "/windows");
  }
  struct Case {
    const char* tmp;
    const char* temp;
    const char* tmpdir;
    const char* expected;
  };
  const Case cases[] = {
      {"/a", "/b", "/c", "/a/"},
      {nullptr, "/b/", "/c", "/b/"},
      {nullptr, nullptr, "/c", "/c/"},
      {nullptr, nullptr, nullptr, "/tmp/"},
      {"C:\\Temp\\", nullptr, nullptr, "C:\\Temp\\"},
  };
  for (const Case& c : cases) {
    ScopedEnv tmp("TMP", c.tmp);
    ScopedEnv temp("TEMP", c.temp);
    ScopedEnv tmpdir("TMPDIR", c.tmpdir);
    char buffer[MAX_PATH];
    ASSERT_GT(GetTempPathA(MAX_PATH, buffer), 0u);
    EXPECT_STREQ(buffer, c.expected);
  }
}

TEST(Version, ReportsNtUnlessOverridden) {
  struct Case {
    const char* value;
    DWORD expected;
  };
  const Case cases[] = {
      {nullptr, 0x23F00206}, {"0xC0000A04", 0xC0000A04},  {"3221228036", 0xC0000A04},
      {"junk", 0x23F00206},  {"0x1FFFFFFFF", 0x23F00206},
  };
  for (const Case& c : cases) {
    ScopedEnv version("QUADRINE_WINVER", c.value);
    EXPECT_EQ(GetVersion(), c.expected) << (c.value ? c.value : "(unset)");
  }
  EXPECT_EQ(GetVersion() & 0x80000000u, 0u);
}

TEST(Files, AttributesAndDeletion) {
  TempDir dir;
  WriteFile(dir / "f.txt", "x");
  EXPECT_EQ(GetFileAttributesA((dir / "f.txt").c_str()),
            static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(GetFileAttributesA(dir.path().c_str()), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));

  EXPECT_EQ(GetFileAttributesA((dir / "missing").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(GetFileAttributesA((dir / "no/such/file").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

  EXPECT_FALSE(DeleteFileA(dir.path().c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(DeleteFileA((dir / "f.txt").c_str()));
  EXPECT_FALSE(DeleteFileA((dir / "f.txt").c_str()));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

// A link is a reparse point, with its target's attributes, so callers can refuse it.
TEST(Files, ALinkIsAReparsePoint) {
  TempDir dir;
  WriteFile(dir / "f.txt", "x");
  std::filesystem::create_symlink(dir / "f.txt", dir / "link");
  std::filesystem::create_symlink(dir / "missing", dir / "dangling");
  EXPECT_EQ(GetFileAttributesA((dir / "link").c_str()),
            static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_REPARSE_POINT));
  EXPECT_NE(GetFileAttributesA((dir / "dangling").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
  EXPECT_EQ(GetFileAttributesA((dir / "f.txt").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
}

TEST(Files, CopyNeverDamagesWhatItWasNotAskedToReplace) {
  TempDir dir;
  const std::string a = dir / "a";
  const std::string b = dir / "b";
  WriteFile(a, std::string(200000, 'a'));
  WriteFile(b, "old");
  EXPECT_FALSE(CopyFileA(a.c_str(), b.c_str(), TRUE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
  EXPECT_EQ(ReadFile(b), "old");

  EXPECT_FALSE(CopyFileA(a.c_str(), a.c_str(), FALSE));
  EXPECT_EQ(ReadFile(a), std::string(200000, 'a'));

  EXPECT_TRUE(CopyFileA(a.c_str(), b.c_str(), FALSE));
  EXPECT_EQ(ReadFile(b), ReadFile(a));
  EXPECT_FALSE(CopyFileA((dir / "missing").c_str(), b.c_str(), FALSE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

std::vector<std::string> FindAll(const std::string& pattern, DWORD* error = nullptr) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA(pattern.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) {
    if (error) {
      *error = GetLastError();
    }
    return names;
  }
  do {
    names.push_back(data.cFileName);
  } while (FindNextFileA(find, &data));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
  EXPECT_FALSE(CloseHandle(find));  // find handles close with FindClose only
  EXPECT_TRUE(FindClose(find));
  EXPECT_FALSE(FindClose(find));
  return names;
}

TEST(Find, WildcardsWithoutRegardToCaseInNtfsOrder) {
  TempDir dir;
  for (const char* name : {"b.spl", "A.SPL", "00012.SPL", "c.splx", "d.emf", "~emf01.tmp"}) {
    WriteFile(dir / name, "x");
  }
  WriteFile(dir / "empty.spl", "");
  using Names = std::vector<std::string>;
  EXPECT_EQ(FindAll(dir / "*.SPL"), (Names{"00012.SPL", "A.SPL", "b.spl", "empty.spl"}));
  EXPECT_EQ(FindAll(dir / "~EMF*.tmp"), (Names{"~emf01.tmp"}));
  EXPECT_EQ(FindAll(dir / "?.emf"), (Names{"d.emf"}));
  EXPECT_EQ(FindAll(dir / "*.*").size(), 9u);  // with "." and ".."

  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((dir / "B.SPL").c_str(), &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  EXPECT_STREQ(data.cFileName, "b.spl");
  EXPECT_EQ(data.nFileSizeLow, 1u);
  FindClose(find);

  DWORD error = 0;
  EXPECT_TRUE(FindAll(dir / "*.pdf", &error).empty());
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(FindAll(dir / "nowhere/*.spl", &error).empty());
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST(TempFileName, CreatesAFreshEmptyFileEachTime) {
  TempDir dir;
  const std::string folder = dir.path() + "/";
  char first[MAX_PATH];
  char second[MAX_PATH];
  ASSERT_NE(GetTempFileNameA(folder.c_str(), "pdfx", 0, first), 0u);
  ASSERT_NE(GetTempFileNameA(dir.path().c_str(), "pdf", 0, second), 0u);
  EXPECT_STRNE(first, second);
  for (const char* name : {first, second}) {
    const std::string path = name;
    EXPECT_TRUE(path.starts_with(folder + "pdf")) << path;
    EXPECT_TRUE(path.ends_with(".tmp")) << path;
    EXPECT_GE(path.size(), folder.size() + 3 + 4 + 4);
    EXPECT_TRUE(testing_support::FileExists(path));
    EXPECT_EQ(ReadFile(path), "");
  }
  EXPECT_EQ(GetTempFileNameA((dir / "missing").c_str(), "pdf", 0, first), 0u);
}

}  // namespace
