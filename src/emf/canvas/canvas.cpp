#include "emf/canvas/canvas.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>

#include "emf/canvas/line_raster.h"
#include "emf/canvas/raster_ops.h"
#include "emf/canvas/row_fill.h"
#include "emf/canvas/wide_pen.h"

namespace emf {
namespace {

// The 8 x 8 hatch patterns of GDI, one byte a row, bit 7 leftmost; set bits are lines.
constexpr uint8_t kHatches[6][8] = {
    {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xFF},  // HS_HORIZONTAL
    {0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08},  // HS_VERTICAL
    {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01},  // HS_FDIAGONAL
    {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80},  // HS_BDIAGONAL
    {0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0xFF},  // HS_CROSS
    {0x81, 0x42, 0x24, 0x18, 0x18, 0x24, 0x42, 0x81},  // HS_DIAGCROSS
};

// Fills as GDI makes them: at whole device pixels, and taking in a pixel when the point
// near its top-left corner lies inside (measured on the corpus: 0.4 pixel in from the corner
// matches the reference pages best).
constexpr double kFillGridOffset = 0.4;

Point OnFillGrid(Point p) {
  return {std::round(p.x) + kFillGridOffset, std::round(p.y) + kFillGridOffset};
}

Path OnFillGrid(const Path& path) {
  Path out = path;
  for (PathSegment& s : out.segments) {
    for (Point& p : s.p) {
      p = OnFillGrid(p);
    }
  }
  return out;
}

// The colour of an opaque image whose pixels are all alike.
bool OneColour(const Image& image, uint32_t& rgb) {
  if (image.has_alpha || image.pixels.empty()) {
    return false;
  }
  rgb = image.pixels.front() & 0xFFFFFF;
  return std::all_of(image.pixels.begin(), image.pixels.end(),
                     [&](uint32_t p) { return (p & 0xFFFFFF) == rgb; });
}

Surface SurfaceFor(const Image& image) {
  return Surface(cairo_image_surface_create_for_data(
      reinterpret_cast<unsigned char*>(const_cast<uint32_t*>(image.pixels.data())),
      image.has_alpha ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24, image.width, image.height,
      image.width * 4));
}

// A source larger than a surface can be is sampled first to the size it takes on the canvas,
// which no canvas makes larger than a surface. Other sources are used as they are.
const Image& FitToSurface(const Image& src, double& sx, double& sy, double& sw, double& sh,
                          Point tl, Point tr, Point bl, Image& fitted) {
  if ((src.width <= Canvas::kMaxSurfaceSide && src.height <= Canvas::kMaxSurfaceSide) ||
      !SourcePart(src, tl, tr, bl, sx, sy, sw, sh, fitted)) {
    return src;
  }
  return fitted;
}

}  // namespace

Image HatchTile(const Paint& paint) {
  Image tile;
  tile.width = tile.height = 8;
  tile.has_alpha = true;
  tile.pixels.resize(64);
  const int hatch = std::clamp(paint.brush.hatch, 0, 5);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 8; ++x) {
      const bool line = (kHatches[hatch][y] >> (7 - x)) & 1;
      tile.pixels[y * 8 + x] = line ? Opaque(paint.brush.color)
                                    : (paint.opaque_background ? Opaque(paint.background) : 0);
    }
  }
  return tile;
}

namespace {

// Puts the pattern's pixels into the area as they are, replacing what was there.
void ReplaceWithin(cairo_t* cr, const Path& area, cairo_pattern_t* pattern) {
  BuildPath(cr, area);
  cairo_set_source(cr, pattern);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_fill(cr);
}

}  // namespace

bool SourcePart(const Image& src, Point tl, Point tr, Point bl, double& sx, double& sy, double& sw,
                double& sh, Image& part) {
  const int x0 = static_cast<int>(
      std::clamp(std::floor(std::min(sx, sx + sw)), 0.0, static_cast<double>(src.width)));
  const int x1 = static_cast<int>(
      std::clamp(std::ceil(std::max(sx, sx + sw)), 0.0, static_cast<double>(src.width)));
  const int y0 = static_cast<int>(
      std::clamp(std::floor(std::min(sy, sy + sh)), 0.0, static_cast<double>(src.height)));
  const int y1 = static_cast<int>(
      std::clamp(std::ceil(std::max(sy, sy + sh)), 0.0, static_cast<double>(src.height)));
  if (x1 <= x0 || y1 <= y0) {
    return false;
  }
  const double across = std::ceil(std::hypot(tr.x - tl.x, tr.y - tl.y));
  const double down = std::ceil(std::hypot(bl.x - tl.x, bl.y - tl.y));
  constexpr double kSide = Canvas::kMaxSurfaceSide;
  part.width = std::min(x1 - x0, static_cast<int>(std::clamp(across, 1.0, kSide)));
  part.height = std::min(y1 - y0, static_cast<int>(std::clamp(down, 1.0, kSide)));
  // A destination so large that no canvas shows it whole gets fewer pixels than it spans:
  // the part stays within 16 million pixels.
  constexpr double kMaxPartPixels = 1 << 24;
  const double pixels = static_cast<double>(part.width) * part.height;
  if (pixels > kMaxPartPixels) {
    const double shrink = std::sqrt(kMaxPartPixels / pixels);
    part.width = std::max(1, static_cast<int>(part.width * shrink));
    part.height = std::max(1, static_cast<int>(part.height * shrink));
  }
  part.has_alpha = src.has_alpha;
  part.pixels.resize(static_cast<size_t>(part.width) * part.height);
  const double x_scale = static_cast<double>(x1 - x0) / part.width;
  const double y_scale = static_cast<double>(y1 - y0) / part.height;
  for (int v = 0; v < part.height; ++v) {
    const int row = std::min(y1 - 1, y0 + static_cast<int>((v + 0.5) * y_scale));
    for (int u = 0; u < part.width; ++u) {
      const int column = std::min(x1 - 1, x0 + static_cast<int>((u + 0.5) * x_scale));
      part.pixels[static_cast<size_t>(v) * part.width + u] =
          src.pixels[static_cast<size_t>(row) * src.width + column];
    }
  }
  sx = (sx - x0) / x_scale;
  sy = (sy - y0) / y_scale;
  sw /= x_scale;
  sh /= y_scale;
  return true;
}

ColorRef ToColorRef(uint32_t rgb24) {
  return ((rgb24 >> 16) & 0xFF) | (rgb24 & 0xFF00) | ((rgb24 & 0xFF) << 16);
}

uint32_t Opaque(ColorRef color) {
  return 0xFF000000u | ToRgb24(color);
}

uint32_t ToRgb24(ColorRef color) {
  return ((color & 0xFF) << 16) | (color & 0xFF00) | ((color >> 16) & 0xFF);
}

Canvas::Canvas(uint32_t* pixels, int width, int height, int stride)
    : Canvas(pixels, stride, width, height, Band{0, 0, width, height}) {}

Canvas::Canvas(uint32_t* pixels, int stride, int width, int height, Band band)
    : pixels_(pixels), width_(width), height_(height), stride_(stride), band_(band) {
  surface_ = cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(pixels),
                                                 CAIRO_FORMAT_RGB24, band.right - band.left,
                                                 band.bottom - band.top, stride);
  // cairo draws in the page's coordinates and keeps what falls in the band: an integer
  // offset, which moves nothing by a fraction of a pixel.
  cairo_surface_set_device_offset(surface_, -band.left, -band.top);
  cr_ = cairo_create(surface_);
  cairo_set_antialias(cr_, CAIRO_ANTIALIAS_NONE);
  Check(cairo_status(cr_), "the canvas");
}

Canvas::~Canvas() {
  cairo_destroy(cr_);
  cairo_surface_flush(surface_);
  cairo_surface_destroy(surface_);
}

void Canvas::SetClip(const cairo_region_t* region) {
  clip_ = region != nullptr ? CopyRegion(region) : nullptr;
  clip_on_canvas_ = false;
}

void Canvas::ApplyClip(cairo_t* cr) const {
  // The canvas's own context keeps the clip from one operation to the next (whatever clips
  // it further is undone by cairo_restore): made again only when the clip changes.
  if (cr == cr_) {
    if (clip_on_canvas_) {
      return;
    }
    clip_on_canvas_ = true;
  }
  cairo_reset_clip(cr);
  if (!clip_) {
    return;
  }
  cairo_new_path(cr);
  const int count = cairo_region_num_rectangles(clip_.get());
  for (int i = 0; i < count; ++i) {
    cairo_rectangle_int_t r;
    cairo_region_get_rectangle(clip_.get(), i, &r);
    cairo_rectangle(cr, r.x, r.y, r.width, r.height);
  }
  cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
  cairo_clip(cr);
}

bool BrushTile(const Paint& paint, Image& tile) {
  const Brush& brush = paint.brush;
  if (brush.style == Brush::kHatched) {
    tile = HatchTile(paint);
    return true;
  }
  if (!brush.pattern || brush.pattern->width <= 0 || brush.pattern->height <= 0) {
    return false;
  }
  tile = *brush.pattern;
  if (brush.mono_pattern) {
    const uint32_t text = Opaque(paint.text_color);
    const uint32_t back = Opaque(paint.background);
    for (uint32_t& p : tile.pixels) {
      p = (p & 0xFFFFFF) == 0 ? text : back;
    }
  }
  return true;
}

void Canvas::SetSource(cairo_t* cr, const Paint& paint) {
  const Brush& brush = paint.brush;
  if (brush.style == Brush::kSolid) {
    SetSourceColor(cr, brush.color);
    return;
  }
  // Hatches and patterns repeat from the brush origin in device pixels.
  Image tile;
  if (!BrushTile(paint, tile)) {
    cairo_set_source_rgb(cr, 0, 0, 0);
    return;
  }
  const Pattern pattern = TilePattern(paint, tile);
  if (!pattern) {
    cairo_set_source_rgb(cr, 0, 0, 0);
    return;
  }
  cairo_set_source(cr, pattern.get());
}

// A repeating pattern of the tile from the brush origin, in a surface of cairo's own (the
// tile dies before the source is used). A tile larger than a surface can be is first cut to
// the window of its repetition that the canvas shows: no canvas is larger than a surface.
Pattern Canvas::TilePattern(const Paint& paint, const Image& tile) {
  double origin_x = paint.origin.x;
  double origin_y = paint.origin.y;
  const Image* source = &tile;
  Image window;
  if (tile.width > kMaxSurfaceSide || tile.height > kMaxSurfaceSide) {
    window.width = std::min(tile.width, band_.right - band_.left);
    window.height = std::min(tile.height, band_.bottom - band_.top);
    window.has_alpha = tile.has_alpha;
    window.pixels.resize(static_cast<size_t>(window.width) * window.height);
    // The window starts at the band's corner, and the whole origin moves there.
    const int64_t shift_x = static_cast<int64_t>(std::floor(origin_x)) - band_.left;
    const int64_t shift_y = static_cast<int64_t>(std::floor(origin_y)) - band_.top;
    for (int y = 0; y < window.height; ++y) {
      const int64_t ty = ((y - shift_y) % tile.height + tile.height) % tile.height;
      for (int x = 0; x < window.width; ++x) {
        const int64_t tx = ((x - shift_x) % tile.width + tile.width) % tile.width;
        window.pixels[static_cast<size_t>(y) * window.width + x] =
            tile.pixels[static_cast<size_t>(ty) * tile.width + static_cast<size_t>(tx)];
      }
    }
    origin_x -= static_cast<double>(shift_x);
    origin_y -= static_cast<double>(shift_y);
    source = &window;
  }
  const Surface owned(cairo_image_surface_create(
      source->has_alpha ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24, source->width, source->height));
  if (!Check(cairo_surface_status(owned.get()), "a brush pattern")) {
    return nullptr;
  }
  cairo_surface_flush(owned.get());
  unsigned char* data = cairo_image_surface_get_data(owned.get());
  const int stride = cairo_image_surface_get_stride(owned.get());
  for (int y = 0; y < source->height; ++y) {
    std::memcpy(data + static_cast<size_t>(y) * static_cast<size_t>(stride),
                source->pixels.data() + static_cast<size_t>(y) * source->width,
                static_cast<size_t>(source->width) * 4);
  }
  cairo_surface_mark_dirty(owned.get());
  Pattern pattern(cairo_pattern_create_for_surface(owned.get()));
  cairo_pattern_set_extend(pattern.get(), CAIRO_EXTEND_REPEAT);
  cairo_pattern_set_filter(pattern.get(), CAIRO_FILTER_NEAREST);
  cairo_matrix_t matrix;
  cairo_matrix_init_translate(&matrix, -origin_x, -origin_y);
  cairo_pattern_set_matrix(pattern.get(), &matrix);
  return pattern;
}

template <class Draw, class Combine>
void Canvas::DrawThroughMask(const Path& area, double margin, Draw draw, Combine combine) {
  // The layer covers only the shape's box, so many small operations stay cheap.
  Point low, high;
  if (!area.Bounds(low, high)) {
    return;
  }
  const int left = std::clamp(ToInt(std::floor(low.x - margin)) - 1, band_.left, band_.right);
  const int right = std::clamp(ToInt(std::ceil(high.x + margin)) + 1, band_.left, band_.right);
  const int top = std::clamp(ToInt(std::floor(low.y - margin)) - 1, band_.top, band_.bottom);
  const int bottom = std::clamp(ToInt(std::ceil(high.y + margin)) + 1, band_.top, band_.bottom);
  if (right <= left || bottom <= top) {
    return;
  }
  // Without its layer (no memory for it) the operation is not drawn, and the page says so.
  const Surface layer(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, right - left, bottom - top));
  if (!Check(cairo_surface_status(layer.get()), "a raster operation")) {
    return;
  }
  cairo_surface_set_device_offset(layer.get(), -left, -top);
  {
    const Context cr(cairo_create(layer.get()));
    cairo_set_antialias(cr.get(), CAIRO_ANTIALIAS_NONE);
    ApplyClip(cr.get());
    draw(cr.get());
    if (!Check(cairo_status(cr.get()), "a raster operation")) {
      return;
    }
  }
  cairo_surface_flush(layer.get());
  const uint32_t* drawn =
      reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(layer.get()));
  const int layer_stride = cairo_image_surface_get_stride(layer.get()) / 4;
  cairo_surface_flush(surface_);
  for (int y = top; y < bottom; ++y) {
    uint32_t* row = PixelAt(left, y);
    const uint32_t* layer_row = drawn + static_cast<size_t>(y - top) * layer_stride;
    for (int x = left; x < right; ++x) {
      const uint32_t s = layer_row[x - left];
      if ((s >> 24) >= 0x80) {
        row[x - left] = combine(s & 0xFFFFFF, row[x - left] & 0xFFFFFF, x, y);
      }
    }
  }
  cairo_surface_mark_dirty(surface_);
}

void Canvas::FillPath(const Path& path, FillRule rule, const Paint& paint, int rop2) {
  if (paint.brush.style == Brush::kNull || path.Empty()) {
    return;
  }
  if (path.segments.size() >= kRowFillSegments) {
    FillByRows(path, rule, paint, rop2);
    return;
  }
  auto shape = [&](cairo_t* cr) {
    BuildPath(cr, OnFillGrid(path));
    cairo_set_fill_rule(
        cr, rule == FillRule::kWinding ? CAIRO_FILL_RULE_WINDING : CAIRO_FILL_RULE_EVEN_ODD);
  };
  if (rop2 == kR2CopyPen) {
    if (paint.brush.style == Brush::kSolid && FillUprightBox(path, true, paint.brush.color)) {
      return;
    }
    ApplyClip(cr_);
    shape(cr_);
    SetSource(cr_, paint);
    cairo_fill(cr_);
    return;
  }
  DrawThroughMask(
      path, 0,
      [&](cairo_t* cr) {
        shape(cr);
        SetSource(cr, paint);
        cairo_fill(cr);
      },
      [&](uint32_t p, uint32_t d, int, int) { return Rop2(rop2, p, d); });
}

void Canvas::FillByRows(const Path& path, FillRule rule, const Paint& paint, int rop2) {
  // Points are put on the fill grid as they are read, which keeps a long path from being
  // copied; the grid keeps the order of coordinates, so it moves the box's corners alike.
  Point low, high;
  if (!path.Bounds(low, high)) {
    return;
  }
  low = OnFillGrid(low);
  high = OnFillGrid(high);
  auto clamp = [](double v, int lo, int hi) {
    return static_cast<int>(std::clamp(v, static_cast<double>(lo), static_cast<double>(hi)));
  };
  const int left = clamp(std::floor(low.x), band_.left, band_.right);
  const int right = clamp(std::ceil(high.x) + 1, band_.left, band_.right);
  const int top = clamp(std::floor(low.y), band_.top, band_.bottom);
  const int bottom = clamp(std::ceil(high.y) + 1, band_.top, band_.bottom);
  if (right <= left || bottom <= top) {
    return;
  }
  // Without its mask (no memory for it) the shape is not drawn, and the page says so.
  const Surface mask(cairo_image_surface_create(CAIRO_FORMAT_A8, right - left, bottom - top));
  if (!Check(cairo_surface_status(mask.get()), "a long path")) {
    return;
  }
  cairo_surface_flush(mask.get());
  FillRows(path, rule == FillRule::kWinding, left, top, right - left, bottom - top,
           cairo_image_surface_get_data(mask.get()),
           static_cast<size_t>(cairo_image_surface_get_stride(mask.get())), &OnFillGrid);
  cairo_surface_mark_dirty(mask.get());
  auto paint_through_mask = [&](cairo_t* cr) {
    SetSource(cr, paint);
    cairo_mask_surface(cr, mask.get(), left, top);
  };
  if (rop2 == kR2CopyPen) {
    ApplyClip(cr_);
    paint_through_mask(cr_);
    return;
  }
  Path box;  // the layer of a raster operation covers the mask
  box.MoveTo({static_cast<double>(left), static_cast<double>(top)});
  box.LineTo({static_cast<double>(right), static_cast<double>(bottom)});
  DrawThroughMask(box, 0, paint_through_mask,
                  [&](uint32_t p, uint32_t d, int, int) { return Rop2(rop2, p, d); });
}

namespace {

// Where cairo's aliased fill puts an edge that lies at a coordinate: in its fixed point of
// 1/256 pixel, at the nearest pixel boundary, halves going down.
int AliasedEdge(double v) {
  const auto fixed = static_cast<int64_t>(std::nearbyint(v * 256));
  return static_cast<int>((fixed + 127) >> 8);
}

}  // namespace

// A fill of one colour that is an upright rectangle (text backgrounds, table cells, rules
// and dotted lines drawn as tiny bitmaps) is written straight, cut by the clip's rectangles,
// on the pixels cairo would fill: false leaves any other shape to cairo. on_fill_grid: the
// corners are first put where FillPath puts them.
bool Canvas::FillUprightBox(const Path& path, bool on_fill_grid, ColorRef color) {
  std::array<Point, 4> corner;
  if (!FourCorners(path, corner)) {
    return false;
  }
  // Far coordinates are left to cairo, which holds them in its own fixed point.
  constexpr double kNear = 1 << 22;
  for (Point& p : corner) {
    if (!(std::fabs(p.x) < kNear && std::fabs(p.y) < kNear)) {
      return false;
    }
    if (on_fill_grid) {
      p = OnFillGrid(p);
    }
  }
  if (!Upright(corner)) {
    return false;
  }
  const int ax = AliasedEdge(corner[0].x), bx = AliasedEdge(corner[2].x);
  const int ay = AliasedEdge(corner[0].y), by = AliasedEdge(corner[2].y);
  const int left = std::min(ax, bx), right = std::max(ax, bx);
  const int top = std::min(ay, by), bottom = std::max(ay, by);
  const int x0 = std::clamp(left, band_.left, band_.right);
  const int x1 = std::clamp(right, band_.left, band_.right);
  const int y0 = std::clamp(top, band_.top, band_.bottom);
  const int y1 = std::clamp(bottom, band_.top, band_.bottom);
  if (x1 <= x0 || y1 <= y0) {
    return true;
  }
  Region area = MakeRegion(x0, y0, x1, y1);
  if (clip_) {
    cairo_region_intersect(area.get(), clip_.get());
  }
  const uint32_t pixel = Opaque(color);
  cairo_surface_flush(surface_);
  const int count = cairo_region_num_rectangles(area.get());
  for (int i = 0; i < count; ++i) {
    cairo_rectangle_int_t r;
    cairo_region_get_rectangle(area.get(), i, &r);
    for (int y = r.y; y < r.y + r.height; ++y) {
      std::fill_n(PixelAt(r.x, y), r.width, pixel);
    }
  }
  cairo_surface_mark_dirty(surface_);
  return true;
}

// Cosmetic lines as GDI draws them (line_raster.h), straight into the pixels.
void Canvas::StrokeCosmetic(const Path& path, const StrokeStyle& style, int rop2) {
  const uint32_t ink = ToRgb24(style.color);
  const uint32_t gap = ToRgb24(style.background);
  LineStyleCounter dashes(style.dashes);
  // Only the pixels on the page are walked; a line's stretch off the page costs nothing.
  const PixelBox page{band_.left, band_.top, band_.right, band_.bottom};
  cairo_surface_flush(surface_);
  auto plot = [&](int64_t x, int64_t y) {
    const bool dash = dashes.NextIsDash();
    if (!dash && !style.opaque_gaps) {
      return;
    }
    if (clip_ &&
        !cairo_region_contains_point(clip_.get(), static_cast<int>(x), static_cast<int>(y))) {
      return;
    }
    uint32_t* pixel = PixelAt(static_cast<int>(x), static_cast<int>(y));
    *pixel = Rop2(rop2, dash ? ink : gap, *pixel & 0xFFFFFF);
  };
  // A path of lines (what long paths are) is walked as it is, not copied.
  const auto skip = [&](int64_t count) { dashes.Skip(count); };
  if (path.HasCurves()) {
    WalkPath(path.Flattened(), page, plot, skip);
  } else {
    WalkPath(path, page, plot, skip);
  }
  cairo_surface_mark_dirty(surface_);
}

// A solid pen two pixels wide or more, as the reference renderer draws it (wide_pen.h), its
// pixels painted once. False leaves the path to cairo.
bool Canvas::StrokeWide(const Path& path, const StrokeStyle& style, int rop2) {
  const auto shapes = WidePenShapes(path, static_cast<int>(std::lround(style.width)), style.cap,
                                    style.join, 0, height_);
  if (!shapes) {
    return false;
  }
  auto fill = [&](cairo_t* cr) {
    if (style.paint) {
      SetSource(cr, *style.paint);
    } else {
      SetSourceColor(cr, style.color);
    }
    BuildPath(cr, OnFillGrid(*shapes));
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
    cairo_fill(cr);
  };
  if (rop2 == kR2CopyPen) {
    ApplyClip(cr_);
    fill(cr_);
    return true;
  }
  DrawThroughMask(path, style.width + 2, fill,
                  [&](uint32_t p, uint32_t d, int, int) { return Rop2(rop2, p, d); });
  return true;
}

void Canvas::StrokePath(const Path& path, const StrokeStyle& style, int rop2) {
  if (path.Empty()) {
    return;
  }
  if (style.cosmetic) {
    StrokeCosmetic(path, style, rop2);
    return;
  }
  if (style.dashes.empty() && style.width >= 2 && StrokeWide(path, style, rop2)) {
    return;
  }
  // A pen of odd width is centred on the middles of the pixels its points fall on (3 pixels
  // at x = 10 cover 9 to 11) and a flat end stops before its last point's pixel: taken as
  // fills are, by the point near each pixel's top-left corner (OnFillGrid). Left on the
  // pixels' corners, its edges would run through pixel middles and cairo would settle each
  // one its own way (tests/gdi-pages' pen-odd-width). An even pen's edges run between pixels.
  const bool odd = std::fmod(std::max(1.0, style.width), 2.0) == 1.0;
  const double grid = odd ? kFillGridOffset : 0.0;
  const Path stroked = path.Transformed(Transform{1, 0, 0, 1, grid, grid});
  // The dashes are laid out here, as GDI lays them, and stroked solid. Their ends lie on whole
  // pixels, and GDI centres a pen of odd width on those pixels' middles.
  // A path too long for that is dashed by cairo along its true length.
  std::optional<Path> dash_path;
  if (!style.dashes.empty()) {
    const double middle = std::fmod(std::max(1.0, style.width), 2.0) == 1.0 ? 0.5 : 0.0;
    dash_path = GeometricDashes(path, style.dashes);
    if (dash_path) {
      *dash_path = dash_path->Transformed(Transform{1, 0, 0, 1, middle, middle});
    }
  }
  auto stroke = [&](cairo_t* cr, ColorRef color, bool dashed) {
    const bool laid_out = dashed && dash_path.has_value();
    BuildPath(cr, laid_out ? *dash_path : stroked);
    cairo_set_line_width(cr, std::max(1.0, style.width));
    cairo_set_line_cap(cr, style.cap);
    cairo_set_line_join(cr, style.join);
    cairo_set_miter_limit(cr, std::max(1.0, style.miter_limit));
    if (dashed && !laid_out && !style.dashes.empty()) {
      cairo_set_dash(cr, style.dashes.data(), static_cast<int>(style.dashes.size()), 0);
    } else {
      cairo_set_dash(cr, nullptr, 0, 0);
    }
    if (dashed && style.paint) {
      SetSource(cr, *style.paint);
    } else {
      SetSourceColor(cr, color);
    }
  };
  if (rop2 == kR2CopyPen) {
    ApplyClip(cr_);
    if (style.opaque_gaps && !style.dashes.empty()) {
      stroke(cr_, style.background, false);
      cairo_stroke(cr_);
    }
    stroke(cr_, style.color, true);
    cairo_stroke(cr_);
    cairo_set_dash(cr_, nullptr, 0, 0);
    return;
  }
  DrawThroughMask(
      path, style.width * (style.miter_limit + 1) + 2,
      [&](cairo_t* cr) {
        stroke(cr, style.color, true);
        cairo_stroke(cr);
      },
      [&](uint32_t p, uint32_t d, int, int) { return Rop2(rop2, p, d); });
}

void Canvas::DrawImage(const Image& original, double sx, double sy, double sw, double sh, Point tl,
                       Point tr, Point bl, uint32_t rop3, const Paint* pattern, bool smooth) {
  if (original.width <= 0 || original.height <= 0 || sw == 0 || sh == 0) {
    return;
  }
  const bool copy = (rop3 & 0xFFFF0000) == (kSrcCopy & 0xFFFF0000);
  if (uint32_t rgb = 0; copy && !smooth && OneColour(original, rgb)) {
    // Nearest pixels of an image of one colour are that colour wherever they are taken
    // (rules and dotted lines come as tiny bitmaps, thousands to a page): a plain fill.
    const Path area = Parallelogram(tl, tr, bl);
    if (!FillUprightBox(area, false, ToColorRef(rgb))) {
      ApplyClip(cr_);
      BuildPath(cr_, area);
      SetSourceColor(cr_, ToColorRef(rgb));
      cairo_fill(cr_);
    }
    return;
  }
  Image fitted;
  const Image& src = FitToSurface(original, sx, sy, sw, sh, tl, tr, bl, fitted);
  const Surface surface = SurfaceFor(src);
  if (!Check(cairo_surface_status(surface.get()), "a bitmap")) {
    return;
  }
  const Pattern source = ImagePattern(surface.get(), sx, sy, sw, sh, tl, tr, bl, smooth);
  const Path area = Parallelogram(tl, tr, bl);
  if (copy) {
    ApplyClip(cr_);
    ReplaceWithin(cr_, area, source.get());
    cairo_set_operator(cr_, CAIRO_OPERATOR_OVER);
  } else {
    const uint32_t p = pattern != nullptr ? ToRgb24(pattern->brush.color) : 0;
    DrawThroughMask(
        area, 0, [&](cairo_t* cr) { ReplaceWithin(cr, area, source.get()); },
        [&](uint32_t s, uint32_t d, int, int) { return Rop3(rop3, p, s, d); });
  }
}

void Canvas::BlendImage(const Image& original, double sx, double sy, double sw, double sh, Point tl,
                        Point tr, Point bl, int constant_alpha, bool use_source_alpha) {
  if (original.width <= 0 || original.height <= 0 || sw == 0 || sh == 0) {
    return;
  }
  // GDI blends the nearest source pixel of each destination pixel in integers. cairo places
  // the pixels: the layer holds, for each covered pixel, the index of its source pixel, so
  // the blend itself is ours and exact. Sources of more pixels than an index holds are
  // sampled first to the size they take on the page.
  Image part;
  const Image* src = &original;
  if (original.pixels.size() > kMaxBlendIndex) {
    if (!SourcePart(original, tl, tr, bl, sx, sy, sw, sh, part) ||
        part.pixels.size() > kMaxBlendIndex) {
      return;
    }
    src = &part;
  }
  Image indices;
  indices.width = src->width;
  indices.height = src->height;
  indices.pixels.resize(src->pixels.size());
  for (size_t i = 0; i < indices.pixels.size(); ++i) {
    indices.pixels[i] = 0xFF000000u | static_cast<uint32_t>(i);
  }
  const Surface surface = SurfaceFor(indices);
  if (!Check(cairo_surface_status(surface.get()), "a blended bitmap")) {
    return;
  }
  const Pattern source = ImagePattern(surface.get(), sx, sy, sw, sh, tl, tr, bl, false);
  const Path area = Parallelogram(tl, tr, bl);
  const uint32_t constant = static_cast<uint32_t>(std::clamp(constant_alpha, 0, 255));
  DrawThroughMask(
      area, 0, [&](cairo_t* cr) { ReplaceWithin(cr, area, source.get()); },
      [&](uint32_t index, uint32_t d, int, int) {
        return index < src->pixels.size()
                   ? BlendPixel(src->pixels[index], d, constant, use_source_alpha)
                   : d;
      });
}

uint32_t BlendPixel(uint32_t s, uint32_t d, uint32_t constant, bool source_alpha) {
  auto channel = [](uint32_t v, int shift) { return (v >> shift) & 0xFF; };
  uint32_t out = 0;
  if (!source_alpha) {
    for (const int shift : {0, 8, 16}) {
      out |= ((channel(s, shift) * constant + channel(d, shift) * (255 - constant) + 127) / 255)
             << shift;
    }
    return out;
  }
  // Premultiplied: the constant alpha scales colour and alpha alike, then the source goes
  // over what the page holds.
  auto scaled = [&](uint32_t v) { return constant == 255 ? v : (v * constant + 127) / 255; };
  const uint32_t alpha = scaled(channel(s, 24));
  for (const int shift : {0, 8, 16}) {
    const uint32_t v = scaled(channel(s, shift)) + (channel(d, shift) * (255 - alpha) + 127) / 255;
    out |= std::min<uint32_t>(v, 255) << shift;
  }
  return out;
}

bool SourcelessFill(uint32_t rop3, const Paint& pattern, Paint& paint, int& rop2) {
  rop2 = Rop3WithoutSource(rop3);
  if (rop2 == 0) {
    return false;  // needs a source, and there is none
  }
  paint = pattern;
  if (paint.brush.style == Brush::kNull) {
    paint.brush = Brush{Brush::kSolid, 0xFFFFFF, 0, nullptr, false};
    if (rop2 != 1 && rop2 != 6 && rop2 != 11 && rop2 != 16) {
      return false;  // a null pattern paints nothing
    }
  }
  return true;
}

void Canvas::FillWithRop3(const Path& area, uint32_t rop3, const Paint& pattern) {
  Paint paint;
  int rop2 = 0;
  if (SourcelessFill(rop3, pattern, paint, rop2)) {
    FillPath(area, FillRule::kWinding, paint, rop2);
  }
}

void Canvas::FillGradientRect(Point p0, Point p1, ColorRef c0, ColorRef c1, bool vertical) {
  ApplyClip(cr_);
  FillGradientRectOn(cr_, p0, p1, c0, c1, vertical);
}

void Canvas::FillGradientTriangle(const Point (&p)[3], const ColorRef (&c)[3]) {
  ApplyClip(cr_);
  FillGradientTriangleOn(cr_, p, c);
}

bool Canvas::Check(cairo_status_t status, const char* what) {
  if (status == CAIRO_STATUS_SUCCESS) {
    return true;
  }
  if (failure_.empty()) {
    failure_ = std::string(what) + ": " + cairo_status_to_string(status);
  }
  return false;
}

void Canvas::Fail(const std::string& why) {
  if (failure_.empty()) {
    failure_ = why;
  }
}

std::string Canvas::Failure() const {
  if (!failure_.empty()) {
    return failure_;
  }
  const cairo_status_t status = cairo_status(cr_);
  return status == CAIRO_STATUS_SUCCESS ? std::string()
                                        : std::string("drawing: ") + cairo_status_to_string(status);
}

void Canvas::SetPixel(int x, int y, ColorRef color) {
  if (!InBand(x, y)) {
    return;
  }
  if (clip_ && !cairo_region_contains_point(clip_.get(), x, y)) {
    return;
  }
  cairo_surface_flush(surface_);
  *PixelAt(x, y) = ToRgb24(color);
  cairo_surface_mark_dirty(surface_);
}

void Canvas::FillSmooth(const Path& path, FillRule rule, uint32_t argb, bool antialias) {
  if (path.Empty() || (argb >> 24) == 0) {
    return;
  }
  ApplyClip(cr_);
  FillSmoothOn(cr_, path, rule, argb, antialias);
}

void Canvas::StrokeSmooth(const Path& path, const Transform& to_device, const SmoothStroke& style,
                          uint32_t argb, bool antialias) {
  if (path.Empty() || (style.paint == nullptr && (argb >> 24) == 0)) {
    return;
  }
  ApplyClip(cr_);
  if (std::string failure; !StrokeSmoothOn(cr_, path, to_device, style, argb, antialias, failure)) {
    Fail(failure);
  }
}

void Canvas::FillPattern(const Path& path, FillRule rule, const SmoothPaint& paint,
                         bool antialias) {
  if (path.Empty()) {
    return;
  }
  ApplyClip(cr_);
  if (std::string failure; !FillPatternOn(cr_, path, rule, paint, antialias, failure)) {
    Fail(failure);
  }
}

}  // namespace emf
