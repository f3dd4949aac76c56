// The EMF+ player's table: each record type with its name, the fewest data bytes it can
// hold and its handler. Types without a handler are skipped and counted by name.
#pragma once

#include <cstddef>
#include <cstdint>

#include "emfplus/player.h"

namespace emfplus {

struct RecordEntry {
  uint16_t type;
  const char* name;
  uint32_t minimum_size;  // of the data, after the 12-byte header
  void (Player::*handle)(const Record&, emf::ByteReader&);
};

// The entry for a type, or null for a type the format does not have; a null handler skips
// the record.
const RecordEntry* FindRecord(uint16_t type);

}  // namespace emfplus
