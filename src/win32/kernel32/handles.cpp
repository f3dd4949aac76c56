#include "win32/kernel32/handles.h"

#include <mutex>
#include <unordered_map>

#include "win32/kernel32/errors.h"
#include "win32/kernel32/kernel32.h"

namespace win32 {
namespace {

struct HandleTable {
  std::mutex mutex;
  std::unordered_map<UINT_PTR, std::shared_ptr<KernelObject>> objects;
  UINT_PTR next = 0x100;  // Windows hands out multiples of 4
};

HandleTable& Table() {
  static HandleTable table;
  return table;
}

}  // namespace

HANDLE InsertHandle(std::shared_ptr<KernelObject> object) {
  HandleTable& table = Table();
  std::lock_guard lock(table.mutex);
  const UINT_PTR value = table.next;
  table.next += 4;
  table.objects.emplace(value, std::move(object));
  return reinterpret_cast<HANDLE>(value);
}

std::shared_ptr<KernelObject> LookupHandle(HANDLE handle) {
  HandleTable& table = Table();
  std::lock_guard lock(table.mutex);
  auto found = table.objects.find(reinterpret_cast<UINT_PTR>(handle));
  return found == table.objects.end() ? nullptr : found->second;
}

std::shared_ptr<KernelObject> RemoveHandle(HANDLE handle) {
  HandleTable& table = Table();
  std::lock_guard lock(table.mutex);
  auto found = table.objects.find(reinterpret_cast<UINT_PTR>(handle));
  if (found == table.objects.end()) {
    return nullptr;
  }
  std::shared_ptr<KernelObject> object = std::move(found->second);
  table.objects.erase(found);
  return object;
}

}  // namespace win32

BOOL WINAPI CloseHandle(HANDLE hObject) {
  std::shared_ptr<win32::KernelObject> object = win32::LookupHandle(hObject);
  if (!object || !object->ClosableByCloseHandle()) {
    return win32::Fail(ERROR_INVALID_HANDLE);
  }
  win32::RemoveHandle(hObject);
  return TRUE;
}
