// user32: message boxes and the desktop window.
#pragma once

#include "win32_types.h"

#define MB_OK 0x00000000L
#define MB_OKCANCEL 0x00000001L
#define MB_ICONERROR 0x00000010L
#define IDOK 1
#define IDCANCEL 2

int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType);
HWND WINAPI GetDesktopWindow(void);
