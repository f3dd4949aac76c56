// Plays an enhanced metafile onto a canvas, keeping the device-context state of [MS-EMF]:
// mapping modes, window and viewport, world transform, objects, paths, clipping.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "emf/byte_reader.h"
#include "emf/canvas.h"
#include "emf/font.h"
#include "emf/metafile.h"

namespace emf {

struct PlayStats {
  int played = 0;
  std::map<std::string, int> skipped;  // record name -> count: unknown, short or not drawn
};

// Plays the metafile so that its frame fills bounds (device pixels of the canvas, right and
// bottom exclusive), as PlayEnhMetaFile does.
PlayStats PlayMetafile(const Metafile& file, DrawingTarget& target, const RectL& bounds);

struct Pen {
  int style = 0;  // PS_* with type, cap and join bits
  double width = 0;
  ColorRef color = 0;
  bool geometric = false;
  std::vector<double> user_dashes;  // PS_USERSTYLE, logical units
  Brush brush;                      // geometric pens fill with a brush (solid in practice)
};

struct GdiObject {
  enum Kind { kPen, kBrush, kFont, kPalette, kColorSpace } kind = kPen;
  Pen pen;
  Brush brush;
  std::shared_ptr<const Font> font;
};

struct DcState {
  int map_mode = 1;  // MM_TEXT
  Point window_org, window_ext{1, 1}, viewport_org, viewport_ext{1, 1};
  Transform world;
  int graphics_mode = 1;  // GM_COMPATIBLE
  Pen pen;
  Brush brush{Brush::kSolid, 0xFFFFFF, 0, nullptr, false};  // WHITE_BRUSH
  std::shared_ptr<const Font> font;
  int bk_mode = 2;  // OPAQUE
  ColorRef bk_color = 0xFFFFFF;
  ColorRef text_color = 0;
  uint32_t text_align = 0;
  int poly_fill_mode = 1;  // ALTERNATE
  int rop2 = 13;           // R2_COPYPEN
  int stretch_mode = 1;    // BLACKONWHITE
  int arc_direction = 1;   // AD_COUNTERCLOCKWISE
  double miter_limit = 10;
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
  int graphics_mode = 1;
};

struct TextLayout;  // how a run lies on the canvas (player_text.cpp)

class Player {
 public:
  Player(const Metafile& file, DrawingTarget& target, const RectL& bounds);
  PlayStats Play();

  // Record handlers: one small function each, in the table of player.cpp.
#define EMF_HANDLER(name) void name(ByteReader& r)
  EMF_HANDLER(Header);
  EMF_HANDLER(Eof);
  EMF_HANDLER(Ignore);
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

  // Drawing with the current pen and brush; inside a path bracket the shape joins the path
  // (as a new figure, or going on from the current point).
  void DrawShape(const Path& logical_path, bool fill, bool stroke);
  void DrawShapeContinuing(const Path& logical_path, bool fill, bool stroke);
  Point Position() const {
    return state_.position;
  }
  void SetPosition(Point p) {
    state_.position = p;
  }

 private:
  friend class ShapeBuilder;
  enum class ArcKind { kArc, kArcTo, kChord, kPie };
  void PolyPolyCommon(ByteReader& r, bool small, bool closed);
  void CreatePatternBrush(ByteReader& r, bool monochrome);
  void PolyDrawCommon(ByteReader& r, bool small);
  void ArcCommon(ByteReader& r, ArcKind kind);
  template <class Shape>
  void DrawBoxShape(const RectL& box, Shape shape, bool outline_on_far_edges = false);
  TextRun ReadTextRun(ByteReader& r, bool wide, int graphics_mode);
  void DrawTextRun(TextRun text);
  Point AlignText(const TextRun& text, const TextLayout& layout);
  void DrawTextBackground(const TextRun& text, const TextLayout& layout);
  void DescribeText(const TextRun& text, const TextLayout& layout);
  void DrawGlyphRuns(const TextRun& text, const TextLayout& layout);
  void DrawTextDecorations(const TextLayout& layout);
  void PolyTextOutCommon(ByteReader& r, bool wide);
  std::optional<Image> RecordImage(ByteReader& r, uint32_t off_bmi, uint32_t cb_bmi,
                                   uint32_t off_bits, uint32_t cb_bits, uint32_t usage,
                                   bool keep_alpha);
  void DrawRecordDib(ByteReader& r, uint32_t off_bmi, uint32_t cb_bmi, uint32_t off_bits,
                     uint32_t cb_bits, uint32_t usage, double sx, double sy, double sw, double sh,
                     bool source_from_bottom, double dx, double dy, double dw, double dh,
                     uint32_t rop);

  // Transforms.
  Transform PageTransform() const;    // logical -> reference device
  Transform LogicalToCanvas() const;  // logical -> canvas pixels
  void FixIsotropic();
  void SetFixedMapMode(int mode);
  Point ToCanvas(Point logical) const {
    return LogicalToCanvas().Apply(logical);
  }

  void Fill(const Path& canvas_path, int fill_mode);
  void Stroke(const Path& canvas_path);
  Paint CurrentPaint(const Brush& brush) const;
  StrokeStyle CurrentStroke() const;
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
};

}  // namespace emf
