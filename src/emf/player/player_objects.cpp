// Pens, brushes, palettes and the object table with its stock objects.
#include <cmath>

#include "emf/canvas/dib.h"
#include "emf/player/player.h"
#include "emf/records/gdi_constants.h"
#include "formats/dib_header.h"

namespace emf {
namespace {

constexpr uint32_t kStockObject = 0x80000000u;
constexpr uint32_t kMaxObjects = 65536;
constexpr uint32_t kPsGeometric = 0x10000;

Brush SolidBrush(ColorRef color) {
  return Brush{Brush::kSolid, color, 0, nullptr, false};
}

// A DIB that a brush or pen record carries at the given offsets of the record.
std::shared_ptr<const Image> RecordDib(ByteReader& r, uint32_t off_bmi, uint32_t cb_bmi,
                                       uint32_t off_bits, uint32_t cb_bits, bool palette_indices) {
  const auto info = r.Slice(off_bmi, cb_bmi);
  const auto bits = r.Slice(off_bits, cb_bits);
  if (info.empty() || bits.empty()) {
    return nullptr;
  }
  auto image = DecodeDib(info, bits, false, palette_indices, nullptr);
  return image ? std::make_shared<const Image>(std::move(*image)) : nullptr;
}

// Whether a brush's bitmap is the monochrome kind whose bits take the text and background
// colours: one bit a pixel, its colour table black then white. Any other bitmap of a
// monochrome brush record keeps its own colours, as the DC's bitmap it becomes does.
bool BlackAndWhiteDib(std::span<const uint8_t> info) {
  dib::Header header;
  if (dib::ReadHeader(info, kMaxDibPixels, header) != dib::Check::kOk || header.bit_count != 1 ||
      header.palette_entries < 2) {
    return false;
  }
  ByteReader table(info);
  table.Seek(header.header_size);
  const size_t entry = header.palette_entry_size;
  if (!table.Has(2 * entry)) {
    return false;
  }
  const uint32_t first = entry == 4 ? table.U32() : (table.U16() | uint32_t{table.U8()} << 16);
  const uint32_t second = entry == 4 ? table.U32() : (table.U16() | uint32_t{table.U8()} << 16);
  return first == 0 && second == 0xFFFFFF;
}

// Hatch styles past HS_DIAGCROSS draw as the brush's colour.
Brush HatchedBrush(ColorRef color, uint32_t hatch) {
  constexpr uint32_t kLastHatch = 5;
  return hatch > kLastHatch
             ? SolidBrush(color)
             : Brush{Brush::kHatched, color, static_cast<int>(hatch), nullptr, false};
}

}  // namespace

GdiObject* Player::ObjectAt(uint32_t index) {
  if (index == 0 || index >= objects_.size()) {
    return nullptr;
  }
  return objects_[index].get();
}

void Player::StoreObject(uint32_t index, GdiObject object) {
  if (index == 0 || index >= kMaxObjects) {
    return;
  }
  if (index >= objects_.size()) {
    objects_.resize(index + 1);  // some writers count their handles short
  }
  objects_[index] = std::make_unique<GdiObject>(std::move(object));
}

void Player::CreatePen(ByteReader& r) {
  const uint32_t index = r.U32();
  GdiObject object;
  object.kind = GdiObject::kPen;
  object.pen.style = static_cast<int>(r.U32());
  // The width's sign is dropped; whether the pen draws as a wide solid one is settled on the
  // device, by its width there (CurrentStroke).
  object.pen.width = std::fabs(static_cast<double>(r.I32()));
  r.I32();
  object.pen.color = r.U32() & 0xFFFFFF;
  object.pen.brush = SolidBrush(object.pen.color);
  StoreObject(index, std::move(object));
}

void Player::ExtCreatePen(ByteReader& r) {
  const uint32_t index = r.U32();
  const uint32_t off_bmi = r.U32(), cb_bmi = r.U32(), off_bits = r.U32(), cb_bits = r.U32();
  GdiObject object;
  object.kind = GdiObject::kPen;
  const uint32_t style = r.U32();
  object.pen.style = static_cast<int>(style);
  object.pen.extended = true;
  object.pen.geometric = (style & kPsGeometric) != 0;
  // A cosmetic pen is one pixel wide whatever width it gives.
  object.pen.width = object.pen.geometric ? r.U32() : (r.U32(), 0);
  const uint32_t brush_style = r.U32();
  object.pen.color = r.U32() & 0xFFFFFF;
  const uint32_t hatch = r.U32();
  const uint32_t entries = r.U32();
  for (uint32_t i = 0; i < entries && i < 16 && r.Has(4); ++i) {
    object.pen.user_dashes.push_back(r.U32());
  }
  switch (brush_style) {
    case kBsNull:
      object.pen.brush = Brush{Brush::kNull, 0, 0, nullptr, false};
      object.pen.style = (object.pen.style & ~0xF) | 5;
      break;
    case kBsHatched:
      object.pen.brush = HatchedBrush(object.pen.color, hatch);
      break;
    case kBsPattern:
    case kBsDibPattern:
    case kBsDibPatternPt:
      object.pen.brush = SolidBrush(object.pen.color);
      if (auto image = RecordDib(r, off_bmi, cb_bmi, off_bits, cb_bits, false)) {
        object.pen.brush = Brush{Brush::kPattern, object.pen.color, 0, image, false};
      }
      break;
    default:
      object.pen.brush = SolidBrush(object.pen.color);
      break;
  }
  StoreObject(index, std::move(object));
}

void Player::CreateBrushIndirect(ByteReader& r) {
  const uint32_t index = r.U32();
  const uint32_t style = r.U32();
  const ColorRef color = r.U32() & 0xFFFFFF;
  const uint32_t hatch = r.U32();
  GdiObject object;
  object.kind = GdiObject::kBrush;
  switch (style) {
    case kBsNull:
      object.brush = Brush{Brush::kNull, 0, 0, nullptr, false};
      break;
    case kBsHatched:
      object.brush = HatchedBrush(color, hatch);
      break;
    default:
      object.brush = SolidBrush(color);
      break;
  }
  StoreObject(index, std::move(object));
}

// EMR_CREATEDIBPATTERNBRUSHPT and EMR_CREATEMONOBRUSH: a brush of the record's bitmap;
// a monochrome one takes the text and background colours.
void Player::CreatePatternBrush(ByteReader& r, bool monochrome) {
  const uint32_t index = r.U32();
  const uint32_t usage = r.U32();
  const uint32_t off_bmi = r.U32(), cb_bmi = r.U32(), off_bits = r.U32(), cb_bits = r.U32();
  GdiObject object;
  object.kind = GdiObject::kBrush;
  object.brush = SolidBrush(0);
  if (auto image = RecordDib(r, off_bmi, cb_bmi, off_bits, cb_bits, usage == 1)) {
    const bool two_colours = monochrome && BlackAndWhiteDib(r.Slice(off_bmi, cb_bmi));
    object.brush = Brush{Brush::kPattern, 0, 0, image, two_colours};
  }
  StoreObject(index, std::move(object));
}

void Player::CreateDibPatternBrushPt(ByteReader& r) {
  CreatePatternBrush(r, false);
}
void Player::CreateMonoBrush(ByteReader& r) {
  CreatePatternBrush(r, true);
}

void Player::CreatePalette(ByteReader& r) {
  GdiObject object;
  object.kind = GdiObject::kPalette;
  StoreObject(r.U32(), std::move(object));
}

void Player::CreateColorSpace(ByteReader& r) {
  GdiObject object;
  object.kind = GdiObject::kColorSpace;
  StoreObject(r.U32(), std::move(object));
}

void Player::SelectObject(ByteReader& r) {
  const uint32_t index = r.U32();
  if (index & kStockObject) {
    switch (index & ~kStockObject) {
      case 0:
        state_.brush = SolidBrush(0xFFFFFF);
        break;  // WHITE_BRUSH
      case 1:
        state_.brush = SolidBrush(0xC0C0C0);
        break;  // LTGRAY_BRUSH
      case 2:
        state_.brush = SolidBrush(0x808080);
        break;  // GRAY_BRUSH
      case 3:
        state_.brush = SolidBrush(0x404040);
        break;  // DKGRAY_BRUSH
      case 4:
        state_.brush = SolidBrush(0);
        break;  // BLACK_BRUSH
      case 5:
        state_.brush = Brush{Brush::kNull, 0, 0, nullptr, false};
        break;  // NULL_BRUSH
      case 6:
        state_.pen = Pen{0, 0, 0xFFFFFF, false, {}, SolidBrush(0xFFFFFF)};
        break;
      case 7:
        state_.pen = Pen{0, 0, 0, false, {}, SolidBrush(0)};
        break;
      case 8:
        state_.pen = Pen{5, 0, 0, false, {}, SolidBrush(0)};
        break;  // NULL_PEN
      case 10:
      case 11:
      case 12:
      case 13:
      case 14:
      case 16:
      case 17:
        state_.font = nullptr;  // the default face
        break;
      case 18:
        state_.brush = SolidBrush(0xFFFFFF);
        break;  // DC_BRUSH
      case 19:
        state_.pen = Pen{0, 0, 0, false, {}, SolidBrush(0)};
        break;  // DC_PEN
      default:
        break;
    }
    return;
  }
  const GdiObject* object = ObjectAt(index);
  if (object == nullptr) {
    return;
  }
  switch (object->kind) {
    case GdiObject::kPen:
      state_.pen = object->pen;
      RealizePen();
      break;
    case GdiObject::kBrush:
      state_.brush = object->brush;
      break;
    case GdiObject::kFont:
      state_.font = object->font;
      break;
    default:
      break;
  }
}

void Player::DeleteObject(ByteReader& r) {
  const uint32_t index = r.U32();
  if ((index & kStockObject) == 0 && index < objects_.size()) {
    objects_[index].reset();
  }
}

void Player::SelectPalette(ByteReader&) {}

}  // namespace emf
