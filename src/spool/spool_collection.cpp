#include "spool/spool_collection.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "base/text_util.h"
#include "services/diagnostic_log.h"
#include "services/program_values.h"
#include "services/run_report.h"
#include "services/scoped_handles.h"
#include "spool/printer_jobs.h"
#include "spool/spool_file.h"
#include "win32/win32.h"

namespace {

constexpr DWORD kFolderBufferSize = 255;

std::string BaseName(const std::string& path) {
  char name[_MAX_FNAME];
  _splitpath(path.c_str(), nullptr, nullptr, name, nullptr);
  return name;
}

}  // namespace

std::string TemporaryFolder() {
  char folder[kFolderBufferSize + 1] = {};
  const DWORD length = GetTempPathA(kFolderBufferSize, folder);
  std::string text(folder, length <= kFolderBufferSize ? length : 0);
  return JoinPath(text, "");
}

bool IsWindowsNT() {
  return (GetVersion() & 0x80000000u) == 0;
}

bool IsWindows95() {
  return !IsWindowsNT() && ((GetVersion() >> 8) & 0xFF) == 0;
}

bool IsWindows98() {
  return !IsWindowsNT() && ((GetVersion() >> 8) & 0xFF) != 0;
}

std::string SpoolFolder() {
  char windows[kFolderBufferSize + 1] = {};
  const UINT length = GetWindowsDirectoryA(windows, kFolderBufferSize);
  std::string folder(windows, length <= kFolderBufferSize ? length : 0);
  for (const char* part : {"system32", "spool", "PRINTERS", ""}) {
    folder = JoinPath(folder, part);
  }
  return folder;
}

int FindFiles(const std::string& folder, const char* pattern, FileList& list) {
  if (folder.empty() || pattern == nullptr || *pattern == '\0') {
    return 0;
  }
  list.clear();
  WIN32_FIND_DATAA data;
  ScopedFindHandle search(FindFirstFileA(JoinPath(folder, pattern).c_str(), &data));
  if (!search.Valid()) {
    return 0;
  }
  do {
    const bool isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const bool isEmpty = data.nFileSizeHigh == 0 && data.nFileSizeLow == 0;
    if (!isFolder && !isEmpty) {
      list.push_back(JoinPath(folder, data.cFileName));
    }
  } while (FindNextFileA(search.Get(), &data));
  return static_cast<int>(list.size());
}

void DeleteFiles(const std::string& folder, const char* pattern) {
  FileList found;
  FindFiles(folder, pattern, found);
  for (const std::string& path : found) {
    DeleteFileA(path.c_str());
  }
}

int FindFileNamePrefix(const std::string& prefix, const FileList& list) {
  if (prefix.empty()) {
    return 0;
  }
  for (const std::string& entry : list) {
    const std::string name = BaseName(entry);
    if (name.size() >= prefix.size() &&
        EqualsIgnoringCase(std::string_view(name).substr(0, prefix.size()), prefix)) {
      return 1;
    }
  }
  return 0;
}

int CheckAllSPLFiles(FileList& splFiles) {
  if (splFiles.empty()) {
    return 0;  // nothing to match, so no reason to wait for the queue
  }
  std::vector<DWORD> jobIds;
  DWORD keepPrintedJobs = 0;
  if (!GetPrinterJobIDs(jobIds, &keepPrintedJobs)) {
    const DWORD error = GetLastError();
    if (error != ERROR_INVALID_PRINTER_NAME) {
      // Not knowing the queue is not an empty queue: every spool file stays, with its job.
      ReportRunFailure("the queue of \"" + Program().printerName + "\" cannot be read (" +
                       QueueFailureReason(error) +
                       "); no spool file was taken, and every job stays queued for a later run");
      splFiles.clear();
    }
    return 0;
  }
  if (jobIds.empty()) {
    return 0;
  }
  // Only this printer's queued jobs count, whether or not it keeps printed jobs: the spool
  // folder serves every printer, and another printer's spool file is for its own back end.
  (void)keepPrintedJobs;
  for (size_t i = splFiles.size(); i > 0; --i) {
    const int jobId = GetJobIDFromFileName(splFiles[i - 1]);
    if (jobId < 0 ||
        std::find(jobIds.begin(), jobIds.end(), static_cast<DWORD>(jobId)) == jobIds.end()) {
      splFiles.erase(splFiles.begin() + static_cast<long>(i - 1));
    }
  }
  return static_cast<int>(splFiles.size());
}

int ConvertEMFFiles(int bClear, const std::string& strDestDir, FileList& list, PageJobs* jobs) {
  if (strDestDir.empty()) {
    return 0;
  }
  LogMessage("ConvertEMFFiles: bClear=%d, strDestDir=%s\n", bClear, strDestDir.c_str());
  // The temporary folder is shared with every other program: nothing there is cleared.
  const std::string temporaryFolder = TemporaryFolder();
  if (bClear) {
    DeleteFiles(strDestDir, "*.emf");
  }

  if (IsWindows95() || IsWindows98()) {
    // The 9x spooler leaves one EMF per page in the temporary folder. Each is copied under a
    // free page-file name and removed once copied, so it is converted once; one that cannot
    // be copied stays where it is. They carry no job number or document name: the run's
    // pages are one job, numbered 0.
    const PrintJob kNoJob;
    FileList found;
    const int count = FindFiles(temporaryFolder, "~emf*.tmp", found);
    for (int i = 0; i < count; ++i) {
      const std::string& source = found[static_cast<size_t>(i)];
      const std::string pagePath = CreateFreePageFile(
          strDestDir, BaseName(source), i, source, kNoJob, [&](const std::string& path) {
            return CopyFileA(source.c_str(), path.c_str(), TRUE) != FALSE;
          });
      if (pagePath.empty()) {
        ReportRunFailure("'" + source + "' could not be copied into '" + strDestDir +
                         "'; it stays where it is");
        continue;
      }
      DeleteFileA(source.c_str());
      list.push_back(pagePath);
      if (jobs != nullptr) {
        (*jobs)[pagePath] = kNoJob;
      }
    }
    return count;
  }

  const std::string spoolFolder = SpoolFolder();
  FileList found;
  const int foundCount = FindFiles(spoolFolder, "*.SPL", found);
  LogMessage("FindFiles('%s') return '%d'...\n", spoolFolder.c_str(), foundCount);
  const int accepted = CheckAllSPLFiles(found);
  LogMessage("CheckAllSPLFiles() return '%d'...\n", accepted);

  FileList toExtract;
  for (int i = 0; i < accepted; ++i) {
    const std::string& splPath = found[static_cast<size_t>(i)];
    if (FindFileNamePrefix(BaseName(splPath), list)) {
      continue;  // its pages are listed already
    }
    WaitForFileSizeStable(splPath);
    toExtract.push_back(splPath);
  }
  for (const std::string& splPath : toExtract) {
    ReadBinaryDataFile(splPath, strDestDir, list, jobs);
  }
  return accepted;
}
