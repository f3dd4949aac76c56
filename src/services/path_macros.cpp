#include "services/path_macros.h"

#include <string>

#include "base/text_util.h"
#include "win32/win32.h"

void ReplaceAll(std::string& target, std::string_view pattern, std::string_view replacement) {
  if (pattern.empty()) {
    return;
  }
  size_t position = 0;
  while ((position = target.find(pattern, position)) != std::string::npos) {
    target.replace(position, pattern.size(), replacement);
    position += replacement.size();
  }
}

std::string ExpandPathMacros(std::string text) {
  if (text.find("%TEMPFOLDER%") != std::string::npos) {
    std::string folder(4096, '\0');
    const DWORD length = GetTempPathA(static_cast<DWORD>(folder.size()), folder.data());
    folder.resize(length < folder.size() ? length : 0);
    ReplaceAll(text, "%TEMPFOLDER%", folder);
  }
  if (text.find("%PID%") != std::string::npos) {
    ReplaceAll(text, "%PID%", std::to_string(GetCurrentProcessId()));
  }
  if (text.find("%APPFOLDER%") != std::string::npos) {
    char module[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, module, MAX_PATH);
    std::string folder = module;
    const size_t separator = FindLastPathSeparator(folder);
    folder.resize(separator == std::string::npos ? 0 : separator);
    ReplaceAll(text, "%APPFOLDER%", folder);
  }
  ReplaceAll(text, "\\\\", "\\");
  return text;
}

std::string FullPath(const std::string& path) {
  const DWORD needed = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) {
    return {};
  }
  std::string full(needed, '\0');
  const DWORD length = GetFullPathNameA(path.c_str(), needed, full.data(), nullptr);
  if (length == 0 || length >= needed) {
    return {};
  }
  full.resize(length);
  return full;
}
