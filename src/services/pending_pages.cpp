#include "services/pending_pages.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <set>
#include <unordered_map>

#include "base/text_util.h"
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

void SplitFields(std::string_view line, std::vector<std::string_view>& fields) {
  fields.clear();
  for (;;) {
    const size_t tab = line.find('\t');
    fields.push_back(line.substr(0, tab));
    if (tab == std::string_view::npos) {
      return;
    }
    line.remove_prefix(tab + 1);
  }
}

bool HoldsControlByte(std::string_view field) {
  for (const char c : field) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      return true;
    }
  }
  return false;
}

// The entries of one kind that a journal leaves pending, in the order they were made. A line
// that marks one done takes the oldest pending entry of its name, found through a chain of
// each name's entries rather than by a search and an erase in a vector, which made reading the
// record of a long run take time in the square of its pages.
template <class Entry>
class PendingEntries {
 public:
  // name views the journal's text, which outlives this.
  void Add(std::string_view name, Entry entry) {
    const size_t slot = slots_.size();
    slots_.push_back({std::move(entry)});
    const auto [chain, fresh] = byName_.try_emplace(name, Chain{slot, slot});
    if (!fresh) {
      slots_[chain->second.last].next = slot;
      chain->second.last = slot;
    }
  }

  void Remove(std::string_view name) {
    const auto chain = byName_.find(name);
    if (chain == byName_.end()) {
      return;
    }
    Slot& oldest = slots_[chain->second.first];
    oldest.done = true;
    if (oldest.next == kNone) {
      byName_.erase(chain);
    } else {
      chain->second.first = oldest.next;
    }
  }

  // The entry a done line would take now; null when the name has none pending.
  Entry* OldestPending(std::string_view name) {
    const auto chain = byName_.find(name);
    return chain == byName_.end() ? nullptr : &slots_[chain->second.first].entry;
  }

  std::vector<Entry> TakePending() {
    std::vector<Entry> pending;
    pending.reserve(slots_.size());
    for (Slot& slot : slots_) {
      if (!slot.done) {
        pending.push_back(std::move(slot.entry));
      }
    }
    return pending;
  }

 private:
  static constexpr size_t kNone = SIZE_MAX;
  struct Slot {
    Entry entry;
    bool done = false;
    size_t next = kNone;  // the next entry of the same name
  };
  struct Chain {
    size_t first;  // the oldest pending entry of the name
    size_t last;
  };
  std::vector<Slot> slots_;
  std::unordered_map<std::string_view, Chain> byName_;
};

std::string FolderOf(const std::string& path) {
  const size_t separator = FindLastPathSeparator(path);
  return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

}  // namespace

std::string PendingPagesPath() {
  return PathBesideExecutable("pending-pages", ".txt");
}

PendingRecord ParsePendingPages(std::string_view text) {
  PendingRecord record;
  struct PageEntry {
    PendingPage page;
    bool beingDrawn = false;  // a try line not yet followed by drawn or done
  };
  PendingEntries<PageEntry> pages;
  PendingEntries<std::string> temporaries;
  // Only whole lines: a crash in the middle of an append leaves a line without its end.
  const size_t lastEnd = text.rfind('\n');
  text = text.substr(0, lastEnd == std::string_view::npos ? 0 : lastEnd + 1);
  std::vector<std::string_view> fields;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    SplitFields(text.substr(0, end), fields);
    text.remove_prefix(end + 1);
    const std::string_view kind = fields[0];
    bool refused = false;
    for (const std::string_view field : fields) {
      refused = refused || HoldsControlByte(field);
    }
    if (kind == "run" && fields.size() >= 3) {
      record.runLineRefused = record.runLineRefused || refused;
      record.processId =
          static_cast<DWORD>(std::strtoul(std::string(fields[1]).c_str(), nullptr, 10));
      record.stagingFolder = fields[2];
      record.recordPath = fields.size() >= 4 ? std::string(fields[3]) : std::string();
      record.pageFolders = {record.stagingFolder};
      for (size_t k = 4; k < fields.size(); ++k) {
        record.pageFolders.emplace_back(fields[k]);
      }
    } else if (kind == "page" && (fields.size() == 3 || fields.size() == 5) && !fields[1].empty()) {
      if (refused) {
        record.refusedPages.emplace_back(fields[1]);
        continue;
      }
      PendingPage entry{std::string(fields[1]), std::string(fields[2]), {}, fields.size() == 5};
      if (entry.jobRecorded) {  // a record of a version before jobs named outputs has none
        entry.job.number = std::strtoul(std::string(fields[3]).c_str(), nullptr, 10);
        entry.job.document = UnescapedField(fields[4]);
      }
      pages.Add(fields[1], {std::move(entry)});
    } else if (kind == "temp" && fields.size() == 2 && !fields[1].empty()) {
      if (refused) {
        record.refusedTemporaries.emplace_back(fields[1]);
        continue;
      }
      temporaries.Add(fields[1], std::string(fields[1]));
    } else if (refused) {
      continue;  // a change to an entry no run could have made
    } else if (kind == "done" && fields.size() == 2) {
      pages.Remove(fields[1]);
    } else if ((kind == "try" || kind == "drawn") && fields.size() == 2) {
      if (PageEntry* entry = pages.OldestPending(fields[1])) {
        entry->beingDrawn = kind == "try";
      }
    } else if (kind == "died" && fields.size() == 3) {
      if (PageEntry* entry = pages.OldestPending(fields[1])) {
        entry->page.deaths = static_cast<int>(
            std::min(std::strtoul(std::string(fields[2]).c_str(), nullptr, 10), 1000ul));
      }
    } else if (kind == "freed" && fields.size() == 2) {
      temporaries.Remove(fields[1]);
    }
  }
  // A page being drawn when the run that wrote the record died may be what ended it.
  for (PageEntry& entry : pages.TakePending()) {
    entry.page.deaths += entry.beingDrawn ? 1 : 0;
    record.pages.push_back(std::move(entry.page));
  }
  record.temporaries = temporaries.TakePending();
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
  if (record.runLineRefused) {
    distrust = "its run line holds a control byte";
    record = PendingRecord{};
    return false;
  }
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
  // The run line names every folder this run's pages are in, since the next run takes a page
  // from no other: its own, and those of the pages an earlier run left in another.
  std::string text =
      "run\t" + std::to_string(GetCurrentProcessId()) + "\t" + stagingFolder + "\t" + path;
  std::set<std::string> folders = {JoinPath(stagingFolder, "")};
  std::string pageLines;
  for (const PendingPage& entry : carried) {
    if (const std::string folder = FolderOf(entry.page); folders.insert(folder).second) {
      text += "\t" + folder;
    }
    pageLines += PageLine(entry.page, entry.spool, entry.job);
    if (entry.deaths > 0) {
      pageLines += "died\t" + entry.page + "\t" + std::to_string(entry.deaths) + "\n";
    }
  }
  text += "\n" + pageLines;
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

void MarkPendingPageConverting(const std::string& page) {
  Append(Line("try", page));
}

void MarkPendingPageDrawn(const std::string& page) {
  Append(Line("drawn", page));
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
