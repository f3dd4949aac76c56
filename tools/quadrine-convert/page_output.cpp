#include "page_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "emf/records/metafile.h"
#include "emf/vector/vector_document.h"
#include "emf/wmf/wmf_writer.h"
#include "imaging/colour_census.h"
#include "imaging/encoders.h"
#include "imaging/row_writer.h"
#include "page/page.h"

namespace {

constexpr uint32_t kTiffDeflate = 8;  // COMPRESSION_ADOBE_DEFLATE
constexpr uint32_t kTiffGroup4 = 4;   // COMPRESSION_CCITTFAX4

mode_t new_file_mode = 0644;

// Writes into the temporary file's own handle, never reopened by name: what stands at the
// name now cannot be written through.
bool WriteBytes(int fd, std::span<const uint8_t> bytes) {
  while (!bytes.empty()) {
    const ssize_t written = write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) {
      continue;
    }
    if (written <= 0) {
      return false;
    }
    bytes = bytes.subspan(static_cast<size_t>(written));
  }
  return true;
}

using page::PixelSize;

page::SizeRequest RequestOf(const ConvertOptions& options) {
  page::SizeRequest request;
  request.x_dpi = options.x_dpi;
  request.y_dpi = options.y_dpi;
  request.fixed = options.width >= 0;
  request.width = options.width;
  request.height = options.height;
  return request;
}

// 16 bits a pixel keep 5 bits of each channel; the file stores them as 24.
uint8_t FiveBits(uint32_t channel) {
  const uint32_t five = (channel & 0xFF) >> 3;
  return static_cast<uint8_t>(five << 3 | five >> 2);
}

void ToRgb(const uint32_t* source, int width, bool five_bits, uint8_t* out) {
  if (!five_bits) {
    emf::RowToRgb(source, width, out);
    return;
  }
  for (int x = 0; x < width; ++x) {
    out[3 * x] = FiveBits(source[x] >> 16);
    out[3 * x + 1] = FiveBits(source[x] >> 8);
    out[3 * x + 2] = FiveBits(source[x]);
  }
}

uint32_t CodecOptionFor(uint32_t code, int bpp) {
  return code == imaging::kFormatTiff ? (bpp == 1 ? kTiffGroup4 : kTiffDeflate) : 0;
}

// Colour pages in a format that takes bands of rows: written as they are drawn.
std::string StreamPage(const page::Page& page, const PixelSize& size, const PageTarget& target,
                       bool five_bits) {
  const uint32_t code = target.pages != nullptr ? imaging::kFormatTiff : target.code;
  imaging::RowLayout layout;
  layout.width = size.width;
  layout.height = size.height;
  layout.x_dpi = static_cast<int>(std::lround(size.x_dpi));
  layout.y_dpi = static_cast<int>(std::lround(size.y_dpi));
  layout.codec_option = CodecOptionFor(code, 24);
  std::string error;
  std::unique_ptr<imaging::RowWriter> writer = target.Open(layout, &error);
  if (writer == nullptr) {
    return error;
  }
  std::vector<uint8_t> rgb(static_cast<size_t>(size.width) * 3);
  if (target.progress != nullptr) {
    target.progress->Start(size.height);
  }
  const emf::RowSink take = [&](const uint32_t* rows, size_t stride, int count) {
    for (int y = 0; y < count; ++y) {
      ToRgb(rows + static_cast<size_t>(y) * stride, size.width, five_bits, rgb.data());
      if (!writer->WriteRows(rgb.data(), rgb.size(), 1)) {
        return false;
      }
    }
    if (target.progress != nullptr) {
      target.progress->Advance(count);
    }
    return true;
  };
  emf::PlayStats stats;
  const std::string failure =
      page::DrawRows(*page.file, size.width, size.height, take, stats, false, page.comments);
  const bool finished = writer->Finish(&error);
  if (!failure.empty() && failure != emf::kRowsRefused) {
    return failure;
  }
  return finished ? std::string() : error;
}

// Grey, palette and black-and-white pages, and formats that take a whole image: the page is
// drawn into an image first, then reduced.
std::string WholePage(const page::Page& page, const PixelSize& size, const PageTarget& target,
                      const ConvertOptions& options) {
  const uint32_t code = target.pages != nullptr ? imaging::kFormatTiff : target.code;
  if (static_cast<uint64_t>(size.width) * static_cast<uint64_t>(size.height) >
      imaging::kMaxPixels) {
    return "a page of " + std::to_string(size.width) + " x " + std::to_string(size.height) +
           " pixels is past what this format is written from (" +
           std::to_string(imaging::kMaxPixels) + " pixels)";
  }
  imaging::Image image;
  const bool black_and_white = options.depth == 1;
  const bool grey = options.grey && !black_and_white;
  std::vector<imaging::Rgb> palette;
  if (black_and_white) {
    palette = {{0, 0, 0}, {255, 255, 255}};
  } else if (grey) {
    for (int level = 0; level < 256; ++level) {
      const auto v = static_cast<uint8_t>(level);
      palette.push_back({v, v, v});
    }
  }
  image.Reset(size.width, size.height, black_and_white ? 1 : grey ? 8 : 24, palette);
  const bool five_bits = options.depth == 16;
  int row = 0;
  if (target.progress != nullptr) {
    target.progress->Start(size.height);
  }
  const emf::RowSink take = [&](const uint32_t* rows, size_t stride, int count) {
    if (target.progress != nullptr) {
      target.progress->Advance(count);
    }
    for (int y = 0; y < count; ++y, ++row) {
      const uint32_t* source = rows + static_cast<size_t>(y) * stride;
      uint8_t* out = image.Row(row);
      if (black_and_white) {
        for (int x = 0; x < size.width; ++x) {
          out[x] = page::IsBlackInBlackAndWhite(source[x]) ? 0 : 1;
        }
      } else if (grey) {
        for (int x = 0; x < size.width; ++x) {
          const uint32_t p = source[x];
          out[x] = static_cast<uint8_t>(((p >> 16 & 0xFF) + (p >> 8 & 0xFF) + (p & 0xFF)) / 3);
        }
      } else {
        ToRgb(source, size.width, five_bits, out);
      }
    }
    return true;
  };
  emf::PlayStats stats;
  const bool for_palette = options.depth <= 8;
  const std::string failure =
      page::DrawRows(*page.file, size.width, size.height, take, stats, for_palette, page.comments);
  if (!failure.empty()) {
    return failure;
  }
  if (options.depth == 8 && !grey && !image.DecreaseBpp(8, true)) {
    return image.last_error;
  }
  image.SetXDPI(static_cast<int>(std::lround(size.x_dpi)));
  image.SetYDPI(static_cast<int>(std::lround(size.y_dpi)));
  image.codec_option = CodecOptionFor(code, image.bpp());
  if (grey && code == imaging::kFormatPng) {
    image.codec_option = imaging::kPngGreyLevels;  // one channel, as JPEG has it
  }
  if (target.pages == nullptr) {
    return image.Save(*target.file, code) ? std::string() : image.last_error;
  }
  std::string error;
  if (!imaging::AdaptForEncoder(image, *imaging::FindEncoder(code), &error)) {
    return error;
  }
  std::unique_ptr<imaging::RowWriter> writer = target.Open(imaging::LayoutOf(image), &error);
  if (writer == nullptr) {
    return error;
  }
  writer->WriteRows(image.Row(0), image.RowBytes(), image.height());
  return writer->Finish(&error) ? std::string() : error;
}

}  // namespace

emf::ColourRule ColourRuleOf(const ConvertOptions& options) {
  return options.depth == 1 ? emf::ColourRule::kBlackAndWhite
         : options.grey     ? emf::ColourRule::kGrey
                            : emf::ColourRule::kColour;
}

uint32_t FormatCodeOf(const std::string& extension) {
  return extension == "emf" ? 0 : imaging::FormatOfExtension(extension);
}

bool WritesFormat(const std::string& extension) {
  if (extension == "emf" || extension == "wmf" || extension == "pdf" || extension == "svg") {
    return true;
  }
  return imaging::FindEncoder(imaging::FormatOfExtension(extension)) != nullptr;
}

std::unique_ptr<imaging::RowWriter> PageTarget::Open(const imaging::RowLayout& layout,
                                                     std::string* error) const {
  if (pages != nullptr) {
    return pages->NextPage(layout, number, count, error);
  }
  return code == imaging::kFormatPng && reduce_png
             ? imaging::OpenReducingPngRows(layout, *file, error)
             : imaging::OpenRowWriter(code, layout, *file, error);
}

bool DescriptorOutput::WriteAt(uint64_t offset, const void* data, size_t size) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  while (size > 0) {
    const ssize_t written = pwrite(fd_, bytes, size, static_cast<off_t>(offset));
    if (written < 0 && errno == EINTR) {
      continue;
    }
    if (written <= 0) {
      return false;
    }
    bytes += written;
    offset += static_cast<uint64_t>(written);
    size -= static_cast<size_t>(written);
  }
  return true;
}

bool DescriptorOutput::ReadAt(uint64_t offset, void* data, size_t size, size_t* got) {
  auto* bytes = static_cast<uint8_t*>(data);
  *got = 0;
  while (*got < size) {
    const ssize_t read = pread(fd_, bytes + *got, size - *got, static_cast<off_t>(offset + *got));
    if (read < 0 && errno == EINTR) {
      continue;
    }
    if (read < 0) {
      return false;
    }
    if (read == 0) {
      break;  // the file's end
    }
    *got += static_cast<size_t>(read);
  }
  return true;
}

emf::DocumentInfo PdfInfo(const std::string& title) {
  return {title, "quadrine-convert " QUADRINE_VERSION};
}

emf::ByteSink SinkInto(int fd) {
  return [fd](std::span<const uint8_t> bytes) { return WriteBytes(fd, bytes); };
}

std::string WritePage(const page::Page& page, const ConvertOptions& options,
                      const OpenTemporary& temporary, const std::string& title,
                      PageProgress* progress) {
  if (options.format == "emf") {
    return WriteBytes(temporary.fd, page.bytes) ? std::string() : std::strerror(errno);
  }
  const emf::Metafile& file = *page.file;
  if (options.format == "wmf") {
    return WriteBytes(temporary.fd, emf::ConvertToWmf(file, page.comments)) ? std::string()
                                                                            : std::strerror(errno);
  }
  if (options.format == "pdf" || options.format == "svg") {
    emf::VectorDocument document(
        SinkInto(temporary.fd),
        options.format == "pdf" ? emf::VectorFormat::kPdf : emf::VectorFormat::kSvg,
        ColourRuleOf(options), PdfInfo(title));
    std::string error = document.AddPage(file, page.comments);
    const std::string finished = document.Finish();
    return error.empty() ? finished : error;
  }
  DescriptorOutput output(temporary.fd, temporary.path);
  PageTarget target;
  target.code = imaging::FormatOfExtension(options.format);
  target.file = &output;
  target.reduce_png = options.reduce_png;
  target.progress = progress;
  return DrawPage(page, options, target);
}

std::string DrawPage(const page::Page& page, const ConvertOptions& options,
                     const PageTarget& target) {
  const emf::Metafile& file = *page.file;
  const uint32_t code = target.pages != nullptr ? imaging::kFormatTiff : target.code;
  const imaging::Encoder* encoder = imaging::FindEncoder(code);
  if (encoder == nullptr) {
    return "no format is written for the extension " + options.format;
  }
  PixelSize size;
  std::string error;
  if (!page::SizeOf(file.header(), RequestOf(options), size, error)) {
    return error;
  }
  const bool colour = !options.grey && options.depth >= 16;
  if (encoder->open_rows != nullptr && colour) {
    if (!imaging::FitsFormat(code, size.width, size.height, 24, &error)) {
      return error;
    }
    return StreamPage(page, size, target, options.depth == 16);
  }
  return WholePage(page, size, target, options);
}

uint64_t PageRowBytes(const emf::Header& header, const ConvertOptions& options) {
  PixelSize size;
  std::string error;
  if (!page::SizeOf(header, RequestOf(options), size, error)) {
    return 0;  // it fails when drawn, before anything is written for it
  }
  const bool colour = !options.grey && options.depth >= 16;
  return static_cast<uint64_t>(size.width) * static_cast<uint64_t>(size.height) * (colour ? 3 : 1);
}

void RememberFileMode() {
  const mode_t mask = umask(022);
  umask(mask);
  new_file_mode = 0666 & ~mask;
}

OpenTemporary::~OpenTemporary() {
  Close();
}

bool OpenTemporary::Close() {
  const bool closed = fd < 0 || close(fd) == 0;
  fd = -1;
  return closed;
}

bool TemporaryBeside(const std::string& path, OpenTemporary& temporary, std::string& error) {
  const size_t slash = path.find_last_of('/');
  std::string name = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) +
                     ".quadrine-convert-XXXXXX";
  const int fd = mkostemp(name.data(), O_CLOEXEC);  // made exclusively, never through a link
  if (fd < 0) {
    error = std::strerror(errno);
    return false;
  }
  // It stays 0600, as mkstemp makes it, until it is placed: a page on its way is no one
  // else's to read, and the copy for standard output never is.
  temporary.path = name;
  temporary.fd = fd;
  return true;
}

std::string PlaceFile(const std::string& temporary, const std::string& path, bool replace) {
  // A placed output gets what any new file gets.
  if (chmod(temporary.c_str(), new_file_mode) != 0) {
    const int error = errno;
    unlink(temporary.c_str());
    return std::strerror(error);
  }
  if (replace) {
    if (std::rename(temporary.c_str(), path.c_str()) == 0) {
      return {};
    }
  } else if (renameat2(AT_FDCWD, temporary.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) ==
             0) {
    return {};
  } else if ((errno == EINVAL || errno == ENOSYS) && link(temporary.c_str(), path.c_str()) == 0) {
    // A file system without an exclusive rename: a hard link fails on a taken name too.
    unlink(temporary.c_str());
    return {};
  }
  const int error = errno;
  unlink(temporary.c_str());
  return error == EEXIST ? "the file exists (--force replaces it)" : std::strerror(error);
}
