// The debugger channel: OutputDebugStringA goes to syslog at debug priority.
#include <syslog.h>

#include "win32/kernel32/kernel32.h"

void WINAPI OutputDebugStringA(LPCSTR lpOutputString) {
  if (lpOutputString != nullptr) {
    syslog(LOG_DEBUG, "%s", lpOutputString);
  }
}
