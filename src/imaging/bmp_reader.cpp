#include "imaging/bmp_reader.h"

#include <cmath>
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
  for (size_t i = 0; i < header.palette_entries && at + entry_size <= pixel_offset;
       ++i, at += entry_size) {
    palette.push_back(Rgb{bytes[at + 2], bytes[at + 1], bytes[at]});
  }
  palette.resize(size_t{1} << header.bit_count);
  return palette;
}

// One row into the image's own form: palette indices up to 8 bits, else RGB.
void ReadRow(const uint8_t* src, const dib::Header& header, uint8_t* out) {
  const int64_t width = header.width;
  const uint32_t* masks = header.masks;
  for (int64_t x = 0; x < width; ++x) {
    switch (header.bit_count) {
      case 1:
        out[x] = (src[x / 8] >> (7 - x % 8)) & 1;
        break;
      case 4:
        out[x] = (src[x / 2] >> ((x & 1) ? 0 : 4)) & 0xF;
        break;
      case 8:
        out[x] = src[x];
        break;
      case 16: {
        const uint32_t v = src[2 * x] | (uint32_t{src[2 * x + 1]} << 8);
        out[3 * x] = dib::MaskedChannel(v, masks[0]);
        out[3 * x + 1] = dib::MaskedChannel(v, masks[1]);
        out[3 * x + 2] = dib::MaskedChannel(v, masks[2]);
        break;
      }
      case 24:
        out[3 * x] = src[3 * x + 2];
        out[3 * x + 1] = src[3 * x + 1];
        out[3 * x + 2] = src[3 * x];
        break;
      case 32: {
        const uint32_t v = U32({src + 4 * x, 4}, 0);
        out[3 * x] = dib::MaskedChannel(v, masks[0]);
        out[3 * x + 1] = dib::MaskedChannel(v, masks[1]);
        out[3 * x + 2] = dib::MaskedChannel(v, masks[2]);
        break;
      }
      default:
        break;
    }
  }
}

void ReadResolution(const dib::Header& header, Image& image) {
  if (header.x_pels_per_meter > 0 && header.y_pels_per_meter > 0) {
    image.SetXDPI(static_cast<int>(std::lround(header.x_pels_per_meter * 0.0254)));
    image.SetYDPI(static_cast<int>(std::lround(header.y_pels_per_meter * 0.0254)));
  }
}

}  // namespace

bool ReadBmp(std::span<const uint8_t> bytes, Image& image, std::string* error) {
  if (bytes.size() < kFileHeaderSize + 12 || bytes[0] != 'B' || bytes[1] != 'M') {
    return Fail(error, "not a BMP file");
  }
  const uint32_t pixel_offset = U32(bytes, 10);
  dib::Header header;
  switch (dib::ReadHeader(bytes.subspan(kFileHeaderSize), kMaxPixels, header)) {
    case dib::Check::kOk:
      break;
    case dib::Check::kHeaderSize:
      return Fail(error, bytes.size() < kFileHeaderSize + U32(bytes, kFileHeaderSize)
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
  if (pixel_offset > bytes.size() || header.image_size > bytes.size() - pixel_offset) {
    return Fail(error, "BMP file cut in its pixels");
  }
  std::vector<Rgb> palette;
  if (header.bit_count <= 8) {
    palette = ReadPalette(bytes, header, pixel_offset);
  }
  image.Reset(header.width, header.height, header.bit_count, palette);
  for (int64_t y = 0; y < header.height; ++y) {
    const uint64_t source_row = header.top_down ? y : header.height - 1 - y;
    ReadRow(bytes.data() + pixel_offset + header.stride * source_row, header,
            image.Row(static_cast<int>(y)));
  }
  ReadResolution(header, image);
  return true;
}

}  // namespace imaging
