#include "emf/band_player.h"

#include <algorithm>
#include <cstring>
#include <memory>

namespace emf {

std::string PlayInBands(const Metafile& file, int width, int height, const BandPlan& plan,
                        const RowSink& take, PlayStats& stats) {
  const bool tiled = plan.columns < width;
  const RectL bounds{0, 0, width, height};
  // One buffer for every piece, of the largest piece's size: reallocating it for a smaller
  // last band would hold two at once. Each piece is painted white before it is drawn, so the
  // buffers are not cleared first (clearing a page's worth costs as much as a simple page).
  const auto piece = std::make_unique_for_overwrite<uint32_t[]>(
      static_cast<size_t>(std::min(height, plan.rows + 2 * plan.margin)) *
      std::min(width, plan.columns + 2 * plan.margin));
  const auto gathered = std::make_unique_for_overwrite<uint32_t[]>(
      tiled ? static_cast<size_t>(width) * plan.rows : 0);
  for (int top = 0; top < height; top += plan.rows) {
    const int bottom = std::min(height, top + plan.rows);
    for (int left = 0; left < width; left += plan.columns) {
      const Canvas::Band kept{left, top, std::min(width, left + plan.columns), bottom};
      const Canvas::Band band = WithMargin(kept, plan.margin, width, height);
      const int band_width = band.right - band.left;
      std::fill_n(piece.get(), static_cast<size_t>(band_width) * (band.bottom - band.top),
                  0x00FFFFFF);
      {
        Canvas canvas(piece.get(), band_width * 4, width, height, band);
        stats = PlayMetafile(file, canvas, bounds);
      }
      if (!stats.failure.empty()) {
        return stats.failure;
      }
      const uint32_t* first = piece.get() + static_cast<size_t>(kept.top - band.top) * band_width +
                              (kept.left - band.left);
      if (!tiled) {
        if (!take(first, static_cast<size_t>(band_width), bottom - top)) {
          return kRowsRefused;
        }
        continue;
      }
      for (int y = 0; y < bottom - top; ++y) {
        std::memcpy(gathered.get() + static_cast<size_t>(y) * width + left,
                    first + static_cast<size_t>(y) * band_width,
                    sizeof(uint32_t) * (kept.right - kept.left));
      }
    }
    if (tiled && !take(gathered.get(), static_cast<size_t>(width), bottom - top)) {
      return kRowsRefused;
    }
  }
  return "";
}

}  // namespace emf
