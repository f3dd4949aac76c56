#include "services/pending_pages.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>

#include "services/diagnostic_log.h"
#include "services/own_files.h"
#include "services/scoped_handles.h"
#include "services/settings.h"

namespace {

// The open journal of this run; invalid outside a run (tests, tools) or when it could not
// be made.
struct Journal {
  ScopedHandle file;
  bool started = false;
  bool failed = false;  // said once
};

Journal& Current() {
  static Journal journal;
  return journal;
}

std::string Line(std::string_view kind, std::string_view first, std::string_view second = {},
                 bool withSecond = false) {
  std::string line(kind);
  line += '\t';
  line += first;
  if (withSecond) {
    line += '\t';
    line += second;
  }
  line += '\n';
  return line;
}

// One change, appended whole: a write that fails part way (a full disk) is cut off again, so
// the next line does not run into it and the record stays as it was before the change; at
// worst a page is converted twice. Pages may be converted on several threads.
void Append(const std::string& line) {
  static std::mutex appending;
  std::lock_guard lock(appending);
  Journal& journal = Current();
  if (!journal.started || !journal.file.Valid()) {
    return;
  }
  LONG high = 0;
  SetLastError(ERROR_SUCCESS);
  const DWORD low = SetFilePointer(journal.file.Get(), 0, &high, FILE_END);
  const bool atEnd = low != INVALID_SET_FILE_POINTER || GetLastError() == ERROR_SUCCESS;
  if (atEnd && WriteWhole(journal.file.Get(), line)) {
    return;
  }
  const DWORD error = GetLastError();
  if (atEnd) {
    LONG backHigh = high;
    SetFilePointer(journal.file.Get(), static_cast<LONG>(low), &backHigh, FILE_BEGIN);
    SetEndOfFile(journal.file.Get());
  }
  if (!journal.failed) {
    journal.failed = true;
    LogMessage("The recovery record '%s' could not be written (error %lu).\n",
               PendingPagesPath().c_str(), static_cast<unsigned long>(error));
  }
}

// A page's line: the document name's tabs and line feeds are escaped, not to break it.
std::string PageLine(const std::string& page, const std::string& spool, const PrintJob& job) {
  return "page\t" + page + "\t" + spool + "\t" + std::to_string(job.number) + "\t" +
         EscapedField(job.document) + "\n";
}

std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  for (;;) {
    const size_t tab = line.find('\t');
    fields.push_back(line.substr(0, tab));
    if (tab == std::string_view::npos) {
      return fields;
    }
    line.remove_prefix(tab + 1);
  }
}

template <class Entries, class Key>
void EraseFirst(Entries& entries, const Key& matches) {
  const auto found = std::find_if(entries.begin(), entries.end(), matches);
  if (found != entries.end()) {
    entries.erase(found);
  }
}

}  // namespace

std::string PendingPagesPath() {
  return PathBesideExecutable("pending-pages", ".txt");
}

PendingRecord ParsePendingPages(std::string_view text) {
  PendingRecord record;
  // Only whole lines: a crash in the middle of an append leaves a line without its end.
  text = text.substr(0, text.rfind('\n') == std::string_view::npos ? 0 : text.rfind('\n') + 1);
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const std::vector<std::string_view> fields = Fields(text.substr(0, end));
    text.remove_prefix(end + 1);
    const std::string_view kind = fields[0];
    if (kind == "run" && fields.size() >= 3) {
      record.processId =
          static_cast<DWORD>(std::strtoul(std::string(fields[1]).c_str(), nullptr, 10));
      record.stagingFolder = fields[2];
      record.recordPath = fields.size() >= 4 ? std::string(fields[3]) : std::string();
    } else if (kind == "page" && (fields.size() == 3 || fields.size() == 5) && !fields[1].empty()) {
      PendingPage entry{std::string(fields[1]), std::string(fields[2]), {}, fields.size() == 5};
      if (entry.jobRecorded) {  // a record of a version before jobs named outputs has none
        entry.job.number = std::strtoul(std::string(fields[3]).c_str(), nullptr, 10);
        entry.job.document = UnescapedField(fields[4]);
      }
      record.pages.push_back(std::move(entry));
    } else if (kind == "done" && fields.size() == 2) {
      EraseFirst(record.pages, [&](const PendingPage& entry) { return entry.page == fields[1]; });
    } else if (kind == "temp" && fields.size() == 2 && !fields[1].empty()) {
      record.temporaries.emplace_back(fields[1]);
    } else if (kind == "freed" && fields.size() == 2) {
      EraseFirst(record.temporaries, [&](const std::string& path) { return path == fields[1]; });
    }
  }
  return record;
}

bool ReadPendingPages(PendingRecord& record, std::string& distrust) {
  record = PendingRecord{};
  const std::string path = PendingPagesPath();
  if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
    return true;  // no run died
  }
  if (!IsPrivateFile(path, distrust)) {
    return false;
  }
  ScopedHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) {
    distrust = "it cannot be read";
    return false;
  }
  std::string text;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
    text.append(buffer, got);
  }
  record = ParsePendingPages(text);
  if (record.recordPath != path) {
    // A record copied from another install folder speaks of files that are not ours.
    distrust = "it was written for another install folder";
    record = PendingRecord{};
    return false;
  }
  return true;
}

void StartPendingPages(const std::string& stagingFolder, const std::vector<PendingPage>& carried) {
  Journal& journal = Current();
  journal = Journal{};
  journal.started = true;
  const std::string path = PendingPagesPath();
  std::string text =
      "run\t" + std::to_string(GetCurrentProcessId()) + "\t" + stagingFolder + "\t" + path + "\n";
  for (const PendingPage& entry : carried) {
    text += PageLine(entry.page, entry.spool, entry.job);
  }
  // The first lines are written whole under a new name and moved over the old record, so the
  // record of a run that died stays until this one replaces it.
  std::string fresh;
  journal.file = CreateFileBeside(path, fresh);
  if (journal.file.Valid() && WriteWhole(journal.file.Get(), text) &&
      MoveFileExA(fresh.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    return;
  }
  LogMessage(
      "The recovery record '%s' could not be written (error %lu); a crash now would "
      "leave its pages for the user to find.\n",
      path.c_str(), static_cast<unsigned long>(GetLastError()));
  journal.file.Reset();
  journal.failed = true;
  if (!fresh.empty()) {
    DeleteFileA(fresh.c_str());
  }
}

void AddPendingPage(const std::string& page, const std::string& spool, const PrintJob& job) {
  Append(PageLine(page, spool, job));
}

void RemovePendingPage(const std::string& page) {
  Append(Line("done", page));
}

void RemovePendingPages(const std::vector<std::string>& pages) {
  std::string lines;
  for (const std::string& page : pages) {
    lines += Line("done", page);
  }
  if (!lines.empty()) {
    Append(lines);
  }
}

void AddPendingTemporary(const std::string& path) {
  Append(Line("temp", path));
}

void RemovePendingTemporary(const std::string& path) {
  Append(Line("freed", path));
}

void ClearPendingPages() {
  Journal& journal = Current();
  const bool started = journal.started;
  journal = Journal{};
  if (started) {
    DeleteFileA(PendingPagesPath().c_str());
  }
}
