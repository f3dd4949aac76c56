// The printer's queue: which jobs are waiting, and removing one once its pages are out.
#pragma once

#include <string>
#include <vector>

#include "win32/win32.h"

// The decimal number from the first digit of the base name on; -1 when there is none.
int GetJobIDFromFileName(const std::string& path);

// -1 for no path, 0 when the name holds no job number, else DeleteOnePrinterJob's result.
int DeleteOnePrinterJobBySPLFile(const std::string& splPath);

// Removes the job from the run's printer once its pages are out. 1 when the queue could be
// read (whether or not the job was in it) and the job, if there, removed; 0 on a spooler
// failure, which is reported as a run failure unless the printer does not exist.
int DeleteOnePrinterJob(int jobId);

// 1 with the queued job numbers in queue order and the keep-printed-jobs flag; 0 on failure,
// with the spooler's error as the last error (ERROR_INVALID_PRINTER_NAME: no such printer).
int GetPrinterJobIDs(std::vector<DWORD>& jobIds, DWORD* keepPrintedJobs);

// Why the queue could not be read or changed, in words, from the spooler's error.
std::string QueueFailureReason(DWORD error);
