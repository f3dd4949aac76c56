// The EMF a Windows metafile carries of itself: programs that write a WMF from an EMF
// (GetWinMetaFileBits, Office) keep the EMF in META_ESCAPE comments, and Windows' conversion
// of a plain file gives that EMF back instead of converting the records, provided the
// comments are whole and the file's checksum holds.
#include <cstring>

#include "emf/records/byte_reader.h"
#include "emf/records/metafile.h"
#include "emf/wmf/wmf_conversion.h"

namespace emf::wmf_reading {
namespace {

constexpr uint16_t kMfComment = 0x000F;
constexpr uint32_t kWmfcSignature = 0x43464D57;  // "WMFC"
constexpr uint32_t kWmfcCommentType = 1;
constexpr uint32_t kWmfcVersion = 0x00010000;

// The file's 16-bit words add up to 0 when the comments' checksum is right: a file edited
// after it was written no longer matches the EMF it carries.
bool ChecksumHolds(std::span<const uint8_t> wmf) {
  uint16_t sum = 0;
  for (size_t i = 0; i + 1 < wmf.size(); i += 2) {
    sum = static_cast<uint16_t>(sum + (wmf[i] | (wmf[i + 1] << 8)));
  }
  return sum == 0;
}

}  // namespace

std::optional<std::vector<uint8_t>> EmbeddedEmf(const WmfFile& file, std::span<const uint8_t> wmf) {
  std::vector<uint8_t> emf;
  uint32_t expected_records = 0, seen_records = 0, total = 0;
  for (const WmfRecord& record : file.records()) {
    if (record.function != kMetaEscape) {
      continue;
    }
    ByteReader r(record.bytes);
    r.Skip(6);
    const uint16_t escape = r.U16();
    r.U16();  // byte count
    if (escape != kMfComment || r.U32() != kWmfcSignature) {
      continue;
    }
    const uint32_t type = r.U32();
    const uint32_t version = r.U32();
    r.U16();  // checksum
    r.U32();  // flags
    const uint32_t records = r.U32();
    const uint32_t chunk = r.U32();
    r.U32();  // bytes after this chunk: implied by the sizes checked below
    const uint32_t size = r.U32();
    if (!r.Ok() || type != kWmfcCommentType || version != kWmfcVersion) {
      return std::nullopt;
    }
    if (seen_records == 0) {
      // The whole EMF lies inside the file's own comments: its size is bounded by them.
      if (records == 0 || size == 0 || size > wmf.size()) {
        return std::nullopt;
      }
      expected_records = records;
      total = size;
      emf.reserve(size);
    }
    const auto bytes = r.Bytes(chunk);
    if (!r.Ok() || records != expected_records || size != total || chunk > total - emf.size()) {
      return std::nullopt;
    }
    emf.insert(emf.end(), bytes.begin(), bytes.end());
    if (++seen_records == expected_records) {
      break;
    }
  }
  if (seen_records == 0 || seen_records != expected_records || emf.size() != total ||
      file.truncated() || !ChecksumHolds(wmf)) {
    return std::nullopt;
  }
  // Only a whole page stands for the file: one cut short, or no EMF at all, leaves the
  // records to be converted.
  std::string ignored;
  const std::optional<Metafile> page = Metafile::Parse(emf, &ignored);
  if (!page || page->truncated()) {
    return std::nullopt;
  }
  return emf;
}

}  // namespace emf::wmf_reading
