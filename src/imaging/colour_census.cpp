#include "imaging/colour_census.h"

#include <algorithm>

#include "imaging/encoders.h"
#include "imaging/encoders/rows_with_file.h"

namespace imaging {
namespace {

constexpr uint32_t kNoColour = 0xFFFFFFFF;

uint32_t Hash(uint32_t colour) {
  return (colour * 2654435761u) >> 22;  // the top 10 bits: 1024 slots
}

// The depth at which every grey level counted is one of the ramp's: 1, 2, 4 or 8.
int GreyDepth(const std::vector<uint32_t>& colours) {
  for (int depth : {1, 2, 4}) {
    const int step = 255 / ((1 << depth) - 1);
    if (std::all_of(colours.begin(), colours.end(),
                    [&](uint32_t c) { return (c & 0xFF) % step == 0; })) {
      return depth;
    }
  }
  return 8;
}

int PaletteDepth(size_t count) {
  return count <= 2 ? 1 : count <= 4 ? 2 : count <= 16 ? 4 : 8;
}

}  // namespace

ColourCensus::ColourCensus() : seen_(size_t{1} << 21, 0) {
  slot_colour_.fill(kNoColour);
}

void ColourCensus::AddRows(const uint8_t* rows, size_t stride, int count, int width) {
  if (colours_.size() > 256) {
    return;  // already past any palette: nothing more to learn
  }
  for (int y = 0; y < count; ++y) {
    const uint8_t* p = rows + static_cast<size_t>(y) * stride;
    uint32_t last = kNoColour;
    for (int x = 0; x < width; ++x, p += 3) {
      const uint32_t colour = uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
      if (colour == last) {
        continue;  // pages are mostly runs of one colour
      }
      last = colour;
      uint8_t& bits = seen_[colour >> 3];
      const uint8_t bit = static_cast<uint8_t>(1u << (colour & 7));
      if ((bits & bit) != 0) {
        continue;
      }
      bits |= bit;
      grey_ = grey_ && p[0] == p[1] && p[1] == p[2];
      colours_.push_back(colour);
      if (colours_.size() > 256) {
        return;
      }
    }
  }
}

RowLayout ColourCensus::ReducedLayout(const RowLayout& rgb) {
  RowLayout reduced = rgb;
  reduced.palette.clear();
  const int palette_depth = PaletteDepth(colours_.size());
  const int grey_depth = grey_ ? GreyDepth(colours_) : 99;
  if (grey_depth <= palette_depth) {
    reduced.bpp = static_cast<uint16_t>(grey_depth);
    reduced.codec_option |= kPngGreyLevels;
    const int levels = 1 << grey_depth;
    for (int i = 0; i < levels; ++i) {
      const auto v = static_cast<uint8_t>(i * 255 / (levels - 1));
      reduced.palette.push_back({v, v, v});
    }
  } else {
    reduced.bpp = static_cast<uint16_t>(palette_depth);
    reduced.codec_option &= ~kPngGreyLevels;
    for (uint32_t c : colours_) {
      reduced.palette.push_back(
          {static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c)});
    }
  }
  // The lookup from colour to index, for ToIndices.
  slot_colour_.fill(kNoColour);
  for (size_t i = 0; i < reduced.palette.size(); ++i) {
    const Rgb& e = reduced.palette[i];
    const uint32_t colour = uint32_t{e.r} << 16 | uint32_t{e.g} << 8 | e.b;
    uint32_t slot = Hash(colour);
    while (slot_colour_[slot] != kNoColour && slot_colour_[slot] != colour) {
      slot = (slot + 1) & 1023;
    }
    slot_colour_[slot] = colour;
    slot_index_[slot] = static_cast<int16_t>(i);
  }
  return reduced;
}

uint32_t ColourCensus::IndexOf(uint32_t colour) const {
  for (uint32_t slot = Hash(colour);; slot = (slot + 1) & 1023) {
    if (slot_colour_[slot] == colour) {
      return static_cast<uint32_t>(slot_index_[slot]);
    }
    if (slot_colour_[slot] == kNoColour) {
      return 0;
    }
  }
}

void ColourCensus::ToIndices(const uint8_t* rgb, int width, uint8_t* out) const {
  uint32_t last = kNoColour;
  uint8_t last_index = 0;
  for (int x = 0; x < width; ++x, rgb += 3) {
    const uint32_t colour = uint32_t{rgb[0]} << 16 | uint32_t{rgb[1]} << 8 | rgb[2];
    if (colour != last) {
      last = colour;
      last_index = static_cast<uint8_t>(IndexOf(colour));
    }
    out[x] = last_index;
  }
}

bool ReduceColours(Image& image) {
  if (image.indexed() || image.width() == 0) {
    return false;
  }
  ColourCensus census;
  census.AddRows(image.Row(0), image.RowBytes(), image.height(), image.width());
  if (!census.Reducible()) {
    return false;
  }
  RowLayout rgb = LayoutOf(image);
  const RowLayout reduced = census.ReducedLayout(rgb);
  Image out;
  out.Reset(image.width(), image.height(), reduced.bpp, reduced.palette);
  for (int y = 0; y < image.height(); ++y) {
    census.ToIndices(image.Row(y), image.width(), out.Row(y));
  }
  out.SetXDPI(image.x_dpi());
  out.SetYDPI(image.y_dpi());
  out.codec_option = image.codec_option;
  image = std::move(out);
  return true;
}

namespace {

class ReducingPngRows final : public RowWriter {
 public:
  ReducingPngRows(const RowLayout& layout, OutputFile& file)
      : layout_(layout), file_(file), pixels_(layout.RowBytes() * layout.height) {}

  bool WriteRows(const uint8_t* rows, size_t stride, int count) override {
    for (int i = 0; i < count && rows_ < layout_.height; ++i, ++rows_) {
      std::copy_n(rows + static_cast<size_t>(i) * stride, layout_.RowBytes(),
                  pixels_.data() + static_cast<size_t>(rows_) * layout_.RowBytes());
    }
    return true;
  }

  bool Finish(std::string* error) override {
    if (rows_ != layout_.height) {
      *error = "the image's rows were not all given";
      return false;
    }
    ColourCensus census;
    census.AddRows(pixels_.data(), layout_.RowBytes(), layout_.height, layout_.width);
    const bool reduce = census.Reducible();
    const RowLayout out = reduce ? census.ReducedLayout(layout_) : layout_;
    std::unique_ptr<RowWriter> png = OpenPngRows(out, file_, error);
    if (png == nullptr) {
      return false;
    }
    std::vector<uint8_t> indices(reduce ? static_cast<size_t>(layout_.width) : 0);
    for (int y = 0; y < layout_.height; ++y) {
      const uint8_t* row = pixels_.data() + static_cast<size_t>(y) * layout_.RowBytes();
      if (reduce) {
        census.ToIndices(row, layout_.width, indices.data());
        row = indices.data();
      }
      if (!png->WriteRows(row, out.RowBytes(), 1)) {
        break;  // Finish says why
      }
    }
    return png->Finish(error);
  }

 private:
  RowLayout layout_;
  OutputFile& file_;
  std::vector<uint8_t> pixels_;
  int rows_ = 0;
};

}  // namespace

std::unique_ptr<RowWriter> OpenReducingPngRows(const RowLayout& layout, OutputFile& file,
                                               std::string* error) {
  if (layout.indexed() || uint64_t(layout.width) * uint64_t(layout.height) > kMaxReducedPixels) {
    return OpenPngRows(layout, file, error);
  }
  return std::make_unique<ReducingPngRows>(layout, file);
}

std::unique_ptr<RowWriter> OpenReducingPngRows(const RowLayout& layout, const std::string& path,
                                               std::string* error) {
  // The file is made now, so that a path that cannot be written is said before drawing.
  return OpenRowsWithFile(
      path, error, [&](OutputFile& file) { return OpenReducingPngRows(layout, file, error); });
}

}  // namespace imaging
