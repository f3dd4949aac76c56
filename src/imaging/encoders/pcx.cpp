// PCX version 5, run-length coded: 8 bits with a 256-colour palette at the end, or three
// 8-bit planes; the header carries the resolution.
#include <vector>

#include "imaging/encoders.h"
#include "imaging/encoders/file_writer.h"

namespace imaging {
namespace {

void WriteRuns(FileWriter& out, const std::vector<uint8_t>& line) {
  for (size_t i = 0; i < line.size();) {
    size_t run = 1;
    while (i + run < line.size() && line[i + run] == line[i] && run < 63) {
      ++run;
    }
    if (run > 1 || line[i] >= 0xC0) {
      out.U8(static_cast<uint8_t>(0xC0 | run));
    }
    out.U8(line[i]);
    i += run;
  }
}

}  // namespace

bool SavePcx(const Image& image, OutputFile& file, std::string* error) {
  FileWriter out(file);
  const bool indexed = image.indexed();
  const uint16_t line_bytes = static_cast<uint16_t>((image.width() + 1) & ~1);
  out.U8(10);  // manufacturer
  out.U8(5);   // version
  out.U8(1);   // run-length coding
  out.U8(8);   // bits per plane
  out.U16(0);
  out.U16(0);
  out.U16(static_cast<uint16_t>(image.width() - 1));
  out.U16(static_cast<uint16_t>(image.height() - 1));
  out.U16(static_cast<uint16_t>(image.x_dpi()));
  out.U16(static_cast<uint16_t>(image.y_dpi()));
  for (int i = 0; i < 48; ++i) {
    out.U8(0);
  }
  out.U8(0);
  out.U8(indexed ? 1 : 3);  // planes
  out.U16(line_bytes);
  out.U16(1);  // colour palette
  out.U16(0);
  out.U16(0);
  for (int i = 0; i < 54; ++i) {
    out.U8(0);
  }
  std::vector<uint8_t> line(line_bytes);
  for (int y = 0; y < image.height(); ++y) {
    const uint8_t* src = image.Row(y);
    for (int plane = 0; plane < (indexed ? 1 : 3); ++plane) {
      std::fill(line.begin(), line.end(), 0);
      for (int x = 0; x < image.width(); ++x) {
        line[x] = indexed ? src[x] : src[3 * x + plane];
      }
      WriteRuns(out, line);
    }
  }
  if (indexed) {
    out.U8(0x0C);
    for (int i = 0; i < 256; ++i) {
      const Rgb c = i < static_cast<int>(image.palette().size()) ? image.palette()[i] : Rgb{};
      out.U8(c.r);
      out.U8(c.g);
      out.U8(c.b);
    }
  }
  return out.Finish(error);
}

}  // namespace imaging
