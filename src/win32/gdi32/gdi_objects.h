// The stand-in's GDI objects, kept in the kernel handle table (but not closable with
// CloseHandle): bitmaps, brushes, memory device contexts and enhanced metafiles.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "emf/records/metafile.h"
#include "win32/gdi32/gdi32.h"
#include "win32/kernel32/handles.h"

namespace win32::gdi {

class GdiObjectBase : public KernelObject {
 public:
  bool ClosableByCloseHandle() const override { return false; }
};

class BitmapObject : public GdiObjectBase {
 public:
  ~BitmapObject() override;
  int width = 0;
  int height = 0;  // rows
  int bits_per_pixel = 1;
  bool bottom_up = false;  // DIBs with a positive height keep their last row first
  size_t stride = 0;
  std::vector<RGBQUAD> palette;  // depths 1 to 8
  uint8_t* bits = nullptr;
  std::vector<uint8_t> owned_bits;  // when not in a file mapping
  void* view = nullptr;             // the mapped view the bits live in, if any
  HDC selected_in = nullptr;

  uint8_t* Row(int y) const {
    return bits + static_cast<size_t>(bottom_up ? height - 1 - y : y) * stride;
  }
  uint32_t GetRgb(int x, int y) const;  // 0x00RRGGBB
  void SetRgb(int x, int y, uint32_t rgb);
  // Pixels [left, right) of row y as 0x00RRGGBB, and back: a row at a time, with the depth
  // decided once, for playing whole pages. Writing back takes depths above 8 bits only.
  void ReadRgbRow(int y, int left, int right, uint32_t* out) const;
  void WriteRgbRow(int y, int left, int right, const uint32_t* in);
  uint8_t NearestIndex(uint32_t rgb) const;
  // Depths of 8 bits and less: a palette index straight in.
  void SetIndex(int x, int y, uint8_t index);
};

class BrushObject : public GdiObjectBase {
 public:
  COLORREF color = 0;
};

class DcObject : public GdiObjectBase {
 public:
  std::shared_ptr<BitmapObject> bitmap;
  HBITMAP bitmap_handle = nullptr;
  HBRUSH brush_handle = nullptr;
  int stretch_mode = BLACKONWHITE;
};

class EnhMetafileObject : public GdiObjectBase {
 public:
  std::vector<uint8_t> bytes;
  std::optional<emf::Metafile> metafile;
  std::vector<uint8_t> wmf;  // the Windows metafile made from it, once asked for
  std::string source;        // the file it was read from, named in font notices
};

// The 1 x 1 monochrome bitmap that every new memory device context holds.
HBITMAP DefaultBitmap();
// Bitmaps beyond this many pixels are refused.
inline constexpr uint64_t kMaxBitmapPixels = uint64_t{1} << 28;
// A section over a file mapping lives in the file, not in memory, and pages are drawn into
// it band by band: only the 32-bit sizes of its file limit it.
inline constexpr uint64_t kMaxSectionPixels = uint64_t{1} << 32;

}  // namespace win32::gdi
