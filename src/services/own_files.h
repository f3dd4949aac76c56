// The files the program keeps for itself beside its settings (the recovery record, the list
// of created files): rewritten whole under a new name moved over the old one, so that a
// crash leaves the old file or the new one, never a torn or empty one, and a link planted at
// either name is never written through; and trusted only when they are the user's own.
#pragma once

#include <string>
#include <string_view>

#include "services/scoped_handles.h"
#include "win32/win32.h"

// A new file beside path under a name no file has (created exclusively, shared for reading,
// writing and deletion so that it can be moved while open), made private to its owner; its
// name in fresh. Invalid when none could be made.
ScopedHandle CreateFileBeside(const std::string& path, std::string& fresh);

// Writes all of bytes at the file's position; false when any could not be written.
bool WriteWhole(HANDLE file, std::string_view bytes);

// Replaces the file at path with bytes. Where the move over the old file is refused (on
// Windows a reader may hold it open), the file is written in place and the log says so.
// False when neither could be done.
bool ReplaceWholeFile(const std::string& path, std::string_view bytes);

// Whether path is a regular file of the user's own that no one else may read or write, and
// not a link; why not, when it is not.
bool IsPrivateFile(const std::string& path, std::string& why);

// Leaves a file this program created readable and writable by its owner alone.
void MakeFilePrivate(const std::string& path);

// Removes what an earlier process left of a rewrite of path: the new files beside it that it
// made and never moved into place. Only for files rewritten under the run lock, which the
// caller holds, so every other writer has ended.
void RemoveAbandonedRewrites(const std::string& path);
