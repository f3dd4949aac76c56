#include "emf/player/band_player.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <utility>

namespace emf {
namespace {

// The piece buffer a thread draws its pages in, kept from page to page: a fresh buffer of a
// page's size comes from the system, which hands it over untouched, and faulting it in and
// having it zeroed costs more than drawing a page of plain text. Only buffers up to this many
// pixels (A3 at 300 dots per inch) are kept, so an idle thread holds little.
constexpr size_t kKeptPiecePixels = size_t{1} << 24;

struct PieceBuffer {
  std::unique_ptr<uint32_t[]> pixels;
  size_t size = 0;
};

thread_local PieceBuffer kept_piece;

// A buffer of at least size pixels, the thread's kept one when it is large enough. The caller
// owns it until it gives it back, so a page played from inside another's row sink gets one
// of its own.
PieceBuffer TakePieceBuffer(size_t size) {
  PieceBuffer buffer = std::exchange(kept_piece, {});
  if (buffer.size < size) {
    buffer.pixels.reset();  // the old one goes before the new one comes
    buffer.pixels = std::make_unique_for_overwrite<uint32_t[]>(size);
    buffer.size = size;
  }
  return buffer;
}

void GiveBackPieceBuffer(PieceBuffer buffer) {
  if (buffer.size <= kKeptPiecePixels && buffer.size > kept_piece.size) {
    kept_piece = std::move(buffer);
  }
}

}  // namespace

std::string WhyTooWide(int width) {
  if (width <= kMaxStreamedWidth) {
    return "";
  }
  return "the page is " + std::to_string(width) + " pixels wide: a row of it passes the " +
         std::to_string(kMaxStreamedWidth) + " pixels the engine draws at once";
}

std::string PlayInBands(const Metafile& file, int width, int height, const BandPlan& plan,
                        const RowSink& take, PlayStats& stats, bool smooth_text,
                        const CommentDrawingMaker& comments) {
  const bool tiled = plan.columns < width;
  if (std::string why = WhyTooWide(width); !why.empty()) {
    return why;
  }
  const RectL bounds{0, 0, width, height};
  // One buffer for every piece, of the largest piece's size: reallocating it for a smaller
  // last band would hold two at once. Each piece is painted white before it is drawn, so the
  // buffers are not cleared first (clearing a page's worth costs as much as a simple page).
  PieceBuffer buffer =
      TakePieceBuffer(static_cast<size_t>(std::min(height, plan.rows + 2 * plan.margin)) *
                      std::min(width, plan.columns + 2 * plan.margin));
  const std::unique_ptr<uint32_t[]>& piece = buffer.pixels;
  struct GiveBack {
    PieceBuffer& buffer;
    ~GiveBack() { GiveBackPieceBuffer(std::move(buffer)); }
  } give_back{buffer};
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
        canvas.set_smooth_text(smooth_text);
        stats = PlayMetafile(file, canvas, bounds, comments);
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
