// Enhanced metafiles: opening, the header, and playing a page into a memory device context.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <unordered_map>

#include "emf/canvas.h"
#include "emf/font.h"
#include "emf/player.h"
#include "win32/gdi32/gdi_objects.h"
#include "win32/kernel32/errors.h"
#include "win32/kernel32/kernel32.h"
#include "win32/kernel32/native_path.h"

using win32::gdi::BitmapObject;

namespace {
constexpr int kMaxCanvasSide = 32767;
}  // namespace
using win32::gdi::DcObject;
using win32::gdi::EnhMetafileObject;

HENHMETAFILE WINAPI GetEnhMetaFileA(LPCSTR lpName) {
  const auto native = lpName ? win32::ToNativePath(lpName) : std::nullopt;
  if (!native) {
    return win32::Fail(ERROR_FILE_NOT_FOUND, nullptr);
  }
  std::ifstream in(*native, std::ios::binary);
  if (!in) {
    return win32::Fail(ERROR_FILE_NOT_FOUND, nullptr);
  }
  auto object = std::make_shared<EnhMetafileObject>();
  object->bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  object->metafile = emf::Metafile::Parse(object->bytes, nullptr);
  if (!object->metafile) {
    return win32::Fail(ERROR_INVALID_DATA, nullptr);
  }
  return reinterpret_cast<HENHMETAFILE>(win32::InsertHandle(std::move(object)));
}

UINT WINAPI GetEnhMetaFileHeader(HENHMETAFILE hemf, UINT nSize, LPENHMETAHEADER lpEnhMetaHeader) {
  auto object = win32::LookupHandleOf<EnhMetafileObject>(hemf);
  if (!object) {
    return win32::Fail(ERROR_INVALID_HANDLE, 0);
  }
  const auto header = object->metafile->records().front().bytes;
  if (lpEnhMetaHeader == nullptr) {
    return static_cast<UINT>(header.size());
  }
  const size_t count = std::min<size_t>(nSize, header.size());
  std::memset(lpEnhMetaHeader, 0, std::min<size_t>(nSize, sizeof(ENHMETAHEADER)));
  std::memcpy(lpEnhMetaHeader, header.data(), count);
  return static_cast<UINT>(count);
}

BOOL WINAPI DeleteEnhMetaFile(HENHMETAFILE hmf) {
  return win32::CloseHandleOf<EnhMetafileObject>(hmf);
}

BOOL WINAPI PlayEnhMetaFile(HDC hdc, HENHMETAFILE hmf, const RECT* lprect) {
  auto dc = win32::LookupHandleOf<DcObject>(hdc);
  auto object = win32::LookupHandleOf<EnhMetafileObject>(hmf);
  if (!dc || !object || lprect == nullptr || !dc->bitmap) {
    return win32::Fail(ERROR_INVALID_HANDLE);
  }
  BitmapObject& bitmap = *dc->bitmap;
  // The engine draws 32-bit RGB; the bitmap's own format is read before and written after.
  const int width = bitmap.width;
  const int height = bitmap.height;
  // The engine's canvas is a cairo image surface, which holds at most 32767 pixels a side: a
  // larger bitmap is not drawn, and the call says so rather than leave it blank.
  if (width > kMaxCanvasSide || height > kMaxCanvasSide) {
    return win32::Fail(ERROR_NOT_ENOUGH_MEMORY);
  }
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      pixels[static_cast<size_t>(y) * width + x] = bitmap.GetRgb(x, y);
    }
  }
  emf::PlayStats played;
  {
    emf::Canvas canvas(pixels.data(), width, height, width * 4);
    canvas.set_smooth_text(bitmap.bits_per_pixel >= 16);
    played =
        emf::PlayMetafile(*object->metafile, canvas,
                          emf::RectL{lprect->left, lprect->top, lprect->right, lprect->bottom});
  }
  // A page with parts missing is no page: the caller counts it as failed.
  const bool whole = played.failure.empty();
  // A missing font never passes silently: said once, where the user looks.
  for (const std::string& notice : emf::TakeFontNotices()) {
    std::fprintf(stderr, "quadrine: %s\n", notice.c_str());
  }
  // Palette matching is slow: each colour is matched once.
  std::unordered_map<uint32_t, uint8_t> indices;
  uint32_t last_rgb = 0xFFFFFFFF;
  uint8_t last_index = 0;
  const bool indexed = bitmap.bits_per_pixel <= 8;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint32_t rgb = pixels[static_cast<size_t>(y) * width + x] & 0xFFFFFF;
      if (!indexed) {
        bitmap.SetRgb(x, y, rgb);
        continue;
      }
      if (rgb != last_rgb) {
        auto [it, inserted] = indices.try_emplace(rgb, 0);
        if (inserted) {
          it->second = bitmap.NearestIndex(rgb);
        }
        last_rgb = rgb;
        last_index = it->second;
      }
      bitmap.SetIndex(x, y, last_index);
    }
  }
  return whole ? TRUE : win32::Fail(ERROR_NOT_ENOUGH_MEMORY);
}
