// The spooler's printers and queues: $WINDIR/system32/spool/printers.ini, one section per
// printer with "Attributes=" (decimal) and "Jobs=" (job numbers in queue order, "12,13"),
// read and changed under an exclusive lock on the file so that concurrent changes lose nothing.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "win32/kernel32/ini_document.h"
#include "win32/win32_types.h"

namespace win32::spooler {

struct PrinterRecord {
  std::string name;
  DWORD attributes = 0;
  std::vector<DWORD> jobs;
  // The lowest job number never handed out on this machine, filled in by ChangePrinter: the
  // spooler's counter, kept in printers.ini, so a number is never used twice even after its
  // spool file and queue entry are gone.
  DWORD next_job = 1;
};

std::string SpoolDirectory();  // $WINDIR/system32/spool
std::string PrintersFilePath();

// Reads one printer under the lock; none when it has no section (last error set).
std::optional<PrinterRecord> ReadPrinter(const std::string& name);

// Runs a change on the printer under the lock and saves it when the change returns true.
// With create set, a missing file or section is made first. False when the printer is
// missing, the change declined, or the file could not be written (last error set).
bool ChangePrinter(const std::string& name, bool create,
                   const std::function<bool(PrinterRecord&)>& change);

}  // namespace win32::spooler
