// The code pages of the 8-bit text records: each font charset's Windows code page.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace emf {

// Marks the later bytes of a double-byte character: they take a place in the spacing array
// but draw nothing.
inline constexpr uint32_t kContinuationByte = 0xFFFFFFFF;

// One entry per byte: its Unicode character, kContinuationByte after a lead byte, U+FFFD
// for a byte the code page does not define. SYMBOL_CHARSET bytes pass unchanged.
std::vector<uint32_t> DecodeCodePage(std::span<const uint8_t> bytes, uint8_t charset);

}  // namespace emf
