// Spool intake's entry for the run: gather the job's pages and drop the blank ones.
#pragma once

#include <string>

#include "base/file_list.h"
#include "base/print_job.h"
#include "win32/win32.h"

// Gathers the job's page files into destDir and appends them to the list (and, given jobs,
// each one's job), then removes (from the list and the disk) the new entries whose page draws
// nothing.
void LoadSpoolingFiles(int bClear, const std::string& destDir, FileList& list,
                       PageJobs* jobs = nullptr);

// 1 when the page, played at half the screen's scale into a black-and-white bitmap, leaves
// every pixel white, or cannot be measured or played; 0 when something shows.
int IsBlankEMFPage(HENHMETAFILE metafile);
