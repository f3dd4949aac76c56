// The diagnostic log: one plain-text trace per run beside the executable, written when
// config.ini [debug] outlog is anything but "No".
#pragma once

#include <string>

// Appends one entry: a UTC time stamp, then the formatted message (which brings its own "\n").
// The format is checked as printf's; a MinGW build names the GNU rules its C runtime is
// asked to follow (printf there would mean Microsoft's).
#ifndef QUADRINE_PRINTF_RULES
#define QUADRINE_PRINTF_RULES printf
#endif
void LogMessage(const char* format, ...) __attribute__((format(QUADRINE_PRINTF_RULES, 1, 2)));

// The executable's path with the extension ".log".
std::string GetLogFilePath();
