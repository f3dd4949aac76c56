// Printer handles, printer information and job control over the printers file.
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "win32/kernel32/errors.h"
#include "win32/kernel32/handles.h"
#include "win32/kernel32/kernel32.h"
#include "win32/winspool/printer_store.h"
#include "win32/winspool/winspool.h"

namespace {

class PrinterObject : public win32::KernelObject {
 public:
  explicit PrinterObject(std::string printer_name) : name(std::move(printer_name)) {}
  bool ClosableByCloseHandle() const override { return false; }
  std::string name;
};

constexpr DWORD kInvalidLevel = 124;  // ERROR_INVALID_LEVEL
const char kDatatype[] = "NT EMF 1.008";
const char kDriver[] = "Quadrine";
const char kPrintProcessor[] = "winprint";

// Lays out structures followed by the strings they point to, as the spooler does.
class InfoBuffer {
 public:
  InfoBuffer(LPBYTE buffer, size_t structures_size)
      : buffer_(buffer), strings_at_(structures_size) {}
  LPSTR Add(const std::string& text) {
    LPSTR where = reinterpret_cast<LPSTR>(buffer_ + strings_at_);
    std::memcpy(where, text.c_str(), text.size() + 1);
    strings_at_ += text.size() + 1;
    return where;
  }

 private:
  LPBYTE buffer_;
  size_t strings_at_;
};

std::string UserName() {
  const char* user = std::getenv("USER");
  return user ? user : "user";
}

std::string MachineName() {
  char host[256] = {};
  gethostname(host, sizeof host - 1);
  return std::string("\\\\") + host;
}

}  // namespace

BOOL WINAPI OpenPrinterA(LPSTR pPrinterName, LPHANDLE phPrinter, LPPRINTER_DEFAULTSA /*pDefault*/) {
  if (phPrinter == nullptr || pPrinterName == nullptr) {
    return win32::Fail(ERROR_INVALID_PARAMETER);
  }
  *phPrinter = nullptr;
  // ReadPrinter's error tells a missing printer from a queue that could not be read.
  if (!win32::spooler::ReadPrinter(pPrinterName)) {
    return FALSE;
  }
  *phPrinter = win32::InsertHandle(std::make_shared<PrinterObject>(pPrinterName));
  return TRUE;
}

BOOL WINAPI ClosePrinter(HANDLE hPrinter) {
  return win32::CloseHandleOf<PrinterObject>(hPrinter);
}

BOOL WINAPI GetPrinterA(HANDLE hPrinter, DWORD Level, LPBYTE pPrinter, DWORD cbBuf,
                        LPDWORD pcbNeeded) {
  auto printer = win32::LookupHandleOf<PrinterObject>(hPrinter);
  if (!printer) {
    return win32::Fail(ERROR_INVALID_HANDLE);
  }
  if (Level != 2) {
    return win32::Fail(kInvalidLevel);
  }
  const auto record = win32::spooler::ReadPrinter(printer->name);
  if (!record) {
    return FALSE;
  }
  const std::string port = "QUADRINE:";
  const size_t needed = sizeof(PRINTER_INFO_2A) + record->name.size() + 1 + port.size() + 1 +
                        sizeof kDriver + sizeof kPrintProcessor + sizeof kDatatype + 1;
  if (pcbNeeded != nullptr) {
    *pcbNeeded = static_cast<DWORD>(needed);
  }
  if (pPrinter == nullptr || cbBuf < needed) {
    return win32::Fail(ERROR_INSUFFICIENT_BUFFER);
  }
  auto* info = reinterpret_cast<PRINTER_INFO_2A*>(pPrinter);
  *info = PRINTER_INFO_2A{};
  InfoBuffer strings(pPrinter, sizeof(PRINTER_INFO_2A));
  info->pPrinterName = strings.Add(record->name);
  info->pPortName = strings.Add(port);
  info->pDriverName = strings.Add(kDriver);
  info->pPrintProcessor = strings.Add(kPrintProcessor);
  info->pDatatype = strings.Add(kDatatype);
  info->pParameters = strings.Add("");
  info->Attributes = record->attributes;
  info->Priority = 1;
  info->DefaultPriority = 1;
  info->cJobs = static_cast<DWORD>(record->jobs.size());
  return TRUE;
}

BOOL WINAPI EnumJobsA(HANDLE hPrinter, DWORD FirstJob, DWORD NoJobs, DWORD Level, LPBYTE pJob,
                      DWORD cbBuf, LPDWORD pcbNeeded, LPDWORD pcReturned) {
  auto printer = win32::LookupHandleOf<PrinterObject>(hPrinter);
  if (!printer || pcbNeeded == nullptr || pcReturned == nullptr) {
    return win32::Fail(printer ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
  }
  *pcbNeeded = 0;
  *pcReturned = 0;
  if (Level != 2) {
    return win32::Fail(kInvalidLevel);
  }
  const auto record = win32::spooler::ReadPrinter(printer->name);
  if (!record) {
    return FALSE;
  }
  const size_t total = record->jobs.size();
  const size_t first = FirstJob < total ? FirstJob : total;
  const size_t count = NoJobs < total - first ? NoJobs : total - first;
  const std::string user = UserName();
  const std::string machine = MachineName();
  const size_t strings_per_job = record->name.size() + 1 + machine.size() + 1 + user.size() + 1 +
                                 1 + sizeof kDatatype + sizeof kPrintProcessor + sizeof kDriver;
  const size_t needed = count * (sizeof(JOB_INFO_2A) + strings_per_job);
  *pcbNeeded = static_cast<DWORD>(needed);
  if (needed > 0 && (pJob == nullptr || cbBuf < needed)) {
    return win32::Fail(ERROR_INSUFFICIENT_BUFFER);
  }
  InfoBuffer strings(pJob, count * sizeof(JOB_INFO_2A));
  for (size_t i = 0; i < count; ++i) {
    auto* job = reinterpret_cast<JOB_INFO_2A*>(pJob) + i;
    *job = JOB_INFO_2A{};
    job->JobId = record->jobs[first + i];
    job->pPrinterName = strings.Add(record->name);
    job->pMachineName = strings.Add(machine);
    job->pUserName = strings.Add(user);
    job->pDocument = strings.Add("");
    job->pDatatype = strings.Add(kDatatype);
    job->pPrintProcessor = strings.Add(kPrintProcessor);
    job->pDriverName = strings.Add(kDriver);
    job->Priority = 1;
    job->Position = static_cast<DWORD>(first + i + 1);
  }
  *pcReturned = static_cast<DWORD>(count);
  return TRUE;
}

BOOL WINAPI SetJobA(HANDLE hPrinter, DWORD JobId, DWORD Level, LPBYTE pJob, DWORD Command) {
  auto printer = win32::LookupHandleOf<PrinterObject>(hPrinter);
  if (!printer) {
    return win32::Fail(ERROR_INVALID_HANDLE);
  }
  if (Level != 0 || pJob != nullptr) {
    return win32::Fail(kInvalidLevel);
  }
  if (Command != JOB_CONTROL_DELETE && Command != JOB_CONTROL_CANCEL) {
    return win32::Fail(ERROR_NOT_SUPPORTED);
  }
  bool read = false;
  bool found = false;
  const bool saved =
      win32::spooler::ChangePrinter(printer->name, false, [&](win32::spooler::PrinterRecord& p) {
        read = true;
        const auto before = p.jobs.size();
        std::erase(p.jobs, JobId);
        found = p.jobs.size() != before;
        return found;
      });
  if (read && !found) {
    return win32::Fail(ERROR_INVALID_PARAMETER);
  }
  return saved ? TRUE : FALSE;  // else ChangePrinter's error: the queue could not be changed
}
