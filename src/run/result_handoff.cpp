#include "run/result_handoff.h"

#include <cstring>

#include "services/diagnostic_log.h"
#include "win32/win32.h"

int PublishResultList(const std::string& resultText, ScopedHandle* keep) {
  HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                      kResultBlockSize, "Quadrine");
  if (mapping == nullptr) {
    // Another user's block, or something else under its name: the list is not published.
    LogMessage(
        "The shared block \"Quadrine\" could not be made or opened (error %lu); the list "
        "of created files is not published.\n",
        static_cast<unsigned long>(GetLastError()));
    return 0;
  }
  void* view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0);
  if (view == nullptr) {
    GetLastError();
    CloseHandle(mapping);
    return 0;
  }
  // A block that a reader created earlier may be smaller than ours.
  size_t capacity = kResultBlockSize;
  MEMORY_BASIC_INFORMATION region{};
  if (VirtualQuery(view, &region, sizeof region) == sizeof region) {
    capacity = region.RegionSize;
  }
  size_t length = resultText.size();
  if (length + 1 > capacity) {
    const size_t last_line_end =
        capacity >= 2 ? resultText.rfind('\n', capacity - 2) : std::string::npos;
    length = last_line_end == std::string::npos ? 0 : last_line_end + 1;
    LogMessage("Result list cut to %zu of %zu bytes: the shared block holds %zu.\n", length,
               resultText.size(), capacity);
  }
  char* block = static_cast<char*>(view);
  std::memcpy(block, resultText.data(), length);
  block[length] = '\0';
  UnmapViewOfFile(view);
  if (keep != nullptr) {
    *keep = ScopedHandle(mapping);
  } else {
    CloseHandle(mapping);
  }
  return 1;
}
