// Finishing what a run that died began, from the record of its pending pages: its page files
// are converted by this run, once, unless their spool file survived, which then wins: its
// page files are removed and it is cut again.
#pragma once

#include "base/file_list.h"

// Appends the page files of an interrupted run that this run converts, and removes the rest
// of what that run left (page files of surviving spool files, half-written outputs).
void RecoverInterruptedRun(FileList& list);
