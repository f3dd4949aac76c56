#include "emf/text/glyph_raster.h"

#include <ft2build.h>

#include "emf/text/cairo_owners.h"
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <algorithm>
#include <cmath>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace emf {
namespace {

struct GlyphKey {
  const Typeface* face;
  int ppem;
  FT_F26Dot6 width;
  FT_Fixed xx, xy, yx, yy;
  bool smooth;
  uint32_t glyph;
  bool operator==(const GlyphKey&) const = default;
};

struct GlyphKeyHash {
  size_t operator()(const GlyphKey& k) const {
    size_t h = std::hash<const Typeface*>()(k.face);
    for (int64_t v : {int64_t{k.ppem}, int64_t{k.width}, int64_t{k.xx}, int64_t{k.xy},
                      int64_t{k.yx}, int64_t{k.yy}, int64_t{k.smooth}, int64_t{k.glyph}}) {
      h = h * 1000003u ^ std::hash<int64_t>()(v);
    }
    return h;
  }
};

// Beyond this many bytes of bitmaps the cache starts afresh: pages rarely share sizes
// across that much text.
constexpr size_t kCacheBytes = 64u << 20;
constexpr int kMaxPpem = 4096;

FT_Fixed Fixed(double v) {
  return static_cast<FT_Fixed>(std::lround(std::clamp(v, -32000.0, 32000.0) * 65536.0));
}

// Sets the face to the key's size unless it is at that size already. Setting a size runs the
// face's size program again, which costs twice what rendering a glyph does; the glyphs come
// out the same either way. The size last set is kept in the face's field for its client (the
// face serves one thread at a time): width and ppem in 32 bits, never 0 since ppem is not.
bool SetSize(FT_Face face, const GlyphKey& key) {
  static_assert(kMaxPpem < (1 << 13) && int64_t{kMaxPpem} * 64 < (1 << 19));
  const auto size = static_cast<uintptr_t>(static_cast<uint32_t>(key.width) << 13 |
                                           static_cast<uint32_t>(key.ppem));
  if (face->generic.data == reinterpret_cast<void*>(size)) {
    return true;
  }
  face->generic.data = nullptr;
  if (FT_Set_Char_Size(face, key.width, FT_F26Dot6{key.ppem} * 64, 72, 72) != 0) {
    return false;
  }
  face->generic.data = reinterpret_cast<void*>(size);
  return true;
}

// GDI's simulated italic leans the hinted outline a quarter of its height (measured on the
// reference renderer: a stem 68 pixels high leans 17); simulated bold grows it by a 24th of
// the em across and up, in whole pixels (tests/gdi-pages, text-simulated-styles).
constexpr double kSimulatedSlant = 0.25;
constexpr int kEmboldenDivisor = 24;

bool Render(FT_Face face, const GlyphKey& key, GlyphBitmap& out) {
  if (!SetSize(face, key)) {
    return false;
  }
  // FreeType's y axis points up; the shape's points down. A simulated slant comes first, in
  // the glyph's own axes.
  const FT_Fixed slant = key.face->simulated_italic ? Fixed(kSimulatedSlant) : 0;
  FT_Matrix matrix{key.xx, FT_MulFix(key.xx, slant) - key.xy, -key.yx,
                   key.yy - FT_MulFix(key.yx, slant)};
  FT_Set_Transform(face, &matrix, nullptr);
  const FT_Int32 flags = FT_LOAD_DEFAULT | FT_LOAD_NO_BITMAP |
                         (key.smooth ? FT_LOAD_TARGET_NORMAL : FT_LOAD_TARGET_MONO);
  bool loaded =
      FT_Load_Glyph(face, key.glyph, flags) == 0 && face->glyph->format == FT_GLYPH_FORMAT_OUTLINE;
  if (loaded && key.face->simulated_bold) {
    // Whole pixels, and at least one across: 13 pixels grow a pixel across and none up.
    const FT_Pos up = FT_Pos{key.ppem} / kEmboldenDivisor * 64;
    loaded = FT_Outline_EmboldenXY(&face->glyph->outline, std::max<FT_Pos>(up, 64), up) == 0;
  }
  loaded = loaded && FT_Render_Glyph(face->glyph,
                                     key.smooth ? FT_RENDER_MODE_NORMAL : FT_RENDER_MODE_MONO) == 0;
  FT_Set_Transform(face, nullptr, nullptr);
  if (!loaded) {
    return false;
  }
  const FT_Bitmap& bitmap = face->glyph->bitmap;
  out.left = face->glyph->bitmap_left;
  out.top = -face->glyph->bitmap_top;
  out.width = static_cast<int>(bitmap.width);
  out.height = static_cast<int>(bitmap.rows);
  out.coverage.assign(static_cast<size_t>(out.width) * out.height, 0);
  for (int y = 0; y < out.height; ++y) {
    const uint8_t* row = bitmap.buffer + static_cast<ptrdiff_t>(y) * bitmap.pitch;
    uint8_t* dst = out.coverage.data() + static_cast<size_t>(y) * out.width;
    for (int x = 0; x < out.width; ++x) {
      if (bitmap.pixel_mode == FT_PIXEL_MODE_MONO) {
        dst[x] = (row[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
      } else {
        // GDI smooths in 17 levels of grey.
        const int level = (row[x] * 17 + 128) >> 8;
        dst[x] = static_cast<uint8_t>(level >= 16 ? 255 : level * 16);
      }
    }
  }
  return true;
}

// Bitmaps made so far. Its lock guards the map alone and is never held while a glyph is
// rendered, so threads render at once; two may render the same glyph, and the first to put
// it in is kept (both made the same pixels).
struct GlyphCache {
  std::mutex mutex;
  std::unordered_map<GlyphKey, std::shared_ptr<const GlyphBitmap>, GlyphKeyHash> bitmaps;
  size_t bytes = 0;
};

GlyphCache& Cache() {
  static GlyphCache* const cache = new GlyphCache;  // for the process's life, as the faces
  return *cache;
}

}  // namespace

namespace {

// The key of a glyph of the shape, without the glyph; false when the shape draws no bitmaps.
bool ShapeKey(const Typeface& typeface, const GlyphShape& shape, GlyphKey& key) {
  if (!typeface.HasFreeTypeFace() || shape.ppem <= 0 || shape.ppem > kMaxPpem) {
    return false;
  }
  const double width = shape.width > 0 ? std::min(shape.width, double{kMaxPpem}) : 0;
  key = GlyphKey{&typeface,       shape.ppem,      static_cast<FT_F26Dot6>(std::lround(width * 64)),
                 Fixed(shape.xx), Fixed(shape.xy), Fixed(shape.yx),
                 Fixed(shape.yy), shape.smooth,    0};
  return true;
}

// The cached bitmap of the key, rendered and kept first when there is none.
std::shared_ptr<const GlyphBitmap> Fetch(const Typeface& typeface, const GlyphKey& key) {
  GlyphCache& cache = Cache();
  {
    const std::lock_guard lock(cache.mutex);
    auto found = cache.bitmaps.find(key);
    if (found != cache.bitmaps.end()) {
      return found->second;
    }
  }
  auto bitmap = std::make_shared<GlyphBitmap>();
  std::shared_ptr<const GlyphBitmap> made;
  {
    const Typeface::Borrowed face = typeface.Borrow();
    if (face && Render(face.get(), key, *bitmap) && bitmap->width > 0 && bitmap->height > 0) {
      made = std::move(bitmap);
    }
  }
  const std::lock_guard lock(cache.mutex);
  if (cache.bytes > kCacheBytes) {
    cache.bitmaps.clear();
    cache.bytes = 0;
  }
  auto [kept, fresh] = cache.bitmaps.try_emplace(key, std::move(made));
  if (fresh) {
    cache.bytes +=
        (kept->second ? kept->second->coverage.size() : 0) + sizeof(GlyphKey) + sizeof(GlyphBitmap);
  }
  return kept->second;
}

}  // namespace

std::shared_ptr<const GlyphBitmap> RasterizeGlyph(const Typeface& typeface, const GlyphShape& shape,
                                                  uint32_t glyph) {
  GlyphKey key;
  if (!ShapeKey(typeface, shape, key)) {
    return nullptr;
  }
  key.glyph = glyph;
  return Fetch(typeface, key);
}

void RasterizeGlyphs(const Typeface& typeface, const GlyphShape& shape,
                     std::span<const uint32_t> glyphs,
                     std::vector<std::shared_ptr<const GlyphBitmap>>& bitmaps) {
  bitmaps.assign(glyphs.size(), nullptr);
  GlyphKey key;
  if (!ShapeKey(typeface, shape, key)) {
    return;
  }
  std::vector<size_t> missing;
  {
    GlyphCache& cache = Cache();
    const std::lock_guard lock(cache.mutex);
    for (size_t i = 0; i < glyphs.size(); ++i) {
      key.glyph = glyphs[i];
      auto found = cache.bitmaps.find(key);
      if (found != cache.bitmaps.end()) {
        bitmaps[i] = found->second;
      } else {
        missing.push_back(i);
      }
    }
  }
  // Rendered one by one with no lock held; a glyph the run has twice is made once.
  for (size_t i : missing) {
    key.glyph = glyphs[i];
    bitmaps[i] = Fetch(typeface, key);
  }
}

namespace {

// Plain-pixel advances by face, size and glyph (the key's matrix and smoothing unused), in
// 26.6 pixels; its lock, as the bitmaps', is never held while a glyph is loaded.
struct AdvanceCache {
  std::mutex mutex;
  std::unordered_map<GlyphKey, FT_Pos, GlyphKeyHash> advances;
};

AdvanceCache& Advances() {
  static AdvanceCache* const cache = new AdvanceCache;  // for the process's life, as the faces
  return *cache;
}

// Beyond this many advances the cache starts afresh.
constexpr size_t kCachedAdvances = 1u << 20;

}  // namespace

bool HintedAdvances(const Typeface& typeface, const GlyphShape& shape, bool smooth,
                    std::span<const uint32_t> glyphs, std::vector<double>& advances) {
  advances.clear();
  GlyphKey key;
  if (!ShapeKey(typeface, shape, key)) {
    return false;
  }
  key.xx = key.yy = 1;
  key.xy = key.yx = 0;
  key.smooth = smooth;
  AdvanceCache& cache = Advances();
  std::vector<FT_Pos> found(glyphs.size(), -1);
  std::vector<size_t> missing;
  {
    const std::lock_guard lock(cache.mutex);
    for (size_t i = 0; i < glyphs.size(); ++i) {
      key.glyph = glyphs[i];
      const auto known = cache.advances.find(key);
      if (known != cache.advances.end()) {
        found[i] = known->second;
      } else {
        missing.push_back(i);
      }
    }
  }
  if (!missing.empty()) {
    const Typeface::Borrowed face = typeface.Borrow();
    if (!face || !SetSize(face.get(), key)) {
      return false;
    }
    const FT_Int32 flags = FT_LOAD_DEFAULT | FT_LOAD_NO_BITMAP |
                           (smooth ? FT_LOAD_TARGET_NORMAL : FT_LOAD_TARGET_MONO);
    // Loading hints the outline, which moves its advance; nothing is drawn. The advance in
    // whole 64ths of a pixel, and unhinted in 16.16.
    const auto load = [&face, flags, smooth](uint32_t glyph, FT_Pos& hinted, FT_Fixed& linear) {
      if (FT_Load_Glyph(face.get(), glyph, flags) != 0) {
        return false;
      }
      const FT_Pos advance = face.get()->glyph->metrics.horiAdvance;
      hinted = smooth ? (advance + 32) & ~63 : advance;
      linear = face.get()->glyph->linearHoriAdvance;
      return true;
    };
    FT_Pos half = 0;
    FT_Fixed half_linear = 0;
    const bool dual = typeface.dual_width &&
                      load(FT_Get_Char_Index(face.get(), ' '), half, half_linear) && half > 0;
    for (size_t i : missing) {
      FT_Pos advance = 0;
      FT_Fixed linear = 0;
      if (!load(glyphs[i], advance, linear)) {
        return false;
      }
      if (dual && linear > half_linear + half_linear / 2) {
        advance = 2 * half;
      }
      found[i] = advance + (typeface.simulated_bold ? 64 : 0);
    }
    const std::lock_guard lock(cache.mutex);
    if (cache.advances.size() + missing.size() > kCachedAdvances) {
      cache.advances.clear();
    }
    for (size_t i : missing) {
      key.glyph = glyphs[i];
      cache.advances.emplace(key, found[i]);
    }
  }
  for (FT_Pos advance : found) {
    advances.push_back(static_cast<double>(advance) / 64.0);
  }
  return true;
}

void ForgetGlyphBitmaps() {
  {
    GlyphCache& cache = Cache();
    const std::lock_guard lock(cache.mutex);
    cache.bitmaps.clear();
    cache.bytes = 0;
  }
  AdvanceCache& cache = Advances();
  const std::lock_guard lock(cache.mutex);
  cache.advances.clear();
}

Path OutlinesOfGlyphs(cairo_font_face_t* face, const cairo_matrix_t& font_matrix,
                      const std::vector<cairo_glyph_t>& glyphs) {
  Path path;
  const Surface scratch(cairo_image_surface_create(CAIRO_FORMAT_A8, 1, 1));
  const Context cr(cairo_create(scratch.get()));
  cairo_set_font_face(cr.get(), face);
  cairo_set_font_matrix(cr.get(), &font_matrix);
  cairo_glyph_path(cr.get(), glyphs.data(), static_cast<int>(glyphs.size()));
  const std::unique_ptr<cairo_path_t, CairoDestroy<cairo_path_t, cairo_path_destroy>> outline(
      cairo_copy_path(cr.get()));
  for (int i = 0; i < outline->num_data; i += outline->data[i].header.length) {
    const cairo_path_data_t* d = &outline->data[i];
    switch (d->header.type) {
      case CAIRO_PATH_MOVE_TO:
        path.MoveTo({d[1].point.x, d[1].point.y});
        break;
      case CAIRO_PATH_LINE_TO:
        path.LineTo({d[1].point.x, d[1].point.y});
        break;
      case CAIRO_PATH_CURVE_TO:
        path.CurveTo({d[1].point.x, d[1].point.y}, {d[2].point.x, d[2].point.y},
                     {d[3].point.x, d[3].point.y});
        break;
      case CAIRO_PATH_CLOSE_PATH:
        path.Close();
        break;
    }
  }
  return path;
}

}  // namespace emf
