// One conversion run, from the settings to the hand-off of the created files.
#pragma once

#include <string>
#include <vector>

#include "base/file_list.h"

// Logs the created files between the two banners and returns the result text: every path
// followed by a line feed.
std::string LogCreatedFiles(const FileList& fileList);

// A command line of exactly "--help" or "--version" is answered on standard output (the exit
// status, 0); anything else gives -1 and the run goes on as if there were no arguments.
int AnswerHelpOrVersion(const char* commandLine);
