// How the stand-in maps Windows paths onto the POSIX file system: "C:" is the parent folder of
// the Windows directory, "Z:" is "/", other drives do not exist, and '\' becomes '/'.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace win32 {

// The native path for a Windows or native path; on failure the last error is set.
std::optional<std::string> ToNativePath(std::string_view path);

// Absolute native paths, without a trailing separator.
std::string ExecutablePath();
std::string WindowsDirectory();

}  // namespace win32
