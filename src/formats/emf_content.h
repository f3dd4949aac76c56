// What an EMF page holds, read from its records without drawing it.
#pragma once

#include <cstdint>
#include <functional>
#include <span>

// Reads out.size() bytes at offset; false when they are not all there.
using ReadBytesAt = std::function<bool(uint64_t offset, std::span<unsigned char> out)>;

// Whether the page's drawing is all EMF+ (GDI+ records inside comments), which GDI itself
// draws as nothing: it holds EMF+ records and no record that GDI draws (the EMR_BITBLT that
// GDI+ writes of the raster operation that leaves the page as it is draws nothing). The
// records are walked only up to the first one that draws.
bool HoldsOnlyEmfPlus(const ReadBytesAt& read);
bool HoldsOnlyEmfPlus(std::span<const unsigned char> page);
