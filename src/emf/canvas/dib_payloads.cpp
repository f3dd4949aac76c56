#include "emf/canvas/dib_payloads.h"

#include <cairo.h>
#include <gif_lib.h>
#include <jpeglib.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "emf/canvas/dib.h"

namespace emf {
namespace {

void Fail(std::string* error, const char* message) {
  if (error != nullptr) {
    *error = message;
  }
}

struct JpegError {
  jpeg_error_mgr manager;
  std::jmp_buf back;
};

[[noreturn]] void JumpBack(j_common_ptr info) {
  std::longjmp(reinterpret_cast<JpegError*>(info->err)->back, 1);
}

void Quiet(j_common_ptr /*info*/) {}

// libjpeg reports errors by a long jump; nothing with a destructor lives in this frame
// across it, and the caller owns the pixels.
bool DecodeJpeg(std::span<const uint8_t> bytes, Image& out) {
  jpeg_decompress_struct info;
  JpegError failure;
  info.err = jpeg_std_error(&failure.manager);
  failure.manager.error_exit = JumpBack;
  failure.manager.output_message = Quiet;
  // Changed after setjmp and read after the long jump: volatile, or its value is lost.
  uint8_t* volatile row = nullptr;
  if (setjmp(failure.back) != 0) {
    jpeg_destroy_decompress(&info);
    std::free(row);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_RGB;
  const uint64_t pixels = uint64_t{info.image_width} * info.image_height;
  if (info.image_width == 0 || info.image_height == 0 || pixels > kMaxDibPixels) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_start_decompress(&info);
  if (info.output_components != 3) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  out.width = static_cast<int>(info.output_width);
  out.height = static_cast<int>(info.output_height);
  out.pixels.resize(static_cast<size_t>(out.width) * out.height);
  row = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(out.width) * 3));
  if (row == nullptr) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  while (info.output_scanline < info.output_height) {
    const size_t y = info.output_scanline;
    JSAMPROW rows[1] = {row};
    jpeg_read_scanlines(&info, rows, 1);
    uint32_t* dst = out.pixels.data() + y * static_cast<size_t>(out.width);
    for (int x = 0; x < out.width; ++x) {
      dst[x] =
          0xFF000000u | uint32_t{row[3 * x]} << 16 | uint32_t{row[3 * x + 1]} << 8 | row[3 * x + 2];
    }
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  std::free(row);
  return true;
}

struct PngSource {
  std::span<const uint8_t> bytes;
  size_t at = 0;
};

cairo_status_t ReadPng(void* closure, unsigned char* data, unsigned int length) {
  auto* source = static_cast<PngSource*>(closure);
  if (length > source->bytes.size() - source->at) {
    return CAIRO_STATUS_READ_ERROR;
  }
  std::memcpy(data, source->bytes.data() + source->at, length);
  source->at += length;
  return CAIRO_STATUS_SUCCESS;
}

// The width and height a PNG's header claims, so that absurd sizes are refused before
// anything is decoded.
bool PngSize(std::span<const uint8_t> bytes, uint32_t& width, uint32_t& height) {
  static constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  if (bytes.size() < 24 || std::memcmp(bytes.data(), kSignature, 8) != 0 ||
      std::memcmp(bytes.data() + 12, "IHDR", 4) != 0) {
    return false;
  }
  auto be32 = [&](size_t at) {
    return uint32_t{bytes[at]} << 24 | uint32_t{bytes[at + 1]} << 16 |
           uint32_t{bytes[at + 2]} << 8 | bytes[at + 3];
  };
  width = be32(16);
  height = be32(20);
  return true;
}

}  // namespace

std::optional<Image> DecodeJpegPayload(std::span<const uint8_t> bytes, std::string* error) {
  Image image;
  if (bytes.empty() || !DecodeJpeg(bytes, image)) {
    Fail(error, "the JPEG payload cannot be decoded");
    return std::nullopt;
  }
  return image;
}

std::optional<Image> DecodePngPayload(std::span<const uint8_t> bytes, std::string* error) {
  uint32_t width = 0, height = 0;
  if (!PngSize(bytes, width, height) || width == 0 || height == 0 ||
      uint64_t{width} * height > kMaxDibPixels) {
    Fail(error, "the PNG payload is not a PNG of a drawable size");
    return std::nullopt;
  }
  PngSource source{bytes};
  cairo_surface_t* surface = cairo_image_surface_create_from_png_stream(ReadPng, &source);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    Fail(error, "the PNG payload cannot be decoded");
    return std::nullopt;
  }
  cairo_surface_flush(surface);
  Image image;
  image.width = cairo_image_surface_get_width(surface);
  image.height = cairo_image_surface_get_height(surface);
  image.pixels.resize(static_cast<size_t>(image.width) * image.height);
  const bool alpha = cairo_image_surface_get_format(surface) == CAIRO_FORMAT_ARGB32;
  const uint8_t* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  for (int y = 0; y < image.height; ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(y) * stride);
    for (int x = 0; x < image.width; ++x) {
      image.pixels[static_cast<size_t>(y) * image.width + x] =
          alpha ? row[x] : row[x] | 0xFF000000u;
    }
  }
  image.has_alpha = alpha;
  cairo_surface_destroy(surface);
  return image;
}

namespace {

struct GifSource {
  std::span<const uint8_t> bytes;
  size_t at = 0;
};

int ReadGif(GifFileType* gif, GifByteType* out, int length) {
  auto* source = static_cast<GifSource*>(gif->UserData);
  const size_t count =
      std::min(static_cast<size_t>(std::max(length, 0)), source->bytes.size() - source->at);
  std::memcpy(out, source->bytes.data() + source->at, count);
  source->at += count;
  return static_cast<int>(count);
}

struct GifCloser {
  void operator()(GifFileType* gif) const {
    int error = 0;
    DGifCloseFile(gif, &error);
  }
};

// The first picture's records, read one by one: a file of many pictures costs no more than
// its first.
bool DecodeGif(GifFileType* gif, Image& image) {
  if (gif->SWidth <= 0 || gif->SHeight <= 0 ||
      uint64_t{static_cast<uint32_t>(gif->SWidth)} * static_cast<uint32_t>(gif->SHeight) >
          kMaxDibPixels) {
    return false;
  }
  int transparent = -1;
  GifRecordType type = UNDEFINED_RECORD_TYPE;
  do {
    if (DGifGetRecordType(gif, &type) == GIF_ERROR) {
      return false;
    }
    if (type == EXTENSION_RECORD_TYPE) {
      int code = 0;
      GifByteType* block = nullptr;
      if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) {
        return false;
      }
      if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr && block[0] >= 4 &&
          (block[1] & 1) != 0) {
        transparent = block[4];
      }
      while (block != nullptr) {
        if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) {
          return false;
        }
      }
    } else if (type == IMAGE_DESC_RECORD_TYPE) {
      if (DGifGetImageDesc(gif) == GIF_ERROR) {
        return false;
      }
      const GifImageDesc& desc = gif->Image;
      const ColorMapObject* colours = desc.ColorMap != nullptr ? desc.ColorMap : gif->SColorMap;
      if (colours == nullptr || desc.Width <= 0 || desc.Height <= 0 ||
          uint64_t{static_cast<uint32_t>(desc.Width)} * static_cast<uint32_t>(desc.Height) >
              kMaxDibPixels) {
        return false;
      }
      image.width = gif->SWidth;
      image.height = gif->SHeight;
      image.has_alpha = transparent >= 0;
      image.pixels.assign(static_cast<size_t>(image.width) * image.height,
                          image.has_alpha ? 0u : 0xFF000000u);
      std::vector<GifPixelType> line(static_cast<size_t>(desc.Width));
      // Interlaced rows come in four passes.
      static constexpr int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
      const int passes = desc.Interlace ? 4 : 1;
      for (int pass = 0; pass < passes; ++pass) {
        for (int row = desc.Interlace ? kStart[pass] : 0; row < desc.Height;
             row += desc.Interlace ? kStep[pass] : 1) {
          if (DGifGetLine(gif, line.data(), desc.Width) == GIF_ERROR) {
            return false;
          }
          const int y = desc.Top + row;
          for (int column = 0; column < desc.Width; ++column) {
            const int x = desc.Left + column;
            const int index = line[static_cast<size_t>(column)];
            if (x < 0 || y < 0 || x >= image.width || y >= image.height || index == transparent ||
                index >= colours->ColorCount) {
              continue;
            }
            const GifColorType& c = colours->Colors[index];
            image.pixels[static_cast<size_t>(y) * image.width + x] =
                0xFF000000u | (uint32_t{c.Red} << 16) | (uint32_t{c.Green} << 8) | c.Blue;
          }
        }
      }
      return true;
    }
  } while (type != TERMINATE_RECORD_TYPE);
  return false;
}

}  // namespace

std::optional<Image> DecodeGifPayload(std::span<const uint8_t> bytes, std::string* error) {
  GifSource source{bytes};
  int status = 0;
  const std::unique_ptr<GifFileType, GifCloser> gif(DGifOpen(&source, ReadGif, &status));
  Image image;
  if (gif == nullptr || !DecodeGif(gif.get(), image)) {
    Fail(error, "the GIF file cannot be decoded");
    return std::nullopt;
  }
  return image;
}

}  // namespace emf
