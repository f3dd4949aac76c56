// Windows metafiles: an enhanced metafile converted by playing it into the WMF writer, and
// the handles and files of the result.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "emf/player.h"
#include "emf/wmf_writer.h"
#include "win32/gdi32/gdi32.h"
#include "win32/gdi32/gdi_objects.h"
#include "win32/kernel32/errors.h"
#include "win32/kernel32/kernel32.h"

namespace {

class MetafileObject : public win32::gdi::GdiObjectBase {
 public:
  std::vector<uint8_t> bytes;
};

// The converted picture's logical units: 300 per inch, fewer for pages whose sides would
// not fit the format's 16-bit coordinates.
std::vector<uint8_t> Convert(const win32::gdi::EnhMetafileObject& page) {
  const emf::RectL& frame = page.metafile->header().frame;
  const double width_in = (static_cast<double>(frame.right) - frame.left) / 2540.0;
  const double height_in = (static_cast<double>(frame.bottom) - frame.top) / 2540.0;
  const double longest = std::max(std::fabs(width_in), std::fabs(height_in));
  const double dpi = longest > 0 ? std::min(300.0, 30000.0 / longest) : 300.0;
  const int width = std::max(1, static_cast<int>(std::fabs(width_in) * dpi + 0.5));
  const int height = std::max(1, static_cast<int>(std::fabs(height_in) * dpi + 0.5));
  emf::WmfWriter writer(width, height);
  emf::PlayMetafile(*page.metafile, writer, emf::RectL{0, 0, width, height});
  return writer.Finish();
}

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
    page->wmf = Convert(*page);
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
