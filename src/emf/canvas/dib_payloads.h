// The JPEG and PNG payloads a bitmap record may carry instead of plain bits
// (BI_JPEG, BI_PNG): whole image files, decoded into 32-bit pixels; and GIF files, which
// EMF+ bitmaps may hold (the first picture, its transparent colour as alpha).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "emf/canvas/paint.h"

namespace emf {

std::optional<Image> DecodeJpegPayload(std::span<const uint8_t> bytes, std::string* error);
std::optional<Image> DecodePngPayload(std::span<const uint8_t> bytes, std::string* error);
std::optional<Image> DecodeGifPayload(std::span<const uint8_t> bytes, std::string* error);

}  // namespace emf
