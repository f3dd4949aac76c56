// What went wrong in a run, told where a user sees it: one line on standard error for each
// failed page and each run-level failure, whether or not the log is on, and the same line
// in the log. The run's exit status is read from here.
#pragma once

#include <string>

// "quadrine: page N (PAGE FILE): REASON; the page file is kept"
void ReportPageFailure(int pageNumber, const std::string& pageFile, const std::string& reason);

// "quadrine: TEXT", for what fails beyond one page (an output folder, a spool file set aside).
void ReportRunFailure(const std::string& text);

// "quadrine: TEXT", for what the run declined to do and went on without (an entry of the
// recovery record it does not trust): said, but not a failure.
void ReportRunNotice(const std::string& text);

// "quadrine: NOTICE" for each face or character that the page drawing had to substitute
// since the last call (each said once per run), so that a missing font never passes
// silently. Windows's GDI substitutes faces without a word, and there this says nothing.
void ReportFontNotices();

// Pages converted so far, for the summary.
void ReportPageConverted();

// On a terminal, one line at the end of the run: how many pages were converted and how
// many failed. Nothing when standard error goes elsewhere (the printer package's case).
void ReportSummary();

// How many failures were reported; 0 means every page found gave its output.
int ReportedFailures();
int ReportedConversions();
