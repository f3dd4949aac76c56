// There is no desktop to show a box on: the message goes to standard error, answered at once.
#include <cstdio>

#include "win32/user32/user32.h"

namespace {
// A value no real window handle takes; only its identity matters.
const HWND kDesktopWindow = reinterpret_cast<HWND>(0x10010);
}  // namespace

int WINAPI MessageBoxA(HWND /*hWnd*/, LPCSTR lpText, LPCSTR lpCaption, UINT /*uType*/) {
  std::fprintf(stderr, "%s: %s\n", lpCaption ? lpCaption : "Error", lpText ? lpText : "");
  std::fflush(stderr);
  return IDOK;
}

HWND WINAPI GetDesktopWindow(void) {
  return kDesktopWindow;
}
