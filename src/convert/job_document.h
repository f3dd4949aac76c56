// One output file holding every page of a print job: a multi-page TIFF, or a PDF where the
// engine is built.
#pragma once

#include <string>

// Why a document's file failed: the disk's own word when a write found it full, else what the
// writer said (detail, when there is one).
inline std::string DocumentWriteFailure(bool diskFull, const std::string& detail) {
  if (diskFull) {
    return "the disk is full";
  }
  return "the document could not be written" + (detail.empty() ? detail : ": " + detail);
}

class JobDocument {
 public:
  JobDocument() = default;
  JobDocument(const JobDocument&) = delete;
  JobDocument& operator=(const JobDocument&) = delete;
  // A document never finished leaves no file.
  virtual ~JobDocument() = default;
  // Adds the page: "" when it is in the document, else why. A page that cannot be drawn is
  // left out and the document goes on; once the file itself failed, so does every later page,
  // and Finish.
  virtual std::string AddPage(const std::string& pagePath) = 0;
  // Ends the file: "" when every page added reached it whole; else why, and no file is left.
  virtual std::string Finish() = 0;
};
