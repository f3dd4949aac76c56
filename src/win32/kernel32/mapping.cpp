// File mappings. A named mapping backed by the paging file is POSIX shared memory of the same
// name; unlike Windows, it outlives its last handle until a reader removes it.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "win32/kernel32/errors.h"
#include "win32/kernel32/fault.h"
#include "win32/kernel32/file_object.h"
#include "win32/kernel32/handles.h"
#include "win32/kernel32/kernel32.h"
#include "win32/kernel32/unique_fd.h"

namespace {

class MappingObject : public win32::KernelObject {
 public:
  win32::UniqueFd fd;
  bool writable = false;
};

struct View {
  size_t length = 0;
  bool writable = false;
  std::shared_ptr<MappingObject> mapping;  // a view keeps its mapping alive, as on Windows
};

struct ViewTable {
  std::mutex mutex;
  std::map<uintptr_t, View> views;
};

ViewTable& Views() {
  static ViewTable table;
  return table;
}

constexpr DWORD kAllocationGranularity = 0x10000;

win32::UniqueFd OpenPagingFileBlock(LPCSTR name, off_t size, bool* already_existed) {
  *already_existed = false;
  if (name == nullptr) {
    win32::UniqueFd fd(memfd_create("mapping", MFD_CLOEXEC));
    if (fd.Valid() && ftruncate(fd.Get(), size) != 0) {
      fd.Reset();
    }
    return fd;
  }
  // Named objects are per session on Windows: the user's id in the name keeps every user's
  // block apart, so another user's block is never ours to read or write.
  std::string shm_name = std::string("/") + name + "." + std::to_string(getuid());
  std::replace(shm_name.begin() + 1, shm_name.end(), '/', '_');
  win32::UniqueFd fd(
      shm_open(shm_name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (fd.Valid()) {
    fchmod(fd.Get(), 0600);  // whatever the umask says
    if (ftruncate(fd.Get(), size) != 0) {
      shm_unlink(shm_name.c_str());
      fd.Reset();
    }
    return fd;
  }
  if (errno != EEXIST) {
    return fd;
  }
  *already_existed = true;
  fd.Reset(shm_open(shm_name.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600));
  struct stat info {};
  if (!fd.Valid() || fstat(fd.Get(), &info) != 0) {
    return win32::UniqueFd();
  }
  // Only a block of ours, and only a shared-memory object (no folder, FIFO or device).
  if (!S_ISREG(info.st_mode) || info.st_uid != getuid()) {
    errno = EACCES;
    return win32::UniqueFd();
  }
  fchmod(fd.Get(), 0600);  // an older block made readable by others is closed again
  // A creator that has not sized its block yet gets our size; an existing size is kept.
  if (info.st_size == 0 && ftruncate(fd.Get(), size) != 0) {
    fd.Reset();
  }
  return fd;
}

// A mapping of an opened file; a size beyond the file's end extends the file, as on Windows.
HANDLE MapOpenedFile(HANDLE file_handle, DWORD protect, unsigned long long size) {
  auto file = win32::LookupHandleOf<win32::FileObject>(file_handle);
  if (!file || file->is_pipe) {
    return win32::Fail(ERROR_INVALID_HANDLE, nullptr);
  }
  const bool writable = protect == PAGE_READWRITE;
  if (writable && !file->can_write) {
    return win32::Fail(ERROR_ACCESS_DENIED, nullptr);
  }
  struct stat info {};
  if (fstat(file->fd.Get(), &info) != 0) {
    win32::FailFromErrno();
    return nullptr;
  }
  const unsigned long long current = static_cast<unsigned long long>(info.st_size);
  if (size == 0 && current == 0) {
    return win32::Fail(ERROR_FILE_INVALID, nullptr);
  }
  if (size > current) {
    if (!writable || size > static_cast<unsigned long long>(INT64_MAX) || file->disk_full) {
      return win32::Fail(writable ? ERROR_DISK_FULL : ERROR_ACCESS_DENIED, nullptr);
    }
    // The space is given now, as Windows gives it: a full disk fails here with
    // ERROR_DISK_FULL, not later with SIGBUS when a page of the view is first written.
    const int error = posix_fallocate(file->fd.Get(), static_cast<off_t>(current),
                                      static_cast<off_t>(size - current));
    if (error != 0 && error != EOPNOTSUPP && error != EINVAL) {
      return win32::Fail(
          error == ENOSPC || error == EFBIG ? ERROR_DISK_FULL : win32::ErrorFromErrno(error),
          nullptr);
    }
    if (error != 0 && ftruncate(file->fd.Get(), static_cast<off_t>(size)) != 0) {
      return win32::Fail(ERROR_DISK_FULL, nullptr);  // no way to give the space: extended sparse
    }
  }
  auto mapping = std::make_shared<MappingObject>();
  mapping->fd.Reset(fcntl(file->fd.Get(), F_DUPFD_CLOEXEC, 0));
  if (!mapping->fd.Valid()) {
    win32::FailFromErrno();
    return nullptr;
  }
  mapping->writable = writable;
  HANDLE handle = win32::InsertHandle(std::move(mapping));
  win32::fault::AfterSuccess("CreateFileMappingA", file->native_path);
  SetLastError(ERROR_SUCCESS);
  return handle;
}

}  // namespace

HANDLE WINAPI CreateFileMappingA(HANDLE hFile, LPSECURITY_ATTRIBUTES /*lpAttributes*/,
                                 DWORD flProtect, DWORD dwMaximumSizeHigh, DWORD dwMaximumSizeLow,
                                 LPCSTR lpName) {
  if (flProtect != PAGE_READWRITE && flProtect != PAGE_READONLY) {
    return win32::Fail(ERROR_INVALID_PARAMETER, nullptr);
  }
  const unsigned long long size =
      (static_cast<unsigned long long>(dwMaximumSizeHigh) << 32) | dwMaximumSizeLow;
  if (hFile != INVALID_HANDLE_VALUE) {
    return MapOpenedFile(hFile, flProtect, size);
  }
  if (size == 0 || size > static_cast<unsigned long long>(INT64_MAX)) {
    return win32::Fail(ERROR_INVALID_PARAMETER, nullptr);
  }
  auto mapping = std::make_shared<MappingObject>();
  bool already_existed = false;
  mapping->fd = OpenPagingFileBlock(lpName, static_cast<off_t>(size), &already_existed);
  if (!mapping->fd.Valid()) {
    win32::FailFromErrno();
    return nullptr;
  }
  mapping->writable = flProtect == PAGE_READWRITE;
  HANDLE handle = win32::InsertHandle(std::move(mapping));
  return win32::Fail(already_existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS, handle);
}

LPVOID WINAPI MapViewOfFile(HANDLE hFileMappingObject, DWORD dwDesiredAccess,
                            DWORD dwFileOffsetHigh, DWORD dwFileOffsetLow,
                            SIZE_T dwNumberOfBytesToMap) {
  auto mapping = win32::LookupHandleOf<MappingObject>(hFileMappingObject);
  if (!mapping) {
    return win32::Fail(ERROR_INVALID_HANDLE, nullptr);
  }
  const bool write = (dwDesiredAccess & FILE_MAP_WRITE) != 0;
  if (write && !mapping->writable) {
    return win32::Fail(ERROR_ACCESS_DENIED, nullptr);
  }
  const unsigned long long offset =
      (static_cast<unsigned long long>(dwFileOffsetHigh) << 32) | dwFileOffsetLow;
  if (offset % kAllocationGranularity != 0) {
    return win32::Fail(ERROR_MAPPED_ALIGNMENT, nullptr);
  }
  struct stat info {};
  if (fstat(mapping->fd.Get(), &info) != 0) {
    win32::FailFromErrno();
    return nullptr;
  }
  const unsigned long long file_size = static_cast<unsigned long long>(info.st_size);
  if (offset >= file_size || dwNumberOfBytesToMap > file_size - offset) {
    return win32::Fail(ERROR_ACCESS_DENIED, nullptr);
  }
  const size_t length =
      dwNumberOfBytesToMap != 0 ? dwNumberOfBytesToMap : static_cast<size_t>(file_size - offset);
  void* address = mmap(nullptr, length, PROT_READ | (write ? PROT_WRITE : 0), MAP_SHARED,
                       mapping->fd.Get(), static_cast<off_t>(offset));
  if (address == MAP_FAILED) {
    win32::FailFromErrno();
    return nullptr;
  }
  ViewTable& table = Views();
  std::lock_guard lock(table.mutex);
  table.views[reinterpret_cast<uintptr_t>(address)] = View{length, write, std::move(mapping)};
  return address;
}

BOOL WINAPI UnmapViewOfFile(LPCVOID lpBaseAddress) {
  ViewTable& table = Views();
  std::lock_guard lock(table.mutex);
  auto found = table.views.find(reinterpret_cast<uintptr_t>(lpBaseAddress));
  if (found == table.views.end()) {
    return win32::Fail(ERROR_INVALID_ADDRESS);
  }
  munmap(const_cast<void*>(lpBaseAddress), found->second.length);
  table.views.erase(found);
  return TRUE;
}

SIZE_T WINAPI VirtualQuery(LPCVOID lpAddress, PMEMORY_BASIC_INFORMATION lpBuffer, SIZE_T dwLength) {
  if (lpBuffer == nullptr || dwLength < sizeof(MEMORY_BASIC_INFORMATION)) {
    return win32::Fail(ERROR_BAD_LENGTH, 0);
  }
  const uintptr_t address = reinterpret_cast<uintptr_t>(lpAddress);
  ViewTable& table = Views();
  std::lock_guard lock(table.mutex);
  // The stand-in knows only the views it mapped; their size is reported to the byte, since
  // the part of a last page past the end of a shared block does not reach other processes.
  auto found = table.views.upper_bound(address);
  if (found == table.views.begin()) {
    return win32::Fail(ERROR_INVALID_PARAMETER, 0);
  }
  --found;
  if (address >= found->first + found->second.length) {
    return win32::Fail(ERROR_INVALID_PARAMETER, 0);
  }
  *lpBuffer = MEMORY_BASIC_INFORMATION{};
  lpBuffer->BaseAddress = const_cast<void*>(lpAddress);
  lpBuffer->AllocationBase = reinterpret_cast<void*>(found->first);
  lpBuffer->AllocationProtect = found->second.writable ? PAGE_READWRITE : PAGE_READONLY;
  lpBuffer->RegionSize = found->first + found->second.length - address;
  lpBuffer->State = MEM_COMMIT;
  lpBuffer->Protect = lpBuffer->AllocationProtect;
  lpBuffer->Type = MEM_MAPPED;
  return sizeof(MEMORY_BASIC_INFORMATION);
}
