// What the page drawing had to substitute for fonts (a face not installed, a symbol face
// drawn with letters, a character no face has), from the platform's GDI; each once a run.
#pragma once

#include <string>
#include <vector>

std::vector<std::string> TakeFontNotices();
