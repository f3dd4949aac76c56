// Rendering a page into an uncompressed BMP file, drawn straight into the mapped file.
#pragma once

#include <string>

#include "convert/image_settings.h"
#include "win32/win32.h"

// 1 when the page was opened and drawing was started, 0 when it was refused before drawing.
int RenderEmfToBmp(const std::string& pagePath, const std::string& bmpPath,
                   const ImageSettings& settings);

// Renders into a new temporary BMP file and gives its path; empty when nothing was drawn.
std::string RenderToTempBmp(const std::string& pagePath, const ImageSettings& settings);

// A new unique path in the temporary folder with the ending appended ("...tmp.bmp").
std::string MakeTempFilePath(const char* ending);

// A DIB section whose pixels are the pixel area of a newly written BMP file (created
// exclusively); the file and mapping handles are the caller's to close, and pixels points at
// the section's bits. Null when it could not be made.
HBITMAP CreateBmpFileSection(int width, int height, int colorDepth, const std::string& path,
                             HANDLE* file, HANDLE* mapping, void** pixels);

// 1 when drawn, 0 when no bitmap could be made.
int DrawPageIntoBmpFile(HENHMETAFILE metafile, const RECT& pixels, int colorDepth,
                        const std::string& path, int grayscale);
