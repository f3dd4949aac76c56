#include "emf/wmf/wmf_writer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "emf/canvas/raster_ops.h"
#include "emf/player/player.h"

namespace emf {
namespace {

constexpr uint16_t kSetBkMode = 0x0102, kSetMapMode = 0x0103, kSetRop2 = 0x0104,
                   kSetPolyFillMode = 0x0106, kSetTextColor = 0x0209, kSetWindowOrg = 0x020B,
                   kSetWindowExt = 0x020C, kSetTextAlign = 0x012E, kSelectObject = 0x012D,
                   kDeleteObject = 0x01F0, kCreatePen = 0x02FA, kCreateBrush = 0x02FC,
                   kCreateFont = 0x02FB, kPolyline = 0x0325, kPolyPolygon = 0x0538,
                   kSetPixel = 0x041F, kStretchDib = 0x0F43, kExtTextOut = 0x0A32;

uint16_t Word(double v) {
  return static_cast<uint16_t>(static_cast<int16_t>(std::clamp(std::lround(v), -32767L, 32767L)));
}
uint16_t Low(uint32_t v) {
  return static_cast<uint16_t>(v & 0xFFFF);
}
uint16_t High(uint32_t v) {
  return static_cast<uint16_t>(v >> 16);
}

// The figures of a path as point lists, curves flattened.
// WMF keeps point and polygon counts in 16 bits.
constexpr size_t kMaxPoints = 32767;

// A figure of more points than a record can count, thinned evenly to that many: its first
// and last points are kept, so a closed figure stays closed.
std::vector<Point> Thinned(const std::vector<Point>& figure) {
  if (figure.size() <= kMaxPoints) {
    return figure;
  }
  std::vector<Point> kept;
  kept.reserve(kMaxPoints);
  for (size_t i = 0; i < kMaxPoints; ++i) {
    kept.push_back(figure[i * (figure.size() - 1) / (kMaxPoints - 1)]);
  }
  return kept;
}

std::vector<std::vector<Point>> Figures(const Path& path) {
  std::vector<std::vector<Point>> figures;
  for (const PathSegment& s : path.Flattened().segments) {
    if (s.kind == PathSegment::kMove || figures.empty()) {
      figures.emplace_back();
    }
    if (s.kind == PathSegment::kClose) {
      if (!figures.back().empty()) {
        figures.back().push_back(figures.back().front());
      }
      continue;
    }
    figures.back().push_back(s.p[0]);
  }
  std::erase_if(figures, [](const auto& f) { return f.size() < 2; });
  return figures;
}

std::vector<uint16_t> SolidBrush(ColorRef color) {
  return {0, Low(color), High(color), 0};
}
std::vector<uint16_t> NullBrush() {
  return {1, 0, 0, 0};
}
std::vector<uint16_t> NullPen() {
  return {5, 0, 0, 0, 0};
}

ColorRef Average(ColorRef a, ColorRef b) {
  return (((a & 0xFF) + (b & 0xFF)) / 2) | (((((a >> 8) & 0xFF) + ((b >> 8) & 0xFF)) / 2) << 8) |
         (((((a >> 16) & 0xFF) + ((b >> 16) & 0xFF)) / 2) << 16);
}

}  // namespace

WmfWriter::WmfWriter(int width, int height)
    : width_(std::clamp(width, 1, 32767)), height_(std::clamp(height, 1, 32767)) {
  Record(kSetMapMode, {8});  // MM_ANISOTROPIC
  Record(kSetWindowOrg, {0, 0});
  Record(kSetWindowExt, {static_cast<uint16_t>(height_), static_cast<uint16_t>(width_)});
  Record(kSetBkMode, {1});      // TRANSPARENT
  Record(kSetTextAlign, {24});  // TA_BASELINE
}

void WmfWriter::Record(uint16_t function, const std::vector<uint16_t>& params) {
  const uint32_t size = static_cast<uint32_t>(3 + params.size());
  words_.push_back(Low(size));
  words_.push_back(High(size));
  words_.push_back(function);
  words_.insert(words_.end(), params.begin(), params.end());
  max_record_ = std::max(max_record_, size);
}

void WmfWriter::SetRop2(int rop2) {
  if (rop2 != rop2_) {
    Record(kSetRop2, {static_cast<uint16_t>(rop2)});
    rop2_ = rop2;
  }
}

// Creates a brush (slot 0) and a pen (slot 1), draws, and deletes them again.
void WmfWriter::WithObjects(const std::vector<uint16_t>& brush, const std::vector<uint16_t>& pen,
                            uint16_t function, const std::vector<uint16_t>& params) {
  Record(kCreateBrush, brush);
  Record(kCreatePen, pen);
  Record(kSelectObject, {0});
  Record(kSelectObject, {1});
  Record(function, params);
  Record(kDeleteObject, {0});
  Record(kDeleteObject, {1});
}

void WmfWriter::FillPolygons(const Path& path, ColorRef color, int rop2) {
  auto figures = Figures(path);
  if (figures.empty()) {
    return;
  }
  SetRop2(rop2);
  // One record holds at most 32767 polygons of at most 32767 points each; more polygons
  // take more records (a shape of so many parts rarely depends on how they overlap).
  for (size_t first = 0; first < figures.size(); first += kMaxPoints) {
    const size_t count = std::min(kMaxPoints, figures.size() - first);
    std::vector<uint16_t> params{static_cast<uint16_t>(count)};
    std::vector<uint16_t> points;
    for (size_t f = first; f < first + count; ++f) {
      const std::vector<Point> figure = Thinned(figures[f]);
      params.push_back(static_cast<uint16_t>(figure.size()));
      for (const Point& p : figure) {
        points.push_back(Word(p.x));
        points.push_back(Word(p.y));
      }
    }
    params.insert(params.end(), points.begin(), points.end());
    WithObjects(SolidBrush(color), NullPen(), kPolyPolygon, params);
  }
}

void WmfWriter::FillPath(const Path& path, FillRule rule, const Paint& paint, int rop2) {
  if (paint.brush.style == Brush::kNull) {
    return;
  }
  Record(kSetPolyFillMode, {static_cast<uint16_t>(rule == FillRule::kWinding ? 2 : 1)});
  // Hatches and patterns keep their colour; the pattern itself is not carried over.
  FillPolygons(path, paint.brush.color, rop2);
}

void WmfWriter::StrokePath(const Path& path, const StrokeStyle& style, int rop2) {
  const uint16_t width = style.cosmetic ? 0 : Word(style.width);
  const std::vector<uint16_t> pen{0, width, 0, Low(style.color), High(style.color)};
  SetRop2(rop2);
  // A line of more points than a record counts goes on in the next record, from the point
  // where the last one ended, so it stays one line.
  for (const auto& figure : Figures(path)) {
    for (size_t first = 0; first + 1 < figure.size(); first += kMaxPoints - 1) {
      const size_t count = std::min(kMaxPoints, figure.size() - first);
      std::vector<uint16_t> params{static_cast<uint16_t>(count)};
      for (size_t i = first; i < first + count; ++i) {
        params.push_back(Word(figure[i].x));
        params.push_back(Word(figure[i].y));
      }
      WithObjects(NullBrush(), pen, kPolyline, params);
    }
  }
}

void WmfWriter::DrawImage(const Image& original, double sx, double sy, double sw, double sh,
                          Point tl, Point tr, Point bl, uint32_t rop3, const Paint*, bool) {
  if (original.width <= 0 || original.height <= 0 || sw == 0 || sh == 0) {
    return;
  }
  // A record carries the part of the bitmap the transfer uses, at no more pixels than its
  // destination has: a 2 x 2 corner of a large bitmap stays small.
  Image part;
  if (!SourcePart(original, tl, tr, bl, sx, sy, sw, sh, part)) {
    return;
  }
  const Image& src = part;
  // The bitmap as a 24-bit bottom-up DIB; the destination is the parallelogram's box.
  const size_t stride = (static_cast<size_t>(src.width) * 3 + 3) & ~size_t{3};
  std::vector<uint8_t> dib(40 + stride * static_cast<size_t>(src.height), 0);
  const uint32_t header[10] = {40,
                               static_cast<uint32_t>(src.width),
                               static_cast<uint32_t>(src.height),
                               1u | (24u << 16),
                               0,
                               static_cast<uint32_t>(stride * src.height),
                               0,
                               0,
                               0,
                               0};
  std::memcpy(dib.data(), header, sizeof header);
  for (int y = 0; y < src.height; ++y) {
    uint8_t* row = dib.data() + 40 + stride * static_cast<size_t>(src.height - 1 - y);
    for (int x = 0; x < src.width; ++x) {
      const uint32_t p = src.pixels[static_cast<size_t>(y) * src.width + x];
      row[3 * x] = static_cast<uint8_t>(p);
      row[3 * x + 1] = static_cast<uint8_t>(p >> 8);
      row[3 * x + 2] = static_cast<uint8_t>(p >> 16);
    }
  }
  const Point br{tr.x + bl.x - tl.x, tr.y + bl.y - tl.y};
  const double left = std::min({tl.x, tr.x, bl.x, br.x});
  const double top = std::min({tl.y, tr.y, bl.y, br.y});
  const double right = std::max({tl.x, tr.x, bl.x, br.x});
  const double bottom = std::max({tl.y, tr.y, bl.y, br.y});
  // Source rows count from the bottom in a DIB.
  const double dib_y = src.height - sy - sh;
  std::vector<uint16_t> params{Low(rop3),          High(rop3),  0,         Word(sh),
                               Word(sw),           Word(dib_y), Word(sx),  Word(bottom - top),
                               Word(right - left), Word(top),   Word(left)};
  for (size_t i = 0; i + 1 < dib.size(); i += 2) {
    params.push_back(static_cast<uint16_t>(dib[i] | (dib[i + 1] << 8)));
  }
  Record(kStretchDib, params);
}

void WmfWriter::BlendImage(const Image& src, double sx, double sy, double sw, double sh, Point tl,
                           Point tr, Point bl, int, bool) {
  // Windows metafiles have no blending: the picture is drawn as it is.
  DrawImage(src, sx, sy, sw, sh, tl, tr, bl, 0x00CC0020, nullptr, false);
}

void WmfWriter::FillPattern(const Path& path, FillRule rule, const SmoothPaint& paint,
                            bool antialias) {
  // A picture drawn as a paint (a bitmap over its place) is written as the picture, the part
  // of it its place shows. A metafile stretches pictures upright only, and has no alpha: a
  // turned picture with see-through parts is left out rather than drawn as a block.
  if (paint.tile && paint.extend == SmoothPaint::Extend::kPad) {
    const Image& tile = *paint.tile;
    const Transform& t = paint.to_device;
    const bool upright = t.m12 == 0 && t.m21 == 0;
    Point low, high;
    if (!t.Invertible() || !path.Bounds(low, high) || (!upright && tile.has_alpha)) {
      return;
    }
    const Transform back = t.Inverse();
    const Point a = back.Apply(low), b = back.Apply(high);
    const double sx = std::clamp(std::min(a.x, b.x), 0.0, static_cast<double>(tile.width));
    const double sy = std::clamp(std::min(a.y, b.y), 0.0, static_cast<double>(tile.height));
    const double sw = std::clamp(std::max(a.x, b.x), sx, static_cast<double>(tile.width)) - sx;
    const double sh = std::clamp(std::max(a.y, b.y), sy, static_cast<double>(tile.height)) - sy;
    if (!upright) {
      DrawImage(tile, 0, 0, tile.width, tile.height, t.Apply({0, 0}),
                t.Apply({static_cast<double>(tile.width), 0}),
                t.Apply({0, static_cast<double>(tile.height)}), 0x00CC0020, nullptr, false);
    } else if (sw > 0 && sh > 0) {
      DrawImage(tile, sx, sy, sw, sh, t.Apply({sx, sy}), t.Apply({sx + sw, sy}),
                t.Apply({sx, sy + sh}), 0x00CC0020, nullptr, false);
    }
    return;
  }
  FillSmooth(path, rule, paint.argb, antialias);
}

void WmfWriter::FillWithRop3(const Path& area, uint32_t rop3, const Paint& pattern) {
  const unsigned op = (rop3 >> 16) & 0xFF;
  if (op == 0xF0) {  // PATCOPY
    FillPath(area, FillRule::kWinding, pattern, kR2CopyPen);
  } else if (op == 0x00 || op == 0xFF) {  // BLACKNESS, WHITENESS
    FillPolygons(area, op == 0 ? 0 : 0xFFFFFF, kR2CopyPen);
  }
}

void WmfWriter::FillGradientRect(Point p0, Point p1, ColorRef c0, ColorRef c1, bool) {
  Path box;
  box.MoveTo(p0);
  box.LineTo({p1.x, p0.y});
  box.LineTo(p1);
  box.LineTo({p0.x, p1.y});
  box.Close();
  FillPolygons(box, Average(c0, c1), kR2CopyPen);
}

void WmfWriter::FillGradientTriangle(const Point (&p)[3], const ColorRef (&c)[3]) {
  Path triangle;
  triangle.MoveTo(p[0]);
  triangle.LineTo(p[1]);
  triangle.LineTo(p[2]);
  triangle.Close();
  FillPolygons(triangle, Average(Average(c[0], c[1]), c[2]), kR2CopyPen);
}

void WmfWriter::Text(const TextDescription& text) {
  text_drawn_ = false;
  std::vector<uint8_t> bytes;
  for (char16_t c : text.text) {
    if (c >= 0x20 && c < 0x7F) {
      bytes.push_back(static_cast<uint8_t>(c));
    } else if (c >= 0xA0 && c <= 0xFF) {
      bytes.push_back(static_cast<uint8_t>(c));
    } else {
      return;  // not Windows-1252 text: its glyph outlines are written instead
    }
  }
  if (bytes.empty() || bytes.size() > 8000) {
    return;
  }
  // LOGFONT16: height, width, escapement, orientation, weight, italic/underline,
  // strike-out/charset, precisions, quality/pitch, face name.
  std::vector<uint16_t> font{
      Word(-text.em_height),
      0,
      Word(text.escapement),
      Word(text.escapement),
      Word(text.weight),
      static_cast<uint16_t>((text.italic ? 1 : 0) | (text.underline ? 0x100 : 0)),
      static_cast<uint16_t>(text.strike_out ? 1 : 0),
      0,
      0};
  std::string face = text.face.substr(0, 31);
  face.resize(32, '\0');
  for (size_t i = 0; i < face.size(); i += 2) {
    font.push_back(static_cast<uint16_t>(static_cast<uint8_t>(face[i]) |
                                         (static_cast<uint8_t>(face[i + 1]) << 8)));
  }
  Record(kCreateFont, font);
  Record(kSelectObject, {0});
  Record(kSetTextColor, {Low(text.color), High(text.color)});
  std::vector<uint16_t> params{Word(text.origin.y), Word(text.origin.x),
                               static_cast<uint16_t>(bytes.size()), 0};
  for (size_t i = 0; i < bytes.size(); i += 2) {
    params.push_back(
        static_cast<uint16_t>(bytes[i] | (i + 1 < bytes.size() ? bytes[i + 1] << 8 : 0)));
  }
  for (size_t i = 0; i < bytes.size(); ++i) {
    params.push_back(Word(i < text.advances.size() ? text.advances[i] : 0));
  }
  Record(kExtTextOut, params);
  Record(kDeleteObject, {0});
  text_drawn_ = true;
}

void WmfWriter::DrawGlyphs(cairo_font_face_t* face, const cairo_matrix_t& font_matrix,
                           const std::vector<cairo_glyph_t>& glyphs, ColorRef color, const Path*,
                           GlyphStyle) {
  if (text_drawn_) {
    return;  // written as text, every face's glyphs of it (a fallback face's as well)
  }
  Record(kSetPolyFillMode, {2});
  FillPolygons(OutlinesOfGlyphs(face, font_matrix, glyphs), color, kR2CopyPen);
}

Path WmfWriter::GlyphOutlines(cairo_font_face_t* face, const cairo_matrix_t& font_matrix,
                              const std::vector<cairo_glyph_t>& glyphs) {
  text_drawn_ = false;
  return OutlinesOfGlyphs(face, font_matrix, glyphs);
}

void WmfWriter::SetPixel(int x, int y, ColorRef color) {
  Record(kSetPixel, {Low(color), High(color), Word(y), Word(x)});
}

// A Windows metafile has no alpha and no smoothing: GDI+'s drawing is written opaque, in
// its colour, and what is wholly transparent is left out.
void WmfWriter::FillSmooth(const Path& path, FillRule rule, uint32_t argb, bool) {
  if ((argb >> 24) == 0) {
    return;
  }
  Paint paint;
  paint.brush.color = ToColorRef(argb & 0xFFFFFF);
  FillPath(path, rule, paint, 13);
}

void WmfWriter::StrokeSmooth(const Path& path, const Transform& to_device,
                             const SmoothStroke& style, uint32_t argb, bool) {
  if ((argb >> 24) == 0) {
    return;
  }
  StrokeStyle pen;
  pen.color = ToColorRef(argb & 0xFFFFFF);
  const double scale = std::sqrt(std::fabs(to_device.Determinant()));
  pen.width = std::max(1.0, style.width * scale);
  pen.cosmetic = pen.width <= 1;
  pen.cap = style.cap;
  pen.join = style.join;
  for (double dash : style.dashes) {
    pen.dashes.push_back(dash * scale);
  }
  StrokePath(path.Transformed(to_device), pen, 13);
}

bool WmfWellFormed(std::span<const uint8_t> file, std::string* why) {
  auto fail = [&](const char* reason) {
    if (why != nullptr) {
      *why = reason;
    }
    return false;
  };
  auto word = [&](size_t at) { return static_cast<uint32_t>(file[at] | (file[at + 1] << 8)); };
  if (file.size() < 18 || word(2) != 9) {
    return fail("no 9-word header");
  }
  if ((word(6) | word(8) << 16) * 2ull != file.size()) {
    return fail("the header's size is not the file's");
  }
  const uint32_t largest = word(12) | word(14) << 16;
  size_t at = 18;
  while (at + 6 <= file.size()) {
    const uint32_t words = word(at) | word(at + 2) << 16;
    const uint32_t function = word(at + 4);
    if (words < 3 || words * 2ull > file.size() - at || words > largest) {
      return fail("a record's size is out of the file or the header's maximum");
    }
    const size_t params = words - 3;
    const size_t first = at + 6;
    if (function == kPolyline && (params < 1 || word(first) * 2ull + 1 != params)) {
      return fail("a polyline's point count is not its size");
    }
    if (function == kPolyPolygon) {
      const size_t polygons = params >= 1 ? word(first) : 0;
      uint64_t points = 0;
      for (size_t i = 0; i < polygons && 1 + i < params; ++i) {
        points += word(first + 2 * (1 + i));
      }
      if (params < 1 || 1 + polygons + 2 * points != params) {
        return fail("a polypolygon's counts are not its size");
      }
    }
    at += words * 2ull;
    if (function == 0) {
      return at == file.size() ? true : fail("records after the end");
    }
  }
  return fail("no end record");
}

std::vector<uint8_t> WmfWriter::Finish() {
  Record(0, {});  // end of file
  const uint32_t size = static_cast<uint32_t>(9 + words_.size());
  const uint16_t header[9] = {
      1, 9, 0x0300, Low(size), High(size), 2, Low(max_record_), High(max_record_), 0};
  std::vector<uint8_t> bytes;
  bytes.reserve(size * 2);
  for (uint16_t w : header) {
    bytes.push_back(static_cast<uint8_t>(w));
    bytes.push_back(static_cast<uint8_t>(w >> 8));
  }
  for (uint16_t w : words_) {
    bytes.push_back(static_cast<uint8_t>(w));
    bytes.push_back(static_cast<uint8_t>(w >> 8));
  }
  return bytes;
}

std::vector<uint8_t> ConvertToWmf(const Metafile& page, const CommentDrawingMaker& comments) {
  const RectL& frame = page.header().frame;
  const double width_in = (static_cast<double>(frame.right) - frame.left) / 2540.0;
  const double height_in = (static_cast<double>(frame.bottom) - frame.top) / 2540.0;
  const double longest = std::max(std::fabs(width_in), std::fabs(height_in));
  const double dpi = longest > 0 ? std::min(300.0, 30000.0 / longest) : 300.0;
  const int width = std::max(1, static_cast<int>(std::fabs(width_in) * dpi + 0.5));
  const int height = std::max(1, static_cast<int>(std::fabs(height_in) * dpi + 0.5));
  WmfWriter writer(width, height);
  PlayMetafile(page, writer, RectL{0, 0, width, height}, comments);
  return writer.Finish();
}

}  // namespace emf
