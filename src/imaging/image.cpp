#include "imaging/image.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

#include "imaging/bmp_reader.h"
#include "imaging/encoders.h"
#include "imaging/quantize.h"

namespace imaging {

void Image::Reset(int width, int height, uint16_t bpp, std::vector<Rgb> palette) {
  width_ = width;
  height_ = height;
  bpp_ = bpp;
  palette_ = std::move(palette);
  pixels_.assign(static_cast<size_t>(width) * height * (bpp <= 8 ? 1 : 3), 0);
}

void Image::Destroy() {
  width_ = height_ = 0;
  bpp_ = 0;
  palette_.clear();
  pixels_.clear();
  pixels_.shrink_to_fit();
}

Rgb Image::PixelRgb(int x, int y) const {
  const uint8_t* row = Row(y);
  if (indexed()) {
    const uint8_t index = row[x];
    return index < palette_.size() ? palette_[index] : Rgb{};
  }
  return Rgb{row[3 * x], row[3 * x + 1], row[3 * x + 2]};
}

bool Image::GreyPalette() const {
  return indexed() && std::all_of(palette_.begin(), palette_.end(),
                                  [](const Rgb& c) { return c.r == c.g && c.g == c.b; });
}

bool Image::Load(const std::string& path, uint32_t format) {
  if (format != kFormatBmp) {
    last_error = "only BMP files are read";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    last_error = "cannot open " + path;
    return false;
  }
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
  return ReadBmp(bytes, *this, &last_error);
}

bool Image::IncreaseBpp(int bits) {
  if (bits != 24 || width_ == 0) {
    last_error = "only an increase to 24 bits is made";
    return false;
  }
  if (indexed()) {
    std::vector<uint8_t> rgb(static_cast<size_t>(width_) * height_ * 3);
    for (size_t i = 0; i < pixels_.size(); ++i) {
      const Rgb c = pixels_[i] < palette_.size() ? palette_[pixels_[i]] : Rgb{};
      rgb[3 * i] = c.r;
      rgb[3 * i + 1] = c.g;
      rgb[3 * i + 2] = c.b;
    }
    pixels_ = std::move(rgb);
    palette_.clear();
  }
  bpp_ = 24;
  return true;
}

bool Image::DecreaseBpp(int bits, bool error_diffusion) {
  if ((bits != 1 && bits != 8) || width_ == 0) {
    last_error = "only a decrease to 1 or 8 bits is made";
    return false;
  }
  return bits == 1 ? ReduceToBlackAndWhite(*this, error_diffusion, &last_error)
                   : ReduceTo256Colors(*this, error_diffusion, &last_error);
}

namespace {

// The image in a form the format's encoder takes, if it can be written at all; else false
// with a message. Nothing is made on disk before this passes.
bool ReadyToSave(const Image& image, uint32_t format, const Encoder** encoder, Image& adapted,
                 std::string* error) {
  *encoder = FindEncoder(format);
  if (*encoder == nullptr) {
    *error = "no encoder for this format";
    return false;
  }
  if (image.width() == 0 || image.height() == 0) {
    *error = "the image is empty";
    return false;
  }
  if (!FitsFormat(format, image.width(), image.height(), image.bpp(), error)) {
    return false;
  }
  adapted = image;
  return AdaptForEncoder(adapted, **encoder, error);
}

bool Encode(const Image& adapted, const Encoder& encoder, OutputFile& file, std::string* error) {
  return encoder.open_rows != nullptr ? SaveThroughRows(adapted, encoder.open_rows, file, error)
                                      : encoder.save(adapted, file, error);
}

}  // namespace

bool Image::Save(OutputFile& file, uint32_t format) {
  const Encoder* encoder = nullptr;
  Image adapted;
  if (!ReadyToSave(*this, format, &encoder, adapted, &last_error)) {
    return false;
  }
  std::string error;
  if (!Encode(adapted, *encoder, file, &error)) {
    last_error = error;
    return false;
  }
  return true;
}

bool Image::Save(const std::string& path, uint32_t format) {
  const Encoder* encoder = nullptr;
  Image adapted;
  if (!ReadyToSave(*this, format, &encoder, adapted, &last_error)) {
    return false;
  }
  std::string error;
  std::unique_ptr<PathOutput> file = PathOutput::Create(path, &error);
  bool saved = file != nullptr && Encode(adapted, *encoder, *file, &error);
  if (file != nullptr && !file->Close() && saved) {
    error = "cannot finish " + path;
    saved = false;
  }
  if (!saved) {
    last_error = error;
    std::remove(path.c_str());  // no half-written file stays
    return false;
  }
  return true;
}

}  // namespace imaging
