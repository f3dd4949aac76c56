// Encoders that take a page a band of rows at a time, so that a page far larger than memory
// can be written as it is drawn. Rows are in Image's layout: one byte a pixel (palette
// indices) up to 8 bits, red, green and blue bytes above.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "imaging/image.h"
#include "imaging/output_file.h"

namespace imaging {

// What the rows will be: the image's size, depth, palette, resolution and codec option.
struct RowLayout {
  int width = 0;
  int height = 0;
  uint16_t bpp = 24;
  std::vector<Rgb> palette;
  int x_dpi = 96;
  int y_dpi = 96;
  uint32_t codec_option = 0;

  bool indexed() const { return bpp <= 8; }
  size_t RowBytes() const { return static_cast<size_t>(width) * (indexed() ? 1 : 3); }
};

RowLayout LayoutOf(const Image& image);

class RowWriter {
 public:
  virtual ~RowWriter() = default;
  // The next count rows, stride bytes apart. False once anything failed; the error then
  // waits for Finish.
  virtual bool WriteRows(const uint8_t* rows, size_t stride, int count) = 0;
  // Ends the file: true when every row was given and everything reached the disk. A writer
  // dropped without Finish leaves a file that its caller removes.
  virtual bool Finish(std::string* error) = 0;
};

// A file of several pages (TIFF): each page's rows through a writer of its own, page after
// page; a page writer's Finish ends its page, not the file.
class PageFileWriter {
 public:
  virtual ~PageFileWriter() = default;
  // The next page (number from 1 of pages); null with a message when it cannot be begun.
  virtual std::unique_ptr<RowWriter> NextPage(const RowLayout& layout, int number, int pages,
                                              std::string* error) = 0;
  // Ends the file: true when every page begun was finished and everything reached the disk.
  // A writer dropped without Finish leaves a file that its caller removes.
  virtual bool Finish(std::string* error) = 0;
};

// The writers below write into a file their caller made and closes (which must be empty),
// or into a file they make at a path and close at Finish; the bytes are the same.
// A file of pages whose rows together pass 2 GB, or whose sum is not known (pixel_bytes left
// out), is written as BigTIFF; one that stays below as classic TIFF, which every reader takes.
std::unique_ptr<PageFileWriter> OpenTiffPages(OutputFile& file, std::string* error,
                                              uint64_t pixel_bytes = ~uint64_t{0});
std::unique_ptr<PageFileWriter> OpenTiffPages(const std::string& path, std::string* error);

// A writer for the format, or null with a message: no streaming encoder for it, a size past
// what the format holds, or a file that cannot be created.
std::unique_ptr<RowWriter> OpenRowWriter(uint32_t format, const RowLayout& layout, OutputFile& file,
                                         std::string* error);
std::unique_ptr<RowWriter> OpenRowWriter(uint32_t format, const RowLayout& layout,
                                         const std::string& path, std::string* error);

// Whether an image of this size and depth fits the format; if not, a message that names
// the limit.
bool FitsFormat(uint32_t format, int width, int height, int bpp, std::string* error);

// The streaming encoders (encoders/*.cpp).
std::unique_ptr<RowWriter> OpenBmpRows(const RowLayout&, OutputFile&, std::string*);
std::unique_ptr<RowWriter> OpenPngRows(const RowLayout&, OutputFile&, std::string*);
std::unique_ptr<RowWriter> OpenJpegRows(const RowLayout&, OutputFile&, std::string*);
std::unique_ptr<RowWriter> OpenTiffRows(const RowLayout&, OutputFile&, std::string*);

}  // namespace imaging
