#include "services/screen.h"

#include "win32/win32.h"

bool MeasureScreen(ScreenMeasures& screen) {
  HDC dc = GetDC(GetDesktopWindow());
  if (dc == nullptr) {
    return false;
  }
  screen.width_mm = GetDeviceCaps(dc, HORZSIZE);
  screen.height_mm = GetDeviceCaps(dc, VERTSIZE);
  screen.width_pixels = GetDeviceCaps(dc, HORZRES);
  screen.height_pixels = GetDeviceCaps(dc, VERTRES);
  screen.per_inch_x = GetDeviceCaps(dc, LOGPIXELSX);
  screen.per_inch_y = GetDeviceCaps(dc, LOGPIXELSY);
  ReleaseDC(GetDesktopWindow(), dc);
  return true;
}
