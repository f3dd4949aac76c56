// A command-line tool's answer to a command line it cannot take: one line that names the
// problem and where the help is, so the line that matters is not buried under the usage.
#pragma once

#include <cstdio>
#include <string>

inline constexpr int kUsageExitStatus = 2;

// "TOOL: PROBLEM; try 'TOOL --help'" on standard error; returns the exit status for bad usage.
inline int UsageError(const char* tool, const std::string& problem) {
  std::fprintf(stderr, "%s: %s; try '%s --help'\n", tool, problem.c_str(), tool);
  return kUsageExitStatus;
}

// What an argument the tool does not know is called in its line.
inline std::string UnknownArgument(const std::string& argument) {
  return argument.starts_with("-") ? "unknown option " + argument
                                   : "unexpected argument " + argument;
}
