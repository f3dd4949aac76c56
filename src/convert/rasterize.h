// Drawing a page: into an uncompressed BMP file (drawn straight into the mapped file), or into
// a bitmap of its own whose rows go to the encoders.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "convert/image_settings.h"
#include "services/scoped_handles.h"
#include "win32/win32.h"

// 1 when the page was drawn whole into a new BMP file (created exclusively); 0 with a reason
// when not, and then no file is left at bmpPath.
int RenderEmfToBmp(const std::string& pagePath, const std::string& bmpPath,
                   const ImageSettings& settings, std::string* reason = nullptr);

// A page drawn into a bitmap of its own: in memory, or for a page past one band of the
// engine's in a mapped temporary BMP file that the system pages out. The encoders read its
// rows from the bitmap itself, so nothing is written to disk and read back.
class DrawnPage {
 public:
  DrawnPage() = default;
  DrawnPage(const DrawnPage&) = delete;
  DrawnPage& operator=(const DrawnPage&) = delete;
  ~DrawnPage();

  // The bitmap's header with its colour table, and its pixels (rows bottom-up, as in a BMP).
  std::span<const uint8_t> Info() const { return info_; }
  std::span<const uint8_t> Pixels() const { return {static_cast<const uint8_t*>(bits_), size_}; }

 private:
  friend int DrawPage(const std::string&, const ImageSettings&, DrawnPage&, std::string*);
  std::vector<uint8_t> info_;
  ScopedHandle file_;  // the temporary file and its mapping, for a large page
  ScopedHandle mapping_;
  ScopedBitmap section_;
  std::string temporary_;
  void* bits_ = nullptr;
  size_t size_ = 0;
};

// Draws the page as the settings ask (size, depth, grey) into drawn: 1 when drawn whole; 0
// with a reason when not.
int DrawPage(const std::string& pagePath, const ImageSettings& settings, DrawnPage& drawn,
             std::string* reason = nullptr);

// The bytes of the page's rows as an encoder takes them (one a pixel up to 8 bits, three
// above) at the size and depth the settings draw it; 0 when it cannot be drawn.
uint64_t PageRowBytes(const std::string& pagePath, const ImageSettings& settings);

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
