#include "emf/player/player.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

#include "emf/canvas/line_raster.h"
#include "emf/player/record_table.h"
#include "emf/records/gdi_constants.h"

namespace emf {

PlayStats PlayMetafile(const Metafile& file, DrawingTarget& target, const RectL& bounds,
                       const CommentDrawingMaker& comments) {
  return Player(file, target, bounds).Play(comments);
}

Player::Player(const Metafile& file, DrawingTarget& target, const RectL& bounds)
    : file_(file), canvas_(target), bounds_(bounds) {
  const emf::Header& h = file.header();
  const double frame_width = static_cast<double>(h.frame.right) - h.frame.left;
  const double frame_height = static_cast<double>(h.frame.bottom) - h.frame.top;
  const double bounds_width = static_cast<double>(bounds.right) - bounds.left;
  const double bounds_height = static_cast<double>(bounds.bottom) - bounds.top;
  // Reference-device pixels -> hundredths of a millimetre -> the frame's share of bounds.
  const double mm_per_pixel_x =
      h.device.cx != 0 ? static_cast<double>(h.millimeters.cx) / h.device.cx : 0;
  const double mm_per_pixel_y =
      h.device.cy != 0 ? static_cast<double>(h.millimeters.cy) / h.device.cy : 0;
  if (frame_width != 0 && frame_height != 0) {
    playback_.m11 = bounds_width * 100.0 / frame_width * mm_per_pixel_x;
    playback_.m22 = bounds_height * 100.0 / frame_height * mm_per_pixel_y;
    playback_.dx = bounds.left - bounds_width * h.frame.left / frame_width;
    playback_.dy = bounds.top - bounds_height * h.frame.top / frame_height;
  } else {
    playback_.m11 = playback_.m22 = 0;
  }
  objects_.resize(std::max<size_t>(h.handles, 1));
  state_.map = Mapping{};
  UpdateClip();
}

PlayStats Player::Play(const CommentDrawingMaker& comments) {
  if (!playback_.Invertible()) {
    return stats_;
  }
  const std::unique_ptr<CommentDrawing> drawing =
      comments ? comments(file_, canvas_, bounds_) : nullptr;
  bool gdi_drawn = true;
  size_t number = 0;
  for (const Record& record : file_.records()) {
    ++number;
    if (ended_) {
      break;
    }
    if (drawing != nullptr) {
      if (record.type == kEmrGdiComment) {
        drawing->Comment(CommentData(record), stats_);
      }
      // The comment drawing stands in for the GDI records but those it hands over to; they
      // draw again under the clip the GDI state sets.
      const bool draws = drawing->DrawsGdiRecords();
      if (draws && !gdi_drawn) {
        UpdateClip();
      }
      gdi_drawn = draws;
      if (!draws && record.type != kEmrHeader && record.type != kEmrEof) {
        continue;
      }
    }
    current_type_ = record.type;
    const RecordEntry* handler = FindRecord(record.type);
    if (handler == nullptr || handler->handle == nullptr) {
      CountSkipped(record.type, nullptr);
      continue;
    }
    if (record.bytes.size() < handler->minimum_size) {
      CountSkipped(record.type, "too short");
      continue;
    }
    ByteReader reader(record.bytes);
    reader.Skip(8);
    (this->*handler->handle)(reader);
    ++stats_.played;
    // A record whose fields run past its end was drawn from zeros: the page has parts
    // missing, and says which record.
    if (!reader.Ok()) {
      canvas_.Fail("record " + std::to_string(number) + " (" + handler->name +
                   ") ends before its fields do");
    }
  }
  stats_.failure = canvas_.Failure();
  return stats_;
}

void Player::CountSkipped(uint32_t type, const char* why) {
  const RecordEntry* entry = FindRecord(type);
  std::string name = entry != nullptr ? entry->name : "EMR_UNKNOWN(" + std::to_string(type) + ")";
  if (why != nullptr) {
    name += std::string(" (") + why + ")";
  }
  ++stats_.skipped[name];
}

void Player::Header(ByteReader&) {}
void Player::Eof(ByteReader&) {
  ended_ = true;
}
void Player::Ignore(ByteReader&) {}

Transform Player::PageTransform() const {
  return state_.map.PageTransform();
}

Transform Player::LogicalToCanvas() const {
  return state_.world.Then(PageTransform()).Then(playback_);
}

void Player::UpdateClip() {
  // What the canvas shows: the bounds, the meta region and the clip region together.
  Region effective = MakeRegion(std::max(0, bounds_.left), std::max(0, bounds_.top),
                                std::min(canvas_.width(), bounds_.right),
                                std::min(canvas_.height(), bounds_.bottom));
  if (state_.meta) {
    cairo_region_intersect(effective.get(), state_.meta.get());
  }
  if (state_.clip) {
    cairo_region_intersect(effective.get(), state_.clip.get());
  }
  canvas_.SetClip(effective.get());
}

Paint Player::CurrentPaint(const Brush& brush) const {
  Paint paint;
  paint.brush = brush;
  paint.background = state_.bk_color;
  paint.text_color = state_.text_color;
  paint.opaque_background = state_.bk_mode == kBkOpaque;
  paint.origin = playback_.Apply(state_.brush_origin);
  return paint;
}

namespace {

// A pen's width on the canvas as GDI takes it: the two ends of a step of the width along x,
// each rounded to its pixel, and the distance between them cut to whole pixels. Where the
// origin falls moves the rounding, so a pen of one unit at 1.18 pixels a unit is one pixel
// or two by where the window's origin lies, and a turned pen loses its fraction (4 units
// turned by 30 degrees: 3 pixels). Settled on pen-width-origin and pen-width-turned of
// tests/gdi-pages through the reference renderer.
double PenPixels(const Transform& t, double width) {
  const Point from = t.Apply({0, 0});
  const Point to = t.Apply({width, 0});
  const double dx = static_cast<double>(RoundToPixel(to.x) - RoundToPixel(from.x));
  const double dy = static_cast<double>(RoundToPixel(to.y) - RoundToPixel(from.y));
  return std::floor(std::hypot(dx, dy));
}

}  // namespace

void Player::RealizePen() {
  const Transform t = LogicalToCanvas();
  state_.pen_pixels = PenPixels(t, state_.pen.width);
  state_.pen_scale = {t.m11, t.m12, t.m21, t.m22};
}

void Player::TransformChanged() {
  const Transform t = LogicalToCanvas();
  if (state_.pen_scale != std::array<double, 4>{t.m11, t.m12, t.m21, t.m22}) {
    RealizePen();
  }
}

StrokeStyle Player::CurrentStroke() const {
  const Pen& pen = state_.pen;
  StrokeStyle style;
  style.color = pen.geometric && pen.brush.style == Brush::kSolid ? pen.brush.color : pen.color;
  constexpr int kPsSolid = 0, kPsInsideFrame = 6;
  int line_style = pen.style & 0xF;
  const double width = pen.width == 0 ? 1 : state_.pen_pixels;
  if (pen.geometric) {
    // A solid geometric pen that comes to a pixel or less draws GDI's thin line.
    style.cosmetic = (line_style == kPsSolid || line_style == kPsInsideFrame) && width <= 1;
  } else {
    // CreatePen's pen wider than a pixel on the device is drawn as a geometric one, solid;
    // at a pixel or less it keeps its style, one pixel wide.
    style.cosmetic = width <= 1;
    if (!style.cosmetic && line_style != kPsInsideFrame) {
      line_style = kPsSolid;
    }
  }
  // A pen over a million pixels wide covers all of any page it reaches, and wider ones would
  // overflow cairo's fixed point (which then asks for gigabytes): it is drawn a million
  // pixels wide.
  constexpr double kWidestPen = 1 << 20;
  style.width = std::clamp(width, 1.0, kWidestPen);
  const int cap = pen.style & 0xF00;
  const int join = pen.style & 0xF000;
  style.cap = cap == 0x100   ? CAIRO_LINE_CAP_SQUARE
              : cap == 0x200 ? CAIRO_LINE_CAP_BUTT
                             : CAIRO_LINE_CAP_ROUND;
  style.join = join == 0x1000   ? CAIRO_LINE_JOIN_BEVEL
               : join == 0x2000 ? CAIRO_LINE_JOIN_MITER
                                : CAIRO_LINE_JOIN_ROUND;
  style.miter_limit = state_.miter_limit;
  const double unit = style.cosmetic ? 1.0 : style.width;
  switch (line_style) {
    case 1:  // PS_DASH
      style.dashes =
          style.cosmetic ? std::vector<double>{18, 6} : std::vector<double>{3 * unit, unit};
      break;
    case 2:  // PS_DOT
      style.dashes = style.cosmetic ? std::vector<double>{3, 3} : std::vector<double>{unit, unit};
      break;
    case 3:  // PS_DASHDOT
      style.dashes = style.cosmetic ? std::vector<double>{9, 6, 3, 6}
                                    : std::vector<double>{3 * unit, unit, unit, unit};
      break;
    case 4:  // PS_DASHDOTDOT
      style.dashes = style.cosmetic ? std::vector<double>{9, 3, 3, 3, 3, 3}
                                    : std::vector<double>{3 * unit, unit, unit, unit, unit, unit};
      break;
    case 7:  // PS_USERSTYLE
      // A geometric pen's lengths are device pixels: GDI scales them neither by the mapping
      // nor by the pen's width (20 and 24 stay 20 and 24 pixels at any scale). A cosmetic
      // pen counts in the display's style steps, three pixels each, as its own dashes do
      // (18 on, 6 off for PS_DASH's 6 and 2): 6 and 6 draw 18 and 18 (tests/gdi-pages'
      // pen-style-gaps).
      for (double d : pen.user_dashes) {
        style.dashes.push_back(std::max(0.5, pen.geometric ? d : 3 * d));
      }
      break;
    case 8:  // PS_ALTERNATE
      style.dashes = {1, 1};
      break;
    default:
      break;
  }
  // Only the old pens of CreatePen fill their gaps in the background colour; a pen of
  // ExtCreatePen, cosmetic or geometric, leaves them as they were (pen-style-gaps).
  style.opaque_gaps = state_.bk_mode == kBkOpaque && !pen.extended;
  style.background = state_.bk_color;
  if (pen.geometric && !style.cosmetic &&
      (pen.brush.style == Brush::kHatched || pen.brush.style == Brush::kPattern)) {
    style.paint = CurrentPaint(pen.brush);
  }
  return style;
}

void Player::Fill(const Path& canvas_path, int fill_mode) {
  canvas_.FillPath(canvas_path, fill_mode == 2 ? FillRule::kWinding : FillRule::kAlternate,
                   CurrentPaint(state_.brush), state_.rop2);
}

void Player::Stroke(const Path& canvas_path) {
  if ((state_.pen.style & 0xF) == 5) {  // PS_NULL
    return;
  }
  canvas_.StrokePath(canvas_path, CurrentStroke(), state_.rop2);
}

void Player::DrawShape(Path path, bool fill, bool stroke) {
  const size_t segments = path.segments.size() + (in_path_ ? path_.segments.size() : 0);
  if (segments > kMaxShapeSegments) {
    const RecordEntry* entry = FindRecord(current_type_);
    canvas_.Fail(std::string(entry != nullptr ? entry->name : "a record") + " makes a shape of " +
                 std::to_string(segments) + " points, past the " +
                 std::to_string(kMaxShapeSegments) + " the engine draws in one shape");
    return;
  }
  const Transform to_canvas = LogicalToCanvas();
  for (PathSegment& segment : path.segments) {
    for (Point& p : segment.p) {
      p = to_canvas.Apply(p);
    }
  }
  if (in_path_) {
    path_.Append(path);
    return;
  }
  if (fill) {
    Fill(path, state_.poly_fill_mode);
  }
  if (stroke) {
    Stroke(path);
  }
}

}  // namespace emf
