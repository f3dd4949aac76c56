// Record types of [MS-EMF] and their names.
#pragma once

#include <cstdint>

namespace emf {

inline constexpr uint32_t kMaxRecordType = 122;

// The record's name ("EMR_RECTANGLE"), or "EMR_UNKNOWN" for a type outside the table.
const char* RecordName(uint32_t type);

}  // namespace emf
