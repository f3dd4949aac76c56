// PNG through libpng: palettes at their own depth (1, 2, 4 or 8 bits), colour as 8-bit RGB;
// with the codec option kPngGreyLevels a palette that is its depth's grey ramp is written as
// grey levels. pHYs carries the resolution. Rows go to libpng as they come.
//
// Filters and compression were measured on text, drawing and picture pages at 96 and 300 dpi
// (a grid of filters x levels 1-9 x zlib strategies): indices compress best unfiltered, and
// level 8 gives files 5 to 10 % below level 6 for twice its small time; RGB pages do best
// with the Up filter alone at level 6, which is as small as libpng's adaptive choice among
// all five filters and twice as fast.
#include <png.h>

#include <cmath>
#include <csetjmp>
#include <vector>

#include "imaging/encoders.h"
#include "imaging/encoders/library_rows.h"

namespace imaging {
namespace {

int IndexDepth(int bpp) {
  return bpp <= 1 ? 1 : bpp <= 2 ? 2 : bpp <= 4 ? 4 : 8;
}

// Entry i of 2^depth entries is level i * 255 / (2^depth - 1).
bool IsGreyRamp(const std::vector<Rgb>& palette, int depth) {
  const size_t levels = size_t{1} << depth;
  if (palette.size() != levels) {
    return false;
  }
  for (size_t i = 0; i < levels; ++i) {
    const auto v = static_cast<uint8_t>(i * 255 / (levels - 1));
    if (palette[i] != Rgb{v, v, v}) {
      return false;
    }
  }
  return true;
}

// libpng's bytes go to the buffer; a write that fails is seen after the rows that hit it.
void WriteBytes(png_structp png, png_bytep data, size_t size) {
  static_cast<BufferedOutput*>(png_get_io_ptr(png))->Write(data, size);
}

void FlushNothing(png_structp) {}  // Finish flushes

class PngRows final : public LibraryRows {
 public:
  PngRows(OutputFile& file, const RowLayout& layout)
      : LibraryRows(file, layout.height, "libpng"), layout_(layout) {}
  ~PngRows() override { Release(); }

  bool Start() {
    png_ = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    info_ = png_ ? png_create_info_struct(png_) : nullptr;
    if (png_ == nullptr || info_ == nullptr) {
      return Failed();
    }
    // Declared before setjmp: a long jump skips the destructors of what comes after it.
    std::vector<png_color> palette;
    if (setjmp(png_jmpbuf(png_))) {
      return Failed();
    }
    png_set_write_fn(png_, &out_, WriteBytes, FlushNothing);
    const bool indexed = layout_.indexed();
    const int depth = indexed ? IndexDepth(layout_.bpp) : 8;
    const bool grey = indexed && (layout_.codec_option & kPngGreyLevels) != 0 &&
                      IsGreyRamp(layout_.palette, depth);
    png_set_IHDR(png_, info_, static_cast<png_uint_32>(layout_.width),
                 static_cast<png_uint_32>(layout_.height), depth,
                 grey      ? PNG_COLOR_TYPE_GRAY
                 : indexed ? PNG_COLOR_TYPE_PALETTE
                           : PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (indexed && !grey) {
      for (size_t i = 0; i < (size_t{1} << depth); ++i) {
        const Rgb c = i < layout_.palette.size() ? layout_.palette[i] : Rgb{};
        palette.push_back(png_color{c.r, c.g, c.b});
      }
      png_set_PLTE(png_, info_, palette.data(), static_cast<int>(palette.size()));
    }
    png_set_pHYs(png_, info_, static_cast<png_uint_32>(std::lround(layout_.x_dpi / 0.0254)),
                 static_cast<png_uint_32>(std::lround(layout_.y_dpi / 0.0254)),
                 PNG_RESOLUTION_METER);
    png_set_filter(png_, PNG_FILTER_TYPE_BASE, indexed ? PNG_FILTER_NONE : PNG_FILTER_UP);
    png_set_compression_level(png_, indexed ? 8 : 6);
    png_write_info(png_, info_);
    if (indexed && depth < 8) {
      png_set_packing(png_);
    }
    return true;
  }

  bool WriteRows(const uint8_t* rows, size_t stride, int count) override {
    if (!Good() || png_ == nullptr) {
      return false;
    }
    if (setjmp(png_jmpbuf(png_))) {
      return Failed();
    }
    for (int i = 0; i < count && written_ < height_; ++i, ++written_) {
      png_write_row(png_, const_cast<png_bytep>(rows + static_cast<size_t>(i) * stride));
    }
    return Good();
  }

 private:
  void End() override {
    if (setjmp(png_jmpbuf(png_))) {
      Failed();
      return;
    }
    png_write_end(png_, info_);
  }
  void Release() override { png_destroy_write_struct(&png_, &info_); }

  RowLayout layout_;
  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
};

}  // namespace

std::unique_ptr<RowWriter> OpenPngRows(const RowLayout& layout, OutputFile& file,
                                       std::string* error) {
  return OpenLibraryRows<PngRows>(layout, file, error);
}

}  // namespace imaging
