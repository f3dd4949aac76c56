// The device context's state: the mapping (shared with the player, so both shrink and scale
// alike), saved and restored states, and the bounds of what is drawn, which size a plain file.
#include <algorithm>
#include <cmath>

#include "emf/wmf/wmf_conversion.h"

namespace emf::wmf_reading {

// --- Mapping ---------------------------------------------------------------------------

void Converter::SetMapMode(ByteReader& r) {
  const uint16_t mode = r.U16();
  out_.Simple(kEmrSetMapMode, {mode});
  s_.map.SetMode(mode, device_.Size());
}

void Converter::SetWindowOrg(ByteReader& r) {
  const int16_t y = r.I16();
  const int16_t x = r.I16();
  out_.Simple(kEmrSetWindowOrgEx, {x, y});
  s_.map.window_org = {static_cast<double>(x), static_cast<double>(y)};
}

void Converter::SetWindowExt(ByteReader& r) {
  const int16_t y = r.I16();
  const int16_t x = r.I16();
  out_.Simple(kEmrSetWindowExtEx, {x, y});
  s_.map.SetWindowExt({static_cast<double>(x), static_cast<double>(y)}, device_.Size());
}

void Converter::SetViewportOrg(ByteReader& r) {
  const int16_t y = r.I16();
  const int16_t x = r.I16();
  out_.Simple(kEmrSetViewportOrgEx, {x, y});
  s_.map.viewport_org = {static_cast<double>(x), static_cast<double>(y)};
}

void Converter::SetViewportExt(ByteReader& r) {
  const int16_t y = r.I16();
  const int16_t x = r.I16();
  out_.Simple(kEmrSetViewportExtEx, {x, y});
  s_.map.SetViewportExt({static_cast<double>(x), static_cast<double>(y)}, device_.Size());
}

// EMF has no offset records: the origin moved is written as it now is.
void Converter::OffsetWindowOrg(ByteReader& r) {
  const int16_t y = r.I16();
  const int16_t x = r.I16();
  Point& org = s_.map.window_org;
  org = {org.x + x, org.y + y};
  out_.Simple(kEmrSetWindowOrgEx, {static_cast<int32_t>(org.x), static_cast<int32_t>(org.y)});
}

void Converter::OffsetViewportOrg(ByteReader& r) {
  const int16_t y = r.I16();
  const int16_t x = r.I16();
  Point& org = s_.map.viewport_org;
  org = {org.x + x, org.y + y};
  out_.Simple(kEmrSetViewportOrgEx, {static_cast<int32_t>(org.x), static_cast<int32_t>(org.y)});
}

void Converter::ScaleWindowExt(ByteReader& r) {
  const int16_t y_denom = r.I16();
  const int16_t y_num = r.I16();
  const int16_t x_denom = r.I16();
  const int16_t x_num = r.I16();
  out_.Simple(kEmrScaleWindowExtEx, {x_num, x_denom, y_num, y_denom});
  s_.map.ScaleWindowExt(x_num, x_denom, y_num, y_denom, device_.Size());
}

void Converter::ScaleViewportExt(ByteReader& r) {
  const int16_t y_denom = r.I16();
  const int16_t y_num = r.I16();
  const int16_t x_denom = r.I16();
  const int16_t x_num = r.I16();
  out_.Simple(kEmrScaleViewportExtEx, {x_num, x_denom, y_num, y_denom});
  s_.map.ScaleViewportExt(x_num, x_denom, y_num, y_denom, device_.Size());
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
  const Transform page = s_.map.PageTransform();
  const Point first = page.Apply({left, top}), second = page.Apply({right, bottom});
  // Each corner rounded as a point is.
  AddDeviceBounds(std::floor(first.x + 0.5), std::floor(first.y + 0.5), std::floor(second.x + 0.5),
                  std::floor(second.y + 0.5));
}

void Converter::AddDeviceBounds(double x0, double y0, double x1, double y1) {
  if (!std::isfinite(x0) || !std::isfinite(x1) || !std::isfinite(y0) || !std::isfinite(y1)) {
    return;
  }
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

}  // namespace emf::wmf_reading
