// On POSIX the user's own file is told by its owner and mode, as the stand-in maps it.
#include <sys/stat.h>
#include <unistd.h>

#include "services/own_files.h"
#include "win32/stand_in.h"

bool IsPrivateFile(const std::string& path, std::string& why) {
  const auto native = win32::ToNativePath(path);
  struct stat info {};
  if (!native || lstat(native->c_str(), &info) != 0) {
    why = "it cannot be read";
    return false;
  }
  if (S_ISLNK(info.st_mode)) {
    why = "it is a link";
  } else if (!S_ISREG(info.st_mode)) {
    why = "it is not a file";
  } else if (info.st_uid != geteuid()) {
    why = "it belongs to another user";
  } else if ((info.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
    why = "others may read or write it";
  } else {
    return true;
  }
  return false;
}

void MakeFilePrivate(const std::string& path) {
  if (const auto native = win32::ToNativePath(path)) {
    chmod(native->c_str(), S_IRUSR | S_IWUSR);
  }
}
