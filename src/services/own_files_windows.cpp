// On Windows a file made in the program's own folder carries that folder's access rules; a
// link (a reparse point) is what is refused.
#include "services/own_files.h"
#include "win32/win32.h"

bool IsPrivateFile(const std::string& path, std::string& why) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    why = "it cannot be read";
  } else if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    why = "it is a link";
  } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    why = "it is not a file";
  } else {
    return true;
  }
  return false;
}

void MakeFilePrivate(const std::string& /*path*/) {}
