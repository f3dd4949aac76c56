#include "formats/dib_header.h"

#include <algorithm>
#include <cstdint>

#include "base/checked.h"

namespace dib {
namespace {

uint32_t U32(std::span<const uint8_t> b, size_t at) {
  return b[at] | (uint32_t{b[at + 1]} << 8) | (uint32_t{b[at + 2]} << 16) |
         (uint32_t{b[at + 3]} << 24);
}

uint16_t U16(std::span<const uint8_t> b, size_t at) {
  return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

bool ValidDepth(uint16_t bits) {
  return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// One run of set bits, as every channel of a bit-field pixel must be.
bool ContiguousMask(uint32_t mask) {
  if (mask == 0) {
    return false;
  }
  const uint32_t run = mask >> __builtin_ctz(mask);
  return (run & (run + 1)) == 0;
}

bool CompressionFitsDepth(uint32_t compression, uint16_t bits) {
  switch (compression) {
    case kBiRgb:
      return true;
    case kBiRle8:
      return bits == 8;
    case kBiRle4:
      return bits == 4;
    case kBiBitfields:
      return bits == 16 || bits == 32;
    case kBiJpeg:
    case kBiPng:
      return true;  // the payload says its own depth
    default:
      return false;
  }
}

Check ReadDimensions(std::span<const uint8_t> info, uint64_t max_pixels, Header& header) {
  int64_t width = 0;
  int64_t height = 0;
  if (header.header_size == kCoreHeaderSize) {
    width = U16(info, 4);
    height = U16(info, 6);
    header.bit_count = U16(info, 10);
  } else {
    width = static_cast<int32_t>(U32(info, 4));
    height = static_cast<int32_t>(U32(info, 8));
    header.bit_count = U16(info, 14);
    header.compression = U32(info, 16);
    header.x_pels_per_meter = U32(info, 24);
    header.y_pels_per_meter = U32(info, 28);
  }
  header.top_down = height < 0;
  if (header.top_down) {
    height = -height;
  }
  if (width <= 0 || height <= 0 ||
      static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > max_pixels) {
    return Check::kDimensions;
  }
  header.width = static_cast<int32_t>(width);
  header.height = static_cast<int32_t>(height);
  return Check::kOk;
}

// The masks follow a BITMAPINFOHEADER, and sit at the same place inside the larger ones.
Check ReadMasks(std::span<const uint8_t> info, Header& header) {
  if (header.compression != kBiBitfields) {
    const bool high = header.bit_count == 32;
    header.masks[0] = high ? 0xFF0000 : 0x7C00;
    header.masks[1] = high ? 0x00FF00 : 0x03E0;
    header.masks[2] = high ? 0x0000FF : 0x001F;
    return Check::kOk;
  }
  if (info.size() < kInfoHeaderSize + 12) {
    return Check::kMasks;
  }
  for (size_t i = 0; i < 3; ++i) {
    header.masks[i] = U32(info, kInfoHeaderSize + 4 * i);
    if (!ContiguousMask(header.masks[i])) {
      return Check::kMasks;
    }
  }
  return Check::kOk;
}

}  // namespace

const char* CheckReason(Check check) {
  switch (check) {
    case Check::kOk:
      return "valid";
    case Check::kHeaderSize:
      return "bitmap header too short or of an unknown size";
    case Check::kDimensions:
      return "bitmap size out of range";
    case Check::kDepth:
      return "unsupported bits per pixel";
    case Check::kCompression:
      return "bitmap compression unknown or unfit for its depth";
    case Check::kMasks:
      return "bit-field masks missing, zero or not contiguous";
    case Check::kImageSize:
      return "bitmap too large to address";
  }
  return "invalid bitmap header";
}

Check ReadHeader(std::span<const uint8_t> info, uint64_t max_pixels, Header& header) {
  header = Header{};
  if (info.size() < 4) {
    return Check::kHeaderSize;
  }
  header.header_size = U32(info, 0);
  const bool known_size =
      header.header_size == kCoreHeaderSize ||
      (header.header_size >= kInfoHeaderSize && header.header_size <= kV5HeaderSize);
  // The fields read here must be there; a larger version's extra fields may be cut off.
  if (!known_size || info.size() < std::min(header.header_size, kInfoHeaderSize)) {
    return Check::kHeaderSize;
  }
  if (const Check dimensions = ReadDimensions(info, max_pixels, header); dimensions != Check::kOk) {
    return dimensions;
  }
  const bool payload = header.compression == kBiJpeg || header.compression == kBiPng;
  if (!payload && !ValidDepth(header.bit_count)) {
    return Check::kDepth;
  }
  if (!CompressionFitsDepth(header.compression, header.bit_count)) {
    return Check::kCompression;
  }
  if (payload) {
    return Check::kOk;
  }
  if (header.bit_count >= 16) {
    if (const Check masks = ReadMasks(info, header); masks != Check::kOk) {
      return masks;
    }
  } else {
    const uint32_t used = header.header_size >= kInfoHeaderSize ? U32(info, 32) : 0;
    const size_t full = size_t{1} << header.bit_count;
    header.palette_entries = used != 0 && used < full ? used : full;
    header.palette_entry_size = header.header_size == kCoreHeaderSize ? 3 : 4;
  }
  const checked::Checked<uint64_t> bits =
      checked::Checked<uint64_t>(static_cast<uint64_t>(header.width)) * header.bit_count + 31;
  const checked::Checked<uint64_t> stride = bits.ValueOr(0) / 32 * 4;
  const checked::Checked<uint64_t> image_size = stride * static_cast<uint64_t>(header.height);
  if (!bits.Valid() || !image_size.Valid() || *image_size.Value() > SIZE_MAX / 2) {
    return Check::kImageSize;
  }
  header.stride = *stride.Value();
  header.image_size = *image_size.Value();
  return Check::kOk;
}

}  // namespace dib
