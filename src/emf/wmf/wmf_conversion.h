// The conversion of a Windows metafile into an EMF page, shared by the files that hold its
// record handlers; wmf_reader.h is the reader's face to the rest of the engine.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <queue>
#include <span>
#include <string>
#include <vector>

#include "emf/player/mapping.h"
#include "emf/player/player.h"
#include "emf/records/byte_reader.h"
#include "emf/records/gdi_constants.h"
#include "emf/records/geometry.h"
#include "emf/records/records.h"
#include "emf/text/font.h"
#include "emf/wmf/wmf_reader.h"

namespace emf::wmf_reading {

// The reference display of Windows' conversion of a plain file, as the reference renderer's
// GDI reports it: 1024 x 768 pixels, 271 x 203 millimetres.
inline constexpr int kDisplayWidth = 1024, kDisplayHeight = 768;
inline constexpr int kDisplayWidthMm = 271, kDisplayHeightMm = 203;

// The device a file is drawn for: pixels and millimetres. A placeable file is drawn straight
// onto the page, so its device is the page's pixels (5 x dpi pixels in 127 mm: exactly dpi
// to the inch), and GDI's pixel rules (a box's far edges left out) fall on page pixels.
struct Device {
  int32_t width = 0, height = 0, width_mm = 0, height_mm = 0;

  DeviceSize Size() const {
    return {static_cast<double>(width), static_cast<double>(height), static_cast<double>(width_mm),
            static_cast<double>(height_mm)};
  }
};

enum WmfFunction : uint16_t {
  kMetaEof = 0x0000,
  kMetaRealizePalette = 0x0035,
  kMetaSetPalEntries = 0x0037,
  kMetaSetBkMode = 0x0102,
  kMetaSetMapMode = 0x0103,
  kMetaSetRop2 = 0x0104,
  kMetaSetRelAbs = 0x0105,
  kMetaSetPolyFillMode = 0x0106,
  kMetaSetStretchBltMode = 0x0107,
  kMetaSetTextCharExtra = 0x0108,
  kMetaRestoreDc = 0x0127,
  kMetaResizePalette = 0x0139,
  kMetaDibCreatePatternBrush = 0x0142,
  kMetaSetLayout = 0x0149,
  kMetaSetBkColor = 0x0201,
  kMetaSetTextColor = 0x0209,
  kMetaOffsetViewportOrg = 0x0211,
  kMetaLineTo = 0x0213,
  kMetaMoveTo = 0x0214,
  kMetaOffsetClipRgn = 0x0220,
  kMetaFillRegion = 0x0228,
  kMetaSetMapperFlags = 0x0231,
  kMetaSelectPalette = 0x0234,
  kMetaPolygon = 0x0324,
  kMetaPolyline = 0x0325,
  kMetaSetTextJustification = 0x020A,
  kMetaSetWindowOrg = 0x020B,
  kMetaSetWindowExt = 0x020C,
  kMetaSetViewportOrg = 0x020D,
  kMetaSetViewportExt = 0x020E,
  kMetaOffsetWindowOrg = 0x020F,
  kMetaScaleWindowExt = 0x0410,
  kMetaScaleViewportExt = 0x0412,
  kMetaExcludeClipRect = 0x0415,
  kMetaIntersectClipRect = 0x0416,
  kMetaEllipse = 0x0418,
  kMetaFloodFill = 0x0419,
  kMetaFrameRegion = 0x0429,
  kMetaAnimatePalette = 0x0436,
  kMetaTextOut = 0x0521,
  kMetaPolyPolygon = 0x0538,
  kMetaExtFloodFill = 0x0548,
  kMetaRectangle = 0x041B,
  kMetaSetPixel = 0x041F,
  kMetaRoundRect = 0x061C,
  kMetaPatBlt = 0x061D,
  kMetaSaveDc = 0x001E,
  kMetaPie = 0x081A,
  kMetaStretchBlt = 0x0B23,
  kMetaEscape = 0x0626,
  kMetaInvertRegion = 0x012A,
  kMetaPaintRegion = 0x012B,
  kMetaSelectClipRegion = 0x012C,
  kMetaSelectObject = 0x012D,
  kMetaSetTextAlign = 0x012E,
  kMetaArc = 0x0817,
  kMetaChord = 0x0830,
  kMetaBitBlt = 0x0922,
  kMetaExtTextOut = 0x0A32,
  kMetaSetDibToDev = 0x0D33,
  kMetaDibBitBlt = 0x0940,
  kMetaDibStretchBlt = 0x0B41,
  kMetaStretchDib = 0x0F43,
  kMetaDeleteObject = 0x01F0,
  kMetaCreatePalette = 0x00F7,
  kMetaCreatePatternBrush = 0x01F9,
  kMetaCreatePenIndirect = 0x02FA,
  kMetaCreateFontIndirect = 0x02FB,
  kMetaCreateBrushIndirect = 0x02FC,
  kMetaCreateRegion = 0x06FF,
};

// ---------------------------------------------------------------------------------------
// The EMF being written.

class EmfOut {
 public:
  // Starts a record; its size is set by End.
  void Begin(uint32_t type) {
    start_ = bytes_.size();
    U32(type);
    U32(0);
  }
  void U32(uint32_t v) { Put(&v, 4); }
  void I32(int32_t v) { Put(&v, 4); }
  void U16(uint16_t v) { Put(&v, 2); }
  void F32(float v) { Put(&v, 4); }
  void Bytes(std::span<const uint8_t> b) {
    if (Room(b.size())) {
      bytes_.insert(bytes_.end(), b.begin(), b.end());
    }
  }
  void Zeros(size_t n) {
    if (Room(n)) {
      bytes_.insert(bytes_.end(), n, 0);
    }
  }
  void Rect(const RectL& r) {
    I32(r.left);
    I32(r.top);
    I32(r.right);
    I32(r.bottom);
  }
  // The offset from the current record's start of what is put next.
  uint32_t Offset() const { return static_cast<uint32_t>(bytes_.size() - start_); }
  void End() {
    if (full_) {
      return;
    }
    while (bytes_.size() % 4 != 0) {
      bytes_.push_back(0);
    }
    const uint32_t size = static_cast<uint32_t>(bytes_.size() - start_);
    std::memcpy(bytes_.data() + start_ + 4, &size, 4);
    ++records_;
  }
  // A record of 32-bit fields only.
  void Simple(uint32_t type, std::initializer_list<int32_t> fields) {
    Begin(type);
    for (int32_t f : fields) {
      I32(f);
    }
    End();
  }
  std::vector<uint8_t>& bytes() { return bytes_; }
  uint32_t records() const { return records_; }
  struct Mark {
    size_t size;
    uint32_t records;
  };
  Mark Here() const { return {bytes_.size(), records_}; }
  void Rewind(Mark mark) {
    bytes_.resize(mark.size);
    records_ = mark.records;
  }
  // The page would have passed kMaxConvertedPageBytes: what came after was not written.
  bool full() const { return full_; }

 private:
  void Put(const void* p, size_t n) {
    if (Room(n)) {
      const auto* b = static_cast<const uint8_t*>(p);
      bytes_.insert(bytes_.end(), b, b + n);
    }
  }
  // Whether n bytes more stay within the bound; the buffer grows by doubling but never past
  // it, so the page and its copy while it grows stay within one and a half bounds.
  bool Room(size_t n) {
    if (full_ || n > kMaxConvertedPageBytes - bytes_.size()) {
      full_ = true;
      return false;
    }
    if (bytes_.size() + n > bytes_.capacity()) {
      bytes_.reserve(
          std::min(kMaxConvertedPageBytes, std::max(bytes_.size() + n, 2 * bytes_.capacity())));
    }
    return true;
  }
  std::vector<uint8_t> bytes_;
  size_t start_ = 0;
  uint32_t records_ = 0;
  bool full_ = false;
};

// The size of a DIB's BITMAPINFO (header, masks, colour table), checked against the bytes
// there are; 0 when the header is not one a bitmap can have.
size_t DibInfoSize(std::span<const uint8_t> dib, bool palette_indices);

struct PaletteEntry {
  uint8_t r = 0, g = 0, b = 0;
};
using Palette = std::vector<PaletteEntry>;
// A palette object: what selects it shares it, and SetPalEntries changes it where it is, as a
// palette handle is changed for every DC state that holds it.
using SharedPalette = std::shared_ptr<Palette>;

// The default palette of a device context: the twenty static colours.
const Palette& DefaultPalette();

// ---------------------------------------------------------------------------------------
// The conversion.

struct Slot {
  enum Kind { kFree, kPen, kBrush, kFont, kPalette, kRegion, kOther } kind = kFree;
  std::shared_ptr<const Font> font;  // kFont
  SharedPalette palette;             // kPalette
  std::vector<RectL> region;         // kRegion: rectangles, as the record gives them
  RectL region_box;                  // kRegion
  uint64_t region_id = 0;            // kRegion: which region, so a select of it again is known
};

struct State {
  Mapping map;
  double x = 0, y = 0;  // current position, logical
  uint32_t text_align = 0;
  uint32_t text_color = 0, bk_color = 0xFFFFFF;  // what a monochrome bitmap's bits become
  // What the DC holds stays even when its slot is freed and taken again.
  std::shared_ptr<const Font> font;  // null: the default font
  SharedPalette palette;             // null: the default palette
  // The region the clip was last set to by selecting it, while nothing else changed the clip
  // (0: none): selecting it again changes nothing, and is not written again.
  uint64_t clip_region = 0;
};

inline constexpr size_t kMaxSlots = 65534;  // EMF handle 0 is the metafile's own

class Converter;
struct WmfEntry {
  uint16_t function;
  const char* name;
  uint32_t minimum_size;                   // bytes of the whole record, size and function included
  void (Converter::*handle)(ByteReader&);  // null: known, not drawn
};

// One file's conversion: each record's handler writes its EMF records and keeps what the
// conversion needs of the device context. The handlers live by concern: wmf_objects.cpp,
// wmf_state.cpp, wmf_shapes.cpp, wmf_text.cpp, wmf_bitmaps.cpp.
class Converter {
 public:
  Converter(const WmfFile& file, double dpi) : file_(file), dpi_(dpi) {}
  std::optional<WmfConversion> Run(std::string* error);

  // Handlers.
  void Ignore(ByteReader&) {}
  void SetBkMode(ByteReader& r) { Out16(kEmrSetBkMode, r); }
  void SetRop2(ByteReader& r) { Out16(kEmrSetRop2, r); }
  void SetPolyFillMode(ByteReader& r) { Out16(kEmrSetPolyFillMode, r); }
  void SetStretchBltMode(ByteReader& r) { Out16(kEmrSetStretchBltMode, r); }
  void SetTextAlign(ByteReader& r);
  void SetMapMode(ByteReader& r);
  void SetLayout(ByteReader& r) { Out16(kEmrSetLayout, r); }
  void SetBkColor(ByteReader& r) {
    s_.bk_color = Resolve(r.U32());
    out_.Simple(kEmrSetBkColor, {static_cast<int32_t>(s_.bk_color)});
  }
  void SetTextColor(ByteReader& r) {
    s_.text_color = Resolve(r.U32());
    out_.Simple(kEmrSetTextColor, {static_cast<int32_t>(s_.text_color)});
  }
  void SetWindowOrg(ByteReader& r);
  void SetWindowExt(ByteReader& r);
  void SetViewportOrg(ByteReader& r);
  void SetViewportExt(ByteReader& r);
  void OffsetWindowOrg(ByteReader& r);
  void OffsetViewportOrg(ByteReader& r);
  void ScaleWindowExt(ByteReader& r);
  void ScaleViewportExt(ByteReader& r);
  void SaveDc(ByteReader& r);
  void RestoreDc(ByteReader& r);
  void MoveTo(ByteReader& r);
  void LineTo(ByteReader& r);
  void Polygon(ByteReader& r) { Poly(r, kEmrPolygon16); }
  void Polyline(ByteReader& r) { Poly(r, kEmrPolyline16); }
  void PolyPolygon(ByteReader& r);
  void Rectangle(ByteReader& r) { Box(r, kEmrRectangle); }
  void Ellipse(ByteReader& r) { Box(r, kEmrEllipse); }
  void RoundRect(ByteReader& r);
  void Arc(ByteReader& r) { ArcLike(r, kEmrArc); }
  void Chord(ByteReader& r) { ArcLike(r, kEmrChord); }
  void Pie(ByteReader& r) { ArcLike(r, kEmrPie); }
  void SetPixel(ByteReader& r);
  void ExcludeClipRect(ByteReader& r) { ClipRect(r, kEmrExcludeClipRect); }
  void IntersectClipRect(ByteReader& r) { ClipRect(r, kEmrIntersectClipRect); }
  void OffsetClipRgn(ByteReader& r);
  void CreatePenIndirect(ByteReader& r);
  void CreateBrushIndirect(ByteReader& r);
  void CreateFontIndirect(ByteReader& r);
  void CreatePalette(ByteReader& r);
  void CreateRegion(ByteReader& r);
  void CreatePatternBrush(ByteReader& r);
  void DibCreatePatternBrush(ByteReader& r);
  void SelectObject(ByteReader& r);
  void DeleteObject(ByteReader& r);
  void SelectPalette(ByteReader& r);
  void RealizePalette(ByteReader&) { out_.Simple(kEmrRealizePalette, {}); }
  void SetPalEntries(ByteReader& r);
  void SelectClipRegion(ByteReader& r);
  void FillRegion(ByteReader& r) { RegionRecord(r, kEmrFillRgn); }
  void FrameRegion(ByteReader& r) { RegionRecord(r, kEmrFrameRgn); }
  void PaintRegion(ByteReader& r) { RegionRecord(r, kEmrPaintRgn); }
  void InvertRegion(ByteReader& r) { RegionRecord(r, kEmrInvertRgn); }
  void TextOut(ByteReader& r);
  void ExtTextOut(ByteReader& r);
  void PatBlt(ByteReader& r);
  void DibBitBlt(ByteReader& r);
  void DibStretchBlt(ByteReader& r);
  void StretchDib(ByteReader& r);
  void SetDibToDev(ByteReader& r);
  void BitBlt(ByteReader& r);
  void StretchBlt(ByteReader& r);

 private:
  void Out16(uint32_t type, ByteReader& r) { out_.Simple(type, {r.U16()}); }
  void Poly(ByteReader& r, uint32_t type);
  void Box(ByteReader& r, uint32_t type);
  void ArcLike(ByteReader& r, uint32_t type);
  void ClipRect(ByteReader& r, uint32_t type);
  void RegionRecord(ByteReader& r, uint32_t type);
  void WriteRegion(const std::vector<RectL>& rects, const RectL& box);
  void ClipToRegion(const Slot& region);
  void Text(double x, double y, uint32_t options, const RectL* rect,
            std::span<const uint8_t> string, ByteReader* dx);
  // Writes a bitmap record for a DIB; false (and the record skipped) when it is unusable.
  bool DibTransfer(int32_t dx, int32_t dy, int32_t dw, int32_t dh, int32_t sx, int32_t sy,
                   int32_t sw, int32_t sh, uint32_t rop, uint32_t usage,
                   std::span<const uint8_t> dib);
  void NoSourceBlt(int32_t dx, int32_t dy, int32_t dw, int32_t dh, uint32_t rop);
  std::optional<std::vector<uint8_t>> ResolvedDib(std::span<const uint8_t> dib, uint32_t usage);
  // monochrome_colours: a monochrome bitmap's 0 and 1 take the text and background colours,
  // as a transfer onto a colour device does; else black and white.
  std::optional<std::vector<uint8_t>> DibFromBitmap16(ByteReader& r, bool monochrome_colours,
                                                      bool* monochrome);

  // Objects.
  int NewSlot(Slot::Kind kind);
  Slot* SlotAt(uint32_t index);
  const Palette& CurrentPalette() const;
  int32_t ColorArg(uint32_t color) const { return static_cast<int32_t>(Resolve(color)); }
  uint32_t Resolve(uint32_t color) const;

  // The bounds of what is drawn, from logical units.
  void AddBounds(double left, double top, double right, double bottom);
  // Device pixels, whole and in any order.
  void AddDeviceBounds(double x0, double y0, double x1, double y1);
  void AddTextBounds(double x, double y, uint32_t count, double width, const TextMeasure& measure);
  void AddPointBounds(double x, double y) { AddBounds(x, y, x, y); }

  void Skip(const char* name, const char* why);

  const WmfFile& file_;
  EmfOut out_;
  State s_;
  std::vector<State> saved_;
  std::vector<Slot> slots_;
  // The slots freed, lowest first: a new object takes the lowest free slot.
  std::priority_queue<size_t, std::vector<size_t>, std::greater<>> free_slots_;
  uint64_t regions_made_ = 0;
  size_t handles_ = 1;
  bool placeable_ = false;
  double dpi_ = 96;
  Device device_{kDisplayWidth, kDisplayHeight, kDisplayWidthMm, kDisplayHeightMm};
  int32_t page_width_ = 0, page_height_ = 0;  // a placeable file's page, pixels
  bool have_bounds_ = false;
  double bl_ = 0, bt_ = 0, br_ = 0, bb_ = 0;  // device bounds, inclusive
  WmfConversion result_;
  const char* current_ = "";
};

// The EMF a plain file carries of itself in its comments, whole and with the file's checksum
// holding; none otherwise.
std::optional<std::vector<uint8_t>> EmbeddedEmf(const WmfFile& file, std::span<const uint8_t> wmf);

}  // namespace emf::wmf_reading
