// The WebP encoder: every pixel form read back by libwebp's own decoder as it was given, and a
// file that cannot be written told as failure.
#include <gtest/gtest.h>
#include <webp/decode.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "imaging/encoders.h"
#include "imaging/image.h"

namespace imaging {
namespace {

// A file in memory that takes at most limit bytes, as a disk that fills up.
class MemoryFile final : public OutputFile {
 public:
  explicit MemoryFile(uint64_t limit = ~uint64_t{0}) : limit_(limit) {}
  bool WriteAt(uint64_t offset, const void* data, size_t size) override {
    if (offset + size > limit_) {
      return false;
    }
    bytes_.resize(std::max<uint64_t>(bytes_.size(), offset + size));
    std::memcpy(bytes_.data() + offset, data, size);
    return true;
  }
  bool ReadAt(uint64_t, void*, size_t, size_t* got) override {
    *got = 0;
    return false;
  }
  const std::string& name() const override { return name_; }
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  uint64_t limit_;
  std::vector<uint8_t> bytes_;
  std::string name_ = "page.webp";
};

std::vector<Rgb> GreyRamp(int levels) {
  std::vector<Rgb> ramp;
  for (int i = 0; i < levels; ++i) {
    const auto v = static_cast<uint8_t>(i * 255 / (levels - 1));
    ramp.push_back({v, v, v});
  }
  return ramp;
}

struct Form {
  const char* what;
  int width, height;
  uint16_t bpp;
  std::vector<Rgb> palette;
  int colours_used;  // indices drawn from the first this many entries; 0: RGB noise
};

Image Make(const Form& form) {
  Image image;
  image.Reset(form.width, form.height, form.bpp, form.palette);
  std::minstd_rand random(11);
  for (uint8_t& v : image.pixels()) {
    v = static_cast<uint8_t>(form.colours_used > 0 ? random() % form.colours_used : random());
  }
  return image;
}

TEST(WebpEncoder, EveryPixelFormReadsBackUnchanged) {
  std::vector<Rgb> few = {{255, 255, 255}, {0, 0, 0}, {192, 0, 0}, {0, 0, 192}, {128, 128, 128}};
  std::vector<Rgb> many;
  for (int i = 0; i < 256; ++i) {
    many.push_back(
        {static_cast<uint8_t>(i), static_cast<uint8_t>(i * 7), static_cast<uint8_t>(~i)});
  }
  const Form forms[] = {
      {"black and white", 77, 21, 1, {{0, 0, 0}, {255, 255, 255}}, 2},
      {"1 bit of two colours", 33, 9, 1, {{10, 20, 30}, {200, 100, 0}}, 2},
      {"4 bits, five colours", 101, 13, 4, few, 5},
      {"grey levels", 255, 3, 8, GreyRamp(256), 256},
      {"256 colours", 129, 65, 8, many, 256},
      {"index past a short palette", 9, 7, 8, few, 7},
      {"RGB", 301, 197, 24, {}, 0},
      {"one pixel", 1, 1, 24, {}, 0},
      {"one column", 1, 40, 8, few, 5},
  };
  for (const Form& form : forms) {
    const Image image = Make(form);
    Image copy = image;
    MemoryFile file;
    ASSERT_TRUE(copy.Save(file, kFormatWebp)) << form.what << ": " << copy.last_error;
    const std::vector<uint8_t>& bytes = file.bytes();
    WebPBitstreamFeatures features;
    ASSERT_EQ(WebPGetFeatures(bytes.data(), bytes.size(), &features), VP8_STATUS_OK) << form.what;
    EXPECT_EQ(features.format, 2) << form.what;  // lossless
    EXPECT_FALSE(features.has_alpha) << form.what;
    int width = 0, height = 0;
    uint8_t* rgb = WebPDecodeRGB(bytes.data(), bytes.size(), &width, &height);
    ASSERT_NE(rgb, nullptr) << form.what;
    ASSERT_EQ(width, form.width) << form.what;
    ASSERT_EQ(height, form.height) << form.what;
    int differing = 0;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const uint8_t* p = rgb + 3 * (static_cast<size_t>(y) * width + x);
        differing += image.PixelRgb(x, y) != Rgb{p[0], p[1], p[2]};
      }
    }
    WebPFree(rgb);
    EXPECT_EQ(differing, 0) << form.what;
  }
}

// A disk that fills up anywhere, the last byte included, fails the page with a reason; one
// that takes the whole file does not. A small file reaches the disk only when the buffer in
// front of it is flushed at the end; a large one goes out while libwebp writes.
TEST(WebpEncoder, AFileThatCannotBeWrittenFails) {
  const Form forms[] = {{"small", 40, 30, 1, {{0, 0, 0}, {255, 255, 255}}, 2},
                        {"larger than the buffer", 301, 197, 24, {}, 0}};
  for (const Form& form : forms) {
    Image image = Make(form);
    MemoryFile whole;
    ASSERT_TRUE(image.Save(whole, kFormatWebp)) << form.what << ": " << image.last_error;
    const uint64_t size = whole.bytes().size();
    for (uint64_t limit : {uint64_t{0}, uint64_t{12}, size / 2, size - 1}) {
      MemoryFile full(limit);
      image.last_error.clear();
      EXPECT_FALSE(image.Save(full, kFormatWebp)) << form.what << " on " << limit << " bytes";
      EXPECT_EQ(image.last_error,
                "libwebp could not write page.webp: the file could not be written")
          << form.what << " on " << limit << " bytes";
    }
    MemoryFile just(size);
    EXPECT_TRUE(image.Save(just, kFormatWebp)) << form.what << ": " << image.last_error;
    EXPECT_EQ(just.bytes(), whole.bytes()) << form.what;
  }
}

}  // namespace
}  // namespace imaging
