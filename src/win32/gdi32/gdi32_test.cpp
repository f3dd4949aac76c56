#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/spool_builder.h"
#include "support/test_support.h"
#include "win32/win32.h"

namespace {

using testing_support::EmfPage;
using testing_support::EmfRecord;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

struct DibInfo {
  BITMAPINFOHEADER header;
  RGBQUAD colours[256];
};

DibInfo Info(int width, int height, int bpp) {
  DibInfo info{};
  info.header.biSize = sizeof(BITMAPINFOHEADER);
  info.header.biWidth = width;
  info.header.biHeight = height;
  info.header.biPlanes = 1;
  info.header.biBitCount = static_cast<WORD>(bpp);
  if (bpp == 1) {
    info.colours[1] = {255, 255, 255, 0};
  }
  for (int i = 0; bpp == 8 && i < 256; ++i) {
    info.colours[i] = {static_cast<BYTE>(i), static_cast<BYTE>(i), static_cast<BYTE>(i), 0};
  }
  return info;
}

TEST(Gdi, AFreshMemoryContextMakesMonochromeBitmaps) {
  HDC dc = CreateCompatibleDC(nullptr);
  ASSERT_NE(dc, nullptr);
  EXPECT_EQ(GetDeviceCaps(dc, BITSPIXEL), 1);
  HBITMAP bitmap = CreateCompatibleBitmap(dc, 10, 10);
  HGDIOBJ old = SelectObject(dc, bitmap);
  EXPECT_EQ(GetDeviceCaps(dc, BITSPIXEL), 1);
  EXPECT_EQ(SetPixel(dc, 1, 1, RGB(255, 255, 200)), RGB(255, 255, 255));
  EXPECT_EQ(SetPixel(dc, 2, 2, RGB(128, 128, 128)), RGB(0, 0, 0));  // mid-grey is ink
  EXPECT_EQ(GetPixel(dc, 20, 20), CLR_INVALID);
  EXPECT_FALSE(DeleteObject(bitmap));  // still selected
  SelectObject(dc, old);
  EXPECT_TRUE(DeleteObject(bitmap));
  EXPECT_TRUE(DeleteDC(dc));
  EXPECT_FALSE(DeleteDC(dc));
}

TEST(Gdi, PixelsKeepWhatEachDepthCanHold) {
  struct Case {
    int bpp;
    COLORREF set;
    COLORREF expected;
  };
  const Case cases[] = {
      {1, RGB(200, 30, 30), RGB(0, 0, 0)},  {8, RGB(90, 90, 90), RGB(90, 90, 90)},
      {8, RGB(255, 0, 0), RGB(85, 85, 85)}, {16, RGB(255, 128, 7), RGB(255, 132, 0)},
      {24, RGB(1, 2, 3), RGB(1, 2, 3)},     {32, RGB(250, 251, 252), RGB(250, 251, 252)},
  };
  for (const Case& c : cases) {
    const DibInfo info = Info(4, 4, c.bpp);
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(&info),
                                   DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(dib, nullptr) << c.bpp;
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, dib);
    SetPixel(dc, 1, 2, c.set);
    EXPECT_EQ(GetPixel(dc, 1, 2), c.expected) << c.bpp;
    SelectObject(dc, old);
    DeleteObject(dib);
    DeleteDC(dc);
  }
}

TEST(Gdi, APageIsPlayedIntoADibSectionInAFile) {
  TempDir dir;
  const std::string page_path = dir / "page.emf";
  // A black box over the whole frame's middle.
  WriteFile(page_path, EmfPage(EmfRecord(39, {1, 0, 0, 0}) + EmfRecord(37, {1}) +
                                   EmfRecord(43, {100, 100, 500, 500}),
                               15875, 15875));  // 600 x 600 reference pixels
  const std::string bmp_path = dir / "out.bmp";
  constexpr DWORD kOffset = 56;
  HANDLE file = CreateFileA(bmp_path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  const DWORD image = 60 * 3 * 60;
  HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READWRITE, 0, kOffset + image, nullptr);
  ASSERT_NE(mapping, nullptr);
  const DibInfo info = Info(60, 60, 24);
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(&info),
                                 DIB_RGB_COLORS, &bits, mapping, kOffset);
  ASSERT_NE(dib, nullptr);
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, dib);
  const RECT all{0, 0, 60, 60};
  HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
  EXPECT_TRUE(FillRect(dc, &all, white));
  DeleteObject(white);
  HENHMETAFILE page = GetEnhMetaFileA(page_path.c_str());
  ASSERT_NE(page, nullptr);
  ENHMETAHEADER header{};
  EXPECT_EQ(GetEnhMetaFileHeader(page, sizeof header, &header), 108u);
  EXPECT_EQ(header.rclFrame.right, 15875);
  EXPECT_TRUE(PlayEnhMetaFile(dc, page, &all));
  EXPECT_EQ(GetPixel(dc, 30, 30), RGB(0, 0, 0));  // the frame filled the bounds: 1/10 scale
  EXPECT_EQ(GetPixel(dc, 5, 5), RGB(255, 255, 255));
  EXPECT_EQ(GetPixel(dc, 55, 55), RGB(255, 255, 255));
  DeleteEnhMetaFile(page);
  SelectObject(dc, old);
  DeleteObject(dib);
  DeleteDC(dc);
  CloseHandle(mapping);
  CloseHandle(file);
  // The bottom-up file row of y = 30 holds black pixels.
  const std::string bytes = ReadFile(bmp_path);
  ASSERT_EQ(bytes.size(), kOffset + image);
  EXPECT_EQ(bytes[kOffset + (59 - 30) * 180 + 30 * 3], '\0');
  EXPECT_EQ(static_cast<unsigned char>(bytes[kOffset + 2]), 255u);
}

TEST(Gdi, OnlyMetafilesOpen) {
  TempDir dir;
  WriteFile(dir / "text.emf", "not a metafile at all, but long enough to have a header field");
  EXPECT_EQ(GetEnhMetaFileA((dir / "text.emf").c_str()), nullptr);
  EXPECT_EQ(GetEnhMetaFileA((dir / "missing.emf").c_str()), nullptr);
  HDC screen = GetDC(nullptr);
  EXPECT_EQ(GetDeviceCaps(screen, HORZRES), 1920);
  EXPECT_EQ(GetDeviceCaps(screen, VERTSIZE), 381);
  ReleaseDC(nullptr, screen);
}

}  // namespace
