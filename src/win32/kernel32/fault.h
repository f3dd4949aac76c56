// A fault switch for tests only: the environment variable QUADRINE_FAULT makes the stand-in
// fail as a crash or a full disk would, at a chosen point, so tests can show that no page is
// lost. Unset (always, outside tests) it changes nothing.
//   stop-after:FUNCTION:GLOB[:N]  the process ends at once, as kill -9 would end it, right
//                                 after FUNCTION succeeded on a native path matching GLOB for
//                                 the Nth time (the first when N is not given)
//   disk-full:GLOB                writes to files whose native path matches GLOB fail with
//                                 ERROR_DISK_FULL, as on a full disk
#pragma once

#include <string>

namespace win32::fault {

void AfterSuccess(const char* function, const std::string& native_path);
bool DiskFull(const std::string& native_path);

}  // namespace win32::fault
