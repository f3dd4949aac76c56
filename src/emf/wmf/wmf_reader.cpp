// Windows metafiles in. The file is cut into records (WmfFile), then each record is turned
// into the EMF records of the same GDI call by its handler in one table. The handlers keep
// what the conversion needs of the device context: the object slots (WMF gives each new
// object the lowest free slot), the mapping (to measure what a plain file draws, as Windows'
// conversion does), the selected font and palette.
#include "emf/wmf/wmf_reader.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/checked.h"
#include "emf/player/player.h"
#include "emf/records/metafile.h"
#include "emf/wmf/wmf_conversion.h"

namespace emf {
namespace wmf_reading {
namespace {

bool Fail(std::string* error, const char* reason) {
  if (error != nullptr) {
    *error = reason;
  }
  return false;
}

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

}  // namespace

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
    s_.map.mode = kMmAnisotropic;
    s_.map.window_org = {static_cast<double>(h.left), static_cast<double>(h.top)};
    s_.map.window_ext = {static_cast<double>(h.right - h.left),
                         static_cast<double>(h.bottom - h.top)};
    s_.map.viewport_ext = {static_cast<double>(vw), static_cast<double>(vh)};
    if (s_.map.window_ext.x == 0 || s_.map.window_ext.y == 0 || vw <= 0 || vh <= 0) {
      Fail(error, "the placeable header's box is empty");
      return std::nullopt;
    }
    page_width_ = vw;
    page_height_ = vh;
  } else {
    // Windows' conversion: MM_ANISOTROPIC, a unit a display pixel until the file sets
    // its own window, which then spans the whole reference display.
    out_.Simple(kEmrSetMapMode, {kMmAnisotropic});
    out_.Simple(kEmrSetViewportExtEx, {kDisplayWidth, kDisplayHeight});
    out_.Simple(kEmrSetWindowExtEx, {kDisplayWidth, kDisplayHeight});
    s_.map.mode = kMmAnisotropic;
    s_.map.viewport_ext = {kDisplayWidth, kDisplayHeight};
    s_.map.window_ext = {kDisplayWidth, kDisplayHeight};
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
    if (out_.full()) {
      char reason[96];
      std::snprintf(reason, sizeof reason,
                    "the page it converts to passes %zu MB (at record %zu, %s)",
                    kMaxConvertedPageBytes >> 20, result_.records, entry->name);
      Fail(error, reason);
      return std::nullopt;
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

}  // namespace wmf_reading

using wmf_reading::Converter;
using wmf_reading::Fail;
using wmf_reading::FindWmfRecord;
using wmf_reading::kMetaEof;
using wmf_reading::WmfEntry;

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
  if (!file->header().placeable) {
    // Windows gives back the EMF the file was made from, as it was.
    if (std::optional<std::vector<uint8_t>> emf = wmf_reading::EmbeddedEmf(*file, data)) {
      WmfConversion conversion;
      conversion.emf = std::move(*emf);
      conversion.records = file->records().size();
      return conversion;
    }
  }
  // Text is measured here and drawn later: the player says what its fonts lack.
  const FontNoticesMuted quiet;
  return Converter(*file, std::isfinite(dpi) && dpi > 0 ? dpi : 96).Run(error);
}

}  // namespace emf