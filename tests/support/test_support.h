// Helpers for tests: temporary folders, files, and running programs.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace testing_support {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
 public:
  TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir();
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string ReadFile(const std::string& path);
// A PNG file's size from its header, "W x H"; "no PNG" when the file is too short for one.
std::string PngSize(const std::string& path);
// A text file with the platform's line ends as "\n" (Windows writes text with "\r\n").
std::string ReadTextFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);
bool FileExists(const std::string& path);

struct ProcessResult {
  int exitCode = -1;  // the low 8 bits, as the shell shows them
  std::string out;
  std::string err;
};

// Runs a program in a folder with extra environment variables (NAME=value).
ProcessResult RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& workingDirectory,
                         const std::vector<std::string>& environment = {});

// Where the build put its programs.
std::string BuildDir();

// The name of this user's shared block "Quadrine": on POSIX "/Quadrine." and the user's id.
std::string SharedBlockName();
// The shared block as another program of the printer package reads it: its first count
// bytes (fewer if it is smaller), or "<no block>".
std::string ReadSharedBlock(size_t count);
// Makes the block as a reader that came first would, of size bytes of fill. It lasts until
// RemoveSharedBlock: on Windows a handle this process holds keeps it.
bool CreateSharedBlock(size_t size, char fill);
void RemoveSharedBlock();

// Where files are read back in another reader (Debian's python3 with Pillow, which ./dev
// installs on POSIX); empty on Windows, which has none, with why in reason.
std::string ImageReader(std::string& reason);

// What another reader (Pillow, through tests/support/check_image.py) sees in an image file,
// held to checks NAME=VALUE ("mode=RGB", "at=10,10:255,0,0~12", "same=OTHER", ...): "" when
// every check holds, else what differs. Windows has no such reader: there the file (and a
// same= file) is queued with its checks in $QUADRINE_READ_BACK_DIR, which ./dev test-windows
// checks on Linux once the run is over, and "" is returned.
std::string ReadBack(const std::string& file, const std::vector<std::string>& checks);
// Null where ReadBack can check or queue; else why it cannot.
const char* ReadBackUnavailable();

// Files and pipes this process holds open (POSIX descriptors, Windows handles), to see
// that an operation releases what it took.
int OpenHandleCount();
// Whether a child process of this one is left unwaited for (a zombie on POSIX; Windows has
// none, a process's handle is counted above).
bool ChildLeftBehind();

// Null on POSIX, where the stand-in keeps printers and jobs in files of its own and makes
// links; on Windows why checks of those are skipped.
const char* WithoutStandIn();

// Sets an environment variable of this process; null removes it.
void SetEnvironment(const char* name, const char* value);

// Whether the stand-in carries the fault switch (QUADRINE_FAULT_SWITCH), which only builds
// that ask for it have.
bool FaultSwitchBuilt();

}  // namespace testing_support

// Tests that make the stand-in fail on purpose (a kill, a full disk, a held lock) need the
// fault switch: without it they are skipped, with the reason.
#define QUADRINE_SKIP_WITHOUT_FAULT_SWITCH()                              \
  do {                                                                    \
    if (!testing_support::FaultSwitchBuilt()) {                           \
      GTEST_SKIP() << "the fault switch is not built in (configure with " \
                      "-DQUADRINE_FAULT_SWITCH=ON, as ./dev test does)";  \
    }                                                                     \
  } while (false)
