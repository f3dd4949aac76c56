// Fuzz target for the EMF engine: any bytes as a page, played onto a small canvas.
#include <cstdint>
#include <span>
#include <vector>

#include "emf/canvas/canvas.h"
#include "emf/player/player.h"
#include "emf/records/metafile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto file = emf::Metafile::Parse(std::span<const uint8_t>(data, size), nullptr);
  if (!file) {
    return 0;
  }
  constexpr int kSide = 96;
  std::vector<uint32_t> pixels(kSide * kSide, 0xFFFFFF);
  emf::Canvas canvas(pixels.data(), kSide, kSide, kSide * 4);
  emf::PlayMetafile(*file, canvas, emf::RectL{0, 0, kSide, kSide});
  return 0;
}
