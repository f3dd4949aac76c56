// Enhanced metafiles: opening, the header, and playing a page into a memory device context.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <unordered_map>

#include "emf/canvas/canvas.h"
#include "emf/player/band_player.h"
#include "emf/player/player.h"
#include "emf/text/font.h"
#include "win32/gdi32/font_notices.h"
#include "win32/gdi32/gdi_objects.h"
#include "win32/kernel32/errors.h"
#include "win32/kernel32/kernel32.h"
#include "win32/kernel32/native_path.h"

using win32::gdi::BitmapObject;

namespace {

// Plays the page into the kept part of the bitmap: the band with its margin read from the
// bitmap in 32-bit RGB, drawn, and the kept part written back in the bitmap's own format
// (palette matching is slow: each colour is matched once). The canvas's failure, if any.
std::string PlayBand(BitmapObject& bitmap, const emf::Metafile& metafile, const emf::RectL& bounds,
                     const emf::Canvas::Band& kept, int margin) {
  const emf::Canvas::Band band = emf::WithMargin(kept, margin, bitmap.width, bitmap.height);
  const int width = band.right - band.left;
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * (band.bottom - band.top));
  for (int y = band.top; y < band.bottom; ++y) {
    bitmap.ReadRgbRow(y, band.left, band.right,
                      pixels.data() + static_cast<size_t>(y - band.top) * width);
  }
  emf::PlayStats played;
  {
    emf::Canvas canvas(pixels.data(), width * 4, bitmap.width, bitmap.height, band);
    canvas.set_smooth_text(bitmap.bits_per_pixel >= 16);
    played = emf::PlayMetafile(metafile, canvas, bounds);
  }
  std::unordered_map<uint32_t, uint8_t> indices;
  uint32_t last_rgb = 0xFFFFFFFF;
  uint8_t last_index = 0;
  const bool indexed = bitmap.bits_per_pixel <= 8;
  for (int y = kept.top; y < kept.bottom; ++y) {
    const uint32_t* row =
        pixels.data() + static_cast<size_t>(y - band.top) * width + (kept.left - band.left);
    if (!indexed) {
      bitmap.WriteRgbRow(y, kept.left, kept.right, row);
      continue;
    }
    for (int x = kept.left; x < kept.right; ++x) {
      const uint32_t rgb = row[x - kept.left] & 0xFFFFFF;
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
  return played.failure;
}

}  // namespace

std::vector<std::string> win32::gdi::TakeFontNotices() {
  return emf::TakeFontNotices();
}

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
  object->source = lpName;
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
  const emf::RectL bounds{lprect->left, lprect->top, lprect->right, lprect->bottom};
  // A page larger than one band is drawn band by band, so that memory follows the band, not
  // the page. A page that fits one band is drawn whole, as it always was.
  const emf::BandPlan plan = emf::PlanBands(bitmap.width, bitmap.height);
  const emf::FontNoticeSource source(object->source);
  std::string failure;
  for (int top = 0; top < bitmap.height && failure.empty(); top += plan.rows) {
    for (int left = 0; left < bitmap.width && failure.empty(); left += plan.columns) {
      const emf::Canvas::Band kept{left, top, std::min(bitmap.width, left + plan.columns),
                                   std::min(bitmap.height, top + plan.rows)};
      failure = PlayBand(bitmap, *object->metafile, bounds, kept, plan.margin);
    }
  }
  // A page with parts missing is no page: the caller counts it as failed.
  return failure.empty() ? TRUE : win32::Fail(ERROR_NOT_ENOUGH_MEMORY);
}
