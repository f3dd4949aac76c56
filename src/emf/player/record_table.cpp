// The one table of record types: name, minimum size and the player's handler, indexed by
// type. A record without a handler is skipped and counted; so is one shorter than its
// minimum size (the whole record, type and size included).
#include "emf/player/record_table.h"

#include <array>

namespace emf {
namespace {

constexpr RecordEntry kRecords[] = {
    {kEmrHeader, "EMR_HEADER", 88, &Player::Header},
    {kEmrPolyBezier, "EMR_POLYBEZIER", 28, &Player::PolyBezier},
    {kEmrPolygon, "EMR_POLYGON", 28, &Player::Polygon},
    {kEmrPolyline, "EMR_POLYLINE", 28, &Player::Polyline},
    {kEmrPolyBezierTo, "EMR_POLYBEZIERTO", 28, &Player::PolyBezierTo},
    {kEmrPolylineTo, "EMR_POLYLINETO", 28, &Player::PolylineTo},
    {kEmrPolyPolyline, "EMR_POLYPOLYLINE", 32, &Player::PolyPolyline},
    {kEmrPolyPolygon, "EMR_POLYPOLYGON", 32, &Player::PolyPolygon},
    {kEmrSetWindowExtEx, "EMR_SETWINDOWEXTEX", 16, &Player::SetWindowExtEx},
    {kEmrSetWindowOrgEx, "EMR_SETWINDOWORGEX", 16, &Player::SetWindowOrgEx},
    {kEmrSetViewportExtEx, "EMR_SETVIEWPORTEXTEX", 16, &Player::SetViewportExtEx},
    {kEmrSetViewportOrgEx, "EMR_SETVIEWPORTORGEX", 16, &Player::SetViewportOrgEx},
    {kEmrSetBrushOrgEx, "EMR_SETBRUSHORGEX", 16, &Player::SetBrushOrgEx},
    {kEmrEof, "EMR_EOF", 20, &Player::Eof},
    {kEmrSetPixelV, "EMR_SETPIXELV", 20, &Player::SetPixelV},
    {kEmrSetMapperFlags, "EMR_SETMAPPERFLAGS", 12, &Player::Ignore},  // font matching hint
    {kEmrSetMapMode, "EMR_SETMAPMODE", 12, &Player::SetMapMode},
    {kEmrSetBkMode, "EMR_SETBKMODE", 12, &Player::SetBkMode},
    {kEmrSetPolyFillMode, "EMR_SETPOLYFILLMODE", 12, &Player::SetPolyFillMode},
    {kEmrSetRop2, "EMR_SETROP2", 12, &Player::SetRop2},
    {kEmrSetStretchBltMode, "EMR_SETSTRETCHBLTMODE", 12, &Player::SetStretchBltMode},
    {kEmrSetTextAlign, "EMR_SETTEXTALIGN", 12, &Player::SetTextAlign},
    {kEmrSetColorAdjustment, "EMR_SETCOLORADJUSTMENT", 8, &Player::Ignore},  // halftoning only
    {kEmrSetTextColor, "EMR_SETTEXTCOLOR", 12, &Player::SetTextColor},
    {kEmrSetBkColor, "EMR_SETBKCOLOR", 12, &Player::SetBkColor},
    {kEmrOffsetClipRgn, "EMR_OFFSETCLIPRGN", 16, &Player::OffsetClipRgn},
    {kEmrMoveToEx, "EMR_MOVETOEX", 16, &Player::MoveToEx},
    {kEmrSetMetaRgn, "EMR_SETMETARGN", 8, &Player::SetMetaRgn},
    {kEmrExcludeClipRect, "EMR_EXCLUDECLIPRECT", 24, &Player::ExcludeClipRect},
    {kEmrIntersectClipRect, "EMR_INTERSECTCLIPRECT", 24, &Player::IntersectClipRect},
    {kEmrScaleViewportExtEx, "EMR_SCALEVIEWPORTEXTEX", 24, &Player::ScaleViewportExtEx},
    {kEmrScaleWindowExtEx, "EMR_SCALEWINDOWEXTEX", 24, &Player::ScaleWindowExtEx},
    {kEmrSaveDC, "EMR_SAVEDC", 8, &Player::SaveDC},
    {kEmrRestoreDC, "EMR_RESTOREDC", 12, &Player::RestoreDC},
    {kEmrSetWorldTransform, "EMR_SETWORLDTRANSFORM", 32, &Player::SetWorldTransform},
    {kEmrModifyWorldTransform, "EMR_MODIFYWORLDTRANSFORM", 36, &Player::ModifyWorldTransform},
    {kEmrSelectObject, "EMR_SELECTOBJECT", 12, &Player::SelectObject},
    {kEmrCreatePen, "EMR_CREATEPEN", 28, &Player::CreatePen},
    {kEmrCreateBrushIndirect, "EMR_CREATEBRUSHINDIRECT", 24, &Player::CreateBrushIndirect},
    {kEmrDeleteObject, "EMR_DELETEOBJECT", 12, &Player::DeleteObject},
    {kEmrAngleArc, "EMR_ANGLEARC", 28, &Player::AngleArc},
    {kEmrEllipse, "EMR_ELLIPSE", 24, &Player::Ellipse},
    {kEmrRectangle, "EMR_RECTANGLE", 24, &Player::Rectangle},
    {kEmrRoundRect, "EMR_ROUNDRECT", 32, &Player::RoundRect},
    {kEmrArc, "EMR_ARC", 40, &Player::Arc},
    {kEmrChord, "EMR_CHORD", 40, &Player::Chord},
    {kEmrPie, "EMR_PIE", 40, &Player::Pie},
    {kEmrSelectPalette, "EMR_SELECTPALETTE", 12, &Player::SelectPalette},
    {kEmrCreatePalette, "EMR_CREATEPALETTE", 16, &Player::CreatePalette},
    {kEmrSetPaletteEntries, "EMR_SETPALETTEENTRIES", 8,
     &Player::Ignore},  // true-colour targets ignore palettes
    {kEmrResizePalette, "EMR_RESIZEPALETTE", 8, &Player::Ignore},
    {kEmrRealizePalette, "EMR_REALIZEPALETTE", 8, &Player::Ignore},
    {kEmrExtFloodFill, "EMR_EXTFLOODFILL", 0, nullptr},  // skipped and counted
    {kEmrLineTo, "EMR_LINETO", 16, &Player::LineTo},
    {kEmrArcTo, "EMR_ARCTO", 40, &Player::ArcTo},
    {kEmrPolyDraw, "EMR_POLYDRAW", 28, &Player::PolyDraw},
    {kEmrSetArcDirection, "EMR_SETARCDIRECTION", 12, &Player::SetArcDirection},
    {kEmrSetMiterLimit, "EMR_SETMITERLIMIT", 12, &Player::SetMiterLimit},
    {kEmrBeginPath, "EMR_BEGINPATH", 8, &Player::BeginPath},
    {kEmrEndPath, "EMR_ENDPATH", 8, &Player::EndPath},
    {kEmrCloseFigure, "EMR_CLOSEFIGURE", 8, &Player::CloseFigure},
    {kEmrFillPath, "EMR_FILLPATH", 24, &Player::FillPath},
    {kEmrStrokeAndFillPath, "EMR_STROKEANDFILLPATH", 24, &Player::StrokeAndFillPath},
    {kEmrStrokePath, "EMR_STROKEPATH", 24, &Player::StrokePath},
    {kEmrFlattenPath, "EMR_FLATTENPATH", 8, &Player::FlattenPath},
    {kEmrWidenPath, "EMR_WIDENPATH", 8, &Player::WidenPath},
    {kEmrSelectClipPath, "EMR_SELECTCLIPPATH", 12, &Player::SelectClipPath},
    {kEmrAbortPath, "EMR_ABORTPATH", 8, &Player::AbortPath},
    {kEmrGdiComment, "EMR_GDICOMMENT", 12,
     &Player::GdiComment},  // EMF+ and private data; the EMF records draw
    {kEmrFillRgn, "EMR_FILLRGN", 32, &Player::FillRgn},
    {kEmrFrameRgn, "EMR_FRAMERGN", 40, &Player::FrameRgn},
    {kEmrInvertRgn, "EMR_INVERTRGN", 28, &Player::InvertRgn},
    {kEmrPaintRgn, "EMR_PAINTRGN", 28, &Player::PaintRgn},
    {kEmrExtSelectClipRgn, "EMR_EXTSELECTCLIPRGN", 16, &Player::ExtSelectClipRgn},
    {kEmrBitBlt, "EMR_BITBLT", 100, &Player::BitBlt},
    {kEmrStretchBlt, "EMR_STRETCHBLT", 108, &Player::StretchBlt},
    {kEmrMaskBlt, "EMR_MASKBLT", 128, &Player::MaskBlt},
    {kEmrPlgBlt, "EMR_PLGBLT", 140, &Player::PlgBlt},
    {kEmrSetDIBitsToDevice, "EMR_SETDIBITSTODEVICE", 76, &Player::SetDIBitsToDevice},
    {kEmrStretchDIBits, "EMR_STRETCHDIBITS", 80, &Player::StretchDIBits},
    {kEmrExtCreateFontIndirectW, "EMR_EXTCREATEFONTINDIRECTW", 104,
     &Player::ExtCreateFontIndirectW},
    {kEmrExtTextOutA, "EMR_EXTTEXTOUTA", 76, &Player::ExtTextOutA},
    {kEmrExtTextOutW, "EMR_EXTTEXTOUTW", 76, &Player::ExtTextOutW},
    {kEmrPolyBezier16, "EMR_POLYBEZIER16", 28, &Player::PolyBezier16},
    {kEmrPolygon16, "EMR_POLYGON16", 28, &Player::Polygon16},
    {kEmrPolyline16, "EMR_POLYLINE16", 28, &Player::Polyline16},
    {kEmrPolyBezierTo16, "EMR_POLYBEZIERTO16", 28, &Player::PolyBezierTo16},
    {kEmrPolylineTo16, "EMR_POLYLINETO16", 28, &Player::PolylineTo16},
    {kEmrPolyPolyline16, "EMR_POLYPOLYLINE16", 32, &Player::PolyPolyline16},
    {kEmrPolyPolygon16, "EMR_POLYPOLYGON16", 32, &Player::PolyPolygon16},
    {kEmrPolyDraw16, "EMR_POLYDRAW16", 28, &Player::PolyDraw16},
    {kEmrCreateMonoBrush, "EMR_CREATEMONOBRUSH", 32, &Player::CreateMonoBrush},
    {kEmrCreateDibPatternBrushPt, "EMR_CREATEDIBPATTERNBRUSHPT", 32,
     &Player::CreateDibPatternBrushPt},
    {kEmrExtCreatePen, "EMR_EXTCREATEPEN", 52, &Player::ExtCreatePen},
    {kEmrPolyTextOutA, "EMR_POLYTEXTOUTA", 40, &Player::PolyTextOutA},
    {kEmrPolyTextOutW, "EMR_POLYTEXTOUTW", 40, &Player::PolyTextOutW},
    {kEmrSetIcmMode, "EMR_SETICMMODE", 12,
     &Player::Ignore},  // colour management changes nothing here
    {kEmrCreateColorSpace, "EMR_CREATECOLORSPACE", 12, &Player::CreateColorSpace},
    {kEmrSetColorSpace, "EMR_SETCOLORSPACE", 12, &Player::Ignore},
    {kEmrDeleteColorSpace, "EMR_DELETECOLORSPACE", 12, &Player::Ignore},
    {kEmrGlsRecord, "EMR_GLSRECORD", 0, nullptr},                // skipped and counted
    {kEmrGlsBoundedRecord, "EMR_GLSBOUNDEDRECORD", 0, nullptr},  // skipped and counted
    {kEmrPixelFormat, "EMR_PIXELFORMAT", 0, nullptr},            // skipped and counted
    {kEmrDrawEscape, "EMR_DRAWESCAPE", 0, nullptr},              // skipped and counted
    {kEmrExtEscape, "EMR_EXTESCAPE", 0, nullptr},                // skipped and counted
    {kEmrSmallTextOut, "EMR_SMALLTEXTOUT", 36, &Player::SmallTextOut},
    {kEmrForceUfiMapping, "EMR_FORCEUFIMAPPING", 8,
     &Player::Ignore},                                 // font linking, nothing on paper
    {kEmrNamedEscape, "EMR_NAMEDESCAPE", 0, nullptr},  // skipped and counted
    {kEmrColorCorrectPalette, "EMR_COLORCORRECTPALETTE", 8, &Player::Ignore},
    {kEmrSetIcmProfileA, "EMR_SETICMPROFILEA", 8, &Player::Ignore},
    {kEmrSetIcmProfileW, "EMR_SETICMPROFILEW", 8, &Player::Ignore},
    {kEmrAlphaBlend, "EMR_ALPHABLEND", 108, &Player::AlphaBlend},
    {kEmrSetLayout, "EMR_SETLAYOUT", 12, &Player::SetLayout},
    {kEmrTransparentBlt, "EMR_TRANSPARENTBLT", 108, &Player::TransparentBlt},
    {kEmrGradientFill, "EMR_GRADIENTFILL", 36, &Player::GradientFill},
    {kEmrSetLinkedUfis, "EMR_SETLINKEDUFIS", 8, &Player::Ignore},  // font linking
    {kEmrSetTextJustification, "EMR_SETTEXTJUSTIFICATION", 16,
     &Player::Ignore},  // text records carry their spacing
    {kEmrColorMatchToTargetW, "EMR_COLORMATCHTOTARGETW", 8, &Player::Ignore},
    {kEmrCreateColorSpaceW, "EMR_CREATECOLORSPACEW", 12, &Player::CreateColorSpace},
};

constexpr std::array<RecordEntry, kMaxRecordType + 1> IndexByType() {
  std::array<RecordEntry, kMaxRecordType + 1> index{};
  for (const RecordEntry& entry : kRecords) {
    index[entry.type] = entry;
  }
  return index;
}

constexpr auto kByType = IndexByType();

constexpr bool EachTypeOnce() {
  for (const RecordEntry& entry : kRecords) {
    if (kByType[entry.type].name != entry.name) {
      return false;
    }
  }
  return true;
}
static_assert(EachTypeOnce(), "a record type is listed twice");

}  // namespace

const RecordEntry* FindRecord(uint32_t type) {
  if (type > kMaxRecordType || kByType[type].name == nullptr) {
    return nullptr;
  }
  return &kByType[type];
}

const char* RecordName(uint32_t type) {
  const RecordEntry* entry = FindRecord(type);
  return entry != nullptr ? entry->name : "EMR_UNKNOWN";
}

}  // namespace emf
