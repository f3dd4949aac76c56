#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "support/test_support.h"
#include "win32/win32.h"

namespace {

using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

std::string Read(const std::string& file, const char* section, const char* key,
                 const char* fallback = "<default>", DWORD size = 256) {
  char buffer[512];
  const DWORD length = GetPrivateProfileStringA(section, key, fallback, buffer, size, file.c_str());
  EXPECT_EQ(length, std::string(buffer).size());
  return buffer;
}

const char kSample[] =
    "; settings of a test\n"
    "[Section]\n"
    "  Key  =  value with spaces  \n"
    "Quoted=\"quoted value\"\n"
    "Single='x'\n"
    "Mismatch=\"abc'\n"
    "Empty=\n"
    "NoEquals\n"
    "\n"
    "[other]\n"
    "Key=other\n"
    "[Twice]\n"
    "dup=1\n"
    "DUP=2\n";

TEST(ProfileRead, FollowsTheWindowsRules) {
  TempDir dir;
  const std::string file = dir / "a.ini";
  WriteFile(file, kSample);
  struct Case {
    const char* section;
    const char* key;
    const char* expected;
  };
  const Case cases[] = {
      {"Section", "Key", "value with spaces"},  // blanks around key and value trimmed
      {"SECTION", "kEY", "value with spaces"},  // case of section and key ignored
      {"Section", "Quoted", "quoted value"},    // one pair of quotes removed
      {"Section", "Single", "x"},
      {"Section", "Mismatch", "\"abc'"},  // quotes that do not pair stay
      {"Section", "Empty", ""},           // present but empty: not the default
      {"Section", "NoEquals", "<default>"},
      {"Section", "Missing", "<default>"},
      {"Nowhere", "Key", "<default>"},
      {"other", "Key", "other"},
      {"Twice", "dup", "1"},  // the first of two
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Read(file, c.section, c.key), c.expected) << c.section << "/" << c.key;
  }
}

TEST(ProfileRead, CutsToTheBufferAndTrimsTheDefault) {
  TempDir dir;
  const std::string file = dir / "a.ini";
  WriteFile(file, kSample);
  EXPECT_EQ(Read(file, "Section", "Key", "", 5), "valu");
  EXPECT_EQ(Read(file, "Section", "Key", "", 1), "");
  EXPECT_EQ(Read(file, "Section", "Missing", "abc  "), "abc");
  EXPECT_EQ(Read(file, "Section", "Missing", nullptr), "");
  EXPECT_EQ(Read(dir / "missing.ini", "Section", "Key", "fallback"), "fallback");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST(ProfileRead, CopesWithBinaryJunkAndCrLf) {
  TempDir dir;
  const std::string junk = dir / "junk.ini";
  std::string bytes = "\xEF\xBB\xBF[s]\r\nk = v \r\n";
  bytes += std::string("\0\xff[\n=\n[\n", 9);
  bytes += std::string(100000, 'x');
  WriteFile(junk, bytes);
  EXPECT_EQ(Read(junk, "s", "k"), "v");
  EXPECT_EQ(Read(junk, "t", "k"), "<default>");
}

TEST(ProfileInt, ReadsLikeWindows) {
  TempDir dir;
  const std::string file = dir / "n.ini";
  WriteFile(file, "[n]\na=12abc\nb=abc\nc=-5\nd=0x10\ne=\nf= 7 \n");
  struct Case {
    const char* key;
    int expected;
  };
  const Case cases[] = {{"a", 12}, {"b", 0}, {"c", -5},      {"d", 16},
                        {"e", 42}, {"f", 7}, {"missing", 42}};
  for (const Case& c : cases) {
    EXPECT_EQ(static_cast<int>(GetPrivateProfileIntA("n", c.key, 42, file.c_str())), c.expected)
        << c.key;
  }
}

TEST(ProfileWrite, CreatesTheFileAndTheSection) {
  TempDir dir;
  const std::string file = dir / "new.ini";
  ASSERT_TRUE(WritePrivateProfileStringA("AutoSave", "OutputFile", "C:\\", file.c_str()));
  ASSERT_TRUE(WritePrivateProfileStringA("AutoSaveOptions", "A", "1", file.c_str()));
  ASSERT_TRUE(WritePrivateProfileStringA("autosave", "Second", "2", file.c_str()));
  EXPECT_EQ(ReadFile(file), "[AutoSave]\nOutputFile=C:\\\nSecond=2\n[AutoSaveOptions]\nA=1\n");
}

TEST(ProfileWrite, KeepsEveryOtherLine) {
  TempDir dir;
  const std::string file = dir / "a.ini";
  WriteFile(file, kSample);
  ASSERT_TRUE(WritePrivateProfileStringA("section", "KEY", "new", file.c_str()));
  ASSERT_TRUE(WritePrivateProfileStringA("Section", "Added", "yes", file.c_str()));
  std::string expected = kSample;
  expected.replace(expected.find("  Key  =  value with spaces  "), 29, "Key=new");
  expected.replace(expected.find("NoEquals\n") + 9, 0, "Added=yes\n");
  EXPECT_EQ(ReadFile(file), expected);
}

TEST(ProfileWrite, DeletesKeysAndSections) {
  TempDir dir;
  const std::string file = dir / "a.ini";
  WriteFile(file, "[a]\nx=1\ny=2\n[b]\nz=3\n[c]\n");
  ASSERT_TRUE(WritePrivateProfileStringA("a", "x", nullptr, file.c_str()));
  ASSERT_TRUE(WritePrivateProfileStringA("B", nullptr, nullptr, file.c_str()));
  EXPECT_EQ(ReadFile(file), "[a]\ny=2\n[c]\n");
}

TEST(ProfileWrite, KeepsCrLfAndReplacesAtomically) {
  TempDir dir;
  const std::string file = dir / "crlf.ini";
  WriteFile(file, "[a]\r\nx=1\r\n");
  chmod(file.c_str(), 0640);
  ASSERT_TRUE(WritePrivateProfileStringA("a", "y", "2", file.c_str()));
  ASSERT_TRUE(WritePrivateProfileStringA("b", "z", "3", file.c_str()));
  EXPECT_EQ(ReadFile(file), "[a]\r\nx=1\r\ny=2\r\n[b]\r\nz=3\r\n");
  struct stat info {};
  ASSERT_EQ(stat(file.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  // Nothing but the file itself is left in the folder.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()),
            1);
}

// A writer killed between making its new file and moving it over the old one leaves that new
// file; the next write removes it once its process has ended, and never a live writer's.
TEST(ProfileWrite, ANewFileAWriterThatDiedLeftIsRemoved) {
  TempDir dir;
  const std::string file = dir / "settings.ini";
  const pid_t child = fork();
  if (child == 0) {
    _exit(0);
  }
  waitpid(child, nullptr, 0);
  const std::string dead = file + ".~" + std::to_string(child) + "-0123456789abcdef";
  const std::string live = file + ".~" + std::to_string(getpid()) + "-0123456789abcdef";
  const std::string other = file + ".~notes";
  for (const std::string& path : {dead, live, other}) {
    WriteFile(path, "[a]\nx=");
  }
  ASSERT_TRUE(WritePrivateProfileStringA("a", "x", "1", file.c_str()));
  EXPECT_FALSE(std::filesystem::exists(dead));
  EXPECT_TRUE(std::filesystem::exists(live));
  EXPECT_TRUE(std::filesystem::exists(other));
}

TEST(ProfileWrite, WritingBackTheSameValueLeavesTheFileAlone) {
  TempDir dir;
  const std::string file = dir / "a.ini";
  WriteFile(file, "[debug]\noutlog=No\n");
  struct stat before {};
  ASSERT_EQ(stat(file.c_str(), &before), 0);
  ASSERT_TRUE(WritePrivateProfileStringA("debug", "outlog", "No", file.c_str()));
  struct stat after {};
  ASSERT_EQ(stat(file.c_str(), &after), 0);
  EXPECT_EQ(before.st_ino, after.st_ino);
}

// A write never goes through a link planted at the file's own name (the rename replaces the
// link itself) nor at a temporary name beside it (those are new, exclusive and unpredictable:
// names that this process might have used are no hindrance), and keeps the owner of a file
// that is someone else's.
TEST(ProfileWrite, NeverWritesThroughAPlantedLinkAndKeepsTheOwner) {
  TempDir dir;
  const std::string file = dir / "option.ini";
  const std::string victim = dir / "victim";
  WriteFile(victim, "[a]\nx=1\n");
  std::filesystem::create_symlink(victim, file);
  ASSERT_TRUE(WritePrivateProfileStringA("a", "y", "2", file.c_str()));
  EXPECT_EQ(ReadFile(victim), "[a]\nx=1\n");
  EXPECT_FALSE(std::filesystem::is_symlink(file));
  EXPECT_EQ(ReadFile(file), "[a]\nx=1\ny=2\n");

  for (int n = 0; n < 256; ++n) {
    std::filesystem::create_symlink(
        victim, file + ".~" + std::to_string(getpid()) + "." + std::to_string(n));
  }
  for (int n = 0; n < 8; ++n) {
    ASSERT_TRUE(WritePrivateProfileStringA("b", "n", std::to_string(n).c_str(), file.c_str()));
  }
  EXPECT_EQ(ReadFile(victim), "[a]\nx=1\n");
  EXPECT_EQ(ReadFile(file), "[a]\nx=1\ny=2\n[b]\nn=7\n");

  if (geteuid() == 0) {  // only root may give a file away
    ASSERT_EQ(chown(file.c_str(), 12345, 23456), 0);
    ASSERT_TRUE(WritePrivateProfileStringA("b", "n", "owned", file.c_str()));
    struct stat info {};
    ASSERT_EQ(stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 12345u);
    EXPECT_EQ(info.st_gid, 23456u);
  }
}

TEST(ProfileWrite, FailsInAFolderThatCannotBeWritten) {
  EXPECT_FALSE(WritePrivateProfileStringA("a", "b", "c", "/proc/no/such/folder/x.ini"));
  EXPECT_NE(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
}

}  // namespace
