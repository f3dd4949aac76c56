#include "win32/comctl32/progress_bar.h"

#include <algorithm>

#include "win32/comctl32/comctl32.h"

namespace win32::controls {

LRESULT ProgressBarMessage(user::Window& bar, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case PBM_SETRANGE: {
      const LRESULT previous = MAKELONG(bar.range_min, bar.range_max);
      bar.range_min = LOWORD(lParam);
      bar.range_max = HIWORD(lParam);
      bar.position =
          std::clamp(bar.position, bar.range_min, std::max(bar.range_min, bar.range_max));
      user::Invalidate(bar.handle);
      return previous;
    }
    case PBM_SETPOS: {
      const LRESULT previous = bar.position;
      bar.position = std::clamp(static_cast<int>(wParam), bar.range_min,
                                std::max(bar.range_min, bar.range_max));
      user::Invalidate(bar.handle);
      return previous;
    }
    case PBM_GETPOS:
      return bar.position;
    default:
      return 0;
  }
}

}  // namespace win32::controls

// The class is always there in the stand-in.
BOOL WINAPI InitCommonControlsEx(const INITCOMMONCONTROLSEX* picce) {
  return picce != nullptr && picce->dwSize == sizeof(INITCOMMONCONTROLSEX) ? TRUE : FALSE;
}
