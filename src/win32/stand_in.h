// The stand-in's own extras, beyond the Win32 API: for the programs that exist only on POSIX
// (quadrine-print and its printer store) and for the POSIX forms of compiled resources.
#pragma once

#include "win32/kernel32/native_path.h"
#include "win32/user32/dialog_resources.h"
#include "win32/user32/terminal_view.h"
#include "win32/winspool/printer_store.h"
