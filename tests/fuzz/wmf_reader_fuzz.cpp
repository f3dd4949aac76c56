// Fuzz target for the WMF reader: any bytes as a Windows metafile, turned into an EMF page
// that must itself be well formed (cut short only when the WMF is), then played onto a small
// canvas.
#include <cstdint>
#include <span>
#include <vector>

#include "emf/canvas/canvas.h"
#include "emf/player/player.h"
#include "emf/records/metafile.h"
#include "emf/wmf/wmf_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  const auto converted = emf::ConvertWmf(bytes, 96, nullptr);
  if (!converted) {
    return 0;
  }
  const auto wmf = emf::WmfFile::Parse(bytes, nullptr);
  const auto file = emf::Metafile::Parse(converted->emf, nullptr);
  if (!wmf || !file || file->truncated() != wmf->truncated()) {
    __builtin_trap();
  }
  constexpr int kSide = 96;
  std::vector<uint32_t> pixels(kSide * kSide, 0xFFFFFF);
  emf::Canvas canvas(pixels.data(), kSide, kSide, kSide * 4);
  emf::PlayMetafile(*file, canvas, emf::RectL{0, 0, kSide, kSide});
  return 0;
}
