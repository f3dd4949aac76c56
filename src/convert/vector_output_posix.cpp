// Vector output through the engine's vector back end.
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/text_util.h"
#include "convert/vector_output.h"
#include "emf/text/font.h"
#include "emf/vector/vector_document.h"
#include "services/scoped_handles.h"
#include "win32/win32.h"

namespace {

// The page's bytes, read through the file API as every page file is.
bool ReadPage(const std::string& page, std::vector<uint8_t>& bytes) {
  ScopedHandle file(CreateFileA(page.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) {
    return false;
  }
  DWORD high = 0;
  const DWORD size = GetFileSize(file.Get(), &high);
  if (size == INVALID_FILE_SIZE || high != 0) {
    return false;
  }
  bytes.resize(size);
  DWORD got = 0;
  return ReadFile(file.Get(), bytes.data(), size, &got, nullptr) && got == size;
}

emf::ColourRule RuleOf(const ImageSettings& settings) {
  return settings.colorDepth == 1 ? emf::ColourRule::kBlackAndWhite
         : settings.grayscale     ? emf::ColourRule::kGrey
                                  : emf::ColourRule::kColour;
}

// Created exclusively, as every output is: a link or file planted at the name is never
// followed or replaced. The engine writes into the handle, never by name.
ScopedHandle CreateOutput(const std::string& staged, std::string& reason) {
  ScopedHandle file(CreateFileA(staged.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) {
    reason = "its file could not be created (error " + std::to_string(GetLastError()) + ")";
  }
  return file;
}

// Bytes into the file; a write that fails keeps its error in failed, when given.
emf::ByteSink SinkInto(HANDLE file, DWORD* failed = nullptr) {
  return [file, failed](std::span<const uint8_t> data) {
    DWORD written = 0;
    if (WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, nullptr) &&
        written == data.size()) {
      return true;
    }
    if (failed != nullptr) {
      *failed = GetLastError();
    }
    return false;
  };
}

constexpr const char* kCreator = "Quadrine " QUADRINE_VERSION;

class PdfDocument final : public JobDocument {
 public:
  PdfDocument(ScopedHandle file, std::string staged, const ImageSettings& settings,
              const std::string& title)
      : file_(std::move(file)),
        staged_(std::move(staged)),
        document_(std::make_unique<emf::VectorDocument>(SinkInto(file_.Get(), &writeError_),
                                                        emf::VectorFormat::kPdf, RuleOf(settings),
                                                        emf::DocumentInfo{title, kCreator})) {}

  ~PdfDocument() override {
    if (!finished_) {
      document_.reset();  // it may still write into the file
      file_.Reset();
      DeleteFileA(staged_.c_str());
    }
  }

  std::string AddPage(const std::string& pagePath) override {
    if (!failure_.empty()) {
      return failure_;
    }
    const emf::FontNoticeSource source(pagePath);
    std::vector<uint8_t> bytes;
    if (!ReadPage(pagePath, bytes)) {
      return "the page could not be read";
    }
    std::string error;
    const std::optional<emf::Metafile> page = emf::Metafile::Parse(bytes, &error);
    if (!page) {
      return error;  // nothing of it reached the file
    }
    // A page that would be drawn only part way is left out, and the document goes on.
    error = document_->CheckPage(*page);
    if (!error.empty()) {
      return error;
    }
    const int before = document_->pages();
    error = document_->AddPage(*page);
    if (!error.empty() && document_->pages() > before) {
      // Part of it is in the file: the document is no longer what its pages say.
      failure_ = WriteFailure(error);
      return failure_;
    }
    return error;
  }

  std::string Finish() override {
    std::string reason = failure_;
    if (reason.empty()) {
      reason = document_->Finish();
      reason = reason.empty() ? reason : WriteFailure(reason);
    }
    document_.reset();
    file_.Reset();
    if (!reason.empty()) {
      DeleteFileA(staged_.c_str());  // a half-written document is no output
    }
    finished_ = true;
    return reason;
  }

 private:
  std::string WriteFailure(const std::string& error) const {
    return DocumentWriteFailure(writeError_ == ERROR_DISK_FULL, error);
  }

  ScopedHandle file_;
  std::string staged_;
  DWORD writeError_ = ERROR_SUCCESS;
  std::unique_ptr<emf::VectorDocument> document_;  // writes into file_
  std::string failure_;
  bool finished_ = false;
};

}  // namespace

bool WritesPdfDocuments() {
  return true;
}

std::unique_ptr<JobDocument> StartPdfDocument(const std::string& staged,
                                              const ImageSettings& settings,
                                              const std::string& title, std::string& reason) {
  ScopedHandle file = CreateOutput(staged, reason);
  if (!file.Valid()) {
    return nullptr;
  }
  return std::make_unique<PdfDocument>(std::move(file), staged, settings, title);
}

bool IsVectorExtension(const std::string& extension) {
  return EqualsIgnoringCase(extension, ".pdf") || EqualsIgnoringCase(extension, ".svg");
}

bool WriteVectorOutput(const std::string& page, const std::string& staged,
                       const std::string& extension, const ImageSettings& settings,
                       std::string& reason) {
  std::vector<uint8_t> bytes;
  if (!ReadPage(page, bytes)) {
    reason = "the page could not be read";
    return false;
  }
  ScopedHandle file = CreateOutput(staged, reason);
  if (!file.Valid()) {
    return false;
  }
  const emf::FontNoticeSource source(page);
  reason = emf::WriteVectorPage(
      bytes, SinkInto(file.Get()),
      EqualsIgnoringCase(extension, ".pdf") ? emf::VectorFormat::kPdf : emf::VectorFormat::kSvg,
      RuleOf(settings), emf::DocumentInfo{"", kCreator});
  file.Reset();
  if (!reason.empty()) {
    DeleteFileA(staged.c_str());  // a half-written document is no output
  }
  return reason.empty();
}
