// The progress bar's window procedure.
#pragma once

#include "win32/user32/window_table.h"

namespace win32::controls {

LRESULT ProgressBarMessage(user::Window& bar, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace win32::controls
