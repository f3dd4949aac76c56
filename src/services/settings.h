// The two settings files beside the executable: option.ini and config.ini.
#pragma once

#include <string>
#include <string_view>

#include "win32/win32.h"

inline constexpr DWORD kPathBufferSize = MAX_PATH;

// The length _makepath gives these parts, with the colon, separator and dot it adds where
// they are missing. The C runtime's _splitpath and _makepath write into buffers of _MAX_PATH
// with no bounds on Windows (and their _s forms end the process), so every path is measured
// first, and one that would pass the buffer is refused rather than handed on.
inline size_t MadePathLength(const char* drive, const char* dir, const char* name,
                             const char* extension) {
  const std::string_view d = drive != nullptr ? drive : "";
  const std::string_view f = dir != nullptr ? dir : "";
  const std::string_view n = name != nullptr ? name : "";
  const std::string_view e = extension != nullptr ? extension : "";
  const bool colon = !d.empty() && d.back() != ':';
  const bool separator = !f.empty() && f.back() != '\\' && f.back() != '/';
  const bool dot = !e.empty() && e.front() != '.';
  return d.size() + colon + f.size() + separator + n.size() + dot + e.size();
}
inline constexpr DWORD kPrinterNameSize = 1024;
inline constexpr DWORD kLongSettingSize = 32768;  // to tell a value too long for its buffer

// The executable's drive and folder joined with a base name (the executable's own when
// null) and an extension.
std::string PathBesideExecutable(const char* baseName, const char* extension);

// Full path of option.ini beside the executable.
std::string GetOptionIniPath();
std::string GetConfigIniPath();

// A value of config.ini, cut to size - 1 characters like GetPrivateProfileStringA.
std::string ReadConfigString(const char* section, const char* key, const char* fallback,
                             DWORD size);
// A value of option.ini, cut likewise; an empty text when the key is empty.
std::string ReadOptionString(const char* section, const char* key, const char* fallback,
                             DWORD size);

// Fills the printer name, "Quadrine" when config.ini names none.
void LoadPrinterName();

// A value of option.ini (settings path), written straight back so that the key exists
// afterwards; a value of size characters or more is returned whole and left as it is.
std::string ReadOptionWrittenBack(const char* section, const char* key, const char* fallback,
                                  DWORD size);

// The output setting, written straight back so that the key exists after the first run; a
// value of MAX_PATH characters or more is returned whole and not written back.
std::string ReadOutputFileSetting();
