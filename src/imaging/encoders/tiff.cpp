// TIFF through libtiff. The codec option is the compression tag: 4 (CCITT Group 4) for
// black and white, 32773 (PackBits) otherwise; 0 means none. The resolution goes in
// XResolution and YResolution, in inches. Rows go to libtiff as they come; an image whose
// pixels pass 2 GB is written as BigTIFF, whose offsets have no 4 GB limit. libtiff writes
// through the buffered output and reads its own directories back from it.
#include <tiffio.h>

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <vector>

#include "imaging/encoders.h"

namespace imaging {
namespace {

// libtiff's file: the buffered output, at the position libtiff moves.
class TiffFile {
 public:
  explicit TiffFile(OutputFile& file) : out_(file) {}
  TiffFile(const TiffFile&) = delete;
  TiffFile& operator=(const TiffFile&) = delete;
  ~TiffFile() { Close(); }

  // Starts the file in libtiff's mode ("w", or "w8" for BigTIFF); false when it cannot.
  bool Open(const char* mode) {
    // libtiff keeps its handlers in globals: they are set once, for files written on any thread.
    static std::once_flag quiet;
    std::call_once(quiet, [] {
      TIFFSetErrorHandler(nullptr);
      TIFFSetWarningHandler(nullptr);
    });
    tiff_ = TIFFClientOpen(out_.name().c_str(), mode, this, Read, Write, Seek, CloseNothing, Size,
                           MapNothing, UnmapNothing);
    return tiff_ != nullptr;
  }
  TIFF* tiff() const { return tiff_; }
  const std::string& name() const { return out_.name(); }

  // Lets libtiff end the file (it writes what it still holds), then sends every byte on;
  // false when some write failed.
  bool Close() {
    if (tiff_ != nullptr) {
      TIFFClose(tiff_);
      tiff_ = nullptr;
    }
    return out_.Flush();
  }

 private:
  static BufferedOutput& Out(thandle_t handle) { return static_cast<TiffFile*>(handle)->out_; }

  static tmsize_t Read(thandle_t handle, void* data, tmsize_t size) {
    BufferedOutput& out = Out(handle);
    size_t got = 0;
    if (size < 0 || !out.ReadAt(out.position(), data, static_cast<size_t>(size), &got)) {
      return -1;
    }
    out.Seek(out.position() + got);
    return static_cast<tmsize_t>(got);
  }
  static tmsize_t Write(thandle_t handle, void* data, tmsize_t size) {
    BufferedOutput& out = Out(handle);
    if (size < 0) {
      return -1;
    }
    out.Write(data, static_cast<size_t>(size));
    return out.Good() ? size : -1;
  }
  static toff_t Seek(thandle_t handle, toff_t offset, int whence) {
    BufferedOutput& out = Out(handle);
    const uint64_t from = whence == SEEK_CUR ? out.position() : whence == SEEK_END ? out.size() : 0;
    // toff_t is unsigned: a step back comes as its two's complement and wraps as it should.
    const uint64_t to = whence == SEEK_SET ? offset : from + offset;
    if ((whence == SEEK_CUR || whence == SEEK_END) && static_cast<int64_t>(offset) < 0 &&
        to > from) {
      return static_cast<toff_t>(-1);  // before the file's start
    }
    out.Seek(to);
    return to;
  }
  static toff_t Size(thandle_t handle) { return Out(handle).size(); }
  static int CloseNothing(thandle_t) { return 0; }  // the caller closes the file
  static int MapNothing(thandle_t, void**, toff_t*) { return 0; }
  static void UnmapNothing(thandle_t, void*, toff_t) {}

  BufferedOutput out_;
  TIFF* tiff_ = nullptr;
};

uint16_t CompressionFor(uint32_t codec_option, bool bilevel) {
  uint16_t compression = static_cast<uint16_t>(codec_option);
  if (compression == COMPRESSION_CCITTFAX4 && !bilevel) {
    return COMPRESSION_PACKBITS;  // Group 4 codes only black and white
  }
  if (compression != COMPRESSION_NONE && compression != COMPRESSION_CCITTFAX4 &&
      compression != COMPRESSION_PACKBITS && compression != COMPRESSION_LZW &&
      compression != COMPRESSION_ADOBE_DEFLATE) {
    return COMPRESSION_PACKBITS;
  }
  return compression;
}

void SetPixelForm(TIFF* tiff, const RowLayout& layout, bool bilevel) {
  if (bilevel) {
    // 0 is white here, as fax coding expects.
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
  } else if (layout.indexed()) {
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_PALETTE);
    std::vector<uint16_t> red(256), green(256), blue(256);
    for (size_t i = 0; i < layout.palette.size() && i < 256; ++i) {
      red[i] = static_cast<uint16_t>(layout.palette[i].r * 257);
      green[i] = static_cast<uint16_t>(layout.palette[i].g * 257);
      blue[i] = static_cast<uint16_t>(layout.palette[i].b * 257);
    }
    TIFFSetField(tiff, TIFFTAG_COLORMAP, red.data(), green.data(), blue.data());
  } else {
    TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  }
}

// Which page of a file of pages an image is.
struct TiffPage {
  int number = 0;  // from 1; 0 for a file of one image, which closes the file at its end
  int pages = 0;
};

// The rows of one image: a file of its own (which it owns), or with a page number, one page
// of a file of pages, whose directory Finish writes.
class TiffRows final : public RowWriter {
 public:
  TiffRows(const TiffFile& file, const RowLayout& layout, TiffPage page,
           std::unique_ptr<TiffFile> own = nullptr)
      : own_(std::move(own)), tiff_(file.tiff()), name_(file.name()), layout_(layout), page_(page) {
    bilevel_ = layout.indexed() && layout.bpp == 1;
    TIFFSetField(tiff_, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(layout.width));
    TIFFSetField(tiff_, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(layout.height));
    TIFFSetField(tiff_, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff_, TIFFTAG_COMPRESSION, CompressionFor(layout.codec_option, bilevel_));
    TIFFSetField(tiff_, TIFFTAG_XRESOLUTION, static_cast<float>(layout.x_dpi));
    TIFFSetField(tiff_, TIFFTAG_YRESOLUTION, static_cast<float>(layout.y_dpi));
    TIFFSetField(tiff_, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    TIFFSetField(tiff_, TIFFTAG_ROWSPERSTRIP, bilevel_ ? layout.height : 16);
    SetPixelForm(tiff_, layout, bilevel_);
    if (page.number > 0) {
      TIFFSetField(tiff_, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
      TIFFSetField(tiff_, TIFFTAG_PAGENUMBER, static_cast<uint16_t>(page.number - 1),
                   static_cast<uint16_t>(page.pages));
    }
    if (bilevel_) {
      bits_.resize((static_cast<size_t>(layout.width) + 7) / 8);
    }
  }

  bool WriteRows(const uint8_t* rows, size_t stride, int count) override {
    for (int i = 0; i < count && failed_ == false && written_ < layout_.height; ++i) {
      const uint8_t* source = rows + static_cast<size_t>(i) * stride;
      void* data = const_cast<uint8_t*>(source);
      if (bilevel_) {
        std::fill(bits_.begin(), bits_.end(), 0);
        for (int x = 0; x < layout_.width; ++x) {
          const bool black =
              source[x] >= layout_.palette.size() || layout_.palette[source[x]].r < 128;
          bits_[x / 8] = static_cast<uint8_t>(bits_[x / 8] | (black ? 0x80 >> (x % 8) : 0));
        }
        data = bits_.data();
      }
      failed_ = TIFFWriteScanline(tiff_, data, static_cast<uint32_t>(written_++), 0) < 0;
    }
    return !failed_;
  }

  bool Finish(std::string* error) override {
    const bool whole = written_ == layout_.height;
    if (page_.number > 0) {
      // The page's directory, and the next page begins behind it.
      const bool written = !failed_ && whole && TIFFWriteDirectory(tiff_) == 1;
      if (!written) {
        *error = whole ? "libtiff could not write " + name_ : "the page's rows were not all given";
      }
      return written;
    }
    // The flush writes the directory, the close sends every byte on.
    const bool flushed = !failed_ && whole && TIFFFlush(tiff_) == 1;
    const bool closed = own_->Close();
    if (!flushed || !closed) {
      *error = whole ? "libtiff could not write " + name_ : "the image's rows were not all given";
    }
    return flushed && closed;
  }

 private:
  std::unique_ptr<TiffFile> own_;  // for a file of one image
  TIFF* tiff_;
  std::string name_;
  RowLayout layout_;
  TiffPage page_;
  bool bilevel_ = false;
  bool failed_ = false;
  int written_ = 0;
  std::vector<uint8_t> bits_;
};

// Pages one after the other; each page's writer must be finished before the next begins.
class TiffPages final : public PageFileWriter {
 public:
  explicit TiffPages(std::unique_ptr<TiffFile> file) : file_(std::move(file)) {}
  std::unique_ptr<RowWriter> NextPage(const RowLayout& layout, int number, int pages,
                                      std::string* error) override {
    if (file_->tiff() == nullptr || number < 1 || number > 65535) {
      *error = "no further page can be written to " + file_->name();
      return nullptr;
    }
    ++begun_;
    return std::make_unique<TiffRows>(*file_, layout, TiffPage{number, pages});
  }
  bool Finish(std::string* error) override {
    const bool flushed = file_->tiff() != nullptr && begun_ > 0 && TIFFFlush(file_->tiff()) == 1;
    const bool closed = file_->Close();
    if (!flushed || !closed) {
      *error =
          begun_ == 0 ? "a file of pages with no page" : "libtiff could not write " + file_->name();
    }
    return flushed && closed;
  }

 private:
  std::unique_ptr<TiffFile> file_;
  int begun_ = 0;
};

// A file of pages at a path: the file closes after the pages' Finish.
class PagesWithFile final : public PageFileWriter {
 public:
  PagesWithFile(std::unique_ptr<PathOutput> file, std::unique_ptr<PageFileWriter> pages)
      : file_(std::move(file)), pages_(std::move(pages)) {}
  std::unique_ptr<RowWriter> NextPage(const RowLayout& layout, int number, int pages,
                                      std::string* error) override {
    return pages_->NextPage(layout, number, pages, error);
  }
  bool Finish(std::string* error) override {
    bool finished = pages_->Finish(error);
    if (!file_->Close() && finished) {
      *error = "cannot finish " + file_->name();
      finished = false;
    }
    return finished;
  }

 private:
  std::unique_ptr<PathOutput> file_;  // declared first: destroyed after the pages
  std::unique_ptr<PageFileWriter> pages_;
};

}  // namespace

std::unique_ptr<PageFileWriter> OpenTiffPages(OutputFile& file, std::string* error,
                                              uint64_t pixel_bytes) {
  auto tiff = std::make_unique<TiffFile>(file);
  // Classic TIFF's offsets end at 4 GB: half of that leaves room for what compression adds.
  if (!tiff->Open(pixel_bytes >= (uint64_t{1} << 31) ? "w8" : "w")) {
    *error = "libtiff could not write " + file.name();
    return nullptr;
  }
  return std::make_unique<TiffPages>(std::move(tiff));
}

std::unique_ptr<PageFileWriter> OpenTiffPages(const std::string& path, std::string* error) {
  std::unique_ptr<PathOutput> file = PathOutput::Create(path, error);
  if (file == nullptr) {
    return nullptr;
  }
  std::unique_ptr<PageFileWriter> pages = OpenTiffPages(*file, error);
  if (pages == nullptr) {
    return nullptr;
  }
  return std::make_unique<PagesWithFile>(std::move(file), std::move(pages));
}

std::unique_ptr<RowWriter> OpenTiffRows(const RowLayout& layout, OutputFile& file,
                                        std::string* error) {
  auto tiff = std::make_unique<TiffFile>(file);
  const uint64_t pixel_bytes = uint64_t(layout.width) * layout.height * (layout.indexed() ? 1 : 3);
  if (!tiff->Open(pixel_bytes >= (uint64_t{1} << 31) ? "w8" : "w")) {
    *error = "libtiff could not write " + file.name();
    return nullptr;
  }
  const TiffFile& opened = *tiff;
  return std::make_unique<TiffRows>(opened, layout, TiffPage{}, std::move(tiff));
}

}  // namespace imaging
