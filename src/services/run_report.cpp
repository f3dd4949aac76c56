#include "services/run_report.h"

#include <cstdio>

#include "services/diagnostic_log.h"
#include "services/font_notices.h"
#include "win32/win32.h"

namespace {

int failures = 0;
int conversions = 0;

void Tell(const std::string& line) {
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
  LogMessage("%s", line.c_str());
}

}  // namespace

void ReportPageFailure(int pageNumber, const std::string& pageFile, const std::string& reason) {
  ++failures;
  Tell("quadrine: page " + std::to_string(pageNumber) + " (" + pageFile + "): " + reason +
       "; the page file is kept\n");
}

void ReportFontNotices() {
  for (const std::string& notice : TakeFontNotices()) {
    Tell("quadrine: " + notice + "\n");
  }
}

void ReportRunFailure(const std::string& text) {
  ++failures;
  Tell("quadrine: " + text + "\n");
}

void ReportRunNotice(const std::string& text) {
  Tell("quadrine: " + text + "\n");
}

void ReportPageConverted() {
  ++conversions;
}

void ReportSummary() {
  if (GetFileType(GetStdHandle(STD_ERROR_HANDLE)) != FILE_TYPE_CHAR) {
    return;
  }
  std::string line = "quadrine: " + std::to_string(conversions) + " page" +
                     (conversions == 1 ? "" : "s") + " converted";
  if (failures > 0) {
    line +=
        ", " + std::to_string(failures) + " failure" + (failures == 1 ? "" : "s") + " (see above)";
  }
  std::fputs((line + "\n").c_str(), stderr);
}

int ReportedFailures() {
  return failures;
}

int ReportedConversions() {
  return conversions;
}
