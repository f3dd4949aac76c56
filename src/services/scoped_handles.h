// Owners for Win32 handles, so that every path releases what it acquired.
#pragma once

#include <utility>

#include "win32/win32.h"

template <class Handle, auto Release>
class ScopedWin32Handle {
 public:
  ScopedWin32Handle() = default;
  explicit ScopedWin32Handle(Handle handle) : handle_(handle) {}
  ScopedWin32Handle(const ScopedWin32Handle&) = delete;
  ScopedWin32Handle& operator=(const ScopedWin32Handle&) = delete;
  ScopedWin32Handle(ScopedWin32Handle&& other) noexcept
      : handle_(std::exchange(other.handle_, Handle{})) {}
  ScopedWin32Handle& operator=(ScopedWin32Handle&& other) noexcept {
    if (this != &other) {
      Reset(std::exchange(other.handle_, Handle{}));
    }
    return *this;
  }
  ~ScopedWin32Handle() { Reset(); }

  Handle Get() const { return handle_; }
  bool Valid() const {
    return handle_ != Handle{} && handle_ != reinterpret_cast<Handle>(INVALID_HANDLE_VALUE);
  }
  void Reset(Handle handle = Handle{}) {
    if (Valid()) {
      Release(handle_);
    }
    handle_ = handle;
  }

 private:
  Handle handle_{};
};

using ScopedHandle = ScopedWin32Handle<HANDLE, CloseHandle>;
using ScopedFindHandle = ScopedWin32Handle<HANDLE, FindClose>;
using ScopedPrinter = ScopedWin32Handle<HANDLE, ClosePrinter>;
using ScopedDc = ScopedWin32Handle<HDC, DeleteDC>;  // memory device contexts
using ScopedBitmap = ScopedWin32Handle<HBITMAP, DeleteObject>;
using ScopedBrush = ScopedWin32Handle<HBRUSH, DeleteObject>;
using ScopedEnhMetaFile = ScopedWin32Handle<HENHMETAFILE, DeleteEnhMetaFile>;

// Selects an object into a DC and puts the previous one back when it goes, so that the
// object can be deleted afterwards.
class ScopedSelection {
 public:
  ScopedSelection(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
  ScopedSelection(const ScopedSelection&) = delete;
  ScopedSelection& operator=(const ScopedSelection&) = delete;
  ~ScopedSelection() {
    if (previous_ != nullptr) {
      SelectObject(dc_, previous_);
    }
  }

 private:
  HDC dc_;
  HGDIOBJ previous_;
};
