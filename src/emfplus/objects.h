// The objects EMF+ records define and later records use: brushes, pens, paths and regions,
// read from their bytes apart from any drawing.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "emf/canvas/drawing_target.h"
#include "emf/records/byte_reader.h"
#include "emf/records/geometry.h"
#include "emfplus/images.h"

namespace emfplus {

// A rectangle (x, y, width, height), 16-bit or floating point.
struct RectF {
  double x = 0, y = 0, width = 0, height = 0;
};

// A brush: argb (0xAARRGGBB) is a solid brush's colour, and the colour any other averages
// to, which draws the kinds not painted yet (textures, path gradients) and on targets that
// take one colour.
struct Brush {
  enum Kind { kSolid = 0, kHatch = 1, kTexture = 2, kPathGradient = 3, kLinearGradient = 4 };
  int kind = kSolid;
  uint32_t argb = 0xFF000000;
  // A hatch: its style's tile in the fore colour on the back one.
  uint32_t hatch_style = 0, fore = 0, back = 0;
  // A linear gradient: its colours from the rectangle's left edge to its right, in the
  // brush's own transform, repeated or mirrored past them as its wrap mode says.
  RectF rect;
  emf::Transform transform;
  int wrap = 0;
  std::vector<emf::SmoothPaint::Stop> stops;
  // A path gradient: its boundary (a polygon), its colours at the boundary's points (the last
  // going on for the points past them) and its centre; stops run from the boundary (0) to
  // the centre (1).
  emf::Path boundary;
  std::vector<uint32_t> surround;
  emf::Point centre;
  // The focus: the boundary scaled about the centre by these, filled in the centre's colour,
  // the blend running from the boundary to it (0, 0: the centre alone).
  double focus_x = 0, focus_y = 0;
  // A texture: its bitmap, repeated from the origin in the brush's transform (and wrap), or
  // a metafile drawn into one.
  std::shared_ptr<const emf::Image> texture;
  std::shared_ptr<const struct PlusImage> picture;
};

enum LineCap {
  kCapFlat = 0,
  kCapSquare = 1,
  kCapRound = 2,
  kCapTriangle = 3,
  kCapSquareAnchor = 0x11,
  kCapRoundAnchor = 0x12,
  kCapDiamondAnchor = 0x13,
  kCapArrowAnchor = 0x14,
  kCapCustom = 0xFF,
};
enum LineJoin { kJoinMiter = 0, kJoinBevel = 1, kJoinRound = 2, kJoinMiterClipped = 3 };
enum LineStyle {
  kStyleSolid = 0,
  kStyleDash = 1,
  kStyleDot = 2,
  kStyleDashDot = 3,
  kStyleDashDotDot = 4,
  kStyleCustom = 5
};

// A pen's own line end: a shape in pen widths (times scale), its y axis along the line away
// from it and its origin on the line's end, filled or stroked with the pen; the line stops
// inset widths short of the end.
struct CustomCap {
  emf::Path fill, line;
  double inset = 0, scale = 1;
};

struct Pen {
  double width = 1;
  uint32_t unit = 0;  // UnitWorld and the others (records.h's page units)
  bool has_transform = false;
  emf::Transform transform;
  int start_cap = kCapFlat;
  int end_cap = kCapFlat;
  int join = kJoinMiter;
  double miter_limit = 10;
  int line_style = kStyleSolid;
  int dash_cap = kCapFlat;
  double dash_offset = 0;
  std::vector<double> dashes;          // custom dashes, in pen widths
  int alignment = 0;                   // 0 centre, 1 inset
  std::vector<double> compound;        // strips across the pen, as fractions of its width
  CustomCap start_custom, end_custom;  // for kCapCustom
  Brush brush;
};

// A path in world units, its figures as the records give them.
struct PlusPath {
  emf::Path path;
};

// A region as a tree of rectangles, paths and the operations that combine them, its nodes in
// the order the record holds them (each combining node before its two operands).
struct RegionNode {
  enum Kind : uint32_t {
    kAnd = 1,
    kUnion = 2,
    kXor = 3,
    kExclude = 4,
    kComplement = 5,
    kRect = 0x10000000,
    kPath = 0x10000001,
    kEmpty = 0x10000002,
    kInfinite = 0x10000003,
  } kind = kEmpty;
  RectF rect;      // kRect
  emf::Path path;  // kPath
  size_t left = 0, right = 0;
};
struct PlusRegion {
  std::vector<RegionNode> nodes;  // nodes[0] is the root
};

// A font: its family, em size (in its unit) and style.
struct PlusFont {
  double em = 0;
  uint32_t unit = 0;
  bool bold = false, italic = false, underline = false, strike_out = false;
  std::string family;  // UTF-8
};

// How a string is laid out in its rectangle: the alignment along its lines and of its lines,
// margins in ems, flags (no wrapping, no clipping, ...), what an ampersand does, tab stops
// and how a line too long for the rectangle ends.
struct StringFormat {
  enum Align { kNear = 0, kCenter = 1, kFar = 2 };
  enum HotkeyPrefix { kHotkeyNone = 0, kHotkeyShow = 1, kHotkeyHide = 2 };
  enum Trimming { kTrimNone = 0, kTrimCharacter = 1, kTrimWord = 2, kTrimEllipsis = 3 };
  static constexpr uint32_t kRightToLeft = 0x0001;
  static constexpr uint32_t kNoWrap = 0x1000;
  static constexpr uint32_t kLineLimit = 0x2000;
  static constexpr uint32_t kNoClip = 0x4000;
  uint32_t flags = 0;
  uint32_t alignment = kNear;
  uint32_t line_align = kNear;
  double leading_margin = 1.0 / 6;
  double trailing_margin = 1.0 / 6;
  uint32_t hotkey_prefix = kHotkeyNone;
  uint32_t trimming = kTrimCharacter;
  double first_tab = 0;           // world units from the line's start
  std::vector<double> tab_stops;  // each from the one before
};

// An object the player does not draw with (yet): its kind is kept, so that a record that
// uses it is skipped by name.
struct OtherObject {
  int kind = 0;
};

using Object = std::variant<std::monostate, Brush, Pen, PlusPath, PlusRegion, PlusImage, PlusFont,
                            StringFormat, OtherObject>;

// The most points one path may hold, as for the EMF records' shapes.
inline constexpr size_t kMaxPathPoints = size_t{1} << 20;

// Reads each object kind from its bytes; false with why when they are not one.
bool ReadBrush(emf::ByteReader& r, Brush& brush, std::string& why);
bool ReadPen(emf::ByteReader& r, Pen& pen, std::string& why);
bool ReadPath(emf::ByteReader& r, PlusPath& path, std::string& why);
bool ReadRegion(emf::ByteReader& r, PlusRegion& region, std::string& why);
bool ReadFont(emf::ByteReader& r, PlusFont& font, std::string& why);
bool ReadStringFormat(emf::ByteReader& r, StringFormat& format, std::string& why);
// An object of the kind the record's flags name, from its whole data.
bool ReadObject(int kind, std::span<const uint8_t> data, Object& object, std::string& why);

// Points as the drawing records keep them: compressed (16-bit), relative (EmfPlusPointR)
// or floating point, by the record's flags; false when they run past the data.
bool ReadPoints(emf::ByteReader& r, uint32_t count, bool compressed, bool relative,
                std::vector<emf::Point>& points);
RectF ReadRect(emf::ByteReader& r, bool compressed);
// The rectangle's outline, a closed figure from its top left corner along its top.
emf::Path RectanglePath(const RectF& r);
// Appends the arc of the rectangle's ellipse from start through sweep degrees (clockwise, as
// GDI+ measures them), as Béziers; the first point is a move when the path has no figure open
// unless line_to_start. EllipsePath is the whole ellipse, closed.
void AppendArc(emf::Path& path, const RectF& r, double start, double sweep, bool line_to_start);
emf::Path EllipsePath(const RectF& r);

}  // namespace emfplus
