// The Windows build has no vector output yet: its engine (cairo, FreeType) is not built there.
#include "base/text_util.h"
#include "convert/vector_output.h"

bool IsVectorExtension(const std::string& extension) {
  return EqualsIgnoringCase(extension, ".pdf") || EqualsIgnoringCase(extension, ".svg");
}

bool WriteVectorOutput(const std::string& /*page*/, const std::string& /*staged*/,
                       const std::string& extension, const ImageSettings& /*settings*/,
                       std::string& reason) {
  reason = extension + " output is not available in this build";
  return false;
}

bool WritesPdfDocuments() {
  return false;
}

std::unique_ptr<JobDocument> StartPdfDocument(const std::string& /*staged*/,
                                              const ImageSettings& /*settings*/,
                                              const std::string& /*title*/, std::string& reason) {
  reason = ".pdf output is not available in this build";
  return nullptr;
}
