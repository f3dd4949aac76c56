// The stand-in's table of kernel object handles. Handle values are never reused, so a stale
// handle fails with ERROR_INVALID_HANDLE instead of reaching another object.
#pragma once

#include <memory>

#include "win32/kernel32/errors.h"
#include "win32/win32_types.h"

namespace win32 {

class KernelObject {
 public:
  virtual ~KernelObject() = default;
  // Find handles are closed with FindClose, printers with ClosePrinter, not with CloseHandle.
  virtual bool ClosableByCloseHandle() const { return true; }
};

HANDLE InsertHandle(std::shared_ptr<KernelObject> object);
std::shared_ptr<KernelObject> LookupHandle(HANDLE handle);
// Removes the handle; the object lives on while others still hold it.
std::shared_ptr<KernelObject> RemoveHandle(HANDLE handle);

template <class T>
std::shared_ptr<T> LookupHandleOf(HANDLE handle) {
  return std::dynamic_pointer_cast<T>(LookupHandle(handle));
}

// Closes a handle of one kind of object (FindClose, ClosePrinter, DeleteEnhMetaFile, ...); a
// handle of any other kind fails with ERROR_INVALID_HANDLE.
template <class T>
BOOL CloseHandleOf(HANDLE handle) {
  if (!LookupHandleOf<T>(handle)) {
    return Fail(ERROR_INVALID_HANDLE);
  }
  RemoveHandle(handle);
  return TRUE;
}

}  // namespace win32
