// Fuzz target for the EMF+ player: bytes that parse as an EMF page are played as GDI+ plays
// them; any other bytes are taken as EMF+ records (after an EMF+ header) in a page's comments,
// split over two comments, so that mutations reach the records without the page around them.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "emf/canvas/canvas.h"
#include "emf/player/player.h"
#include "emf/records/metafile.h"
#include "emfplus/player.h"

namespace {

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) {
    out.push_back(static_cast<uint8_t>(v >> (8 * i)));
  }
}

void Comment(std::vector<uint8_t>& page, std::span<const uint8_t> records) {
  const size_t padded = (records.size() + 3) / 4 * 4;
  Put32(page, 70);  // EMR_GDICOMMENT
  Put32(page, static_cast<uint32_t>(16 + padded));
  Put32(page, static_cast<uint32_t>(4 + records.size()));
  Put32(page, 0x2B464D45);  // "EMF+"
  page.insert(page.end(), records.begin(), records.end());
  page.resize(page.size() + padded - records.size());
}

// A page of 96 x 96 pixels at 96 dots per inch whose comments hold the records.
std::vector<uint8_t> WrappedPage(std::span<const uint8_t> records) {
  std::vector<uint8_t> page;
  for (uint32_t v :
       {1u, 108u, 0u, 0u, 95u, 95u, 0u, 0u, 2540u, 2540u, 0x464D4520u, 0x10000u, 0u, 0u}) {
    Put32(page, v);
  }
  page.resize(72);
  for (uint32_t v : {1920u, 1080u, 508u, 286u}) {
    Put32(page, v);
  }
  page.resize(108);
  const uint8_t header[] = {0x01, 0x40, 0x01, 0x00, 28, 0, 0,  0, 16, 0, 0,  0, 0x02, 0x10,
                            0xC0, 0xDB, 1,    0,    0,  0, 96, 0, 0,  0, 96, 0, 0,    0};
  Comment(page, header);
  const size_t half = records.size() / 2;
  Comment(page, records.first(half));
  Comment(page, records.subspan(half));
  Put32(page, 14);  // EMR_EOF
  Put32(page, 20);
  Put32(page, 0);
  Put32(page, 16);
  Put32(page, 20);
  const uint32_t size = static_cast<uint32_t>(page.size());
  std::memcpy(page.data() + 48, &size, 4);
  return page;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  std::vector<uint8_t> wrapped;
  auto file = emf::Metafile::Parse(bytes, nullptr);
  if (!file) {
    wrapped = WrappedPage(bytes);
    file = emf::Metafile::Parse(wrapped, nullptr);
    if (!file) {
      return 0;
    }
  }
  constexpr int kSide = 96;
  std::vector<uint32_t> pixels(kSide * kSide, 0xFFFFFF);
  emf::Canvas canvas(pixels.data(), kSide, kSide, kSide * 4);
  emf::PlayMetafile(*file, canvas, emf::RectL{0, 0, kSide, kSide}, emfplus::EmfPlusDrawing());
  return 0;
}
