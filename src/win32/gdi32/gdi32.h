// gdi32: device contexts and their capabilities.
#pragma once

#include "win32_types.h"

#define HORZSIZE 4
#define VERTSIZE 6
#define HORZRES 8
#define VERTRES 10
#define BITSPIXEL 12
#define PLANES 14
#define LOGPIXELSX 88
#define LOGPIXELSY 90

int WINAPI GetDeviceCaps(HDC hdc, int index);
