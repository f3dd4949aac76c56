#include "emfplus/images.h"

#include <algorithm>
#include <cmath>

#include "emf/canvas/dib.h"
#include "emf/canvas/dib_payloads.h"
#include "emfplus/colours.h"

namespace emfplus {
namespace {

constexpr uint32_t kImageBitmap = 1, kImageMetafile = 2;
constexpr uint32_t kBitmapPixels = 0, kBitmapCompressed = 1;
constexpr uint32_t kIndexed = 0x00010000;  // the format's pixels are palette indices
constexpr uint32_t kHasAlpha = 0x00040000;
constexpr uint32_t kPremultiplied = 0x00080000;
constexpr uint32_t kFormat555 = 0x00021005, kFormat565 = 0x00021006, kFormat1555 = 0x00061007;

// One pixel of a row in the format, as 0xAARRGGBB (premultiplied when the format is).
uint32_t PixelAt(const uint8_t* row, int x, uint32_t format, int bits,
                 const std::vector<uint32_t>& palette) {
  auto index = [&](uint32_t i) { return i < palette.size() ? palette[i] : 0xFF000000; };
  switch (bits) {
    case 1:
      return index((row[x / 8] >> (7 - x % 8)) & 1);
    case 4:
      return index((row[x / 2] >> (x % 2 == 0 ? 4 : 0)) & 0xF);
    case 8:
      return index(row[x]);
    case 16: {
      const uint32_t v = row[2 * x] | row[2 * x + 1] << 8;
      if (format == kFormat565) {
        return 0xFF000000 | ((v >> 11) & 0x1F) * 255 / 31 << 16 |
               ((v >> 5) & 0x3F) * 255 / 63 << 8 | (v & 0x1F) * 255 / 31;
      }
      const uint32_t alpha = format == kFormat1555 && (v & 0x8000) == 0 ? 0 : 0xFF000000;
      return alpha | ((v >> 10) & 0x1F) * 255 / 31 << 16 | ((v >> 5) & 0x1F) * 255 / 31 << 8 |
             (v & 0x1F) * 255 / 31;
    }
    case 24:
      return 0xFF000000 | row[3 * x + 2] << 16 | row[3 * x + 1] << 8 | row[3 * x];
    default: {  // 32
      const uint32_t v = row[4 * x] | row[4 * x + 1] << 8 | row[4 * x + 2] << 16 |
                         static_cast<uint32_t>(row[4 * x + 3]) << 24;
      return (format & kHasAlpha) != 0 ? v : (v | 0xFF000000);
    }
  }
}

bool ReadPixels(emf::ByteReader& r, int width, int height, int stride, uint32_t format,
                emf::Image& image, std::string& why) {
  const int bits = static_cast<int>((format >> 8) & 0xFF);
  if (format == 0x00101004 ||
      !(bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32)) {
    why = "a bitmap in a pixel format the player does not draw";
    return false;
  }
  std::vector<uint32_t> palette;
  if ((format & kIndexed) != 0) {
    r.Skip(4);  // the palette's flags
    const uint32_t count = r.U32();
    if (count > 256 || count > r.Remaining() / 4) {
      why = "a bitmap whose palette runs past its data";
      return false;
    }
    for (uint32_t i = 0; i < count; ++i) {
      palette.push_back(r.U32());
    }
  }
  const uint64_t row_bytes = (static_cast<uint64_t>(width) * bits + 7) / 8;
  const uint64_t step = static_cast<uint64_t>(std::abs(static_cast<int64_t>(stride)));
  if (step < row_bytes || step * static_cast<uint64_t>(height) > r.Remaining()) {
    why = "a bitmap whose rows run past its data";
    return false;
  }
  const std::span<const uint8_t> rows = r.Bytes(static_cast<size_t>(step) * height);
  image.width = width;
  image.height = height;
  image.has_alpha = (format & kHasAlpha) != 0;
  image.pixels.resize(static_cast<size_t>(width) * height);
  const bool premultiplied = (format & kPremultiplied) != 0;
  for (int y = 0; y < height; ++y) {
    // A negative stride keeps the rows bottom up.
    const int source_row = stride < 0 ? height - 1 - y : y;
    const uint8_t* row = rows.data() + static_cast<size_t>(source_row) * step;
    for (int x = 0; x < width; ++x) {
      const uint32_t argb = PixelAt(row, x, format, bits, palette);
      image.pixels[static_cast<size_t>(y) * width + x] = premultiplied ? argb : Premultiply(argb);
    }
  }
  return true;
}

bool ReadBitmap(emf::ByteReader& r, PlusImage& image, std::string& why) {
  const int32_t width = r.I32();
  const int32_t height = r.I32();
  const int32_t stride = r.I32();
  const uint32_t format = r.U32();
  const uint32_t type = r.U32();
  if (!r.Ok()) {
    why = "a bitmap that ends before its fields do";
    return false;
  }
  auto bitmap = std::make_shared<emf::Image>();
  if (type == kBitmapCompressed) {
    // An image file: PNG and JPEG are decoded as the bitmap records' payloads are, and GIF.
    const std::span<const uint8_t> file = r.Bytes(r.Remaining());
    static constexpr uint8_t kPng[] = {0x89, 'P', 'N', 'G'};
    std::optional<emf::Image> decoded;
    if (file.size() >= 4 && std::equal(kPng, kPng + 4, file.begin())) {
      decoded = emf::DecodePngPayload(file, &why);
    } else if (file.size() >= 2 && file[0] == 0xFF && file[1] == 0xD8) {
      decoded = emf::DecodeJpegPayload(file, &why);
    } else if (file.size() >= 4 && std::equal(file.begin(), file.begin() + 4, "GIF8")) {
      decoded = emf::DecodeGifPayload(file, &why);
    } else {
      why = "a bitmap in an image format the player does not read";
      return false;
    }
    if (!decoded) {
      return false;
    }
    *bitmap = std::move(*decoded);
  } else if (type == kBitmapPixels) {
    if (width <= 0 || height <= 0 ||
        static_cast<uint64_t>(width) * static_cast<uint64_t>(height) > emf::kMaxDibPixels) {
      why = "a bitmap of " + std::to_string(width) + " x " + std::to_string(height) + " pixels";
      return false;
    }
    if (!ReadPixels(r, width, height, stride, format, *bitmap, why)) {
      return false;
    }
  } else {
    why = "a bitmap of unknown type " + std::to_string(type);
    return false;
  }
  image.mean = MeanPixel(*bitmap);  // once: a fallback colour for every drawing of it
  image.bitmap = std::move(bitmap);
  return true;
}

}  // namespace

bool ReadImage(emf::ByteReader& r, PlusImage& image, std::string& why) {
  r.Skip(4);  // version
  const uint32_t type = r.U32();
  if (type == kImageBitmap) {
    return ReadBitmap(r, image, why);
  }
  if (type != kImageMetafile) {
    why = "an image of unknown type " + std::to_string(type);
    return false;
  }
  image.metafile_type = static_cast<int>(r.U32());
  const uint32_t size = r.U32();
  const std::span<const uint8_t> bytes = r.Bytes(size);
  if (!r.Ok() || image.metafile_type < PlusImage::kWmf ||
      image.metafile_type > PlusImage::kEmfPlusDual) {
    why = "a metafile image that ends before its data does";
    return false;
  }
  image.metafile.assign(bytes.begin(), bytes.end());
  return true;
}

uint32_t MeanPixel(const emf::Image& image) {
  double sum[4] = {};
  for (uint32_t p : image.pixels) {
    for (int k = 0; k < 4; ++k) {
      sum[k] += (p >> (8 * k)) & 0xFF;
    }
  }
  const double n = std::max<double>(1, static_cast<double>(image.pixels.size()));
  const double alpha = image.has_alpha ? sum[3] / n : 255;
  uint32_t mean = static_cast<uint32_t>(std::lround(alpha)) << 24;
  for (int k = 0; k < 3; ++k) {
    // Back from premultiplied, so the mean is a plain colour.
    const double c = alpha > 0 ? sum[k] / n * 255 / alpha : 0;
    mean |= static_cast<uint32_t>(std::clamp(std::lround(c), 0L, 255L)) << (8 * k);
  }
  return mean;
}

}  // namespace emfplus
