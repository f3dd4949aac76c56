#include "spool/printer_jobs.h"

#include <climits>

#include "services/diagnostic_log.h"
#include "services/program_values.h"
#include "services/run_report.h"
#include "services/scoped_handles.h"

namespace {

// The spooler's two-call pattern: ask for the size, then fill a buffer of that size.
bool QueryPrinterInfo(HANDLE printer, std::vector<BYTE>& buffer) {
  DWORD needed = 0;
  if (!GetPrinterA(printer, 2, nullptr, 0, &needed) &&
      GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
    return false;
  }
  buffer.assign(needed < sizeof(PRINTER_INFO_2A) ? sizeof(PRINTER_INFO_2A) : needed, 0);
  return GetPrinterA(printer, 2, buffer.data(), static_cast<DWORD>(buffer.size()), &needed) != 0;
}

bool QueryJobs(HANDLE printer, DWORD jobCount, std::vector<BYTE>& buffer, DWORD* returned) {
  DWORD needed = 0;
  *returned = 0;
  if (!EnumJobsA(printer, 0, jobCount, 2, nullptr, 0, &needed, returned) &&
      GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
    return false;
  }
  buffer.assign(needed, 0);
  return EnumJobsA(printer, 0, jobCount, 2, buffer.data(), needed, &needed, returned) != 0;
}

const JOB_INFO_2A* Jobs(const std::vector<BYTE>& buffer) {
  return reinterpret_cast<const JOB_INFO_2A*>(buffer.data());
}

// The queue of the run's printer, in queue order; the spooler's error when it cannot be read.
DWORD ReadPrinterJobIDs(std::vector<DWORD>& jobIds, DWORD* keepPrintedJobs) {
  std::string printerName = Program().printerName;
  HANDLE opened = nullptr;
  if (!OpenPrinterA(printerName.data(), &opened, nullptr)) {
    return GetLastError();
  }
  ScopedPrinter printer(opened);
  std::vector<BYTE> printerInfo;
  if (!QueryPrinterInfo(printer.Get(), printerInfo)) {
    return GetLastError();
  }
  const auto* info = reinterpret_cast<const PRINTER_INFO_2A*>(printerInfo.data());
  *keepPrintedJobs = info->Attributes & PRINTER_ATTRIBUTE_KEEPPRINTEDJOBS;
  std::vector<BYTE> jobs;
  DWORD returned = 0;
  if (!QueryJobs(printer.Get(), info->cJobs, jobs, &returned)) {
    return GetLastError();
  }
  for (DWORD i = 0; i < returned; ++i) {
    jobIds.push_back(Jobs(jobs)[i].JobId);
  }
  return ERROR_SUCCESS;
}

// A job whose pages are out but whose queue entry could not be removed: worth a word, not a
// lost page.
void ReportStaleJob(int jobId, const std::string& printerName, DWORD error) {
  ReportRunFailure("job " + std::to_string(jobId) + " could not be removed from the queue of \"" +
                   printerName + "\" (" + QueueFailureReason(error) +
                   "); its pages are safe, and the entry left behind is harmless: its spool "
                   "file is gone, so no run converts it again");
}

}  // namespace

int GetJobIDFromFileName(const std::string& path) {
  if (path.empty()) {
    return -1;
  }
  char name[_MAX_FNAME];
  _splitpath(path.c_str(), nullptr, nullptr, name, nullptr);
  const char* digit = name;
  while (*digit != '\0' && (*digit < '0' || *digit > '9')) {
    ++digit;
  }
  if (*digit == '\0') {
    return -1;
  }
  long long number = 0;
  for (; *digit >= '0' && *digit <= '9'; ++digit) {
    number = number * 10 + (*digit - '0');
    if (number > INT_MAX) {
      return -1;  // no job carries such a number
    }
  }
  return static_cast<int>(number);
}

int DeleteOnePrinterJobBySPLFile(const std::string& splPath) {
  if (splPath.empty()) {
    return -1;
  }
  const int jobId = GetJobIDFromFileName(splPath);
  LogMessage("GetJobIDFromFileName('%s') = %d\n", splPath.c_str(), jobId);
  if (jobId < 0) {
    return 0;
  }
  return DeleteOnePrinterJob(jobId);
}

int DeleteOnePrinterJob(int jobId) {
  LogMessage("DeleteOnePrinterJob(%d).\n", jobId);
  std::string printerName = Program().printerName;
  PRINTER_DEFAULTSA defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
  HANDLE opened = nullptr;
  if (!OpenPrinterA(printerName.data(), &opened, &defaults)) {
    const DWORD error = GetLastError();
    LogMessage("OpenPrinter(\"%s\") failed.\n", printerName.c_str());
    if (error != ERROR_INVALID_PRINTER_NAME) {  // no printer, no queue to tidy
      ReportStaleJob(jobId, printerName, error);
    }
    return 0;
  }
  ScopedPrinter printer(opened);
  std::vector<BYTE> printerInfo;
  std::vector<BYTE> jobs;
  DWORD returned = 0;
  if (!QueryPrinterInfo(printer.Get(), printerInfo) ||
      !QueryJobs(printer.Get(), reinterpret_cast<const PRINTER_INFO_2A*>(printerInfo.data())->cJobs,
                 jobs, &returned)) {
    ReportStaleJob(jobId, printerName, GetLastError());
    return 0;
  }
  for (DWORD i = 0; i < returned; ++i) {
    if (Jobs(jobs)[i].JobId == static_cast<DWORD>(jobId)) {
      // Spoolers differ in which of the two removes a job; either will do, and a job already
      // gone when the second asks is no failure.
      const BOOL deleted =
          SetJobA(printer.Get(), static_cast<DWORD>(jobId), 0, nullptr, JOB_CONTROL_DELETE);
      const DWORD deleteError = GetLastError();
      const BOOL cancelled =
          SetJobA(printer.Get(), static_cast<DWORD>(jobId), 0, nullptr, JOB_CONTROL_CANCEL);
      if (!deleted && !cancelled && deleteError != ERROR_INVALID_PARAMETER) {
        ReportStaleJob(jobId, printerName, deleteError);
        return 0;
      }
      LogMessage("OK, found and delete JobId (%d).\n", jobId);
      break;
    }
  }
  return 1;
}

int GetPrinterJobIDs(std::vector<DWORD>& jobIds, DWORD* keepPrintedJobs) {
  jobIds.clear();
  // The error is set once the printer handle is closed, so that closing it cannot change it.
  const DWORD error = ReadPrinterJobIDs(jobIds, keepPrintedJobs);
  if (error != ERROR_SUCCESS) {
    jobIds.clear();
    SetLastError(error);
    return 0;
  }
  return 1;
}

std::string QueueFailureReason(DWORD error) {
  switch (error) {
    case ERROR_TIMEOUT:
      return "another program held its lock past the time allowed";
    case ERROR_CANT_RESOLVE_FILENAME:
      return "a link stands where its file or lock should be, and links are never followed";
    case ERROR_ACCESS_DENIED:
      return "access denied";
    default:
      return "error " + std::to_string(error);
  }
}
