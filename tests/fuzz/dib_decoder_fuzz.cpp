// Fuzz target for the engine's DIB decoder, JPEG and PNG payloads included. The input is a
// flags byte (bit 0: keep alpha, bit 1: palette indices), the BITMAPINFO's length (32 bits),
// the BITMAPINFO, then the bits.
#include <cstdint>
#include <cstring>
#include <span>
#include <string>

#include "emf/dib.h"

namespace {

// Large images take the same paths as small ones, only longer: a 2^26-pixel DIB from a few
// bytes of RLE or JPEG costs a second, and fuzzing then crawls at a few runs a second. Inputs
// that announce more than this many pixels (in the header or in a payload) are skipped.
constexpr uint64_t kFuzzMaxPixels = uint64_t{1} << 20;

uint32_t BigEndian(std::span<const uint8_t> bytes, size_t at, size_t width) {
  uint32_t value = 0;
  for (size_t i = 0; i < width; ++i) {
    value = (value << 8) | bytes[at + i];
  }
  return value;
}

bool AnnouncesLargeImage(std::span<const uint8_t> info, std::span<const uint8_t> bits) {
  if (info.size() >= 12) {
    int32_t width = 0, height = 0;
    std::memcpy(&width, info.data() + 4, 4);
    std::memcpy(&height, info.data() + 8, 4);
    const uint64_t w = width < 0 ? 0 - uint64_t(int64_t{width}) : uint64_t(width);
    const uint64_t h = height < 0 ? 0 - uint64_t(int64_t{height}) : uint64_t(height);
    if (w * h > kFuzzMaxPixels) {
      return true;
    }
  }
  if (bits.size() >= 24 && bits[1] == 'P' && bits[2] == 'N' && bits[3] == 'G') {
    return uint64_t{BigEndian(bits, 16, 4)} * BigEndian(bits, 20, 4) > kFuzzMaxPixels;
  }
  // JPEG: walk the markers to the first start-of-frame.
  for (size_t at = 2; at + 9 <= bits.size() && bits[0] == 0xFF && bits[1] == 0xD8;) {
    if (bits[at] != 0xFF) {
      break;
    }
    const uint8_t marker = bits[at + 1];
    if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
      return uint64_t{BigEndian(bits, at + 5, 2)} * BigEndian(bits, at + 7, 2) > kFuzzMaxPixels;
    }
    at += 2 + BigEndian(bits, at + 2, 2);
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 5) {
    return 0;
  }
  const uint8_t flags = data[0];
  uint32_t info_size = 0;
  std::memcpy(&info_size, data + 1, 4);
  const std::span<const uint8_t> rest(data + 5, size - 5);
  const size_t split = info_size < rest.size() ? info_size : rest.size();
  if (AnnouncesLargeImage(rest.first(split), rest.subspan(split))) {
    return 0;
  }
  std::string error;
  const auto image = emf::DecodeDib(rest.first(split), rest.subspan(split), (flags & 1) != 0,
                                    (flags & 2) != 0, &error);
  if (image && image->pixels.size() != static_cast<size_t>(image->width) * image->height) {
    __builtin_trap();  // a decoded image is always whole
  }
  return 0;
}
