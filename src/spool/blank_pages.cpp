#include "spool/blank_pages.h"

#include "progress/progress_window.h"
#include "services/diagnostic_log.h"
#include "services/page_file.h"
#include "services/pending_pages.h"
#include "services/scoped_handles.h"
#include "spool/spool_collection.h"

namespace {

constexpr DWORD kEmfSignature = 0x464D4520;
constexpr double kMaxTestPixels = 1 << 26;

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
  // As page output measures it: at 96 an inch whatever the display's scaling (the converter
  // is DPI-aware, so a scaled screen shows it physical pixels).
  const int perInchX = GetDeviceCaps(screen, LOGPIXELSX);
  const int perInchY = GetDeviceCaps(screen, LOGPIXELSY);
  const float scaleX = GetDeviceCaps(screen, HORZSIZE) * 100.0f / GetDeviceCaps(screen, HORZRES) *
                       (perInchX > 0 ? perInchX / 96.0f : 1.0f);
  const float scaleY = GetDeviceCaps(screen, VERTSIZE) * 100.0f / GetDeviceCaps(screen, VERTRES) *
                       (perInchY > 0 ? perInchY / 96.0f : 1.0f);
  ReleaseDC(GetDesktopWindow(), screen);

  const float pageWidth =
      (static_cast<double>(header.rclFrame.right) - header.rclFrame.left) / scaleX + 0.5f;
  const float pageHeight =
      (static_cast<double>(header.rclFrame.bottom) - header.rclFrame.top) / scaleY + 0.5f;
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

  const ScopedDc memory(CreateCompatibleDC(nullptr));
  const ScopedBitmap bitmap(memory.Valid() ? CreateCompatibleBitmap(memory.Get(), width, height)
                                           : nullptr);
  if (!bitmap.Valid()) {
    LogMessage("IsBlankEMFPage: no test bitmap of %d x %d pixels; the page is kept.\n", width,
               height);
    return 0;
  }
  const ScopedSelection selection(memory.Get(), bitmap.Get());
  SetStretchBltMode(memory.Get(), COLORONCOLOR);
  const RECT area{0, 0, width, height};
  const ScopedBrush white(CreateSolidBrush(RGB(255, 255, 255)));
  FillRect(memory.Get(), &area, white.Get());
  PlayEnhMetaFile(memory.Get(), metafile, &area);

  int blank = 1;
  for (int y = 0; y < height && blank; ++y) {
    for (int x = 0; x < width; ++x) {
      const COLORREF pixel = GetPixel(memory.Get(), x, y);
      if ((pixel & 0xFFFFFF) != 0xFFFFFF) {
        blank = 0;
        break;
      }
    }
  }
  return blank;
}

void LoadSpoolingFiles(int bClear, const std::string& destDir, FileList& list, PageJobs* jobs) {
  LogMessage("Load spooling files...\n");
  ShowProgress("Load spooling files...", 0);
  const size_t before = list.size();
  ConvertEMFFiles(bClear, destDir, list, jobs);
  ShowProgress("Remove blank spooling files...", 0);
  for (size_t i = list.size(); i > before; --i) {
    const std::string path = list[i - 1];
    bool blank = false;
    {
      const ScopedEnhMetaFile metafile(GetEnhMetaFileA(path.c_str()));
      if (!metafile.Valid()) {
        continue;  // not a metafile: kept, untested
      }
      // GDI draws EMF+ as nothing, yet the page is not empty: kept, so that its drawing is not
      // lost (an EMF output carries it whole), and named when it is converted.
      if (PageFileHoldsOnlyEmfPlus(path)) {
        continue;
      }
      blank = IsBlankEMFPage(metafile.Get()) != 0;
    }
    if (blank) {
      LogMessage("page %d (%s) is blank and is left out\n", static_cast<int>(i), path.c_str());
      list.erase(list.begin() + static_cast<long>(i - 1));
      DeleteFileA(path.c_str());
      RemovePendingPage(path);
    }
  }
  LogMessage("Found '%d' EMF files...\n", static_cast<int>(list.size()));
}
