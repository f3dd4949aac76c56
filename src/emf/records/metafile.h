// An enhanced metafile checked and cut into records. Only the header and the record frame
// are checked here; each record's contents are read by its handler.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "emf/records/geometry.h"
#include "emf/records/records.h"

namespace emf {

inline constexpr uint32_t kEmfSignature = 0x464D4520;  // " EMF"
inline constexpr size_t kMinimumHeaderSize = 88;

struct SizeL {
  int32_t cx = 0;
  int32_t cy = 0;
};

struct Header {
  RectL bounds;  // device units of the reference device, inclusive
  RectL frame;   // hundredths of a millimetre, inclusive
  uint32_t version = 0;
  uint32_t bytes = 0;
  uint32_t records = 0;
  uint16_t handles = 0;
  SizeL device;       // reference device in pixels
  SizeL millimeters;  // and in millimetres
  SizeL micrometers;  // when the header carries them, else 0
};

struct Record {
  uint32_t type = 0;
  std::span<const uint8_t> bytes;  // the whole record, its type and size included
};

// An EMR_GDICOMMENT record's data, after its size field, as far as the record holds it;
// empty for a record too short to have any.
std::span<const uint8_t> CommentData(const Record& record);

class Metafile {
 public:
  // Checks the header and the record frame; none with a reason when it is no EMF. Records
  // are taken up to EMR_EOF, the header's byte count or the end of the data, whichever
  // comes first; a record whose size is not a multiple of 4, below 8 or past the end stops
  // the list there (what came before still plays).
  static std::optional<Metafile> Parse(std::span<const uint8_t> data, std::string* error);

  const Header& header() const { return header_; }
  const std::vector<Record>& records() const { return records_; }
  std::span<const uint8_t> data() const { return data_; }
  // Whether the data stops before the page does: a record runs past its end, or the data
  // ends on a record's edge before the header's byte count and without EMR_EOF.
  bool truncated() const { return truncated_; }

 private:
  std::span<const uint8_t> data_;
  Header header_;
  std::vector<Record> records_;
  bool truncated_ = false;
};

// The header alone, from the first bytes of a file (108 bytes are enough).
std::optional<Header> ParseHeader(std::span<const uint8_t> data, std::string* error);

// The frame grown to hold the header's bounds (pixels of the reference device), in hundredths
// of a millimetre: the page that shows all a drawing that strays outside its frame. The frame
// itself when the bounds are empty or cannot be measured.
RectL FrameHoldingBounds(const Header& header);
// Whether the drawing reaches outside the frame by more than rounding explains: a few pixels
// of the reference device and 2 % of the frame.
bool DrawsOutsideFrame(const Header& header);
// Puts a new frame into the header of the page's bytes (which hold a whole header).
void ReplaceFrame(std::span<uint8_t> page, const RectL& frame);

}  // namespace emf
