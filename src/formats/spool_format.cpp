#include "formats/spool_format.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "base/text_util.h"

namespace {

constexpr uint32_t kSpoolVersion = 0x00010000;
constexpr uint32_t kEmfSignature = 0x464D4520;  // " EMF"
constexpr size_t kEmfSignatureOffset = 40;
constexpr size_t kEmfBytesOffset = 48;  // nBytes of the EMF header
constexpr uint32_t kMinimumEmfHeader = 88;
constexpr size_t kSpoolHeaderSize = 16;  // version, size, document name and output offsets

uint32_t Load32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

FileKind KindOfFile(std::span<const unsigned char> head) {
  if (head.size() >= kEmfSignatureOffset + 4 && Load32(head.data()) == 1 &&
      Load32(head.data() + kEmfSignatureOffset) == kEmfSignature) {
    return FileKind::kEmfPage;
  }
  if (head.size() >= kSpoolHeaderSize && Load32(head.data()) == kSpoolVersion) {
    return FileKind::kEmfSpool;
  }
  const auto starts = [&](const char* magic) {
    const size_t n = std::strlen(magic);
    return head.size() >= n && std::memcmp(head.data(), magic, n) == 0;
  };
  if (starts("PK\x03\x04")) {
    return FileKind::kXpsSpool;
  }
  if (starts("%!") || starts("\x1b%-12345X") ||
      starts("\x1b"
             "E")) {
    return FileKind::kPdlSpool;
  }
  return FileKind::kUnknown;
}

const char* FileKindName(FileKind kind) {
  switch (kind) {
    case FileKind::kEmfPage:
      return "an EMF page";
    case FileKind::kEmfSpool:
      return "an EMF spool file";
    case FileKind::kXpsSpool:
      return "an XPS spool file";
    case FileKind::kPdlSpool:
      return "a spool file in a printer language (PostScript or PCL)";
    case FileKind::kUnknown:
      break;
  }
  return "neither an EMF page nor a spool file";
}

SpoolPages FindPages(std::span<const unsigned char> file) {
  // The " EMF" signature is rare in page data, so the scan looks for its last byte with
  // memchr and checks the rest only there.
  SpoolPages found;
  const unsigned char* base = file.data();
  const size_t size = file.size();
  size_t from = kEmfSignatureOffset + 1 + 3;  // 'F' of the signature of offset 1
  while (from < size) {
    const void* hit = std::memchr(base + from, 'F', size - from);
    if (hit == nullptr) {
      break;
    }
    const size_t f = static_cast<size_t>(static_cast<const unsigned char*>(hit) - base);
    from = f + 1;
    const size_t start = f - 3 - kEmfSignatureOffset;
    if (Load32(base + f - 3) != kEmfSignature || Load32(base + start) != 1) {
      continue;
    }
    const uint32_t headerSize = Load32(base + start + 4);
    const uint32_t bytes =
        start + kEmfBytesOffset + 4 <= size ? Load32(base + start + kEmfBytesOffset) : 0;
    if (headerSize < kMinimumEmfHeader || headerSize % 4 != 0 || bytes < headerSize) {
      continue;  // no header record of an EMF
    }
    if (bytes > size - start) {
      found.lastIncomplete = true;
      break;
    }
    found.pages.push_back({start, bytes});
    from = start + bytes + kEmfSignatureOffset + 3;
  }
  return found;
}

std::string SpoolDocumentName(std::span<const unsigned char> file) {
  if (KindOfFile(file) != FileKind::kEmfSpool) {
    return {};
  }
  const size_t header_end = std::min<size_t>(Load32(file.data() + 4), file.size());
  const size_t offset = Load32(file.data() + 8);
  std::string name;
  for (size_t at = offset; offset >= kSpoolHeaderSize && at + 2 <= header_end; at += 2) {
    uint32_t c = static_cast<uint32_t>(file[at]) | static_cast<uint32_t>(file[at + 1]) << 8;
    if (c == 0) {
      return name;
    }
    if (c >= 0xD800 && c < 0xDC00 && at + 4 <= header_end) {
      const uint32_t low = static_cast<uint32_t>(file[at + 2]) | static_cast<uint32_t>(file[at + 3])
                                                                     << 8;
      if (low >= 0xDC00 && low < 0xE000) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        at += 2;
      }
    }
    if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;  // a surrogate without its other half
    }
    AppendUtf8(name, c);
  }
  return {};  // no zero inside the header: damaged
}
