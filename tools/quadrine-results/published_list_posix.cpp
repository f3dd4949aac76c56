// The block is the shared memory object /Quadrine.UID, this user's own.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "published_list.h"

namespace {

std::string BlockName() {
  return "/Quadrine." + std::to_string(getuid());
}

}  // namespace

const bool kCanRemoveBlock = true;

bool ReadPublishedList(std::string& list, std::string& error) {
  const std::string name = BlockName();
  const int fd = shm_open(name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK, 0);
  if (fd < 0) {
    error = "no list published (no shared block " + name + ")";
    return false;
  }
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != getuid()) {
    // Not this user's list: never printed, never removed.
    error = name + " is not this user's shared block";
    close(fd);
    return false;
  }
  if (info.st_size > 0) {
    const size_t size = static_cast<size_t>(info.st_size);
    void* view = mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    if (view != MAP_FAILED) {
      const char* text = static_cast<const char*>(view);
      list.assign(text, strnlen(text, size));
      munmap(view, size);
    }
  }
  close(fd);
  return true;
}

bool RemovePublishedList(std::string& error) {
  if (shm_unlink(BlockName().c_str()) != 0) {
    error = std::string("removing the block: ") + std::strerror(errno);
    return false;
  }
  return true;
}
