#include "emf/player.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "emf/records.h"

namespace emf {
namespace {

using Handler = void (Player::*)(ByteReader&);

struct RecordHandler {
  uint32_t minimum_size;  // the whole record, type and size included
  Handler handle;
};

// The player's table, indexed by record type. A record without a handler is skipped and
// counted; so is one shorter than its minimum size.
constexpr std::array<RecordHandler, kMaxRecordType + 1> MakeHandlerTable() {
  std::array<RecordHandler, kMaxRecordType + 1> t{};
  t[1] = {88, &Player::Header};
  t[2] = {28, &Player::PolyBezier};
  t[3] = {28, &Player::Polygon};
  t[4] = {28, &Player::Polyline};
  t[5] = {28, &Player::PolyBezierTo};
  t[6] = {28, &Player::PolylineTo};
  t[7] = {32, &Player::PolyPolyline};
  t[8] = {32, &Player::PolyPolygon};
  t[9] = {16, &Player::SetWindowExtEx};
  t[10] = {16, &Player::SetWindowOrgEx};
  t[11] = {16, &Player::SetViewportExtEx};
  t[12] = {16, &Player::SetViewportOrgEx};
  t[13] = {16, &Player::SetBrushOrgEx};
  t[14] = {20, &Player::Eof};
  t[15] = {20, &Player::SetPixelV};
  t[16] = {12, &Player::Ignore};  // SETMAPPERFLAGS: font matching hint
  t[17] = {12, &Player::SetMapMode};
  t[18] = {12, &Player::SetBkMode};
  t[19] = {12, &Player::SetPolyFillMode};
  t[20] = {12, &Player::SetRop2};
  t[21] = {12, &Player::SetStretchBltMode};
  t[22] = {12, &Player::SetTextAlign};
  t[23] = {8, &Player::Ignore};  // SETCOLORADJUSTMENT: halftoning only
  t[24] = {12, &Player::SetTextColor};
  t[25] = {12, &Player::SetBkColor};
  t[26] = {16, &Player::OffsetClipRgn};
  t[27] = {16, &Player::MoveToEx};
  t[28] = {8, &Player::SetMetaRgn};
  t[29] = {24, &Player::ExcludeClipRect};
  t[30] = {24, &Player::IntersectClipRect};
  t[31] = {24, &Player::ScaleViewportExtEx};
  t[32] = {24, &Player::ScaleWindowExtEx};
  t[33] = {8, &Player::SaveDC};
  t[34] = {12, &Player::RestoreDC};
  t[35] = {32, &Player::SetWorldTransform};
  t[36] = {36, &Player::ModifyWorldTransform};
  t[37] = {12, &Player::SelectObject};
  t[38] = {28, &Player::CreatePen};
  t[39] = {24, &Player::CreateBrushIndirect};
  t[40] = {12, &Player::DeleteObject};
  t[41] = {28, &Player::AngleArc};
  t[42] = {24, &Player::Ellipse};
  t[43] = {24, &Player::Rectangle};
  t[44] = {32, &Player::RoundRect};
  t[45] = {40, &Player::Arc};
  t[46] = {40, &Player::Chord};
  t[47] = {40, &Player::Pie};
  t[48] = {12, &Player::SelectPalette};
  t[49] = {16, &Player::CreatePalette};
  t[50] = {8, &Player::Ignore};  // SETPALETTEENTRIES: true-colour targets ignore palettes
  t[51] = {8, &Player::Ignore};  // RESIZEPALETTE
  t[52] = {8, &Player::Ignore};  // REALIZEPALETTE
  t[54] = {16, &Player::LineTo};
  t[55] = {40, &Player::ArcTo};
  t[56] = {28, &Player::PolyDraw};
  t[57] = {12, &Player::SetArcDirection};
  t[58] = {12, &Player::SetMiterLimit};
  t[59] = {8, &Player::BeginPath};
  t[60] = {8, &Player::EndPath};
  t[61] = {8, &Player::CloseFigure};
  t[62] = {24, &Player::FillPath};
  t[63] = {24, &Player::StrokeAndFillPath};
  t[64] = {24, &Player::StrokePath};
  t[65] = {8, &Player::FlattenPath};
  t[66] = {8, &Player::WidenPath};
  t[67] = {12, &Player::SelectClipPath};
  t[68] = {8, &Player::AbortPath};
  t[70] = {12, &Player::Ignore};  // GDICOMMENT: EMF+ and private data; the EMF records draw
  t[71] = {32, &Player::FillRgn};
  t[72] = {40, &Player::FrameRgn};
  t[73] = {28, &Player::InvertRgn};
  t[74] = {28, &Player::PaintRgn};
  t[75] = {16, &Player::ExtSelectClipRgn};
  t[76] = {100, &Player::BitBlt};
  t[77] = {108, &Player::StretchBlt};
  t[78] = {128, &Player::MaskBlt};
  t[79] = {140, &Player::PlgBlt};
  t[80] = {76, &Player::SetDIBitsToDevice};
  t[81] = {80, &Player::StretchDIBits};
  t[82] = {104, &Player::ExtCreateFontIndirectW};
  t[83] = {76, &Player::ExtTextOutA};
  t[84] = {76, &Player::ExtTextOutW};
  t[85] = {28, &Player::PolyBezier16};
  t[86] = {28, &Player::Polygon16};
  t[87] = {28, &Player::Polyline16};
  t[88] = {28, &Player::PolyBezierTo16};
  t[89] = {28, &Player::PolylineTo16};
  t[90] = {32, &Player::PolyPolyline16};
  t[91] = {32, &Player::PolyPolygon16};
  t[92] = {28, &Player::PolyDraw16};
  t[93] = {32, &Player::CreateMonoBrush};
  t[94] = {32, &Player::CreateDibPatternBrushPt};
  t[95] = {52, &Player::ExtCreatePen};
  t[96] = {40, &Player::PolyTextOutA};
  t[97] = {40, &Player::PolyTextOutW};
  t[98] = {12, &Player::Ignore};  // SETICMMODE: colour management changes nothing here
  t[99] = {12, &Player::CreateColorSpace};
  t[100] = {12, &Player::Ignore};  // SETCOLORSPACE
  t[101] = {12, &Player::Ignore};  // DELETECOLORSPACE
  t[108] = {36, &Player::SmallTextOut};
  t[109] = {8, &Player::Ignore};  // FORCEUFIMAPPING: font linking, nothing on paper
  t[111] = {8, &Player::Ignore};  // COLORCORRECTPALETTE
  t[112] = {8, &Player::Ignore};  // SETICMPROFILEA
  t[113] = {8, &Player::Ignore};  // SETICMPROFILEW
  t[114] = {108, &Player::AlphaBlend};
  t[115] = {12, &Player::SetLayout};
  t[116] = {108, &Player::TransparentBlt};
  t[118] = {36, &Player::GradientFill};
  t[119] = {8, &Player::Ignore};   // SETLINKEDUFIS: font linking
  t[120] = {16, &Player::Ignore};  // SETTEXTJUSTIFICATION: text records carry their spacing
  t[121] = {8, &Player::Ignore};   // COLORMATCHTOTARGETW
  t[122] = {12, &Player::CreateColorSpace};
  return t;
}

constexpr auto kHandlers = MakeHandlerTable();

}  // namespace

PlayStats PlayMetafile(const Metafile& file, DrawingTarget& target, const RectL& bounds) {
  return Player(file, target, bounds).Play();
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
  state_.viewport_ext = state_.window_ext = {1, 1};
  UpdateClip();
}

PlayStats Player::Play() {
  if (!playback_.Invertible()) {
    return stats_;
  }
  for (const Record& record : file_.records()) {
    if (ended_) {
      break;
    }
    current_type_ = record.type;
    const RecordHandler* handler =
        record.type <= kMaxRecordType ? &kHandlers[record.type] : nullptr;
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
  }
  return stats_;
}

void Player::CountSkipped(uint32_t type, const char* why) {
  std::string name = RecordName(type);
  if (type > kMaxRecordType || name == "EMR_UNKNOWN") {
    name = "EMR_UNKNOWN(" + std::to_string(type) + ")";
  }
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
  Transform page;
  const double sx = state_.window_ext.x != 0 ? state_.viewport_ext.x / state_.window_ext.x : 0;
  const double sy = state_.window_ext.y != 0 ? state_.viewport_ext.y / state_.window_ext.y : 0;
  page.m11 = sx;
  page.m22 = sy;
  page.dx = state_.viewport_org.x - state_.window_org.x * sx;
  page.dy = state_.viewport_org.y - state_.window_org.y * sy;
  return page;
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
  paint.opaque_background = state_.bk_mode == 2;
  paint.origin = playback_.Apply(state_.brush_origin);
  return paint;
}

StrokeStyle Player::CurrentStroke() const {
  const Pen& pen = state_.pen;
  StrokeStyle style;
  style.color = pen.geometric && pen.brush.style == Brush::kSolid ? pen.brush.color : pen.color;
  const Transform t = LogicalToCanvas();
  // A geometric pen's width is in logical units; a cosmetic pen is one pixel.
  const double scale = std::sqrt(std::fabs(t.Determinant()));
  const double width = pen.width * scale;
  style.cosmetic = !pen.geometric && width <= 1.5;
  if (!pen.geometric && pen.width <= 1) {
    style.cosmetic = true;
  }
  // A solid wide pen that comes to a pixel or less on the device draws GDI's thin line.
  constexpr int kPsSolid = 0, kPsInsideFrame = 6;
  const int line_style = pen.style & 0xF;
  if (pen.geometric && (line_style == kPsSolid || line_style == kPsInsideFrame) &&
      std::round(width) <= 1) {
    style.cosmetic = true;
  }
  style.width = std::max(1.0, width);
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
  switch (pen.style & 0xF) {
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
      for (double d : pen.user_dashes) {
        style.dashes.push_back(std::max(0.5, d * (pen.geometric ? scale : 1.0)));
      }
      break;
    case 8:  // PS_ALTERNATE
      style.dashes = {1, 1};
      break;
    default:
      break;
  }
  style.opaque_gaps = state_.bk_mode == 2;
  style.background = state_.bk_color;
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

void Player::DrawShape(const Path& logical_path, bool fill, bool stroke) {
  const Path canvas_path = logical_path.Transformed(LogicalToCanvas());
  if (in_path_) {
    path_.Append(canvas_path);
    return;
  }
  if (fill) {
    Fill(canvas_path, state_.poly_fill_mode);
  }
  if (stroke) {
    Stroke(canvas_path);
  }
}

}  // namespace emf
