#include "blank_pages.h"

#include "diagnostic_log.h"
#include "progress_window.h"
#include "spool_collection.h"

namespace {

constexpr DWORD kEmfSignature = 0x464D4520;
constexpr double kMaxTestPixels = 1 << 26;

struct ScopedMemoryDc {
  HDC dc = CreateCompatibleDC(nullptr);
  ~ScopedMemoryDc() {
    if (dc != nullptr) {
      DeleteDC(dc);
    }
  }
};

}  // namespace

int IsBlankEMFPage(HENHMETAFILE metafile) {
  if (metafile == nullptr) {
    return 1;
  }
  ENHMETAHEADER header{};
  if (GetEnhMetaFileHeader(metafile, sizeof header, &header) == 0 || header.iType != 1 ||
      header.dSignature != kEmfSignature) {
    return 1;
  }
  HDC screen = GetDC(GetDesktopWindow());
  if (screen == nullptr) {
    return 1;
  }
  const float scaleX = GetDeviceCaps(screen, HORZSIZE) * 100.0f / GetDeviceCaps(screen, HORZRES);
  const float scaleY = GetDeviceCaps(screen, VERTSIZE) * 100.0f / GetDeviceCaps(screen, VERTRES);
  ReleaseDC(GetDesktopWindow(), screen);

  const float pageWidth = (header.rclFrame.right - header.rclFrame.left) / scaleX + 0.5f;
  const float pageHeight = (header.rclFrame.bottom - header.rclFrame.top) / scaleY + 0.5f;
  const float halfWidth = pageWidth * 0.5f;
  const float halfHeight = pageHeight * 0.5f;
  if (!(halfWidth >= 1.0f) || !(halfHeight >= 1.0f)) {
    return 1;
  }
  // A page too large to test is kept: deleting it unseen could lose a real page.
  if (static_cast<double>(halfWidth) * halfHeight > kMaxTestPixels) {
    LogMessage("IsBlankEMFPage: a page of %.0f x %.0f test pixels is kept untested.\n", halfWidth,
               halfHeight);
    return 0;
  }
  const int width = static_cast<int>(halfWidth);
  const int height = static_cast<int>(halfHeight);

  ScopedMemoryDc memory;
  HBITMAP bitmap =
      memory.dc != nullptr ? CreateCompatibleBitmap(memory.dc, width, height) : nullptr;
  if (bitmap == nullptr) {
    LogMessage("IsBlankEMFPage: no test bitmap of %d x %d pixels; the page is kept.\n", width,
               height);
    return 0;
  }
  HGDIOBJ previous = SelectObject(memory.dc, bitmap);
  SetStretchBltMode(memory.dc, COLORONCOLOR);
  const RECT area{0, 0, width, height};
  HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
  FillRect(memory.dc, &area, white);
  DeleteObject(white);
  PlayEnhMetaFile(memory.dc, metafile, &area);

  int blank = 1;
  for (int y = 0; y < height && blank; ++y) {
    for (int x = 0; x < width; ++x) {
      const COLORREF pixel = GetPixel(memory.dc, x, y);
      if ((pixel & 0xFFFFFF) != 0xFFFFFF) {
        blank = 0;
        break;
      }
    }
  }
  SelectObject(memory.dc, previous);
  DeleteObject(bitmap);
  return blank;
}

void LoadSpoolingFiles(int bClear, const std::string& destDir, FileList& list) {
  LogMessage("Load spooling files...\n");
  ShowProgress("Load spooling files...", 0);
  const size_t before = list.size();
  ConvertEMFFiles(bClear, destDir, list);
  ShowProgress("Remove blank spooling files...", 0);
  for (size_t i = list.size(); i > before; --i) {
    const std::string path = list[i - 1];
    HENHMETAFILE metafile = GetEnhMetaFileA(path.c_str());
    if (metafile == nullptr) {
      continue;  // not a metafile: kept, untested
    }
    const bool blank = IsBlankEMFPage(metafile) != 0;
    if (blank) {
      list.erase(list.begin() + static_cast<long>(i - 1));
    }
    DeleteEnhMetaFile(metafile);
    if (blank) {
      DeleteFileA(path.c_str());
    }
  }
  LogMessage("Found '%d' EMF files...\n", static_cast<int>(list.size()));
}
