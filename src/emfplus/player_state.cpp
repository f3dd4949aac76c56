// The drawing state: smoothing, transforms, saved states and containers.
#include <cmath>
#include <numbers>

#include "emfplus/player.h"

namespace emfplus {
namespace {

constexpr uint16_t kAppend = 0x2000;  // the transform applies after the world transform

enum PageUnit : uint32_t {
  kUnitWorld = 0,
  kUnitDisplay = 1,
  kUnitPixel = 2,
  kUnitPoint = 3,
  kUnitInch = 4,
  kUnitDocument = 5,
  kUnitMillimeter = 6,
};

emf::Transform ReadMatrix(emf::ByteReader& r) {
  emf::Transform m;
  m.m11 = r.F32();
  m.m12 = r.F32();
  m.m21 = r.F32();
  m.m22 = r.F32();
  m.dx = r.F32();
  m.dy = r.F32();
  return m;
}

}  // namespace

double Player::UnitInPixels(uint32_t unit, double dpi) {
  switch (unit) {
    case kUnitPoint:
      return dpi / 72.0;
    case kUnitInch:
      return dpi;
    case kUnitDocument:
      return dpi / 300.0;
    case kUnitMillimeter:
      return dpi / 25.4;
    case kUnitDisplay:
      // A metafile's display unit is a hundredth of an inch, as a printer's: the default
      // page unit, which draws a page without a page transform at 96% on a 96 dpi device.
      return dpi / 100.0;
    default:  // world and pixel: a pixel of the reference device
      return 1.0;
  }
}

emf::Transform Player::PageToDevice() const {
  const double scale = std::isfinite(state_.page_scale) ? state_.page_scale : 1.0;
  return {UnitInPixels(state_.page_unit, dpi_x_) * scale, 0, 0,
          UnitInPixels(state_.page_unit, dpi_y_) * scale, 0, 0};
}

emf::Transform Player::WorldToTarget() const {
  return state_.world.Then(state_.container).Then(PageToDevice()).Then(device_to_target_);
}

void Player::SetAntiAliasMode(const Record& record, emf::ByteReader&) {
  state_.antialias = (record.flags & 1) != 0;
}

void Player::SetInterpolationMode(const Record& record, emf::ByteReader&) {
  state_.interpolation = record.flags & 0xFF;
}

void Player::SetPixelOffsetMode(const Record& record, emf::ByteReader&) {
  // Shapes keep their pixels whatever the mode (as the reference renderer draws them); it
  // places bitmaps' samples.
  constexpr int kHighQuality = 2, kHalf = 4;
  const int mode = record.flags & 0xFF;
  state_.pixel_offset_half = mode == kHighQuality || mode == kHalf;
}

void Player::Save(const Record& record, emf::ByteReader& r) {
  const uint32_t index = r.U32();
  if (saved_.size() >= kMaxSavedStates) {
    Skip(record, "too many saved states");
    return;
  }
  saved_.emplace_back(index, state_);
}

void Player::Restore(const Record& record, emf::ByteReader& r) {
  const uint32_t index = r.U32();
  // The state saved under the index comes back, and every state saved after it is dropped.
  for (size_t i = saved_.size(); i-- > 0;) {
    if (saved_[i].first == index) {
      state_ = std::move(saved_[i].second);
      saved_.resize(i);
      clip_applied_ = false;
      return;
    }
  }
  Skip(record, "no such saved state");
}

void Player::BeginContainer(const Record& record, emf::ByteReader& r) {
  const RectF dest = ReadRect(r, false);
  const RectF source = ReadRect(r, false);
  const uint32_t index = r.U32();
  // The source rectangle (the container's units) maps onto the destination, which the
  // reference renderer takes in the page's units whatever unit the record names.
  emf::Transform map;
  if (source.width != 0 && source.height != 0) {
    map.m11 = dest.width / source.width;
    map.m22 = dest.height / source.height;
    map.dx = dest.x - source.x * map.m11;
    map.dy = dest.y - source.y * map.m22;
  }
  EnterContainer(record, index, map);
}

void Player::BeginContainerNoParams(const Record& record, emf::ByteReader& r) {
  EnterContainer(record, r.U32(), emf::Transform{});
}

void Player::EnterContainer(const Record& record, uint32_t index, const emf::Transform& map) {
  if (saved_.size() >= kMaxSavedStates) {
    Skip(record, "too many saved states");
    return;
  }
  saved_.emplace_back(index, state_);
  // Inside, the world transform and the clip start afresh; what the container maps to, and
  // the clip it is drawn in, stay beneath them.
  state_.container = map.Then(state_.world).Then(state_.container);
  state_.world = emf::Transform{};
  state_.container_clip = EffectiveClip();
  state_.clip = nullptr;
}

void Player::EndContainer(const Record& record, emf::ByteReader& r) {
  Restore(record, r);
}

void Player::SetWorldTransform(const Record&, emf::ByteReader& r) {
  state_.world = ReadMatrix(r);
}

void Player::ResetWorldTransform(const Record&, emf::ByteReader&) {
  state_.world = emf::Transform{};
}

void Player::Multiply(const emf::Transform& m, bool append) {
  // Prepended, the new transform applies to points first; appended, after the world's.
  state_.world = append ? state_.world.Then(m) : m.Then(state_.world);
}

void Player::MultiplyWorldTransform(const Record& record, emf::ByteReader& r) {
  Multiply(ReadMatrix(r), (record.flags & kAppend) != 0);
}

void Player::TranslateWorldTransform(const Record& record, emf::ByteReader& r) {
  const double dx = r.F32();
  const double dy = r.F32();
  Multiply({1, 0, 0, 1, dx, dy}, (record.flags & kAppend) != 0);
}

void Player::ScaleWorldTransform(const Record& record, emf::ByteReader& r) {
  const double sx = r.F32();
  const double sy = r.F32();
  Multiply({sx, 0, 0, sy, 0, 0}, (record.flags & kAppend) != 0);
}

void Player::RotateWorldTransform(const Record& record, emf::ByteReader& r) {
  const double radians = r.F32() * std::numbers::pi / 180.0;
  const double c = std::cos(radians);
  const double s = std::sin(radians);
  Multiply({c, s, -s, c, 0, 0}, (record.flags & kAppend) != 0);
}

void Player::SetPageTransform(const Record& record, emf::ByteReader& r) {
  state_.page_unit = record.flags & 0xFF;
  // Some writers leave the scale out: the unit alone then, at its own size.
  state_.page_scale = r.Remaining() >= 4 ? r.F32() : 1.0;
}

}  // namespace emfplus
