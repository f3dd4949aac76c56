// How the stand-in maps Windows paths onto the POSIX file system: "C:" is the parent folder of
// the Windows directory, "Z:" is "/", other drives do not exist, and '\' becomes '/'.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace win32 {

// The native path for a Windows or native path; on failure the last error is set.
std::optional<std::string> ToNativePath(std::string_view path);

// Folders held open without FILE_SHARE_DELETE, as Windows keeps them from being renamed or
// replaced while they are held: POSIX cannot refuse that, so a path below a held folder is
// reached through the descriptor held instead ("/proc/self/fd/N/..."), which goes on leading
// to the folder that was opened whatever has been put at its name since.
void HoldFolder(const std::string& native, int fd);
void ReleaseFolder(int fd);
// The path to hand to the system for a native path: through the innermost held folder
// holding it, else as it is.
std::string ThroughHeldFolders(const std::string& native);
// ToNativePath, then ThroughHeldFolders: the path file operations use.
std::optional<std::string> ToReachablePath(std::string_view path);

// Absolute native paths, without a trailing separator.
std::string ExecutablePath();
std::string WindowsDirectory();

}  // namespace win32
