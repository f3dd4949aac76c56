// The spooler's printers and queues: $WINDIR/system32/spool/printers.ini, one section per
// printer with "Attributes=" (decimal) and "Jobs=" (job numbers in queue order, "12,13").
// It is read and changed under an exclusive lock on printers.ini.lock beside it, so that
// concurrent changes lose nothing, and rewritten whole under a new name renamed over the old
// one, so that a process killed while writing leaves the old queue or the new, never an empty
// one. A link at printers.ini is refused, never read or written through. Waits for the lock
// are bounded: ERROR_TIMEOUT after 30 seconds, so that a lock held by another user's program
// cannot stall the printer for ever.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "win32/kernel32/ini_document.h"
#include "win32/win32_types.h"

namespace win32::spooler {

// Job numbers are 1..2^31-1: the converter and the Win32 callers keep them in an int.
inline constexpr DWORD kHighestJobNumber = 0x7FFFFFFF;

struct PrinterRecord {
  std::string name;
  DWORD attributes = 0;
  std::vector<DWORD> jobs;
  // Filled in by ChangePrinter: the spooler's counter, the job number handed out last on this
  // machine (0 before the first), kept in printers.ini so that a number is not used again soon
  // after its spool file and queue entry are gone; and the numbers queued on every printer.
  DWORD last_job = 0;
  std::vector<DWORD> queued_anywhere;

  // The job number to hand out next: the first after the counter, wrapping from 2^31-1 to 1,
  // that is queued on no printer and that taken (when given) does not claim; 0 when every
  // number is in use. A job added by the change moves the counter on to it.
  DWORD NextJob(const std::function<bool(DWORD)>& taken = nullptr) const;
};

std::string SpoolDirectory();  // $WINDIR/system32/spool
std::string PrintersFilePath();

// Reads one printer under the lock; none when it has no section (ERROR_INVALID_PRINTER_NAME),
// the lock wait timed out (ERROR_TIMEOUT), printers.ini is a link (ERROR_CANT_RESOLVE_FILENAME)
// or cannot be read.
std::optional<PrinterRecord> ReadPrinter(const std::string& name);

// Runs a change on the printer under the lock and saves it when the change returns true.
// With create set, a missing file or section is made first. False when the printer is
// missing, the change declined, or the file could not be locked, read or written (last error
// set as for ReadPrinter; left as the change set it when it declined).
// Removes the files of a folder whose names match a glob (folders and all else stay); for
// what a writer that died under the queue's lock left.
void RemoveFilesLike(const std::string& folder, const char* pattern);

bool ChangePrinter(const std::string& name, bool create,
                   const std::function<bool(PrinterRecord&)>& change);

}  // namespace win32::spooler
