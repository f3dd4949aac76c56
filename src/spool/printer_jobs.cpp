#include "spool/printer_jobs.h"

#include <climits>

#include "services/diagnostic_log.h"
#include "services/program_values.h"
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
    LogMessage("OpenPrinter(\"%s\") failed.\n", printerName.c_str());
    return 0;
  }
  ScopedPrinter printer(opened);
  std::vector<BYTE> printerInfo;
  std::vector<BYTE> jobs;
  DWORD returned = 0;
  if (!QueryPrinterInfo(printer.Get(), printerInfo) ||
      !QueryJobs(printer.Get(), reinterpret_cast<const PRINTER_INFO_2A*>(printerInfo.data())->cJobs,
                 jobs, &returned)) {
    return 0;
  }
  for (DWORD i = 0; i < returned; ++i) {
    if (Jobs(jobs)[i].JobId == static_cast<DWORD>(jobId)) {
      SetJobA(printer.Get(), static_cast<DWORD>(jobId), 0, nullptr, JOB_CONTROL_DELETE);
      SetJobA(printer.Get(), static_cast<DWORD>(jobId), 0, nullptr, JOB_CONTROL_CANCEL);
      LogMessage("OK, found and delete JobId (%d).\n", jobId);
      break;
    }
  }
  return 1;
}

int GetPrinterJobIDs(std::vector<DWORD>& jobIds, DWORD* keepPrintedJobs) {
  jobIds.clear();
  std::string printerName = Program().printerName;
  HANDLE opened = nullptr;
  if (!OpenPrinterA(printerName.data(), &opened, nullptr)) {
    return 0;
  }
  ScopedPrinter printer(opened);
  std::vector<BYTE> printerInfo;
  if (!QueryPrinterInfo(printer.Get(), printerInfo)) {
    return 0;
  }
  const auto* info = reinterpret_cast<const PRINTER_INFO_2A*>(printerInfo.data());
  *keepPrintedJobs = info->Attributes & PRINTER_ATTRIBUTE_KEEPPRINTEDJOBS;
  std::vector<BYTE> jobs;
  DWORD returned = 0;
  if (!QueryJobs(printer.Get(), info->cJobs, jobs, &returned)) {
    return 0;
  }
  for (DWORD i = 0; i < returned; ++i) {
    jobIds.push_back(Jobs(jobs)[i].JobId);
  }
  return 1;
}
