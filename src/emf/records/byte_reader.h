// The one way untrusted bytes are read: a cursor over a span that never leaves it. A read
// past the end sets a sticky error and yields zeros, so a parser checks once at the end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <type_traits>

namespace emf {

class ByteReader {
 public:
  explicit ByteReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  template <class T>
  T Read() {
    static_assert(std::is_trivially_copyable_v<T>);
    T value{};
    if (!Has(sizeof(T))) {
      failed_ = true;
      position_ = bytes_.size();
      return value;
    }
    std::memcpy(&value, bytes_.data() + position_, sizeof(T));
    position_ += sizeof(T);
    return value;
  }

  uint32_t U32() { return Read<uint32_t>(); }
  int32_t I32() { return Read<int32_t>(); }
  uint16_t U16() { return Read<uint16_t>(); }
  int16_t I16() { return Read<int16_t>(); }
  uint8_t U8() { return Read<uint8_t>(); }
  float F32() { return Read<float>(); }

  // The next count bytes, or an empty span (and the error) when they are not all there.
  std::span<const uint8_t> Bytes(size_t count) {
    if (!Has(count)) {
      failed_ = true;
      position_ = bytes_.size();
      return {};
    }
    auto part = bytes_.subspan(position_, count);
    position_ += count;
    return part;
  }

  void Skip(size_t count) { Bytes(count); }
  bool Seek(size_t offset) {
    if (offset > bytes_.size()) {
      failed_ = true;
      return false;
    }
    position_ = offset;
    return true;
  }

  bool Has(size_t count) const { return count <= bytes_.size() - position_; }
  size_t Position() const { return position_; }
  size_t Remaining() const { return bytes_.size() - position_; }
  bool Ok() const { return !failed_; }
  std::span<const uint8_t> All() const { return bytes_; }

  // The bytes at [offset, offset + count) of the whole span, checked; empty when outside.
  std::span<const uint8_t> Slice(uint64_t offset, uint64_t count) const {
    if (offset > bytes_.size() || count > bytes_.size() - offset) {
      return {};
    }
    return bytes_.subspan(static_cast<size_t>(offset), static_cast<size_t>(count));
  }

 private:
  std::span<const uint8_t> bytes_;
  size_t position_ = 0;
  bool failed_ = false;
};

}  // namespace emf
