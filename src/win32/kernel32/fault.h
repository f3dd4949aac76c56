// A fault switch for test builds only (QUADRINE_FAULT_SWITCH; other builds have none and
// ignore the variable): the environment variable QUADRINE_FAULT makes the stand-in
// fail as a crash or a full disk would, at a chosen point, so tests can show that no page is
// lost. Unset (always, outside tests) it changes nothing. It holds one or more clauses
// separated by ';':
//   stop-after:FUNCTION:GLOB[:N]  the process ends at once, as kill -9 would end it, right
//                                 after FUNCTION succeeded on a native path matching GLOB for
//                                 the Nth time (the first when N is not given); FUNCTION is
//                                 CreateFileA, WriteFile, DeleteFileA, CopyFileA, MoveFileExA
//                                 or CreateFileMappingA
//   stop-within:WriteFile:GLOB[:N] the Nth write to a matching file puts down only the first
//                                 half of its bytes, and the process ends there: a torn write
//   hold-after:FUNCTION:GLOB:MARKER the first time FUNCTION succeeded on a matching path, the
//                                 process makes the file MARKER and waits until it is gone
//                                 (at most a minute), so a test can act while it is held
//   disk-full:GLOB                writes to files whose native path matches GLOB fail with
//                                 ERROR_DISK_FULL, as on a full disk
//   lock-wait:MS                  the stand-in's bounded waits for a lock (the printers file's)
//                                 give up after MS milliseconds instead of their usual time
#pragma once

#include <cstddef>
#include <string>

namespace win32::fault {

void AfterSuccess(const char* function, const std::string& native_path);
// How many of size bytes a write to the file may put down before the process ends there;
// size itself when no torn write is due.
size_t TornWriteLength(const std::string& native_path, size_t size);
// Ends the process, as after a torn write.
[[noreturn]] void Stop();
bool DiskFull(const std::string& native_path);
unsigned LockWaitMilliseconds(unsigned usual);

}  // namespace win32::fault
