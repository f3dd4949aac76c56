#include "convert/raster_encoding.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <system_error>
#include <vector>

#include "base/checked.h"
#include "convert/rasterize.h"
#include "imaging/colour_census.h"
#include "imaging/encoders.h"
#include "imaging/row_writer.h"
#include "services/scoped_handles.h"

uint32_t FormatCodeFromExtension(const std::string& path) {
  char ext[_MAX_EXT];
  _splitpath(path.c_str(), nullptr, nullptr, nullptr, ext);
  return imaging::FormatOfExtension(*ext == '.' ? ext + 1 : ext);
}

namespace {

constexpr int kRowsAtOnce = 64;
constexpr DWORD kMostAtOnce = DWORD{1} << 30;  // bytes a single ReadFile or WriteFile moves

// A file the converter opened, written through its handle: never reopened by name, so what
// stands at the name cannot be written through, and every byte goes through WriteFile.
class HandleOutput final : public imaging::OutputFile {
 public:
  HandleOutput(HANDLE file, std::string name) : file_(file), name_(std::move(name)) {}

  bool WriteAt(uint64_t offset, const void* data, size_t size) override {
    if (!Seek(offset)) {
      return false;
    }
    const auto* bytes = static_cast<const uint8_t*>(data);
    while (size > 0) {
      const DWORD part = static_cast<DWORD>(std::min<size_t>(size, kMostAtOnce));
      DWORD written = 0;
      if (!WriteFile(file_, bytes, part, &written, nullptr) || written != part) {
        position_ = kUnknown;
        return false;
      }
      position_ += part;
      bytes += part;
      size -= part;
    }
    return true;
  }

  bool ReadAt(uint64_t offset, void* data, size_t size, size_t* got) override {
    *got = 0;
    if (!Seek(offset)) {
      return false;
    }
    auto* bytes = static_cast<uint8_t*>(data);
    while (size > 0) {
      const DWORD part = static_cast<DWORD>(std::min<size_t>(size, kMostAtOnce));
      DWORD read = 0;
      if (!ReadFile(file_, bytes, part, &read, nullptr)) {
        position_ = kUnknown;
        return false;
      }
      position_ += read;
      *got += read;
      if (read < part) {
        break;  // the end of the file
      }
      bytes += part;
      size -= part;
    }
    return true;
  }

  const std::string& name() const override { return name_; }

 private:
  // Moves the file pointer only when the offset is not where it stands: writes mostly follow
  // each other.
  bool Seek(uint64_t offset) {
    if (offset == position_) {
      return true;
    }
    LONG high = static_cast<LONG>(offset >> 32);
    // The error of an earlier write (a full disk) outlives the seek, which clears it here.
    const DWORD earlier = GetLastError();
    SetLastError(ERROR_SUCCESS);
    if (SetFilePointer(file_, static_cast<LONG>(offset & 0xFFFFFFFF), &high, FILE_BEGIN) ==
            INVALID_SET_FILE_POINTER &&
        GetLastError() != ERROR_SUCCESS) {
      position_ = kUnknown;
      return false;
    }
    SetLastError(earlier);
    position_ = offset;
    return true;
  }

  static constexpr uint64_t kUnknown = ~uint64_t{0};
  HANDLE file_;
  std::string name_;
  uint64_t position_ = kUnknown;
};

int SavingFailed(const std::string& error, const std::string& path) {
  std::fprintf(stderr, "%s\n", error.c_str());
  std::fprintf(stderr, "error saving %s\n", path.c_str());
  return 1;
}

// Whether the encoder takes the bitmap's rows as they are, with nothing to convert first:
// they can then go to it a few at a time.
bool TakesRowsAsTheyAre(uint32_t code, const imaging::RowLayout& layout) {
  const imaging::Encoder* encoder = imaging::FindEncoder(code);
  if (encoder == nullptr || encoder->open_rows == nullptr) {
    return false;
  }
  // JPEG holds no palette, and takes indices only as grey levels.
  return layout.indexed() ? (encoder->accepts & imaging::kTakesPalette) != 0
                          : (encoder->accepts & imaging::kTakesRgb) != 0;
}

// Counts the colours of the rows, a band at a time, for a PNG that may be reduced; the indexed
// layout that holds them, or the RGB layout when they are too many.
imaging::RowLayout ReducedPngLayout(const imaging::DibRows& rows, imaging::ColourCensus& census) {
  const imaging::RowLayout& layout = rows.layout();
  std::vector<uint8_t> band(layout.RowBytes() * kRowsAtOnce);
  for (int top = 0; top < layout.height; top += kRowsAtOnce) {
    const int count = std::min(kRowsAtOnce, layout.height - top);
    rows.ReadRows(top, count, band.data());
    census.AddRows(band.data(), layout.RowBytes(), count, layout.width);
    if (!census.Reducible()) {
      return layout;
    }
  }
  return census.ReducedLayout(layout);
}

// Where a page's rows go once their layout is settled: a file of its own, or the next page of
// a file of pages. Null with a message when the writer cannot be had.
using OpenWriter =
    std::function<std::unique_ptr<imaging::RowWriter>(const imaging::RowLayout&, std::string*)>;

// Encodes the rows a band at a time, so that a page's memory stays that of a band whatever
// its size. A PNG to be reduced takes a first pass that counts colours.
int StreamRows(const imaging::DibRows& rows, uint32_t code, const OpenWriter& open,
               const std::string& outputName, const EncodeOptions& options) {
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
  std::string error;
  std::unique_ptr<imaging::RowWriter> writer = open(layout, &error);
  if (writer == nullptr) {
    return SavingFailed(error, outputName);
  }
  const imaging::RowLayout& source = rows.layout();
  std::vector<uint8_t> band(source.RowBytes() * kRowsAtOnce);
  std::vector<uint8_t> indices(reduced ? layout.RowBytes() * kRowsAtOnce : 0);
  for (int top = 0; top < layout.height; top += kRowsAtOnce) {
    const int count = std::min(kRowsAtOnce, layout.height - top);
    rows.ReadRows(top, count, band.data());
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
  return writer->Finish(&error) ? 0 : SavingFailed(error, outputName);
}

int StreamRows(const imaging::DibRows& rows, uint32_t code, imaging::OutputFile& output,
               const EncodeOptions& options) {
  return StreamRows(
      rows, code,
      [&](const imaging::RowLayout& layout, std::string* error) {
        return imaging::OpenRowWriter(code, layout, output, error);
      },
      output.name(), options);
}

EncodeOptions EncodeOptionsOf(const ImageSettings& settings) {
  EncodeOptions options;
  options.xDpi = checked::Cast<int>(settings.xResolution).value_or(0);
  options.yDpi = checked::Cast<int>(settings.yResolution).value_or(0);
  options.reducePng = settings.reducePng != 0;
  return options;
}

// A multi-page TIFF of a job's pages, each drawn and its rows written as the next page.
class TiffDocument final : public JobDocument {
 public:
  TiffDocument(ScopedHandle file, std::string staged, const ImageSettings& settings)
      : file_(std::move(file)),
        staged_(std::move(staged)),
        output_(file_.Get(), staged_),
        settings_(settings) {}

  ~TiffDocument() override {
    if (!finished_) {
      pages_.reset();  // it may still write into the file
      file_.Reset();
      DeleteFileA(staged_.c_str());
    }
  }

  bool Open(uint64_t pixelBytes, std::string& reason) {
    std::string error;
    pages_ = imaging::OpenTiffPages(output_, &error, pixelBytes);
    if (pages_ == nullptr) {
      reason = error;
      return false;
    }
    return true;
  }

  std::string AddPage(const std::string& pagePath) override {
    if (!failure_.empty()) {
      return failure_;
    }
    std::string reason;
    DrawnPage drawn;
    if (!DrawPage(pagePath, settings_, drawn, &reason)) {
      return reason;  // nothing of it reached the file
    }
    std::string error;
    const std::unique_ptr<imaging::DibRows> rows =
        imaging::DibRows::Open(drawn.Info(), drawn.Pixels(), &error);
    if (rows == nullptr) {
      return error;
    }
    const int number = ++pages_written_;
    const auto nextPage = [&](const imaging::RowLayout& layout, std::string* why) {
      return pages_->NextPage(layout, number, 0, why);
    };
    if (StreamRows(*rows, imaging::kFormatTiff, nextPage, staged_, EncodeOptionsOf(settings_)) !=
        0) {
      // Part of it may be in the file: the document is no longer what its pages say.
      failure_ = DocumentWriteFailure(GetLastError() == ERROR_DISK_FULL, "");
      return failure_;
    }
    return {};
  }

  std::string Finish() override {
    std::string error;
    if (failure_.empty() && !pages_->Finish(&error)) {
      failure_ = DocumentWriteFailure(GetLastError() == ERROR_DISK_FULL, error);
    }
    pages_.reset();
    file_.Reset();  // closed before it is moved or deleted
    if (!failure_.empty()) {
      DeleteFileA(staged_.c_str());
    }
    finished_ = true;
    return failure_;
  }

 private:
  ScopedHandle file_;
  std::string staged_;
  HandleOutput output_;
  ImageSettings settings_;
  std::unique_ptr<imaging::PageFileWriter> pages_;
  int pages_written_ = 0;
  std::string failure_;
  bool finished_ = false;
};

}  // namespace

std::unique_ptr<JobDocument> StartTiffDocument(const std::string& staged,
                                               const ImageSettings& settings, uint64_t pixelBytes,
                                               std::string& reason) {
  ScopedHandle file(CreateFileA(staged.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) {
    reason = "its file could not be created (error " + std::to_string(GetLastError()) + ")";
    return nullptr;
  }
  auto document = std::make_unique<TiffDocument>(std::move(file), staged, settings);
  if (!document->Open(pixelBytes, reason)) {
    return nullptr;  // its destructor removes the file
  }
  return document;
}

int SaveImageFile(imaging::OutputFile& output, uint32_t code, imaging::Image& image,
                  const EncodeOptions& options) {
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
  return image.Save(output, code) ? 0 : SavingFailed(image.last_error, output.name());
}

int EncodeRows(const imaging::DibRows& rows, uint32_t code, imaging::OutputFile& output,
               const EncodeOptions& options) {
  if (code == 0) {
    std::fprintf(stderr, "unknown extension for %s\n", output.name().c_str());
    return 1;
  }
  const imaging::RowLayout& layout = rows.layout();
  if (TakesRowsAsTheyAre(code, layout)) {
    return StreamRows(rows, code, output, options);
  }
  // The other formats take a whole image, as the image library holds it.
  if (static_cast<uint64_t>(layout.width) * static_cast<uint64_t>(layout.height) >
      imaging::kMaxPixels) {
    return SavingFailed("the page is too large to be held whole for this format", output.name());
  }
  imaging::Image image;
  image.Reset(layout.width, layout.height, layout.bpp, layout.palette);
  for (int top = 0; top < layout.height; top += kRowsAtOnce) {
    rows.ReadRows(top, std::min(kRowsAtOnce, layout.height - top), image.Row(top));
  }
  image.SetXDPI(layout.x_dpi);
  image.SetYDPI(layout.y_dpi);
  const int result = SaveImageFile(output, code, image, options);
  image.Destroy();
  return result;
}

int EncodeBitmap(std::span<const uint8_t> info, std::span<const uint8_t> pixels,
                 const std::string& outputPath, HANDLE output, const EncodeOptions& options) {
  std::string error;
  const std::unique_ptr<imaging::DibRows> rows = imaging::DibRows::Open(info, pixels, &error);
  if (rows == nullptr) {
    return SavingFailed(error, outputPath);
  }
  HandleOutput file(output, outputPath);
  return EncodeRows(*rows, FormatCodeFromExtension(outputPath), file, options);
}

int EncodeImageFile(const std::string& bmpPath, const std::string& outputPath,
                    const EncodeOptions& options) {
  constexpr size_t kFileHeaderSize = 14;
  std::vector<uint8_t> bmp;
  {
    ScopedHandle file(CreateFileA(bmpPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD high = 0;
    const DWORD low = file.Valid() ? GetFileSize(file.Get(), &high) : INVALID_FILE_SIZE;
    DWORD got = 0;
    if (!file.Valid() || high != 0 || low == INVALID_FILE_SIZE ||
        (bmp.resize(low), !ReadFile(file.Get(), bmp.data(), low, &got, nullptr)) || got != low) {
      std::fprintf(stderr, "error loading %s\n", bmpPath.c_str());
      return 1;
    }
  }
  uint32_t pixelOffset = 0;
  if (bmp.size() >= kFileHeaderSize) {
    std::memcpy(&pixelOffset, bmp.data() + 10, 4);
  }
  if (bmp.size() < kFileHeaderSize || bmp[0] != 'B' || bmp[1] != 'M' ||
      pixelOffset < kFileHeaderSize || pixelOffset > bmp.size()) {
    std::fprintf(stderr, "not a BMP file\nerror loading %s\n", bmpPath.c_str());
    return 1;
  }
  const std::span<const uint8_t> bytes(bmp);
  // Created exclusively: an output never replaces a file, nor writes through a link.
  ScopedHandle output(CreateFileA(outputPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!output.Valid()) {
    return SavingFailed("the output file could not be created", outputPath);
  }
  const int result = EncodeBitmap(bytes.subspan(kFileHeaderSize, pixelOffset - kFileHeaderSize),
                                  bytes.subspan(pixelOffset), outputPath, output.Get(), options);
  output.Reset();
  if (result != 0) {
    DeleteFileA(outputPath.c_str());
  }
  return result;
}

ImageWriting::~ImageWriting() {
  if (thread_.joinable()) {
    thread_.join();
    file_.Reset();
    DeleteFileA(outputPath_.c_str());
  }
}

std::unique_ptr<ImageWriting> ImageWriting::Start(const std::string& pagePath,
                                                  const std::string& outputPath,
                                                  const ImageSettings& settings,
                                                  std::string& reason) {
  auto writing = std::unique_ptr<ImageWriting>(new ImageWriting());
  if (!DrawPage(pagePath, settings, writing->drawn_, &reason)) {
    return nullptr;
  }
  // Made here, exclusively, and written through its handle.
  writing->file_.Reset(CreateFileA(outputPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                   CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!writing->file_.Valid()) {
    reason = "its output file could not be created (error " + std::to_string(GetLastError()) + ")";
    return nullptr;
  }
  writing->outputPath_ = outputPath;
  const EncodeOptions options = EncodeOptionsOf(settings);
  ImageWriting& w = *writing;
  try {
    w.thread_ = std::thread([&w, options] {
      w.encoded_ = EncodeBitmap(w.drawn_.Info(), w.drawn_.Pixels(), w.outputPath_, w.file_.Get(),
                                options) == 0;
      w.error_ = GetLastError();  // the thread's own
    });
  } catch (const std::system_error&) {
    w.file_.Reset();
    DeleteFileA(outputPath.c_str());
    reason = "no thread could be started to encode it";
    return nullptr;
  }
  return writing;
}

int ImageWriting::Finish(std::string& reason) {
  thread_.join();
  file_.Reset();  // closed before it is moved or deleted
  if (encoded_) {
    return 1;
  }
  DeleteFileA(outputPath_.c_str());
  char ext[_MAX_EXT];
  _splitpath(outputPath_.c_str(), nullptr, nullptr, nullptr, ext);
  reason = error_ == ERROR_DISK_FULL ? "the disk is full"
                                     : std::string("the image could not be encoded as ") + ext;
  return 0;
}

int RenderPageToImage(const std::string& pagePath, const std::string& outputPath,
                      const ImageSettings& settings, std::string& reason) {
  const std::unique_ptr<ImageWriting> writing =
      ImageWriting::Start(pagePath, outputPath, settings, reason);
  return writing != nullptr ? writing->Finish(reason) : 0;
}
