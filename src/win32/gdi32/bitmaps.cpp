// Bitmaps: monochrome compatible bitmaps and DIB sections, in memory or in a file mapping.
#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "base/page_pixels.h"
#include "win32/gdi32/gdi_objects.h"
#include "win32/gdi32/screen.h"
#include "win32/kernel32/errors.h"
#include "win32/kernel32/kernel32.h"

namespace win32::gdi {
namespace {

std::vector<RGBQUAD> MonochromePalette() {
  return {{0, 0, 0, 0}, {255, 255, 255, 0}};
}

std::shared_ptr<BitmapObject> MakeBitmap(int width, int height, int bpp) {
  auto bitmap = std::make_shared<BitmapObject>();
  bitmap->width = width;
  bitmap->height = height;
  bitmap->bits_per_pixel = bpp;
  bitmap->stride = ((static_cast<size_t>(width) * bpp + 31) / 32) * 4;
  return bitmap;
}

}  // namespace

BitmapObject::~BitmapObject() {
  if (view != nullptr) {
    UnmapViewOfFile(view);
  }
}

uint32_t BitmapObject::GetRgb(int x, int y) const {
  const uint8_t* row = Row(y);
  auto from_palette = [&](unsigned index) -> uint32_t {
    if (index >= palette.size()) {
      return 0;
    }
    const RGBQUAD& q = palette[index];
    return (uint32_t{q.rgbRed} << 16) | (uint32_t{q.rgbGreen} << 8) | q.rgbBlue;
  };
  switch (bits_per_pixel) {
    case 1:
      return from_palette((row[x / 8] >> (7 - x % 8)) & 1);
    case 4:
      return from_palette((row[x / 2] >> ((x & 1) ? 0 : 4)) & 0xF);
    case 8:
      return from_palette(row[x]);
    case 16: {
      const uint32_t v = row[2 * x] | (uint32_t{row[2 * x + 1]} << 8);
      const uint32_t r = (v >> 10) & 0x1F, g = (v >> 5) & 0x1F, b = v & 0x1F;
      return (((r << 3) | (r >> 2)) << 16) | (((g << 3) | (g >> 2)) << 8) | ((b << 3) | (b >> 2));
    }
    case 24:
      return (uint32_t{row[3 * x + 2]} << 16) | (uint32_t{row[3 * x + 1]} << 8) | row[3 * x];
    case 32:
      return (uint32_t{row[4 * x + 2]} << 16) | (uint32_t{row[4 * x + 1]} << 8) | row[4 * x];
    default:
      return 0;
  }
}

void BitmapObject::ReadRgbRow(int y, int left, int right, uint32_t* out) const {
  const uint8_t* row = Row(y);
  switch (bits_per_pixel) {
    case 24: {
      // Four bytes a load, the fourth dropped; the last pixel's by bytes, as the row may end
      // with it.
      const int whole = right - 1;
      int x = left;
      for (; x < whole; ++x) {
        uint32_t v;
        std::memcpy(&v, row + 3 * static_cast<size_t>(x), 4);
        *out++ = v & 0xFFFFFF;
      }
      for (; x < right; ++x) {
        const uint8_t* p = row + 3 * static_cast<size_t>(x);
        *out++ = (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
      }
      return;
    }
    case 32:
      for (int x = left; x < right; ++x) {
        uint32_t v;
        std::memcpy(&v, row + 4 * static_cast<size_t>(x), 4);
        *out++ = v & 0xFFFFFF;
      }
      return;
    default:
      for (int x = left; x < right; ++x) {
        *out++ = GetRgb(x, y);
      }
      return;
  }
}

void BitmapObject::WriteRgbRow(int y, int left, int right, const uint32_t* in) {
  uint8_t* row = Row(y);
  switch (bits_per_pixel) {
    case 24: {
      // Four bytes a store, going right: each pixel's fourth byte is the next one's first,
      // written over by it; the last pixel by bytes, so nothing past it is touched.
      const int whole = right - 1;
      int x = left;
      for (; x < whole; ++x) {
        const uint32_t v = *in++;
        std::memcpy(row + 3 * static_cast<size_t>(x), &v, 4);
      }
      for (; x < right; ++x) {
        const uint32_t v = *in++;
        uint8_t* p = row + 3 * static_cast<size_t>(x);
        p[0] = static_cast<uint8_t>(v);
        p[1] = static_cast<uint8_t>(v >> 8);
        p[2] = static_cast<uint8_t>(v >> 16);
      }
      return;
    }
    case 32:
      for (int x = left; x < right; ++x) {
        const uint32_t v = *in++ & 0xFFFFFF;
        std::memcpy(row + 4 * static_cast<size_t>(x), &v, 4);
      }
      return;
    default:
      for (int x = left; x < right; ++x) {
        SetRgb(x, y, *in++);
      }
      return;
  }
}

uint8_t BitmapObject::NearestIndex(uint32_t rgb) const {
  const int r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
  // Black and white: the nearer by brightness, with mid-grey going to black, so that a page
  // of 50 % grey text is not taken for a blank one.
  if (palette.size() == 2 && palette[0].rgbRed == 0 && palette[0].rgbGreen == 0 &&
      palette[0].rgbBlue == 0 && palette[1].rgbRed == 255 && palette[1].rgbGreen == 255 &&
      palette[1].rgbBlue == 255) {
    return TurnsBlackInBlackAndWhite(r, g, b) ? 0 : 1;
  }
  int best = 0;
  long best_distance = -1;
  for (size_t i = 0; i < palette.size(); ++i) {
    const long dr = r - palette[i].rgbRed, dg = g - palette[i].rgbGreen,
               db = b - palette[i].rgbBlue;
    const long distance = dr * dr + dg * dg + db * db;
    if (best_distance < 0 || distance < best_distance) {
      best_distance = distance;
      best = static_cast<int>(i);
    }
  }
  return static_cast<uint8_t>(best);
}

void BitmapObject::SetIndex(int x, int y, uint8_t index) {
  uint8_t* row = Row(y);
  switch (bits_per_pixel) {
    case 1: {
      const uint8_t bit = static_cast<uint8_t>(0x80 >> (x % 8));
      row[x / 8] = index ? (row[x / 8] | bit) : (row[x / 8] & ~bit);
      break;
    }
    case 4:
      row[x / 2] =
          (x & 1) ? ((row[x / 2] & 0xF0) | (index & 0xF)) : ((row[x / 2] & 0x0F) | (index << 4));
      break;
    case 8:
      row[x] = index;
      break;
    default:
      break;
  }
}

void BitmapObject::SetRgb(int x, int y, uint32_t rgb) {
  uint8_t* row = Row(y);
  switch (bits_per_pixel) {
    case 1:
    case 4:
    case 8:
      SetIndex(x, y, NearestIndex(rgb));
      break;
    case 16: {
      const uint32_t v =
          (((rgb >> 19) & 0x1F) << 10) | (((rgb >> 11) & 0x1F) << 5) | ((rgb >> 3) & 0x1F);
      row[2 * x] = static_cast<uint8_t>(v);
      row[2 * x + 1] = static_cast<uint8_t>(v >> 8);
      break;
    }
    case 24:
      row[3 * x] = static_cast<uint8_t>(rgb);
      row[3 * x + 1] = static_cast<uint8_t>(rgb >> 8);
      row[3 * x + 2] = static_cast<uint8_t>(rgb >> 16);
      break;
    case 32:
      row[4 * x] = static_cast<uint8_t>(rgb);
      row[4 * x + 1] = static_cast<uint8_t>(rgb >> 8);
      row[4 * x + 2] = static_cast<uint8_t>(rgb >> 16);
      row[4 * x + 3] = 0;
      break;
    default:
      break;
  }
}

HBITMAP DefaultBitmap() {
  static const HBITMAP bitmap = [] {
    auto one = MakeBitmap(1, 1, 1);
    one->palette = MonochromePalette();
    one->owned_bits.assign(one->stride, 0);
    one->bits = one->owned_bits.data();
    return reinterpret_cast<HBITMAP>(InsertHandle(std::move(one)));
  }();
  return bitmap;
}

}  // namespace win32::gdi

using win32::gdi::BitmapObject;
using win32::gdi::DcObject;

HBITMAP WINAPI CreateCompatibleBitmap(HDC hdc, int cx, int cy) {
  // A memory DC that still holds its first bitmap is monochrome; the screen has 32 bits.
  int bpp = 32;
  if (hdc != win32::gdi::ScreenDC()) {
    auto dc = win32::LookupHandleOf<DcObject>(hdc);
    if (!dc) {
      return win32::Fail(ERROR_INVALID_HANDLE, nullptr);
    }
    bpp = dc->bitmap ? dc->bitmap->bits_per_pixel : 1;
  }
  if (cx <= 0 || cy <= 0 ||
      static_cast<uint64_t>(cx) * static_cast<uint64_t>(cy) > win32::gdi::kMaxBitmapPixels) {
    return win32::Fail(ERROR_INVALID_PARAMETER, nullptr);
  }
  auto bitmap = std::make_shared<BitmapObject>();
  bitmap->width = cx;
  bitmap->height = cy;
  bitmap->bits_per_pixel = bpp;
  bitmap->stride = ((static_cast<size_t>(cx) * bpp + 31) / 32) * 4;
  if (bpp == 1) {
    bitmap->palette = {{0, 0, 0, 0}, {255, 255, 255, 0}};
  }
  bitmap->owned_bits.assign(bitmap->stride * static_cast<size_t>(cy), 0);
  bitmap->bits = bitmap->owned_bits.data();
  return reinterpret_cast<HBITMAP>(win32::InsertHandle(std::move(bitmap)));
}

HBITMAP WINAPI CreateDIBSection(HDC /*hdc*/, const BITMAPINFO* pbmi, UINT usage, void** ppvBits,
                                HANDLE hSection, DWORD offset) {
  if (ppvBits != nullptr) {
    *ppvBits = nullptr;
  }
  if (pbmi == nullptr || pbmi->bmiHeader.biSize < sizeof(BITMAPINFOHEADER) ||
      usage != DIB_RGB_COLORS) {
    return win32::Fail(ERROR_INVALID_PARAMETER, nullptr);
  }
  const BITMAPINFOHEADER& h = pbmi->bmiHeader;
  const int bpp = h.biBitCount;
  const long long rows = h.biHeight < 0 ? -static_cast<long long>(h.biHeight) : h.biHeight;
  if ((bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) || h.biWidth <= 0 ||
      rows <= 0 || h.biCompression != BI_RGB ||
      static_cast<uint64_t>(h.biWidth) * static_cast<uint64_t>(rows) >
          (hSection != nullptr ? win32::gdi::kMaxSectionPixels : win32::gdi::kMaxBitmapPixels)) {
    return win32::Fail(ERROR_INVALID_PARAMETER, nullptr);
  }
  auto bitmap = std::make_shared<BitmapObject>();
  bitmap->width = h.biWidth;
  bitmap->height = static_cast<int>(rows);
  bitmap->bits_per_pixel = bpp;
  bitmap->bottom_up = h.biHeight > 0;
  bitmap->stride = ((static_cast<size_t>(h.biWidth) * bpp + 31) / 32) * 4;
  if (bpp <= 8) {
    const size_t entries =
        h.biClrUsed != 0 ? std::min<size_t>(h.biClrUsed, size_t{1} << bpp) : (size_t{1} << bpp);
    bitmap->palette.assign(pbmi->bmiColors, pbmi->bmiColors + entries);
  }
  const size_t image_size = bitmap->stride * static_cast<size_t>(rows);
  if (hSection != nullptr) {
    // Views start at the allocation granularity; the bits may start anywhere on a DWORD.
    if (offset % 4 != 0) {
      return win32::Fail(ERROR_INVALID_PARAMETER, nullptr);
    }
    void* view = MapViewOfFile(hSection, FILE_MAP_WRITE | FILE_MAP_READ, 0, 0, offset + image_size);
    if (view == nullptr) {
      return nullptr;
    }
    bitmap->view = view;
    bitmap->bits = static_cast<uint8_t*>(view) + offset;
  } else {
    bitmap->owned_bits.assign(image_size, 0);
    bitmap->bits = bitmap->owned_bits.data();
  }
  if (ppvBits != nullptr) {
    *ppvBits = bitmap->bits;
  }
  return reinterpret_cast<HBITMAP>(win32::InsertHandle(std::move(bitmap)));
}
