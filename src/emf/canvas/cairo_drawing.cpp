// What the canvas and the vector target draw alike straight onto a cairo context: paths,
// colours, gradients, image patterns and regions.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "emf/canvas/canvas.h"

namespace emf {
namespace {

// A COLORREF (0x00BBGGRR) as cairo's channels, 0 to 1.
struct UnitRgb {
  double red, green, blue;
};
UnitRgb ToUnitRgb(ColorRef color) {
  return {(color & 0xFF) / 255.0, ((color >> 8) & 0xFF) / 255.0, ((color >> 16) & 0xFF) / 255.0};
}

void AddColorStop(cairo_pattern_t* pattern, double offset, ColorRef color) {
  const UnitRgb c = ToUnitRgb(color);
  cairo_pattern_add_color_stop_rgb(pattern, offset, c.red, c.green, c.blue);
}

}  // namespace

void FillGradientRectOn(cairo_t* cr, Point p0, Point p1, ColorRef c0, ColorRef c1, bool vertical) {
  const Pattern gradient(vertical ? cairo_pattern_create_linear(0, p0.y, 0, p1.y)
                                  : cairo_pattern_create_linear(p0.x, 0, p1.x, 0));
  AddColorStop(gradient.get(), 0, c0);
  AddColorStop(gradient.get(), 1, c1);
  cairo_new_path(cr);
  cairo_rectangle(cr, std::min(p0.x, p1.x), std::min(p0.y, p1.y), std::fabs(p1.x - p0.x),
                  std::fabs(p1.y - p0.y));
  cairo_set_source(cr, gradient.get());
  cairo_fill(cr);
}

// cairo's mesh rasterizer takes time in proportion to a patch's size, so a triangle reaching
// far past the surface is cut to the clip's box first and shaded as a fan of the pieces left.
// The shading is linear across the triangle, so each corner of a piece takes the colour the
// whole triangle gives that point.
void FillGradientTriangleOn(cairo_t* cr, const Point (&p)[3], const ColorRef (&c)[3]) {
  const double ux = p[1].x - p[0].x, uy = p[1].y - p[0].y;
  const double vx = p[2].x - p[0].x, vy = p[2].y - p[0].y;
  const double area = ux * vy - uy * vx;
  if (!std::isfinite(area) || area == 0) {
    return;  // no inside to shade
  }
  double left = 0, top = 0, right = 0, bottom = 0;
  cairo_clip_extents(cr, &left, &top, &right, &bottom);
  // A pixel of slack keeps the cut edges outside what antialiasing touches.
  left -= 1;
  top -= 1;
  right += 1;
  bottom += 1;
  std::vector<Point> poly(std::begin(p), std::end(p));
  // Keeps the part of poly on the inside of one side of the box (Sutherland-Hodgman).
  const auto cut = [&poly](auto inside, auto cross) {
    std::vector<Point> out;
    for (size_t i = 0; i < poly.size(); ++i) {
      const Point a = poly[i], b = poly[(i + 1) % poly.size()];
      if (inside(a)) {
        out.push_back(a);
        if (!inside(b)) {
          out.push_back(cross(a, b));
        }
      } else if (inside(b)) {
        out.push_back(cross(a, b));
      }
    }
    poly = std::move(out);
  };
  const auto at_x = [](double x) {
    return [x](Point a, Point b) { return Point{x, a.y + (b.y - a.y) * (x - a.x) / (b.x - a.x)}; };
  };
  const auto at_y = [](double y) {
    return [y](Point a, Point b) { return Point{a.x + (b.x - a.x) * (y - a.y) / (b.y - a.y), y}; };
  };
  cut([left](Point q) { return q.x >= left; }, at_x(left));
  cut([right](Point q) { return q.x <= right; }, at_x(right));
  cut([top](Point q) { return q.y >= top; }, at_y(top));
  cut([bottom](Point q) { return q.y <= bottom; }, at_y(bottom));
  if (poly.size() < 3) {
    return;
  }
  const UnitRgb k[3] = {ToUnitRgb(c[0]), ToUnitRgb(c[1]), ToUnitRgb(c[2])};
  const auto colour_at = [&](Point q) {
    const double dx = q.x - p[0].x, dy = q.y - p[0].y;
    const double s = (dx * vy - dy * vx) / area, t = (ux * dy - uy * dx) / area;
    const auto mix = [s, t](double c0, double c1, double c2) {
      return std::clamp(c0 + s * (c1 - c0) + t * (c2 - c0), 0.0, 1.0);
    };
    return UnitRgb{mix(k[0].red, k[1].red, k[2].red), mix(k[0].green, k[1].green, k[2].green),
                   mix(k[0].blue, k[1].blue, k[2].blue)};
  };
  const Pattern mesh(cairo_pattern_create_mesh());
  for (size_t i = 1; i + 1 < poly.size(); ++i) {
    const Point corners[3] = {poly[0], poly[i], poly[i + 1]};
    cairo_mesh_pattern_begin_patch(mesh.get());
    cairo_mesh_pattern_move_to(mesh.get(), corners[0].x, corners[0].y);
    cairo_mesh_pattern_line_to(mesh.get(), corners[1].x, corners[1].y);
    cairo_mesh_pattern_line_to(mesh.get(), corners[2].x, corners[2].y);
    for (unsigned j = 0; j < 3; ++j) {
      const UnitRgb corner = colour_at(corners[j]);
      cairo_mesh_pattern_set_corner_color_rgb(mesh.get(), j, corner.red, corner.green, corner.blue);
    }
    cairo_mesh_pattern_end_patch(mesh.get());
  }
  cairo_new_path(cr);
  cairo_move_to(cr, poly[0].x, poly[0].y);
  for (size_t i = 1; i < poly.size(); ++i) {
    cairo_line_to(cr, poly[i].x, poly[i].y);
  }
  cairo_close_path(cr);
  cairo_set_source(cr, mesh.get());
  cairo_fill(cr);
}

// The pattern that maps the source rectangle onto the parallelogram.
Pattern ImagePattern(cairo_surface_t* surface, double sx, double sy, double sw, double sh, Point tl,
                     Point tr, Point bl, bool smooth) {
  Pattern pattern(cairo_pattern_create_for_surface(surface));
  // Source unit square -> parallelogram, then invert for cairo's user-to-pattern matrix.
  cairo_matrix_t to_device;
  cairo_matrix_init(&to_device, (tr.x - tl.x) / sw, (tr.y - tl.y) / sw, (bl.x - tl.x) / sh,
                    (bl.y - tl.y) / sh, tl.x, tl.y);
  // A smoothed transfer that grows an upright source both ways blends the neighbours of
  // source point (x, y) * source / destination, measured from the pixels' corners rather
  // than their centres: the picture sits half a source pixel up and left of where centres
  // put it, and its last row and column repeat (tests/gdi-pages' blt-halftone-grow). A size
  // kept one to one counts as grown, whatever the page's scale rounds it to.
  const double dw = tr.x - tl.x, dh = bl.y - tl.y;
  const bool grows = smooth && tr.y == tl.y && bl.x == tl.x && sw > 0 && sh > 0 &&
                     dw >= sw * 0.999 && dh >= sh * 0.999;
  const double shift_x = grows ? 0.5 * (1 - sw / dw) : 0;
  const double shift_y = grows ? 0.5 * (1 - sh / dh) : 0;
  cairo_matrix_t offset;
  cairo_matrix_init_translate(&offset, -sx - shift_x, -sy - shift_y);
  cairo_matrix_t full;
  cairo_matrix_multiply(&full, &offset, &to_device);
  if (cairo_matrix_invert(&full) == CAIRO_STATUS_SUCCESS) {
    cairo_pattern_set_matrix(pattern.get(), &full);
  }
  cairo_pattern_set_filter(pattern.get(), grows    ? CAIRO_FILTER_BILINEAR
                                          : smooth ? CAIRO_FILTER_GOOD
                                                   : CAIRO_FILTER_NEAREST);
  cairo_pattern_set_extend(pattern.get(), CAIRO_EXTEND_PAD);
  return pattern;
}

void BlendSurfaceOn(cairo_t* cr, cairo_surface_t* surface, double sx, double sy, double sw,
                    double sh, Point tl, Point tr, Point bl, int constant_alpha) {
  const Pattern source = ImagePattern(surface, sx, sy, sw, sh, tl, tr, bl, false);
  cairo_save(cr);
  BuildPath(cr, Parallelogram(tl, tr, bl));
  cairo_clip(cr);
  cairo_set_source(cr, source.get());
  cairo_paint_with_alpha(cr, std::clamp(constant_alpha, 0, 255) / 255.0);
  cairo_restore(cr);
}

Path Parallelogram(Point tl, Point tr, Point bl) {
  Path path;
  path.MoveTo(tl);
  path.LineTo(tr);
  path.LineTo({tr.x + bl.x - tl.x, tr.y + bl.y - tl.y});
  path.LineTo(bl);
  path.Close();
  return path;
}

void SetSourceColor(cairo_t* cr, ColorRef color) {
  const UnitRgb c = ToUnitRgb(color);
  cairo_set_source_rgb(cr, c.red, c.green, c.blue);
}

void BuildPath(cairo_t* cr, const Path& path) {
  cairo_new_path(cr);
  for (const PathSegment& s : path.segments) {
    switch (s.kind) {
      case PathSegment::kMove:
        cairo_move_to(cr, s.p[0].x, s.p[0].y);
        break;
      case PathSegment::kLine:
        cairo_line_to(cr, s.p[0].x, s.p[0].y);
        break;
      case PathSegment::kCurve:
        cairo_curve_to(cr, s.p[0].x, s.p[0].y, s.p[1].x, s.p[1].y, s.p[2].x, s.p[2].y);
        break;
      case PathSegment::kClose:
        cairo_close_path(cr);
        break;
    }
  }
}

Region MakeRegion() {
  return Region(cairo_region_create());
}

Region MakeRegion(int left, int top, int right, int bottom) {
  cairo_rectangle_int_t rect{left, top, std::max(0, right - left), std::max(0, bottom - top)};
  return Region(cairo_region_create_rectangle(&rect));
}

Region CopyRegion(const cairo_region_t* region) {
  return Region(cairo_region_copy(region));
}

}  // namespace emf

namespace emf {

void SetSourceArgb(cairo_t* cr, uint32_t argb) {
  cairo_set_source_rgba(cr, ((argb >> 16) & 0xFF) / 255.0, ((argb >> 8) & 0xFF) / 255.0,
                        (argb & 0xFF) / 255.0, (argb >> 24) / 255.0);
}

void FillSmoothOn(cairo_t* cr, const Path& path, FillRule rule, uint32_t argb, bool antialias) {
  cairo_save(cr);
  cairo_set_antialias(cr, antialias ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
  BuildPath(cr, path);
  cairo_set_fill_rule(
      cr, rule == FillRule::kWinding ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
  SetSourceArgb(cr, argb);
  cairo_fill(cr);
  cairo_restore(cr);
}

bool SetSourcePaint(cairo_t* cr, const SmoothPaint& paint, std::string& failure) {
  cairo_matrix_t to_device{paint.to_device.m11, paint.to_device.m12, paint.to_device.m21,
                           paint.to_device.m22, paint.to_device.dx,  paint.to_device.dy};
  if (!paint.to_device.IsFinite() || cairo_matrix_invert(&to_device) != CAIRO_STATUS_SUCCESS) {
    SetSourceArgb(cr, paint.argb);  // a paint squeezed to nothing: its mean colour
    return true;
  }
  Pattern pattern;
  Surface tile;
  if (paint.tile && paint.tile->width > 0 && paint.tile->height > 0 &&
      paint.tile->width <= kWidestPaintTile && paint.tile->height <= kWidestPaintTile) {
    tile.reset(cairo_image_surface_create_for_data(
        reinterpret_cast<unsigned char*>(const_cast<uint32_t*>(paint.tile->pixels.data())),
        paint.tile->has_alpha ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24, paint.tile->width,
        paint.tile->height, paint.tile->width * 4));
    pattern.reset(cairo_pattern_create_for_surface(tile.get()));
    cairo_pattern_set_filter(
        pattern.get(), paint.sampling == SmoothPaint::Sampling::kBilinear   ? CAIRO_FILTER_BILINEAR
                       : paint.sampling == SmoothPaint::Sampling::kFiltered ? CAIRO_FILTER_GOOD
                                                                            : CAIRO_FILTER_NEAREST);
  } else if (!paint.mesh.empty()) {
    pattern.reset(cairo_pattern_create_mesh());
    for (const SmoothPaint::Patch& patch : paint.mesh) {
      cairo_mesh_pattern_begin_patch(pattern.get());
      cairo_mesh_pattern_move_to(pattern.get(), patch.corner[0].x, patch.corner[0].y);
      for (int i = 1; i < 4; ++i) {
        cairo_mesh_pattern_line_to(pattern.get(), patch.corner[i].x, patch.corner[i].y);
      }
      for (int i = 0; i < 4; ++i) {
        const uint32_t c = patch.argb[i];
        cairo_mesh_pattern_set_corner_color_rgba(pattern.get(), i, ((c >> 16) & 0xFF) / 255.0,
                                                 ((c >> 8) & 0xFF) / 255.0, (c & 0xFF) / 255.0,
                                                 (c >> 24) / 255.0);
      }
      cairo_mesh_pattern_end_patch(pattern.get());
    }
    if (cairo_pattern_status(pattern.get()) != CAIRO_STATUS_SUCCESS) {
      failure =
          std::string("a brush: ") + cairo_status_to_string(cairo_pattern_status(pattern.get()));
      return false;
    }
    cairo_set_source(cr, pattern.get());  // patches are in the target's space already
    return true;
  } else if (!paint.gradient.empty()) {
    pattern.reset(cairo_pattern_create_linear(0, 0, 1, 0));
    for (const SmoothPaint::Stop& stop : paint.gradient) {
      cairo_pattern_add_color_stop_rgba(
          pattern.get(), stop.offset, ((stop.argb >> 16) & 0xFF) / 255.0,
          ((stop.argb >> 8) & 0xFF) / 255.0, (stop.argb & 0xFF) / 255.0, (stop.argb >> 24) / 255.0);
    }
  } else {
    SetSourceArgb(cr, paint.argb);
    return true;
  }
  cairo_pattern_set_extend(pattern.get(),
                           paint.extend == SmoothPaint::Extend::kPad       ? CAIRO_EXTEND_PAD
                           : paint.extend == SmoothPaint::Extend::kReflect ? CAIRO_EXTEND_REFLECT
                           : paint.extend == SmoothPaint::Extend::kNone    ? CAIRO_EXTEND_NONE
                                                                           : CAIRO_EXTEND_REPEAT);
  cairo_pattern_set_matrix(pattern.get(), &to_device);
  if (cairo_pattern_status(pattern.get()) != CAIRO_STATUS_SUCCESS) {
    failure =
        std::string("a brush: ") + cairo_status_to_string(cairo_pattern_status(pattern.get()));
    return false;
  }
  cairo_set_source(cr, pattern.get());
  return true;
}

bool FillPatternOn(cairo_t* cr, const Path& path, FillRule rule, const SmoothPaint& paint,
                   bool antialias, std::string& failure) {
  cairo_save(cr);
  cairo_set_antialias(cr, antialias ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
  BuildPath(cr, path);
  cairo_set_fill_rule(
      cr, rule == FillRule::kWinding ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
  const bool set = SetSourcePaint(cr, paint, failure);
  if (set) {
    cairo_fill(cr);
  }
  cairo_restore(cr);
  return set;
}

bool StrokeSmoothOn(cairo_t* cr, const Path& path, const Transform& to_device,
                    const SmoothStroke& style, uint32_t argb, bool antialias,
                    std::string& failure) {
  // cairo takes the pen's shape from the transform in force when it strokes: the path is
  // built in its own space under to_device, so a stretched or turned page stretches the pen.
  const bool hairline = !(style.width > 0);
  if (!hairline && !(to_device.IsFinite() && to_device.Invertible())) {
    return true;
  }
  cairo_save(cr);
  cairo_set_antialias(cr, antialias ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
  // The source is set before the pen's space is: a paint lies on the target's pixels.
  if (style.paint == nullptr) {
    SetSourceArgb(cr, argb);
  } else if (!SetSourcePaint(cr, *style.paint, failure)) {
    cairo_restore(cr);
    return false;
  }
  if (hairline) {
    BuildPath(cr, path.Transformed(to_device));
    cairo_set_line_width(cr, 1);
  } else {
    const cairo_matrix_t m{to_device.m11, to_device.m12, to_device.m21,
                           to_device.m22, to_device.dx,  to_device.dy};
    cairo_transform(cr, &m);
    BuildPath(cr, path);
    cairo_set_line_width(cr, style.width);
  }
  cairo_set_line_cap(cr, style.cap);
  cairo_set_line_join(cr, style.join);
  cairo_set_miter_limit(cr, std::max(1.0, style.miter_limit));
  if (!style.dashes.empty()) {
    cairo_set_dash(cr, style.dashes.data(), static_cast<int>(style.dashes.size()),
                   style.dash_offset);
  }
  cairo_stroke(cr);
  cairo_restore(cr);
  return true;
}

Region PathRegion(const Path& canvas_path, FillRule rule, int width, int height,
                  std::string& failure) {
  if (canvas_path.Empty() || width <= 0 || height <= 0) {
    return MakeRegion();
  }
  Point low, high;
  if (!canvas_path.Bounds(low, high)) {
    return MakeRegion();
  }
  const int x0 = static_cast<int>(std::clamp(std::floor(low.x), 0.0, static_cast<double>(width)));
  const int y0 = static_cast<int>(std::clamp(std::floor(low.y), 0.0, static_cast<double>(height)));
  const int x1 =
      static_cast<int>(std::clamp(std::ceil(high.x) + 1, 0.0, static_cast<double>(width)));
  const int y1 =
      static_cast<int>(std::clamp(std::ceil(high.y) + 1, 0.0, static_cast<double>(height)));
  if (x1 <= x0 || y1 <= y0) {
    return MakeRegion();
  }
  // A clip that cannot be made would let the page draw where it must not: the page fails.
  const Surface mask(cairo_image_surface_create(CAIRO_FORMAT_A8, x1 - x0, y1 - y0));
  cairo_status_t status = cairo_surface_status(mask.get());
  if (status == CAIRO_STATUS_SUCCESS) {
    const Context cr(cairo_create(mask.get()));
    cairo_translate(cr.get(), -x0, -y0);
    cairo_set_antialias(cr.get(), CAIRO_ANTIALIAS_NONE);
    BuildPath(cr.get(), canvas_path);
    cairo_set_fill_rule(
        cr.get(), rule == FillRule::kWinding ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
    cairo_fill(cr.get());
    status = cairo_status(cr.get());
  }
  if (status != CAIRO_STATUS_SUCCESS) {
    failure = std::string("a clip path: ") + cairo_status_to_string(status);
    return MakeRegion();
  }
  cairo_surface_flush(mask.get());
  const uint8_t* data = cairo_image_surface_get_data(mask.get());
  const int stride = cairo_image_surface_get_stride(mask.get());
  std::vector<cairo_rectangle_int_t> done;
  std::vector<cairo_rectangle_int_t> open;  // the previous row's runs, still growing down
  std::vector<cairo_rectangle_int_t> row_runs;
  for (int y = y0; y < y1; ++y) {
    const uint8_t* row = data + static_cast<size_t>(y - y0) * stride;
    row_runs.clear();
    for (int x = 0; x < x1 - x0;) {
      if (row[x] < 0x80) {
        ++x;
        continue;
      }
      const int start = x;
      while (x < x1 - x0 && row[x] >= 0x80) {
        ++x;
      }
      row_runs.push_back({x0 + start, y, x - start, 1});
    }
    const bool same =
        row_runs.size() == open.size() &&
        std::equal(row_runs.begin(), row_runs.end(), open.begin(),
                   [](const auto& a, const auto& b) { return a.x == b.x && a.width == b.width; });
    if (same) {
      for (cairo_rectangle_int_t& r : open) {
        ++r.height;
      }
    } else {
      done.insert(done.end(), open.begin(), open.end());
      open = row_runs;
    }
  }
  done.insert(done.end(), open.begin(), open.end());
  Region region = MakeRegion();
  if (!done.empty()) {
    const Region built(cairo_region_create_rectangles(done.data(), static_cast<int>(done.size())));
    cairo_region_union(region.get(), built.get());
  }
  if (cairo_region_status(region.get()) != CAIRO_STATUS_SUCCESS) {
    failure =
        std::string("a clip path: ") + cairo_status_to_string(cairo_region_status(region.get()));
  }
  return region;
}

}  // namespace emf
