// Windows metafiles in. The file is cut into records (WmfFile), then each record is turned
// into the EMF records of the same GDI call by its handler in one table. The handlers keep
// what the conversion needs of the device context: the object slots (WMF gives each new
// object the lowest free slot), the mapping (to measure what a plain file draws, as Windows'
// conversion does), the selected font and palette.
#include "emf/wmf_reader.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "base/checked.h"
#include "emf/byte_reader.h"
#include "emf/font.h"
#include "emf/gdi_constants.h"
#include "emf/metafile.h"
#include "emf/player.h"
#include "emf/records.h"

namespace emf {
namespace {

bool Fail(std::string* error, const char* reason) {
  if (error != nullptr) {
    *error = reason;
  }
  return false;
}

// The reference display of Windows' conversion of a plain file, as the reference renderer's
// GDI reports it: 1024 x 768 pixels, 271 x 203 millimetres.
constexpr int kDisplayWidth = 1024, kDisplayHeight = 768;
constexpr int kDisplayWidthMm = 271, kDisplayHeightMm = 203;

// The device a file is drawn for: pixels and millimetres. A placeable file is drawn straight
// onto the page, so its device is the page's pixels (5 x dpi pixels in 127 mm: exactly dpi
// to the inch), and GDI's pixel rules (a box's far edges left out) fall on page pixels.
struct Device {
  int32_t width = 0, height = 0, width_mm = 0, height_mm = 0;
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
  void Bytes(std::span<const uint8_t> b) { bytes_.insert(bytes_.end(), b.begin(), b.end()); }
  void Zeros(size_t n) { bytes_.insert(bytes_.end(), n, 0); }
  void Rect(const RectL& r) {
    I32(r.left);
    I32(r.top);
    I32(r.right);
    I32(r.bottom);
  }
  // The offset from the current record's start of what is put next.
  uint32_t Offset() const { return static_cast<uint32_t>(bytes_.size() - start_); }
  void End() {
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

 private:
  void Put(const void* p, size_t n) {
    const auto* b = static_cast<const uint8_t*>(p);
    bytes_.insert(bytes_.end(), b, b + n);
  }
  std::vector<uint8_t> bytes_;
  size_t start_ = 0;
  uint32_t records_ = 0;
};

// ---------------------------------------------------------------------------------------
// Bitmaps as the records carry them.

// The size of a DIB's BITMAPINFO (header, masks, colour table), checked against the bytes
// there are; 0 when the header is not one a bitmap can have.
size_t DibInfoSize(std::span<const uint8_t> dib, bool palette_indices) {
  ByteReader r(dib);
  const uint32_t header_size = r.U32();
  if (!r.Ok() || header_size < 12 || header_size > dib.size()) {
    return 0;
  }
  uint16_t bit_count = 0;
  uint32_t compression = 0, used = 0;
  if (header_size == 12) {
    r.Seek(10);
    bit_count = r.U16();
  } else if (header_size >= 40) {
    r.Seek(14);
    bit_count = r.U16();
    compression = r.U32();
    r.Seek(32);
    used = r.U32();
  } else {
    return 0;
  }
  uint64_t colours = used;
  if (bit_count <= 8 && bit_count > 0) {
    const uint64_t full = uint64_t{1} << bit_count;
    colours = used != 0 && used < full ? used : full;
  }
  const uint64_t entry = palette_indices ? 2 : (header_size == 12 ? 3 : 4);
  const uint64_t masks = header_size == 40 && compression == 3 ? 12 : 0;
  const uint64_t size = header_size + masks + colours * entry;
  if (!r.Ok() || colours > dib.size() || size > dib.size()) {
    return 0;
  }
  return static_cast<size_t>(size);
}

struct PaletteEntry {
  uint8_t r = 0, g = 0, b = 0;
};
using Palette = std::vector<PaletteEntry>;
using SharedPalette = std::shared_ptr<const Palette>;

// The default palette of a device context: the twenty static colours.
const Palette& DefaultPalette() {
  static const Palette palette = {
      {0, 0, 0},       {128, 0, 0},     {0, 128, 0},     {128, 128, 0},   {0, 0, 128},
      {128, 0, 128},   {0, 128, 128},   {192, 192, 192}, {192, 220, 192}, {166, 202, 240},
      {255, 251, 240}, {160, 160, 164}, {128, 128, 128}, {255, 0, 0},     {0, 255, 0},
      {255, 255, 0},   {0, 0, 255},     {255, 0, 255},   {0, 255, 255},   {255, 255, 255},
  };
  return palette;
}

// ---------------------------------------------------------------------------------------
// The conversion.

struct Mapping {
  int mode = kMmText;
  double wox = 0, woy = 0, wex = 1, wey = 1;
  double vox = 0, voy = 0, vex = 1, vey = 1;
};

struct Slot {
  enum Kind { kFree, kPen, kBrush, kFont, kPalette, kRegion, kOther } kind = kFree;
  std::shared_ptr<const Font> font;  // kFont
  SharedPalette palette;             // kPalette
  std::vector<RectL> region;         // kRegion: rectangles, as the record gives them
  RectL region_box;                  // kRegion
};

struct State {
  Mapping map;
  double x = 0, y = 0;  // current position, logical
  uint32_t text_align = 0;
  uint32_t text_color = 0, bk_color = 0xFFFFFF;  // what a monochrome bitmap's bits become
  // What the DC holds stays even when its slot is freed and taken again.
  std::shared_ptr<const Font> font;  // null: the default font
  SharedPalette palette;             // null: the default palette
};

constexpr size_t kMaxSlots = 65534;  // EMF handle 0 is the metafile's own

class Converter;
struct WmfEntry {
  uint16_t function;
  const char* name;
  uint32_t minimum_size;                   // bytes of the whole record, size and function included
  void (Converter::*handle)(ByteReader&);  // null: known, not drawn
};

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

  // Mapping: logical -> device, and the bounds of what is drawn.
  void FixIsotropic();
  void SetFixedMode(int mode);
  double DeviceX(double x) const { return (x - s_.map.wox) * s_.map.vex / s_.map.wex + s_.map.vox; }
  double DeviceY(double y) const { return (y - s_.map.woy) * s_.map.vey / s_.map.wey + s_.map.voy; }
  void AddBounds(double left, double top, double right, double bottom);
  void AddPointBounds(double x, double y) { AddBounds(x, y, x, y); }

  void Skip(const char* name, const char* why);

  const WmfFile& file_;
  EmfOut out_;
  State s_;
  std::vector<State> saved_;
  std::vector<Slot> slots_;
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

// The one table of record functions: name, minimum size (bytes) and handler.
constexpr WmfEntry kWmfRecords[] = {
    {kMetaEof, "META_EOF", 6, &Converter::Ignore},
    {kMetaRealizePalette, "META_REALIZEPALETTE", 6, &Converter::RealizePalette},
    {kMetaSetPalEntries, "META_SETPALENTRIES", 10, &Converter::SetPalEntries},
    {kMetaSetBkMode, "META_SETBKMODE", 8, &Converter::SetBkMode},
    {kMetaSetMapMode, "META_SETMAPMODE", 8, &Converter::SetMapMode},
    {kMetaSetRop2, "META_SETROP2", 8, &Converter::SetRop2},
    {kMetaSetRelAbs, "META_SETRELABS", 6, &Converter::Ignore},  // no effect on any GDI
    {kMetaSetPolyFillMode, "META_SETPOLYFILLMODE", 8, &Converter::SetPolyFillMode},
    {kMetaSetStretchBltMode, "META_SETSTRETCHBLTMODE", 8, &Converter::SetStretchBltMode},
    {kMetaSetTextCharExtra, "META_SETTEXTCHAREXTRA", 8, nullptr},  // no EMF record carries it
    {kMetaRestoreDc, "META_RESTOREDC", 8, &Converter::RestoreDc},
    {kMetaResizePalette, "META_RESIZEPALETTE", 8, &Converter::Ignore},  // true colour only
    {kMetaDibCreatePatternBrush, "META_DIBCREATEPATTERNBRUSH", 10,
     &Converter::DibCreatePatternBrush},
    {kMetaSetLayout, "META_SETLAYOUT", 8, &Converter::SetLayout},
    {kMetaSetBkColor, "META_SETBKCOLOR", 10, &Converter::SetBkColor},
    {kMetaSetTextColor, "META_SETTEXTCOLOR", 10, &Converter::SetTextColor},
    {kMetaOffsetViewportOrg, "META_OFFSETVIEWPORTORG", 10, &Converter::OffsetViewportOrg},
    {kMetaLineTo, "META_LINETO", 10, &Converter::LineTo},
    {kMetaMoveTo, "META_MOVETO", 10, &Converter::MoveTo},
    {kMetaOffsetClipRgn, "META_OFFSETCLIPRGN", 10, &Converter::OffsetClipRgn},
    {kMetaFillRegion, "META_FILLREGION", 10, &Converter::FillRegion},
    {kMetaSetMapperFlags, "META_SETMAPPERFLAGS", 10, &Converter::Ignore},  // a matching hint
    {kMetaSelectPalette, "META_SELECTPALETTE", 8, &Converter::SelectPalette},
    {kMetaPolygon, "META_POLYGON", 8, &Converter::Polygon},
    {kMetaPolyline, "META_POLYLINE", 8, &Converter::Polyline},
    {kMetaSetTextJustification, "META_SETTEXTJUSTIFICATION", 10,
     &Converter::Ignore},  // text records carry their spacing
    {kMetaSetWindowOrg, "META_SETWINDOWORG", 10, &Converter::SetWindowOrg},
    {kMetaSetWindowExt, "META_SETWINDOWEXT", 10, &Converter::SetWindowExt},
    {kMetaSetViewportOrg, "META_SETVIEWPORTORG", 10, &Converter::SetViewportOrg},
    {kMetaSetViewportExt, "META_SETVIEWPORTEXT", 10, &Converter::SetViewportExt},
    {kMetaOffsetWindowOrg, "META_OFFSETWINDOWORG", 10, &Converter::OffsetWindowOrg},
    {kMetaScaleWindowExt, "META_SCALEWINDOWEXT", 14, &Converter::ScaleWindowExt},
    {kMetaScaleViewportExt, "META_SCALEVIEWPORTEXT", 14, &Converter::ScaleViewportExt},
    {kMetaExcludeClipRect, "META_EXCLUDECLIPRECT", 14, &Converter::ExcludeClipRect},
    {kMetaIntersectClipRect, "META_INTERSECTCLIPRECT", 14, &Converter::IntersectClipRect},
    {kMetaEllipse, "META_ELLIPSE", 14, &Converter::Ellipse},
    {kMetaFloodFill, "META_FLOODFILL", 0, nullptr},  // reads the device back: not drawn
    {kMetaFrameRegion, "META_FRAMEREGION", 14, &Converter::FrameRegion},
    {kMetaAnimatePalette, "META_ANIMATEPALETTE", 6, &Converter::Ignore},  // true colour only
    {kMetaTextOut, "META_TEXTOUT", 12, &Converter::TextOut},
    {kMetaPolyPolygon, "META_POLYPOLYGON", 8, &Converter::PolyPolygon},
    {kMetaExtFloodFill, "META_EXTFLOODFILL", 0, nullptr},  // reads the device back: not drawn
    {kMetaRectangle, "META_RECTANGLE", 14, &Converter::Rectangle},
    {kMetaSetPixel, "META_SETPIXEL", 14, &Converter::SetPixel},
    {kMetaRoundRect, "META_ROUNDRECT", 18, &Converter::RoundRect},
    {kMetaPatBlt, "META_PATBLT", 18, &Converter::PatBlt},
    {kMetaSaveDc, "META_SAVEDC", 6, &Converter::SaveDc},
    {kMetaPie, "META_PIE", 22, &Converter::Pie},
    {kMetaStretchBlt, "META_STRETCHBLT", 26, &Converter::StretchBlt},
    {kMetaEscape, "META_ESCAPE", 0, nullptr},  // printer escapes and comments: nothing drawn
    {kMetaInvertRegion, "META_INVERTREGION", 8, &Converter::InvertRegion},
    {kMetaPaintRegion, "META_PAINTREGION", 8, &Converter::PaintRegion},
    {kMetaSelectClipRegion, "META_SELECTCLIPREGION", 8, &Converter::SelectClipRegion},
    {kMetaSelectObject, "META_SELECTOBJECT", 8, &Converter::SelectObject},
    {kMetaSetTextAlign, "META_SETTEXTALIGN", 8, &Converter::SetTextAlign},
    {kMetaArc, "META_ARC", 22, &Converter::Arc},
    {kMetaChord, "META_CHORD", 22, &Converter::Chord},
    {kMetaBitBlt, "META_BITBLT", 22, &Converter::BitBlt},
    {kMetaExtTextOut, "META_EXTTEXTOUT", 14, &Converter::ExtTextOut},
    {kMetaSetDibToDev, "META_SETDIBTODEV", 24, &Converter::SetDibToDev},
    {kMetaDibBitBlt, "META_DIBBITBLT", 22, &Converter::DibBitBlt},
    {kMetaDibStretchBlt, "META_DIBSTRETCHBLT", 26, &Converter::DibStretchBlt},
    {kMetaStretchDib, "META_STRETCHDIB", 28, &Converter::StretchDib},
    {kMetaDeleteObject, "META_DELETEOBJECT", 8, &Converter::DeleteObject},
    {kMetaCreatePalette, "META_CREATEPALETTE", 10, &Converter::CreatePalette},
    {kMetaCreatePatternBrush, "META_CREATEPATTERNBRUSH", 20, &Converter::CreatePatternBrush},
    {kMetaCreatePenIndirect, "META_CREATEPENINDIRECT", 16, &Converter::CreatePenIndirect},
    {kMetaCreateFontIndirect, "META_CREATEFONTINDIRECT", 24, &Converter::CreateFontIndirect},
    {kMetaCreateBrushIndirect, "META_CREATEBRUSHINDIRECT", 14, &Converter::CreateBrushIndirect},
    {kMetaCreateRegion, "META_CREATEREGION", 26, &Converter::CreateRegion},
};

const WmfEntry* FindWmfRecord(uint16_t function) {
  for (const WmfEntry& entry : kWmfRecords) {
    if (entry.function == function) {
      return &entry;
    }
  }
  return nullptr;
}

// Object-creating records take a slot whether or not they are drawn, so later indices stay
// right.
bool CreatesObject(uint16_t function) {
  return function == kMetaCreatePalette || function == kMetaCreatePatternBrush ||
         function == kMetaCreatePenIndirect || function == kMetaCreateFontIndirect ||
         function == kMetaCreateBrushIndirect || function == kMetaCreateRegion ||
         function == kMetaDibCreatePatternBrush;
}

// ---------------------------------------------------------------------------------------

std::optional<WmfConversion> Converter::Run(std::string* error) {
  const WmfHeader& h = file_.header();
  placeable_ = h.placeable;
  // The EMF header comes first; its frame and bounds are set at the end.
  out_.Begin(kEmrHeader);
  out_.Zeros(80);
  out_.End();
  if (placeable_) {
    const double inch = h.units_per_inch != 0 ? h.units_per_inch : 1440;
    const int32_t whole_dpi = static_cast<int32_t>(std::clamp(std::lround(dpi_), 1L, 100000L));
    device_ = {5 * whole_dpi, 5 * whole_dpi, 127, 127};
    // The page's pixels, as a player of placeable files makes its bitmap.
    const double width = (static_cast<double>(h.right) - h.left) / inch * whole_dpi + 0.5;
    const double height = (static_cast<double>(h.bottom) - h.top) / inch * whole_dpi + 0.5;
    const int32_t vw = static_cast<int32_t>(std::clamp(width, -1.0, 1e7));
    const int32_t vh = static_cast<int32_t>(std::clamp(height, -1.0, 1e7));
    out_.Begin(kEmrGdiComment);
    out_.U32(static_cast<uint32_t>(kWindowsMetafileComment.size()));
    out_.Bytes(kWindowsMetafileComment);
    out_.End();
    // The box mapped over the whole page, as a player of placeable files sets the DC up.
    out_.Simple(kEmrSetMapMode, {kMmAnisotropic});
    out_.Simple(kEmrSetWindowOrgEx, {h.left, h.top});
    out_.Simple(kEmrSetWindowExtEx, {h.right - h.left, h.bottom - h.top});
    out_.Simple(kEmrSetViewportOrgEx, {0, 0});
    out_.Simple(kEmrSetViewportExtEx, {vw, vh});
    s_.map = {kMmAnisotropic,
              static_cast<double>(h.left),
              static_cast<double>(h.top),
              static_cast<double>(h.right - h.left),
              static_cast<double>(h.bottom - h.top),
              0,
              0,
              static_cast<double>(vw),
              static_cast<double>(vh)};
    if (s_.map.wex == 0 || s_.map.wey == 0 || vw <= 0 || vh <= 0) {
      Fail(error, "the placeable header's box is empty");
      return std::nullopt;
    }
    page_width_ = vw;
    page_height_ = vh;
  } else {
    // Windows' conversion: MM_ANISOTROPIC over the whole reference display.
    out_.Simple(kEmrSetMapMode, {kMmAnisotropic});
    out_.Simple(kEmrSetViewportExtEx, {kDisplayWidth, kDisplayHeight});
    s_.map.mode = kMmAnisotropic;
    s_.map.vex = kDisplayWidth;
    s_.map.vey = kDisplayHeight;
  }
  bool ended = false;
  for (const WmfRecord& record : file_.records()) {
    ++result_.records;
    if (record.function == kMetaEof) {
      ended = true;
      break;
    }
    const WmfEntry* entry = FindWmfRecord(record.function);
    current_ = entry != nullptr ? entry->name : "META_UNKNOWN";
    if (entry == nullptr || entry->handle == nullptr || record.bytes.size() < entry->minimum_size) {
      if (CreatesObject(record.function)) {
        NewSlot(Slot::kOther);
      }
      if (entry == nullptr) {
        char name[32];
        std::snprintf(name, sizeof name, "META_UNKNOWN(0x%04X)", record.function);
        ++result_.skipped[name];
      } else {
        Skip(entry->name, entry->handle != nullptr ? "too short" : nullptr);
      }
      continue;
    }
    ByteReader reader(record.bytes);
    reader.Skip(6);
    const EmfOut::Mark mark = out_.Here();
    (this->*entry->handle)(reader);
    if (!reader.Ok()) {
      // Fields past the record's end: nothing of it is drawn.
      out_.Rewind(mark);
      Skip(entry->name, "too short");
    }
  }
  const bool truncated = !ended;
  if (!truncated) {
    out_.Simple(kEmrEof, {0, 16, 20});
  }
  // The header: device, frame and bounds.
  RectL bounds{0, 0, -1, -1};
  RectL frame;
  const int32_t device_w = device_.width, device_h = device_.height, mm_w = device_.width_mm,
                mm_h = device_.height_mm;
  if (placeable_) {
    // The page's pixels in hundredths of a millimetre.
    const double pixel = 100.0 * mm_w / device_w;
    frame = {0, 0, static_cast<int32_t>(std::lround(page_width_ * pixel)),
             static_cast<int32_t>(std::lround(page_height_ * pixel))};
    bounds = {0, 0, page_width_ - 1, page_height_ - 1};
  } else {
    if (!have_bounds_) {
      Fail(error, "the metafile draws nothing");
      return std::nullopt;
    }
    const auto round = [](double v) {
      return static_cast<int32_t>(std::clamp(std::floor(v + 0.5), -1e9, 1e9));
    };
    bounds = {round(bl_), round(bt_), round(br_), round(bb_)};
    // As Windows makes a frame from bounds: whole hundredths of a millimetre, cut.
    const auto to_frame = [](int64_t v, int64_t mm, int64_t px) {
      return static_cast<int32_t>(v * mm * 100 / px);
    };
    frame = {to_frame(bounds.left, mm_w, device_w), to_frame(bounds.top, mm_h, device_h),
             to_frame(bounds.right, mm_w, device_w), to_frame(bounds.bottom, mm_h, device_h)};
  }
  std::vector<uint8_t>& bytes = out_.bytes();
  if (bytes.size() > UINT32_MAX - 8) {
    Fail(error, "the metafile is too large");
    return std::nullopt;
  }
  auto put = [&bytes](size_t at, int32_t v) { std::memcpy(bytes.data() + at, &v, 4); };
  put(8, bounds.left);
  put(12, bounds.top);
  put(16, bounds.right);
  put(20, bounds.bottom);
  put(24, frame.left);
  put(28, frame.top);
  put(32, frame.right);
  put(36, frame.bottom);
  put(40, static_cast<int32_t>(kEmfSignature));
  put(44, 0x10000);
  // A page cut short says so: its byte count runs past its end.
  put(48, static_cast<int32_t>(bytes.size() + (truncated ? 8 : 0)));
  put(52, static_cast<int32_t>(out_.records()));
  const uint16_t handles = static_cast<uint16_t>(std::min<size_t>(handles_, 0xFFFF));
  std::memcpy(bytes.data() + 56, &handles, 2);
  put(72, device_w);
  put(76, device_h);
  put(80, mm_w);
  put(84, mm_h);
  result_.emf = std::move(bytes);
  return std::move(result_);
}

void Converter::Skip(const char* name, const char* why) {
  std::string key = name;
  if (why != nullptr) {
    key += std::string(" (") + why + ")";
  }
  ++result_.skipped[key];
}

// --- Objects ---------------------------------------------------------------------------

int Converter::NewSlot(Slot::Kind kind) {
  size_t i = 0;
  while (i < slots_.size() && slots_[i].kind != Slot::kFree) {
    ++i;
  }
  if (i == slots_.size()) {
    if (slots_.size() >= kMaxSlots) {
      return -1;
    }
    slots_.emplace_back();
  }
  slots_[i] = Slot{};
  slots_[i].kind = kind;
  handles_ = std::max(handles_, i + 2);
  return static_cast<int>(i);
}

Slot* Converter::SlotAt(uint32_t index) {
  if (index >= slots_.size() || slots_[index].kind == Slot::kFree) {
    return nullptr;
  }
  return &slots_[index];
}

const Palette& Converter::CurrentPalette() const {
  return s_.palette && !s_.palette->empty() ? *s_.palette : DefaultPalette();
}

// PALETTEINDEX colours become the selected palette's colour, as a true-colour device sees it.
uint32_t Converter::Resolve(uint32_t color) const {
  if ((color >> 24) == 1) {
    const Palette& palette = CurrentPalette();
    const size_t index = color & 0xFFFF;
    const PaletteEntry e = index < palette.size() ? palette[index] : palette.front();
    return e.r | (e.g << 8) | (static_cast<uint32_t>(e.b) << 16);
  }
  return color & 0xFFFFFF;
}

void Converter::CreatePenIndirect(ByteReader& r) {
  const uint16_t style = r.U16();
  const int16_t width = r.I16();
  r.I16();
  const uint32_t color = r.U32();
  const int slot = NewSlot(Slot::kPen);
  if (slot < 0 || !r.Ok()) {
    return;
  }
  out_.Simple(kEmrCreatePen, {slot + 1, style, width, 0, ColorArg(color)});
}

void Converter::CreateBrushIndirect(ByteReader& r) {
  const uint16_t style = r.U16();
  const uint32_t color = r.U32();
  const uint16_t hatch = r.U16();
  const int slot = NewSlot(Slot::kBrush);
  if (slot < 0 || !r.Ok()) {
    return;
  }
  // A pattern brush cannot be made from this record: GDI makes it hollow.
  const uint32_t emf_style = style == kBsSolid || style == kBsHatched ? style : kBsNull;
  out_.Simple(kEmrCreateBrushIndirect,
              {slot + 1, static_cast<int32_t>(emf_style), ColorArg(color), hatch});
}

void Converter::CreateFontIndirect(ByteReader& r) {
  Font font;
  font.height = r.I16();
  font.width = r.I16();
  font.escapement = r.I16();
  font.orientation = r.I16();
  font.weight = r.I16();
  font.italic = r.U8() != 0;
  font.underline = r.U8() != 0;
  font.strike_out = r.U8() != 0;
  font.charset = r.U8();
  const uint8_t out_precision = r.U8();
  const uint8_t clip_precision = r.U8();
  font.quality = r.U8();
  font.pitch_and_family = r.U8();
  // The face name: up to 32 bytes, ending at the first zero or the record's end.
  std::array<uint16_t, 32> face{};
  for (size_t i = 0; i < 31 && r.Has(1); ++i) {
    const uint8_t c = r.U8();
    if (c == 0) {
      break;
    }
    face[i] = c;  // Windows-1252 face names are Latin-1 in all but a few symbols
    font.face.push_back(static_cast<char>(c));
  }
  const int slot = NewSlot(Slot::kFont);
  if (slot < 0 || !r.Ok()) {
    return;
  }
  slots_[static_cast<size_t>(slot)].font = std::make_shared<const Font>(font);
  out_.Begin(kEmrExtCreateFontIndirectW);
  out_.U32(static_cast<uint32_t>(slot + 1));
  out_.I32(font.height);
  out_.I32(font.width);
  out_.I32(font.escapement);
  out_.I32(font.orientation);
  out_.I32(font.weight);
  const uint8_t flags[8] = {font.italic,   font.underline, font.strike_out, font.charset,
                            out_precision, clip_precision, font.quality,    font.pitch_and_family};
  out_.Bytes(flags);
  for (uint16_t c : face) {
    out_.U16(c);
  }
  out_.End();
}

void Converter::CreatePalette(ByteReader& r) {
  r.U16();  // version
  const uint16_t count = r.U16();
  if (!r.Has(static_cast<size_t>(count) * 4)) {
    r.Skip(static_cast<size_t>(count) * 4);  // sets the error: the record is too short
    NewSlot(Slot::kOther);
    return;
  }
  const int slot = NewSlot(Slot::kPalette);
  if (slot < 0) {
    return;
  }
  auto palette = std::make_shared<Palette>();
  out_.Begin(kEmrCreatePalette);
  out_.U32(static_cast<uint32_t>(slot + 1));
  out_.U16(0x300);
  out_.U16(count);
  for (uint16_t i = 0; i < count; ++i) {
    const auto entry = r.Bytes(4);
    palette->push_back({entry[0], entry[1], entry[2]});
    out_.Bytes(entry);
  }
  out_.End();
  slots_[static_cast<size_t>(slot)].palette = std::move(palette);
}

void Converter::SetPalEntries(ByteReader& r) {
  const uint16_t start = r.U16();
  const uint16_t count = r.U16();
  if (!s_.palette || !r.Has(static_cast<size_t>(count) * 4)) {
    return;
  }
  // The selected palette changes; its slot, when it still holds it, sees the change too.
  auto changed = std::make_shared<Palette>(*s_.palette);
  for (size_t i = 0; i < count; ++i) {
    const auto entry = r.Bytes(4);
    if (start + i < changed->size()) {
      (*changed)[start + i] = {entry[0], entry[1], entry[2]};
    }
  }
  for (Slot& slot : slots_) {
    if (slot.kind == Slot::kPalette && slot.palette == s_.palette) {
      slot.palette = changed;
    }
  }
  s_.palette = std::move(changed);
}

void Converter::CreateRegion(ByteReader& r) {
  r.U16();  // next in chain
  r.U16();  // object type
  r.U32();  // object count
  r.U16();  // region size
  const uint16_t scans = r.U16();
  r.U16();  // largest scan
  RectL box;
  box.left = r.I16();
  box.top = r.I16();
  box.right = r.I16();
  box.bottom = r.I16();
  std::vector<RectL> rects;
  for (uint16_t i = 0; i < scans && r.Ok(); ++i) {
    const uint16_t count = r.U16();  // coordinates: two a rectangle
    const int16_t top = r.I16();
    const int16_t bottom = r.I16();
    if (!r.Has(static_cast<size_t>(count) * 2)) {
      r.Skip(static_cast<size_t>(count) * 2);
      break;
    }
    for (uint16_t k = 0; k + 1 < count; k += 2) {
      const int16_t left = r.I16();
      const int16_t right = r.I16();
      if (left < right && top < bottom) {
        rects.push_back({left, top, right, bottom});
      }
    }
    if (count % 2 != 0) {
      r.U16();
    }
    r.U16();  // the count again
  }
  const int slot = NewSlot(Slot::kRegion);
  if (slot < 0 || !r.Ok()) {
    return;
  }
  slots_[static_cast<size_t>(slot)].region = std::move(rects);
  slots_[static_cast<size_t>(slot)].region_box = box;
}

// A DIB with its colour table in RGB: DIB_PAL_COLORS indices become the selected palette's
// colours, as a true-colour device shows them.
std::optional<std::vector<uint8_t>> Converter::ResolvedDib(std::span<const uint8_t> dib,
                                                           uint32_t usage) {
  const bool indices = usage == kDibPalColors;
  const size_t info = DibInfoSize(dib, indices);
  if (info == 0) {
    return std::nullopt;
  }
  if (!indices) {
    return std::vector<uint8_t>(dib.begin(), dib.end());
  }
  ByteReader r(dib);
  const uint32_t header_size = r.U32();
  const size_t table_at = header_size + (header_size == 40 &&
                                                 [&] {
                                                   ByteReader c(dib);
                                                   c.Seek(16);
                                                   return c.U32() == 3;
                                                 }()
                                             ? 12
                                             : 0);
  std::vector<uint8_t> out(dib.begin(), dib.begin() + static_cast<std::ptrdiff_t>(table_at));
  const Palette& palette = CurrentPalette();
  const bool core = header_size == 12;
  for (size_t at = table_at; at + 1 < info; at += 2) {
    const size_t index = dib[at] | (dib[at + 1] << 8);
    const PaletteEntry e = index < palette.size() ? palette[index] : palette.front();
    out.push_back(e.b);
    out.push_back(e.g);
    out.push_back(e.r);
    if (!core) {
      out.push_back(0);
    }
  }
  out.insert(out.end(), dib.begin() + static_cast<std::ptrdiff_t>(info), dib.end());
  return out;
}

void Converter::DibCreatePatternBrush(ByteReader& r) {
  r.U16();  // style: BS_PATTERN or BS_DIBPATTERNPT, a DIB either way here
  const uint32_t usage = r.U16();
  const auto dib = ResolvedDib(r.Bytes(r.Remaining()), usage);
  const int slot = NewSlot(Slot::kBrush);
  if (slot < 0) {
    return;
  }
  if (!dib) {
    Skip(current_, "bad bitmap");
    out_.Simple(kEmrCreateBrushIndirect, {slot + 1, static_cast<int32_t>(kBsNull), 0, 0});
    return;
  }
  const size_t info = DibInfoSize(*dib, false);
  out_.Begin(kEmrCreateDibPatternBrushPt);
  out_.U32(static_cast<uint32_t>(slot + 1));
  out_.U32(kDibRgbColors);
  out_.U32(32);
  out_.U32(static_cast<uint32_t>(info));
  out_.U32(static_cast<uint32_t>(32 + info));
  out_.U32(static_cast<uint32_t>(dib->size() - info));
  out_.Bytes(*dib);
  out_.End();
}

// A device-dependent bitmap (BITMAP16 and its bits) as a DIB, rows top-down; 1, 4, 8, 24 and
// 32 bits per pixel in one plane. Monochrome ones keep black and white, so a brush made of
// them takes the text and background colours.
std::optional<std::vector<uint8_t>> Converter::DibFromBitmap16(ByteReader& r,
                                                               bool monochrome_colours,
                                                               bool* monochrome) {
  r.I16();  // type
  const int16_t width = r.I16();
  const int16_t height = r.I16();
  const int16_t width_bytes = r.I16();
  const uint8_t planes = r.U8();
  const uint8_t bits_pixel = r.U8();
  const uint16_t bit_count = static_cast<uint16_t>(planes * bits_pixel);
  if (!r.Ok() || width <= 0 || height <= 0 || width_bytes <= 0 || planes != 1 ||
      (bit_count != 1 && bit_count != 4 && bit_count != 8 && bit_count != 24 && bit_count != 32)) {
    return std::nullopt;
  }
  const uint64_t row_needed = (static_cast<uint64_t>(width) * bit_count + 7) / 8;
  const uint64_t stride = (static_cast<uint64_t>(width) * bit_count + 31) / 32 * 4;
  const uint64_t source_size = static_cast<uint64_t>(width_bytes) * height;
  if (row_needed > static_cast<uint64_t>(width_bytes) || !r.Has(source_size)) {
    return std::nullopt;
  }
  // Indexed depths other than 1 need a palette the record lacks: the default one.
  const uint32_t colours = bit_count <= 8 ? (1u << bit_count) : 0;
  std::vector<uint8_t> dib(40 + colours * 4 + stride * static_cast<uint64_t>(height));
  auto put32 = [&dib](size_t at, uint32_t v) { std::memcpy(dib.data() + at, &v, 4); };
  put32(0, 40);
  put32(4, static_cast<uint32_t>(width));
  put32(8, static_cast<uint32_t>(-static_cast<int32_t>(height)));
  dib[12] = 1;
  dib[14] = static_cast<uint8_t>(bit_count);
  put32(32, colours);
  const Palette& palette = DefaultPalette();
  for (uint32_t i = 0; i < colours; ++i) {
    PaletteEntry e;
    if (bit_count == 1) {
      const uint32_t c = !monochrome_colours ? (i == 0 ? 0 : 0xFFFFFF)
                         : i == 0            ? s_.text_color
                                             : s_.bk_color;
      e = {static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c >> 16)};
    } else if (i < 10 || i >= colours - 10) {
      e = palette[i < 10 ? i : i - (colours - 20)];
    }
    dib[40 + i * 4] = e.b;
    dib[41 + i * 4] = e.g;
    dib[42 + i * 4] = e.r;
  }
  const size_t bits_at = 40 + colours * 4;
  for (int16_t y = 0; y < height; ++y) {
    const auto row = r.Bytes(static_cast<size_t>(width_bytes));
    std::memcpy(dib.data() + bits_at + static_cast<size_t>(y) * stride, row.data(),
                static_cast<size_t>(row_needed));
  }
  *monochrome = bit_count == 1;
  return dib;
}

void Converter::CreatePatternBrush(ByteReader& r) {
  bool monochrome = false;
  ByteReader bitmap(r.Bytes(std::min<size_t>(r.Remaining(), 14)));
  r.Skip(18);  // reserved
  // The bits follow the reserved bytes: give the reader of BITMAP16 the header, then them.
  std::vector<uint8_t> joined(bitmap.All().begin(), bitmap.All().end());
  const auto rest = r.Bytes(r.Remaining());
  joined.insert(joined.end(), rest.begin(), rest.end());
  ByteReader whole(joined);
  const auto dib = DibFromBitmap16(whole, false, &monochrome);
  const int slot = NewSlot(Slot::kBrush);
  if (slot < 0) {
    return;
  }
  if (!dib) {
    Skip(current_, "bad bitmap");
    out_.Simple(kEmrCreateBrushIndirect, {slot + 1, static_cast<int32_t>(kBsNull), 0, 0});
    return;
  }
  const size_t info = DibInfoSize(*dib, false);
  out_.Begin(monochrome ? kEmrCreateMonoBrush : kEmrCreateDibPatternBrushPt);
  out_.U32(static_cast<uint32_t>(slot + 1));
  out_.U32(kDibRgbColors);
  out_.U32(32);
  out_.U32(static_cast<uint32_t>(info));
  out_.U32(static_cast<uint32_t>(32 + info));
  out_.U32(static_cast<uint32_t>(dib->size() - info));
  out_.Bytes(*dib);
  out_.End();
}

void Converter::SelectObject(ByteReader& r) {
  const uint16_t index = r.U16();
  Slot* slot = SlotAt(index);
  if (slot == nullptr || slot->kind == Slot::kOther) {
    Skip(current_, "no such object");
    return;
  }
  if (slot->kind == Slot::kRegion) {
    // Selecting a region sets the clip region, as SelectClipRgn does.
    ClipToRegion(*slot);
    return;
  }
  if (slot->kind == Slot::kPalette) {
    return;  // palettes are selected by META_SELECTPALETTE only
  }
  if (slot->kind == Slot::kFont) {
    s_.font = slot->font;
  }
  out_.Simple(kEmrSelectObject, {index + 1});
}

void Converter::DeleteObject(ByteReader& r) {
  const uint16_t index = r.U16();
  Slot* slot = SlotAt(index);
  if (slot == nullptr) {
    return;
  }
  if (slot->kind != Slot::kRegion && slot->kind != Slot::kOther) {
    out_.Simple(kEmrDeleteObject, {index + 1});
  }
  *slot = Slot{};
}

void Converter::SelectPalette(ByteReader& r) {
  const uint16_t index = r.U16();
  Slot* slot = SlotAt(index);
  if (slot == nullptr || slot->kind != Slot::kPalette) {
    Skip(current_, "no such palette");
    return;
  }
  s_.palette = slot->palette;
  out_.Simple(kEmrSelectPalette, {index + 1});
}

// --- Mapping ---------------------------------------------------------------------------

void Converter::FixIsotropic() {
  if (s_.map.mode != kMmIsotropic || s_.map.wex == 0 || s_.map.wey == 0) {
    return;
  }
  const double mm_x = static_cast<double>(device_.width_mm) / device_.width;
  const double mm_y = static_cast<double>(device_.height_mm) / device_.height;
  const double xdim = std::fabs(s_.map.vex * mm_x / s_.map.wex);
  const double ydim = std::fabs(s_.map.vey * mm_y / s_.map.wey);
  if (xdim > ydim) {
    const double v = std::floor(s_.map.vex * ydim / xdim + 0.5);
    s_.map.vex = v != 0 ? v : (s_.map.vex >= 0 ? 1 : -1);
  } else if (ydim > xdim) {
    const double v = std::floor(s_.map.vey * xdim / ydim + 0.5);
    s_.map.vey = v != 0 ? v : (s_.map.vey >= 0 ? 1 : -1);
  }
}

void Converter::SetFixedMode(int mode) {
  const double per_mm = UnitsPerMillimetre(mode);  // y grows upwards
  s_.map.wex = device_.width_mm * per_mm;
  s_.map.wey = device_.height_mm * per_mm;
  s_.map.vex = device_.width;
  s_.map.vey = -device_.height;
}

void Converter::SetMapMode(ByteReader& r) {
  const uint16_t mode = r.U16();
  out_.Simple(kEmrSetMapMode, {mode});
  if (mode < kMmText || mode > kMmAnisotropic) {
    return;
  }
  s_.map.mode = mode;
  if (mode == kMmText) {
    s_.map.wex = s_.map.wey = s_.map.vex = s_.map.vey = 1;
  } else if (mode < kMmIsotropic) {
    SetFixedMode(mode);
  } else {
    FixIsotropic();
  }
}

void Converter::SetWindowOrg(ByteReader& r) {
  const int16_t y = r.I16();
  const int16_t x = r.I16();
  out_.Simple(kEmrSetWindowOrgEx, {x, y});
  s_.map.wox = x;
  s_.map.woy = y;
}

void Converter::SetWindowExt(ByteReader& r) {
  const int16_t y = r.I16();
  const int16_t x = r.I16();
  out_.Simple(kEmrSetWindowExtEx, {x, y});
  if (s_.map.mode >= kMmIsotropic && x != 0 && y != 0) {
    s_.map.wex = x;
    s_.map.wey = y;
    FixIsotropic();
  }
}

void Converter::SetViewportOrg(ByteReader& r) {
  const int16_t y = r.I16();
  const int16_t x = r.I16();
  out_.Simple(kEmrSetViewportOrgEx, {x, y});
  s_.map.vox = x;
  s_.map.voy = y;
}

void Converter::SetViewportExt(ByteReader& r) {
  const int16_t y = r.I16();
  const int16_t x = r.I16();
  out_.Simple(kEmrSetViewportExtEx, {x, y});
  if (s_.map.mode >= kMmIsotropic && x != 0 && y != 0) {
    s_.map.vex = x;
    s_.map.vey = y;
    FixIsotropic();
  }
}

void Converter::OffsetWindowOrg(ByteReader& r) {
  const int16_t y = r.I16();
  const int16_t x = r.I16();
  s_.map.wox += x;
  s_.map.woy += y;
  out_.Simple(kEmrSetWindowOrgEx,
              {static_cast<int32_t>(s_.map.wox), static_cast<int32_t>(s_.map.woy)});
}

void Converter::OffsetViewportOrg(ByteReader& r) {
  const int16_t y = r.I16();
  const int16_t x = r.I16();
  s_.map.vox += x;
  s_.map.voy += y;
  out_.Simple(kEmrSetViewportOrgEx,
              {static_cast<int32_t>(s_.map.vox), static_cast<int32_t>(s_.map.voy)});
}

void Converter::ScaleWindowExt(ByteReader& r) {
  const int16_t y_denom = r.I16();
  const int16_t y_num = r.I16();
  const int16_t x_denom = r.I16();
  const int16_t x_num = r.I16();
  out_.Simple(kEmrScaleWindowExtEx, {x_num, x_denom, y_num, y_denom});
  if (s_.map.mode >= kMmIsotropic && x_denom != 0 && y_denom != 0 && x_num != 0 && y_num != 0) {
    s_.map.wex = std::trunc(s_.map.wex * x_num / x_denom);
    s_.map.wey = std::trunc(s_.map.wey * y_num / y_denom);
    if (s_.map.wex == 0) {
      s_.map.wex = 1;
    }
    if (s_.map.wey == 0) {
      s_.map.wey = 1;
    }
    FixIsotropic();
  }
}

void Converter::ScaleViewportExt(ByteReader& r) {
  const int16_t y_denom = r.I16();
  const int16_t y_num = r.I16();
  const int16_t x_denom = r.I16();
  const int16_t x_num = r.I16();
  out_.Simple(kEmrScaleViewportExtEx, {x_num, x_denom, y_num, y_denom});
  if (s_.map.mode >= kMmIsotropic && x_denom != 0 && y_denom != 0 && x_num != 0 && y_num != 0) {
    s_.map.vex = std::trunc(s_.map.vex * x_num / x_denom);
    s_.map.vey = std::trunc(s_.map.vey * y_num / y_denom);
    if (s_.map.vex == 0) {
      s_.map.vex = 1;
    }
    if (s_.map.vey == 0) {
      s_.map.vey = 1;
    }
    FixIsotropic();
  }
}

void Converter::SaveDc(ByteReader&) {
  out_.Simple(kEmrSaveDC, {});
  if (saved_.size() < 0xFFFF) {
    saved_.push_back(s_);
  }
}

void Converter::RestoreDc(ByteReader& r) {
  const int16_t which = r.I16();
  out_.Simple(kEmrRestoreDC, {which});
  const int64_t depth = static_cast<int64_t>(saved_.size());
  const int64_t target = which < 0 ? depth + which : which - 1;
  if (target < 0 || target >= depth) {
    return;
  }
  s_ = saved_[static_cast<size_t>(target)];
  saved_.resize(static_cast<size_t>(target));
}

void Converter::AddBounds(double left, double top, double right, double bottom) {
  double x0 = DeviceX(left), x1 = DeviceX(right), y0 = DeviceY(top), y1 = DeviceY(bottom);
  if (!std::isfinite(x0) || !std::isfinite(x1) || !std::isfinite(y0) || !std::isfinite(y1)) {
    return;
  }
  // Each corner rounded as a point is, then put in order.
  x0 = std::floor(x0 + 0.5);
  x1 = std::floor(x1 + 0.5);
  y0 = std::floor(y0 + 0.5);
  y1 = std::floor(y1 + 0.5);
  const double l = std::min(x0, x1), r = std::max(x0, x1);
  const double t = std::min(y0, y1), b = std::max(y0, y1);
  if (!have_bounds_) {
    bl_ = l;
    bt_ = t;
    br_ = r;
    bb_ = b;
    have_bounds_ = true;
    return;
  }
  bl_ = std::min(bl_, l);
  bt_ = std::min(bt_, t);
  br_ = std::max(br_, r);
  bb_ = std::max(bb_, b);
}

// --- Drawing -----------------------------------------------------------------------------

void Converter::MoveTo(ByteReader& r) {
  const int16_t y = r.I16();
  const int16_t x = r.I16();
  out_.Simple(kEmrMoveToEx, {x, y});
  s_.x = x;
  s_.y = y;
}

void Converter::LineTo(ByteReader& r) {
  const int16_t y = r.I16();
  const int16_t x = r.I16();
  out_.Simple(kEmrLineTo, {x, y});
  AddBounds(std::min<double>(x, s_.x), std::min<double>(y, s_.y), std::max<double>(x, s_.x),
            std::max<double>(y, s_.y));
  s_.x = x;
  s_.y = y;
}

void Converter::Poly(ByteReader& r, uint32_t type) {
  const uint16_t count = r.U16();
  const auto points = r.Bytes(static_cast<size_t>(count) * 4);
  if (!r.Ok()) {
    return;
  }
  out_.Begin(type);
  out_.Zeros(16);  // bounds
  out_.U32(count);
  out_.Bytes(points);
  out_.End();
  ByteReader p(points);
  for (uint16_t i = 0; i < count; ++i) {
    const double x = p.I16();
    const double y = p.I16();
    AddPointBounds(x, y);
  }
}

void Converter::PolyPolygon(ByteReader& r) {
  const uint16_t polygons = r.U16();
  const auto counts = r.Bytes(static_cast<size_t>(polygons) * 2);
  uint64_t total = 0;
  ByteReader c(counts);
  for (uint16_t i = 0; i < polygons; ++i) {
    total += c.U16();
  }
  const auto points = r.Bytes(static_cast<size_t>(total) * 4);
  if (!r.Ok()) {
    return;
  }
  out_.Begin(kEmrPolyPolygon16);
  out_.Zeros(16);
  out_.U32(polygons);
  out_.U32(static_cast<uint32_t>(total));
  ByteReader c2(counts);
  for (uint16_t i = 0; i < polygons; ++i) {
    out_.U32(c2.U16());
  }
  out_.Bytes(points);
  out_.End();
  ByteReader p(points);
  for (uint64_t i = 0; i < total; ++i) {
    const double x = p.I16();
    const double y = p.I16();
    AddPointBounds(x, y);
  }
}

// Shapes of a box: the recorded bounds leave out the right and bottom edges, as the shape
// does.
void Converter::Box(ByteReader& r, uint32_t type) {
  const int16_t bottom = r.I16();
  const int16_t right = r.I16();
  const int16_t top = r.I16();
  const int16_t left = r.I16();
  out_.Simple(type, {left, top, right, bottom});
  AddBounds(std::min(left, right), std::min(top, bottom), std::max(left, right) - 1,
            std::max(top, bottom) - 1);
}

void Converter::RoundRect(ByteReader& r) {
  const int16_t height = r.I16();
  const int16_t width = r.I16();
  const int16_t bottom = r.I16();
  const int16_t right = r.I16();
  const int16_t top = r.I16();
  const int16_t left = r.I16();
  out_.Simple(kEmrRoundRect, {left, top, right, bottom, width, height});
  AddBounds(std::min(left, right), std::min(top, bottom), std::max(left, right) - 1,
            std::max(top, bottom) - 1);
}

void Converter::ArcLike(ByteReader& r, uint32_t type) {
  const int16_t y_end = r.I16();
  const int16_t x_end = r.I16();
  const int16_t y_start = r.I16();
  const int16_t x_start = r.I16();
  const int16_t bottom = r.I16();
  const int16_t right = r.I16();
  const int16_t top = r.I16();
  const int16_t left = r.I16();
  out_.Simple(type, {left, top, right, bottom, x_start, y_start, x_end, y_end});
  AddBounds(std::min(left, right), std::min(top, bottom), std::max(left, right) - 1,
            std::max(top, bottom) - 1);
}

void Converter::SetPixel(ByteReader& r) {
  const uint32_t color = r.U32();
  const int16_t y = r.I16();
  const int16_t x = r.I16();
  out_.Simple(kEmrSetPixelV, {x, y, ColorArg(color)});
  AddPointBounds(x, y);
}

void Converter::ClipRect(ByteReader& r, uint32_t type) {
  const int16_t bottom = r.I16();
  const int16_t right = r.I16();
  const int16_t top = r.I16();
  const int16_t left = r.I16();
  out_.Simple(type, {left, top, right, bottom});
}

void Converter::OffsetClipRgn(ByteReader& r) {
  const int16_t y = r.I16();
  const int16_t x = r.I16();
  out_.Simple(kEmrOffsetClipRgn, {x, y});
}

void Converter::SetTextAlign(ByteReader& r) {
  s_.text_align = r.U16();
  out_.Simple(kEmrSetTextAlign, {static_cast<int32_t>(s_.text_align)});
}

// RGNDATA: its header, then the rectangles.
void Converter::WriteRegion(const std::vector<RectL>& rects, const RectL& box) {
  out_.U32(32);
  out_.U32(1);  // RDH_RECTANGLES
  out_.U32(static_cast<uint32_t>(rects.size()));
  out_.U32(static_cast<uint32_t>(rects.size() * 16));
  out_.Rect(box);
  for (const RectL& rect : rects) {
    out_.Rect(rect);
  }
}

void Converter::SelectClipRegion(ByteReader& r) {
  const uint16_t index = r.U16();
  Slot* slot = SlotAt(index);
  if (slot == nullptr || slot->kind != Slot::kRegion) {
    Skip(current_, "no such region");
    return;
  }
  ClipToRegion(*slot);
}

void Converter::ClipToRegion(const Slot& region) {
  const Slot* slot = &region;
  // Clip regions are in device pixels, as the record gives them.
  const std::vector<RectL>& rects = slot->region;
  const RectL box = slot->region_box;
  out_.Begin(kEmrExtSelectClipRgn);
  out_.U32(static_cast<uint32_t>(32 + rects.size() * 16));
  out_.U32(kRgnCopy);
  WriteRegion(rects, box);
  out_.End();
}

// Regions painted with a brush, framed or inverted.
void Converter::RegionRecord(ByteReader& r, uint32_t type) {
  // The fields are stored last argument first, as GDI records them: FillRgn(region, brush)
  // keeps the brush first, FrameRgn(region, brush, width, height) the height.
  uint16_t region_index = 0, brush_index = 0;
  int16_t width = 0, height = 0;
  if (type == kEmrFrameRgn) {
    height = r.I16();
    width = r.I16();
    brush_index = r.U16();
    region_index = r.U16();
  } else if (type == kEmrFillRgn) {
    brush_index = r.U16();
    region_index = r.U16();
  } else {
    region_index = r.U16();
  }
  Slot* region = SlotAt(region_index);
  if (!r.Ok() || region == nullptr || region->kind != Slot::kRegion) {
    Skip(current_, "no such region");
    return;
  }
  if (type != kEmrPaintRgn && type != kEmrInvertRgn) {
    Slot* brush = SlotAt(brush_index);
    if (brush == nullptr || brush->kind != Slot::kBrush) {
      Skip(current_, "no such brush");
      return;
    }
  }
  // The painting records take their region in logical units, as FillRgn does.
  const std::vector<RectL>& rects = region->region;
  const RectL& box = region->region_box;
  out_.Begin(type);
  out_.Zeros(16);  // bounds
  out_.U32(static_cast<uint32_t>(32 + rects.size() * 16));
  if (type == kEmrFillRgn || type == kEmrFrameRgn) {
    out_.U32(static_cast<uint32_t>(brush_index + 1));
  }
  if (type == kEmrFrameRgn) {
    out_.I32(width);
    out_.I32(height);
  }
  WriteRegion(rects, box);
  out_.End();
  const RectL& b = region->region_box;
  AddBounds(b.left - width, b.top - height, b.right + width - 1, b.bottom + height - 1);
}

// Text: EMR_EXTTEXTOUTA with the record's bytes, read in the font's charset by the player.
void Converter::Text(double x, double y, uint32_t options, const RectL* rect,
                     std::span<const uint8_t> string, ByteReader* dx) {
  const uint32_t count = static_cast<uint32_t>(string.size());
  std::vector<int32_t> advances;
  if (dx != nullptr && dx->Has(static_cast<size_t>(count) * 2)) {
    for (uint32_t i = 0; i < count; ++i) {
      advances.push_back(dx->I16());
    }
  }
  const uint32_t options_out = options & ~0x10u;  // 8-bit text is never glyph indices
  out_.Begin(kEmrExtTextOutA);
  out_.Zeros(16);  // bounds
  out_.U32(kGmCompatible);
  out_.F32(0);
  out_.F32(0);
  out_.I32(static_cast<int32_t>(x));
  out_.I32(static_cast<int32_t>(y));
  out_.U32(count);
  const uint32_t off_string = 76;
  const uint32_t padded = (count + 3) / 4 * 4;
  out_.U32(count != 0 ? off_string : 0);
  out_.U32(options_out);
  out_.Rect(rect != nullptr ? *rect : RectL{});
  out_.U32(advances.empty() ? 0 : off_string + padded);
  out_.Bytes(string);
  out_.Zeros(padded - count);
  for (int32_t a : advances) {
    out_.I32(a);
  }
  out_.End();

  // Bounds: the box the text takes by its alignment, and the rectangle it paints.
  if (rect != nullptr && (options & 0x6) != 0) {
    AddBounds(rect->left, rect->top, rect->right - 1, rect->bottom - 1);
  }
  double width = 0;
  double ascent = 0, descent = 0;
  const Font* font = s_.font.get();
  Font system;  // the DC's default font: the system face, 16 pixels
  system.height = 16;
  system.face = "System";
  if (font == nullptr) {
    font = &system;
  }
  const Typeface& face = TypefaceFor(*font);
  const double cell = face.ascent + face.descent > 0 ? face.ascent + face.descent : 1;
  const double em = font->height < 0    ? -static_cast<double>(font->height)
                    : font->height == 0 ? 12
                                        : font->height / cell;
  ascent = std::round(face.ascent * em);
  descent = std::round(face.descent * em);
  if (!advances.empty()) {
    for (int32_t a : advances) {
      width += a;
    }
  } else {
    width = std::round(face.average_width * em) * count;
  }
  const uint32_t align = s_.text_align;
  double left = x, top = y;
  if (align & 1) {  // TA_UPDATECP
    left = s_.x;
    top = s_.y;
    s_.x += width;
  }
  switch (align & 6) {
    case 6:
      left -= width / 2;
      break;  // TA_CENTER
    case 2:
      left -= width;
      break;  // TA_RIGHT
    default:
      break;
  }
  // Top-aligned text takes its cell below the reference point, bottom-aligned above it; the
  // conversion records baseline text as a cell above the baseline and the descent below it
  // (measured against the reference renderer's GDI).
  double text_top = top, text_bottom = top + ascent + descent;
  if ((align & 24) == 24) {  // TA_BASELINE
    text_top = top - ascent - descent;
    text_bottom = top + descent;
  } else if (align & 8) {  // TA_BOTTOM
    text_top = top - ascent - descent;
    text_bottom = top;
  }
  if (count != 0) {
    AddBounds(left, text_top, left + width, text_bottom);
  }
}

void Converter::TextOut(ByteReader& r) {
  const uint16_t count = r.U16();
  const auto string = r.Bytes(count);
  r.Skip(count % 2);
  const int16_t y = r.I16();
  const int16_t x = r.I16();
  if (!r.Ok()) {
    return;
  }
  Text(x, y, 0, nullptr, string, nullptr);
}

void Converter::ExtTextOut(ByteReader& r) {
  const int16_t y = r.I16();
  const int16_t x = r.I16();
  const uint16_t count = r.U16();
  const uint16_t options = r.U16();
  RectL rect;
  const bool has_rect = (options & 0x6) != 0;  // ETO_OPAQUE, ETO_CLIPPED
  if (has_rect) {
    rect.left = r.I16();
    rect.top = r.I16();
    rect.right = r.I16();
    rect.bottom = r.I16();
  }
  const auto string = r.Bytes(count);
  if (r.Remaining() > 0) {
    r.Skip(count % 2);
  }
  if (!r.Ok()) {
    return;
  }
  Text(x, y, options, has_rect ? &rect : nullptr, string, &r);
}

// --- Bitmaps ---------------------------------------------------------------------------

bool Converter::DibTransfer(int32_t dx, int32_t dy, int32_t dw, int32_t dh, int32_t sx, int32_t sy,
                            int32_t sw, int32_t sh, uint32_t rop, uint32_t usage,
                            std::span<const uint8_t> dib_bytes) {
  const auto dib = ResolvedDib(dib_bytes, usage);
  if (!dib) {
    Skip(current_, "bad bitmap");
    return false;
  }
  const size_t info = DibInfoSize(*dib, false);
  out_.Begin(kEmrStretchDIBits);
  out_.Zeros(16);  // bounds
  out_.I32(dx);
  out_.I32(dy);
  out_.I32(sx);
  out_.I32(sy);
  out_.I32(sw);
  out_.I32(sh);
  out_.U32(80);
  out_.U32(static_cast<uint32_t>(info));
  out_.U32(static_cast<uint32_t>(80 + info));
  out_.U32(static_cast<uint32_t>(dib->size() - info));
  out_.U32(kDibRgbColors);
  out_.U32(rop);
  out_.I32(dw);
  out_.I32(dh);
  out_.Bytes(*dib);
  out_.End();
  AddBounds(dx, dy, static_cast<double>(dx) + dw - 1, static_cast<double>(dy) + dh - 1);
  return true;
}

// A transfer without a source: the brush and the destination only.
void Converter::NoSourceBlt(int32_t dx, int32_t dy, int32_t dw, int32_t dh, uint32_t rop) {
  out_.Begin(kEmrBitBlt);
  out_.Zeros(16);
  out_.I32(dx);
  out_.I32(dy);
  out_.I32(dw);
  out_.I32(dh);
  out_.U32(rop);
  out_.I32(0);
  out_.I32(0);
  out_.F32(1);  // identity transform of the (absent) source
  out_.F32(0);
  out_.F32(0);
  out_.F32(1);
  out_.F32(0);
  out_.F32(0);
  out_.U32(0);  // background colour
  out_.U32(0);  // usage
  out_.Zeros(16);
  out_.End();
  AddBounds(dx, dy, static_cast<double>(dx) + dw - 1, static_cast<double>(dy) + dh - 1);
}

void Converter::PatBlt(ByteReader& r) {
  const uint32_t rop = r.U32();
  const int16_t h = r.I16();
  const int16_t w = r.I16();
  const int16_t y = r.I16();
  const int16_t x = r.I16();
  NoSourceBlt(x, y, w, h, rop);
}

// The records of a DIB transfer without a bitmap carry one reserved word more; which one a
// record is shows in its size against the size its function's high byte gives.
bool WithoutBitmap(ByteReader& r, uint16_t function) {
  return r.All().size() / 2 == static_cast<size_t>((function >> 8) + 3);
}

void Converter::DibBitBlt(ByteReader& r) {
  const bool no_bitmap = WithoutBitmap(r, kMetaDibBitBlt);
  const uint32_t rop = r.U32();
  const int16_t sy = r.I16();
  const int16_t sx = r.I16();
  if (no_bitmap) {
    r.U16();
  }
  const int16_t h = r.I16();
  const int16_t w = r.I16();
  const int16_t y = r.I16();
  const int16_t x = r.I16();
  if (!r.Ok()) {
    return;
  }
  if (no_bitmap) {
    NoSourceBlt(x, y, w, h, rop);
    return;
  }
  DibTransfer(x, y, w, h, sx, sy, w, h, rop, kDibRgbColors, r.Bytes(r.Remaining()));
}

void Converter::DibStretchBlt(ByteReader& r) {
  const bool no_bitmap = WithoutBitmap(r, kMetaDibStretchBlt);
  const uint32_t rop = r.U32();
  const int16_t sh = r.I16();
  const int16_t sw = r.I16();
  const int16_t sy = r.I16();
  const int16_t sx = r.I16();
  if (no_bitmap) {
    r.U16();
  }
  const int16_t h = r.I16();
  const int16_t w = r.I16();
  const int16_t y = r.I16();
  const int16_t x = r.I16();
  if (!r.Ok()) {
    return;
  }
  if (no_bitmap) {
    NoSourceBlt(x, y, w, h, rop);
    return;
  }
  DibTransfer(x, y, w, h, sx, sy, sw, sh, rop, kDibRgbColors, r.Bytes(r.Remaining()));
}

void Converter::StretchDib(ByteReader& r) {
  const uint32_t rop = r.U32();
  const uint16_t usage = r.U16();
  const int16_t sh = r.I16();
  const int16_t sw = r.I16();
  const int16_t sy = r.I16();
  const int16_t sx = r.I16();
  const int16_t h = r.I16();
  const int16_t w = r.I16();
  const int16_t y = r.I16();
  const int16_t x = r.I16();
  if (!r.Ok()) {
    return;
  }
  DibTransfer(x, y, w, h, sx, sy, sw, sh, rop, usage, r.Bytes(r.Remaining()));
}

void Converter::SetDibToDev(ByteReader& r) {
  const uint16_t usage = r.U16();
  const uint16_t scans = r.U16();
  const uint16_t start = r.U16();
  const int16_t sy = r.I16();
  const int16_t sx = r.I16();
  const int16_t h = r.I16();
  const int16_t w = r.I16();
  const int16_t y = r.I16();
  const int16_t x = r.I16();
  const auto dib = ResolvedDib(r.Bytes(r.Remaining()), usage);
  if (!r.Ok()) {
    return;
  }
  if (!dib) {
    Skip(current_, "bad bitmap");
    return;
  }
  const size_t info = DibInfoSize(*dib, false);
  out_.Begin(kEmrSetDIBitsToDevice);
  out_.Zeros(16);
  out_.I32(x);
  out_.I32(y);
  out_.I32(sx);
  out_.I32(sy);
  out_.I32(w);
  out_.I32(h);
  out_.U32(76);
  out_.U32(static_cast<uint32_t>(info));
  out_.U32(static_cast<uint32_t>(76 + info));
  out_.U32(static_cast<uint32_t>(dib->size() - info));
  out_.U32(kDibRgbColors);
  out_.U32(start);
  out_.U32(scans);
  out_.Bytes(*dib);
  out_.End();
  AddBounds(x, y, static_cast<double>(x) + w - 1, static_cast<double>(y) + h - 1);
}

// The old transfers carry a device-dependent bitmap.
void Converter::BitBlt(ByteReader& r) {
  const uint32_t rop = r.U32();
  const int16_t sy = r.I16();
  const int16_t sx = r.I16();
  const int16_t h = r.I16();
  const int16_t w = r.I16();
  const int16_t y = r.I16();
  const int16_t x = r.I16();
  bool monochrome = false;
  const auto dib = DibFromBitmap16(r, true, &monochrome);
  if (!r.Ok()) {
    return;
  }
  if (!dib) {
    Skip(current_, "bad bitmap");
    return;
  }
  DibTransfer(x, y, w, h, sx, sy, w, h, rop, kDibRgbColors, *dib);
}

void Converter::StretchBlt(ByteReader& r) {
  const uint32_t rop = r.U32();
  const int16_t sh = r.I16();
  const int16_t sw = r.I16();
  const int16_t sy = r.I16();
  const int16_t sx = r.I16();
  const int16_t h = r.I16();
  const int16_t w = r.I16();
  const int16_t y = r.I16();
  const int16_t x = r.I16();
  bool monochrome = false;
  const auto dib = DibFromBitmap16(r, true, &monochrome);
  if (!r.Ok()) {
    return;
  }
  if (!dib) {
    Skip(current_, "bad bitmap");
    return;
  }
  DibTransfer(x, y, w, h, sx, sy, sw, sh, rop, kDibRgbColors, *dib);
}

}  // namespace

// ---------------------------------------------------------------------------------------

WmfKind WmfKindOf(std::span<const uint8_t> data) {
  ByteReader r(data);
  if (r.U32() == kWmfPlaceableKey) {
    return data.size() >= 22 + 18 ? WmfKind::kPlaceable : WmfKind::kNone;
  }
  r.Seek(0);
  const uint16_t type = r.U16();
  const uint16_t header_words = r.U16();
  const uint16_t version = r.U16();
  if (r.Ok() && data.size() >= 18 && (type == 1 || type == 2) && header_words == 9 &&
      (version == 0x100 || version == 0x300)) {
    return WmfKind::kPlain;
  }
  return WmfKind::kNone;
}

std::optional<WmfFile> WmfFile::Parse(std::span<const uint8_t> data, std::string* error) {
  const WmfKind kind = WmfKindOf(data);
  if (kind == WmfKind::kNone) {
    Fail(error, "no Windows-metafile header");
    return std::nullopt;
  }
  WmfFile file;
  ByteReader r(data);
  if (kind == WmfKind::kPlaceable) {
    r.U32();
    r.U16();  // handle
    file.header_.placeable = true;
    file.header_.left = r.I16();
    file.header_.top = r.I16();
    file.header_.right = r.I16();
    file.header_.bottom = r.I16();
    file.header_.units_per_inch = r.U16();
    r.U32();  // reserved
    r.U16();  // checksum: files in use often carry a wrong one, and Windows ignores it
    if (WmfKindOf(data.subspan(22)) != WmfKind::kPlain) {
      Fail(error, "no Windows-metafile header after the placeable header");
      return std::nullopt;
    }
  }
  file.header_.type = r.U16();
  r.U16();
  file.header_.version = r.U16();
  file.header_.size_words = r.U32();
  file.header_.objects = r.U16();
  file.header_.max_record_words = r.U32();
  r.U16();  // members: unused
  if (!r.Ok()) {
    Fail(error, "no Windows-metafile header");
    return std::nullopt;
  }
  file.start_ = r.Position();
  bool ended = false;
  while (r.Remaining() > 0) {
    const size_t at = r.Position();
    const uint32_t words = r.U32();
    const uint16_t function = r.U16();
    const checked::Checked<uint64_t> size = checked::Checked<uint64_t>(words) * 2;
    if (!r.Ok() || words < 3 || !size.Valid() || *size.Value() > data.size() - at) {
      break;
    }
    file.records_.push_back({function, data.subspan(at, static_cast<size_t>(*size.Value()))});
    r.Seek(at + static_cast<size_t>(*size.Value()));
    if (function == kMetaEof) {
      ended = true;
      break;
    }
  }
  file.truncated_ = !ended;
  if (file.records_.empty()) {
    Fail(error, "no records");
    return std::nullopt;
  }
  return file;
}

const char* WmfRecordName(uint16_t function) {
  const WmfEntry* entry = FindWmfRecord(function);
  return entry != nullptr ? entry->name : "META_UNKNOWN";
}

std::optional<WmfConversion> ConvertWmf(std::span<const uint8_t> data, double dpi,
                                        std::string* error) {
  const auto file = WmfFile::Parse(data, error);
  if (!file) {
    return std::nullopt;
  }
  return Converter(*file, std::isfinite(dpi) && dpi > 0 ? dpi : 96).Run(error);
}

}  // namespace emf
