// Fuzz target for the WMF writer: any bytes as an EMF page, played into a Windows metafile,
// and every record the writer wrote must be well formed.
#include <cstdint>
#include <span>
#include <string>

#include "emf/player/player.h"
#include "emf/records/metafile.h"
#include "emf/wmf/wmf_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto file = emf::Metafile::Parse(std::span<const uint8_t>(data, size), nullptr);
  if (!file) {
    return 0;
  }
  emf::WmfWriter writer(96, 96);
  emf::PlayMetafile(*file, writer, emf::RectL{0, 0, 96, 96});
  const std::vector<uint8_t> wmf = writer.Finish();
  std::string why;
  if (!emf::WmfWellFormed(wmf, &why)) {
    __builtin_trap();
  }
  return 0;
}
