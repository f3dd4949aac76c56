// The converter built for Windows, run as the printer package starts it: beside its settings
// files in an install folder of its own, with Windows's (here Wine's) API, GDI and spooler.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "support/test_support.h"
#include "win32/win32.h"

namespace {

using testing_support::FileExists;
using testing_support::ProcessResult;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

constexpr int kNoPageExitCode = 255;  // -1, as the low byte of the exit code

// Wine runs quadrine.exe as Windows 98 while this lives: its per-program setting, taken away
// again so that other runs in the same prefix take the NT-family path.
class AsWindows98 {
 public:
  AsWindows98() {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) == ERROR_SUCCESS) {
      RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>("win98"), 6);
      RegCloseKey(key);
    }
  }
  ~AsWindows98() { RegDeleteKeyA(HKEY_CURRENT_USER, kKey); }
  AsWindows98(const AsWindows98&) = delete;
  AsWindows98& operator=(const AsWindows98&) = delete;

 private:
  static constexpr const char* kKey = "Software\\Wine\\AppDefaults\\quadrine.exe";
};

class WindowsRun : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::copy_file(testing_support::BuildDir() + "/src/run/quadrine.exe",
                               install_ / "quadrine.exe");
  }
  ProcessResult Run() const {
    return testing_support::RunProgram(install_ / "quadrine.exe", {}, temp_.path(),
                                       {"TMP=" + temp_.path(), "TEMP=" + temp_.path()});
  }
  std::string Value(const char* file, const char* section, const char* key) const {
    char buffer[1024];
    GetPrivateProfileStringA(section, key, "<missing>", buffer, sizeof buffer,
                             (install_ / file).c_str());
    return buffer;
  }
  void Set(const char* file, const char* section, const char* key, const std::string& value) {
    WritePrivateProfileStringA(section, key, value.c_str(), (install_ / file).c_str());
  }

  TempDir install_;
  TempDir temp_;
};

TEST_F(WindowsRun, WithoutAJobTheSettingsAreWrittenBackAndTheLogFollowsItsSwitch) {
  for (const char* outlog : {"No", "Yes"}) {
    Set("config.ini", "debug", "outlog", outlog);
    const ProcessResult result = Run();
    EXPECT_EQ(result.exitCode, kNoPageExitCode) << result.err;
    EXPECT_EQ(Value("option.ini", "AutoSave", "OutputFile"), "C:\\");
    EXPECT_EQ(FileExists(install_ / "quadrine.log"), std::string(outlog) == "Yes") << outlog;
  }
}

// A value of the version resource's English block, or "<missing>".
std::string VersionValue(const std::string& program, const char* name) {
  std::vector<char> data(GetFileVersionInfoSizeA(program.c_str(), nullptr));
  void* value = nullptr;
  UINT size = 0;
  if (data.empty() ||
      !GetFileVersionInfoA(program.c_str(), 0, static_cast<DWORD>(data.size()), data.data()) ||
      !VerQueryValueA(data.data(), (std::string("\\StringFileInfo\\040904B0\\") + name).c_str(),
                      &value, &size) ||
      size == 0) {
    return "<missing>";
  }
  return static_cast<const char*>(value);
}

// The application manifest (resource 1 of type 24), or "".
std::string Manifest(const std::string& program) {
  HMODULE module = LoadLibraryExA(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (module == nullptr) {
    return "";
  }
  std::string text;
  if (HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24))) {
    if (const void* bytes = LockResource(LoadResource(module, found))) {
      text.assign(static_cast<const char*>(bytes), SizeofResource(module, found));
    }
  }
  FreeLibrary(module);
  return text;
}

// The subsystem field of the PE optional header (at the same place in PE32 and PE32+).
int Subsystem(const std::string& bytes) {
  if (bytes.size() < 0x40 || bytes.compare(0, 2, "MZ") != 0) {
    return -1;
  }
  uint32_t header = 0;
  std::memcpy(&header, bytes.data() + 0x3C, 4);
  uint16_t subsystem = 0;
  if (size_t{header} + 24 + 70 > bytes.size() ||
      bytes.compare(header, 4, std::string("PE\0\0", 4)) != 0) {
    return -1;
  }
  std::memcpy(&subsystem, bytes.data() + header + 24 + 68, 2);
  return subsystem;
}

// The converter is a windowed program (the printer package starts it after every job, and a
// console program would open a console window each time); quadrine-results, for hooks and
// terminals, is a console program. Both carry version information from the project's version,
// and a manifest; both answer --version on the handles they were given, as they are.
TEST(WindowsPrograms, SubsystemVersionManifestAndAnswersOnInheritedHandles) {
  struct Case {
    const char* name;
    const char* path;  // below the build folder
    int subsystem;     // 2 windowed, 3 console
  };
  const Case cases[] = {{"quadrine", "/src/run/quadrine.exe", 2},
                        {"quadrine-results", "/tools/quadrine-results/quadrine-results.exe", 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string program = testing_support::BuildDir() + c.path;
    EXPECT_EQ(Subsystem(ReadFile(program)), c.subsystem);
    EXPECT_EQ(VersionValue(program, "ProductVersion"), QUADRINE_VERSION);
    EXPECT_EQ(VersionValue(program, "FileVersion"), QUADRINE_VERSION);
    EXPECT_EQ(VersionValue(program, "ProductName"), "Quadrine");
    EXPECT_EQ(VersionValue(program, "OriginalFilename"), std::string(c.name) + ".exe");
    const std::string manifest = Manifest(program);
    for (const char* part : {"level=\"asInvoker\"", "name=\"Microsoft.Windows.Common-Controls\"",
                             "version=\"6.0.0.0\"", "<dpiAware", "PerMonitorV2"}) {
      EXPECT_NE(manifest.find(part), std::string::npos) << part << "\n" << manifest;
    }
    const ProcessResult result = testing_support::RunProgram(program, {"--version"}, ".");
    EXPECT_EQ(result.exitCode, 0);
    // Standard output is in text mode: lines end in CR LF.
    EXPECT_EQ(result.out, std::string(c.name) + " " + QUADRINE_VERSION + "\r\n");
  }
}

// Started from a console with no handles of its own (as a person typing in a console window
// starts it, or a program that passes none), the converter answers on that console.
TEST(WindowsPrograms, WithoutHandlesTheConverterAnswersOnItsParentsConsole) {
  // A console of this test's own, whose screen can be read back; ctest's pipes stay this
  // process's standard handles.
  FreeConsole();
  ASSERT_TRUE(AllocConsole());
  HANDLE screen =
      CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(screen, INVALID_HANDLE_VALUE);
  std::string command = "\"" + testing_support::BuildDir() + "/src/run/quadrine.exe\" --version";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;  // and every one of them null
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &process));
  EXPECT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  EXPECT_EQ(code, 0u);
  CONSOLE_SCREEN_BUFFER_INFO info{};
  ASSERT_TRUE(GetConsoleScreenBufferInfo(screen, &info));
  std::string shown;
  for (SHORT row = 0; row <= info.dwCursorPosition.Y; ++row) {
    std::string line(info.dwSize.X, ' ');
    DWORD read = 0;
    ReadConsoleOutputCharacterA(screen, line.data(), info.dwSize.X, COORD{0, row}, &read);
    line.resize(read);
    shown += line.substr(0, line.find_last_not_of(' ') + 1) + "\n";
  }
  CloseHandle(screen);
  FreeConsole();
  EXPECT_NE(shown.find(std::string("quadrine ") + QUADRINE_VERSION + "\n"), std::string::npos)
      << shown;
}

// Adds a window's text, and a line feed, to the std::string at text.
BOOL CALLBACK AddWindowText(HWND window, LPARAM text) {
  char line[1024] = "";
  GetWindowTextA(window, line, sizeof line);
  *reinterpret_cast<std::string*>(text) += std::string(line) + "\n";
  return TRUE;
}

// A log that cannot be opened is said in a message box at every entry; the run goes on once
// each is answered. Another program finds the boxes by their caption and answers them.
TEST_F(WindowsRun, AnUnopenableLogIsSaidInAMessageBoxAndTheRunGoesOn) {
  Set("config.ini", "debug", "outlog", "Yes");
  ASSERT_TRUE(CreateDirectoryA((install_ / "quadrine.log").c_str(), nullptr));  // not a file
  std::string command = "\"" + (install_ / "quadrine.exe") + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                             temp_.path().c_str(), &startup, &process));
  int answered = 0;
  std::string said;
  const DWORD start = GetTickCount();
  while (WaitForSingleObject(process.hProcess, 20) == WAIT_TIMEOUT) {
    if (GetTickCount() - start > 120000) {
      TerminateProcess(process.hProcess, 99);
      ADD_FAILURE() << "the run did not end; boxes answered: " << answered;
      break;
    }
    HWND box = FindWindowA("#32770", "ERROR");
    if (box == nullptr) {
      continue;
    }
    DWORD owner = 0;
    GetWindowThreadProcessId(box, &owner);
    if (owner != process.dwProcessId) {
      continue;
    }
    EnumChildWindows(box, AddWindowText, reinterpret_cast<LPARAM>(&said));
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    ++answered;
    // Not the same box twice: wait until it is gone.
    for (int i = 0; i < 100 && IsWindow(box); ++i) {
      Sleep(10);
    }
  }
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  EXPECT_EQ(code & 0xFF, static_cast<DWORD>(kNoPageExitCode));
  EXPECT_GT(answered, 0);
  EXPECT_NE(said.find("Failed to create '"), std::string::npos) << said;
  EXPECT_NE(said.find("quadrine.log' log file!"), std::string::npos) << said;
  EXPECT_EQ(Value("option.ini", "AutoSave", "OutputFile"), "C:\\");
}

// Wine runs the converter as Windows 98 when its per-program setting says so; the pages the
// 9x spooler leaves in the temporary folder then become PNG files.
TEST_F(WindowsRun, PagesOfThe9xSpoolerBecomeImageFiles) {
  if (GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") == nullptr) {
    GTEST_SKIP() << "the 9x-family path is reached through Wine's per-program Windows version";
  }
  const AsWindows98 windows98;
  struct Case {
    const char* extension;
    std::string magic;
    size_t at = 0;  // where the magic stands
  };
  const Case cases[] = {
      {"png", "\x89PNG"},     {"jpg", "\xFF\xD8\xFF"}, {"tif", std::string("II*\0", 4)},
      {"bmp", "BM"},          {"gif", "GIF8"},         {"emf", std::string("\x01\0\0\0", 4)},
      {"webp", "WEBPVP8L", 8}};
  const std::string samples = QUADRINE_SOURCE_DIR "/samples/";
  for (const Case& c : cases) {
    std::filesystem::copy_file(samples + "sample-page1.emf", temp_ / "~emf0001.tmp");
    std::filesystem::copy_file(samples + "sample-page2.emf", temp_ / "~emf0002.tmp");
    const std::string out = install_ / c.extension;
    std::filesystem::create_directories(out);
    Set("option.ini", "AutoSave", "OutputFile", out + "\\page." + c.extension);
    const ProcessResult result = Run();
    EXPECT_EQ(result.exitCode, 0) << c.extension << ": " << result.err;
    for (const char* number : {"0001", "0002"}) {
      const std::string name = std::string("page") + number + "." + c.extension;
      EXPECT_EQ(ReadFile(out + "/" + name).substr(c.at, c.magic.size()), c.magic) << name;
    }
    EXPECT_FALSE(FileExists(temp_ / "~emf0001.tmp")) << c.extension;
  }
}

// The after-hook reads the list of created files from the block, which the converter keeps
// until the hook has returned (on Windows the block is gone with the last handle on it).
TEST_F(WindowsRun, TheAfterHookReadsTheCreatedFilesFromTheBlock) {
  if (GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") == nullptr) {
    GTEST_SKIP() << "the 9x-family path is reached through Wine's per-program Windows version";
  }
  const AsWindows98 windows98;
  for (const char* program : {"quadrine-results.exe", "quadrine-test-helper.exe"}) {
    const std::string from =
        testing_support::BuildDir() +
        (std::string(program) == "quadrine-results.exe" ? "/tools/quadrine-results/"
                                                        : "/tests/support/") +
        program;
    std::filesystem::copy_file(from, install_ / program);
  }
  std::filesystem::copy_file(QUADRINE_SOURCE_DIR "/samples/sample-page1.emf",
                             temp_ / "~emf0001.tmp");
  Set("option.ini", "AutoSave", "OutputFile", install_ / "page.bmp");
  // The list file the hook is given goes last, as a dropped argument of a comment.
  Set("option.ini", "RunExe", "PATH",
      "quadrine-test-helper.exe capture " + (install_ / "list.txt") + " " +
          (install_ / "quadrine-results.exe") + " & rem");
  const ProcessResult result = Run();
  EXPECT_EQ(result.exitCode, 0) << result.err;
  // The block holds the full Windows path, its separators Windows's own.
  EXPECT_EQ(testing_support::ReadTextFile(install_ / "list.txt"),
            install_.path() + "\\page0001.bmp\n");
}

// The number of pages (image file directories) of a classic TIFF; -1 when it is none.
int TiffPageCount(const std::string& bytes) {
  const auto at = [&](size_t offset, size_t size) -> uint32_t {
    uint32_t value = 0;
    for (size_t i = 0; i < size && offset + i < bytes.size(); ++i) {
      value |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[offset + i])) << (8 * i);
    }
    return value;
  };
  if (bytes.compare(0, 4, std::string("II*\0", 4)) != 0) {
    return -1;
  }
  int pages = 0;
  for (uint32_t ifd = at(4, 4); ifd != 0 && ifd + 2 <= bytes.size() && pages < 1000; ++pages) {
    ifd = at(ifd + 2 + 12 * size_t{at(ifd, 2)}, 4);
  }
  return pages;
}

// On the 9x path the pages carry no job: they are one job, numbered 0, named "document".
TEST_F(WindowsRun, PagesOfThe9xSpoolerAreOneJobNamedDocument) {
  if (GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") == nullptr) {
    GTEST_SKIP() << "the 9x-family path is reached through Wine's per-program Windows version";
  }
  const AsWindows98 windows98;
  const std::string samples = QUADRINE_SOURCE_DIR "/samples/";
  struct Case {
    const char* setting;  // below the install folder
    const char* oneFilePerJob;
    std::vector<std::string> outputs;
  };
  const Case cases[] = {
      {"out\\%DOCNAME%-%JOBID%.tif", "1", {"out/document-0.tif"}},
      {"out\\%DOCNAME%\\page.webp",
       "0",
       {"out/document/page0001.webp", "out/document/page0002.webp"}},
      {"out\\%DOCNAME%.png", "1", {"out/document0001.png", "out/document0002.png"}},
  };
  for (const Case& c : cases) {
    std::filesystem::copy_file(samples + "sample-page1.emf", temp_ / "~emf0001.tmp");
    std::filesystem::copy_file(samples + "sample-page2.emf", temp_ / "~emf0002.tmp");
    std::filesystem::remove_all(install_ / "out");
    Set("option.ini", "AutoSave", "OutputFile", install_.path() + "\\" + c.setting);
    Set("option.ini", "AutoSaveOptions", "bOneFilePerJob", c.oneFilePerJob);
    const ProcessResult result = Run();
    EXPECT_EQ(result.exitCode, 0) << c.setting << ": " << result.err;
    std::vector<std::string> made;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(install_ / "out")) {
      if (entry.is_regular_file()) {
        made.push_back(std::filesystem::relative(entry.path(), install_.path()).generic_string());
      }
    }
    std::sort(made.begin(), made.end());
    EXPECT_EQ(made, c.outputs) << c.setting;
    if (std::string(c.oneFilePerJob) == "1" && made == c.outputs && made[0].ends_with(".tif")) {
      // One TIFF holding both pages, in the classic form any reader takes.
      EXPECT_EQ(TiffPageCount(ReadFile(install_ / made[0])), 2);
    }
  }
}

}  // namespace
