// The stand-in's GDI draws text with the faces installed here, not Windows's: what it had to
// substitute (a face not installed, a symbol face drawn with letters, a character no face
// has) is kept for the program to tell its user, each once per process.
#pragma once

#include <string>
#include <vector>

namespace win32::gdi {

// The notices since the last call.
std::vector<std::string> TakeFontNotices();

}  // namespace win32::gdi
