// Plays an enhanced metafile onto a canvas, keeping the device-context state of [MS-EMF]:
// mapping modes, window and viewport, world transform, objects, paths, clipping.
#pragma once

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "emf/canvas/canvas.h"
#include "emf/canvas/raster_ops.h"
#include "emf/player/mapping.h"
#include "emf/records/byte_reader.h"
#include "emf/records/gdi_constants.h"
#include "emf/records/metafile.h"
#include "emf/text/font.h"

namespace emf {

// The private comment that marks a page made from a placeable Windows metafile, which GDI
// plays in the compatible graphics mode rather than as an enhanced metafile.
inline constexpr std::array<uint8_t, 8> kWindowsMetafileComment = {'Q', 'u', 'a', 'd',
                                                                   'W', 'M', 'F', '1'};

// The most points one shape may have, a path's records together: real pages hold a few
// hundred thousand at most. A record that would make more is not drawn, and the page fails
// naming it.
inline constexpr size_t kMaxShapeSegments = size_t{1} << 20;

struct PlayStats {
  int played = 0;
  std::map<std::string, int> skipped;  // record name -> count: unknown, short or not drawn
  // The target could not draw all it was given (the page has parts missing): its reason.
  std::string failure;
};

// Drawing a page carries inside its comment records beside its GDI records (GDI+'s EMF+
// records), played by a layer above the engine onto the same target: handed each comment in
// turn, it says whether the GDI records met next are drawn.
class CommentDrawing {
 public:
  virtual ~CommentDrawing() = default;
  // A comment record's data (what follows its size field); stats take what it skipped.
  virtual void Comment(std::span<const uint8_t> data, PlayStats& stats) = 0;
  virtual bool DrawsGdiRecords() const = 0;
};
// Makes the comment drawing for one play of a page onto a target, with PlayMetafile's bounds;
// null when the page carries none.
using CommentDrawingMaker = std::function<std::unique_ptr<CommentDrawing>(
    const Metafile& file, DrawingTarget& target, const RectL& bounds)>;

// Plays the metafile so that its frame fills bounds (device pixels of the canvas, right and
// bottom exclusive), as PlayEnhMetaFile does; with comment drawing when one is given.
PlayStats PlayMetafile(const Metafile& file, DrawingTarget& target, const RectL& bounds,
                       const CommentDrawingMaker& comments = {});

struct Pen {
  int style = 0;  // PS_* with type, cap and join bits
  // Logical units, never negative; 0 is one pixel at any scale (CreatePen's 0, cosmetic pens).
  double width = 0;
  ColorRef color = 0;
  bool geometric = false;           // ExtCreatePen's PS_GEOMETRIC
  std::vector<double> user_dashes;  // PS_USERSTYLE, logical units
  Brush brush;                      // geometric pens fill with a brush (solid in practice)
  bool extended = false;            // made by ExtCreatePen, whose styled lines leave gaps alone
};

struct GdiObject {
  enum Kind { kPen, kBrush, kFont, kPalette, kColorSpace } kind = kPen;
  Pen pen;
  Brush brush;
  std::shared_ptr<const Font> font;
};

struct DcState {
  Mapping map;
  Transform world;
  int graphics_mode = kGmCompatible;
  Pen pen;
  Brush brush{Brush::kSolid, 0xFFFFFF, 0, nullptr, false};  // WHITE_BRUSH
  std::shared_ptr<const Font> font;
  int bk_mode = kBkOpaque;
  ColorRef bk_color = 0xFFFFFF;
  ColorRef text_color = 0;
  uint32_t text_align = 0;
  int poly_fill_mode = kFillAlternate;
  int rop2 = kR2CopyPen;
  int stretch_mode = 1;  // BLACKONWHITE
  int arc_direction = kArcCounterClockwise;
  double miter_limit = 10;
  // The pen's width in canvas pixels as GDI takes it when the pen is chosen, and the
  // transform's scale and turn then: GDI takes it again only when those change (PenPixels).
  double pen_pixels = 0;
  std::array<double, 4> pen_scale{1, 0, 0, 1};
  Point position;                        // current position, logical
  std::shared_ptr<cairo_region_t> clip;  // device pixels of the canvas; null: none
  std::shared_ptr<cairo_region_t> meta;
  Point brush_origin;  // device pixels of the reference device
  int text_char_extra = 0;
  uint32_t layout = 0;
};

// One string of a text record, as read.
struct TextRun {
  bool valid = false;
  Point reference;
  std::vector<uint32_t> codes;  // UTF-16 units, or glyph indices
  std::vector<double> dx, dy;   // logical units, one pair a character
  uint32_t options = 0;
  RectL rect;
  int graphics_mode = kGmCompatible;
};

// The box a run takes, as GDI measures it on a device: its advance and its whole-pixel
// ascent and descent, in device pixels; valid is false when the run cannot be laid out.
struct TextMeasure {
  bool valid = false;
  Point advance;
  double ascent = 0;
  double descent = 0;
  // Along the baseline, where the run stands after each of its code units: a double-byte
  // character's second byte ends where its first does.
  std::vector<double> ends;
};
// Measures a run in a font (null: the DC's default font) through a logical -> device
// transform, as the player lays it out; the Windows-metafile reader sizes its pages by it.
TextMeasure MeasureText(const TextRun& text, const Font* font, const Transform& transform,
                        int char_extra);

struct TextLayout;  // how a run lies on the canvas (player_text.cpp)
struct DeviceBox;   // a box rounded to device pixels (player_shapes.cpp)

// Where a record keeps a bitmap: its BITMAPINFO and bits as offsets from the record's start,
// and whether the colour table holds RGB colours or palette indices.
struct DibSource {
  uint32_t usage = 0;
  uint32_t off_bmi = 0, cb_bmi = 0;
  uint32_t off_bits = 0, cb_bits = 0;
};
// Reads the five fields in the order the records keep them: the block transfers put the
// usage first, EMR_STRETCHDIBITS and EMR_SETDIBITSTODEVICE last.
enum class UsageField { kFirst, kLast };
inline DibSource ReadDibSource(ByteReader& r, UsageField usage = UsageField::kFirst) {
  DibSource s;
  if (usage == UsageField::kFirst) {
    s.usage = r.U32();
  }
  s.off_bmi = r.U32();
  s.cb_bmi = r.U32();
  s.off_bits = r.U32();
  s.cb_bits = r.U32();
  if (usage == UsageField::kLast) {
    s.usage = r.U32();
  }
  return s;
}

// A block transfer of a record's bitmap: the source rectangle (in the bitmap's rows, counted
// from its bottom row when source_from_bottom, as the DIB records count them) onto a logical
// destination, with a ternary raster operation.
struct DibTransfer {
  DibSource bitmap;
  double sx = 0, sy = 0, sw = 0, sh = 0;
  bool source_from_bottom = false;
  double dx = 0, dy = 0, dw = 0, dh = 0;
  uint32_t rop = 0;
};

class Player {
 public:
  Player(const Metafile& file, DrawingTarget& target, const RectL& bounds);
  PlayStats Play(const CommentDrawingMaker& comments = {});

  // Record handlers: one small function each, in the table of player.cpp.
#define EMF_HANDLER(name) void name(ByteReader& r)
  EMF_HANDLER(Header);
  EMF_HANDLER(Eof);
  EMF_HANDLER(Ignore);
  EMF_HANDLER(GdiComment);
  // State (player_state.cpp).
  EMF_HANDLER(SetMapMode);
  EMF_HANDLER(SetWindowExtEx);
  EMF_HANDLER(SetWindowOrgEx);
  EMF_HANDLER(SetViewportExtEx);
  EMF_HANDLER(SetViewportOrgEx);
  EMF_HANDLER(ScaleViewportExtEx);
  EMF_HANDLER(ScaleWindowExtEx);
  EMF_HANDLER(SetWorldTransform);
  EMF_HANDLER(ModifyWorldTransform);
  EMF_HANDLER(SaveDC);
  EMF_HANDLER(RestoreDC);
  EMF_HANDLER(SetBkMode);
  EMF_HANDLER(SetBkColor);
  EMF_HANDLER(SetTextColor);
  EMF_HANDLER(SetTextAlign);
  EMF_HANDLER(SetPolyFillMode);
  EMF_HANDLER(SetRop2);
  EMF_HANDLER(SetStretchBltMode);
  EMF_HANDLER(SetArcDirection);
  EMF_HANDLER(SetMiterLimit);
  EMF_HANDLER(SetBrushOrgEx);
  EMF_HANDLER(SetLayout);
  EMF_HANDLER(MoveToEx);
  // Objects (player_objects.cpp).
  EMF_HANDLER(CreatePen);
  EMF_HANDLER(ExtCreatePen);
  EMF_HANDLER(CreateBrushIndirect);
  EMF_HANDLER(CreateDibPatternBrushPt);
  EMF_HANDLER(CreateMonoBrush);
  EMF_HANDLER(CreatePalette);
  EMF_HANDLER(CreateColorSpace);
  EMF_HANDLER(SelectObject);
  EMF_HANDLER(DeleteObject);
  EMF_HANDLER(SelectPalette);
  // Shapes (player_shapes.cpp).
  EMF_HANDLER(LineTo);
  EMF_HANDLER(Polyline);
  EMF_HANDLER(Polyline16);
  EMF_HANDLER(PolylineTo);
  EMF_HANDLER(PolylineTo16);
  EMF_HANDLER(Polygon);
  EMF_HANDLER(Polygon16);
  EMF_HANDLER(PolyBezier);
  EMF_HANDLER(PolyBezier16);
  EMF_HANDLER(PolyBezierTo);
  EMF_HANDLER(PolyBezierTo16);
  EMF_HANDLER(PolyPolyline);
  EMF_HANDLER(PolyPolyline16);
  EMF_HANDLER(PolyPolygon);
  EMF_HANDLER(PolyPolygon16);
  EMF_HANDLER(PolyDraw);
  EMF_HANDLER(PolyDraw16);
  EMF_HANDLER(Rectangle);
  EMF_HANDLER(RoundRect);
  EMF_HANDLER(Ellipse);
  EMF_HANDLER(Arc);
  EMF_HANDLER(ArcTo);
  EMF_HANDLER(Chord);
  EMF_HANDLER(Pie);
  EMF_HANDLER(AngleArc);
  EMF_HANDLER(SetPixelV);
  // Paths (player_paths.cpp).
  EMF_HANDLER(BeginPath);
  EMF_HANDLER(EndPath);
  EMF_HANDLER(CloseFigure);
  EMF_HANDLER(FillPath);
  EMF_HANDLER(StrokeAndFillPath);
  EMF_HANDLER(StrokePath);
  EMF_HANDLER(FlattenPath);
  EMF_HANDLER(WidenPath);
  EMF_HANDLER(SelectClipPath);
  EMF_HANDLER(AbortPath);
  // Clipping and regions (player_clip.cpp).
  EMF_HANDLER(IntersectClipRect);
  EMF_HANDLER(ExcludeClipRect);
  EMF_HANDLER(ExtSelectClipRgn);
  EMF_HANDLER(OffsetClipRgn);
  EMF_HANDLER(SetMetaRgn);
  EMF_HANDLER(FillRgn);
  EMF_HANDLER(FrameRgn);
  EMF_HANDLER(PaintRgn);
  EMF_HANDLER(InvertRgn);
  // Bitmaps (player_bitmaps.cpp).
  EMF_HANDLER(BitBlt);
  EMF_HANDLER(StretchBlt);
  EMF_HANDLER(StretchDIBits);
  EMF_HANDLER(SetDIBitsToDevice);
  EMF_HANDLER(AlphaBlend);
  EMF_HANDLER(TransparentBlt);
  EMF_HANDLER(MaskBlt);
  EMF_HANDLER(PlgBlt);
  EMF_HANDLER(GradientFill);
  // Text (player_text.cpp).
  EMF_HANDLER(ExtCreateFontIndirectW);
  EMF_HANDLER(ExtTextOutW);
  EMF_HANDLER(ExtTextOutA);
  EMF_HANDLER(PolyTextOutW);
  EMF_HANDLER(PolyTextOutA);
  EMF_HANDLER(SmallTextOut);
#undef EMF_HANDLER

 private:
  // Drawing with the current pen and brush; inside a path bracket the shape joins the path
  // (as a new figure, or going on from the current point).
  // Takes the path to move it onto the canvas where it is: long paths are not copied.
  void DrawShape(Path path, bool fill, bool stroke);
  void DrawShapeContinuing(const Path& logical_path, bool fill, bool stroke);

  // Handlers that serve several record types (16- and 32-bit points, and their kinds).
  enum class PolyKind { kPolyline, kPolygon, kPolylineTo, kPolyBezier, kPolyBezierTo };
  enum class ArcKind { kArc, kArcTo, kChord, kPie };
  void DrawPolyRecord(ByteReader& r, bool small, PolyKind kind);
  void DrawPolyPolyRecord(ByteReader& r, bool small, bool closed);
  void DrawPolyDrawRecord(ByteReader& r, bool small);
  void DrawArcRecord(ByteReader& r, ArcKind kind);
  void DrawPolyTextRecord(ByteReader& r, bool wide);
  void CreatePatternBrush(ByteReader& r, bool monochrome);
  DeviceBox BoxOnDevice(const RectL& box) const;
  // A PS_INSIDEFRAME pen's shape drawn inside its box: the box shrunk so that the pen's
  // outer pixels meet the box's own edge pixels. Unchanged for other pens.
  DeviceBox InsideFrame(DeviceBox d) const;
  template <class Shape>
  void DrawBoxShape(const RectL& box, Shape shape, bool outline_on_far_edges = false,
                    bool inside_frame = true);
  TextRun ReadTextRun(ByteReader& r, bool wide, int graphics_mode);
  void DrawTextRun(TextRun text);
  Point AlignText(const TextRun& text, const TextLayout& layout);
  void DrawTextBackground(const TextRun& text, const TextLayout& layout);
  void DescribeText(const TextRun& text, const TextLayout& layout);
  void DrawGlyphRuns(const TextRun& text, const TextLayout& layout);
  void DrawTextDecorations(const TextLayout& layout);
  std::optional<Image> RecordImage(ByteReader& r, const DibSource& bitmap, bool keep_alpha);
  void DrawRecordDib(ByteReader& r, const DibTransfer& transfer);

  // Transforms.
  Transform PageTransform() const;    // logical -> reference device
  Transform LogicalToCanvas() const;  // logical -> canvas pixels
  DeviceSize Device() const;
  Point ToCanvas(Point logical) const {
    return LogicalToCanvas().Apply(logical);
  }

  void Fill(const Path& canvas_path, int fill_mode);
  void Stroke(const Path& canvas_path);
  Paint CurrentPaint(const Brush& brush) const;
  StrokeStyle CurrentStroke() const;
  // The chosen pen's width on the canvas, taken when the pen is chosen or restored and when
  // the transform's scale or turn changes (not when only an origin moves).
  void RealizePen();
  void TransformChanged();
  void UpdateClip();

  // Objects.
  GdiObject* ObjectAt(uint32_t index);
  void StoreObject(uint32_t index, GdiObject object);

  // Regions: device units of the reference device -> canvas pixels.
  Region ReadRegion(ByteReader& r, size_t region_size);
  Region RegionFromPath(const Path& canvas_path, int fill_mode) const;
  void CombineClip(Region region, int mode);

  void CountSkipped(uint32_t type, const char* why);

  const Metafile& file_;
  DrawingTarget& canvas_;
  RectL bounds_;
  Transform playback_;  // reference device -> canvas pixels
  DcState state_;
  std::vector<DcState> saved_;
  std::vector<std::unique_ptr<GdiObject>> objects_;
  bool in_path_ = false;
  Path path_;  // canvas pixels
  bool path_widened_ = false;
  bool ended_ = false;
  PlayStats stats_;
  uint32_t current_type_ = 0;
  // A page made from a placeable Windows metafile, drawn as PlayMetaFile draws: boxes keep
  // the compatible mode's outline (player_shapes.cpp).
  bool windows_metafile_ = false;
};

}  // namespace emf
