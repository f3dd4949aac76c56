// Windows metafiles. The EMF-to-WMF writer is not built yet: these fail as Windows does when
// a conversion cannot be made, so a page asked for as WMF gets no file and is kept.
#include "gdi32/gdi32.h"
#include "kernel32/kernel32.h"

UINT WINAPI GetWinMetaFileBits(HENHMETAFILE /*hemf*/, UINT /*cbData16*/, LPBYTE /*pData16*/,
                               INT /*iMapMode*/, HDC /*hdcRef*/) {
  SetLastError(ERROR_NOT_SUPPORTED);
  return 0;
}

HMETAFILE WINAPI SetMetaFileBitsEx(UINT /*cbBuffer*/, const BYTE* /*lpData*/) {
  SetLastError(ERROR_INVALID_DATA);
  return nullptr;
}

HMETAFILE WINAPI CopyMetaFileA(HMETAFILE /*hmfSrc*/, LPCSTR /*lpszFile*/) {
  SetLastError(ERROR_INVALID_HANDLE);
  return nullptr;
}

BOOL WINAPI DeleteMetaFile(HMETAFILE /*hmf*/) {
  SetLastError(ERROR_INVALID_HANDLE);
  return FALSE;
}
