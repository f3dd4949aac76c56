// The user's name: the account the process runs as, by its effective id.
#include <pwd.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "win32/advapi32/advapi32.h"
#include "win32/kernel32/errors.h"

BOOL WINAPI GetUserNameA(LPSTR lpBuffer, LPDWORD pcbBuffer) {
  if (pcbBuffer == nullptr) {
    return win32::Fail(ERROR_INVALID_PARAMETER, FALSE);
  }
  std::vector<char> scratch(16384);
  passwd entry{};
  passwd* found = nullptr;
  std::string name;
  if (getpwuid_r(geteuid(), &entry, scratch.data(), scratch.size(), &found) == 0 &&
      found != nullptr && found->pw_name != nullptr) {
    name = found->pw_name;
  } else {
    // An id with no account entry (a container's user) is named by its number.
    name = std::to_string(geteuid());
  }
  // The size counts the terminating zero, on success and when the buffer is too small.
  const DWORD needed = static_cast<DWORD>(name.size() + 1);
  if (lpBuffer == nullptr || *pcbBuffer < needed) {
    *pcbBuffer = needed;
    return win32::Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
  }
  std::memcpy(lpBuffer, name.c_str(), needed);
  *pcbBuffer = needed;
  return TRUE;
}
