#include "support/spool_builder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <utility>
#include <vector>

namespace testing_support {

void Append32(std::string& bytes, uint32_t value) {
  for (int i = 0; i < 4; ++i) {
    bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
  }
}

std::string EmfRecord(uint32_t type, std::initializer_list<uint32_t> words) {
  std::string record;
  Append32(record, type);
  Append32(record, static_cast<uint32_t>(8 + 4 * words.size()));
  for (uint32_t word : words) {
    Append32(record, word);
  }
  return record;
}

std::string EmfPage(const std::string& body, int32_t frameRight, int32_t frameBottom,
                    uint32_t headerSize) {
  const std::string records = body + EmfRecord(14, {0, 16, 20});
  uint32_t count = 1;
  for (size_t at = 0; at + 8 <= records.size(); ++count) {
    uint32_t size = 0;
    for (int i = 0; i < 4; ++i) {
      size |= static_cast<uint32_t>(static_cast<uint8_t>(records[at + 4 + i])) << (8 * i);
    }
    if (size < 8) {
      break;  // a record made short on purpose: what follows is not walked
    }
    at += size;
  }
  std::string header;
  Append32(header, 1);                        // EMR_HEADER
  Append32(header, headerSize);               // record size
  for (uint32_t v : {0u, 0u, 793u, 1122u}) {  // bounds
    Append32(header, v);
  }
  for (int32_t v : {0, 0, frameRight, frameBottom}) {  // frame
    Append32(header, static_cast<uint32_t>(v));
  }
  Append32(header, 0x464D4520);                                          // " EMF"
  Append32(header, 0x10000);                                             // version
  Append32(header, headerSize + static_cast<uint32_t>(records.size()));  // bytes
  Append32(header, count);                                               // records
  Append32(header, 8);                                                   // handles, reserved
  Append32(header, 0);                                                   // description length
  Append32(header, 0);                                                   // description offset
  Append32(header, 0);                                                   // palette entries
  for (uint32_t v : {1920u, 1440u, 508u, 381u}) {  // device pixels and millimetres
    Append32(header, v);
  }
  header.resize(headerSize, '\0');
  return header + records;
}

std::string BoxPage(uint32_t color, int32_t frameRight, int32_t frameBottom) {
  return EmfPage(EmfRecord(39, {1, 0, color, 0}) + EmfRecord(37, {1}) +
                     EmfRecord(37, {0x80000008}) + EmfRecord(43, {100, 100, 400, 400}),
                 frameRight, frameBottom);
}

std::string EmfPlusOnlyPage() {
  return EmfPage(EmfRecord(70, {8, 0x2B464D45, 0x14001}));  // EMR_COMMENT, "EMF+", its header
}

std::string PageDrawingOutsideItsFrame() {
  std::string page =
      EmfPage(EmfRecord(43, {static_cast<uint32_t>(-100), static_cast<uint32_t>(-100), 50, 50}));
  const int32_t bounds[] = {-100, -100, 793, 1122};
  std::memcpy(page.data() + 8, bounds, sizeof bounds);
  return page;
}

namespace {

// BITMAPINFO and bits of the blend pages' 4 x 2 bitmap, bottom-up.
std::pair<std::string, std::string> BlendBitmapBytes(BlendBitmap kind) {
  constexpr uint8_t kPixels[2][4][4] = {
      // B, G, R, A; top row first
      {{0, 0, 0, 0}, {0, 0, 255, 255}, {0, 0, 128, 128}, {150, 100, 50, 192}},
      {{255, 0, 0, 255}, {0, 64, 0, 64}, {0, 255, 0, 255}, {20, 40, 60, 100}}};
  const bool deep = kind != BlendBitmap::kRgb24;
  std::string bits;
  for (int row = 1; row >= 0; --row) {
    for (const auto& p : kPixels[row]) {
      bits.append(reinterpret_cast<const char*>(p), deep ? 4 : 3);
    }
    bits.resize((bits.size() + 3) & ~size_t{3}, '\0');
  }
  const bool fields = kind == BlendBitmap::kBitfields32 || kind == BlendBitmap::kV5Header32;
  const uint32_t header_size = kind == BlendBitmap::kV5Header32 ? 124 : 40;
  std::string info;
  for (uint32_t v : {header_size, 4u, 2u, 1u | ((deep ? 32u : 24u) << 16), fields ? 3u : 0u,
                     static_cast<uint32_t>(bits.size()), 0u, 0u, 0u, 0u}) {
    Append32(info, v);
  }
  if (fields) {
    for (uint32_t mask : {0xFF0000u, 0xFF00u, 0xFFu}) {
      Append32(info, mask);
    }
  }
  if (kind == BlendBitmap::kV5Header32) {
    Append32(info, 0xFF000000u);  // alpha mask
    Append32(info, 0x73524742u);  // sRGB
    info.resize(header_size, '\0');
  }
  return {info, bits};
}

std::string AlphaBlendRecord(int x, int y, int cx, int cy, uint32_t blend_function,
                             const std::string& info, const std::string& bits) {
  constexpr uint32_t kFixed = 108;
  constexpr uint32_t kOne = 0x3F800000;  // 1.0f
  std::string r;
  Append32(r, 114);
  Append32(r, static_cast<uint32_t>(kFixed + info.size() + bits.size()));
  for (uint32_t v : {0u,
                     0u,
                     0xFFFFFFFFu,
                     0xFFFFFFFFu,
                     static_cast<uint32_t>(x),
                     static_cast<uint32_t>(y),
                     static_cast<uint32_t>(cx),
                     static_cast<uint32_t>(cy),
                     blend_function,
                     0u,
                     0u,
                     kOne,
                     0u,
                     0u,
                     kOne,
                     0u,
                     0u,
                     0u,
                     0u,
                     kFixed,
                     static_cast<uint32_t>(info.size()),
                     static_cast<uint32_t>(kFixed + info.size()),
                     static_cast<uint32_t>(bits.size()),
                     4u,
                     2u}) {
    Append32(r, v);
  }
  return r + info + bits;
}

}  // namespace

std::string BlendRecords(BlendBitmap bitmap, uint32_t constant_alpha, bool source_alpha) {
  const auto [info, bits] = BlendBitmapBytes(bitmap);
  const uint32_t function = ((constant_alpha & 0xFF) << 16) | (source_alpha ? 1u << 24 : 0u);
  const std::string band = EmfRecord(37, {0x80000008}) + EmfRecord(39, {1, 0, 0xC85028, 0}) +
                           EmfRecord(37, {1}) + EmfRecord(43, {0, 50, 200, 100});
  return band + AlphaBlendRecord(10, 5, 80, 40, function, info, bits) +
         AlphaBlendRecord(10, 55, 80, 40, function, info, bits) +
         AlphaBlendRecord(110, 5, 70, 30, function, info, bits);
}

std::string CreateFont(const FontSpec& f) {
  std::string r;
  Append32(r, 82);
  Append32(r, 104);
  Append32(r, 1);  // object index
  for (int v : {f.height, f.width, f.escapement, f.escapement, f.weight}) {
    Append32(r, static_cast<uint32_t>(v));
  }
  // italic, underline, strike-out, charset
  Append32(r, (f.italic ? 1u : 0u) | (f.underline ? 0x100u : 0u) | (f.strike_out ? 0x10000u : 0u) |
                  static_cast<uint32_t>(f.charset) << 24);
  // precisions, quality, pitch and family
  Append32(r, static_cast<uint32_t>(f.quality) << 16 | static_cast<uint32_t>(f.pitch_and_family)
                                                           << 24);
  std::string face(f.face);
  face.resize(32, '\0');
  for (char c : face) {
    r += c;
    r += '\0';
  }
  return r + EmfRecord(37, {1});
}

std::string TextOutA(int x, int y, const std::string& bytes) {
  const uint32_t chars = static_cast<uint32_t>(bytes.size());
  const uint32_t padded = (chars + 3) / 4 * 4;
  std::string r;
  Append32(r, 83);
  Append32(r, 76 + padded);
  for (uint32_t v : {0u, 0u, 0u, 0u, 1u, 0u, 0u, static_cast<uint32_t>(x), static_cast<uint32_t>(y),
                     chars, 76u, 0u, 0u, 0u, 0u, 0u, 0u}) {
    Append32(r, v);
  }
  r += bytes;
  r.resize(76 + padded, '\0');
  return r;
}

std::string TextOutW(int x, int y, const std::u16string& text, uint32_t options,
                     const std::vector<int>& dx, const std::vector<int>& rect) {
  const uint32_t chars = static_cast<uint32_t>(text.size());
  const uint32_t off_string = 76;
  const uint32_t string_bytes = (chars * 2 + 3) / 4 * 4;
  const uint32_t off_dx = dx.empty() ? 0 : off_string + string_bytes;
  const uint32_t size = off_string + string_bytes + static_cast<uint32_t>(dx.size()) * 4;
  std::string r;
  Append32(r, 84);
  Append32(r, size);
  for (int i = 0; i < 4; ++i) {
    Append32(r, 0);  // bounds
  }
  Append32(r, 1);  // GM_COMPATIBLE
  Append32(r, 0);
  Append32(r, 0);
  Append32(r, static_cast<uint32_t>(x));
  Append32(r, static_cast<uint32_t>(y));
  Append32(r, chars);
  Append32(r, off_string);
  Append32(r, options);
  for (int v : rect) {
    Append32(r, static_cast<uint32_t>(v));
  }
  Append32(r, off_dx);
  for (char16_t c : text) {
    r += static_cast<char>(c & 0xFF);
    r += static_cast<char>(c >> 8);
  }
  r.resize(off_string + string_bytes, '\0');
  for (int v : dx) {
    Append32(r, static_cast<uint32_t>(v));
  }
  return r;
}

std::string MinimalEmf(uint32_t headerSize, int32_t frameRight, int32_t frameBottom) {
  return EmfPage(EmfRecord(43, {10, 10, 100, 100}), frameRight, frameBottom, headerSize);
}

SpoolFileBuilder::SpoolFileBuilder(const std::string& documentName) {
  std::string name;
  for (char c : documentName) {
    name += c;
    name += '\0';
  }
  name += std::string(2, '\0');
  while ((16 + name.size()) % 4 != 0) {
    name += '\0';
  }
  Append32(bytes_, 0x00010000);
  Append32(bytes_, static_cast<uint32_t>(16 + name.size()));
  Append32(bytes_, 16);
  Append32(bytes_, 0);
  bytes_ += name;
}

SpoolFileBuilder& SpoolFileBuilder::Record(uint32_t type, const std::string& data) {
  Append32(bytes_, type);
  Append32(bytes_, static_cast<uint32_t>(data.size()));
  bytes_ += data;
  return *this;
}

SpoolFileBuilder& SpoolFileBuilder::Page(const std::string& emf) {
  Record(12, emf);
  std::string offset;
  Append32(offset, static_cast<uint32_t>(emf.size() + 8));
  Append32(offset, 0);
  return Record(13, offset);
}

std::string SharedDir() {
  namespace fs = std::filesystem;
  const char* env = std::getenv("QUADRINE_SHARED");
  const std::string candidate = env != nullptr && *env != '\0' ? env : QUADRINE_SHARED_DIR;
  if (!fs::is_directory(candidate + "/corpus")) {
    ADD_FAILURE() << "the shared test material is not at " << candidate
                  << " (configure with -DQUADRINE_SHARED_DIR or set QUADRINE_SHARED)";
    return {};
  }
  return fs::canonical(candidate).string();
}

}  // namespace testing_support
