// The stand-in's own extras, beyond the Win32 API: for the programs that exist only on POSIX
// (quadrine-print and its printer store), for the POSIX forms of compiled resources, and for
// what only the stand-in's GDI has to tell (the faces it substituted).
#pragma once

#include "win32/gdi32/font_notices.h"
#include "win32/kernel32/native_path.h"
#include "win32/user32/dialog_resources.h"
#include "win32/user32/terminal_view.h"
#include "win32/winspool/printer_store.h"
