// The header the system includes instead of <windows.h>: on Windows the real API, on POSIX
// the Win32 subset that the stand-in implements, with the Win32 names and signatures.
#pragma once

#ifdef _WIN32
#include <windows.h>
// After windows.h, which they need.
#include <commctrl.h>
#include <winspool.h>
#include <lmcons.h>  // UNLEN

#include <cstdlib>  // _splitpath, _makepath
#else

#include "win32/advapi32/advapi32.h"
#include "win32/comctl32/comctl32.h"
#include "win32/gdi32/gdi32.h"
#include "win32/kernel32/kernel32.h"
#include "win32/msvcrt/msvcrt.h"
#include "win32/user32/user32.h"
#include "win32/win32_types.h"
#include "win32/winspool/winspool.h"
#endif
