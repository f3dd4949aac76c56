// Vector output: a page as a PDF or SVG file, where the engine is built.
#pragma once

#include <string>

#include "convert/image_settings.h"

// Whether the extension (with its dot, any case) names a vector format: .pdf or .svg.
bool IsVectorExtension(const std::string& extension);

// Writes the page file as a PDF or SVG at staged (a new file of ours): colours grey with
// m_bGrayscale, black and white at a depth of 1. False with a reason when it could not be
// written, or where this build has no vector output.
bool WriteVectorOutput(const std::string& page, const std::string& staged,
                       const std::string& extension, const ImageSettings& settings,
                       std::string& reason);
