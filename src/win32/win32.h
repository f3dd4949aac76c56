// The header the system includes instead of <windows.h> on POSIX: the Win32 subset that the
// stand-in implements, with the Win32 names and signatures.
#pragma once

#include "comctl32/comctl32.h"
#include "gdi32/gdi32.h"
#include "kernel32/kernel32.h"
#include "msvcrt/msvcrt.h"
#include "user32/user32.h"
#include "win32_types.h"
#include "winspool/winspool.h"
