#include "hooks/command_hooks.h"

// On POSIX a path is relative unless it starts at the root or names a drive.
bool IsRelativeProgramPath(std::string_view program) {
  return !program.starts_with('/') && program.find(':') == std::string_view::npos;
}
