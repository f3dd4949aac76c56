#include "emfplus/records.h"

#include "emf/records/byte_reader.h"

namespace emfplus {

const char* ObjectKindName(int kind) {
  static constexpr const char* kNames[] = {"invalid",        "brush",         "pen",
                                           "path",           "region",        "image",
                                           "font",           "string format", "image attributes",
                                           "custom line cap"};
  return kind >= 0 && kind < static_cast<int>(std::size(kNames)) ? kNames[kind] : "unknown";
}

bool IsEmfPlusComment(std::span<const uint8_t> comment) {
  emf::ByteReader r(comment);
  return r.U32() == kSignature && r.Ok();
}

std::vector<Record> SplitRecords(std::span<const uint8_t> comment, bool* cut_short) {
  std::vector<Record> records;
  if (cut_short != nullptr) {
    *cut_short = false;
  }
  if (!IsEmfPlusComment(comment)) {
    return records;
  }
  emf::ByteReader r(comment);
  r.Skip(4);
  // Writers pad a comment to whole words: fewer bytes than a record header are no record.
  while (r.Remaining() >= 12) {
    const size_t start = r.Position();
    Record record;
    record.type = r.U16();
    record.flags = r.U16();
    const uint32_t size = r.U32();
    const uint32_t data_size = r.U32();
    // A record holds its 12-byte header and its data; its size counts both.
    if (!r.Ok() || size < 12 || data_size > size - 12 || size > comment.size() - start) {
      if (cut_short != nullptr) {
        *cut_short = true;
      }
      break;
    }
    record.data = comment.subspan(start + 12, data_size);
    records.push_back(record);
    r.Seek(start + size);
  }
  return records;
}

}  // namespace emfplus
