// On Windows template 101 is a resource of the executable (progress_dialog.rc, compiled by
// windres and linked as an object): there is nothing to register.
#include "progress/progress_window.h"

void EnsureDialogResources() {}
