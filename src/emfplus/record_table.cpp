#include "emfplus/record_table.h"

#include <algorithm>
#include <array>

namespace emfplus {
namespace {

// Sorted by type: every type the format has, those the player draws with their handler.
constexpr std::array kRecords = {
    RecordEntry{kHeader, "EmfPlusHeader", 16, &Player::Header},
    RecordEntry{kEndOfFile, "EmfPlusEndOfFile", 0, &Player::EndOfFile},
    RecordEntry{kComment, "EmfPlusComment", 0, &Player::Ignore},
    RecordEntry{kGetDC, "EmfPlusGetDC", 0, &Player::GetDC},
    RecordEntry{kMultiFormatStart, "EmfPlusMultiFormatStart", 0, nullptr},
    RecordEntry{kMultiFormatSection, "EmfPlusMultiFormatSection", 0, nullptr},
    RecordEntry{kMultiFormatEnd, "EmfPlusMultiFormatEnd", 0, nullptr},
    RecordEntry{kObject, "EmfPlusObject", 0, &Player::ObjectRecord},
    RecordEntry{kClear, "EmfPlusClear", 4, &Player::Clear},
    RecordEntry{kFillRects, "EmfPlusFillRects", 8, &Player::FillRects},
    RecordEntry{kDrawRects, "EmfPlusDrawRects", 4, &Player::DrawRects},
    RecordEntry{kFillPolygon, "EmfPlusFillPolygon", 8, &Player::FillPolygon},
    RecordEntry{kDrawLines, "EmfPlusDrawLines", 4, &Player::DrawLines},
    RecordEntry{kFillEllipse, "EmfPlusFillEllipse", 12, &Player::FillEllipse},
    RecordEntry{kDrawEllipse, "EmfPlusDrawEllipse", 8, &Player::DrawEllipse},
    RecordEntry{kFillPie, "EmfPlusFillPie", 20, &Player::FillPie},
    RecordEntry{kDrawPie, "EmfPlusDrawPie", 16, &Player::DrawPie},
    RecordEntry{kDrawArc, "EmfPlusDrawArc", 16, &Player::DrawArc},
    RecordEntry{kFillRegion, "EmfPlusFillRegion", 4, &Player::FillRegion},
    RecordEntry{kFillPath, "EmfPlusFillPath", 4, &Player::FillPath},
    RecordEntry{kDrawPath, "EmfPlusDrawPath", 4, &Player::DrawPath},
    RecordEntry{kFillClosedCurve, "EmfPlusFillClosedCurve", 12, &Player::FillClosedCurve},
    RecordEntry{kDrawClosedCurve, "EmfPlusDrawClosedCurve", 8, &Player::DrawClosedCurve},
    RecordEntry{kDrawCurve, "EmfPlusDrawCurve", 16, &Player::DrawCurve},
    RecordEntry{kDrawBeziers, "EmfPlusDrawBeziers", 4, &Player::DrawBeziers},
    RecordEntry{kDrawImage, "EmfPlusDrawImage", 28, &Player::DrawImage},
    RecordEntry{kDrawImagePoints, "EmfPlusDrawImagePoints", 28, &Player::DrawImagePoints},
    RecordEntry{kDrawString, "EmfPlusDrawString", 28, &Player::DrawString},
    RecordEntry{kSetRenderingOrigin, "EmfPlusSetRenderingOrigin", 8, &Player::SetRenderingOrigin},
    RecordEntry{kSetAntiAliasMode, "EmfPlusSetAntiAliasMode", 0, &Player::SetAntiAliasMode},
    RecordEntry{kSetTextRenderingHint, "EmfPlusSetTextRenderingHint", 0,
                &Player::SetTextRenderingHint},
    RecordEntry{kSetTextContrast, "EmfPlusSetTextContrast", 0, &Player::Ignore},
    RecordEntry{kSetInterpolationMode, "EmfPlusSetInterpolationMode", 0,
                &Player::SetInterpolationMode},
    RecordEntry{kSetPixelOffsetMode, "EmfPlusSetPixelOffsetMode", 0, &Player::SetPixelOffsetMode},
    RecordEntry{kSetCompositingMode, "EmfPlusSetCompositingMode", 0, nullptr},
    RecordEntry{kSetCompositingQuality, "EmfPlusSetCompositingQuality", 0, &Player::Ignore},
    RecordEntry{kSave, "EmfPlusSave", 4, &Player::Save},
    RecordEntry{kRestore, "EmfPlusRestore", 4, &Player::Restore},
    RecordEntry{kBeginContainer, "EmfPlusBeginContainer", 36, &Player::BeginContainer},
    RecordEntry{kBeginContainerNoParams, "EmfPlusBeginContainerNoParams", 4,
                &Player::BeginContainerNoParams},
    RecordEntry{kEndContainer, "EmfPlusEndContainer", 4, &Player::EndContainer},
    RecordEntry{kSetWorldTransform, "EmfPlusSetWorldTransform", 24, &Player::SetWorldTransform},
    RecordEntry{kResetWorldTransform, "EmfPlusResetWorldTransform", 0,
                &Player::ResetWorldTransform},
    RecordEntry{kMultiplyWorldTransform, "EmfPlusMultiplyWorldTransform", 24,
                &Player::MultiplyWorldTransform},
    RecordEntry{kTranslateWorldTransform, "EmfPlusTranslateWorldTransform", 8,
                &Player::TranslateWorldTransform},
    RecordEntry{kScaleWorldTransform, "EmfPlusScaleWorldTransform", 8,
                &Player::ScaleWorldTransform},
    RecordEntry{kRotateWorldTransform, "EmfPlusRotateWorldTransform", 4,
                &Player::RotateWorldTransform},
    RecordEntry{kSetPageTransform, "EmfPlusSetPageTransform", 0, &Player::SetPageTransform},
    RecordEntry{kResetClip, "EmfPlusResetClip", 0, &Player::ResetClip},
    RecordEntry{kSetClipRect, "EmfPlusSetClipRect", 16, &Player::SetClipRect},
    RecordEntry{kSetClipPath, "EmfPlusSetClipPath", 0, &Player::SetClipPath},
    RecordEntry{kSetClipRegion, "EmfPlusSetClipRegion", 0, &Player::SetClipRegion},
    RecordEntry{kOffsetClip, "EmfPlusOffsetClip", 8, &Player::OffsetClip},
    RecordEntry{kDrawDriverString, "EmfPlusDrawDriverString", 16, &Player::DrawDriverString},
    RecordEntry{kStrokeFillPath, "EmfPlusStrokeFillPath", 0, nullptr},
    RecordEntry{kSerializableObject, "EmfPlusSerializableObject", 0, nullptr},
    RecordEntry{kSetTSGraphics, "EmfPlusSetTSGraphics", 0, nullptr},
    RecordEntry{kSetTSClip, "EmfPlusSetTSClip", 0, nullptr},
};

static_assert(std::is_sorted(kRecords.begin(), kRecords.end(),
                             [](const RecordEntry& a, const RecordEntry& b) {
                               return a.type < b.type;
                             }));

}  // namespace

const char* RecordName(uint16_t type) {
  const RecordEntry* entry = FindRecord(type);
  return entry != nullptr ? entry->name : nullptr;
}

const RecordEntry* FindRecord(uint16_t type) {
  const auto it = std::lower_bound(
      kRecords.begin(), kRecords.end(), type,
      [](const RecordEntry& entry, uint16_t wanted) { return entry.type < wanted; });
  return it != kRecords.end() && it->type == type ? &*it : nullptr;
}

}  // namespace emfplus
