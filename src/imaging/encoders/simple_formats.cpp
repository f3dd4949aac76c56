// The plain formats: WBMP, PGX, PNM (binary grey or colour), PBM (binary) and Sun raster.
// None of them carries a resolution.
#include <string>
#include <vector>

#include "imaging/encoders.h"
#include "imaging/encoders/file_writer.h"

namespace imaging {
namespace {

// Rows of one bit a pixel, most significant first; ink_bit is the value of a black pixel.
void WriteBits(FileWriter& out, const Image& image, int ink_bit) {
  std::vector<uint8_t> row((static_cast<size_t>(image.width()) + 7) / 8);
  for (int y = 0; y < image.height(); ++y) {
    std::fill(row.begin(), row.end(), 0);
    for (int x = 0; x < image.width(); ++x) {
      const bool black = image.PixelRgb(x, y).r < 128;
      if (black == (ink_bit == 1)) {
        row[x / 8] = static_cast<uint8_t>(row[x / 8] | (0x80 >> (x % 8)));
      }
    }
    out.Bytes(row.data(), row.size());
  }
}

void WriteMultiByte(FileWriter& out, uint32_t value) {
  uint8_t bytes[5];
  int count = 0;
  do {
    bytes[count++] = static_cast<uint8_t>(value & 0x7F);
    value >>= 7;
  } while (value != 0);
  for (int i = count - 1; i >= 0; --i) {
    out.U8(static_cast<uint8_t>(bytes[i] | (i > 0 ? 0x80 : 0)));
  }
}

}  // namespace

bool SaveWbmp(const Image& image, OutputFile& file, std::string* error) {
  FileWriter out(file);
  out.U8(0);  // type 0: black and white
  out.U8(0);
  WriteMultiByte(out, static_cast<uint32_t>(image.width()));
  WriteMultiByte(out, static_cast<uint32_t>(image.height()));
  WriteBits(out, image, 0);  // 1 is white
  return out.Finish(error);
}

bool SavePbm(const Image& image, OutputFile& file, std::string* error) {
  FileWriter out(file);
  out.Text("P4\n" + std::to_string(image.width()) + " " + std::to_string(image.height()) + "\n");
  WriteBits(out, image, 1);  // 1 is black
  return out.Finish(error);
}

bool SavePgx(const Image& image, OutputFile& file, std::string* error) {
  FileWriter out(file);
  out.Text("PG ML + 8 " + std::to_string(image.width()) + " " + std::to_string(image.height()) +
           "\n");
  std::vector<uint8_t> row(static_cast<size_t>(image.width()));
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      row[x] = image.PixelRgb(x, y).r;
    }
    out.Bytes(row.data(), row.size());
  }
  return out.Finish(error);
}

bool SavePnm(const Image& image, OutputFile& file, std::string* error) {
  FileWriter out(file);
  const bool grey = image.indexed();
  out.Text(std::string(grey ? "P5\n" : "P6\n") + std::to_string(image.width()) + " " +
           std::to_string(image.height()) + "\n255\n");
  std::vector<uint8_t> row(static_cast<size_t>(image.width()));
  for (int y = 0; y < image.height(); ++y) {
    if (!grey) {
      out.Bytes(image.Row(y), image.RowBytes());
      continue;
    }
    for (int x = 0; x < image.width(); ++x) {
      row[x] = image.PixelRgb(x, y).r;
    }
    out.Bytes(row.data(), row.size());
  }
  return out.Finish(error);
}

bool SaveSunRaster(const Image& image, OutputFile& file, std::string* error) {
  FileWriter out(file);
  const bool indexed = image.indexed();
  const uint32_t row_bytes = static_cast<uint32_t>(image.width()) * (indexed ? 1 : 3);
  const uint32_t padded = (row_bytes + 1) & ~1u;  // rows end on 16 bits
  out.U32BigEndian(0x59A66A95);
  out.U32BigEndian(static_cast<uint32_t>(image.width()));
  out.U32BigEndian(static_cast<uint32_t>(image.height()));
  out.U32BigEndian(indexed ? 8 : 24);
  out.U32BigEndian(padded * static_cast<uint32_t>(image.height()));
  out.U32BigEndian(1);                // standard
  out.U32BigEndian(indexed ? 1 : 0);  // RGB colour map
  out.U32BigEndian(indexed ? 768 : 0);
  if (indexed) {
    for (int channel = 0; channel < 3; ++channel) {
      for (int i = 0; i < 256; ++i) {
        const Rgb c = i < static_cast<int>(image.palette().size()) ? image.palette()[i] : Rgb{};
        out.U8(channel == 0 ? c.r : channel == 1 ? c.g : c.b);
      }
    }
  }
  std::vector<uint8_t> row(padded, 0);
  for (int y = 0; y < image.height(); ++y) {
    CopyRowIndicesOrBgr(image, y, row.data());
    out.Bytes(row.data(), row.size());
  }
  return out.Finish(error);
}

}  // namespace imaging
