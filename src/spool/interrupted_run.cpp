#include "spool/interrupted_run.h"

#include <string>

#include "services/diagnostic_log.h"
#include "services/pending_pages.h"
#include "spool/spool_collection.h"
#include "win32/win32.h"

namespace {

bool Exists(const std::string& path) {
  return !path.empty() && GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The outputs the interrupted run was writing when it died: never whole, never placed.
void RemoveStagedOutputs(const PendingRecord& record) {
  if (record.stagingFolder.empty() || record.processId == 0) {
    return;
  }
  const std::string pattern = "~quadrine-" + std::to_string(record.processId) + "-*";
  FileList staged;
  FindFiles(record.stagingFolder, pattern.c_str(), staged);
  for (const std::string& path : staged) {
    DeleteFileA(path.c_str());
  }
}

}  // namespace

void RecoverInterruptedRun(FileList& list) {
  const PendingRecord record = ReadPendingPages();
  if (record.processId == 0 && record.pages.empty()) {
    return;
  }
  int converted = 0;
  int cutAgain = 0;
  for (const PendingPage& entry : record.pages) {
    if (Exists(entry.spool)) {
      DeleteFileA(entry.page.c_str());  // the spool file is cut again, whole
      ++cutAgain;
    } else if (Exists(entry.page)) {
      list.push_back(entry.page);
      ++converted;
    }
  }
  RemoveStagedOutputs(record);
  LogMessage("An interrupted run left %d page file(s) to convert and %d to cut again.\n", converted,
             cutAgain);
}
