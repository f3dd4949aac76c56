// The terminal view of dialogs: one self-updating line on standard error when that is a
// terminal, and nothing otherwise.
#pragma once

#include <cstdio>

namespace win32::user {

// Points the view at another stream (tests), or at none.
void SetTerminalViewStream(std::FILE* stream);

}  // namespace win32::user
