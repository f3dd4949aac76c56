#include "hooks/command_hooks.h"

// On Windows a path is relative unless it names a drive or starts at a root (\x or \\server).
bool IsRelativeProgramPath(std::string_view program) {
  return !program.starts_with('\\') && !program.starts_with('/') &&
         program.find(':') == std::string_view::npos;
}
