// Images: bitmaps drawn onto a parallelogram, metafiles played into their place through the
// engine's own players, within the clip.
#include <algorithm>
#include <cmath>

#include "emf/wmf/wmf_reader.h"
#include "emfplus/clipped_target.h"
#include "emfplus/player.h"

namespace emfplus {
namespace {

// Metafiles drawn inside metafiles drawn inside ...: deeper than this, a picture is left out,
// so that a page cannot multiply its own cost without end.
constexpr int kMaxNesting = 4;
thread_local int nesting = 0;

struct Nested {
  Nested() { ++nesting; }
  ~Nested() { --nesting; }
  Nested(const Nested&) = delete;
  Nested& operator=(const Nested&) = delete;
};

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
  if (image->bitmap) {
    // A paint of the bitmap over its place, sampled as the interpolation mode says: GDI+
    // blends neighbouring pixels as it stretches a bitmap, unless told to take the nearest.
    emf::SmoothPaint paint;
    paint.tile = image->bitmap;
    paint.argb = MeanPixel(*image->bitmap);
    paint.extend = emf::SmoothPaint::Extend::kPad;
    const int mode = state_.interpolation;
    paint.sampling =
        mode == kInterpolationNearest ? emf::SmoothPaint::Sampling::kNearest
        : mode == kInterpolationHighQuality || mode >= kInterpolationHighQualityBilinear
            ? emf::SmoothPaint::Sampling::kFiltered
            : emf::SmoothPaint::Sampling::kBilinear;
    paint.to_device = emf::Transform{1, 0, 0, 1, -source.x, -source.y}.Then(
        {(tr.x - tl.x) / source.width, (tr.y - tl.y) / source.width, (bl.x - tl.x) / source.height,
         (bl.y - tl.y) / source.height, tl.x, tl.y});
    emf::Path place;
    place.MoveTo(tl);
    place.LineTo(tr);
    place.LineTo({tr.x + bl.x - tl.x, tr.y + bl.y - tl.y});
    place.LineTo(bl);
    place.Close();
    ApplyClip();
    target_.FillPattern(place, emf::FillRule::kWinding, paint, false);
    return;
  }
  PlayImageMetafile(record, *image, source, tl, tr, bl);
}

void Player::PlayImageMetafile(const Record& record, const PlusImage& image, const RectF& source,
                               emf::Point tl, emf::Point tr, emf::Point bl) {
  if (nesting >= kMaxNesting) {
    Skip(record, "metafiles nested too deep");
    return;
  }
  // The engine plays a page onto an upright rectangle: a turned or slanted place is left out.
  if (std::fabs(tr.y - tl.y) > 0.5 || std::fabs(bl.x - tl.x) > 0.5) {
    Skip(record, "a metafile turned");
    return;
  }
  std::vector<uint8_t> converted;
  std::span<const uint8_t> bytes = image.metafile;
  if (image.metafile_type == PlusImage::kWmf || image.metafile_type == PlusImage::kWmfPlaceable) {
    std::string why;
    auto wmf = emf::ConvertWmf(bytes, 96, &why);
    if (!wmf) {
      Skip(record, "a Windows metafile that cannot be read");
      return;
    }
    converted = std::move(wmf->emf);
    bytes = converted;
  }
  const std::optional<emf::Metafile> file = emf::Metafile::Parse(bytes, nullptr);
  if (!file) {
    Skip(record, "a metafile that cannot be read");
    return;
  }
  // The picture's frame in its own pixels, and where the source rectangle of those lands.
  // GDI+ sizes a metafile's pixels by its reference device, in micrometres where the header
  // gives them.
  const emf::Header& h = file->header();
  auto dpi = [](int32_t pixels, int32_t millimeters, int32_t micrometers) {
    return micrometers > 0   ? pixels * 25400.0 / micrometers
           : millimeters > 0 ? pixels * 25.4 / millimeters
                             : 96.0;
  };
  const double dpi_x = dpi(h.device.cx, h.millimeters.cx, h.micrometers.cx);
  const double dpi_y = dpi(h.device.cy, h.millimeters.cy, h.micrometers.cy);
  auto place = [&](double x, double y) {
    return emf::Point{tl.x + (x - source.x) / source.width * (tr.x - tl.x),
                      tl.y + (y - source.y) / source.height * (bl.y - tl.y)};
  };
  const emf::Point a = place(h.frame.left * dpi_x / 2540, h.frame.top * dpi_y / 2540);
  const emf::Point b = place(h.frame.right * dpi_x / 2540, h.frame.bottom * dpi_y / 2540);
  const emf::RectL frame{emf::ToInt(std::lround(a.x)), emf::ToInt(std::lround(a.y)),
                         emf::ToInt(std::lround(b.x)), emf::ToInt(std::lround(b.y))};
  // Only the source rectangle's place shows, within the clip.
  emf::Region shown = emf::MakeRegion(
      emf::ToInt(std::lround(std::min(tl.x, tr.x))), emf::ToInt(std::lround(std::min(tl.y, bl.y))),
      emf::ToInt(std::lround(std::max(tl.x, tr.x))), emf::ToInt(std::lround(std::max(tl.y, bl.y))));
  cairo_region_intersect(shown.get(), Shown().get());
  ClippedTarget clipped(target_, std::move(shown));
  const Nested nested;
  emf::PlayStats stats = emf::PlayMetafile(*file, clipped, frame, EmfPlusDrawing());
  for (const auto& [name, count] : stats.skipped) {
    stats_->skipped[name] += count;
  }
  clip_applied_ = false;  // the picture's clips were set on the target
}

}  // namespace emfplus
