// Runs a body in a child process and reports its time and peak memory: peak_anon_MB samples
// the child's anonymous memory every 2 ms, peak_rss_MB is the kernel's high-water mark of
// everything resident (mapped files included).
#pragma once

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

namespace bench_support {

// The child's resident anonymous memory in kB, from /proc; 0 once it is gone.
inline long AnonymousKb(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("RssAnon:", 0) == 0) {
      return std::stol(line.substr(8));
    }
  }
  return 0;
}

// body's return value is the child's exit status; any other than expected_exit is an error.
inline void MeasureChild(benchmark::State& state, const std::function<int()>& body,
                         int expected_exit = 0) {
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
      _exit(body());
    }
    long peak_anon = 0;
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, WNOHANG, &usage) == 0) {
      peak_anon = std::max(peak_anon, AnonymousKb(pid));
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetIterationTime(seconds);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != expected_exit) {
      state.SkipWithError("the child did not end as expected");
      return;
    }
    state.counters["peak_anon_MB"] = static_cast<double>(peak_anon) / 1024;
    state.counters["peak_rss_MB"] = static_cast<double>(usage.ru_maxrss) / 1024;
  }
}

}  // namespace bench_support
