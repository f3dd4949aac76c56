// TGA, uncompressed: colour-mapped for palettes, true colour otherwise; rows from the top.
#include <vector>

#include "imaging/encoders.h"
#include "imaging/encoders/file_writer.h"

namespace imaging {

bool SaveTga(const Image& image, OutputFile& file, std::string* error) {
  FileWriter out(file);
  const bool indexed = image.indexed();
  out.U8(0);                // no identification field
  out.U8(indexed ? 1 : 0);  // colour map
  out.U8(indexed ? 1 : 2);  // colour-mapped or true-colour image
  out.U16(0);               // first map entry
  out.U16(indexed ? 256 : 0);
  out.U8(indexed ? 24 : 0);
  out.U16(0);
  out.U16(0);
  out.U16(static_cast<uint16_t>(image.width()));
  out.U16(static_cast<uint16_t>(image.height()));
  out.U8(indexed ? 8 : 24);
  out.U8(0x20);  // top-left origin
  for (int i = 0; indexed && i < 256; ++i) {
    const Rgb c = i < static_cast<int>(image.palette().size()) ? image.palette()[i] : Rgb{};
    out.U8(c.b);
    out.U8(c.g);
    out.U8(c.r);
  }
  std::vector<uint8_t> row(static_cast<size_t>(image.width()) * (indexed ? 1 : 3));
  for (int y = 0; y < image.height(); ++y) {
    CopyRowIndicesOrBgr(image, y, row.data());
    out.Bytes(row.data(), row.size());
  }
  return out.Finish(error);
}

}  // namespace imaging
