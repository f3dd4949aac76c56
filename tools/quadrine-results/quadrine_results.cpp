// quadrine-results: prints the list of files that the last conversion run published in the
// shared block "Quadrine" (on POSIX /Quadrine.UID, the user's own), and with --remove
// removes the block afterwards.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

namespace {

std::string BlockName() {
  return "/Quadrine." + std::to_string(getuid());
}

int Usage() {
  std::fprintf(stderr,
               "usage: quadrine-results [--remove]\n"
               "Prints the files that the last conversion run created, one per line.\n"
               "  --remove  remove the shared block after printing it\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  bool remove = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--remove") {
      remove = true;
    } else {
      return Usage();
    }
  }
  const std::string name = BlockName();
  const int fd = shm_open(name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK, 0);
  if (fd < 0) {
    std::fprintf(stderr, "quadrine-results: no list published (no shared block %s)\n",
                 name.c_str());
    return 1;
  }
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != getuid()) {
    // Not this user's list: never printed, never removed.
    std::fprintf(stderr, "quadrine-results: %s is not this user's shared block\n", name.c_str());
    close(fd);
    return 1;
  }
  if (info.st_size > 0) {
    const size_t size = static_cast<size_t>(info.st_size);
    void* view = mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0);
    if (view != MAP_FAILED) {
      const char* text = static_cast<const char*>(view);
      std::fwrite(text, 1, strnlen(text, size), stdout);
      munmap(view, size);
    }
  }
  close(fd);
  if (remove && shm_unlink(name.c_str()) != 0) {
    std::perror("quadrine-results: removing the block");
    return 1;
  }
  return 0;
}
