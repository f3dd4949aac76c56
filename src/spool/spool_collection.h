// Finding the job's spool files and turning them into page files.
#pragma once

#include <string>

#include "base/file_list.h"
#include "base/print_job.h"

// The operating system family, from GetVersion.
bool IsWindowsNT();
bool IsWindows95();
bool IsWindows98();

// Gathers the job's pages into destDir and appends the page files to the list. On the NT
// family returns the number of spool files accepted; on the others the number of temporary
// EMF files copied; 0 when destDir is empty.
int ConvertEMFFiles(int bClear, const std::string& strDestDir, FileList& list,
                    PageJobs* jobs = nullptr);

// Clears the list and fills it with the non-empty files of folder matching pattern.
int FindFiles(const std::string& folder, const char* pattern, FileList& list);
void DeleteFiles(const std::string& folder, const char* pattern);

// Keeps the spool files that belong to a job queued on this printer; 0 when the queue is
// empty or the printer does not exist. A queue that cannot be read otherwise (its lock held
// too long, say) is reported as a run failure and leaves the list empty: nothing is taken.
int CheckAllSPLFiles(FileList& splFiles);

// 1 when some entry's base name begins with prefix, ignoring case.
int FindFileNamePrefix(const std::string& prefix, const FileList& list);

// $WINDIR/system32/spool/PRINTERS/, where the spooler keeps its spool files.
std::string SpoolFolder();
// The temporary folder, where the 9x spooler leaves its pages; empty when there is none.
std::string TemporaryFolder();
