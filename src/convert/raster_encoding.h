// Writing a drawn page in a raster format: its rows go from the bitmap to the encoder, straight
// into a file the caller made.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "convert/image_settings.h"
#include "convert/job_document.h"
#include "convert/rasterize.h"
#include "imaging/bmp_reader.h"
#include "imaging/image.h"
#include "imaging/output_file.h"
#include "services/scoped_handles.h"
#include "win32/win32.h"

struct EncodeOptions {
  int xDpi = 0;  // 0: the image's own value stays
  int yDpi = 0;
  bool reducePng = false;  // a PNG of RGB pixels as grey levels or a palette where it can be
};

// A page drawn into a bitmap and being encoded into a new file at outputPath (created
// exclusively), in the format of its extension, on a thread of its own: the caller draws the
// next page meanwhile.
class ImageWriting {
 public:
  ImageWriting(const ImageWriting&) = delete;
  ImageWriting& operator=(const ImageWriting&) = delete;
  // Waits for the thread; a writing never finished leaves no file.
  ~ImageWriting();

  // Draws the page and starts its encoding; null, with a reason and no file, when the page
  // cannot be drawn or its file not made.
  static std::unique_ptr<ImageWriting> Start(const std::string& pagePath,
                                             const std::string& outputPath,
                                             const ImageSettings& settings, std::string& reason);
  // Waits for the encoding: 1 when the file is whole; 0 with a reason, and no file, when not.
  int Finish(std::string& reason);

 private:
  ImageWriting() = default;
  DrawnPage drawn_;
  ScopedHandle file_;
  std::string outputPath_;
  std::thread thread_;
  bool encoded_ = false;
  DWORD error_ = ERROR_SUCCESS;
};

// Draws the page into a bitmap and encodes it into a new file at outputPath (created
// exclusively) in the format of its extension: the converter's page path for raster formats.
// 1 when written; 0 with a reason, and no file left, when not.
int RenderPageToImage(const std::string& pagePath, const std::string& outputPath,
                      const ImageSettings& settings, std::string& reason);

// Encodes the rows into output in the format of code, adjusted as each format takes them. 0
// when written, 1 when not (why on standard error, with the output's name).
int EncodeRows(const imaging::DibRows& rows, uint32_t code, imaging::OutputFile& output,
               const EncodeOptions& options);

// Encodes a bitmap (its header with colour table, and its pixels) into the file, open for
// reading and writing, that outputPath names; 0 when written, 1 when not.
int EncodeBitmap(std::span<const uint8_t> info, std::span<const uint8_t> pixels,
                 const std::string& outputPath, HANDLE output, const EncodeOptions& options);

// A BMP file encoded into a new file at outputPath (created exclusively), in the format of
// its extension: for tests and benchmarks of the encoders. 0 when written, 1 when not.
int EncodeImageFile(const std::string& bmpPath, const std::string& outputPath,
                    const EncodeOptions& options);

// The adjustments of the format (code, not 0) to a whole image (depth, codec option,
// resolution), then the image written into output. 0 when written, 1 when not.
int SaveImageFile(imaging::OutputFile& output, uint32_t code, imaging::Image& image,
                  const EncodeOptions& options);

// The format code of the path's extension, lower-cased; 0 for none.
uint32_t FormatCodeFromExtension(const std::string& path);

// A multi-page TIFF of a job's pages at staged (a new file, created exclusively): classic TIFF
// when the pages' rows (pixelBytes, the sum of PageRowBytes) stay below 2 GB, else BigTIFF.
// Null with a reason, and no file, when it cannot be begun.
std::unique_ptr<JobDocument> StartTiffDocument(const std::string& staged,
                                               const ImageSettings& settings,
                                               uint64_t pixelBytes, std::string& reason);
