// The virtual screen that stands in for a display: 1920 x 1440 pixels on 508 x 381 mm,
// 96 dots per inch both ways.
#pragma once

#include "win32/win32_types.h"

namespace win32::gdi {

inline constexpr int kScreenWidth = 1920;
inline constexpr int kScreenHeight = 1440;
inline constexpr int kScreenWidthMm = 508;
inline constexpr int kScreenHeightMm = 381;

// The device context of the screen, as GetDC hands it out.
HDC ScreenDC();

}  // namespace win32::gdi
