// A kernel object over a POSIX descriptor: opened files (and, later, pipe ends).
#pragma once

#include <string>

#include "win32/kernel32/handles.h"
#include "win32/kernel32/native_path.h"
#include "win32/kernel32/unique_fd.h"

namespace win32 {

class FileObject : public KernelObject {
 public:
  explicit FileObject(UniqueFd descriptor, bool readable, bool writable)
      : fd(std::move(descriptor)), can_read(readable), can_write(writable) {}
  ~FileObject() override {
    if (holds_folder) {
      ReleaseFolder(fd.Get());
    }
  }
  UniqueFd fd;
  bool holds_folder =
      false;  // a folder opened without FILE_SHARE_DELETE: paths below go through it
  bool can_read;
  bool can_write;
  bool is_pipe = false;
  bool disk_full = false;   // the fault switch's full disk: writes fail
  std::string native_path;  // of an opened file, for the fault switch
  std::string peeked;       // bytes PeekNamedPipe took out of a pipe, handed out first by ReadFile
};

}  // namespace win32
