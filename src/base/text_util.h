// Small text helpers shared by the subsystems.
#pragma once

#include <string>
#include <string_view>

// ASCII letters compared without regard to case, as Windows compares file extensions.
// Appends the character as UTF-8.
inline void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | c >> 6);
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | c >> 12);
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | c >> 18);
    out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

inline bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    char y = b[i];
    if (x >= 'A' && x <= 'Z') {
      x = static_cast<char>(x - 'A' + 'a');
    }
    if (y >= 'A' && y <= 'Z') {
      y = static_cast<char>(y - 'A' + 'a');
    }
    if (x != y) {
      return false;
    }
  }
  return true;
}

// Windows takes both '\' and '/' as separators, and the POSIX build gets '/' from the system.
inline bool IsPathSeparator(char c) {
  return c == '\\' || c == '/';
}

inline size_t FindLastPathSeparator(std::string_view path) {
  for (size_t i = path.size(); i > 0; --i) {
    if (IsPathSeparator(path[i - 1])) {
      return i - 1;
    }
  }
  return std::string_view::npos;
}

// The separator the platform's own paths use; Windows accepts either, POSIX only '/'.
extern const char kPathSeparator;
// How a line of a text file ends on the platform: LF on POSIX, CR LF on Windows.
extern const char kTextLineEnd[];

// folder + name, with a separator between them unless the folder already ends in one.
inline std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string path(folder);
  if (!path.empty() && !IsPathSeparator(path.back())) {
    path += kPathSeparator;
  }
  path += name;
  return path;
}

// An argument in double quotes as the Microsoft C runtime reads it back unchanged: a quote
// inside is escaped, and backslashes before a quote (the closing one included) are doubled.
inline std::string QuotedArgument(std::string_view argument) {
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (const char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(2 * backslashes, '\\');
  quoted += '"';
  return quoted;
}
