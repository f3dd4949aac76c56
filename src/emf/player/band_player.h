// Playing a page too large for one drawing surface: cut into bands of rows, and tiles where a
// band would pass cairo's widest surface. Each piece is drawn with a margin around it that is
// then dropped, since along a surface's edge cairo may cut a shape otherwise than inside it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "emf/canvas/canvas.h"
#include "emf/player/player.h"
#include "emf/records/metafile.h"

namespace emf {

// 128 MB of 32-bit pixels a band: ordinary pages (up to 400 dots per inch) are drawn whole.
inline constexpr int64_t kBandPixels = int64_t{1} << 25;
inline constexpr int kBandMargin = 16;

struct BandPlan {
  int rows = 0;     // rows kept from each band
  int columns = 0;  // columns kept from each tile
  int margin = 0;   // drawn around each piece and dropped
};

// The cut of a page of width x height into pieces of at most band_pixels with their margins;
// a page that fits one piece is drawn whole, without margin.
inline BandPlan PlanBands(int width, int height, int64_t band_pixels = kBandPixels) {
  constexpr int kSide = Canvas::kMaxSurfaceSide;
  if (int64_t{width} * height <= band_pixels && width <= kSide && height <= kSide) {
    return BandPlan{height, width, 0};
  }
  const int columns = std::min(width, kSide - 2 * kBandMargin);
  const int64_t rows = band_pixels / (columns + 2 * kBandMargin) - 2 * kBandMargin;
  return BandPlan{static_cast<int>(std::clamp<int64_t>(rows, 1, kSide - 2 * kBandMargin)), columns,
                  kBandMargin};
}

// The widest page PlayInBands draws: one gathered row of it is half a band.
inline constexpr int64_t kMaxStreamedWidth = kBandPixels / 2;

// The plan for PlayInBands: where bands are cut into tiles and gathered, the tiles are half a
// band each, and the rows gathered across the page's width another half at most, so that the
// gathered rows and the tile together hold no more than one band however wide the page.
inline BandPlan PlanStreamedBands(int width, int height) {
  const BandPlan plan = PlanBands(width, height);
  if (plan.columns >= width) {
    return plan;
  }
  BandPlan tiled = PlanBands(width, height, kBandPixels / 2);
  tiled.rows =
      static_cast<int>(std::clamp<int64_t>(kMaxStreamedWidth / std::max(width, 1), 1, tiled.rows));
  return tiled;
}

// The piece drawn for a kept piece: the kept one with the margin, within the page.
inline Canvas::Band WithMargin(const Canvas::Band& kept, int margin, int width, int height) {
  return Canvas::Band{std::max(0, kept.left - margin), std::max(0, kept.top - margin),
                      std::min(width, kept.right + margin), std::min(height, kept.bottom + margin)};
}

// Takes the page's rows top to bottom (0x00RRGGBB, stride pixels apart); false stops the page.
using RowSink = std::function<bool(const uint32_t* rows, size_t stride, int count)>;

// A row of the page's pixels (0x00RRGGBB) as red, green and blue bytes, as encoders take them.
inline void RowToRgb(const uint32_t* row, int width, uint8_t* rgb) {
  for (int x = 0; x < width; ++x) {
    rgb[3 * x] = static_cast<uint8_t>(row[x] >> 16);
    rgb[3 * x + 1] = static_cast<uint8_t>(row[x] >> 8);
    rgb[3 * x + 2] = static_cast<uint8_t>(row[x]);
  }
}

// Why a page of this width cannot be drawn band by band (a row of it passes
// kMaxStreamedWidth), or "" when it can: callers ask before they open anything for it.
std::string WhyTooWide(int width);

// What PlayInBands says when the sink refused rows.
inline constexpr const char* kRowsRefused = "the rows were not taken";

// Plays the page (width x height pixels, on white) piece by piece and hands its rows to take
// as each band is done, so memory follows the band, not the page. A band cut into tiles is
// gathered first; a page wider than kMaxStreamedWidth is refused before anything is drawn. Text is
// smoothed unless the page is bound for a palette, where Windows draws it plain. The failure, if
// any; stats are the last piece's.
std::string PlayInBands(const Metafile& file, int width, int height, const BandPlan& plan,
                        const RowSink& take, PlayStats& stats, bool smooth_text = true,
                        const CommentDrawingMaker& comments = {});

}  // namespace emf
