// Builds other than test builds have no fault switch: QUADRINE_FAULT means nothing to them.
#include <unistd.h>

#include "win32/kernel32/fault.h"

namespace win32::fault {

void AfterSuccess(const char* /*function*/, const std::string& /*native_path*/) {}

size_t TornWriteLength(const std::string& /*native_path*/, size_t size) {
  return size;
}

void Stop() {
  _exit(137);  // never reached: no write is ever torn here
}

bool DiskFull(const std::string& /*native_path*/) {
  return false;
}

unsigned LockWaitMilliseconds(unsigned usual) {
  return usual;
}

}  // namespace win32::fault
