// The player's view of the record table (record_table.cpp).
#pragma once

#include <cstdint>

#include "emf/player/player.h"
#include "emf/records/records.h"

namespace emf {

struct RecordEntry {
  RecordType type;
  const char* name;
  uint32_t minimum_size;                // the whole record, type and size included
  void (Player::*handle)(ByteReader&);  // null: known, not drawn
};

// The entry of a record type; null for a type the table does not know.
const RecordEntry* FindRecord(uint32_t type);

}  // namespace emf
