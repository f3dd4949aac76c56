// emfdump: prints a page's records as text, one a line: index, offset, name, size and the
// record's 32-bit words (as signed integers), so rendering questions are quick to answer.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "emf/byte_reader.h"
#include "emf/metafile.h"
#include "emf/records.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: emfdump PAGE.emf [MAX-WORDS]\n");
    return 2;
  }
  const size_t max_words = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 16;
  std::ifstream in(argv[1], std::ios::binary);
  const std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
  std::string error;
  const auto file = emf::Metafile::Parse(data, &error);
  if (!file) {
    std::fprintf(stderr, "emfdump: %s: %s\n", argv[1], error.c_str());
    return 1;
  }
  const emf::Header& h = file->header();
  std::printf(
      "bounds %d %d %d %d  frame %d %d %d %d  device %dx%d px %dx%d mm  %u records  "
      "%u handles%s\n",
      h.bounds.left, h.bounds.top, h.bounds.right, h.bounds.bottom, h.frame.left, h.frame.top,
      h.frame.right, h.frame.bottom, h.device.cx, h.device.cy, h.millimeters.cx, h.millimeters.cy,
      h.records, h.handles, file->truncated() ? "  (cut short)" : "");
  size_t index = 0;
  for (const emf::Record& record : file->records()) {
    const size_t offset = static_cast<size_t>(record.bytes.data() - file->data().data());
    std::printf("%5zu %8zu %-28s %6zu:", index++, offset, emf::RecordName(record.type),
                record.bytes.size());
    emf::ByteReader reader(record.bytes);
    reader.Skip(8);
    for (size_t i = 0; i < max_words && reader.Has(4); ++i) {
      std::printf(" %d", reader.I32());
    }
    std::printf("%s\n", reader.Remaining() >= 4 ? " ..." : "");
  }
  return 0;
}
