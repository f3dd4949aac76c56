#include "emf/metafile.h"

#include "emf/byte_reader.h"
#include "emf/record_fields.h"

namespace emf {
namespace {

bool Fail(std::string* error, const char* reason) {
  if (error != nullptr) {
    *error = reason;
  }
  return false;
}

}  // namespace

std::optional<Header> ParseHeader(std::span<const uint8_t> data, std::string* error) {
  ByteReader reader(data);
  const uint32_t type = reader.U32();
  const uint32_t size = reader.U32();
  Header header;
  header.bounds = ReadRectL(reader);
  header.frame = ReadRectL(reader);
  const uint32_t signature = reader.U32();
  header.version = reader.U32();
  header.bytes = reader.U32();
  header.records = reader.U32();
  header.handles = reader.U16();
  reader.U16();  // reserved
  reader.U32();  // description length
  reader.U32();  // description offset
  reader.U32();  // palette entries
  header.device = {reader.I32(), reader.I32()};
  header.millimeters = {reader.I32(), reader.I32()};
  if (!reader.Ok() || type != kEmrHeader || signature != kEmfSignature) {
    Fail(error, "no enhanced-metafile header");
    return std::nullopt;
  }
  if (size < kMinimumHeaderSize || size % 4 != 0) {
    Fail(error, "header record of a wrong size");
    return std::nullopt;
  }
  if (size >= 108 && data.size() >= 108) {
    reader.Seek(100);
    header.micrometers = {reader.I32(), reader.I32()};
  }
  return header;
}

std::optional<Metafile> Metafile::Parse(std::span<const uint8_t> data, std::string* error) {
  auto header = ParseHeader(data, error);
  if (!header) {
    return std::nullopt;
  }
  Metafile file;
  file.header_ = *header;
  size_t end = data.size();
  if (header->bytes >= kMinimumHeaderSize && header->bytes < end) {
    end = header->bytes;
  }
  file.data_ = data.first(end);
  size_t position = 0;
  bool ended = false;
  while (position < end) {
    if (end - position < 8) {
      file.truncated_ = true;
      break;
    }
    ByteReader frame(file.data_.subspan(position, 8));
    const uint32_t type = frame.U32();
    const uint32_t size = frame.U32();
    if (size < 8 || size % 4 != 0 || size > end - position) {
      file.truncated_ = true;
      break;
    }
    if (position == 0 && type != kEmrHeader) {
      Fail(error, "the first record is not the header");
      return std::nullopt;
    }
    file.records_.push_back({type, file.data_.subspan(position, size)});
    position += size;
    if (type == kEmrEof) {
      ended = true;
      break;
    }
  }
  // Data that stops on a record's edge before the byte count the header declares is cut
  // short too: the records after it are missing.
  if (!ended && header->bytes > data.size()) {
    file.truncated_ = true;
  }
  if (file.records_.empty()) {
    Fail(error, "no records");
    return std::nullopt;
  }
  return file;
}

}  // namespace emf
