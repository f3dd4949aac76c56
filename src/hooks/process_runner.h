// Starting an outside program with its output captured, and cutting command lines.
#pragma once

#include <string>
#include <vector>

#include "win32/win32.h"

// Starts the command hidden, its standard output and error captured through one pipe, and
// waits until it has ended. Non-zero when it was started and its end seen; the output is
// appended to output.
// exitCode, when given, receives the program's exit code once it has ended.
int RunCapturedProcess(const std::string& commandLine, std::string& output,
                       DWORD* exitCode = nullptr);

// Cuts a command line into arguments: blanks separate, an argument may be quoted, a quote
// closes only before a blank or the end, and nothing escapes. With no text, the process's
// own command line is cut.
std::vector<std::string> SplitCommandLine(const char* text);
