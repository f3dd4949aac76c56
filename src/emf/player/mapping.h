// A device context's mapping from logical units to the device, kept as GDI keeps it: the
// mapping mode, the window and the viewport. The EMF player and the WMF reader each keep one,
// so both map, shrink and scale alike.
#pragma once

#include "emf/records/geometry.h"

namespace emf {

// The device mapped onto: its size in pixels and millimetres. The fixed modes map millimetres
// onto its pixels; MM_ISOTROPIC keeps a logical unit equally long on both axes of it.
struct DeviceSize {
  double width = 0, height = 0, width_mm = 0, height_mm = 0;
};

struct Mapping {
  int mode = 1;  // MM_TEXT
  Point window_org, window_ext{1, 1}, viewport_org, viewport_ext{1, 1};

  // A mode outside MM_TEXT..MM_ANISOTROPIC is ignored. MM_TEXT and the fixed modes set both
  // extents; MM_ISOTROPIC starts from the extents there are.
  void SetMode(int new_mode, const DeviceSize& device);
  // Extents apply in MM_ISOTROPIC and MM_ANISOTROPIC only, and a zero extent is refused.
  void SetWindowExt(Point ext, const DeviceSize& device);
  void SetViewportExt(Point ext, const DeviceSize& device);
  // Each extent times num / denom, cut to a whole number; an extent cut to nothing becomes 1.
  // Ignored when any factor is zero.
  void ScaleWindowExt(double x_num, double x_denom, double y_num, double y_denom,
                      const DeviceSize& device);
  void ScaleViewportExt(double x_num, double x_denom, double y_num, double y_denom,
                        const DeviceSize& device);
  // Logical units to device units (before any world transform).
  Transform PageTransform() const;

 private:
  // MM_ISOTROPIC: the viewport extent of the larger scale shrinks to the smaller one, to a
  // whole number that keeps its sign and is never zero.
  void FixIsotropic(const DeviceSize& device);
};

}  // namespace emf
