#include "spool/blank_pages.h"

#include "progress/progress_window.h"
#include "services/diagnostic_log.h"
#include "services/page_file.h"
#include "services/pending_pages.h"
#include "services/scoped_handles.h"
#include "services/screen.h"
#include "spool/spool_collection.h"

namespace {

constexpr DWORD kEmfSignature = 0x464D4520;

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
  ScreenMeasures screen;
  if (!MeasureScreen(screen)) {
    return 1;
  }
  // As page output measures it, at half its size each way.
  const PageFrame frame{header.rclFrame.left, header.rclFrame.top, header.rclFrame.right,
                        header.rclFrame.bottom};
  PixelCount test;
  switch (BlankTestPixels(frame, ScreenPitch(screen), test)) {
    case BlankTest::kNothingShows:
      return 1;
    case BlankTest::kTooLarge:
      // Deleting it unseen could lose a real page.
      LogMessage(
          "IsBlankEMFPage: a page of %.0f x %.0f mm is too large to test; it is kept "
          "untested.\n",
          (static_cast<double>(frame.right) - frame.left) / 100,
          (static_cast<double>(frame.bottom) - frame.top) / 100);
      return 0;
    case BlankTest::kDrawn:
      break;
  }
  const int width = test.width;
  const int height = test.height;

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
  // A page that could not be drawn whole is no blank page, whatever its bitmap shows: it goes
  // on to be converted, which says why it fails.
  if (!PlayEnhMetaFile(memory.Get(), metafile, &area)) {
    LogMessage("IsBlankEMFPage: the page could not be drawn whole (error %lu); it is kept.\n",
               static_cast<unsigned long>(GetLastError()));
    return 0;
  }

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
      MarkPendingPageConverting(path);  // a page that ends the run here is known to the next
      blank = IsBlankEMFPage(metafile.Get()) != 0;
      MarkPendingPageDrawn(path);
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
