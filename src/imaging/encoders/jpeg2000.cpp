// JPEG 2000 through OpenJPEG, as a JP2 file (format code 11) or a bare J2K codestream (12):
// one layer at a 10:1 rate, grey or RGB.
#include <openjpeg.h>

#include <vector>

#include "imaging/encoders.h"

namespace imaging {
namespace {

bool SaveJpeg2000(const Image& image, const std::string& path, OPJ_CODEC_FORMAT format,
                  std::string* error) {
  const bool grey = image.indexed();
  const int components = grey ? 1 : 3;
  std::vector<opj_image_cmptparm_t> parameters(static_cast<size_t>(components));
  for (auto& p : parameters) {
    p = opj_image_cmptparm_t{};
    p.dx = p.dy = 1;
    p.w = static_cast<OPJ_UINT32>(image.width());
    p.h = static_cast<OPJ_UINT32>(image.height());
    p.prec = 8;
    p.sgnd = 0;
  }
  opj_image_t* picture = opj_image_create(static_cast<OPJ_UINT32>(components), parameters.data(),
                                          grey ? OPJ_CLRSPC_GRAY : OPJ_CLRSPC_SRGB);
  if (picture == nullptr) {
    *error = "OpenJPEG could not make an image";
    return false;
  }
  picture->x1 = static_cast<OPJ_UINT32>(image.width());
  picture->y1 = static_cast<OPJ_UINT32>(image.height());
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const Rgb c = image.PixelRgb(x, y);
      const size_t i = static_cast<size_t>(y) * image.width() + x;
      picture->comps[0].data[i] = c.r;
      if (!grey) {
        picture->comps[1].data[i] = c.g;
        picture->comps[2].data[i] = c.b;
      }
    }
  }
  opj_cparameters_t settings;
  opj_set_default_encoder_parameters(&settings);
  settings.tcp_numlayers = 1;
  settings.tcp_rates[0] = 10;
  settings.cp_disto_alloc = 1;
  settings.irreversible = 1;
  opj_codec_t* codec = opj_create_compress(format);
  opj_stream_t* stream = nullptr;
  bool written = codec != nullptr && opj_setup_encoder(codec, &settings, picture);
  if (written) {
    stream = opj_stream_create_default_file_stream(path.c_str(), OPJ_FALSE);
    written = stream != nullptr && opj_start_compress(codec, picture, stream) &&
              opj_encode(codec, stream) && opj_end_compress(codec, stream);
  }
  if (stream != nullptr) {
    opj_stream_destroy(stream);
  }
  if (codec != nullptr) {
    opj_destroy_codec(codec);
  }
  opj_image_destroy(picture);
  if (!written) {
    *error = "OpenJPEG could not write " + path;
  }
  return written;
}

}  // namespace

bool SaveJp2(const Image& image, const std::string& path, std::string* error) {
  return SaveJpeg2000(image, path, OPJ_CODEC_JP2, error);
}

bool SaveJ2k(const Image& image, const std::string& path, std::string* error) {
  return SaveJpeg2000(image, path, OPJ_CODEC_J2K, error);
}

}  // namespace imaging
