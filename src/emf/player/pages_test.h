// Programmatic pages for the player's tests: 200 x 200 pixels where a logical unit of MM_TEXT
// is a pixel, and the records they are made of.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "emf/canvas/canvas.h"
#include "emf/player/player.h"
#include "emf/records/metafile.h"
#include "support/spool_builder.h"

namespace player_test_pages {

using testing_support::EmfPage;
using testing_support::EmfRecord;

inline constexpr int kSide = 200;
inline constexpr uint32_t kWhite = 0xFFFFFF, kBlack = 0x000000, kRed = 0xFF0000, kBlue = 0x0000FF;

// 200 x 200 pixels where one logical unit of MM_TEXT is one pixel.
struct Rendered {
  std::vector<uint32_t> pixels = std::vector<uint32_t>(kSide * kSide, kWhite);
  emf::PlayStats stats;
  uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y) * kSide + x] & 0xFFFFFF; }
};

inline Rendered Play(const std::string& records) {
  const std::string page = EmfPage(records, 5292, 5292);
  Rendered out;
  const auto file = emf::Metafile::Parse(
      std::span(reinterpret_cast<const uint8_t*>(page.data()), page.size()), nullptr);
  EXPECT_TRUE(file.has_value());
  if (file) {
    emf::Canvas canvas(out.pixels.data(), kSide, kSide, kSide * 4);
    out.stats = emf::PlayMetafile(*file, canvas, emf::RectL{0, 0, kSide, kSide});
  }
  return out;
}

inline uint32_t U(int v) {
  return static_cast<uint32_t>(v);
}
inline uint32_t F(float v) {
  uint32_t bits;
  std::memcpy(&bits, &v, 4);
  return bits;
}
inline std::string Solid(uint32_t index, uint32_t colorref) {
  return EmfRecord(39, {index, 0, colorref, 0});
}
inline std::string Select(uint32_t index) {
  return EmfRecord(37, {index});
}
inline std::string NullPen() {
  return Select(0x80000008);
}
inline std::string Rect(int l, int t, int r, int b) {
  return EmfRecord(43, {U(l), U(t), U(r), U(b)});
}
inline std::string Fill(uint32_t colorref) {
  return Solid(1, colorref) + Select(1);
}

// EMR_POLYGON16 with 16-bit points.
inline std::string Polygon16(std::initializer_list<std::pair<int, int>> points) {
  std::string r;
  testing_support::Append32(r, 86);
  testing_support::Append32(r, static_cast<uint32_t>(28 + 4 * points.size()));
  for (int i = 0; i < 4; ++i) {
    testing_support::Append32(r, 0);
  }
  testing_support::Append32(r, static_cast<uint32_t>(points.size()));
  for (auto [x, y] : points) {
    r += static_cast<char>(x & 0xFF);
    r += static_cast<char>((x >> 8) & 0xFF);
    r += static_cast<char>(y & 0xFF);
    r += static_cast<char>((y >> 8) & 0xFF);
  }
  return r;
}

}  // namespace player_test_pages
