// Directory search with Windows' wildcards: '*' and '?', without regard to case, entries
// in the order NTFS gives them (names compared in upper case).
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "win32/kernel32/errors.h"
#include "win32/kernel32/file_time.h"
#include "win32/kernel32/handles.h"
#include "win32/kernel32/kernel32.h"
#include "win32/kernel32/native_path.h"

namespace {

struct FoundEntry {
  std::string name;
  struct stat info;
};

class FindObject : public win32::KernelObject {
 public:
  bool ClosableByCloseHandle() const override { return false; }
  std::vector<FoundEntry> entries;
  size_t next = 0;
};

char Lower(char c) {
  return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool WildcardMatch(const std::string& pattern, const std::string& name) {
  size_t p = 0;
  size_t n = 0;
  size_t star = std::string::npos;
  size_t resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || Lower(pattern[p]) == Lower(name[n]))) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = n;
    } else if (star != std::string::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') {
    ++p;
  }
  return p == pattern.size();
}

void Fill(const FoundEntry& entry, LPWIN32_FIND_DATAA data) {
  std::memset(data, 0, sizeof *data);
  const bool folder = S_ISDIR(entry.info.st_mode);
  data->dwFileAttributes = folder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
  if ((entry.info.st_mode & S_IWUSR) == 0) {
    data->dwFileAttributes |= FILE_ATTRIBUTE_READONLY;
  }
  const unsigned long long size = folder ? 0 : static_cast<unsigned long long>(entry.info.st_size);
  data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
  data->nFileSizeLow = static_cast<DWORD>(size);
  data->ftCreationTime = win32::ToFileTime(entry.info.st_ctim);
  data->ftLastAccessTime = win32::ToFileTime(entry.info.st_atim);
  data->ftLastWriteTime = win32::ToFileTime(entry.info.st_mtim);
  const size_t length = std::min(entry.name.size(), sizeof data->cFileName - 1);
  std::memcpy(data->cFileName, entry.name.data(), length);
}

std::string UpperName(const std::string& name) {
  std::string upper = name;
  for (char& c : upper) {
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return upper;
}

}  // namespace

HANDLE WINAPI FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData) {
  if (lpFileName == nullptr || lpFindFileData == nullptr) {
    return win32::Fail(ERROR_INVALID_PARAMETER, INVALID_HANDLE_VALUE);
  }
  const auto native = win32::ToReachablePath(lpFileName);
  if (!native) {
    return INVALID_HANDLE_VALUE;
  }
  const size_t slash = native->rfind('/');
  std::string folder = slash == std::string::npos ? "." : native->substr(0, slash + 1);
  std::string pattern = slash == std::string::npos ? *native : native->substr(slash + 1);
  if (pattern.empty()) {
    return win32::Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
  }
  if (pattern == "*.*") {
    pattern = "*";  // the DOS rule: also names without a dot
  }
  DIR* directory = opendir(folder.c_str());
  if (directory == nullptr) {
    return win32::Fail(
        errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND : win32::ErrorFromErrno(errno),
        INVALID_HANDLE_VALUE);
  }
  auto search = std::make_shared<FindObject>();
  while (const dirent* entry = readdir(directory)) {
    std::string name = entry->d_name;
    if (!WildcardMatch(pattern, name)) {
      continue;
    }
    FoundEntry found{std::move(name), {}};
    if (fstatat(dirfd(directory), entry->d_name, &found.info, 0) != 0 &&
        fstatat(dirfd(directory), entry->d_name, &found.info, AT_SYMLINK_NOFOLLOW) != 0) {
      continue;  // vanished while we looked
    }
    search->entries.push_back(std::move(found));
  }
  closedir(directory);
  if (search->entries.empty()) {
    return win32::Fail(ERROR_FILE_NOT_FOUND, INVALID_HANDLE_VALUE);
  }
  std::stable_sort(search->entries.begin(), search->entries.end(),
                   [](const FoundEntry& a, const FoundEntry& b) {
                     return UpperName(a.name) < UpperName(b.name);
                   });
  Fill(search->entries[0], lpFindFileData);
  search->next = 1;
  return win32::InsertHandle(std::move(search));
}

BOOL WINAPI FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData) {
  auto search = win32::LookupHandleOf<FindObject>(hFindFile);
  if (!search || lpFindFileData == nullptr) {
    return win32::Fail(ERROR_INVALID_HANDLE);
  }
  if (search->next >= search->entries.size()) {
    return win32::Fail(ERROR_NO_MORE_FILES);
  }
  Fill(search->entries[search->next++], lpFindFileData);
  return TRUE;
}

BOOL WINAPI FindClose(HANDLE hFindFile) {
  return win32::CloseHandleOf<FindObject>(hFindFile);
}
