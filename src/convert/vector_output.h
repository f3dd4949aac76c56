// Vector output: a page as a PDF or SVG file, where the engine is built.
#pragma once

#include <memory>
#include <string>

#include "convert/image_settings.h"
#include "convert/job_document.h"

// Whether the extension (with its dot, any case) names a vector format: .pdf or .svg.
bool IsVectorExtension(const std::string& extension);

// Writes the page file as a PDF or SVG at staged (a new file of ours): colours grey with
// m_bGrayscale, black and white at a depth of 1. False with a reason when it could not be
// written, or where this build has no vector output.
bool WriteVectorOutput(const std::string& page, const std::string& staged,
                       const std::string& extension, const ImageSettings& settings,
                       std::string& reason);

// Whether this build writes a job's pages as one PDF.
bool WritesPdfDocuments();

// A PDF of a job's pages at staged (a new file, created exclusively) with the title in its
// document information; null with a reason, and no file, when it cannot be begun.
std::unique_ptr<JobDocument> StartPdfDocument(const std::string& staged,
                                              const ImageSettings& settings,
                                              const std::string& title, std::string& reason);
