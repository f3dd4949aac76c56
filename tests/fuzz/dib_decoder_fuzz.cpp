// Fuzz target for the engine's DIB decoder, JPEG and PNG payloads included. The input is a
// flags byte (bit 0: keep alpha, bit 1: palette indices), the BITMAPINFO's length (32 bits),
// the BITMAPINFO, then the bits.
#include <cstdint>
#include <cstring>
#include <span>
#include <string>

#include "emf/canvas/dib.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 5) {
    return 0;
  }
  const uint8_t flags = data[0];
  uint32_t info_size = 0;
  std::memcpy(&info_size, data + 1, 4);
  const std::span<const uint8_t> rest(data + 5, size - 5);
  const size_t split = info_size < rest.size() ? info_size : rest.size();
  std::string error;
  const auto image = emf::DecodeDib(rest.first(split), rest.subspan(split), (flags & 1) != 0,
                                    (flags & 2) != 0, &error);
  if (image && image->pixels.size() != static_cast<size_t>(image->width) * image->height) {
    __builtin_trap();  // a decoded image is always whole
  }
  return 0;
}
