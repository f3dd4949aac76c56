// Memory device contexts, selection, brushes, filling and single pixels.
#include <algorithm>
#include <cstring>
#include <vector>

#include "win32/gdi32/gdi_objects.h"
#include "win32/gdi32/screen.h"
#include "win32/kernel32/errors.h"
#include "win32/kernel32/kernel32.h"

using win32::gdi::BitmapObject;
using win32::gdi::BrushObject;
using win32::gdi::DcObject;

namespace {

std::shared_ptr<DcObject> LookupDc(HDC hdc) {
  auto dc = win32::LookupHandleOf<DcObject>(hdc);
  if (!dc) {
    return win32::Fail(ERROR_INVALID_HANDLE, std::shared_ptr<DcObject>{});
  }
  return dc;
}

uint32_t ToRgb(COLORREF c) {
  return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}

}  // namespace

HDC WINAPI CreateCompatibleDC(HDC hdc) {
  if (hdc != nullptr && hdc != win32::gdi::ScreenDC() && !win32::LookupHandleOf<DcObject>(hdc)) {
    return win32::Fail(ERROR_INVALID_HANDLE, nullptr);
  }
  auto dc = std::make_shared<DcObject>();
  dc->bitmap_handle = win32::gdi::DefaultBitmap();
  dc->bitmap = win32::LookupHandleOf<BitmapObject>(dc->bitmap_handle);
  return reinterpret_cast<HDC>(win32::InsertHandle(std::move(dc)));
}

BOOL WINAPI DeleteDC(HDC hdc) {
  auto dc = LookupDc(hdc);
  if (!dc) {
    return FALSE;
  }
  if (dc->bitmap && dc->bitmap->selected_in == hdc) {
    dc->bitmap->selected_in = nullptr;
  }
  win32::RemoveHandle(hdc);
  return TRUE;
}

HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h) {
  auto dc = LookupDc(hdc);
  if (!dc) {
    return nullptr;
  }
  if (auto bitmap = win32::LookupHandleOf<BitmapObject>(h)) {
    // A bitmap lives in one device context at a time; the stock one in any.
    if (h != win32::gdi::DefaultBitmap() && bitmap->selected_in != nullptr &&
        bitmap->selected_in != hdc) {
      return win32::Fail(ERROR_INVALID_PARAMETER, nullptr);
    }
    HGDIOBJ previous = dc->bitmap_handle;
    if (dc->bitmap && dc->bitmap->selected_in == hdc) {
      dc->bitmap->selected_in = nullptr;
    }
    dc->bitmap = bitmap;
    dc->bitmap_handle = reinterpret_cast<HBITMAP>(h);
    if (h != win32::gdi::DefaultBitmap()) {
      bitmap->selected_in = hdc;
    }
    return previous;
  }
  if (win32::LookupHandleOf<BrushObject>(h)) {
    HGDIOBJ previous = dc->brush_handle;
    dc->brush_handle = reinterpret_cast<HBRUSH>(h);
    return previous;
  }
  return win32::Fail(ERROR_INVALID_HANDLE, nullptr);
}

BOOL WINAPI DeleteObject(HGDIOBJ ho) {
  auto object = win32::LookupHandleOf<win32::gdi::GdiObjectBase>(ho);
  if (!object || win32::LookupHandleOf<DcObject>(ho) || ho == win32::gdi::DefaultBitmap()) {
    return win32::Fail(ERROR_INVALID_HANDLE);
  }
  if (auto bitmap = win32::LookupHandleOf<BitmapObject>(ho); bitmap && bitmap->selected_in) {
    return FALSE;  // still selected: Windows refuses too
  }
  win32::RemoveHandle(ho);
  return TRUE;
}

int WINAPI SetStretchBltMode(HDC hdc, int mode) {
  auto dc = LookupDc(hdc);
  if (!dc || mode < BLACKONWHITE || mode > HALFTONE) {
    return 0;
  }
  const int previous = dc->stretch_mode;
  dc->stretch_mode = mode;
  return previous;
}

HBRUSH WINAPI CreateSolidBrush(COLORREF color) {
  auto brush = std::make_shared<BrushObject>();
  brush->color = color & 0xFFFFFF;
  return reinterpret_cast<HBRUSH>(win32::InsertHandle(std::move(brush)));
}

int WINAPI FillRect(HDC hDC, const RECT* lprc, HBRUSH hbr) {
  auto dc = LookupDc(hDC);
  auto brush = win32::LookupHandleOf<BrushObject>(hbr);
  if (!dc || !brush || lprc == nullptr || !dc->bitmap) {
    return 0;
  }
  BitmapObject& bitmap = *dc->bitmap;
  const int left = std::clamp<int>(lprc->left, 0, bitmap.width);
  const int right = std::clamp<int>(lprc->right, 0, bitmap.width);
  const int top = std::clamp<int>(lprc->top, 0, bitmap.height);
  const int bottom = std::clamp<int>(lprc->bottom, 0, bitmap.height);
  const uint32_t rgb = ToRgb(brush->color);
  const bool indexed = bitmap.bits_per_pixel <= 8;
  const uint8_t index = indexed ? bitmap.NearestIndex(rgb) : 0;
  // The first row is filled pixel by pixel; the others, when the fill spans whole rows (a
  // page being whitened), are copies of it.
  const std::vector<uint32_t> filled(indexed ? 0 : static_cast<size_t>(std::max(0, right - left)),
                                     rgb);
  const bool wholeRows = left == 0 && right == bitmap.width;
  for (int y = top; y < bottom; ++y) {
    if (wholeRows && y > top) {
      std::memcpy(bitmap.Row(y), bitmap.Row(top), bitmap.stride);
    } else if (!indexed) {
      bitmap.WriteRgbRow(y, left, right, filled.data());
    } else {
      for (int x = left; x < right; ++x) {
        bitmap.SetIndex(x, y, index);
      }
    }
  }
  return 1;
}

COLORREF WINAPI GetPixel(HDC hdc, int x, int y) {
  auto dc = LookupDc(hdc);
  if (!dc || !dc->bitmap || x < 0 || y < 0 || x >= dc->bitmap->width || y >= dc->bitmap->height) {
    return CLR_INVALID;
  }
  const uint32_t rgb = dc->bitmap->GetRgb(x, y);
  return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

COLORREF WINAPI SetPixel(HDC hdc, int x, int y, COLORREF color) {
  auto dc = LookupDc(hdc);
  if (!dc || !dc->bitmap || x < 0 || y < 0 || x >= dc->bitmap->width || y >= dc->bitmap->height) {
    return CLR_INVALID;
  }
  dc->bitmap->SetRgb(x, y, ToRgb(color));
  const uint32_t rgb = dc->bitmap->GetRgb(x, y);  // the colour actually set
  return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}
