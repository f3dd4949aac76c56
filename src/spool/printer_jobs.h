// The printer's queue: which jobs are waiting, and removing one once its pages are out.
#pragma once

#include <string>
#include <vector>

#include "win32/win32.h"

// The decimal number from the first digit of the base name on; -1 when there is none.
int GetJobIDFromFileName(const std::string& path);

// -1 for no path, 0 when the name holds no job number, else DeleteOnePrinterJob's result.
int DeleteOnePrinterJobBySPLFile(const std::string& splPath);

// 1 when the queue could be read (whether or not the job was in it), 0 on a spooler failure.
int DeleteOnePrinterJob(int jobId);

// 1 with the queued job numbers in queue order and the keep-printed-jobs flag; 0 on failure.
int GetPrinterJobIDs(std::vector<DWORD>& jobIds, DWORD* keepPrintedJobs);
