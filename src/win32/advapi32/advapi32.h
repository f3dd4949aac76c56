// advapi32: the user's name.
#pragma once

#include "win32/win32_types.h"

#define UNLEN 256

BOOL WINAPI GetUserNameA(LPSTR lpBuffer, LPDWORD pcbBuffer);
