// The macros of the output setting (%TEMPFOLDER%, %PID% and %APPFOLDER%), and the full path
// it names.
#pragma once

#include <string>
#include <string_view>

// Expands the three macros (case-sensitive) and then turns every pair of backslashes into one.
std::string ExpandPathMacros(std::string text);

// Replaces every occurrence of pattern; inserted text is never searched again.
void ReplaceAll(std::string& target, std::string_view pattern, std::string_view replacement);

// The full path as other programs open it: GetFullPathNameA's answer, on POSIX the native
// path ("C:\\out\\a.png" becomes the folder that C: stands for). Empty when there is none.
std::string FullPath(const std::string& path);
