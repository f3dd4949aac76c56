#include "emf/records/code_pages.h"

#include <iconv.h>

#include <map>
#include <mutex>

namespace emf {
namespace {

constexpr uint8_t kSymbolCharset = 2;

const char* CodePageOf(uint8_t charset) {
  switch (charset) {
    case 77:
      return "MACINTOSH";
    case 128:
      return "CP932";  // Shift-JIS
    case 129:
      return "CP949";  // Hangul
    case 130:
      return "JOHAB";
    case 134:
      return "CP936";  // GB2312
    case 136:
      return "CP950";  // Big5
    case 161:
      return "CP1253";
    case 162:
      return "CP1254";
    case 163:
      return "CP1258";
    case 177:
      return "CP1255";
    case 178:
      return "CP1256";
    case 186:
      return "CP1257";
    case 204:
      return "CP1251";
    case 222:
      return "CP874";
    case 238:
      return "CP1250";
    case 255:
      return "CP437";  // OEM
    default:
      return "CP1252";  // ANSI, DEFAULT and the rest
  }
}

// Converters are opened once per code page for the run; iconv_t is not shared between
// threads, so conversions hold the lock.
std::mutex converters_lock;

struct Converters {
  std::map<const char*, iconv_t> open;
  ~Converters() {
    for (const auto& [name, converter] : open) {
      if (converter != reinterpret_cast<iconv_t>(-1)) {
        iconv_close(converter);
      }
    }
  }
};

iconv_t ConverterFor(const char* code_page) {
  static Converters converters;
  auto found = converters.open.find(code_page);
  if (found == converters.open.end()) {
    found = converters.open.emplace(code_page, iconv_open("UTF-32LE", code_page)).first;
  }
  return found->second;
}

// The character the bytes make, or 0 when they are not a whole character.
uint32_t Convert(iconv_t converter, const uint8_t* bytes, size_t length) {
  iconv(converter, nullptr, nullptr, nullptr, nullptr);
  char in[2] = {static_cast<char>(bytes[0]), length > 1 ? static_cast<char>(bytes[1]) : '\0'};
  char out[8];
  char* in_at = in;
  char* out_at = out;
  size_t in_left = length;
  size_t out_left = sizeof(out);
  if (iconv(converter, &in_at, &in_left, &out_at, &out_left) == static_cast<size_t>(-1) ||
      in_left != 0 || out_left != 4) {
    return 0;
  }
  return static_cast<uint8_t>(out[0]) | static_cast<uint8_t>(out[1]) << 8 |
         static_cast<uint8_t>(out[2]) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(out[3])) << 24;
}

}  // namespace

std::vector<uint32_t> DecodeCodePage(std::span<const uint8_t> bytes, uint8_t charset) {
  std::vector<uint32_t> codes;
  codes.reserve(bytes.size());
  if (charset == kSymbolCharset) {
    codes.assign(bytes.begin(), bytes.end());
    return codes;
  }
  std::lock_guard lock(converters_lock);
  const iconv_t converter = ConverterFor(CodePageOf(charset));
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] < 0x80 || converter == reinterpret_cast<iconv_t>(-1)) {
      codes.push_back(bytes[i] < 0x80 ? bytes[i] : 0xFFFD);
      continue;
    }
    if (const uint32_t single = Convert(converter, &bytes[i], 1); single != 0) {
      codes.push_back(single);
      continue;
    }
    // A lead byte: the character takes the next byte too.
    const uint32_t pair = i + 1 < bytes.size() ? Convert(converter, &bytes[i], 2) : 0;
    if (pair != 0) {
      codes.push_back(pair);
      codes.push_back(kContinuationByte);
      ++i;
    } else {
      codes.push_back(0xFFFD);
    }
  }
  return codes;
}

}  // namespace emf
