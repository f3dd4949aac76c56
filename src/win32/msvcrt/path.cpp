// The C runtime's path splitter and joiner. Both '\' and '/' separate on input; joining puts
// the platform's separator. Every part is bounded by its _MAX_ size, so nothing overruns.
#include <cstring>
#include <string>
#include <string_view>

#include "win32/msvcrt/msvcrt.h"

namespace {

constexpr char kSeparator = '/';

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

void CopyPart(char* out, std::string_view part, size_t capacity) {
  if (out == nullptr) {
    return;
  }
  const size_t length = part.size() < capacity ? part.size() : capacity - 1;
  if (length > 0) {
    std::memcpy(out, part.data(), length);
  }
  out[length] = '\0';
}

}  // namespace

void _splitpath(const char* path, char* drive, char* dir, char* fname, char* ext) {
  std::string_view rest = path ? path : "";
  std::string_view drive_part;
  if (rest.size() >= 2 && rest[1] == ':') {
    drive_part = rest.substr(0, 2);
    rest.remove_prefix(2);
  }
  size_t name_start = 0;
  for (size_t i = 0; i < rest.size(); ++i) {
    if (IsSeparator(rest[i])) {
      name_start = i + 1;
    }
  }
  const std::string_view dir_part = rest.substr(0, name_start);
  std::string_view name = rest.substr(name_start);
  const size_t dot = name.rfind('.');
  const std::string_view ext_part = dot == std::string_view::npos ? "" : name.substr(dot);
  name = name.substr(0, name.size() - ext_part.size());
  CopyPart(drive, drive_part, _MAX_DRIVE);
  CopyPart(dir, dir_part, _MAX_DIR);
  CopyPart(fname, name, _MAX_FNAME);
  CopyPart(ext, ext_part, _MAX_EXT);
}

void _makepath(char* path, const char* drive, const char* dir, const char* fname, const char* ext) {
  if (path == nullptr) {
    return;
  }
  std::string joined;
  if (drive != nullptr && *drive != '\0') {
    joined += drive[0];
    joined += ':';
  }
  if (dir != nullptr && *dir != '\0') {
    joined += dir;
    if (!IsSeparator(joined.back())) {
      joined += kSeparator;
    }
  }
  if (fname != nullptr) {
    joined += fname;
  }
  if (ext != nullptr && *ext != '\0') {
    if (*ext != '.') {
      joined += '.';
    }
    joined += ext;
  }
  CopyPart(path, joined, _MAX_PATH);
}
