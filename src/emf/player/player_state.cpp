// Device-context state: mapping modes, window and viewport, world transform, save and
// restore, and the simple attributes.
#include <cmath>
#include <cstring>

#include "emf/player/player.h"
#include "emf/records/gdi_constants.h"
#include "emf/records/record_fields.h"

namespace emf {
namespace {

Transform ReadXform(ByteReader& r) {
  Transform t;
  t.m11 = r.F32();
  t.m12 = r.F32();
  t.m21 = r.F32();
  t.m22 = r.F32();
  t.dx = r.F32();
  t.dy = r.F32();
  return t;
}

}  // namespace

DeviceSize Player::Device() const {
  const emf::Header& h = file_.header();
  return {static_cast<double>(h.device.cx), static_cast<double>(h.device.cy),
          static_cast<double>(h.millimeters.cx), static_cast<double>(h.millimeters.cy)};
}

void Player::SetMapMode(ByteReader& r) {
  state_.map.SetMode(r.I32(), Device());
  TransformChanged();
}

void Player::SetWindowExtEx(ByteReader& r) {
  state_.map.SetWindowExt(ReadPointL(r), Device());
  TransformChanged();
}

void Player::SetViewportExtEx(ByteReader& r) {
  state_.map.SetViewportExt(ReadPointL(r), Device());
  TransformChanged();
}

void Player::SetWindowOrgEx(ByteReader& r) {
  state_.map.window_org = ReadPointL(r);
}

void Player::SetViewportOrgEx(ByteReader& r) {
  state_.map.viewport_org = ReadPointL(r);
}

void Player::ScaleViewportExtEx(ByteReader& r) {
  const double x_num = r.I32(), x_denom = r.I32(), y_num = r.I32(), y_denom = r.I32();
  state_.map.ScaleViewportExt(x_num, x_denom, y_num, y_denom, Device());
  TransformChanged();
}

void Player::ScaleWindowExtEx(ByteReader& r) {
  const double x_num = r.I32(), x_denom = r.I32(), y_num = r.I32(), y_denom = r.I32();
  state_.map.ScaleWindowExt(x_num, x_denom, y_num, y_denom, Device());
  TransformChanged();
}

void Player::SetWorldTransform(ByteReader& r) {
  const Transform t = ReadXform(r);
  if (r.Ok() && t.IsFinite() && t.Invertible()) {
    state_.world = t;
  }
  TransformChanged();
}

void Player::ModifyWorldTransform(ByteReader& r) {
  const Transform t = ReadXform(r);
  const uint32_t mode = r.U32();
  if (!r.Ok() || !t.IsFinite()) {
    return;
  }
  Transform next = state_.world;
  switch (mode) {
    case 1:  // MWT_IDENTITY
      next = Transform{};
      break;
    case 2:  // MWT_LEFTMULTIPLY: the new transform applies first
      next = t.Then(state_.world);
      break;
    case 3:  // MWT_RIGHTMULTIPLY
      next = state_.world.Then(t);
      break;
    case 4:  // MWT_SET
      next = t;
      break;
    default:
      return;
  }
  if (next.IsFinite() && next.Invertible()) {
    state_.world = next;
  }
  TransformChanged();
}

void Player::SaveDC(ByteReader&) {
  // A runaway page cannot grow the stack without end.
  if (saved_.size() < 4096) {
    saved_.push_back(state_);
  }
}

void Player::RestoreDC(ByteReader& r) {
  const int32_t which = r.I32();
  const long depth = static_cast<long>(saved_.size());
  // Negative: relative to the top; positive: the absolute level (1 is the first save).
  const long target = which < 0 ? depth + which : static_cast<long>(which) - 1;
  if (target < 0 || target >= depth) {
    return;
  }
  state_ = saved_[static_cast<size_t>(target)];
  saved_.resize(static_cast<size_t>(target));
  UpdateClip();
  RealizePen();  // GDI chooses the restored pen again, under the restored transform
}

void Player::SetBkMode(ByteReader& r) {
  state_.bk_mode = r.I32();
}
void Player::SetBkColor(ByteReader& r) {
  state_.bk_color = r.U32() & 0xFFFFFF;
}
void Player::SetTextColor(ByteReader& r) {
  state_.text_color = r.U32() & 0xFFFFFF;
}
void Player::SetTextAlign(ByteReader& r) {
  state_.text_align = r.U32();
}

void Player::SetPolyFillMode(ByteReader& r) {
  const int mode = r.I32();
  if (mode == kFillAlternate || mode == kFillWinding) {
    state_.poly_fill_mode = mode;
  }
}

void Player::SetRop2(ByteReader& r) {
  const int rop = r.I32();
  if (rop >= 1 && rop <= 16) {
    state_.rop2 = rop;
  }
}

void Player::SetStretchBltMode(ByteReader& r) {
  state_.stretch_mode = r.I32();
}

void Player::SetArcDirection(ByteReader& r) {
  const int direction = r.I32();
  if (direction == kArcCounterClockwise || direction == kArcClockwise) {
    state_.arc_direction = direction;
  }
}

void Player::SetMiterLimit(ByteReader& r) {
  // The record holds a 32-bit value: a float in most writers, an integer in some.
  const uint32_t bits = r.U32();
  float as_float;
  std::memcpy(&as_float, &bits, sizeof as_float);
  const double limit = (std::isfinite(as_float) && as_float >= 1 && as_float < 1e6)
                           ? as_float
                           : static_cast<double>(bits);
  if (limit >= 1 && limit < 1e6) {
    state_.miter_limit = limit;
  }
}

void Player::SetBrushOrgEx(ByteReader& r) {
  state_.brush_origin = ReadPointL(r);
}
void Player::SetLayout(ByteReader& r) {
  state_.layout = r.U32();
}
void Player::MoveToEx(ByteReader& r) {
  state_.position = ReadPointL(r);
  if (in_path_) {
    path_.MoveTo(ToCanvas(state_.position));
  }
}

}  // namespace emf
