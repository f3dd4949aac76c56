// What a page file (an EMF on disk) holds, read through Win32 without drawing it.
#pragma once

#include <string>

// Whether the page's drawing is all EMF+, which GDI draws as nothing; false when the file
// cannot be read (its conversion says why).
bool PageFileHoldsOnlyEmfPlus(const std::string& path);
