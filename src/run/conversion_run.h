// One conversion run, from the settings to the hand-off of the created files.
#pragma once

#include <string>
#include <vector>

#include "base/file_list.h"

// Logs the created files between the two banners and returns the result text: every path
// followed by a line feed.
std::string LogCreatedFiles(const FileList& fileList);
