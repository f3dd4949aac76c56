#include "emf/records/metafile.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "emf/records/byte_reader.h"
#include "emf/records/record_fields.h"

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

namespace {

// The header's bounds in hundredths of a millimetre, right and bottom past their last pixel,
// with the size of one pixel; none when they are empty or the device unmeasured.
struct MeasuredBounds {
  double left, top, right, bottom, pixel_x, pixel_y;
};

std::optional<MeasuredBounds> BoundsInFrameUnits(const Header& h) {
  if (h.bounds.right < h.bounds.left || h.bounds.bottom < h.bounds.top || h.device.cx <= 0 ||
      h.device.cy <= 0 || h.millimeters.cx <= 0 || h.millimeters.cy <= 0) {
    return std::nullopt;
  }
  const double x = 100.0 * h.millimeters.cx / h.device.cx;
  const double y = 100.0 * h.millimeters.cy / h.device.cy;
  return MeasuredBounds{h.bounds.left * x,
                        h.bounds.top * y,
                        (static_cast<double>(h.bounds.right) + 1) * x,
                        (static_cast<double>(h.bounds.bottom) + 1) * y,
                        x,
                        y};
}

int32_t Clamped(double value) {
  return static_cast<int32_t>(std::clamp(value, -2147483648.0, 2147483647.0));
}

}  // namespace

RectL FrameHoldingBounds(const Header& header) {
  const std::optional<MeasuredBounds> b = BoundsInFrameUnits(header);
  if (!b) {
    return header.frame;
  }
  const RectL& f = header.frame;
  return RectL{std::min(f.left, Clamped(std::floor(b->left))),
               std::min(f.top, Clamped(std::floor(b->top))),
               std::max(f.right, Clamped(std::ceil(b->right))),
               std::max(f.bottom, Clamped(std::ceil(b->bottom)))};
}

bool DrawsOutsideFrame(const Header& header) {
  const std::optional<MeasuredBounds> b = BoundsInFrameUnits(header);
  if (!b) {
    return false;
  }
  // Programs round the frame and the bounds each their own way: three pixels and 2 % of the
  // page over are no drawing cut off.
  const RectL& f = header.frame;
  const double slack_x = 3 * b->pixel_x + 0.02 * (static_cast<double>(f.right) - f.left);
  const double slack_y = 3 * b->pixel_y + 0.02 * (static_cast<double>(f.bottom) - f.top);
  return b->left < f.left - slack_x || b->top < f.top - slack_y || b->right > f.right + slack_x ||
         b->bottom > f.bottom + slack_y;
}

void ReplaceFrame(std::span<uint8_t> page, const RectL& frame) {
  constexpr size_t kFrameOffset = 24;  // after the record's type, size and bounds
  const int32_t values[] = {frame.left, frame.top, frame.right, frame.bottom};
  if (page.size() >= kFrameOffset + sizeof values) {
    std::memcpy(page.data() + kFrameOffset, values, sizeof values);
  }
}

std::span<const uint8_t> CommentData(const Record& record) {
  ByteReader r(record.bytes);
  r.Skip(8);
  const uint32_t size = r.U32();
  if (!r.Ok()) {
    return {};
  }
  const auto data = record.bytes.subspan(12);
  return data.first(std::min<size_t>(size, data.size()));
}

}  // namespace emf
