#include "services/own_files.h"

#include <atomic>
#include <cstdlib>

#include "base/file_list.h"
#include "base/text_util.h"
#include "services/diagnostic_log.h"
#include "win32/win32.h"

namespace {

constexpr int kFreshNameTries = 100;

}  // namespace

bool WriteWhole(HANDLE file, std::string_view bytes) {
  while (!bytes.empty()) {
    const DWORD chunk = bytes.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    if (!WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0) {
      return false;
    }
    bytes.remove_prefix(written);
  }
  return true;
}

ScopedHandle CreateFileBeside(const std::string& path, std::string& fresh) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < kFreshNameTries; ++attempt) {
    // The process, the time and a count: another run's name, or one planted in advance,
    // is met only by chance, and then the next name is tried.
    fresh = path + ".~" + std::to_string(GetCurrentProcessId()) + "-" +
            std::to_string(GetTickCount()) + "-" + std::to_string(counter++);
    ScopedHandle file(CreateFileA(fresh.c_str(), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.Valid()) {
      MakeFilePrivate(fresh);
      return file;
    }
    if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) {
      break;
    }
  }
  fresh.clear();
  return {};
}

bool ReplaceWholeFile(const std::string& path, std::string_view bytes) {
  std::string fresh;
  {
    ScopedHandle file = CreateFileBeside(path, fresh);
    if (file.Valid() && !WriteWhole(file.Get(), bytes)) {
      file.Reset();
      DeleteFileA(fresh.c_str());
      return false;
    }
  }
  if (!fresh.empty()) {
    if (MoveFileExA(fresh.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
      return true;
    }
    DeleteFileA(fresh.c_str());
  }
  // No file could be made beside it, or the old one may not be replaced while a reader
  // holds it: written in place, as a last resort.
  const DWORD refused = GetLastError();
  ScopedHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  const bool written = file.Valid() && WriteWhole(file.Get(), bytes);
  LogMessage("'%s' could not be replaced whole (error %lu)%s.\n", path.c_str(),
             static_cast<unsigned long>(refused), written ? "; it was written in place" : "");
  return written;
}

void RemoveAbandonedRewrites(const std::string& path) {
  const size_t separator = FindLastPathSeparator(path);
  const std::string folder = separator == std::string::npos ? "" : path.substr(0, separator + 1);
  WIN32_FIND_DATAA data;
  ScopedFindHandle search(FindFirstFileA((path + ".~*").c_str(), &data));
  if (!search.Valid()) {
    return;
  }
  FileList abandoned;
  do {
    // NAME.~PID-TICKS-COUNT, as CreateFileBeside names it.
    const std::string name = data.cFileName;
    const size_t mark = name.rfind(".~");
    if (mark == std::string::npos || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      continue;
    }
    char* end = nullptr;
    const unsigned long processId = std::strtoul(name.c_str() + mark + 2, &end, 10);
    if (end != nullptr && *end == '-' && processId != GetCurrentProcessId()) {
      abandoned.push_back(folder + name);
    }
  } while (FindNextFileA(search.Get(), &data));
  for (const std::string& file : abandoned) {
    DeleteFileA(file.c_str());
  }
}
