#include "imaging/bmp_reader.h"

#include <sys/types.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "formats/dib_header.h"

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

// The colour table after the header (info starts at the header); entries past end, where
// the pixels start, are not read, and the table is filled up to the depth with black.
std::vector<Rgb> ReadPalette(std::span<const uint8_t> info, const dib::Header& header,
                             uint64_t end) {
  std::vector<Rgb> palette;
  const size_t entry_size = header.palette_entry_size;
  size_t at = header.header_size;
  for (size_t i = 0;
       i < header.palette_entries && at + entry_size <= end && at + entry_size <= info.size();
       ++i, at += entry_size) {
    palette.push_back(Rgb{info[at + 2], info[at + 1], info[at]});
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
      if (masks[0] == 0xFF0000 && masks[1] == 0xFF00 && masks[2] == 0xFF) {
        // The usual masks: the bytes as they lie, blue, green, red.
        for (int64_t x = 0; x < width; ++x) {
          out[3 * x] = src[4 * x + 2];
          out[3 * x + 1] = src[4 * x + 1];
          out[3 * x + 2] = src[4 * x];
        }
        break;
      }
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

// The DIB header at the start of info and its checks; cut says whether the bytes end within
// the size the header gives itself.
bool ParseDibHeader(std::span<const uint8_t> info, bool cut, uint64_t max_pixels,
                    dib::Header& header, std::string* error) {
  switch (dib::ReadHeader(info, max_pixels, header)) {
    case dib::Check::kOk:
      break;
    case dib::Check::kHeaderSize:
      return Fail(error, cut ? "BMP file cut in its header" : "BMP header of an unknown size");
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
  return true;
}

// The rows as the header gives them, with the colour table of info read up to palette_end.
RowLayout LayoutOf(const dib::Header& header, std::span<const uint8_t> info, uint64_t palette_end) {
  RowLayout layout{header.width, header.height, header.bit_count, {}, 96, 96, 0};
  if (header.bit_count <= 8) {
    layout.palette = ReadPalette(info, header, palette_end);
  }
  if (header.x_pels_per_meter > 0 && header.y_pels_per_meter > 0) {
    layout.x_dpi = static_cast<int>(std::lround(header.x_pels_per_meter * 0.0254));
    layout.y_dpi = static_cast<int>(std::lround(header.y_pels_per_meter * 0.0254));
  }
  return layout;
}

// Reads and checks the file header, the DIB header and the palette from head, the file's
// first bytes (all of it, or at least up to the palette's end); file_size is the whole file's.
bool ParseBmp(std::span<const uint8_t> head, uint64_t file_size, uint64_t max_pixels,
              BmpLayout& bmp, std::string* error) {
  if (head.size() < kFileHeaderSize + 12 || head[0] != 'B' || head[1] != 'M') {
    return Fail(error, "not a BMP file");
  }
  bmp.pixel_offset = U32(head, 10);
  const std::span<const uint8_t> info = head.subspan(kFileHeaderSize);
  const bool cut = file_size < kFileHeaderSize + U32(head, kFileHeaderSize);
  if (!ParseDibHeader(info, cut, max_pixels, bmp.header, error)) {
    return false;
  }
  if (bmp.pixel_offset > file_size || bmp.header.image_size > file_size - bmp.pixel_offset) {
    return Fail(error, "BMP file cut in its pixels");
  }
  bmp.layout =
      LayoutOf(bmp.header, info,
               bmp.pixel_offset < kFileHeaderSize ? 0 : bmp.pixel_offset - kFileHeaderSize);
  return true;
}

// Rows [top, top + count) of a DIB whose rows run in the header's order from first (the row
// that comes first in memory), into out as the image keeps them.
void CopyRows(const dib::Header& header, const uint8_t* first, size_t row_bytes, int top, int count,
              uint8_t* out) {
  for (int i = 0; i < count; ++i) {
    const uint64_t row = header.top_down ? static_cast<uint64_t>(top + i)
                                         : static_cast<uint64_t>(header.height - 1 - (top + i));
    ReadRow(first + header.stride * row, header, out + static_cast<size_t>(i) * row_bytes);
  }
}

}  // namespace

bool ReadBmp(std::span<const uint8_t> bytes, Image& image, std::string* error) {
  BmpLayout bmp;
  if (!ParseBmp(bytes, bytes.size(), kMaxPixels, bmp, error)) {
    return false;
  }
  const dib::Header& header = bmp.header;
  image.Reset(header.width, header.height, header.bit_count, bmp.layout.palette);
  for (int y = 0; y < header.height; ++y) {
    CopyRows(header, bytes.data() + bmp.pixel_offset, 0, y, 1, image.Row(y));
  }
  image.SetXDPI(bmp.layout.x_dpi);
  image.SetYDPI(bmp.layout.y_dpi);
  return true;
}

std::unique_ptr<DibRows> DibRows::Open(std::span<const uint8_t> info,
                                       std::span<const uint8_t> pixels, std::string* error) {
  auto rows = std::unique_ptr<DibRows>(new DibRows(pixels.data()));
  // Rows are read a band at a time: the pixels may pass what an image in memory holds.
  if (!ParseDibHeader(info, false, ~uint64_t{0}, rows->header_, error)) {
    return nullptr;
  }
  if (rows->header_.image_size > pixels.size()) {
    Fail(error, "the bitmap is cut in its pixels");
    return nullptr;
  }
  rows->layout_ = LayoutOf(rows->header_, info, info.size());
  return rows;
}

void DibRows::ReadRows(int top, int count, uint8_t* out) const {
  if (count > 0 && top >= 0 && static_cast<int64_t>(top) + count <= header_.height) {
    CopyRows(header_, pixels_, layout_.RowBytes(), top, count, out);
  }
}

}  // namespace imaging
