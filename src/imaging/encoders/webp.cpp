// WebP through libwebp, lossless: every pixel comes back as it was given. Palette images are
// taken as they are and expanded to libwebp's ARGB here, so no RGB copy of the page is made
// first; libwebp finds a page of few colours again and codes it as indices. WebP keeps no
// resolution outside EXIF, which is not written.
//
// Effort was measured on the corpus's spool pages and a picture page at 96 and 300 dpi:
// libwebp's lossless level 7 (method 4, quality 90) gives text pages of 26 to 53 % of the
// reduced PNG's bytes at 300 dpi (28 to 84 % at 96), in the time levels 4 to 6 take for files
// up to twice as large; levels 8 and 9 save 1 % more for 3 to 25 times the time.
#include <webp/encode.h>

#include <array>
#include <cstdint>

#include "imaging/encoders.h"

namespace imaging {
namespace {

constexpr int kLosslessLevel = 7;

// libwebp's picture, with its pixels released however the encoding ends.
class WebpPicture {
 public:
  WebpPicture() { initialised_ = WebPPictureInit(&picture_) != 0; }
  ~WebpPicture() { WebPPictureFree(&picture_); }
  WebpPicture(const WebpPicture&) = delete;
  WebpPicture& operator=(const WebpPicture&) = delete;

  bool initialised() const { return initialised_; }
  WebPPicture* get() { return &picture_; }

 private:
  WebPPicture picture_{};
  bool initialised_ = false;
};

// libwebp hands over the whole file at the end, in a few pieces; a write that fails stops it.
int WriteBytes(const uint8_t* data, size_t size, const WebPPicture* picture) {
  auto* out = static_cast<BufferedOutput*>(picture->custom_ptr);
  out->Write(data, size);
  return out->Good() ? 1 : 0;
}

uint32_t Argb(Rgb c) {
  return 0xFF000000u | uint32_t{c.r} << 16 | uint32_t{c.g} << 8 | c.b;
}

void CopyPixels(const Image& image, WebPPicture& picture) {
  std::array<uint32_t, 256> colours{};
  colours.fill(Argb(Rgb{}));  // an index past the palette is black, as PixelRgb has it
  for (size_t i = 0; i < image.palette().size() && i < colours.size(); ++i) {
    colours[i] = Argb(image.palette()[i]);
  }
  for (int y = 0; y < image.height(); ++y) {
    const uint8_t* in = image.Row(y);
    uint32_t* out = picture.argb + static_cast<size_t>(y) * picture.argb_stride;
    if (image.indexed()) {
      for (int x = 0; x < image.width(); ++x) {
        out[x] = colours[in[x]];
      }
    } else {
      for (int x = 0; x < image.width(); ++x, in += 3) {
        out[x] = Argb(Rgb{in[0], in[1], in[2]});
      }
    }
  }
}

const char* Reason(WebPEncodingError code) {
  switch (code) {
    case VP8_ENC_ERROR_OUT_OF_MEMORY:
    case VP8_ENC_ERROR_BITSTREAM_OUT_OF_MEMORY:
      return "not enough memory";
    case VP8_ENC_ERROR_BAD_DIMENSION:
      return "a size WebP does not hold";
    case VP8_ENC_ERROR_BAD_WRITE:
      return "the file could not be written";
    default:
      return "an encoding error";
  }
}

}  // namespace

bool SaveWebp(const Image& image, OutputFile& file, std::string* error) {
  const std::string failed = "libwebp could not write " + file.name() + ": ";
  WebPConfig config;
  if (WebPConfigInit(&config) == 0 || WebPConfigLosslessPreset(&config, kLosslessLevel) == 0) {
    *error = failed + "the library does not match its headers";
    return false;
  }
  config.exact = 1;
  WebpPicture picture;
  if (!picture.initialised()) {
    *error = failed + "the library does not match its headers";
    return false;
  }
  WebPPicture& p = *picture.get();
  p.use_argb = 1;
  p.width = image.width();
  p.height = image.height();
  if (WebPPictureAlloc(&p) == 0) {
    *error = failed + Reason(p.error_code);
    return false;
  }
  CopyPixels(image, p);
  BufferedOutput out(file);
  p.writer = WriteBytes;
  p.custom_ptr = &out;
  const bool encoded = WebPEncode(&config, &p) != 0;
  // A write refused in the buffer's last piece is seen only here.
  if (!out.Flush()) {
    *error = failed + Reason(VP8_ENC_ERROR_BAD_WRITE);
    return false;
  }
  if (!encoded) {
    *error = failed + Reason(p.error_code);
    return false;
  }
  return true;
}

}  // namespace imaging
