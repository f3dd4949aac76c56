#include "services/pending_pages.h"

#include <algorithm>

#include "services/scoped_handles.h"
#include "services/settings.h"

namespace {

PendingRecord& Current() {
  static PendingRecord record;
  return record;
}

bool started = false;

std::string Serialise(const PendingRecord& record) {
  std::string text =
      "run\t" + std::to_string(record.processId) + "\t" + record.stagingFolder + "\n";
  for (const PendingPage& entry : record.pages) {
    text += "page\t" + entry.page + "\t" + entry.spool + "\n";
  }
  return text;
}

// Written beside, then moved over the record: never half a record.
void Save() {
  const std::string path = PendingPagesPath();
  const std::string fresh = path + ".new";
  const std::string text = Serialise(Current());
  {
    ScopedHandle file(CreateFileA(fresh.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (!file.Valid() ||
        !WriteFile(file.Get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written != text.size()) {
      return;  // the older record stays: at worst a page is converted twice
    }
  }
  MoveFileExA(fresh.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  size_t from = 0;
  for (;;) {
    const size_t tab = line.find('\t', from);
    fields.push_back(line.substr(from, tab == std::string::npos ? std::string::npos : tab - from));
    if (tab == std::string::npos) {
      return fields;
    }
    from = tab + 1;
  }
}

}  // namespace

std::string PendingPagesPath() {
  return PathBesideExecutable("pending-pages", ".txt");
}

PendingRecord ReadPendingPages() {
  PendingRecord record;
  ScopedHandle file(CreateFileA(PendingPagesPath().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) {
    return record;
  }
  std::string text;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0) {
    text.append(buffer, got);
  }
  size_t from = 0;
  while (from < text.size()) {
    const size_t end = std::min(text.find('\n', from), text.size());
    const std::vector<std::string> fields = Fields(text.substr(from, end - from));
    from = end + 1;
    if (fields.size() == 3 && fields[0] == "run") {
      record.processId = static_cast<DWORD>(std::strtoul(fields[1].c_str(), nullptr, 10));
      record.stagingFolder = fields[2];
    } else if (fields.size() == 3 && fields[0] == "page" && !fields[1].empty()) {
      record.pages.push_back({fields[1], fields[2]});
    }
  }
  return record;
}

void StartPendingPages(const std::string& stagingFolder) {
  Current() = PendingRecord{GetCurrentProcessId(), stagingFolder, {}};
  started = true;
  Save();
}

void AddPendingPage(const std::string& page, const std::string& spool) {
  if (!started) {
    return;  // intake called on its own (tests, tools): no run to record
  }
  Current().pages.push_back({page, spool});
  Save();
}

void RemovePendingPage(const std::string& page) {
  if (!started) {
    return;
  }
  auto& pages = Current().pages;
  const auto found = std::find_if(pages.begin(), pages.end(),
                                  [&](const PendingPage& entry) { return entry.page == page; });
  if (found != pages.end()) {
    pages.erase(found);
    Save();
  }
}

void ClearPendingPages() {
  Current() = PendingRecord{};
  started = false;
  DeleteFileA(PendingPagesPath().c_str());
}
