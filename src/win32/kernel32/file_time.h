// FILETIME from POSIX time stamps.
#pragma once

#include <time.h>

#include "win32/kernel32/kernel32.h"

namespace win32 {

// FILETIME counts 100-nanosecond steps from 1601-01-01.
inline FILETIME ToFileTime(const timespec& time) {
  constexpr long long kEpochDifference = 11644473600LL;
  const unsigned long long ticks =
      static_cast<unsigned long long>(time.tv_sec + kEpochDifference) * 10000000ull +
      static_cast<unsigned long long>(time.tv_nsec) / 100ull;
  return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

}  // namespace win32
