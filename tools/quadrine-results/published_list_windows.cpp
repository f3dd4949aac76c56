// The block is the file mapping "Quadrine", alive while a process holds it: the converter
// keeps it until its after-hook has returned, so the hook can read it from here.
#include <cstring>

#include "published_list.h"
#include "win32/win32.h"

const bool kCanRemoveBlock = false;

bool ReadPublishedList(std::string& list, std::string& error) {
  HANDLE mapping = OpenFileMappingA(FILE_MAP_READ, FALSE, "Quadrine");
  if (mapping == nullptr) {
    error = "no list published (no shared block Quadrine)";
    return false;
  }
  const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
  MEMORY_BASIC_INFORMATION region{};
  if (view != nullptr && VirtualQuery(view, &region, sizeof region) != 0) {
    const char* text = static_cast<const char*>(view);
    list.assign(text, strnlen(text, region.RegionSize));
  }
  if (view != nullptr) {
    UnmapViewOfFile(view);
  }
  CloseHandle(mapping);
  return true;
}

bool RemovePublishedList(std::string& error) {
  error = "the block cannot be removed on Windows";
  return false;
}
