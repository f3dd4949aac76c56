// The print job a page came from, and the names taken from it for the job's output files.
#pragma once

#include <compare>
#include <map>
#include <string>
#include <string_view>

struct PrintJob {
  unsigned long number = 0;  // the spooler's job number; 0 where there is none
  std::string document;      // the name it was printed under, as UTF-8
  // Ordered, so that a job's pages can be gathered under it.
  auto operator<=>(const PrintJob&) const = default;
};

// The job of each page file, by its path.
using PageJobs = std::map<std::string, PrintJob>;

// A name as a file may carry it: the last part of a path, only letters, digits, '.', '_', '-'
// and blanks, at most 64 bytes, no dots or blanks at either end, never a device name of
// Windows (CON, NUL, COM1 ...: prefixed with '_'). Empty when nothing is left.
std::string SafeDocumentName(std::string_view name);

// Whether Windows takes the name for a device (CON, PRN, AUX, NUL, COM0-9, LPT0-9, with any
// extension and any case), whatever folder it is in.
bool IsReservedDeviceName(std::string_view name);

// The name cut to at most bytes, at a character's start: a name the spool file may make as long
// as its header, repeated in the recovery record and the log, holds what any reader shows.
std::string CutDocumentName(std::string_view name, size_t bytes = 1024);

// The text with every control character a blank: a document name as a title or a log line.
std::string WithoutControlCharacters(std::string_view text);

// A document name as one field of a line (control characters and backslashes escaped as
// \xHH), and back.
std::string EscapedField(std::string_view text);
std::string UnescapedField(std::string_view field);
