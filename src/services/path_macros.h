// The macros of the output setting, and the full path it names. Those of the run (%TEMPFOLDER%,
// %PID%, %APPFOLDER%, %USERNAME%, %DATE%, %TIME%) are expanded once, at its start; those of a
// job (%DOCNAME%, %JOBID%) for each page, from the job it came from.
#pragma once

#include <string>
#include <string_view>

#include "base/print_job.h"

// Expands the run's macros (case-sensitive; the date and time are the local ones of now) and
// then turns every pair of backslashes into one. A job's macros, and any other %NAME%, stay.
std::string ExpandPathMacros(std::string text);

// Whether the text holds a job's macro.
bool HasJobMacros(std::string_view text);

// The path up to the folder whose name first holds a job's macro (its separator kept), where
// every job's folders are made; the path itself when no folder name holds one.
std::string PathBeforeJobMacros(const std::string& path);

// The path with the job's macros expanded: %DOCNAME% the document's safe name ("document" when
// it has none), %JOBID% its number. A name made of them is never a device's, so no job's
// values name a place outside the folder before them.
std::string ExpandJobMacros(const std::string& path, const PrintJob& job);

// Replaces every occurrence of pattern; inserted text is never searched again.
void ReplaceAll(std::string& target, std::string_view pattern, std::string_view replacement);

// The full path as other programs open it: GetFullPathNameA's answer, on POSIX the native
// path ("C:\\out\\a.png" becomes the folder that C: stands for). Empty when there is none.
std::string FullPath(const std::string& path);
