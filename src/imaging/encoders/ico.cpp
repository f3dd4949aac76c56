// ICO: one icon whose picture is a PNG, as icon files have held since Windows Vista, so a
// page keeps its full size.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "imaging/encoders.h"
#include "imaging/encoders/file_writer.h"

namespace imaging {

bool SaveIco(const Image& image, const std::string& path, std::string* error) {
  const std::string png_path = path + ".png~";
  if (!SaveThroughRows(image, OpenPngRows, png_path, error)) {
    std::remove(png_path.c_str());
    return false;
  }
  std::ifstream in(png_path, std::ios::binary);
  const std::vector<char> png((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
  in.close();
  std::remove(png_path.c_str());
  FileWriter out(path);
  if (!out.Open()) {
    *error = "cannot create " + path;
    return false;
  }
  out.U16(0);
  out.U16(1);                                                              // an icon
  out.U16(1);                                                              // one picture
  out.U8(image.width() >= 256 ? 0 : static_cast<uint8_t>(image.width()));  // 0 means 256 or more
  out.U8(image.height() >= 256 ? 0 : static_cast<uint8_t>(image.height()));
  out.U8(0);
  out.U8(0);
  out.U16(1);
  out.U16(24);
  out.U32(static_cast<uint32_t>(png.size()));
  out.U32(22);
  out.Bytes(png.data(), png.size());
  return out.Finish(error);
}

}  // namespace imaging
