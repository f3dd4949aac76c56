// The record of the page files a run has cut and not yet converted, kept beside option.ini,
// so that the next run finishes what a run that died began: every page printed becomes a
// file once. Each change rewrites the record whole (a new file moved over the old one), so a
// run that dies leaves either the record before the change or the one after it.
#pragma once

#include <string>
#include <vector>

#include "win32/win32.h"

struct PendingPage {
  std::string page;   // the page file
  std::string spool;  // the spool file it was cut from (empty for other sources)
};

struct PendingRecord {
  DWORD processId = 0;        // the run that wrote it
  std::string stagingFolder;  // where that run wrote its outputs before placing them
  std::vector<PendingPage> pages;
};

std::string PendingPagesPath();

// The record an earlier run left, if any.
PendingRecord ReadPendingPages();

// This run's record: started with the output folder, then a page at a time.
void StartPendingPages(const std::string& stagingFolder);
void AddPendingPage(const std::string& page, const std::string& spool);
void RemovePendingPage(const std::string& page);
// The run is over: nothing is pending.
void ClearPendingPages();
