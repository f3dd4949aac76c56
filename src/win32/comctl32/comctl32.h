// comctl32: the progress bar.
#pragma once

#include "win32/win32_types.h"

#define PROGRESS_CLASSA "msctls_progress32"
#define PBM_SETRANGE (0x0400 + 1)
#define PBM_SETPOS (0x0400 + 2)
#define PBM_GETPOS (0x0400 + 8)
#define ICC_PROGRESS_CLASS 0x00000020

typedef struct tagINITCOMMONCONTROLSEX {
  DWORD dwSize;
  DWORD dwICC;
} INITCOMMONCONTROLSEX, *LPINITCOMMONCONTROLSEX;

BOOL WINAPI InitCommonControlsEx(const INITCOMMONCONTROLSEX* picce);
