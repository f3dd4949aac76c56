#include "win32/gdi32/gdi32.h"
#include "win32/gdi32/gdi_objects.h"
#include "win32/gdi32/screen.h"
#include "win32/kernel32/errors.h"
#include "win32/kernel32/kernel32.h"

namespace win32::gdi {

HDC ScreenDC() {
  return reinterpret_cast<HDC>(static_cast<UINT_PTR>(0x10020));
}

}  // namespace win32::gdi

int WINAPI GetDeviceCaps(HDC hdc, int index) {
  // Memory device contexts answer as the screen they are compatible with, but for depth.
  if (hdc != win32::gdi::ScreenDC()) {
    auto dc = win32::LookupHandleOf<win32::gdi::DcObject>(hdc);
    if (!dc) {
      return win32::Fail(ERROR_INVALID_HANDLE, 0);
    }
    if (index == BITSPIXEL) {
      return dc->bitmap ? dc->bitmap->bits_per_pixel : 1;
    }
  }
  switch (index) {
    case HORZSIZE:
      return win32::gdi::kScreenWidthMm;
    case VERTSIZE:
      return win32::gdi::kScreenHeightMm;
    case HORZRES:
      return win32::gdi::kScreenWidth;
    case VERTRES:
      return win32::gdi::kScreenHeight;
    case BITSPIXEL:
      return 32;
    case PLANES:
      return 1;
    case LOGPIXELSX:
    case LOGPIXELSY:
      return 96;
    default:
      return 0;
  }
}
