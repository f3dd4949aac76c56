#include "formats/emf_content.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

constexpr uint32_t kHeader = 1;
constexpr uint32_t kEndOfFile = 14;
constexpr uint32_t kComment = 70;
constexpr uint32_t kBitBlt = 76;
// The raster operation that leaves the destination as it is: GDI+ writes an EMR_BITBLT of it
// into pages of only EMF+ drawing, which puts nothing on the page.
constexpr uint32_t kRopDestination = 0x00AA0029;
constexpr uint64_t kBitBltRop = 40;  // the record's dwRop, after its bounds and destination
constexpr uint32_t kEmfPlusSignature = 0x2B464D45;  // "EMF+"

// The records that put something on the page; state, objects, paths being built and
// comments do not.
constexpr auto kDrawingRecords = std::to_array<uint32_t>({
    2,  3,  4,  5,  6,  7,  8,  15, 41, 42, 43, 44, 45,  46,  47,  53,
    54, 55, 56, 62, 63, 64, 71, 72, 73, 74, 76, 77, 78,  79,  80,  81,
    83, 84, 85, 86, 87, 88, 89, 90, 91, 92, 96, 97, 108, 114, 116, 118,
});

uint32_t Word(const unsigned char* bytes) {
  uint32_t value = 0;
  std::memcpy(&value, bytes, 4);  // records are little-endian, as is every target here
  return value;
}

}  // namespace

bool HoldsOnlyEmfPlus(const ReadBytesAt& read) {
  bool emf_plus = false;
  uint64_t offset = 0;
  std::array<unsigned char, 16> head{};
  // Each step moves on by a whole record of 8 bytes or more, and a read past the end stops.
  while (read(offset, std::span(head).first(8))) {
    const uint32_t type = Word(head.data());
    const uint32_t size = Word(head.data() + 4);
    if (size < 8 || size % 4 != 0 || (offset == 0) != (type == kHeader)) {
      break;
    }
    if (std::find(kDrawingRecords.begin(), kDrawingRecords.end(), type) != kDrawingRecords.end()) {
      const bool leaves_page = type == kBitBlt && size >= kBitBltRop + 4 &&
                               read(offset + kBitBltRop, std::span(head).subspan(8, 4)) &&
                               Word(head.data() + 8) == kRopDestination;
      if (!leaves_page) {
        return false;
      }
    }
    if (type == kComment && size >= 16 && read(offset + 8, std::span(head).subspan(8, 8)) &&
        Word(head.data() + 12) == kEmfPlusSignature) {
      emf_plus = true;
    }
    if (type == kEndOfFile) {
      break;
    }
    offset += size;
  }
  return emf_plus;
}

bool HoldsOnlyEmfPlus(std::span<const unsigned char> page) {
  return HoldsOnlyEmfPlus([page](uint64_t offset, std::span<unsigned char> out) {
    if (offset > page.size() || page.size() - offset < out.size()) {
      return false;
    }
    std::copy_n(page.begin() + static_cast<std::ptrdiff_t>(offset), out.size(), out.begin());
    return true;
  });
}
