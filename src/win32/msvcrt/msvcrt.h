// The C runtime's path splitter and joiner.
#pragma once

#define _MAX_PATH 260
#define _MAX_DRIVE 3
#define _MAX_DIR 256
#define _MAX_FNAME 256
#define _MAX_EXT 256

// Splits a path into drive ("X:"), directory (with its trailing separator), base name and
// extension (with its dot). Both '\' and '/' separate; any part may be null.
void _splitpath(const char* path, char* drive, char* dir, char* fname, char* ext);

// Joins the four parts into path (at least _MAX_PATH bytes), putting the platform's separator
// after a directory that does not end in one and a dot before an extension that lacks it.
void _makepath(char* path, const char* drive, const char* dir, const char* fname, const char* ext);
