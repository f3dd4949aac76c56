// The record of the page files a run has cut and not yet converted, kept beside option.ini,
// so that the next run finishes what a run that died began: every page printed becomes a
// file once. It is a journal: the run writes its first lines whole (a new private file moved
// over the old record) and then appends one line for each change, so a run of any length
// writes as much as it has pages, and a run that dies leaves every change made before it.
//   run   PID STAGING-FOLDER RECORD [FOLDER...]
//                                      who wrote it, where it placed outputs and cut pages, for
//                                      which record, and the other folders of the pages it
//                                      carried over from a run that died before it
//   page  PAGE SOURCE JOB DOCUMENT     a page file (about to be) made from SOURCE, or "", of
//                                      the job numbered JOB printed under DOCUMENT
//   try   PAGE                         the page is about to be drawn (tested or converted)
//   drawn PAGE                         it was drawn, and is not converted yet
//   died  PAGE N                       N runs died while it was being drawn (carried over)
//   done  PAGE                         the page is converted, failed or dropped
//   temp  PATH                         a temporary file (about to be) made
//   freed PATH                         that temporary file is gone again
// Fields are separated by tabs; a last line without its line feed was cut by a crash and
// is not read. No field a run writes holds a NUL or another control byte (a document's are
// escaped): a line with one was not written by a run, and is refused.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/print_job.h"
#include "win32/win32.h"

struct PendingPage {
  std::string page;          // the page file
  std::string spool;         // the file it was cut or copied from (empty when it has none)
  PrintJob job;              // what its output is named after
  bool jobRecorded = false;  // the line carried the job (a record of an earlier version has none)
  // How many runs died while the page was being drawn: a page that ends the converter would
  // otherwise be taken first by every later run, and stop each of them.
  int deaths = 0;
};

struct PendingRecord {
  DWORD processId = 0;        // the run that wrote it
  std::string stagingFolder;  // where that run wrote its outputs before placing them
  std::string recordPath;     // the record it was written as (a copied record names another)
  // The folders that run cut pages into or carried them over from, as its run line names
  // them: the staging folder first; the only folders its pages may be in.
  std::vector<std::string> pageFolders;
  std::vector<PendingPage> pages;
  std::vector<std::string> temporaries;
  // Lines with a NUL or control byte, which no run writes: a run line such leaves the whole
  // record untrusted; what page and temp lines such named is not taken, only told.
  bool runLineRefused = false;
  std::vector<std::string> refusedPages;
  std::vector<std::string> refusedTemporaries;
};

std::string PendingPagesPath();

// The state a journal's text leaves; a record without its run line has no process.
PendingRecord ParsePendingPages(std::string_view text);

// The record an earlier run left, if any, and whether it is the user's own (a private file,
// not a link); why not, when it is not.
bool ReadPendingPages(PendingRecord& record, std::string& distrust);

// This run's record: started with the output folder (where it cuts pages) and the pages it
// carries over from an interrupted run, then a change at a time.
void StartPendingPages(const std::string& stagingFolder, const std::vector<PendingPage>& carried);
void AddPendingPage(const std::string& page, const std::string& spool, const PrintJob& job = {});
void RemovePendingPage(const std::string& page);
// The page is about to be drawn: a run that dies before it is drawn (or done) leaves it
// marked.
void MarkPendingPageConverting(const std::string& page);
void MarkPendingPageDrawn(const std::string& page);
// The pages are done together, in one write: a document that holds them all is in place.
void RemovePendingPages(const std::vector<std::string>& pages);
void AddPendingTemporary(const std::string& path);
void RemovePendingTemporary(const std::string& path);
// The run is over: nothing is pending, and the record goes.
void ClearPendingPages();
