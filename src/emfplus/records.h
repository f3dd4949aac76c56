// The EMF+ records GDI+ writes inside EMR_GDICOMMENT records: their framing, types and the
// object kinds they define.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace emfplus {

// "EMF+" as the comment's first four bytes.
inline constexpr uint32_t kSignature = 0x2B464D45;

enum RecordType : uint16_t {
  kHeader = 0x4001,
  kEndOfFile = 0x4002,
  kComment = 0x4003,
  kGetDC = 0x4004,
  kMultiFormatStart = 0x4005,
  kMultiFormatSection = 0x4006,
  kMultiFormatEnd = 0x4007,
  kObject = 0x4008,
  kClear = 0x4009,
  kFillRects = 0x400A,
  kDrawRects = 0x400B,
  kFillPolygon = 0x400C,
  kDrawLines = 0x400D,
  kFillEllipse = 0x400E,
  kDrawEllipse = 0x400F,
  kFillPie = 0x4010,
  kDrawPie = 0x4011,
  kDrawArc = 0x4012,
  kFillRegion = 0x4013,
  kFillPath = 0x4014,
  kDrawPath = 0x4015,
  kFillClosedCurve = 0x4016,
  kDrawClosedCurve = 0x4017,
  kDrawCurve = 0x4018,
  kDrawBeziers = 0x4019,
  kDrawImage = 0x401A,
  kDrawImagePoints = 0x401B,
  kDrawString = 0x401C,
  kSetRenderingOrigin = 0x401D,
  kSetAntiAliasMode = 0x401E,
  kSetTextRenderingHint = 0x401F,
  kSetTextContrast = 0x4020,
  kSetInterpolationMode = 0x4021,
  kSetPixelOffsetMode = 0x4022,
  kSetCompositingMode = 0x4023,
  kSetCompositingQuality = 0x4024,
  kSave = 0x4025,
  kRestore = 0x4026,
  kBeginContainer = 0x4027,
  kBeginContainerNoParams = 0x4028,
  kEndContainer = 0x4029,
  kSetWorldTransform = 0x402A,
  kResetWorldTransform = 0x402B,
  kMultiplyWorldTransform = 0x402C,
  kTranslateWorldTransform = 0x402D,
  kScaleWorldTransform = 0x402E,
  kRotateWorldTransform = 0x402F,
  kSetPageTransform = 0x4030,
  kResetClip = 0x4031,
  kSetClipRect = 0x4032,
  kSetClipPath = 0x4033,
  kSetClipRegion = 0x4034,
  kOffsetClip = 0x4035,
  kDrawDriverString = 0x4036,
  kStrokeFillPath = 0x4037,
  kSerializableObject = 0x4038,
  kSetTSGraphics = 0x4039,
  kSetTSClip = 0x403A,
};

enum ObjectType {
  kObjectInvalid = 0,
  kObjectBrush = 1,
  kObjectPen = 2,
  kObjectPath = 3,
  kObjectRegion = 4,
  kObjectImage = 5,
  kObjectFont = 6,
  kObjectStringFormat = 7,
  kObjectImageAttributes = 8,
  kObjectCustomLineCap = 9,
};
inline constexpr int kObjectSlots = 64;

// Flags the drawing records share.
inline constexpr uint16_t kFlagSolidColor = 0x8000;  // the brush field is a colour, not an object
inline constexpr uint16_t kFlagCompressed = 0x4000;  // 16-bit coordinates
inline constexpr uint16_t kFlagRelative = 0x0800;    // points relative to the one before

// Interpolation modes (SetInterpolationMode) that are not GDI+'s blends of neighbours.
inline constexpr int kInterpolationHighQuality = 2;
inline constexpr int kInterpolationNearest = 5;
inline constexpr int kInterpolationHighQualityBilinear = 6;

// The name of a record type ("EmfPlusFillRects"), or null for a type the format does not have.
const char* RecordName(uint16_t type);
// The name of an object kind ("pen"), or "unknown".
const char* ObjectKindName(int kind);

// One record: its type, flags and data (DataSize bytes after the 12-byte header).
struct Record {
  uint16_t type = 0;
  uint16_t flags = 0;
  std::span<const uint8_t> data;
};

// Whether a comment's data holds EMF+ records.
bool IsEmfPlusComment(std::span<const uint8_t> comment);
// The records of an EMF+ comment in order, up to one whose size runs past the comment or is
// not a whole record (cut_short is then set); empty for another comment.
std::vector<Record> SplitRecords(std::span<const uint8_t> comment, bool* cut_short = nullptr);

}  // namespace emfplus
