// GIF through giflib: one image, its palette padded to a power of two, the image data
// LZW-compressed (what the codec option value 2 stands for). GIF carries no resolution.
#include <gif_lib.h>

#include <vector>

#include "imaging/encoders.h"

namespace imaging {
namespace {

int WriteBytes(GifFileType* gif, const GifByteType* data, int size) {
  auto* out = static_cast<BufferedOutput*>(gif->UserData);
  out->Write(data, static_cast<size_t>(size));
  return out->Good() ? size : 0;
}

}  // namespace

bool SaveGif(const Image& image, OutputFile& file, std::string* error) {
  BufferedOutput out(file);
  int status = 0;
  GifFileType* gif = EGifOpen(&out, WriteBytes, &status);
  if (gif == nullptr) {
    *error = "giflib could not write " + file.name();
    return false;
  }
  int size = 2;
  while (size < static_cast<int>(image.palette().size()) && size < 256) {
    size *= 2;
  }
  std::vector<GifColorType> colors(static_cast<size_t>(size));
  for (size_t i = 0; i < colors.size() && i < image.palette().size(); ++i) {
    colors[i] = GifColorType{image.palette()[i].r, image.palette()[i].g, image.palette()[i].b};
  }
  ColorMapObject* map = GifMakeMapObject(size, colors.data());
  bool written =
      map != nullptr &&
      EGifPutScreenDesc(gif, image.width(), image.height(), 8, 0, map) == GIF_OK &&
      EGifPutImageDesc(gif, 0, 0, image.width(), image.height(), false, nullptr) == GIF_OK;
  for (int y = 0; y < image.height() && written; ++y) {
    written = EGifPutLine(gif, const_cast<GifPixelType*>(image.Row(y)), image.width()) == GIF_OK;
  }
  GifFreeMapObject(map);
  if (EGifCloseFile(gif, &status) != GIF_OK || !out.Flush()) {
    written = false;
  }
  if (!written) {
    *error = "giflib could not write " + file.name();
  }
  return written;
}

}  // namespace imaging
