#include "spool/spool_file.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <functional>

#include "base/text_util.h"
#include "services/diagnostic_log.h"
#include "services/pending_pages.h"
#include "services/run_report.h"
#include "spool/printer_jobs.h"
#include "win32/win32.h"

namespace {

constexpr uint32_t kSpoolSignature = 0x00010000;
constexpr uint32_t kPsJobDataRecord = 20;     // EMRI_PS_JOB_DATA
constexpr uint32_t kMetafileDataRecord = 12;  // EMRI_METAFILE_DATA
constexpr int kPageNameCandidates = 1000;

struct RecordHead {
  uint32_t Signature = 0;
  uint32_t EMFsize = 0;
};

// Reads up to size bytes; what is missing at the end of the file stays as it was.
DWORD ReadUpTo(HANDLE file, void* buffer, size_t size) {
  DWORD total = 0;
  auto* bytes = static_cast<unsigned char*>(buffer);
  while (total < size) {
    const size_t left = size - total;
    const DWORD chunk = left > (1u << 30) ? (1u << 30) : static_cast<DWORD>(left);
    DWORD got = 0;
    if (!ReadFile(file, bytes + total, chunk, &got, nullptr) || got == 0) {
      break;
    }
    total += got;
  }
  return total;
}

unsigned long long FileSizeOf(HANDLE file) {
  DWORD high = 0;
  const DWORD low = GetFileSize(file, &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS) {
    return 0;
  }
  return (static_cast<unsigned long long>(high) << 32) | low;
}

bool Seek(HANDLE file, unsigned long long offset, DWORD method) {
  LONG high = static_cast<LONG>(offset >> 32);
  return SetFilePointer(file, static_cast<LONG>(offset & 0xFFFFFFFFu), &high, method) !=
             INVALID_SET_FILE_POINTER ||
         GetLastError() == ERROR_SUCCESS;
}

unsigned long long Position(HANDLE file) {
  LONG high = 0;
  const DWORD low = SetFilePointer(file, 0, &high, FILE_CURRENT);
  return (static_cast<unsigned long long>(static_cast<DWORD>(high)) << 32) | low;
}

// Created exclusively: a page file never replaces a file, nor follows a link planted at its
// name.
bool WritePageFile(const std::string& path, std::span<const unsigned char> bytes) {
  ScopedHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) {
    return false;
  }
  size_t done = 0;
  while (done < bytes.size()) {
    const size_t left = bytes.size() - done;
    const DWORD chunk = left > (1u << 30) ? (1u << 30) : static_cast<DWORD>(left);
    DWORD written = 0;
    if (!WriteFile(file.Get(), bytes.data() + done, chunk, &written, nullptr) || written == 0) {
      file.Reset();
      DeleteFileA(path.c_str());  // a cut page would draw as garbage
      return false;
    }
    done += written;
  }
  return true;
}

}  // namespace

std::string PageFileName(const std::string& destDir, const std::string& baseName, int index,
                         int candidate) {
  char name[_MAX_FNAME + 64];
  if (candidate == 0) {
    std::snprintf(name, sizeof name, "%s%04d.emf", baseName.c_str(), index);
  } else {
    std::snprintf(name, sizeof name, "%s%04d-%d.emf", baseName.c_str(), index, candidate);
  }
  return JoinPath(destDir, name);
}

std::string CreateFreePageFile(const std::string& destDir, const std::string& baseName, int index,
                               const std::string& source, const PrintJob& job,
                               const std::function<bool(const std::string&)>& create) {
  for (int candidate = 0; candidate < kPageNameCandidates; ++candidate) {
    const std::string pagePath = PageFileName(destDir, baseName, index, candidate);
    // A name that is taken is never recorded: the record names only files of this run.
    if (GetFileAttributesA(pagePath.c_str()) != INVALID_FILE_ATTRIBUTES) {
      continue;
    }
    AddPendingPage(pagePath, source, job);
    if (create(pagePath)) {
      return pagePath;
    }
    const DWORD error = GetLastError();
    RemovePendingPage(pagePath);
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
      break;
    }
  }
  return {};
}

int WaitForFileSizeStable(const std::string& path) {
  long long previous = -1;
  for (;;) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
      return 1;
    }
    const long long size = static_cast<long long>(
        (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    if (size <= 0 || size == previous) {
      return 1;
    }
    Sleep(1000);
    previous = size;
  }
}

ScopedHandle OpenFileWhenReady(const std::string& path) {
  auto open = [&] {
    // The spooler may still hold the file open for writing: share writing, as fopen does.
    return ScopedHandle(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  };
  ScopedHandle file = open();
  if (file.Valid()) {
    return file;
  }
  for (int pause = 0; pause < 10 && GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES;
       ++pause) {
    Sleep(500);
  }
  WaitForFileSizeStable(path);
  return open();
}

int CheckSpoolerFileHeader(const std::string& path, EmfStartPattern& pattern) {
  ScopedHandle file = OpenFileWhenReady(path);
  if (!file.Valid()) {
    LogMessage("Can't open spooler file: '%s'\n", path.c_str());
    return 0;
  }
  const unsigned long long length = FileSizeOf(file.Get());
  if (length == 0) {
    LogMessage("'%s' file size is %d.\n", path.c_str(), 0);
    return 0;
  }
  uint32_t header[2] = {0, 0};
  ReadUpTo(file.Get(), header, sizeof header);
  if (header[0] != kSpoolSignature) {
    file.Reset();
    LogMessage("This is not a valid spooler file: '%s'\n", path.c_str());
    return 0;
  }
  RecordHead head;
  if (Seek(file.Get(), header[1], FILE_BEGIN)) {
    ReadUpTo(file.Get(), &head, sizeof head);
  }
  if (head.Signature == kPsJobDataRecord) {
    const RecordHead skipped = head;
    head = RecordHead{};
    if (Seek(file.Get(), skipped.EMFsize, FILE_CURRENT)) {
      ReadUpTo(file.Get(), &head, sizeof head);
    }
  }
  // A page record that claims more bytes than the file holds is a cut file, not a page.
  const bool fits = Position(file.Get()) + head.EMFsize <= length;
  if (head.Signature == kMetafileDataRecord && head.EMFsize != 0 && fits) {
    pattern.fill(0);
    ReadUpTo(file.Get(), pattern.data(), 6);
    return 1;
  }
  file.Reset();
  LogMessage("This is not a valid spooler file (2): '%s'\n", path.c_str());
  LogMessage("Head.Signature = 0x%02X\n", head.Signature);
  LogMessage("EMFheaderSignature = 0x%02X\n", kMetafileDataRecord);
  LogMessage("Head.EMFsize = %d\n", static_cast<int>(head.EMFsize));
  return 0;
}

int ReadBinaryDataFile(const std::string& splPath, const std::string& destDir, FileList& list,
                       PageJobs* jobs) {
  if (splPath.empty() || destDir.empty()) {
    return 0;
  }
  LogMessage("ReadBinaryDataFile('%s').\n", splPath.c_str());
  EmfStartPattern pattern{};
  if (!CheckSpoolerFileHeader(splPath, pattern)) {
    return 0;
  }
  ScopedHandle file(CreateFileA(splPath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) {
    return 0;
  }
  const unsigned long long length = FileSizeOf(file.Get());
  if (length == 0) {
    return 0;
  }
  std::vector<unsigned char> bytes;
  try {
    bytes.resize(static_cast<size_t>(length));
  } catch (const std::exception&) {  // bad_alloc, or a size beyond what a vector holds
    file.Reset();
    MessageBoxA(nullptr, "Can not malloc memory.", "Error", MB_OK);
    return 0;
  }
  // A file that shrank while we read it is scanned for what it holds.
  bytes.resize(ReadUpTo(file.Get(), bytes.data(), bytes.size()));
  file.Reset();

  const SpoolPages found = FindPages(bytes);
  if (found.lastIncomplete) {
    // Cutting now would draw the last page from what is there and delete a file that is
    // still growing: the file and its job wait for a later run.
    ReportRunFailure("'" + splPath + "' is still being written (its last page runs past its " +
                     "end); it stays with its job for a later run");
    return 0;
  }
  char baseName[_MAX_FNAME];
  _splitpath(splPath.c_str(), nullptr, nullptr, baseName, nullptr);
  PrintJob job;
  job.number = static_cast<unsigned long>(std::max(0, GetJobIDFromFileName(splPath)));
  job.document = CutDocumentName(SpoolDocumentName(bytes));

  bool everyPageWritten = true;
  for (size_t k = 0; k < found.pages.size(); ++k) {
    const SpoolPage& page = found.pages[k];
    const std::string pagePath = CreateFreePageFile(
        destDir, baseName, static_cast<int>(k), splPath, job, [&](const std::string& path) {
          return WritePageFile(path, std::span(bytes).subspan(page.offset, page.size));
        });
    if (pagePath.empty()) {
      // Not listed: a file at that name is not this page, and converting it would take
      // another's file; the page stays in its spool file, which stays with its job.
      LogMessage("Can't write page file '%s'.\n",
                 PageFileName(destDir, baseName, static_cast<int>(k), 0).c_str());
      everyPageWritten = false;
      continue;
    }
    list.push_back(pagePath);
    if (jobs != nullptr) {
      (*jobs)[pagePath] = job;
    }
  }
  bytes = {};
  if (!everyPageWritten) {
    // Deleting the spool file now would lose the pages that could not be written.
    ReportRunFailure("'" + splPath + "' and its job stay: not every page file could be written");
    return static_cast<int>(found.pages.size());
  }
  LogMessage("DeleteFile('%s')\n", splPath.c_str());
  DeleteFileA(splPath.c_str());
  LogMessage("DeleteOnePrinterJobBySPLFile('%s').\n", splPath.c_str());
  DeleteOnePrinterJobBySPLFile(splPath);
  return static_cast<int>(found.pages.size());
}
