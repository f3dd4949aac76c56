// Objects and palettes: each new object takes the lowest free slot, as WMF numbers them;
// pens, brushes, fonts and palettes become their EMF records, regions are kept for the
// records that use them.
#include <algorithm>
#include <memory>

#include "base/text_util.h"
#include "emf/records/code_pages.h"
#include "emf/wmf/wmf_conversion.h"

namespace emf::wmf_reading {

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

int Converter::NewSlot(Slot::Kind kind) {
  size_t i = slots_.size();
  if (!free_slots_.empty()) {
    i = free_slots_.top();
    free_slots_.pop();
  } else {
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
  // The face name: up to 32 bytes, ending at the first zero or the record's end, in the code
  // page of the font's charset ('ＭＳ Ｐゴシック' in Shift-JIS); whole characters only.
  std::vector<uint8_t> name;
  for (size_t i = 0; i < 32 && r.Has(1); ++i) {
    const uint8_t c = r.U8();
    if (c == 0) {
      break;
    }
    name.push_back(c);
  }
  std::array<uint16_t, 32> face{};
  size_t units = 0;
  for (const uint32_t code : DecodeCodePage(name, font.charset)) {
    if (code == kContinuationByte || code == 0xFFFD) {
      continue;
    }
    const size_t needed = code > 0xFFFF ? 2 : 1;
    if (units + needed > face.size() - 1) {
      break;
    }
    if (needed == 2) {
      face[units++] = static_cast<uint16_t>(0xD800 + ((code - 0x10000) >> 10));
      face[units++] = static_cast<uint16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
    } else {
      face[units++] = static_cast<uint16_t>(code);
    }
    AppendUtf8(font.face, code);
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
  // The selected palette changes where it is: its slot and saved states holding it see it.
  Palette& palette = *s_.palette;
  for (size_t i = 0; i < count; ++i) {
    const auto entry = r.Bytes(4);
    if (start + i < palette.size()) {
      palette[start + i] = {entry[0], entry[1], entry[2]};
    }
  }
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
  slots_[static_cast<size_t>(slot)].region_id = ++regions_made_;
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
  free_slots_.push(index);
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

}  // namespace emf::wmf_reading
