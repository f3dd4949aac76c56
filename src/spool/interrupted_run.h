// Finishing what a run that died began, from the record of its pending pages: its page files
// are converted by this run, once, unless the file they were cut from survived, which then
// wins: its page files are removed and it is cut again. The record is obeyed only for files
// this program made (page files by folder, name and content, spool files of the spool folder,
// the staging and temporary names of the recorded process once it is gone); anything else it
// names, and any entry with a NUL or control byte, is left alone, with a word why.
#pragma once

#include <string>
#include <vector>

#include "base/file_list.h"
#include "services/pending_pages.h"

// Appends the page files of an interrupted run that this run converts (and gives them as the
// entries this run's record carries over), and removes the rest of what that run left: page
// files of surviving spool files, half-written outputs in the output folder and in the
// folders of its pages, temporary files.
void RecoverInterruptedRun(const std::string& outputFolder, FileList& list,
                           std::vector<PendingPage>& carried);

// Whether name is a page file's name (BASE + four digits, or their "-N" form, + ".emf"), cut
// from a file whose base name is sourceBase (any base when empty).
bool IsPageFileName(const std::string& name, const std::string& sourceBase);

// What the first bytes of a file say of it as a page: a whole EMF page, the start of one (a
// page the run was still writing when it died, empty included), or something else.
enum class PageContent { kWholePage, kStartOfPage, kOther };
PageContent ClassifyPageBytes(const std::string& head, unsigned long long fileSize);
