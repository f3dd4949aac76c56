// TIFF through libtiff. The codec option is the compression tag: 4 (CCITT Group 4) for
// black and white, 32773 (PackBits) otherwise; 0 means none. The resolution goes in
// XResolution and YResolution, in inches. Rows go to libtiff as they come; an image whose
// pixels pass 2 GB is written as BigTIFF, whose offsets have no 4 GB limit.
#include <tiffio.h>

#include <algorithm>
#include <vector>

#include "imaging/encoders.h"

namespace imaging {
namespace {

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

// The rows of one image: a file of its own, or with a page number, one page of a file of
// pages, whose directory Finish writes.
class TiffRows final : public RowWriter {
 public:
  TiffRows(TIFF* tiff, const std::string& path, const RowLayout& layout, TiffPage page = {})
      : tiff_(tiff), path_(path), layout_(layout), page_(page) {
    bilevel_ = layout.indexed() && layout.bpp == 1;
    TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(layout.width));
    TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(layout.height));
    TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tiff, TIFFTAG_COMPRESSION, CompressionFor(layout.codec_option, bilevel_));
    TIFFSetField(tiff, TIFFTAG_XRESOLUTION, static_cast<float>(layout.x_dpi));
    TIFFSetField(tiff, TIFFTAG_YRESOLUTION, static_cast<float>(layout.y_dpi));
    TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, bilevel_ ? layout.height : 16);
    SetPixelForm(tiff, layout, bilevel_);
    if (page.number > 0) {
      TIFFSetField(tiff, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
      TIFFSetField(tiff, TIFFTAG_PAGENUMBER, static_cast<uint16_t>(page.number - 1),
                   static_cast<uint16_t>(page.pages));
    }
    if (bilevel_) {
      bits_.resize((static_cast<size_t>(layout.width) + 7) / 8);
    }
  }
  ~TiffRows() override {
    if (page_.number == 0) {
      Close();
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
        *error = whole ? "libtiff could not write " + path_ : "the page's rows were not all given";
      }
      return written;
    }
    // TIFFClose writes the directory; whether it could is told by the flush before it.
    const bool flushed = !failed_ && whole && TIFFFlush(tiff_) == 1;
    Close();
    if (!flushed) {
      *error = whole ? "libtiff could not write " + path_ : "the image's rows were not all given";
    }
    return flushed;
  }

 private:
  void Close() {
    if (tiff_ != nullptr) {
      TIFFClose(tiff_);
      tiff_ = nullptr;
    }
  }

  TIFF* tiff_;
  std::string path_;
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
  TiffPages(TIFF* tiff, const std::string& path) : tiff_(tiff), path_(path) {}
  ~TiffPages() override {
    if (tiff_ != nullptr) {
      TIFFClose(tiff_);
    }
  }
  std::unique_ptr<RowWriter> NextPage(const RowLayout& layout, int number, int pages,
                                      std::string* error) override {
    if (tiff_ == nullptr || number < 1 || number > 65535) {
      *error = "no further page can be written to " + path_;
      return nullptr;
    }
    ++begun_;
    return std::make_unique<TiffRows>(tiff_, path_, layout, TiffPage{number, pages});
  }
  bool Finish(std::string* error) override {
    const bool flushed = tiff_ != nullptr && begun_ > 0 && TIFFFlush(tiff_) == 1;
    if (tiff_ != nullptr) {
      TIFFClose(tiff_);
      tiff_ = nullptr;
    }
    if (!flushed) {
      *error = begun_ == 0 ? "a file of pages with no page" : "libtiff could not write " + path_;
    }
    return flushed;
  }

 private:
  TIFF* tiff_;
  std::string path_;
  int begun_ = 0;
};

}  // namespace

std::unique_ptr<PageFileWriter> OpenTiffPages(const std::string& path, std::string* error) {
  TIFFSetErrorHandler(nullptr);
  TIFFSetWarningHandler(nullptr);
  // BigTIFF, since the pages' sum is not known before they are drawn.
  TIFF* tiff = TIFFOpen(path.c_str(), "w8");
  if (tiff == nullptr) {
    *error = "cannot create " + path;
    return nullptr;
  }
  return std::make_unique<TiffPages>(tiff, path);
}

std::unique_ptr<RowWriter> OpenTiffRows(const RowLayout& layout, const std::string& path,
                                        std::string* error) {
  TIFFSetErrorHandler(nullptr);
  TIFFSetWarningHandler(nullptr);
  const uint64_t pixel_bytes = uint64_t(layout.width) * layout.height * (layout.indexed() ? 1 : 3);
  TIFF* tiff = TIFFOpen(path.c_str(), pixel_bytes >= (uint64_t{1} << 31) ? "w8" : "w");
  if (tiff == nullptr) {
    *error = "cannot create " + path;
    return nullptr;
  }
  return std::make_unique<TiffRows>(tiff, path, layout);
}

}  // namespace imaging
