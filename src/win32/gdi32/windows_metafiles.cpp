// Windows metafiles: an enhanced metafile converted by playing it into the WMF writer, and
// the handles and files of the result.
#include <cstring>

#include "emf/wmf/wmf_writer.h"
#include "win32/gdi32/gdi32.h"
#include "win32/gdi32/gdi_objects.h"
#include "win32/kernel32/errors.h"
#include "win32/kernel32/kernel32.h"

namespace {

class MetafileObject : public win32::gdi::GdiObjectBase {
 public:
  std::vector<uint8_t> bytes;
};

}  // namespace

UINT WINAPI GetWinMetaFileBits(HENHMETAFILE hemf, UINT cbData16, LPBYTE pData16, INT iMapMode,
                               HDC /*hdcRef*/) {
  auto page = win32::LookupHandleOf<win32::gdi::EnhMetafileObject>(hemf);
  if (!page) {
    return win32::Fail(ERROR_INVALID_HANDLE, 0);
  }
  if (iMapMode != MM_ANISOTROPIC) {
    return win32::Fail(ERROR_NOT_SUPPORTED, 0);
  }
  // The size query and the copy that follows it convert once.
  if (page->wmf.empty()) {
    page->wmf = emf::ConvertToWmf(*page->metafile);
  }
  const UINT size = static_cast<UINT>(page->wmf.size());
  if (pData16 == nullptr) {
    return size;
  }
  if (cbData16 < size) {
    return win32::Fail(ERROR_INSUFFICIENT_BUFFER, 0);
  }
  std::memcpy(pData16, page->wmf.data(), size);
  return size;
}

HMETAFILE WINAPI SetMetaFileBitsEx(UINT cbBuffer, const BYTE* lpData) {
  if (lpData == nullptr || cbBuffer < 18 || (lpData[0] != 1 && lpData[0] != 2) || lpData[1] != 0 ||
      lpData[2] != 9 || lpData[3] != 0) {
    return win32::Fail(ERROR_INVALID_DATA, nullptr);
  }
  auto metafile = std::make_shared<MetafileObject>();
  metafile->bytes.assign(lpData, lpData + cbBuffer);
  return reinterpret_cast<HMETAFILE>(win32::InsertHandle(std::move(metafile)));
}

HMETAFILE WINAPI CopyMetaFileA(HMETAFILE hmfSrc, LPCSTR lpszFile) {
  auto source = win32::LookupHandleOf<MetafileObject>(hmfSrc);
  if (!source) {
    return win32::Fail(ERROR_INVALID_HANDLE, nullptr);
  }
  if (lpszFile != nullptr) {
    HANDLE file = CreateFileA(lpszFile, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      return nullptr;
    }
    DWORD written = 0;
    const BOOL ok = WriteFile(file, source->bytes.data(), static_cast<DWORD>(source->bytes.size()),
                              &written, nullptr);
    CloseHandle(file);
    if (!ok || written != source->bytes.size()) {
      DeleteFileA(lpszFile);
      return nullptr;
    }
  }
  auto copy = std::make_shared<MetafileObject>();
  copy->bytes = source->bytes;
  return reinterpret_cast<HMETAFILE>(win32::InsertHandle(std::move(copy)));
}

BOOL WINAPI DeleteMetaFile(HMETAFILE hmf) {
  return win32::CloseHandleOf<MetafileObject>(hmf);
}
