// Images: bitmaps drawn onto a parallelogram, metafiles played into their place through the
// engine's own players, within the clip.
#include <algorithm>
#include <cmath>

#include "emf/canvas/canvas.h"
#include "emf/wmf/wmf_reader.h"
#include "emfplus/clipped_target.h"
#include "emfplus/player.h"

namespace emfplus {
namespace {

// Metafiles drawn inside metafiles drawn inside ...: deeper than this, a picture is left out,
// so that a page cannot multiply its own cost without end.
constexpr int kMaxNesting = 4;
thread_local int nesting = 0;

// A turned picture's bitmap: at most this many pixels, and this many a side.
constexpr int64_t kMaxTurnedPixels = int64_t{1} << 22;
constexpr int kMaxTurnedSide = 1 << 14;
// What pictures drawn into bitmaps may cost a page, in pixels drawn, its nested pictures
// included: past it a turned picture is left out and a texture takes its mean colour.
constexpr int64_t kMostRasterisedPixels = int64_t{1} << 26;
thread_local int64_t rasterised = 0;

// The page drawn into a bitmap of columns x rows with alpha: drawn on white and on black, a
// pixel's coverage is what the two leave alike (as premultiplied ARGB, the one on black).
emf::Image Rasterise(const emf::Metafile& file, int columns, int rows, const emf::RectL& frame,
                     emf::PlayStats& stats) {
  const size_t count = static_cast<size_t>(columns) * static_cast<size_t>(rows);
  std::vector<uint32_t> on_white(count, 0xFFFFFF), on_black(count, 0);
  for (auto* pixels : {&on_white, &on_black}) {
    emf::Canvas canvas(pixels->data(), columns, rows, columns * 4);
    stats = emf::PlayMetafile(file, canvas, frame, EmfPlusDrawing());
  }
  emf::Image image;
  image.width = columns;
  image.height = rows;
  image.has_alpha = true;
  image.pixels.resize(count);
  for (size_t i = 0; i < count; ++i) {
    const uint32_t white = on_white[i], black = on_black[i];
    int alpha = 0;
    for (int shift = 0; shift < 24; shift += 8) {
      const int gap =
          static_cast<int>((white >> shift) & 0xFF) - static_cast<int>((black >> shift) & 0xFF);
      alpha = std::max(alpha, 255 - gap);
    }
    uint32_t pixel = static_cast<uint32_t>(std::clamp(alpha, 0, 255)) << 24;
    for (int shift = 0; shift < 24; shift += 8) {
      pixel |= std::min<uint32_t>((black >> shift) & 0xFF, static_cast<uint32_t>(alpha)) << shift;
    }
    image.pixels[i] = pixel;
  }
  return image;
}

struct Nested {
  Nested() { ++nesting; }
  ~Nested() { --nesting; }
  Nested(const Nested&) = delete;
  Nested& operator=(const Nested&) = delete;
};

// A metafile image opened to be played: a Windows metafile converted first. Its frame is in
// the pixels of its reference device, by which GDI+ sizes a metafile (in micrometres where
// the header gives them). Not to be moved once opened: the file reads the converted bytes.
struct OpenedPicture {
  std::vector<uint8_t> converted;
  std::optional<emf::Metafile> file;
  RectF frame;
};

// Why the image is no picture to play, or null when it opened.
const char* OpenPicture(const PlusImage& image, OpenedPicture& picture) {
  std::span<const uint8_t> bytes = image.metafile;
  if (image.metafile_type == PlusImage::kWmf || image.metafile_type == PlusImage::kWmfPlaceable) {
    std::string why;
    auto wmf = emf::ConvertWmf(bytes, 96, &why);
    if (!wmf) {
      return "a Windows metafile that cannot be read";
    }
    picture.converted = std::move(wmf->emf);
    bytes = picture.converted;
  }
  picture.file = emf::Metafile::Parse(bytes, nullptr);
  if (!picture.file) {
    return "a metafile that cannot be read";
  }
  const emf::Header& h = picture.file->header();
  auto dpi = [](int32_t pixels, int32_t millimeters, int32_t micrometers) {
    return micrometers > 0   ? pixels * 25400.0 / micrometers
           : millimeters > 0 ? pixels * 25.4 / millimeters
                             : 96.0;
  };
  const double dpi_x = dpi(h.device.cx, h.millimeters.cx, h.micrometers.cx);
  const double dpi_y = dpi(h.device.cy, h.millimeters.cy, h.micrometers.cy);
  picture.frame = {h.frame.left * dpi_x / 2540, h.frame.top * dpi_y / 2540,
                   (h.frame.right - h.frame.left) * dpi_x / 2540,
                   (h.frame.bottom - h.frame.top) * dpi_y / 2540};
  return nullptr;
}

// Columns and rows for a picture of width x height pixels on the target, within the bounds.
std::pair<int, int> BitmapSize(double width, double height) {
  const double shrink = std::min(
      1.0, std::sqrt(static_cast<double>(kMaxTurnedPixels) / std::max(1.0, width * height)));
  return {std::clamp(static_cast<int>(std::ceil(width * shrink)), 1, kMaxTurnedSide),
          std::clamp(static_cast<int>(std::ceil(height * shrink)), 1, kMaxTurnedSide)};
}

}  // namespace

void Player::DrawImage(const Record& record, emf::ByteReader& r) {
  r.Skip(4);  // image attributes
  const int32_t unit = r.I32();
  const RectF source = ReadRect(r, false);
  const RectF dest = ReadRect(r, (record.flags & kFlagCompressed) != 0);
  const emf::Point corners[3] = {
      {dest.x, dest.y}, {dest.x + dest.width, dest.y}, {dest.x, dest.y + dest.height}};
  PlaceImage(record, unit, source, corners);
}

void Player::DrawImagePoints(const Record& record, emf::ByteReader& r) {
  r.Skip(4);  // image attributes
  const int32_t unit = r.I32();
  const RectF source = ReadRect(r, false);
  std::vector<emf::Point> points;
  if (!ReadPoints(r, r.U32(), (record.flags & kFlagCompressed) != 0,
                  (record.flags & kFlagRelative) != 0, points) ||
      points.size() != 3) {
    Skip(record, "too short");
    return;
  }
  const emf::Point corners[3] = {points[0], points[1], points[2]};
  PlaceImage(record, unit, source, corners);
}

void Player::PlaceImage(const Record& record, int32_t unit, RectF source,
                        const emf::Point (&world)[3]) {
  const PlusImage* image = ObjectAt<PlusImage>(record, record.flags & 0xFF);
  if (image == nullptr) {
    return;
  }
  // The source rectangle in the image's pixels.
  const double to_pixels = unit == 0 ? 1.0 : UnitInPixels(static_cast<uint32_t>(unit), 96);
  source = {source.x * to_pixels, source.y * to_pixels, source.width * to_pixels,
            source.height * to_pixels};
  if (image->bitmap && !state_.pixel_offset_half) {
    // Without a half-pixel offset GDI+ samples a bitmap half a pixel of its own down and
    // right of where it lies (writers that know it start the source rectangle at -0.5).
    source.x += 0.5;
    source.y += 0.5;
  }
  const emf::Transform to_target = WorldToTarget();
  emf::Path corners;
  for (const emf::Point& p : world) {
    corners.LineTo(to_target.Apply(p));
  }
  if (!Tame(corners) || !(source.width != 0 && source.height != 0)) {
    Skip(record, "not a number");
    return;
  }
  const emf::Point tl = corners.segments[0].p[0];
  const emf::Point tr = corners.segments[1].p[0];
  const emf::Point bl = corners.segments[2].p[0];
  if (image->bitmap && (image->bitmap->width > emf::kWidestPaintTile ||
                        image->bitmap->height > emf::kWidestPaintTile)) {
    // Wider than a paint can be: the engine's own transfer fits it, by nearest pixels.
    ApplyClip();
    const emf::Image& bitmap = *image->bitmap;
    if (bitmap.has_alpha) {
      target_.BlendImage(bitmap, source.x, source.y, source.width, source.height, tl, tr, bl, 255,
                         true);
    } else {
      target_.DrawImage(bitmap, source.x, source.y, source.width, source.height, tl, tr, bl,
                        0x00CC0020, nullptr, false);
    }
    return;
  }
  if (image->bitmap) {
    // Sampled as the interpolation mode says: GDI+ blends neighbouring pixels as it
    // stretches a bitmap, unless told to take the nearest.
    const int mode = state_.interpolation;
    PaintBitmap(image->bitmap, image->mean, source,
                mode == kInterpolationNearest ? emf::SmoothPaint::Sampling::kNearest
                : mode == kInterpolationHighQuality || mode >= kInterpolationHighQualityBilinear
                    ? emf::SmoothPaint::Sampling::kFiltered
                    : emf::SmoothPaint::Sampling::kBilinear,
                tl, tr, bl, false);
    return;
  }
  PlayImageMetafile(record, *image, source, tl, tr, bl);
}

void Player::PaintBitmap(std::shared_ptr<const emf::Image> bitmap, uint32_t mean,
                         const RectF& source, emf::SmoothPaint::Sampling sampling, emf::Point tl,
                         emf::Point tr, emf::Point bl, bool antialias) {
  emf::SmoothPaint paint;
  paint.tile = std::move(bitmap);
  paint.argb = mean;
  paint.extend = emf::SmoothPaint::Extend::kPad;
  paint.sampling = sampling;
  paint.to_device = emf::Transform{1, 0, 0, 1, -source.x, -source.y}.Then(
      {(tr.x - tl.x) / source.width, (tr.y - tl.y) / source.width, (bl.x - tl.x) / source.height,
       (bl.y - tl.y) / source.height, tl.x, tl.y});
  ApplyClip();
  target_.FillPattern(emf::Parallelogram(tl, tr, bl), emf::FillRule::kWinding, paint, antialias);
}

void Player::PlayImageMetafile(const Record& record, const PlusImage& image, const RectF& source,
                               emf::Point tl, emf::Point tr, emf::Point bl) {
  if (nesting >= kMaxNesting) {
    Skip(record, "metafiles nested too deep");
    return;
  }
  OpenedPicture picture;
  if (const char* why = OpenPicture(image, picture); why != nullptr) {
    Skip(record, why);
    return;
  }
  const emf::Metafile& file = *picture.file;
  // The frame on an upright place of the given corners.
  auto frame_on = [&](emf::Point top_left, double width, double height) {
    auto place = [&](double x, double y) {
      return emf::Point{top_left.x + (x - source.x) / source.width * width,
                        top_left.y + (y - source.y) / source.height * height};
    };
    const emf::Point a = place(picture.frame.x, picture.frame.y);
    const emf::Point b =
        place(picture.frame.x + picture.frame.width, picture.frame.y + picture.frame.height);
    return emf::RectL{emf::ToInt(std::lround(a.x)), emf::ToInt(std::lround(a.y)),
                      emf::ToInt(std::lround(b.x)), emf::ToInt(std::lround(b.y))};
  };
  if (std::fabs(tr.y - tl.y) > 0.5 || std::fabs(bl.x - tl.x) > 0.5) {
    // The engine plays a page onto an upright rectangle: a turned or slanted picture is drawn
    // upright into a bitmap of its size on the target, which is then put in its place.
    const emf::Point br{tr.x + bl.x - tl.x, tr.y + bl.y - tl.y};
    if (std::max({tl.x, tr.x, bl.x, br.x}) <= 0 || std::max({tl.y, tr.y, bl.y, br.y}) <= 0 ||
        std::min({tl.x, tr.x, bl.x, br.x}) >= target_.width() ||
        std::min({tl.y, tr.y, bl.y, br.y}) >= target_.height()) {
      return;  // off the target: nothing of it shows
    }
    const double width = std::hypot(tr.x - tl.x, tr.y - tl.y);
    const double height = std::hypot(bl.x - tl.x, bl.y - tl.y);
    const auto [columns, rows] = BitmapSize(width, height);
    const std::shared_ptr<const emf::Image> drawn =
        Rasterised(file, columns, rows, frame_on({0, 0}, columns, rows));
    if (!drawn) {
      Skip(record, "pictures past the page's budget");
      return;
    }
    PaintBitmap(drawn, MeanPixel(*drawn),
                {0, 0, static_cast<double>(columns), static_cast<double>(rows)},
                emf::SmoothPaint::Sampling::kBilinear, tl, tr, bl, state_.antialias);
    return;
  }
  const Nested nested;
  const emf::RectL frame = frame_on(tl, tr.x - tl.x, bl.y - tl.y);
  // Only the source rectangle's place shows, within the clip.
  emf::Region shown = emf::MakeRegion(
      emf::ToInt(std::lround(std::min(tl.x, tr.x))), emf::ToInt(std::lround(std::min(tl.y, bl.y))),
      emf::ToInt(std::lround(std::max(tl.x, tr.x))), emf::ToInt(std::lround(std::max(tl.y, bl.y))));
  cairo_region_intersect(shown.get(), Shown().get());
  ClippedTarget clipped(target_, std::move(shown));
  emf::PlayStats stats = emf::PlayMetafile(file, clipped, frame, EmfPlusDrawing());
  for (const auto& [name, count] : stats.skipped) {
    stats_->skipped[name] += count;
  }
  clip_applied_ = false;  // the picture's clips were set on the target
}

void Player::StartPictureBudget() {
  if (nesting == 0) {
    rasterised = 0;
  }
}

std::shared_ptr<const emf::Image> Player::Rasterised(const emf::Metafile& file, int columns,
                                                     int rows, const emf::RectL& frame) const {
  const int64_t cost = 2 * int64_t{columns} * rows;
  if (rasterised + cost > kMostRasterisedPixels) {
    return nullptr;
  }
  rasterised += cost;
  const Nested nested;
  emf::PlayStats stats;
  auto picture = std::make_shared<emf::Image>(Rasterise(file, columns, rows, frame, stats));
  for (const auto& [name, count] : stats.skipped) {
    stats_->skipped[name] += count;
  }
  // A picture that fails fails the page it is drawn on, as one drawn in place does.
  if (!stats.failure.empty()) {
    target_.Fail(stats.failure);
  }
  return picture;
}

std::shared_ptr<const emf::Image> Player::PictureTile(const std::shared_ptr<const PlusImage>& image,
                                                      const emf::Transform& to_target,
                                                      emf::Transform& tile_to_target) const {
  OpenedPicture picture;
  if (nesting >= kMaxNesting || OpenPicture(*image, picture) != nullptr ||
      !(picture.frame.width > 0 && picture.frame.height > 0) || !to_target.IsFinite()) {
    return nullptr;
  }
  // Drawn at the size it takes on the target, its frame filling the bitmap; kept for the
  // fills that follow at that size.
  const double scale = std::sqrt(std::fabs(to_target.Determinant()));
  const auto [columns, rows] = BitmapSize(std::min(picture.frame.width * scale, 1e6),
                                          std::min(picture.frame.height * scale, 1e6));
  tile_to_target =
      emf::Transform{picture.frame.width / columns, 0, 0, picture.frame.height / rows, 0, 0}.Then(
          to_target);
  for (const TileDrawn& drawn : tiles_) {
    if (drawn.picture == image && drawn.columns == columns && drawn.rows == rows) {
      return drawn.tile;
    }
  }
  std::shared_ptr<const emf::Image> tile =
      Rasterised(*picture.file, columns, rows, emf::RectL{0, 0, columns, rows});
  if (tile) {
    constexpr size_t kTilesKept = 4;
    if (tiles_.size() == kTilesKept) {
      tiles_.erase(tiles_.begin());
    }
    tiles_.push_back({image, columns, rows, tile});
  }
  return tile;
}

}  // namespace emfplus
