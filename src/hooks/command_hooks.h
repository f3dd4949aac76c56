// The two command hooks: RunExeOnEMF on the page files, RunExe on the output files.
#pragma once

#include <string_view>

#include "base/file_list.h"

// Writes the list into outfiles.txt beside the executable, runs the hook's command from
// option.ini [hookName] PATH with that file's path, and waits for it. -1 when the hook is not
// configured, its setting is too long or the list file cannot be written (then reported as a
// run failure, so the run exits 1); -2 when the setting has no argument; else the runner's
// result.
int RunHook(const char* hookName, const FileList& list);

// Whether a hook's program path is taken relative to the executable's folder.
bool IsRelativeProgramPath(std::string_view program);
