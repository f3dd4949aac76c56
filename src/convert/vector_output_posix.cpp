// Vector output through the engine's vector back end.
#include <span>
#include <string>
#include <vector>

#include "base/text_util.h"
#include "convert/vector_output.h"
#include "emf/vector_document.h"
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

}  // namespace

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
  // Created exclusively, as every output is: a link or file planted at the name is never
  // followed or replaced. The engine writes into the handle, never by name.
  ScopedHandle file(CreateFileA(staged.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) {
    reason = "its file could not be created (error " + std::to_string(GetLastError()) + ")";
    return false;
  }
  const emf::ByteSink sink = [&file](std::span<const uint8_t> data) {
    DWORD written = 0;
    return WriteFile(file.Get(), data.data(), static_cast<DWORD>(data.size()), &written, nullptr) &&
           written == data.size();
  };
  const emf::ColourRule rule = settings.colorDepth == 1 ? emf::ColourRule::kBlackAndWhite
                               : settings.grayscale     ? emf::ColourRule::kGrey
                                                        : emf::ColourRule::kColour;
  reason = emf::WriteVectorPage(
      bytes, sink,
      EqualsIgnoringCase(extension, ".pdf") ? emf::VectorFormat::kPdf : emf::VectorFormat::kSvg,
      rule, emf::DocumentInfo{"", "Quadrine " QUADRINE_VERSION});
  file.Reset();
  if (!reason.empty()) {
    DeleteFileA(staged.c_str());  // a half-written document is no output
  }
  return reason.empty();
}
