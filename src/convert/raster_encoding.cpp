#include "convert/raster_encoding.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "convert/rasterize.h"
#include "imaging/bmp_reader.h"
#include "imaging/colour_census.h"
#include "imaging/encoders.h"
#include "services/scoped_handles.h"
#include "win32/win32.h"

uint32_t FormatCodeFromExtension(const std::string& path) {
  char ext[_MAX_EXT];
  _splitpath(path.c_str(), nullptr, nullptr, nullptr, ext);
  return imaging::FormatOfExtension(*ext == '.' ? ext + 1 : ext);
}

int LoadImageFile(const std::string& path, imaging::Image& image) {
  const uint32_t code = FormatCodeFromExtension(path);
  if (code == 0) {
    std::fprintf(stderr, "unknown extension for %s\n", path.c_str());
    return 1;
  }
  if (!image.Load(path, code)) {
    std::fprintf(stderr, "%s\n", image.last_error.c_str());
    std::fprintf(stderr, "error loading %s\n", path.c_str());
    return 1;
  }
  return 0;
}

namespace {

// The image is written to a temporary file first and then copied into place without
// overwriting anything: output files are created exclusively, through the system's own file
// functions (which know every path the system uses). The temporary file is made exclusively
// first, so the encoder writes into a file of ours, never through a link. 0 when placed.
int WriteThroughStaging(const std::string& path,
                        const std::function<bool(const std::string&, std::string*)>& write) {
  const std::string staging = MakeTempFilePath(".out");
  const bool reserved =
      !staging.empty() && ScopedHandle(CreateFileA(staging.c_str(), GENERIC_WRITE, 0, nullptr,
                                                   CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr))
                              .Valid();
  std::string error = "the temporary file could not be created";
  const bool saved = reserved && write(staging, &error);
  const bool placed = saved && CopyFileA(staging.c_str(), path.c_str(), TRUE);
  if (reserved) {
    ReleaseTempFilePath(staging, ".out");
  } else if (!staging.empty()) {
    // Something else is at the staging name: only the name's reservation is ours to delete.
    DeleteFileA(staging.substr(0, staging.size() - std::strlen(".out")).c_str());
  }
  if (!placed) {
    std::fprintf(stderr, "%s\n", saved ? "the output file could not be created" : error.c_str());
    std::fprintf(stderr, "error saving %s\n", path.c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int SaveImageFile(const std::string& path, imaging::Image& image, const EncodeOptions& options) {
  const uint32_t code = FormatCodeFromExtension(path);
  if (code == 0) {
    std::fprintf(stderr, "unknown extension for %s\n", path.c_str());
    return 1;
  }
  switch (code) {
    case imaging::kFormatJpeg:
      image.codec_option &= ~4u;
      if (image.bpp() < 24) {
        image.IncreaseBpp(24);
      }
      break;
    case imaging::kFormatGif:
      if (image.bpp() == 4) {
        image.DecreaseBpp(1, true);
      } else if (image.bpp() == 16 || image.bpp() == 24 || image.bpp() == 32) {
        image.DecreaseBpp(8, true);
      }
      image.codec_option = 2;
      break;
    case imaging::kFormatTiff:
      image.codec_option = image.bpp() == 1 ? 4 : 32773;
      break;
    default:
      break;
  }
  if (options.xDpi > 0) {
    image.SetXDPI(options.xDpi);
  }
  if (options.yDpi > 0) {
    image.SetYDPI(options.yDpi);
  }
  return WriteThroughStaging(path, [&](const std::string& staging, std::string* error) {
    if (!image.Save(staging, code)) {
      *error = image.last_error;
      return false;
    }
    return true;
  });
}

namespace {

constexpr int kRowsAtOnce = 64;

// Whether the encoder takes the BMP's rows as they are, with nothing to convert first: they
// can then go from the file to the encoder a few at a time.
bool TakesRowsAsTheyAre(uint32_t code, const imaging::RowLayout& layout) {
  const imaging::Encoder* encoder = imaging::FindEncoder(code);
  if (encoder == nullptr || encoder->open_rows == nullptr) {
    return false;
  }
  // JPEG holds no palette, and takes indices only as grey levels.
  return layout.indexed() ? (encoder->accepts & imaging::kTakesPalette) != 0
                          : (encoder->accepts & imaging::kTakesRgb) != 0;
}

// Encodes the BMP file from disk a band of rows at a time, so that a page's memory stays that
// of a band whatever its size.
// Counts the colours of the BMP's rows, a band at a time, for a PNG that may be reduced; the
// indexed layout that holds them, or the RGB layout when they are too many.
imaging::RowLayout ReducedPngLayout(imaging::BmpFileRows& rows, imaging::ColourCensus& census) {
  const imaging::RowLayout& layout = rows.layout();
  std::vector<uint8_t> band(layout.RowBytes() * kRowsAtOnce);
  for (int top = 0; top < layout.height; top += kRowsAtOnce) {
    const int count = std::min(kRowsAtOnce, layout.height - top);
    if (!rows.ReadRows(top, count, band.data())) {
      return layout;  // the encoding pass says so
    }
    census.AddRows(band.data(), layout.RowBytes(), count, layout.width);
    if (!census.Reducible()) {
      return layout;
    }
  }
  return census.ReducedLayout(layout);
}

// Encodes the BMP file from disk a band of rows at a time, so that a page's memory stays that
// of a band whatever its size. A PNG to be reduced takes a first pass that counts colours.
int StreamImageFile(imaging::BmpFileRows& rows, uint32_t code, const std::string& path,
                    const EncodeOptions& options) {
  imaging::RowLayout layout = rows.layout();
  std::optional<imaging::ColourCensus> census;  // its 2 MB only for a PNG to be reduced
  bool reduced = false;
  if (options.reducePng && code == imaging::kFormatPng && !layout.indexed()) {
    layout = ReducedPngLayout(rows, census.emplace());
    reduced = layout.indexed();
  }
  layout.codec_option = code == imaging::kFormatTiff ? (layout.bpp == 1 ? 4 : 32773)
                        : reduced                    ? layout.codec_option
                                                     : 0;
  layout.x_dpi = options.xDpi > 0 ? options.xDpi : layout.x_dpi;
  layout.y_dpi = options.yDpi > 0 ? options.yDpi : layout.y_dpi;
  const imaging::RowLayout& source = rows.layout();
  return WriteThroughStaging(path, [&](const std::string& staging, std::string* error) {
    std::unique_ptr<imaging::RowWriter> writer =
        imaging::OpenRowWriter(code, layout, staging, error);
    if (writer == nullptr) {
      return false;
    }
    std::vector<uint8_t> band(source.RowBytes() * kRowsAtOnce);
    std::vector<uint8_t> indices(reduced ? layout.RowBytes() * kRowsAtOnce : 0);
    for (int top = 0; top < layout.height; top += kRowsAtOnce) {
      const int count = std::min(kRowsAtOnce, layout.height - top);
      if (!rows.ReadRows(top, count, band.data())) {
        writer->Finish(error);
        *error = "the rendered page could not be read back";
        return false;
      }
      const uint8_t* given = band.data();
      if (reduced) {
        for (int y = 0; y < count; ++y) {
          census->ToIndices(band.data() + y * source.RowBytes(), layout.width,
                            indices.data() + y * layout.RowBytes());
        }
        given = indices.data();
      }
      if (!writer->WriteRows(given, layout.RowBytes(), count)) {
        break;  // Finish says why
      }
    }
    return writer->Finish(error);
  });
}

}  // namespace

int EncodeImageFile(const std::string& bmpPath, const std::string& outputPath,
                    const EncodeOptions& options) {
  const uint32_t code = FormatCodeFromExtension(outputPath);
  std::string error;
  if (std::unique_ptr<imaging::BmpFileRows> rows = imaging::BmpFileRows::Open(bmpPath, &error);
      rows != nullptr && TakesRowsAsTheyAre(code, rows->layout())) {
    return StreamImageFile(*rows, code, outputPath, options);
  }
  imaging::Image image;
  if (LoadImageFile(bmpPath, image) != 0) {
    image.Destroy();
    return 1;
  }
  const int result = SaveImageFile(outputPath, image, options);
  image.Destroy();
  return result;
}
