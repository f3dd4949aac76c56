#include "emf/player/mapping.h"

#include <cmath>

#include "emf/records/gdi_constants.h"

namespace emf {
namespace {

// What num / denom cuts to nothing stays one unit, as GDI keeps it.
double ScaledExtent(double ext, double num, double denom) {
  const double scaled = std::trunc(ext * num / denom);
  return scaled != 0 ? scaled : 1;
}

// The shrunk extent, never zero: an extent shrunk to nothing keeps one unit of its sign.
double Shrunk(double ext, double factor) {
  const double shrunk = std::floor(ext * factor + 0.5);
  return shrunk != 0 ? shrunk : (ext >= 0 ? 1 : -1);
}

}  // namespace

void Mapping::SetMode(int new_mode, const DeviceSize& device) {
  if (new_mode < kMmText || new_mode > kMmAnisotropic) {
    return;
  }
  mode = new_mode;
  const double per_mm = UnitsPerMillimetre(mode);
  if (mode == kMmText || (mode < kMmIsotropic && per_mm == 0)) {
    window_ext = viewport_ext = {1, 1};
  } else if (mode < kMmIsotropic) {
    window_ext = {device.width_mm * per_mm, device.height_mm * per_mm};  // y grows upwards
    viewport_ext = {device.width, -device.height};
  } else {
    FixIsotropic(device);
  }
}

void Mapping::SetWindowExt(Point ext, const DeviceSize& device) {
  if (mode < kMmIsotropic || ext.x == 0 || ext.y == 0) {
    return;
  }
  window_ext = ext;
  FixIsotropic(device);
}

void Mapping::SetViewportExt(Point ext, const DeviceSize& device) {
  if (mode < kMmIsotropic || ext.x == 0 || ext.y == 0) {
    return;
  }
  viewport_ext = ext;
  FixIsotropic(device);
}

void Mapping::ScaleWindowExt(double x_num, double x_denom, double y_num, double y_denom,
                             const DeviceSize& device) {
  if (mode < kMmIsotropic || x_denom == 0 || y_denom == 0 || x_num == 0 || y_num == 0) {
    return;
  }
  window_ext = {ScaledExtent(window_ext.x, x_num, x_denom),
                ScaledExtent(window_ext.y, y_num, y_denom)};
  FixIsotropic(device);
}

void Mapping::ScaleViewportExt(double x_num, double x_denom, double y_num, double y_denom,
                               const DeviceSize& device) {
  if (mode < kMmIsotropic || x_denom == 0 || y_denom == 0 || x_num == 0 || y_num == 0) {
    return;
  }
  viewport_ext = {ScaledExtent(viewport_ext.x, x_num, x_denom),
                  ScaledExtent(viewport_ext.y, y_num, y_denom)};
  FixIsotropic(device);
}

void Mapping::FixIsotropic(const DeviceSize& device) {
  if (mode != kMmIsotropic || window_ext.x == 0 || window_ext.y == 0) {
    return;
  }
  const double mm_x = device.width != 0 ? device.width_mm / device.width : 1;
  const double mm_y = device.height != 0 ? device.height_mm / device.height : 1;
  const double xdim = viewport_ext.x * mm_x / window_ext.x;
  const double ydim = viewport_ext.y * mm_y / window_ext.y;
  if (xdim == 0 || ydim == 0) {
    return;
  }
  if (std::fabs(xdim) > std::fabs(ydim)) {
    viewport_ext.x = Shrunk(viewport_ext.x, std::fabs(ydim / xdim));
  } else if (std::fabs(ydim) > std::fabs(xdim)) {
    viewport_ext.y = Shrunk(viewport_ext.y, std::fabs(xdim / ydim));
  }
}

Transform Mapping::PageTransform() const {
  Transform page;
  const double sx = window_ext.x != 0 ? viewport_ext.x / window_ext.x : 0;
  const double sy = window_ext.y != 0 ? viewport_ext.y / window_ext.y : 0;
  page.m11 = sx;
  page.m22 = sy;
  page.dx = viewport_org.x - window_org.x * sx;
  page.dy = viewport_org.y - window_org.y * sy;
  return page;
}

}  // namespace emf
