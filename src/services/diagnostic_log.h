// The diagnostic log: one plain-text trace per run beside the executable, written when
// config.ini [debug] outlog is anything but "No".
#pragma once

#include <string>

// Appends one entry: a UTC time stamp, then the formatted message (which brings its own "\n").
void LogMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The executable's path with the extension ".log".
std::string GetLogFilePath();
