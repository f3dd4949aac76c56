#include "emf/canvas/wide_pen.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

namespace emf {
namespace {

struct Pixel {
  int64_t x = 0, y = 0;
  bool operator==(const Pixel&) const = default;
};

Pixel operator+(Pixel a, Pixel b) {
  return {a.x + b.x, a.y + b.y};
}

// A vector of half the pen's width in whole pixels, as the two ways it is laid off: along x
// and along y the run both ways together is 2|v| rounded up, and the side toward +x takes the
// larger half of each (toward +y when lead_y; ties go to +y, and to -x when lead_y).
struct Halves {
  Pixel plus, minus;  // toward v and toward -v
};

Halves Split(double vx, double vy, bool lead_y) {
  constexpr double kSlack = 1e-9;  // 2|v| a hair over a whole number is that number
  const int64_t run_x = static_cast<int64_t>(std::ceil(2 * std::fabs(vx) - kSlack));
  const int64_t run_y = static_cast<int64_t>(std::ceil(2 * std::fabs(vy) - kSlack));
  const double lead = lead_y ? vy : vx, other = lead_y ? vx : vy;
  // Whether v itself is the side that takes the larger halves.
  const bool v_leads = lead > 0 || (lead == 0 && (lead_y ? other < 0 : other > 0));
  const int64_t sx = vx < 0 ? -1 : 1, sy = vy < 0 ? -1 : 1;
  const Pixel small{run_x / 2, run_y / 2};
  // Square ends of level and upright segments stand out w / 2 pixels each, rounded down.
  const bool level = lead_y && (vx == 0 || vy == 0);
  const Pixel large = level ? small : Pixel{(run_x + 1) / 2, (run_y + 1) / 2};
  const Pixel& to_v = v_leads ? large : small;
  const Pixel& to_minus = v_leads ? small : large;
  return {{sx * to_v.x, sy * to_v.y}, {-sx * to_minus.x, -sy * to_minus.y}};
}

// The offsets of a segment's two long sides: left (toward (-dy, dx)) and right.
Halves Sides(Pixel p, Pixel q, int width) {
  const double dx = static_cast<double>(q.x - p.x), dy = static_cast<double>(q.y - p.y);
  const double half = width / 2.0 / std::hypot(dx, dy);
  return Split(-dy * half, dx * half, false);
}

// The rows made so far, kept to the rows the canvas shows and to a bound: a path whose rows
// pass it is left to cairo, whose stroke grows with the path alone.
struct Rows {
  Path path;
  int64_t first = 0, end = 0;  // the rows shown: first <= y < end
  size_t count = 0;
  bool over = false;
};

void AddRow(Rows& rows, int64_t x0, int64_t x1, int64_t y) {
  if (y < rows.first || y >= rows.end || rows.over) {
    return;
  }
  if (++rows.count > kMaxWidePenRows) {
    rows.over = true;
    return;
  }
  const double left = static_cast<double>(x0), right = static_cast<double>(x1);
  const double top = static_cast<double>(y);
  rows.path.MoveTo({left, top});
  rows.path.LineTo({right, top});
  rows.path.LineTo({right, top + 1});
  rows.path.LineTo({left, top + 1});
  rows.path.Close();
}

int64_t CeilDiv(int64_t num, int64_t den) {  // den > 0
  return num >= 0 ? (num + den - 1) / den : -((-num) / den);
}

// The polygon filled even-odd as GDI fills one with corners on whole pixels, as rows of
// pixels: row y holds the pixels x with l <= x < r between each pair of edge crossings at y,
// an edge crossing the rows from its upper end's up to its lower end's, that one left out.
// Worked out exactly here: cairo, sampling pixel middles, settles the pixels an edge runs
// near one way on some slopes and the other way on others.
void AddPolygon(Rows& rows, std::initializer_list<Pixel> corners) {
  const std::vector<Pixel> c(corners);
  int64_t top = c[0].y, bottom = c[0].y;
  for (const Pixel& p : c) {
    top = std::min(top, p.y);
    bottom = std::max(bottom, p.y);
  }
  std::vector<int64_t> cross;
  for (int64_t y = std::max(top, rows.first); y < std::min(bottom, rows.end) && !rows.over; ++y) {
    cross.clear();
    for (size_t i = 0; i < c.size(); ++i) {
      Pixel a = c[i], b = c[(i + 1) % c.size()];
      if (a.y > b.y) {
        std::swap(a, b);
      }
      if (a.y <= y && y < b.y) {
        const int64_t den = b.y - a.y;
        cross.push_back(CeilDiv(a.x * den + (y - a.y) * (b.x - a.x), den));
      }
    }
    std::sort(cross.begin(), cross.end());
    for (size_t i = 0; i + 1 < cross.size(); i += 2) {
      if (cross[i] < cross[i + 1]) {
        AddRow(rows, cross[i], cross[i + 1], y);
      }
    }
  }
}

// How far each row of a round end or join of a small pen stands in from its box's sides, top
// half (the rest mirrors it); measured on the reference renderer's dots.
constexpr std::array<std::array<uint8_t, 7>, 13> kDiskInsets{{
    {0},                    // 2
    {1, 0},                 // 3
    {1, 0},                 // 4
    {1, 0, 0},              // 5
    {2, 1, 0},              // 6
    {2, 1, 0, 0},           // 7
    {2, 1, 0, 0},           // 8
    {3, 1, 1, 0, 0},        // 9
    {3, 2, 1, 0, 0},        // 10
    {3, 2, 1, 0, 0, 0},     // 11
    {4, 2, 1, 1, 0, 0},     // 12
    {4, 3, 2, 1, 0, 0, 0},  // 13
    {5, 3, 2, 1, 1, 0, 0},  // 14
}};

int DiskInset(int width, int row) {
  const int mirrored = row < (width + 1) / 2 ? row : width - 1 - row;
  if (width >= 2 && width <= 14) {
    return kDiskInsets[width - 2][mirrored];
  }
  // Wider disks: a circle of a radius a little short of half the width, which comes within a
  // pixel of the measured ones.
  const double c = width / 2.0, dy = mirrored + 0.5 - c;
  const double reach = std::sqrt(std::max(0.0, c * c - 0.25 * c - dy * dy));
  return std::max(0, static_cast<int>(std::ceil(c - reach - 0.5)));
}

// A disk of the pen's width on the point, in the box a pen of that width covers across and
// down there: w / 2 pixels before the point.
void AddDisk(Rows& rows, Pixel c, int width) {
  const int64_t left = c.x - width / 2, top = c.y - width / 2;
  const int64_t first = std::max<int64_t>(0, rows.first - top);
  const int64_t end = std::min<int64_t>(width, rows.end - top);
  for (int64_t row = first; row < end && !rows.over; ++row) {
    const int inset = DiskInset(width, static_cast<int>(row));
    AddRow(rows, left + inset, left + width - inset, top + row);
  }
}

// The figures of the path as whole pixels, each with repeated points dropped.
struct Figure {
  std::vector<Pixel> points;
  bool closed = false;
};

}  // namespace

std::optional<Path> WidePenShapes(const Path& path, int width, cairo_line_cap_t cap,
                                  cairo_line_join_t join, int64_t first_row, int64_t end_row) {
  constexpr double kNear = 1 << 24;
  const Path lines = path.HasCurves() ? path.Flattened() : path;
  std::vector<Figure> figures;
  for (const PathSegment& s : lines.segments) {
    if (s.kind == PathSegment::kClose) {
      if (!figures.empty()) {
        figures.back().closed = true;
      }
      continue;
    }
    const Point p = s.p[0];
    if (!(std::fabs(p.x) < kNear && std::fabs(p.y) < kNear)) {
      return std::nullopt;
    }
    const Pixel px{static_cast<int64_t>(std::floor(p.x + 0.5)),
                   static_cast<int64_t>(std::floor(p.y + 0.5))};
    if (s.kind == PathSegment::kMove || figures.empty() || figures.back().closed) {
      figures.push_back({{px}, false});
    } else if (!(figures.back().points.back() == px)) {
      figures.back().points.push_back(px);
    }
  }
  Rows shapes;
  shapes.first = first_row;
  shapes.end = end_row;
  for (Figure& f : figures) {
    std::vector<Pixel>& pt = f.points;
    if (f.closed && pt.size() > 1 && pt.front() == pt.back()) {
      pt.pop_back();
    }
    const size_t n = pt.size();
    if (n == 1) {
      // A figure of one point is its end as the cap draws it.
      if (cap == CAIRO_LINE_CAP_ROUND) {
        AddDisk(shapes, pt[0], width);
      } else if (cap == CAIRO_LINE_CAP_SQUARE) {
        const Pixel c{pt[0].x - width / 2, pt[0].y - width / 2};
        const int64_t first = std::max<int64_t>(0, first_row - c.y);
        const int64_t end = std::min<int64_t>(width, end_row - c.y);
        for (int64_t row = first; row < end && !shapes.over; ++row) {
          AddRow(shapes, c.x, c.x + width, c.y + row);
        }
      }
      continue;
    }
    const bool closed = f.closed && n > 2;
    const size_t segments = closed ? n : n - 1;
    for (size_t i = 0; i < segments; ++i) {
      Pixel p = pt[i], q = pt[(i + 1) % n];
      const Halves side = Sides(p, q, width);
      if (!closed && cap == CAIRO_LINE_CAP_SQUARE && (i == 0 || i + 1 == segments)) {
        // Square ends lengthen the segment by half the width, split as the sides are but
        // with the larger half on the end lengthened toward +y.
        const double dx = static_cast<double>(q.x - p.x), dy = static_cast<double>(q.y - p.y);
        const double half = width / 2.0 / std::hypot(dx, dy);
        const Halves along = Split(dx * half, dy * half, true);
        if (i == 0) {
          p = p + along.minus;
        }
        if (i + 1 == segments) {
          q = q + along.plus;
        }
      }
      AddPolygon(shapes, {p + side.plus, q + side.plus, q + side.minus, p + side.minus});
    }
    // Joins at every point a figure turns at; a closed figure turns at all of its points.
    for (size_t i = closed ? 0 : 1; i < (closed ? n : n - 1); ++i) {
      const Pixel a = pt[(i + n - 1) % n], c = pt[i], b = pt[(i + 1) % n];
      if (join == CAIRO_LINE_JOIN_ROUND) {
        AddDisk(shapes, c, width);
        continue;
      }
      // Bevel, and miter too, which the reference renderer draws as a bevel: the corners of
      // both segments there, left then right, make two triangles meeting at the point.
      const Halves in = Sides(a, c, width), out = Sides(c, b, width);
      AddPolygon(shapes, {c + in.plus, c + out.plus, c + out.minus, c + in.minus});
    }
    if (!closed && cap == CAIRO_LINE_CAP_ROUND) {
      AddDisk(shapes, pt.front(), width);
      AddDisk(shapes, pt.back(), width);
    }
  }
  if (shapes.over) {
    return std::nullopt;
  }
  return std::move(shapes.path);
}

}  // namespace emf
