// Template 101 for the POSIX stand-in, as progress_dialog.rc describes it (a test keeps the
// two the same).
#include "progress/progress_window.h"
#include "progress/resource.h"
#include "win32/stand_in.h"

void EnsureDialogResources() {
  static const bool registered = [] {
    win32::user::RegisterDialogTemplate(win32::user::DialogTemplate{
        IDD_PROGRESS,
        "Converting....",
        WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_SETFONT,
        0,
        0,
        235,
        39,
        8,
        "MS Sans Serif",
        {
            {IDC_PROGRESS, "msctls_progress32", "Progress1", 7, 22, 221, 9,
             WS_CHILD | WS_VISIBLE | WS_BORDER},
            {IDC_STATUS, "Static", "Static", 7, 7, 221, 8,
             WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT},
        },
    });
    return true;
  }();
  (void)registered;
}
