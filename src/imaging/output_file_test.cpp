// The encoders writing into a file their caller opened: the same bytes as through a path, a
// full disk told as failure by every writer, and the buffer in front of the file.
#include "imaging/output_file.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "imaging/colour_census.h"
#include "imaging/encoders.h"
#include "imaging/image.h"
#include "imaging/row_writer.h"
#include "support/test_support.h"

namespace imaging {
namespace {

using testing_support::TempDir;

// A file in memory that takes at most limit bytes, as a disk that fills up: a write past it
// keeps what fits and fails.
class MemoryFile final : public OutputFile {
 public:
  explicit MemoryFile(uint64_t limit = ~uint64_t{0}) : limit_(limit) {}

  bool WriteAt(uint64_t offset, const void* data, size_t size) override {
    ++writes_;
    const uint64_t end = std::min<uint64_t>(offset + size, limit_);
    if (end > offset) {
      bytes_.resize(std::max<uint64_t>(bytes_.size(), end));
      std::memcpy(bytes_.data() + offset, data, end - offset);
    }
    return offset + size <= limit_;
  }
  bool ReadAt(uint64_t offset, void* data, size_t size, size_t* got) override {
    *got = offset < bytes_.size() ? std::min<size_t>(size, bytes_.size() - offset) : 0;
    std::memcpy(data, bytes_.data() + std::min<uint64_t>(offset, bytes_.size()), *got);
    return true;
  }
  const std::string& name() const override { return name_; }

  const std::vector<uint8_t>& bytes() const { return bytes_; }
  int writes() const { return writes_; }

 private:
  uint64_t limit_;
  std::vector<uint8_t> bytes_;
  std::string name_ = "memory";
  int writes_ = 0;
};

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Noisy enough that most formats pass the buffer's size.
Image Picture(int width, int height, uint16_t bpp) {
  std::vector<Rgb> palette;
  for (int i = 0; bpp <= 8 && i < (1 << bpp); ++i) {
    palette.push_back({static_cast<uint8_t>(i * 255 / ((1 << bpp) - 1)),
                       static_cast<uint8_t>(i * 37), static_cast<uint8_t>(255 - i)});
  }
  Image image;
  image.Reset(width, height, bpp, palette);
  std::minstd_rand random(7);
  for (uint8_t& v : image.pixels()) {
    v = static_cast<uint8_t>(bpp <= 8 ? random() % palette.size() : random() % 256);
  }
  image.SetXDPI(300);
  image.SetYDPI(150);
  return image;
}

std::vector<uint32_t> EveryFormat() {
  std::vector<uint32_t> formats;
  for (uint32_t code = 0; code < 64; ++code) {
    if (FindEncoder(code) != nullptr) {
      formats.push_back(code);
    }
  }
  return formats;
}

uint32_t U32At(const std::vector<uint8_t>& bytes, size_t at, bool big_endian) {
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i) {
    value |= uint32_t{bytes[at + (big_endian ? 3 - i : i)]} << (8 * i);
  }
  return value;
}

bool EndsWith(const std::vector<uint8_t>& bytes, std::string_view end) {
  return bytes.size() >= end.size() &&
         std::equal(end.begin(), end.end(), bytes.end() - static_cast<std::ptrdiff_t>(end.size()),
                    [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; });
}

// Whether the file a 301 x 197 RGB picture made in the format is whole, by the format's own
// sizes and end markers: a tail that never left the buffer fails here, where comparing two
// files of the same code cannot tell.
bool IsWhole(uint32_t format, const std::vector<uint8_t>& bytes) {
  constexpr size_t kWidth = 301, kHeight = 197, kBits = (kWidth + 7) / 8;
  const std::string_view iend("\0\0\0\0IEND\xAE\x42\x60\x82", 12);
  const size_t size = bytes.size();
  switch (format) {
    case kFormatBmp:
      return size > 6 && U32At(bytes, 2, false) == size;
    case kFormatGif:
      return EndsWith(bytes, ";");
    case kFormatJpeg:
    case kFormatJpc:
      return EndsWith(bytes, "\xFF\xD9");
    case kFormatPng:
      return EndsWith(bytes, iend);
    case kFormatIco:
      return size > 22 && 22 + U32At(bytes, 14, false) == size && EndsWith(bytes, iend);
    case kFormatTga:
      return size == 18 + kWidth * kHeight * 3;
    case kFormatWbmp:
      return size == 6 + kBits * kHeight;  // 301 and 197 take two bytes each
    case kFormatPgx:
      return size == std::string_view("PG ML + 8 301 197\n").size() + kWidth * kHeight;
    case kFormatPnm:
      return size == std::string_view("P6\n301 197\n255\n").size() + kWidth * kHeight * 3;
    case kFormatPbm:
      return size == std::string_view("P4\n301 197\n").size() + kBits * kHeight;
    case kFormatRas:
      return size == 32 + (kWidth * 3 + 1) / 2 * 2 * kHeight;
    case kFormatWebp:  // RIFF's size is that of the rest
      return size > 12 && U32At(bytes, 4, false) + 8 == size &&
             std::string_view(reinterpret_cast<const char*>(bytes.data()) + 8, 4) == "WEBP";
    case kFormatJp2: {  // boxes end to end up to the codestream's end
      uint64_t at = 0;
      while (at + 8 <= size && U32At(bytes, at, true) >= 8) {
        at += U32At(bytes, at, true);
      }
      return at == size && EndsWith(bytes, "\xFF\xD9");
    }
    case kFormatPcx: {  // runs that make three planes of every row, and nothing after them
      size_t decoded = 0, at = 128;
      while (at < size) {
        const bool run = bytes[at] >= 0xC0;
        decoded += run ? bytes[at] & 0x3F : 1;
        at += run ? 2 : 1;
      }
      return at == size && decoded == (kWidth + 1) / 2 * 2 * 3 * kHeight;
    }
    case kFormatTiff: {  // every strip read back by libtiff
      TempDir dir;
      testing_support::WriteFile(dir / "t.tif", std::string(bytes.begin(), bytes.end()));
      TIFFSetErrorHandler(nullptr);
      TIFF* tiff = TIFFOpen((dir / "t.tif").c_str(), "r");
      bool read = tiff != nullptr;
      std::vector<uint8_t> row(kWidth * 3);
      for (uint32_t y = 0; read && y < kHeight; ++y) {
        read = TIFFReadScanline(tiff, row.data(), y, 0) == 1;
      }
      if (tiff != nullptr) {
        TIFFClose(tiff);
      }
      return read;
    }
    default:
      return false;  // a format this test does not know yet
  }
}

// Every encoder of the list writes the same bytes into a file it is given as into a path,
// and the file is whole.
TEST(OutputFiles, EveryFormatWritesTheBytesItWritesThroughAPath) {
  TempDir dir;
  const Image pictures[] = {Picture(301, 197, 24), Picture(64, 40, 8), Picture(77, 21, 1)};
  ASSERT_GE(EveryFormat().size(), 15u);
  for (uint32_t format : EveryFormat()) {
    for (const Image& picture : pictures) {
      const std::string what = std::string(FindEncoder(format)->name) + " from " +
                               std::to_string(picture.bpp()) + " bits";
      Image image = picture;
      ASSERT_TRUE(image.Save(dir / "through-path", format)) << what << ": " << image.last_error;
      MemoryFile file;
      ASSERT_TRUE(image.Save(file, format)) << what << ": " << image.last_error;
      EXPECT_EQ(file.bytes(), ReadAll(dir / "through-path")) << what;
      if (picture.bpp() == 24) {
        EXPECT_TRUE(IsWhole(format, file.bytes())) << what;
      }
      // The buffer, not the encoder, decides how often the file is written.
      EXPECT_LE(file.writes(), static_cast<int>(file.bytes().size() / 4096) + 8) << what;
    }
  }
}

// The streaming writers and the reducing PNG writer, given bands of rows.
TEST(OutputFiles, RowWritersWriteTheBytesTheyWriteThroughAPath) {
  TempDir dir;
  struct Case {
    const char* what;
    uint32_t format;
    bool reduce;
    Image image;
  };
  const Case cases[] = {
      {"BMP", kFormatBmp, false, Picture(333, 211, 24)},
      {"BMP of 4 bits", kFormatBmp, false, Picture(99, 77, 4)},
      {"PNG", kFormatPng, false, Picture(333, 211, 24)},
      {"JPEG", kFormatJpeg, false, Picture(333, 211, 24)},
      {"TIFF", kFormatTiff, false, Picture(333, 211, 24)},
      {"TIFF of 1 bit", kFormatTiff, false, Picture(333, 211, 1)},
      {"reduced PNG", kFormatPng, true, Picture(200, 100, 4)},
      {"PNG past a palette", kFormatPng, true, Picture(200, 100, 24)},
  };
  for (const Case& c : cases) {
    Image source = c.image;
    if (c.reduce && source.indexed()) {
      ASSERT_TRUE(source.IncreaseBpp(24));  // few colours in RGB rows: a palette is found
    }
    const RowLayout layout = LayoutOf(source);
    auto write = [&](auto&& open) {
      std::string error;
      std::unique_ptr<RowWriter> rows = open(&error);
      EXPECT_NE(rows, nullptr) << c.what << ": " << error;
      if (rows == nullptr) {
        return;
      }
      for (int top = 0; top < source.height(); top += 16) {
        rows->WriteRows(source.Row(top), source.RowBytes(), std::min(16, source.height() - top));
      }
      EXPECT_TRUE(rows->Finish(&error)) << c.what << ": " << error;
    };
    MemoryFile file;
    if (c.reduce) {
      write([&](std::string* e) { return OpenReducingPngRows(layout, dir / "p", e); });
      write([&](std::string* e) { return OpenReducingPngRows(layout, file, e); });
    } else {
      write([&](std::string* e) { return OpenRowWriter(c.format, layout, dir / "p", e); });
      write([&](std::string* e) { return OpenRowWriter(c.format, layout, file, e); });
    }
    EXPECT_EQ(file.bytes(), ReadAll(dir / "p")) << c.what;
  }
}

// A disk that fills up at any point makes every writer fail with a message, never succeed:
// before the first byte, inside the buffer's first piece, half way, one byte short.
TEST(OutputFiles, AFullDiskFailsEveryWriter) {
  const Image picture = Picture(301, 197, 24);
  for (uint32_t format : EveryFormat()) {
    const std::string name = FindEncoder(format)->name;
    Image image = picture;
    MemoryFile whole;
    ASSERT_TRUE(image.Save(whole, format)) << name << ": " << image.last_error;
    const uint64_t size = whole.bytes().size();
    for (uint64_t limit : {uint64_t{0}, uint64_t{10}, size / 2, size - 1}) {
      MemoryFile full(limit);
      image.last_error.clear();
      EXPECT_FALSE(image.Save(full, format)) << name << " on a disk of " << limit << " bytes";
      EXPECT_FALSE(image.last_error.empty()) << name << " on a disk of " << limit << " bytes";
    }
    MemoryFile just(size);
    EXPECT_TRUE(image.Save(just, format)) << name << ": " << image.last_error;
  }

  // The streaming writers, and a file of pages, given every row.
  const RowLayout layout = LayoutOf(picture);
  using Open = std::unique_ptr<RowWriter> (*)(const RowLayout&, OutputFile&, std::string*);
  struct Writer {
    const char* what;
    Open open;
  };
  const Writer writers[] = {
      {"BMP", [](const RowLayout& l, OutputFile& f,
                 std::string* e) { return OpenRowWriter(kFormatBmp, l, f, e); }},
      {"PNG", [](const RowLayout& l, OutputFile& f,
                 std::string* e) { return OpenRowWriter(kFormatPng, l, f, e); }},
      {"JPEG", [](const RowLayout& l, OutputFile& f,
                  std::string* e) { return OpenRowWriter(kFormatJpeg, l, f, e); }},
      {"TIFF", [](const RowLayout& l, OutputFile& f,
                  std::string* e) { return OpenRowWriter(kFormatTiff, l, f, e); }},
      {"reducing PNG", [](const RowLayout& l, OutputFile& f,
                          std::string* e) { return OpenReducingPngRows(l, f, e); }},
      {"two TIFF pages", nullptr},
  };
  const auto write = [&](const Writer& writer, OutputFile& file, std::string* error) {
    if (writer.open != nullptr) {
      std::unique_ptr<RowWriter> rows = writer.open(layout, file, error);
      if (rows == nullptr) {
        return false;
      }
      rows->WriteRows(picture.Row(0), picture.RowBytes(), picture.height());
      return rows->Finish(error);
    }
    std::unique_ptr<PageFileWriter> pages = OpenTiffPages(file, error);
    for (int number = 1; pages != nullptr && number <= 2; ++number) {
      std::unique_ptr<RowWriter> page = pages->NextPage(layout, number, 2, error);
      if (page == nullptr) {
        return false;
      }
      page->WriteRows(picture.Row(0), picture.RowBytes(), picture.height());
      page->Finish(error);  // a page may fail or not; the file must
    }
    return pages != nullptr && pages->Finish(error);
  };
  for (const Writer& writer : writers) {
    MemoryFile whole;
    std::string error;
    ASSERT_TRUE(write(writer, whole, &error)) << writer.what << ": " << error;
    const uint64_t size = whole.bytes().size();
    for (uint64_t limit : {uint64_t{0}, uint64_t{100}, size / 2, size - 1}) {
      MemoryFile full(limit);
      error.clear();
      EXPECT_FALSE(write(writer, full, &error)) << writer.what << " on a disk of " << limit;
      EXPECT_FALSE(error.empty()) << writer.what << " on a disk of " << limit;
    }
  }
}

// Pages of several sizes and depths in a file given to the writer: libtiff reads every page
// back, and the file is the one written through a path.
TEST(OutputFiles, AFileOfPagesReadsBackPageByPage) {
  TempDir dir;
  const Image pages[] = {Picture(120, 90, 24), Picture(700, 500, 8), Picture(333, 44, 1)};
  auto write = [&](auto&& open) {
    std::string error;
    std::unique_ptr<PageFileWriter> file = open(&error);
    ASSERT_NE(file, nullptr) << error;
    for (int k = 0; k < 3; ++k) {
      RowLayout layout = LayoutOf(pages[k]);
      layout.codec_option = pages[k].bpp() == 1 ? 4 : 8;  // Group 4, Deflate
      std::unique_ptr<RowWriter> page = file->NextPage(layout, k + 1, 3, &error);
      ASSERT_NE(page, nullptr) << error;
      page->WriteRows(pages[k].Row(0), pages[k].RowBytes(), pages[k].height());
      ASSERT_TRUE(page->Finish(&error)) << error;
    }
    ASSERT_TRUE(file->Finish(&error)) << error;
  };
  MemoryFile memory;
  write([&](std::string* error) { return OpenTiffPages(memory, error); });
  write([&](std::string* error) { return OpenTiffPages(dir / "by-path.tif", error); });
  ASSERT_EQ(memory.bytes(), ReadAll(dir / "by-path.tif"));
  testing_support::WriteFile(dir / "given.tif",
                             std::string(memory.bytes().begin(), memory.bytes().end()));

  TIFFSetErrorHandler(nullptr);
  TIFF* tiff = TIFFOpen((dir / "given.tif").c_str(), "r");
  ASSERT_NE(tiff, nullptr);
  int read = 0;
  do {
    ASSERT_LT(read, 3);
    const Image& page = pages[read];
    uint32_t width = 0, height = 0;
    uint16_t bits = 0, number = 0, count = 0;
    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetField(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetField(tiff, TIFFTAG_PAGENUMBER, &number, &count);
    EXPECT_EQ(width, static_cast<uint32_t>(page.width())) << "page " << read + 1;
    EXPECT_EQ(height, static_cast<uint32_t>(page.height())) << "page " << read + 1;
    EXPECT_EQ(bits, page.bpp() == 1 ? 1 : 8) << "page " << read + 1;
    EXPECT_EQ(number, read);
    EXPECT_EQ(count, 3);
    // Every row, and the last compared, which a cut or misplaced strip would lose first.
    std::vector<uint8_t> row(static_cast<size_t>(TIFFScanlineSize(tiff)));
    for (uint32_t y = 0; y < height; ++y) {
      ASSERT_EQ(TIFFReadScanline(tiff, row.data(), y, 0), 1) << "page " << read + 1;
    }
    if (page.bpp() != 1) {  // indices or RGB as the image keeps them
      EXPECT_TRUE(std::equal(row.begin(), row.end(), page.Row(page.height() - 1)))
          << "page " << read + 1;
    }
    ++read;
  } while (TIFFReadDirectory(tiff) == 1);
  TIFFClose(tiff);
  EXPECT_EQ(read, 3);
}

// The buffer against a file written directly: writes forwards, backwards (as BMP's rows
// come), over each other, with gaps, past the buffer's size, and read back between them.
TEST(BufferedOutputs, ScatteredWritesLeaveTheFileADirectWriteLeaves) {
  std::minstd_rand random(11);
  for (int round = 0; round < 200; ++round) {
    MemoryFile direct;
    MemoryFile buffered_file;
    BufferedOutput buffered(buffered_file, 64);
    uint64_t position = 0;
    for (int step = 0; step < 40; ++step) {
      const int kind = static_cast<int>(random() % 6);
      std::vector<uint8_t> data(random() % (kind == 0 ? 150 : 24) + 1);
      for (uint8_t& v : data) {
        v = static_cast<uint8_t>(random());
      }
      if (kind == 1) {
        position = position >= data.size() ? position - data.size() : 0;  // backwards
      } else if (kind == 2) {
        position = random() % 400;  // anywhere, gaps included
      } else if (kind == 3) {
        position = position >= 10 ? position - 10 : 0;  // over what went just before
      } else if (kind == 4 && position > 0) {
        std::vector<uint8_t> want(30), got(30);
        size_t want_got = 0, got_got = 0;
        const uint64_t at = random() % position;
        direct.ReadAt(at, want.data(), want.size(), &want_got);
        ASSERT_TRUE(buffered.ReadAt(at, got.data(), got.size(), &got_got));
        ASSERT_EQ(got_got, want_got) << "round " << round << " step " << step;
        ASSERT_TRUE(std::equal(want.begin(), want.begin() + static_cast<std::ptrdiff_t>(want_got),
                               got.begin()))
            << "round " << round << " step " << step;
      }
      direct.WriteAt(position, data.data(), data.size());
      buffered.Seek(position);
      buffered.Write(data.data(), data.size());
      position += data.size();
      ASSERT_EQ(buffered.size(), direct.bytes().size()) << "round " << round;
    }
    ASSERT_TRUE(buffered.Flush());
    ASSERT_EQ(buffered_file.bytes(), direct.bytes()) << "round " << round;
  }
}

// A failed write sticks: what comes after it is dropped, and every flush says so.
TEST(BufferedOutputs, AFailedWriteSticks) {
  MemoryFile full(100);
  BufferedOutput out(full, 64);
  const std::vector<uint8_t> bytes(90, 1);
  out.Write(bytes.data(), 60);
  EXPECT_TRUE(out.Good());
  out.Write(bytes.data(), 60);  // the first 60 go out, and the next 60 fail at the flush
  EXPECT_FALSE(out.Flush());
  EXPECT_FALSE(out.Good());
  out.Seek(0);
  out.Write(bytes.data(), 10);
  EXPECT_FALSE(out.Flush());
  size_t got = 0;
  uint8_t byte = 0;
  EXPECT_FALSE(out.ReadAt(0, &byte, 1, &got));
}

// A stdio file the caller opened takes writes at offsets and gives them back.
TEST(OutputFiles, AStdioFileTakesWritesAtOffsets) {
  TempDir dir;
  std::FILE* stream = std::fopen((dir / "s").c_str(), "w+b");
  ASSERT_NE(stream, nullptr);
  {
    const std::unique_ptr<OutputFile> file = StdioOutput(stream, "s");
    EXPECT_EQ(file->name(), "s");
    ASSERT_TRUE(file->WriteAt(4, "efgh", 4));
    ASSERT_TRUE(file->WriteAt(8, "ij", 2));  // after the last: no seek
    ASSERT_TRUE(file->WriteAt(0, "abcd", 4));
    char back[16] = {};
    size_t got = 0;
    ASSERT_TRUE(file->ReadAt(2, back, sizeof back, &got));
    EXPECT_EQ(std::string(back, got), "cdefghij");
    ASSERT_TRUE(file->WriteAt(10, "k", 1));  // a write after a read
  }
  std::fclose(stream);
  EXPECT_EQ(testing_support::ReadFile(dir / "s"), "abcdefghijk");
}

}  // namespace
}  // namespace imaging
