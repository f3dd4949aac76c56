// EMF+ pages for the tests: 100 x 100 pixels on a 96 dots-per-inch reference device, their
// comments holding EMF+ records made here.
#pragma once

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "emfplus/records.h"
#include "support/spool_builder.h"

namespace plus_test_pages {

inline constexpr int kSide = 100;
inline constexpr uint32_t kVersion = 0xDBC01002;

inline void Put(std::string& out, uint32_t v) {
  testing_support::Append32(out, v);
}
inline uint32_t F(float v) {
  uint32_t bits;
  std::memcpy(&bits, &v, 4);
  return bits;
}
inline std::string Words(std::initializer_list<uint32_t> words) {
  std::string out;
  for (uint32_t w : words) {
    Put(out, w);
  }
  return out;
}

// One EMF+ record; its data padded to whole words.
inline std::string Plus(uint16_t type, uint16_t flags, std::string data = {}) {
  data.resize((data.size() + 3) / 4 * 4, '\0');
  std::string out;
  Put(out, type | static_cast<uint32_t>(flags) << 16);
  Put(out, static_cast<uint32_t>(12 + data.size()));
  Put(out, static_cast<uint32_t>(data.size()));
  return out + data;
}

// An EMR_GDICOMMENT holding EMF+ records.
inline std::string Comment(const std::string& records) {
  std::string out;
  Put(out, 70);
  Put(out, static_cast<uint32_t>(16 + records.size()));
  Put(out, static_cast<uint32_t>(4 + records.size()));
  Put(out, emfplus::kSignature);
  return out + records;
}

inline std::string Header() {
  return Comment(Plus(emfplus::kHeader, 1, Words({kVersion, 1, 96, 96})));
}

// Page unit pixel at scale 1: EMF+ coordinates are the page's pixels.
inline std::string InPixels() {
  return Plus(emfplus::kSetPageTransform, 2, Words({F(1)}));
}

inline std::string SolidBrush(int id, uint32_t argb) {
  return Plus(emfplus::kObject, static_cast<uint16_t>(0x100 | id), Words({kVersion, 0, argb}));
}
// A pen of the world's units, solid, of a colour.
inline std::string SolidPen(int id, float width, uint32_t argb) {
  return Plus(emfplus::kObject, static_cast<uint16_t>(0x200 | id),
              Words({kVersion, 0, 0, 0, F(width), kVersion, 0, argb}));
}
inline std::string FillRect(uint32_t argb, float x, float y, float w, float h) {
  return Plus(emfplus::kFillRects, 0x8000, Words({argb, 1, F(x), F(y), F(w), F(h)}));
}
// A path object of float points and their types.
inline std::string PathObject(int id, const std::vector<std::pair<float, float>>& points,
                              const std::vector<uint8_t>& types, uint16_t extra_flags = 0) {
  std::string data = Words({kVersion, static_cast<uint32_t>(points.size()), 0});
  for (const auto& [x, y] : points) {
    Put(data, F(x));
    Put(data, F(y));
  }
  data.append(types.begin(), types.end());
  return Plus(emfplus::kObject, static_cast<uint16_t>(0x300 | id | extra_flags), data);
}

// A page of the records (EMF records, EMF+ comments among them) after the EMF+ header.
inline std::string Page(const std::string& records) {
  return testing_support::EmfPage(Header() + records, 2646, 2646);
}

}  // namespace plus_test_pages
