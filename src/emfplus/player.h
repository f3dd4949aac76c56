// Plays a page's EMF+ records as GDI+ plays a metafile (GdipDrawImage): the EMF+ records are
// drawn and their GDI stand-ins skipped, save after a GetDC record, which hands over to the
// GDI records that follow until the next EMF+ record. The EMF player hands it each comment
// record and draws the GDI records it is told to, on the same target.
#pragma once

#include <cairo.h>

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "emf/canvas/canvas.h"
#include "emf/player/player.h"
#include "emf/records/byte_reader.h"
#include "emf/records/metafile.h"
#include "emf/text/font.h"
#include "emfplus/images.h"
#include "emfplus/objects.h"
#include "emfplus/records.h"

namespace emfplus {

// Whether GDI+ draws the page from EMF+ records: its first record after the header is an
// EMF+ comment that starts with the EMF+ header.
bool HoldsEmfPlus(const emf::Metafile& file);

// The comment drawing that plays a page's EMF+ records (null for a page without them), for
// PlayMetafile and everything that plays pages through it.
emf::CommentDrawingMaker EmfPlusDrawing();

// The largest object the player puts together from records continued one into the next.
inline constexpr uint32_t kMaxObjectBytes = uint32_t{1} << 26;
// The most graphics states saved at once (Save and BeginContainer without their ends).
inline constexpr size_t kMaxSavedStates = size_t{1} << 16;

// What a page's drawing state holds, saved and restored whole.
struct GraphicsState {
  emf::Transform world;      // world units -> the container's units
  emf::Transform container;  // the container's units -> page units, every container together
  uint32_t page_unit = 1;    // UnitDisplay: a pixel of the reference device
  double page_scale = 1;
  bool antialias = false;
  bool smooth_text = true;         // text rendering hints but the single-bit ones
  int interpolation = 0;           // how bitmaps are sampled (InterpolationMode)
  bool pixel_offset_half = false;  // bitmaps sampled from their pixels' centres
  // Device pixels of the target; null: none. The containers' clip bounds the state's own.
  std::shared_ptr<cairo_region_t> clip;
  std::shared_ptr<cairo_region_t> container_clip;
};

class Player : public emf::CommentDrawing {
 public:
  Player(const emf::Metafile& file, emf::DrawingTarget& target, const emf::RectL& bounds);

  void Comment(std::span<const uint8_t> data, emf::PlayStats& stats) override;
  bool DrawsGdiRecords() const override { return gdi_records_; }

  // Record handlers: one small function each, in the table of record_table.cpp.
#define EMFPLUS_HANDLER(name) void name(const Record& record, emf::ByteReader& r)
  EMFPLUS_HANDLER(Header);
  EMFPLUS_HANDLER(EndOfFile);
  EMFPLUS_HANDLER(Ignore);
  EMFPLUS_HANDLER(GetDC);
  EMFPLUS_HANDLER(SetRenderingOrigin);
  EMFPLUS_HANDLER(ObjectRecord);
  // State (player_state.cpp).
  EMFPLUS_HANDLER(SetAntiAliasMode);
  EMFPLUS_HANDLER(SetInterpolationMode);
  EMFPLUS_HANDLER(SetPixelOffsetMode);
  EMFPLUS_HANDLER(Save);
  EMFPLUS_HANDLER(Restore);
  EMFPLUS_HANDLER(BeginContainer);
  EMFPLUS_HANDLER(BeginContainerNoParams);
  EMFPLUS_HANDLER(EndContainer);
  EMFPLUS_HANDLER(SetWorldTransform);
  EMFPLUS_HANDLER(ResetWorldTransform);
  EMFPLUS_HANDLER(MultiplyWorldTransform);
  EMFPLUS_HANDLER(TranslateWorldTransform);
  EMFPLUS_HANDLER(ScaleWorldTransform);
  EMFPLUS_HANDLER(RotateWorldTransform);
  EMFPLUS_HANDLER(SetPageTransform);
  // Clipping (player_clip.cpp).
  EMFPLUS_HANDLER(ResetClip);
  EMFPLUS_HANDLER(SetClipRect);
  EMFPLUS_HANDLER(SetClipPath);
  EMFPLUS_HANDLER(SetClipRegion);
  EMFPLUS_HANDLER(OffsetClip);
  // Shapes (player_shapes.cpp).
  EMFPLUS_HANDLER(Clear);
  EMFPLUS_HANDLER(FillRects);
  EMFPLUS_HANDLER(DrawRects);
  EMFPLUS_HANDLER(FillPolygon);
  EMFPLUS_HANDLER(DrawLines);
  EMFPLUS_HANDLER(FillEllipse);
  EMFPLUS_HANDLER(DrawEllipse);
  EMFPLUS_HANDLER(FillPie);
  EMFPLUS_HANDLER(DrawPie);
  EMFPLUS_HANDLER(DrawArc);
  EMFPLUS_HANDLER(FillRegion);
  EMFPLUS_HANDLER(FillPath);
  EMFPLUS_HANDLER(DrawPath);
  EMFPLUS_HANDLER(FillClosedCurve);
  EMFPLUS_HANDLER(DrawClosedCurve);
  EMFPLUS_HANDLER(DrawCurve);
  EMFPLUS_HANDLER(DrawBeziers);
  // Images (player_images.cpp).
  EMFPLUS_HANDLER(DrawImage);
  EMFPLUS_HANDLER(DrawImagePoints);
  // Text (player_text.cpp).
  EMFPLUS_HANDLER(SetTextRenderingHint);
  EMFPLUS_HANDLER(DrawDriverString);
  EMFPLUS_HANDLER(DrawString);
#undef EMFPLUS_HANDLER

 private:
  void Play(const Record& record, size_t number);
  void MapDevice();
  void Skip(const Record& record, const char* why);

  // Transforms: world units -> target pixels, and the page transform's scale.
  emf::Transform WorldToTarget() const;
  emf::Transform PageToDevice() const;
  void Multiply(const emf::Transform& m, bool append);
  void EnterContainer(const Record& record, uint32_t index, const emf::Transform& map);
  // A page unit's size in reference-device pixels at a density.
  static double UnitInPixels(uint32_t unit, double dpi);

  // Drawing, in world units.
  // A record's brush (an object, or a colour given inline) as the target paints it.
  bool FillBrush(const Record& record, emf::ByteReader& r, emf::SmoothPaint& paint);
  emf::SmoothPaint PaintOf(const Brush& brush) const;
  void Fill(const Record& record, const emf::Path& world_path, emf::FillRule rule,
            const emf::SmoothPaint& paint);
  // A fill of target pixels: a GDI polygon when aliased and opaque, else smoothed and blended.
  void FillDevice(const emf::Path& path, emf::FillRule rule, const emf::SmoothPaint& paint);
  void Stroke(const Record& record, const emf::Path& world_path, const Pen& pen);
  const Pen* PenAt(const Record& record, uint32_t id);
  template <class T>
  const T* ObjectAt(const Record& record, uint32_t id);
  bool Bounded(const Record& record, size_t points);
  // Target points held within the rasteriser's reach; false when one is not a number.
  static bool Tame(emf::Path& path);
  // The fields several records share, read with the record's flags; false (the record
  // skipped and counted) when they are not there or draw nothing.
  bool RecordRects(const Record& record, emf::ByteReader& r, emf::Path& path);
  bool RecordPoints(const Record& record, emf::ByteReader& r, std::vector<emf::Point>& points);
  bool RecordArc(const Record& record, emf::ByteReader& r, bool pie, emf::Path& path);
  bool RecordClosedCurve(const Record& record, emf::ByteReader& r, emf::Path& path);
  // Text: a font object sized on the target, and a run of its glyphs drawn (and described to
  // targets that keep text).
  struct TextFont {
    emf::Font font;  // the face asked for
    const emf::Typeface* typeface = nullptr;
    std::string family;
    bool italic = false;
    double em = 0;          // world units
    cairo_matrix_t matrix;  // an em on the target
  };
  bool TextColour(const Record& record, uint32_t brush_field, uint32_t& argb);
  bool SetUpFont(const Record& record, const PlusFont& font, const emf::Transform& glyph_transform,
                 TextFont& out);
  void ShowGlyphs(const Record& record, const TextFont& text_font,
                  const std::vector<cairo_glyph_t>& glyphs, const std::vector<emf::Point>& advances,
                  const std::u16string& text, uint32_t argb);
  // The state's clip on the target, when it changed: ApplyClip; Shown is what it shows.
  void ApplyClip();
  // An image's source rectangle (in its unit) onto the parallelogram of three world points.
  void PlaceImage(const Record& record, int32_t unit, RectF source, const emf::Point (&world)[3]);
  // A metafile texture drawn into a bitmap at the size to_target (its pixels -> the target)
  // gives it, and the bitmap's own transform to the target; null when it cannot be.
  std::shared_ptr<const emf::Image> PictureTile(const std::shared_ptr<const PlusImage>& image,
                                                const emf::Transform& to_target,
                                                emf::Transform& tile_to_target) const;
  // A picture drawn into a bitmap of columns x rows with alpha, its frame at frame; null past
  // the page's budget. What it skips is counted, and its failure fails the page.
  std::shared_ptr<const emf::Image> Rasterised(const emf::Metafile& file, int columns, int rows,
                                               const emf::RectL& frame) const;
  // The budget of pictures drawn into bitmaps starts afresh with each outermost page.
  static void StartPictureBudget();
  struct TileDrawn {
    std::shared_ptr<const PlusImage> picture;
    int columns, rows;
    std::shared_ptr<const emf::Image> tile;
  };
  mutable std::vector<TileDrawn> tiles_;
  // The shapes a pen's ends add to the open figures of path (in the pen's space).
  void StrokeEnds(const Record& record, const emf::Path& path, const Pen& pen, double width,
                  const emf::Transform& to_target, const emf::SmoothPaint& paint);
  // The bitmap's source rectangle painted over the parallelogram at tl, tr, bl.
  void PaintBitmap(std::shared_ptr<const emf::Image> bitmap, uint32_t mean, const RectF& source,
                   emf::SmoothPaint::Sampling sampling, emf::Point tl, emf::Point tr, emf::Point bl,
                   bool antialias);
  void PlayImageMetafile(const Record& record, const PlusImage& image, const RectF& source,
                         emf::Point tl, emf::Point tr, emf::Point bl);
  emf::Region Shown() const;
  // Clips the target to the inside of a shape as well, for a pen drawn inside it.
  void ClipInside(const emf::Path& world_path);

  // Clipping: a region of target pixels for a world path or region, combined into the clip.
  emf::Region DeviceRegion(const emf::Path& world_path, emf::FillRule rule);
  emf::Region DeviceRegion(const PlusRegion& region);
  emf::Region Everywhere() const;
  // The clip drawing keeps to: the container's and the state's together; null for none.
  std::shared_ptr<cairo_region_t> EffectiveClip() const;
  void CombineClip(emf::Region region, int mode);

  emf::DrawingTarget& target_;
  emf::RectL bounds_;
  const emf::Header& header_;
  emf::Transform device_to_target_;  // EMF+ device pixels -> target pixels
  double dpi_x_ = 96, dpi_y_ = 96;
  GraphicsState state_;
  std::vector<std::pair<uint32_t, GraphicsState>> saved_;  // by the records' stack index
  std::array<Object, kObjectSlots> objects_;
  // An object arriving over several records: its bytes so far.
  struct Continued {
    int id = -1;
    int kind = 0;
    uint32_t total = 0;
    std::vector<uint8_t> bytes;
  } continued_;
  emf::Point rendering_origin_;  // reference-device pixels: where hatches start
  bool gdi_records_ = false;
  bool ended_ = false;
  bool clip_applied_ = false;
  size_t played_ = 0;
  emf::PlayStats* stats_ = nullptr;
};

}  // namespace emfplus
