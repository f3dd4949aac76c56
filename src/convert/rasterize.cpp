#include "convert/rasterize.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <vector>

#include "base/page_pixels.h"
#include "base/text_util.h"
#include "services/diagnostic_log.h"
#include "services/pending_pages.h"
#include "services/scoped_handles.h"
#include "services/screen.h"

namespace {

constexpr DWORD kEmfSignature = 0x464D4520;
constexpr uint64_t kMaxFileSize = 0xFFFFFFFFull;  // what the BMP header's size fields hold
// The most pixels a page's bitmap may have; the page is drawn into it band by band, so only
// the BMP file's 32-bit sizes limit it further.
constexpr uint64_t kMaxPixels = uint64_t{1} << 32;
// Pages of up to one band of the engine's are drawn in memory; larger ones into a mapped file.
constexpr uint64_t kPixelsInMemory = uint64_t{1} << 25;
constexpr int kMaxSide = 1000000;

bool IsSupportedDepth(int depth) {
  return depth == 1 || depth == 8 || depth == 16 || depth == 24 || depth == 32;
}

int ColorsFor(int depth) {
  return depth == 1 ? 2 : depth == 8 ? 256 : 0;
}

uint64_t ImageSize(int width, int height, int depth) {
  return (static_cast<uint64_t>(width) * depth + 31) / 32 * 4 * static_cast<uint64_t>(height);
}

struct BitmapInfo256 {
  BITMAPINFOHEADER header;
  RGBQUAD colors[256];
};

// The greyscale pass: (red + green + blue) / 3 in every channel. Palette depths hold greys
// already (the black-and-white and grey-ramp tables), so only 16, 24 and 32 bits change.
void TurnGrey(HDC dc, void* bits, int width, int height, int depth) {
  if (depth == 24 || depth == 32) {
    const size_t stride = (static_cast<size_t>(width) * depth + 31) / 32 * 4;
    const int step = depth / 8;
    // (r + g + b) / 3 as a multiply and shift, exact for every sum up to 765.
    const size_t row_bytes = static_cast<size_t>(width) * step;
    for (int y = 0; y < height; ++y) {
      uint8_t* __restrict row = static_cast<uint8_t*>(bits) + stride * static_cast<size_t>(y);
      if (step == 4) {
        // Four bytes a pixel: whole words, which the compiler turns into vector code.
        uint32_t* __restrict words = reinterpret_cast<uint32_t*>(row);
        for (int x = 0; x < width; ++x) {
          const uint32_t v = words[x];
          const uint32_t g = (((v & 0xFF) + ((v >> 8) & 0xFF) + ((v >> 16) & 0xFF)) * 21846u) >> 16;
          words[x] = (v & 0xFF000000u) | g | (g << 8) | (g << 16);
        }
        continue;
      }
      // Pages are mostly white, and white stays white: five white pixels (15 bytes, read as
      // two overlapping words) are passed over at once; grey pixels are left as they are.
      size_t i = 0;
      while (i + 2 < row_bytes) {
        if (i + 15 <= row_bytes) {
          uint64_t first;
          uint64_t second;
          std::memcpy(&first, row + i, 8);
          std::memcpy(&second, row + i + 7, 8);
          if ((first & second) == ~uint64_t{0}) {
            i += 15;
            continue;
          }
        }
        if (row[i] != row[i + 1] || row[i + 1] != row[i + 2]) {
          const uint8_t g =
              static_cast<uint8_t>(((row[i] + row[i + 1] + row[i + 2]) * 21846u) >> 16);
          row[i] = row[i + 1] = row[i + 2] = g;
        }
        i += 3;
      }
    }
  } else if (depth == 16) {
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const COLORREF c = GetPixel(dc, x, y);
        const int g = (GetRValue(c) + GetGValue(c) + GetBValue(c)) / 3;
        SetPixel(dc, x, y, RGB(g, g, g));
      }
    }
  }
}

// The header of the page's bitmap, with the black-and-white table at depth 1 and the grey
// ramp at depth 8.
BitmapInfo256 MakeBitmapInfo(int width, int height, int depth, uint64_t imageSize) {
  const int colors = ColorsFor(depth);
  BitmapInfo256 info{};
  info.header.biSize = sizeof(BITMAPINFOHEADER);
  info.header.biWidth = width;
  info.header.biHeight = height;
  info.header.biPlanes = 1;
  info.header.biBitCount = static_cast<WORD>(depth);
  info.header.biCompression = BI_RGB;
  info.header.biSizeImage = static_cast<DWORD>(imageSize);
  info.header.biClrUsed = static_cast<DWORD>(colors);
  if (depth == 1) {
    info.colors[1] = {255, 255, 255, 0};
  }
  for (int i = 0; depth == 8 && i < 256; ++i) {
    info.colors[i] = {static_cast<BYTE>(i), static_cast<BYTE>(i), static_cast<BYTE>(i), 0};
  }
  return info;
}

// The page's size in pixels: its frame at the screen's density (or the resolution setting),
// or the size the settings ask for. False when there is no screen to measure by.
bool PageSizeInPixels(const ENHMETAHEADER& header, const ImageSettings& settings,
                      FramePixels& size) {
  ScreenMeasures screen;
  if (!MeasureScreen(screen)) {
    return false;
  }
  const PageFrame frame{header.rclFrame.left, header.rclFrame.top, header.rclFrame.right,
                        header.rclFrame.bottom};
  size = FrameInPixels(frame, ScreenPitch(screen, settings.xResolution, settings.yResolution));
  if (settings.specifySize) {
    size = FixSize(size, FixedSize{settings.width, settings.height});
  }
  return true;
}

}  // namespace

HBITMAP CreateBmpFileSection(int width, int height, int colorDepth, const std::string& path,
                             HANDLE* file, HANDLE* mapping, void** pixels) {
  *file = INVALID_HANDLE_VALUE;
  *mapping = nullptr;
  *pixels = nullptr;
  HDC screen = GetDC(nullptr);
  const int depth = colorDepth == 0 ? 24 : colorDepth;
  const int colors = ColorsFor(depth);
  // The 14-byte file header and the 40-byte info header end at 54; the pixels start at the
  // next multiple of 4 after the colour table, as CreateDIBSection asks of an offset into a
  // file mapping, which leaves two zero bytes between.
  constexpr DWORD kHeadersRoundedUp = 56;
  const DWORD pixelOffset = kHeadersRoundedUp + 4 * colors;
  const uint64_t imageSize = ImageSize(width, height, depth);
  if (pixelOffset + imageSize > kMaxFileSize) {
    ReleaseDC(nullptr, screen);
    LogMessage("CreateBmpFileSection: a %d x %d bitmap does not fit a BMP file.\n", width, height);
    return nullptr;
  }
  const BitmapInfo256 info = MakeBitmapInfo(width, height, depth, imageSize);
  // Created exclusively, so that two runs never write the same file and a link planted at
  // the name is never followed.
  ScopedHandle bmp(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!bmp.Valid()) {
    ReleaseDC(nullptr, screen);
    return nullptr;
  }
  // Whatever fails from here leaves no file behind: a BMP without its pixels is no page.
  auto discard = [&] {
    bmp.Reset();
    DeleteFileA(path.c_str());
  };
  BITMAPFILEHEADER fileHeader{};
  fileHeader.bfType = 0x4D42;
  fileHeader.bfSize = static_cast<DWORD>(pixelOffset + imageSize);
  fileHeader.bfOffBits = pixelOffset;
  DWORD written = 0;
  const bool headersWritten =
      WriteFile(bmp.Get(), &fileHeader, sizeof fileHeader, &written, nullptr) &&
      WriteFile(bmp.Get(), &info.header, sizeof info.header, &written, nullptr) &&
      (colors == 0 ||
       WriteFile(bmp.Get(), info.colors, static_cast<DWORD>(4 * colors), &written, nullptr));
  // Mapping the whole size gives the file its space: the gap and the pixels, zero bytes.
  ScopedHandle section(
      headersWritten ? CreateFileMappingA(bmp.Get(), nullptr, PAGE_READWRITE, 0,
                                          static_cast<DWORD>(pixelOffset + imageSize), nullptr)
                     : nullptr);
  if (!section.Valid()) {
    LogMessage("CreateBmpFileSection: '%s' could not be given its %llu bytes (error %lu).\n",
               path.c_str(), static_cast<unsigned long long>(pixelOffset + imageSize),
               static_cast<unsigned long>(GetLastError()));
    ReleaseDC(nullptr, screen);
    discard();
    return nullptr;
  }
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(screen, reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS,
                                 &bits, section.Get(), pixelOffset);
  ReleaseDC(nullptr, screen);
  if (dib == nullptr) {
    section.Reset();
    discard();
    return nullptr;
  }
  *file = bmp.Get();
  *mapping = section.Get();
  *pixels = bits;
  bmp = ScopedHandle();  // handed over
  section = ScopedHandle();
  return dib;
}

namespace {

// Whitens the bitmap and plays the page over all of it, then turns it grey when asked; TRUE
// when the page was drawn whole.
BOOL DrawInto(HBITMAP bitmap, void* bits, HENHMETAFILE metafile, const RECT& pixels, int depth,
              int grayscale) {
  const ScopedDc memory(CreateCompatibleDC(nullptr));
  const ScopedSelection selection(memory.Get(), bitmap);
  SetStretchBltMode(memory.Get(), COLORONCOLOR);
  const ScopedBrush white(CreateSolidBrush(RGB(255, 255, 255)));
  FillRect(memory.Get(), &pixels, white.Get());
  const BOOL played = PlayEnhMetaFile(memory.Get(), metafile, &pixels);
  if (played && grayscale) {
    // Read straight from the bitmap's pixels (the row order does not matter for this pass);
    // the result is the same as GetPixel and SetPixel give.
    TurnGrey(memory.Get(), bits, pixels.right - pixels.left, pixels.bottom - pixels.top, depth);
  }
  return played;
}

}  // namespace

int DrawPageIntoBmpFile(HENHMETAFILE metafile, const RECT& pixels, int colorDepth,
                        const std::string& path, int grayscale) {
  HANDLE file = INVALID_HANDLE_VALUE;
  HANDLE mapping = nullptr;
  void* bits = nullptr;
  const int width = pixels.right - pixels.left;
  const int height = pixels.bottom - pixels.top;
  HBITMAP section = CreateBmpFileSection(width, height, colorDepth, path, &file, &mapping, &bits);
  if (section == nullptr) {
    return 0;
  }
  BOOL played = FALSE;
  {
    const ScopedHandle fileOwner(file);
    const ScopedHandle mappingOwner(mapping);
    const ScopedBitmap sectionOwner(section);
    played =
        DrawInto(section, bits, metafile, pixels, colorDepth == 0 ? 24 : colorDepth, grayscale);
  }
  if (!played) {
    // A page that could not be drawn is a failure, never a white or black file.
    DeleteFileA(path.c_str());
    return 0;
  }
  return 1;
}

namespace {

// A page opened for drawing: its metafile, its size in pixels and the depth it is drawn at.
struct OpenedPage {
  ScopedEnhMetaFile metafile;
  RECT pixels{};
  int depth = 24;
};

// Settles the page's bitmap size and depth from its header alone; false with why when it
// cannot be drawn as the settings ask.
bool MeasurePage(const std::string& pagePath, const ImageSettings& settings, OpenedPage& page,
                 std::string& why) {
  if (pagePath.empty()) {
    why = "no page named";
    return false;
  }
  page.depth = settings.colorDepth == 0 ? 24 : settings.colorDepth;
  if (!IsSupportedDepth(page.depth)) {
    LogMessage("colour depth %d is not supported; '%s' is not drawn.\n", page.depth,
               pagePath.c_str());
    why = "colour depth " + std::to_string(page.depth) + " is not supported";
    return false;
  }
  // The header record straight from the file: type 1 and the " EMF" signature.
  ENHMETAHEADER header{};
  {
    ScopedHandle file(CreateFileA(pagePath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD got = 0;
    if (!file.Valid() || !ReadFile(file.Get(), &header, sizeof header, &got, nullptr) ||
        got < sizeof header || header.iType != 1 || header.dSignature != kEmfSignature) {
      why = "the page file is not an enhanced metafile";
      return false;
    }
  }
  FramePixels size;
  if (!PageSizeInPixels(header, settings, size)) {
    why = "no screen to measure the page by";
    return false;
  }
  // Sizes no bitmap can have are refused before anything is converted to an integer.
  PixelCount pixels;
  if (!WholePixels(size, pixels) || pixels.width > kMaxSide || pixels.height > kMaxSide) {
    why = "the page's size gives no bitmap";
    return false;
  }
  page.pixels = RECT{0, 0, pixels.width, pixels.height};
  if (static_cast<uint64_t>(page.pixels.right) * static_cast<uint64_t>(page.pixels.bottom) >
      kMaxPixels) {
    why = "a bitmap of " + std::to_string(page.pixels.right) + " x " +
          std::to_string(page.pixels.bottom) + " pixels is more than can be made";
    return false;
  }
  return true;
}

// Measures the page and opens it for drawing; false with why when it cannot be drawn as the
// settings ask.
bool OpenPage(const std::string& pagePath, const ImageSettings& settings, OpenedPage& page,
              std::string& why) {
  if (!MeasurePage(pagePath, settings, page, why)) {
    return false;
  }
  page.metafile.Reset(GetEnhMetaFileA(pagePath.c_str()));
  if (!page.metafile.Valid()) {
    why = "the page file cannot be read as an enhanced metafile";
    return false;
  }
  return true;
}

std::string DrawingFailure() {
  const DWORD error = GetLastError();
  return error == ERROR_DISK_FULL
             ? "the disk is full"
             : "the page's bitmap could not be made or drawn (error " + std::to_string(error) + ")";
}

}  // namespace

int RenderEmfToBmp(const std::string& pagePath, const std::string& bmpPath,
                   const ImageSettings& settings, std::string* reason) {
  std::string ignored;
  std::string& why = reason != nullptr ? *reason : ignored;
  if (bmpPath.empty()) {
    why = "no output named";
    return 0;
  }
  OpenedPage page;
  if (!OpenPage(pagePath, settings, page, why)) {
    return 0;
  }
  if (!DrawPageIntoBmpFile(page.metafile.Get(), page.pixels, page.depth, bmpPath,
                           settings.grayscale)) {
    why = DrawingFailure();
    return 0;
  }
  return 1;
}

DrawnPage::~DrawnPage() {
  // The section goes before its mapping and file, and the file is closed before it is deleted.
  section_.Reset();
  mapping_.Reset();
  file_.Reset();
  if (!temporary_.empty()) {
    ReleaseTempFilePath(temporary_, ".bmp");
  }
}

int DrawPage(const std::string& pagePath, const ImageSettings& settings, DrawnPage& drawn,
             std::string* reason) {
  std::string ignored;
  std::string& why = reason != nullptr ? *reason : ignored;
  OpenedPage page;
  if (!OpenPage(pagePath, settings, page, why)) {
    return 0;
  }
  const int width = page.pixels.right;
  const int height = page.pixels.bottom;
  const uint64_t pixels = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
  const uint64_t imageSize = ImageSize(width, height, page.depth);
  const BitmapInfo256 info = MakeBitmapInfo(width, height, page.depth, imageSize);
  const auto* infoBytes = reinterpret_cast<const uint8_t*>(&info);
  drawn.info_.assign(
      infoBytes, infoBytes + sizeof info.header + 4 * static_cast<size_t>(ColorsFor(page.depth)));
  HBITMAP section = nullptr;
  if (pixels <= kPixelsInMemory) {
    HDC screen = GetDC(nullptr);
    section = CreateDIBSection(screen, reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS,
                               &drawn.bits_, nullptr, 0);
    ReleaseDC(nullptr, screen);
  } else {
    // Past what is kept in memory, the bitmap lives in a file the system pages out.
    drawn.temporary_ = MakeTempFilePath(".bmp");
    if (drawn.temporary_.empty()) {
      why = "no temporary file could be made";
      return 0;
    }
    HANDLE file = INVALID_HANDLE_VALUE;
    HANDLE mapping = nullptr;
    section = CreateBmpFileSection(width, height, page.depth, drawn.temporary_, &file, &mapping,
                                   &drawn.bits_);
    drawn.file_.Reset(file);
    drawn.mapping_.Reset(mapping);
  }
  if (section == nullptr) {
    why = DrawingFailure();
    return 0;
  }
  drawn.section_.Reset(section);
  drawn.size_ = static_cast<size_t>(imageSize);
  if (!DrawInto(section, drawn.bits_, page.metafile.Get(), page.pixels, page.depth,
                settings.grayscale)) {
    why = DrawingFailure();
    return 0;
  }
  return 1;
}

uint64_t PageRowBytes(const std::string& pagePath, const ImageSettings& settings) {
  // A depth no page is drawn at is said when the page is drawn, not here as well.
  if (!IsSupportedDepth(settings.colorDepth == 0 ? 24 : settings.colorDepth)) {
    return 0;
  }
  // The header is enough: the page itself is read when it is drawn.
  OpenedPage page;
  std::string why;
  if (!MeasurePage(pagePath, settings, page, why)) {
    return 0;
  }
  return static_cast<uint64_t>(page.pixels.right) * static_cast<uint64_t>(page.pixels.bottom) *
         (page.depth <= 8 ? 1 : 3);
}

std::string MakeTempFilePath(const char* ending) {
  static std::atomic<unsigned> counter{0};
  char folder[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathA(MAX_PATH, folder);
  if (length == 0 || length > MAX_PATH) {
    return {};
  }
  // Named after the process, and put in the run's record before it is made, so that a run
  // that dies leaves no temporary file the next run cannot find and remove.
  const std::string prefix =
      JoinPath(folder, "quadrine-" + std::to_string(GetCurrentProcessId()) + "-");
  for (int attempt = 0; attempt < 1000; ++attempt) {
    const std::string name = prefix + std::to_string(counter++) + ".tmp";
    if (GetFileAttributesA(name.c_str()) != INVALID_FILE_ATTRIBUTES) {
      continue;  // a leftover of an earlier process of the same number
    }
    AddPendingTemporary(name);
    // The empty file stays as the name's reservation until ReleaseTempFilePath, so no other
    // thread or run picks the same name for its own ending.
    if (ScopedHandle(CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr))
            .Valid()) {
      return name + ending;
    }
    const DWORD error = GetLastError();
    RemovePendingTemporary(name);
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
      break;
    }
  }
  return {};
}

void ReleaseTempFilePath(const std::string& path, const char* ending) {
  DeleteFileA(path.c_str());
  const size_t length = std::strlen(ending);
  if (path.size() > length) {
    const std::string reservation = path.substr(0, path.size() - length);
    DeleteFileA(reservation.c_str());
    RemovePendingTemporary(reservation);
  }
}
