#include "spool/interrupted_run.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "base/text_util.h"
#include "services/diagnostic_log.h"
#include "services/own_files.h"
#include "services/run_report.h"
#include "services/scoped_handles.h"
#include "services/settings.h"
#include "spool/printer_jobs.h"
#include "spool/spool_collection.h"
#include "win32/win32.h"

namespace {

constexpr size_t kEmfHeaderSize = 88;  // the smallest EMR_HEADER
constexpr size_t kSignatureOffset = 40;
constexpr char kEmfSignature[] = " EMF";

std::string FolderOf(const std::string& path) {
  const size_t separator = FindLastPathSeparator(path);
  return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

std::string NameOf(const std::string& path) {
  const size_t separator = FindLastPathSeparator(path);
  return separator == std::string::npos ? path : path.substr(separator + 1);
}

std::string BaseOf(const std::string& path) {
  const std::string name = NameOf(path);
  const size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

// A name as a line may show it: a control byte (a NUL included) as \xHH, so that a name a
// record was made to hold neither ends the line early nor reaches a terminal.
std::string Shown(std::string_view name) {
  std::string shown;
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      static constexpr char kDigits[] = "0123456789ABCDEF";
      shown += "\\x";
      shown += kDigits[byte >> 4];
      shown += kDigits[byte & 15];
    } else {
      shown += c;
    }
  }
  return shown;
}

void SayPageLeftAlone(const std::string& page) {
  ReportRunNotice("the recovery record names '" + Shown(page) +
                  "', which is not a page file this program made; it is left alone");
}

void SayTemporaryLeftAlone(const std::string& path) {
  ReportRunNotice("the recovery record names '" + Shown(path) +
                  "', which is not a temporary file of the run that died; it is left alone");
}

bool AllDigits(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

bool EndsWithIgnoringCase(std::string_view text, std::string_view ending) {
  return text.size() >= ending.size() &&
         EqualsIgnoringCase(text.substr(text.size() - ending.size()), ending);
}

DWORD Attributes(const std::string& path) {
  return path.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesA(path.c_str());
}

bool Exists(const std::string& path) {
  return Attributes(path) != INVALID_FILE_ATTRIBUTES;
}

// A file of its own at the name: not a folder, not a link.
bool IsPlainFile(const std::string& path) {
  const DWORD attributes = Attributes(path);
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
}

PageContent ReadPageContent(const std::string& path) {
  ScopedHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) {
    return PageContent::kOther;
  }
  DWORD high = 0;
  const DWORD low = GetFileSize(file.Get(), &high);
  char head[kEmfHeaderSize];
  DWORD got = 0;
  if (!ReadFile(file.Get(), head, sizeof head, &got, nullptr)) {
    return PageContent::kOther;
  }
  return ClassifyPageBytes(std::string(head, got),
                           (static_cast<unsigned long long>(high) << 32) | low);
}

// The file a page was cut or copied from, when it is one this program reads: a spool file of
// the spool folder, or a 9x spooler's page in the temporary folder.
bool IsPageSource(const std::string& source) {
  const std::string folder = FolderOf(source);
  const std::string name = NameOf(source);
  if (folder == SpoolFolder()) {
    return EndsWithIgnoringCase(name, ".SPL") && name.size() > 4;
  }
  return folder == TemporaryFolder() && name.size() > 8 &&
         EqualsIgnoringCase(name.substr(0, 4), "~emf") && EndsWithIgnoringCase(name, ".tmp");
}

// The staging names of the dead process in a folder, empty files included (a process killed
// right after making one leaves it empty).
void RemoveStagedOutputs(const std::string& folder, DWORD processId) {
  const std::string pattern = "~quadrine-" + std::to_string(processId) + "-*";
  WIN32_FIND_DATAA data;
  ScopedFindHandle search(FindFirstFileA(JoinPath(folder, pattern).c_str(), &data));
  if (!search.Valid()) {
    return;
  }
  FileList staged;
  do {
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
      staged.push_back(JoinPath(folder, data.cFileName));
    }
  } while (FindNextFileA(search.Get(), &data));
  for (const std::string& path : staged) {
    DeleteFileA(path.c_str());
  }
}

// A temporary file of the dead process: "quadrine-PID-N.tmp" in the temporary folder, with
// the endings its users give it.
bool IsTemporaryOf(const std::string& path, DWORD processId) {
  const std::string prefix = "quadrine-" + std::to_string(processId) + "-";
  const std::string name = NameOf(path);
  return FolderOf(path) == TemporaryFolder() && name.starts_with(prefix) &&
         name.ends_with(".tmp") &&
         AllDigits(std::string_view(name).substr(prefix.size(), name.size() - prefix.size() - 4));
}

void RemoveTemporaries(const PendingRecord& record) {
  for (const std::string& path : record.refusedTemporaries) {
    SayTemporaryLeftAlone(path);
  }
  for (const std::string& path : record.temporaries) {
    if (!IsTemporaryOf(path, record.processId)) {
      SayTemporaryLeftAlone(path);
      continue;
    }
    for (const char* ending : {".bmp", ".out", ""}) {
      DeleteFileA((path + ending).c_str());
    }
  }
}

}  // namespace

bool IsPageFileName(const std::string& name, const std::string& sourceBase) {
  if (!EndsWithIgnoringCase(name, ".emf")) {
    return false;
  }
  std::string_view stem(name);
  stem.remove_suffix(4);
  // BASE, the page index in four digits or more, and the "-N" of a name whose plain form was
  // taken; BASE may itself end in digits or a dash, so each reading is tried.
  const auto indexAfter = [&](std::string_view rest) {
    if (!sourceBase.empty()) {
      return rest.size() > sourceBase.size() &&
             EqualsIgnoringCase(rest.substr(0, sourceBase.size()), sourceBase) &&
             AllDigits(rest.substr(sourceBase.size())) && rest.size() - sourceBase.size() >= 4;
    }
    return rest.size() >= 4 && AllDigits(rest.substr(rest.size() - 4));
  };
  if (indexAfter(stem)) {
    return true;
  }
  const size_t dash = stem.rfind('-');
  return dash != std::string_view::npos && AllDigits(stem.substr(dash + 1)) &&
         indexAfter(stem.substr(0, dash));
}

PageContent ClassifyPageBytes(const std::string& head, unsigned long long fileSize) {
  // Each byte that is there must agree with an EMF header: the record type 1 and the
  // signature.
  const unsigned char type[4] = {1, 0, 0, 0};
  for (size_t i = 0; i < 4 && i < head.size(); ++i) {
    if (static_cast<unsigned char>(head[i]) != type[i]) {
      return PageContent::kOther;
    }
  }
  for (size_t i = 0; i < 4 && kSignatureOffset + i < head.size(); ++i) {
    if (head[kSignatureOffset + i] != kEmfSignature[i]) {
      return PageContent::kOther;
    }
  }
  if (head.size() < kEmfHeaderSize) {
    return fileSize == head.size() ? PageContent::kStartOfPage : PageContent::kOther;
  }
  uint32_t declared = 0;  // nBytes, the size of the whole page
  std::memcpy(&declared, head.data() + 48, sizeof declared);
  return declared == fileSize  ? PageContent::kWholePage
         : declared > fileSize ? PageContent::kStartOfPage
                               : PageContent::kOther;
}

namespace {

// A page that was being drawn when this many runs died is not tried again.
constexpr int kDeathsToSetAside = 2;

// Keeps the page under a name that says why it is not converted, next to where it was, and
// says so; the run fails. Nothing is deleted: the page is there to look at or send on.
void SetAside(const std::string& page) {
  const std::string name = NameOf(page);
  const size_t dot = name.rfind('.');
  const std::string stem = FolderOf(page) + (dot == std::string::npos ? name : name.substr(0, dot));
  const std::string extension = dot == std::string::npos ? "" : name.substr(dot);
  std::string aside;
  for (int n = 1; n < 1000; ++n) {
    // Appended piece by piece: "-" + std::to_string(n) sets off GCC 12's false -Wrestrict.
    aside = stem + ".stopped-the-converter";
    if (n > 1) {
      aside += '-';
      aside += std::to_string(n);
    }
    aside += extension;
    if (MoveFileExA(page.c_str(), aside.c_str(), 0)) {
      ReportRunFailure("page file '" + page +
                       "' was being drawn when two runs ended; it is set aside as '" + aside +
                       "' and not converted");
      return;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS && GetLastError() != ERROR_FILE_EXISTS) {
      break;
    }
  }
  ReportRunFailure("page file '" + page +
                   "' was being drawn when two runs ended; it could not be set aside (error " +
                   std::to_string(GetLastError()) + ") and is left where it is, not converted");
}

}  // namespace

void RecoverInterruptedRun(const std::string& outputFolder, FileList& list,
                           std::vector<PendingPage>& carried) {
  // A rewrite of the record or of the list of created files that a crash cut short.
  RemoveAbandonedRewrites(PendingPagesPath());
  RemoveAbandonedRewrites(PathBesideExecutable("outfiles", ".txt"));
  PendingRecord record;
  std::string distrust;
  if (!ReadPendingPages(record, distrust)) {
    ReportRunNotice("the recovery record '" + PendingPagesPath() + "' is not used (" + distrust +
                    "); nothing it names is touched");
    return;
  }
  if (record.processId == 0 && record.pages.empty() && record.temporaries.empty() &&
      record.refusedPages.empty() && record.refusedTemporaries.empty()) {
    return;
  }
  for (const std::string& page : record.refusedPages) {
    SayPageLeftAlone(page);
  }
  // Runs cut pages only into the folders the record's run line names; a page anywhere else is
  // not one of theirs, however it is named and whatever it holds.
  std::set<std::string> recordedFolders;
  for (const std::string& folder : record.pageFolders) {
    recordedFolders.insert(JoinPath(folder, ""));
  }
  int converted = 0;
  int cutAgain = 0;
  std::set<std::string> pageFolders;
  for (const PendingPage& entry : record.pages) {
    if (!Exists(entry.page)) {
      continue;  // converted, or never made
    }
    const bool fromSource = !entry.spool.empty();
    const std::string sourceBase = fromSource ? BaseOf(entry.spool) : std::string();
    const PageContent content = recordedFolders.contains(FolderOf(entry.page)) &&
                                        IsPlainFile(entry.page) &&
                                        IsPageFileName(NameOf(entry.page), sourceBase)
                                    ? ReadPageContent(entry.page)
                                    : PageContent::kOther;
    const bool sourceSurvived = fromSource && Exists(entry.spool);
    if (content == PageContent::kOther || (sourceSurvived && !IsPageSource(entry.spool)) ||
        (!sourceSurvived && content != PageContent::kWholePage)) {
      SayPageLeftAlone(entry.page);
      continue;
    }
    pageFolders.insert(FolderOf(entry.page));
    if (!sourceSurvived && entry.deaths >= kDeathsToSetAside) {
      SetAside(entry.page);
      continue;
    }
    if (sourceSurvived) {
      DeleteFileA(entry.page.c_str());  // its source is cut again, whole
      ++cutAgain;
    } else {
      list.push_back(entry.page);
      PrintJob job = entry.job;
      if (!entry.jobRecorded && EndsWithIgnoringCase(entry.spool, ".SPL")) {
        // A record written before pages carried their job: a spool file's name holds its
        // number (a 9x page's temporary name holds none).
        job.number = static_cast<unsigned long>(std::max(0, GetJobIDFromFileName(entry.spool)));
      }
      carried.push_back({entry.page, "", job, true, entry.deaths});
      ++converted;
    }
  }
  // The record is written only under the run lock, which this run holds now: the process
  // that wrote it has ended, even when its number has been given to another since.
  if (record.processId != 0) {
    pageFolders.insert(JoinPath(outputFolder, ""));
    for (const std::string& folder : pageFolders) {
      RemoveStagedOutputs(folder, record.processId);
    }
    RemoveTemporaries(record);
  }
  LogMessage("An interrupted run left %d page file(s) to convert and %d to cut again.\n", converted,
             cutAgain);
}
