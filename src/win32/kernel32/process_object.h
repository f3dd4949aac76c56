// A child process as the stand-in's handles hold it, for the process and wait functions.
#pragma once

#include <sys/types.h>

#include <memory>
#include <mutex>

#include "win32/kernel32/handles.h"
#include "win32/kernel32/kernel32.h"

namespace win32 {

class ProcessObject : public KernelObject {
 public:
  explicit ProcessObject(pid_t process) : pid(process) {}
  ~ProcessObject() override {
    // A child that has ended is reaped even when nobody waited for it.
    if (!ended) {
      Poll(false);
    }
  }
  // Reaps the child when it has ended; with block set, waits for that.
  bool Poll(bool block);
  pid_t pid;
  std::mutex mutex;
  bool ended = false;
  DWORD exit_code = STILL_ACTIVE;
};

// A thread handle stands for the child's main thread; it only keeps the process in view.
class ThreadObject : public KernelObject {
 public:
  explicit ThreadObject(std::shared_ptr<ProcessObject> owner) : process(std::move(owner)) {}
  std::shared_ptr<ProcessObject> process;
};

}  // namespace win32
