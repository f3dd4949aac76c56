// Turning every page file into its output file, named from the output setting.
#pragma once

#include <string>

#include "base/file_list.h"
#include "base/print_job.h"
#include "convert/image_settings.h"

// Converts the pages in list order and puts each output file's path in its page's place. A
// page that gave no output file keeps its page file and leaves the list. The output path's
// job macros are expanded from each page's job in jobs (a page not there has job 0 and no
// document); with bOneFilePerJob a .pdf or .tif output holds each job's pages, and its one
// entry takes their places. Returns 0.
int ConvertPages(const std::string& outputPath, FileList& list, const PageJobs& jobs = {});

ImageSettings ReadImageSettings();

// A path that names no existing file: the path itself, or its name with a three-digit (or
// longer) counter appended; empty when every candidate is taken.
std::string MakeUniquePath(const std::string& path);

// The suffix format, or "%04d" when it holds anything but one integer conversion.
std::string SafeSuffixFormat(const std::string& format);

// 1 when the page could be opened as an enhanced metafile, 0 when not.
int ConvertEmfToWmf(const std::string& pagePath, const std::string& outputPath);
