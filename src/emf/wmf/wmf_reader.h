// Windows metafiles in: the 16-bit records of a WMF file (with or without the placeable
// header) read, checked and turned into the enhanced-metafile records the player draws, as
// Windows turns them (SetWinMetaFileBits for a plain file, PlayMetaFile over the placeable
// header's box for a placeable one). Reading is separate from drawing: the result is an EMF
// page that any target plays.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace emf {

inline constexpr uint32_t kWmfPlaceableKey = 0x9AC6CDD7;

enum class WmfKind { kNone, kPlain, kPlaceable };

// What the bytes are, by content: a placeable file starts with its key, a plain one with a
// header of type 1 or 2, header size 9 and version 0x100 or 0x300.
WmfKind WmfKindOf(std::span<const uint8_t> data);

struct WmfHeader {
  bool placeable = false;
  int16_t left = 0, top = 0, right = 0, bottom = 0;  // the placeable box, logical units
  uint16_t units_per_inch = 0;                       // as stored; 0 is taken as 1440
  uint16_t type = 0;
  uint16_t version = 0;
  uint32_t size_words = 0;  // the whole file, as the header says
  uint16_t objects = 0;
  uint32_t max_record_words = 0;
};

struct WmfRecord {
  uint16_t function = 0;
  std::span<const uint8_t> bytes;  // the whole record, its size and function included
};

class WmfFile {
 public:
  // Checks the headers and cuts the records; none with a reason when it is no WMF. Records
  // are taken up to META_EOF or the end of the data; one whose size is below 3 words or runs
  // past the end stops the list there (what came before still plays).
  static std::optional<WmfFile> Parse(std::span<const uint8_t> data, std::string* error);

  const WmfHeader& header() const { return header_; }
  const std::vector<WmfRecord>& records() const { return records_; }
  // The offset of the first record's header within the data (after the placeable header).
  size_t start() const { return start_; }
  // The data stops before META_EOF.
  bool truncated() const { return truncated_; }

 private:
  WmfHeader header_;
  size_t start_ = 0;
  std::vector<WmfRecord> records_;
  bool truncated_ = false;
};

// A record's name ("META_POLYGON"), or "META_UNKNOWN" for a function outside the table.
const char* WmfRecordName(uint16_t function);

// The largest EMF page a Windows metafile is converted into: a file whose page would pass it
// (a large region selected or painted over and over) is refused by name.
inline constexpr size_t kMaxConvertedPageBytes = size_t{64} << 20;

struct WmfConversion {
  std::vector<uint8_t> emf;            // the page, an enhanced metafile
  std::map<std::string, int> skipped;  // record name -> count: unknown, short or not drawn
  size_t records = 0;                  // WMF records read, META_EOF included
};

// The page a WMF file draws, as an EMF: a placeable file's frame is its box at dpi (box /
// units per inch * dpi + 0.5 pixels) with the box mapped over it, drawn for a device of
// that many dots per inch; a plain file's frame is what its records draw on the reference
// display, as SetWinMetaFileBits makes it (dpi plays no part). A file cut short gives a page
// that is cut short too (no EMR_EOF, a byte count past its end). None with a reason when it
// is no WMF or draws nothing a frame can be made of.
std::optional<WmfConversion> ConvertWmf(std::span<const uint8_t> data, double dpi,
                                        std::string* error);

}  // namespace emf
