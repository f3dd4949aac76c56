#include "win32/msvcrt/command_line.h"

namespace win32 {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

}  // namespace

std::vector<std::string> SplitLikeTheCRuntime(const char* line) {
  std::vector<std::string> arguments;
  const char* p = line;
  std::string program;
  if (*p == '"') {
    for (++p; *p != '\0' && *p != '"'; ++p) {
      program += *p;
    }
    if (*p == '"') {
      ++p;
    }
  } else {
    for (; *p != '\0' && !IsBlank(*p); ++p) {
      program += *p;
    }
  }
  arguments.push_back(program);
  for (;;) {
    while (IsBlank(*p)) {
      ++p;
    }
    if (*p == '\0') {
      break;
    }
    std::string argument;
    bool quoted = false;
    for (; *p != '\0' && (quoted || !IsBlank(*p)); ++p) {
      size_t backslashes = 0;
      while (*p == '\\') {
        ++backslashes;
        ++p;
      }
      if (*p == '"') {
        argument.append(backslashes / 2, '\\');
        if (backslashes % 2 == 1) {
          argument += '"';
        } else if (quoted && p[1] == '"') {
          argument += '"';
          ++p;
        } else {
          quoted = !quoted;
        }
        continue;
      }
      argument.append(backslashes, '\\');
      if (*p == '\0') {
        break;
      }
      if (!quoted && IsBlank(*p)) {
        break;
      }
      argument += *p;
    }
    arguments.push_back(std::move(argument));
    if (*p == '\0') {
      break;
    }
  }
  return arguments;
}

}  // namespace win32
