// Spool files: the header check, and cutting each page's EMF out into a page file.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "base/file_list.h"
#include "base/print_job.h"
#include "formats/spool_format.h"
#include "services/scoped_handles.h"

// The first six bytes of the first page's EMF, and a terminating zero.
using EmfStartPattern = std::array<unsigned char, 7>;

// The page file "%s%04d.emf" of a source's base name and the page index in destDir; for a
// candidate above 0, "%s%04d-N.emf".
std::string PageFileName(const std::string& destDir, const std::string& baseName, int index,
                         int candidate);

// Makes a page file under its name, or the next free one when that is taken (a file of
// another run, a planted link): create(path) makes the file exclusively and fails with
// ERROR_FILE_EXISTS or ERROR_ALREADY_EXISTS on a taken name. Each name is put in the run's
// record (with source, the file the page comes from) before the file is made, so that a run
// that dies while making it leaves nothing the next run does not know of. The path made, or
// empty.
std::string CreateFreePageFile(const std::string& destDir, const std::string& baseName, int index,
                               const std::string& source, const PrintJob& job,
                               const std::function<bool(const std::string&)>& create);

// Waits until the file's size stops changing (at least one pause of a second). Always 1.
int WaitForFileSizeStable(const std::string& path);

// Opens a file for reading, waiting up to five seconds for it to appear and then for its
// size to settle when the first attempt fails.
ScopedHandle OpenFileWhenReady(const std::string& path);

// 1 when the file is a usable spool file, with the first page's start pattern; else 0.
int CheckSpoolerFileHeader(const std::string& path, EmfStartPattern& pattern);

// Writes one page file per page into destDir and appends their paths to the list (and, given
// jobs, the job each comes from: the number in the file's name, the document in its header);
// then deletes the spool file and its job, unless a page file could not be written. Returns
// the number of pages found, 0 when the file was refused.
int ReadBinaryDataFile(const std::string& splPath, const std::string& destDir, FileList& list,
                       PageJobs* jobs = nullptr);
