// Writing a rendered page in a raster format through the image object.
#pragma once

#include <cstdint>
#include <string>

#include "imaging/image.h"

struct EncodeOptions {
  int xDpi = 0;  // 0: the image's own value stays
  int yDpi = 0;
  bool reducePng = false;  // a PNG of RGB pixels as grey levels or a palette where it can be
};

// 0 when the output file was written, 1 when not.
int EncodeImageFile(const std::string& bmpPath, const std::string& outputPath,
                    const EncodeOptions& options);
int LoadImageFile(const std::string& path, imaging::Image& image);
int SaveImageFile(const std::string& path, imaging::Image& image, const EncodeOptions& options);

// The format code of the path's extension, lower-cased; 0 for none.
uint32_t FormatCodeFromExtension(const std::string& path);
