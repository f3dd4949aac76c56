#include "services/page_file.h"

#include <cstdint>
#include <span>

#include "formats/emf_content.h"
#include "services/scoped_handles.h"
#include "win32/win32.h"

bool PageFileHoldsOnlyEmfPlus(const std::string& path) {
  const ScopedHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) {
    return false;
  }
  // Only the records up to the first that draws are read. Offsets are whole records, so the
  // low part is never the failure value.
  return HoldsOnlyEmfPlus([&file](uint64_t offset, std::span<unsigned char> out) {
    LONG high = static_cast<LONG>(offset >> 32);
    DWORD got = 0;
    return SetFilePointer(file.Get(), static_cast<LONG>(offset & 0xFFFFFFFF), &high, FILE_BEGIN) !=
               INVALID_SET_FILE_POINTER &&
           ReadFile(file.Get(), out.data(), static_cast<DWORD>(out.size()), &got, nullptr) &&
           got == out.size();
  });
}
