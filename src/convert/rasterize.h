// Rendering a page into an uncompressed BMP file, drawn straight into the mapped file.
#pragma once

#include <string>

#include "convert/image_settings.h"
#include "win32/win32.h"

// 1 when the page was drawn whole into a new BMP file (created exclusively); 0 with a reason
// when not, and then no file is left at bmpPath.
int RenderEmfToBmp(const std::string& pagePath, const std::string& bmpPath,
                   const ImageSettings& settings, std::string* reason = nullptr);

// Renders into a new temporary BMP file and gives its path (released with
// ReleaseTempFilePath(path, ".bmp")); empty, with a reason, when nothing was drawn.
std::string RenderToTempBmp(const std::string& pagePath, const ImageSettings& settings,
                            std::string* reason = nullptr);

// A new unique path in the temporary folder with the ending appended ("...tmp.bmp"); the
// name stays reserved until ReleaseTempFilePath.
std::string MakeTempFilePath(const char* ending);
// Deletes the file at path and the reservation of its name.
void ReleaseTempFilePath(const std::string& path, const char* ending);

// A DIB section whose pixels are the pixel area of a newly written BMP file (created
// exclusively); the file and mapping handles are the caller's to close, and pixels points at
// the section's bits. Null when it could not be made.
HBITMAP CreateBmpFileSection(int width, int height, int colorDepth, const std::string& path,
                             HANDLE* file, HANDLE* mapping, void** pixels);

// 1 when drawn whole, 0 when no bitmap could be made or the page not drawn (no file is left).
int DrawPageIntoBmpFile(HENHMETAFILE metafile, const RECT& pixels, int colorDepth,
                        const std::string& path, int grayscale);
