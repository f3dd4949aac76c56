#include "imaging/bmp_reader.h"

#include <sys/types.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "base/dib_header.h"

namespace imaging {
namespace {

constexpr size_t kFileHeaderSize = 14;  // "BM", file size, reserved, pixel offset

uint32_t U32(std::span<const uint8_t> b, size_t at) {
  return b[at] | (uint32_t{b[at + 1]} << 8) | (uint32_t{b[at + 2]} << 16) |
         (uint32_t{b[at + 3]} << 24);
}

bool Fail(std::string* error, const char* reason) {
  *error = reason;
  return false;
}

// The colour table between the header and the pixels; entries past the pixel offset are
// not read, and the table is filled up to the depth with black.
std::vector<Rgb> ReadPalette(std::span<const uint8_t> bytes, const dib::Header& header,
                             size_t pixel_offset) {
  std::vector<Rgb> palette;
  const size_t entry_size = header.palette_entry_size;
  size_t at = kFileHeaderSize + header.header_size;
  for (size_t i = 0; i < header.palette_entries && at + entry_size <= pixel_offset &&
                     at + entry_size <= bytes.size();
       ++i, at += entry_size) {
    palette.push_back(Rgb{bytes[at + 2], bytes[at + 1], bytes[at]});
  }
  palette.resize(size_t{1} << header.bit_count);
  return palette;
}

// One row into the image's own form: palette indices up to 8 bits, else RGB. One loop per
// depth, so that nothing is decided pixel by pixel.
void ReadRow(const uint8_t* src, const dib::Header& header, uint8_t* out) {
  const int64_t width = header.width;
  const uint32_t* masks = header.masks;
  switch (header.bit_count) {
    case 1:
      for (int64_t x = 0; x < width; ++x) {
        out[x] = (src[x / 8] >> (7 - x % 8)) & 1;
      }
      break;
    case 4:
      for (int64_t x = 0; x < width; ++x) {
        out[x] = (src[x / 2] >> ((x & 1) ? 0 : 4)) & 0xF;
      }
      break;
    case 8:
      std::memcpy(out, src, static_cast<size_t>(width));
      break;
    case 16:
      for (int64_t x = 0; x < width; ++x) {
        const uint32_t v = src[2 * x] | (uint32_t{src[2 * x + 1]} << 8);
        out[3 * x] = dib::MaskedChannel(v, masks[0]);
        out[3 * x + 1] = dib::MaskedChannel(v, masks[1]);
        out[3 * x + 2] = dib::MaskedChannel(v, masks[2]);
      }
      break;
    case 24:
      for (int64_t x = 0; x < width; ++x) {
        out[3 * x] = src[3 * x + 2];
        out[3 * x + 1] = src[3 * x + 1];
        out[3 * x + 2] = src[3 * x];
      }
      break;
    case 32:
      for (int64_t x = 0; x < width; ++x) {
        const uint32_t v = U32({src + 4 * x, 4}, 0);
        out[3 * x] = dib::MaskedChannel(v, masks[0]);
        out[3 * x + 1] = dib::MaskedChannel(v, masks[1]);
        out[3 * x + 2] = dib::MaskedChannel(v, masks[2]);
      }
      break;
    default:
      break;
  }
}

// Reads and checks the file header, the DIB header and the palette from head, the file's
// first bytes (all of it, or at least up to the palette's end); file_size is the whole file's.
bool ParseBmp(std::span<const uint8_t> head, uint64_t file_size, uint64_t max_pixels,
              BmpLayout& bmp, std::string* error) {
  if (head.size() < kFileHeaderSize + 12 || head[0] != 'B' || head[1] != 'M') {
    return Fail(error, "not a BMP file");
  }
  bmp.pixel_offset = U32(head, 10);
  dib::Header& header = bmp.header;
  switch (dib::ReadHeader(head.subspan(kFileHeaderSize), max_pixels, header)) {
    case dib::Check::kOk:
      break;
    case dib::Check::kHeaderSize:
      return Fail(error, file_size < kFileHeaderSize + U32(head, kFileHeaderSize)
                             ? "BMP file cut in its header"
                             : "BMP header of an unknown size");
    case dib::Check::kDimensions:
    case dib::Check::kImageSize:
      return Fail(error, "BMP size out of range");
    case dib::Check::kDepth:
      return Fail(error, "BMP depth not supported");
    case dib::Check::kMasks:
      return Fail(error, "BMP masks missing or not contiguous");
    case dib::Check::kCompression:
      return Fail(error, "compressed BMP files are not read");
  }
  if (header.compression != dib::kBiRgb && header.compression != dib::kBiBitfields) {
    return Fail(error, "compressed BMP files are not read");
  }
  if (bmp.pixel_offset > file_size || header.image_size > file_size - bmp.pixel_offset) {
    return Fail(error, "BMP file cut in its pixels");
  }
  RowLayout& layout = bmp.layout;
  layout = RowLayout{header.width, header.height, header.bit_count, {}, 96, 96, 0};
  if (header.bit_count <= 8) {
    layout.palette = ReadPalette(head, header, bmp.pixel_offset);
  }
  if (header.x_pels_per_meter > 0 && header.y_pels_per_meter > 0) {
    layout.x_dpi = static_cast<int>(std::lround(header.x_pels_per_meter * 0.0254));
    layout.y_dpi = static_cast<int>(std::lround(header.y_pels_per_meter * 0.0254));
  }
  return true;
}

}  // namespace

bool ReadBmp(std::span<const uint8_t> bytes, Image& image, std::string* error) {
  BmpLayout bmp;
  if (!ParseBmp(bytes, bytes.size(), kMaxPixels, bmp, error)) {
    return false;
  }
  const dib::Header& header = bmp.header;
  image.Reset(header.width, header.height, header.bit_count, bmp.layout.palette);
  for (int64_t y = 0; y < header.height; ++y) {
    const uint64_t source_row = header.top_down ? y : header.height - 1 - y;
    ReadRow(bytes.data() + bmp.pixel_offset + header.stride * source_row, header,
            image.Row(static_cast<int>(y)));
  }
  image.SetXDPI(bmp.layout.x_dpi);
  image.SetYDPI(bmp.layout.y_dpi);
  return true;
}

BmpFileRows::~BmpFileRows() {
  if (file_ != nullptr) {
    std::fclose(file_);
  }
}

std::unique_ptr<BmpFileRows> BmpFileRows::Open(const std::string& path, std::string* error) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    *error = "cannot open " + path;
    return nullptr;
  }
  auto rows = std::unique_ptr<BmpFileRows>(new BmpFileRows(file));
  // The headers and the largest palette fit in the first 2 KB.
  std::vector<uint8_t> head(2048);
  head.resize(std::fread(head.data(), 1, head.size(), file));
  if (fseeko(file, 0, SEEK_END) != 0) {
    *error = "cannot read " + path;
    return nullptr;
  }
  const uint64_t file_size = static_cast<uint64_t>(ftello(file));
  // Rows are read a band at a time, so the file's pixels may pass what an image in memory holds.
  if (!ParseBmp(head, file_size, ~uint64_t{0}, rows->bmp_, error)) {
    return nullptr;
  }
  return rows;
}

bool BmpFileRows::ReadRows(int top, int count, uint8_t* out) {
  const dib::Header& header = bmp_.header;
  if (count <= 0 || top < 0 ||
      static_cast<uint64_t>(top) + count > static_cast<uint64_t>(header.height)) {
    return count == 0;
  }
  // The rows asked for lie together in the file (in reverse order when it is bottom-up):
  // one read for them all.
  const uint64_t first = header.top_down ? top : header.height - (top + count);
  const size_t stride = static_cast<size_t>(header.stride);
  block_.resize(stride * static_cast<size_t>(count));
  if (fseeko(file_, static_cast<off_t>(bmp_.pixel_offset + header.stride * first), SEEK_SET) != 0 ||
      std::fread(block_.data(), 1, block_.size(), file_) != block_.size()) {
    return false;
  }
  for (int i = 0; i < count; ++i) {
    const size_t source =
        header.top_down ? static_cast<size_t>(i) : static_cast<size_t>(count - 1 - i);
    ReadRow(block_.data() + source * stride, header,
            out + static_cast<size_t>(i) * bmp_.layout.RowBytes());
  }
  return true;
}

}  // namespace imaging
