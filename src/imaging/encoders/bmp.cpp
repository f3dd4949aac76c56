// BMP: palettes as they are, colour as 24 bits; the resolution in pixels per metre. BMP keeps
// its rows bottom up, so each row given goes to its own place in the file.
#include <cmath>
#include <vector>

#include "imaging/encoders.h"
#include "imaging/encoders/file_writer.h"

namespace imaging {
namespace {

int BmpDepth(const RowLayout& layout) {
  return layout.indexed() ? (layout.bpp == 1 ? 1 : layout.bpp == 4 ? 4 : 8) : 24;
}

class BmpRows final : public RowWriter {
 public:
  BmpRows(const RowLayout& layout, OutputFile& file)
      : out_(file), layout_(layout), bpp_(BmpDepth(layout)) {
    stride_ = (static_cast<uint32_t>(layout.width) * bpp_ + 31) / 32 * 4;
    row_.resize(stride_);
  }

  // The size fits 32 bits: the format's limits are checked before a writer is opened.
  void WriteHeader() {
    const uint32_t colors = bpp_ <= 8 ? (1u << bpp_) : 0;
    const uint32_t image_size = stride_ * static_cast<uint32_t>(layout_.height);
    offset_ = 54 + 4 * colors;
    out_.U8('B');
    out_.U8('M');
    out_.U32(offset_ + image_size);
    out_.U32(0);
    out_.U32(offset_);
    out_.U32(40);
    out_.U32(static_cast<uint32_t>(layout_.width));
    out_.U32(static_cast<uint32_t>(layout_.height));
    out_.U16(1);
    out_.U16(static_cast<uint16_t>(bpp_));
    out_.U32(0);
    out_.U32(image_size);
    out_.U32(static_cast<uint32_t>(std::lround(layout_.x_dpi / 0.0254)));
    out_.U32(static_cast<uint32_t>(std::lround(layout_.y_dpi / 0.0254)));
    out_.U32(colors);
    out_.U32(0);
    for (uint32_t i = 0; i < colors; ++i) {
      const Rgb c = i < layout_.palette.size() ? layout_.palette[i] : Rgb{};
      out_.U8(c.b);
      out_.U8(c.g);
      out_.U8(c.r);
      out_.U8(0);
    }
  }

  bool WriteRows(const uint8_t* rows, size_t stride, int count) override {
    for (int i = 0; i < count && written_ < layout_.height; ++i, ++written_) {
      PackRow(rows + static_cast<size_t>(i) * stride);
      const uint64_t at =
          offset_ + uint64_t{stride_} * static_cast<uint64_t>(layout_.height - 1 - written_);
      out_.BytesAt(at, row_.data(), row_.size());
    }
    return out_.Good();
  }

  bool Finish(std::string* error) override {
    if (written_ != layout_.height) {
      *error = "the image's rows were not all given";
      return false;
    }
    return out_.Finish(error);
  }

 private:
  void PackRow(const uint8_t* src) {
    std::fill(row_.begin(), row_.end(), 0);
    const int width = layout_.width;
    if (bpp_ == 24) {
      for (int x = 0; x < width; ++x) {
        row_[3 * x] = src[3 * x + 2];
        row_[3 * x + 1] = src[3 * x + 1];
        row_[3 * x + 2] = src[3 * x];
      }
    } else if (bpp_ == 8) {
      std::copy(src, src + width, row_.begin());
    } else if (bpp_ == 4) {
      for (int x = 0; x < width; ++x) {
        row_[x / 2] = static_cast<uint8_t>(row_[x / 2] | ((src[x] & 0xF) << ((x & 1) ? 0 : 4)));
      }
    } else {
      for (int x = 0; x < width; ++x) {
        row_[x / 8] = static_cast<uint8_t>(row_[x / 8] | ((src[x] & 1) << (7 - x % 8)));
      }
    }
  }

  FileWriter out_;
  RowLayout layout_;
  int bpp_;
  uint32_t stride_ = 0;
  uint32_t offset_ = 0;
  int written_ = 0;
  std::vector<uint8_t> row_;
};

}  // namespace

std::unique_ptr<RowWriter> OpenBmpRows(const RowLayout& layout, OutputFile& file,
                                       std::string* /*error*/) {
  auto writer = std::make_unique<BmpRows>(layout, file);
  writer->WriteHeader();
  return writer;
}

}  // namespace imaging
