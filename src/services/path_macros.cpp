#include "services/path_macros.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "base/print_job.h"
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
  if (text.find("%USERNAME%") != std::string::npos) {
    char user[UNLEN + 1] = {};
    DWORD size = sizeof user;
    // Reduced as a document name is: a domain's or a service's name may hold anything.
    std::string name = GetUserNameA(user, &size) ? SafeDocumentName(user) : std::string();
    ReplaceAll(text, "%USERNAME%", name.empty() ? "user" : name);
  }
  if (text.find("%DATE%") != std::string::npos || text.find("%TIME%") != std::string::npos) {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    char date[32];
    std::snprintf(date, sizeof date, "%04u-%02u-%02u", now.wYear, now.wMonth, now.wDay);
    char time[32];
    std::snprintf(time, sizeof time, "%02u%02u%02u", now.wHour, now.wMinute, now.wSecond);
    ReplaceAll(text, "%DATE%", date);
    ReplaceAll(text, "%TIME%", time);
  }
  ReplaceAll(text, "\\\\", "\\");
  return text;
}

namespace {

constexpr std::string_view kDocumentMacro = "%DOCNAME%";
constexpr std::string_view kJobMacro = "%JOBID%";

}  // namespace

bool HasJobMacros(std::string_view text) {
  return text.find(kDocumentMacro) != std::string_view::npos ||
         text.find(kJobMacro) != std::string_view::npos;
}

std::string PathBeforeJobMacros(const std::string& path) {
  const size_t macro = std::min(path.find(kDocumentMacro), path.find(kJobMacro));
  if (macro == std::string::npos) {
    return path;
  }
  const size_t separator = FindLastPathSeparator(std::string_view(path).substr(0, macro));
  return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

std::string ExpandJobMacros(const std::string& path, const PrintJob& job) {
  if (!HasJobMacros(path)) {
    return path;
  }
  std::string document = SafeDocumentName(job.document);
  if (document.empty()) {
    document = "document";
  }
  const std::string number = std::to_string(job.number);
  // A name at a time: one that the values make into a device's name gets a '_' before it.
  std::string expanded;
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = start;
    while (end < path.size() && !IsPathSeparator(path[end])) {
      ++end;
    }
    std::string name = path.substr(start, end - start);
    if (HasJobMacros(name)) {
      ReplaceAll(name, kDocumentMacro, document);
      ReplaceAll(name, kJobMacro, number);
      if (IsReservedDeviceName(name)) {
        name.insert(0, 1, '_');
      }
    }
    expanded += name;
    if (end < path.size()) {
      expanded += path[end];
    }
    start = end + 1;
  }
  return expanded;
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
