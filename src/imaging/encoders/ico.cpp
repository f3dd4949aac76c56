// ICO: one icon whose picture is a PNG, as icon files have held since Windows Vista, so a
// page keeps its full size. The picture is written first, behind the directory's place, and
// the directory, which holds its size, after it.
#include "imaging/encoders.h"
#include "imaging/encoders/file_writer.h"

namespace imaging {

bool SaveIco(const Image& image, OutputFile& file, std::string* error) {
  constexpr uint32_t kPictureOffset = 22;  // behind the header and the one directory entry
  ShiftedOutput picture(file, kPictureOffset);
  if (!SaveThroughRows(image, OpenPngRows, picture, error)) {
    return false;
  }
  FileWriter out(file);
  out.U16(0);
  out.U16(1);                                                              // an icon
  out.U16(1);                                                              // one picture
  out.U8(image.width() >= 256 ? 0 : static_cast<uint8_t>(image.width()));  // 0 means 256 or more
  out.U8(image.height() >= 256 ? 0 : static_cast<uint8_t>(image.height()));
  out.U8(0);
  out.U8(0);
  out.U16(1);
  out.U16(24);
  out.U32(static_cast<uint32_t>(picture.size()));
  out.U32(kPictureOffset);
  return out.Finish(error);
}

}  // namespace imaging
