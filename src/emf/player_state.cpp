// Device-context state: mapping modes, window and viewport, world transform, save and
// restore, and the simple attributes.
#include <cmath>
#include <cstring>

#include "emf/gdi_constants.h"
#include "emf/player.h"
#include "emf/record_fields.h"

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

void Player::SetFixedMapMode(int mode) {
  const emf::Header& h = file_.header();
  const double per_mm = UnitsPerMillimetre(mode);
  if (per_mm == 0) {
    state_.window_ext = state_.viewport_ext = {1, 1};
    return;
  }
  state_.window_ext = {h.millimeters.cx * per_mm, h.millimeters.cy * per_mm};
  state_.viewport_ext = {static_cast<double>(h.device.cx), -static_cast<double>(h.device.cy)};
}

void Player::FixIsotropic() {
  if (state_.map_mode != kMmIsotropic || state_.window_ext.x == 0 || state_.window_ext.y == 0) {
    return;
  }
  const emf::Header& h = file_.header();
  const double mm_x = h.device.cx != 0 ? static_cast<double>(h.millimeters.cx) / h.device.cx : 1;
  const double mm_y = h.device.cy != 0 ? static_cast<double>(h.millimeters.cy) / h.device.cy : 1;
  const double xdim = state_.viewport_ext.x * mm_x / state_.window_ext.x;
  const double ydim = state_.viewport_ext.y * mm_y / state_.window_ext.y;
  if (xdim == 0 || ydim == 0) {
    return;
  }
  // The larger scale shrinks to the smaller, keeping its sign.
  if (std::fabs(xdim) > std::fabs(ydim)) {
    state_.viewport_ext.x = std::floor(state_.viewport_ext.x * std::fabs(ydim / xdim) + 0.5);
  } else {
    state_.viewport_ext.y = std::floor(state_.viewport_ext.y * std::fabs(xdim / ydim) + 0.5);
  }
}

void Player::SetMapMode(ByteReader& r) {
  const int mode = r.I32();
  if (mode < kMmText || mode > kMmAnisotropic) {
    return;
  }
  state_.map_mode = mode;
  if (mode == kMmText) {
    state_.window_ext = state_.viewport_ext = {1, 1};
  } else if (mode < kMmIsotropic) {
    SetFixedMapMode(mode);
  } else if (mode == kMmIsotropic) {
    // Switching keeps the extents of the previous mode, as MM_ISOTROPIC starts from them.
    FixIsotropic();
  }
}

void Player::SetWindowExtEx(ByteReader& r) {
  const Point ext = ReadPointL(r);
  if (state_.map_mode < kMmIsotropic || ext.x == 0 || ext.y == 0) {
    return;  // only the scalable modes take extents; zero is refused
  }
  state_.window_ext = ext;
  FixIsotropic();
}

void Player::SetViewportExtEx(ByteReader& r) {
  const Point ext = ReadPointL(r);
  if (state_.map_mode < kMmIsotropic || ext.x == 0 || ext.y == 0) {
    return;
  }
  state_.viewport_ext = ext;
  FixIsotropic();
}

void Player::SetWindowOrgEx(ByteReader& r) {
  state_.window_org = ReadPointL(r);
}

void Player::SetViewportOrgEx(ByteReader& r) {
  state_.viewport_org = ReadPointL(r);
}

void Player::ScaleViewportExtEx(ByteReader& r) {
  const double xnum = r.I32(), xdenom = r.I32(), ynum = r.I32(), ydenom = r.I32();
  if (state_.map_mode < kMmIsotropic || xdenom == 0 || ydenom == 0 || xnum == 0 || ynum == 0) {
    return;
  }
  state_.viewport_ext = {std::trunc(state_.viewport_ext.x * xnum / xdenom),
                         std::trunc(state_.viewport_ext.y * ynum / ydenom)};
  FixIsotropic();
}

void Player::ScaleWindowExtEx(ByteReader& r) {
  const double xnum = r.I32(), xdenom = r.I32(), ynum = r.I32(), ydenom = r.I32();
  if (state_.map_mode < kMmIsotropic || xdenom == 0 || ydenom == 0 || xnum == 0 || ynum == 0) {
    return;
  }
  state_.window_ext = {std::trunc(state_.window_ext.x * xnum / xdenom),
                       std::trunc(state_.window_ext.y * ynum / ydenom)};
  FixIsotropic();
}

void Player::SetWorldTransform(ByteReader& r) {
  const Transform t = ReadXform(r);
  if (r.Ok() && t.IsFinite() && t.Invertible()) {
    state_.world = t;
  }
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
