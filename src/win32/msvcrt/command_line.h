// How the Microsoft C runtime cuts a command line into arguments, for CreateProcessA.
#pragma once

#include <string>
#include <vector>

namespace win32 {

// The program name runs to the next quote or blank; then 2n backslashes and a quote give n
// backslashes and toggle quoting, 2n+1 give n and a quote, and "" inside quotes is a quote.
std::vector<std::string> SplitLikeTheCRuntime(const char* line);

}  // namespace win32
