// JPEG 2000 through OpenJPEG, as a JP2 file (format code 11) or a bare J2K codestream (12):
// one layer at a 10:1 rate, grey or RGB.
#include <openjpeg.h>

#include <algorithm>
#include <vector>

#include "imaging/encoders.h"

namespace imaging {
namespace {

// OpenJPEG's stream over the buffered output; it goes back to write box lengths.
OPJ_SIZE_T WriteBytes(void* data, OPJ_SIZE_T size, void* user) {
  auto* out = static_cast<BufferedOutput*>(user);
  out->Write(data, size);
  return out->Good() ? size : static_cast<OPJ_SIZE_T>(-1);
}

OPJ_OFF_T Skip(OPJ_OFF_T step, void* user) {
  auto* out = static_cast<BufferedOutput*>(user);
  if (step < 0 && static_cast<uint64_t>(-step) > out->position()) {
    return -1;
  }
  out->Seek(out->position() + static_cast<uint64_t>(step));
  return step;
}

OPJ_BOOL SeekTo(OPJ_OFF_T offset, void* user) {
  if (offset < 0) {
    return OPJ_FALSE;
  }
  static_cast<BufferedOutput*>(user)->Seek(static_cast<uint64_t>(offset));
  return OPJ_TRUE;
}

bool SaveJpeg2000(const Image& image, OutputFile& file, OPJ_CODEC_FORMAT format,
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
  // Each level of the wavelet halves the image, and OpenJPEG refuses levels that leave less
  // than a pixel a side: an image under 32 pixels a side gets fewer than the usual six.
  const int shorter = std::min(image.width(), image.height());
  while (settings.numresolution > 1 && (shorter >> (settings.numresolution - 1)) == 0) {
    --settings.numresolution;
  }
  BufferedOutput out(file);
  opj_codec_t* codec = opj_create_compress(format);
  opj_stream_t* stream = nullptr;
  bool written = codec != nullptr && opj_setup_encoder(codec, &settings, picture);
  if (written) {
    stream = opj_stream_create(OPJ_J2K_STREAM_CHUNK_SIZE, OPJ_FALSE);
    written = stream != nullptr;
  }
  if (written) {
    opj_stream_set_user_data(stream, &out, nullptr);
    opj_stream_set_write_function(stream, WriteBytes);
    opj_stream_set_skip_function(stream, Skip);
    opj_stream_set_seek_function(stream, SeekTo);
    written = opj_start_compress(codec, picture, stream) && opj_encode(codec, stream) &&
              opj_end_compress(codec, stream);
  }
  if (stream != nullptr) {
    opj_stream_destroy(stream);
  }
  written = out.Flush() && written;
  if (codec != nullptr) {
    opj_destroy_codec(codec);
  }
  opj_image_destroy(picture);
  if (!written) {
    *error = "OpenJPEG could not write " + file.name();
  }
  return written;
}

}  // namespace

bool SaveJp2(const Image& image, OutputFile& file, std::string* error) {
  return SaveJpeg2000(image, file, OPJ_CODEC_JP2, error);
}

bool SaveJ2k(const Image& image, OutputFile& file, std::string* error) {
  return SaveJpeg2000(image, file, OPJ_CODEC_J2K, error);
}

}  // namespace imaging
