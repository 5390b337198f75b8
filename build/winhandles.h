// Owning wrappers for Win32 handles: each releases what it holds when it goes out of scope, so an
// early return cannot leak. No exceptions anywhere, so the engine uses them as well as the program.
#pragma once
#include <windows.h>

#include <objbase.h>
#include <shtypes.h>

template <typename T, typename Traits>
class WinOwned {
 public:
  WinOwned() = default;
  explicit WinOwned(T h) : h_(h) {}
  ~WinOwned() { reset(); }
  WinOwned(const WinOwned&) = delete;
  WinOwned& operator=(const WinOwned&) = delete;
  WinOwned(WinOwned&& o) noexcept : h_(o.release()) {}
  WinOwned& operator=(WinOwned&& o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
  }

  // The handle, still owned here.
  T get() const { return h_; }
  bool valid() const { return Traits::Valid(h_); }
  explicit operator bool() const { return valid(); }
  // Gives the handle up: the caller closes it.
  T release() {
    T h = h_;
    h_ = Traits::Empty();
    return h;
  }
  // Closes what is held and takes `h`.
  void reset(T h = Traits::Empty()) {
    if (Traits::Valid(h_)) Traits::Close(h_);
    h_ = h;
  }
  // For functions that hand out a handle through a pointer (RegOpenKeyExA, SHGetSpecialFolderLocation):
  // closes what is held first.
  T* put() {
    reset();
    return &h_;
  }

 private:
  T h_ = Traits::Empty();
};

// A kernel handle: files, threads, processes, events, mutexes. CreateFile fails with
// INVALID_HANDLE_VALUE and the others with null, so both mean "nothing held".
struct KernelHandleTraits {
  static HANDLE Empty() { return nullptr; }
  static bool Valid(HANDLE h) { return h && h != INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { CloseHandle(h); }
};
using UniqueHandle = WinOwned<HANDLE, KernelHandleTraits>;

// A search handle from FindFirstFileA.
struct FindHandleTraits {
  static HANDLE Empty() { return INVALID_HANDLE_VALUE; }
  static bool Valid(HANDLE h) { return h != INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { FindClose(h); }
};
using UniqueFind = WinOwned<HANDLE, FindHandleTraits>;

// An open registry key. The predefined roots are never closed.
struct KeyTraits {
  static HKEY Empty() { return nullptr; }
  static bool Valid(HKEY k) { return k != nullptr; }
  static void Close(HKEY k) { RegCloseKey(k); }
};
using UniqueKey = WinOwned<HKEY, KeyTraits>;

// A shell item list given out by the shell, freed with the task allocator.
struct PidlTraits {
  static LPITEMIDLIST Empty() { return nullptr; }
  static bool Valid(LPITEMIDLIST p) { return p != nullptr; }
  static void Close(LPITEMIDLIST p) { CoTaskMemFree(p); }
};
using UniquePidl = WinOwned<LPITEMIDLIST, PidlTraits>;

// A block the system allocated with LocalAlloc for the caller (a security descriptor made from text).
struct LocalTraits {
  static PSECURITY_DESCRIPTOR Empty() { return nullptr; }
  static bool Valid(PSECURITY_DESCRIPTOR p) { return p != nullptr; }
  static void Close(PSECURITY_DESCRIPTOR p) { LocalFree(p); }
};
using UniqueLocal = WinOwned<PSECURITY_DESCRIPTOR, LocalTraits>;

// A GDI object: font, bitmap, brush, pen.
struct GdiTraits {
  static HGDIOBJ Empty() { return nullptr; }
  static bool Valid(HGDIOBJ o) { return o != nullptr; }
  static void Close(HGDIOBJ o) { DeleteObject(o); }
};
using UniqueGdi = WinOwned<HGDIOBJ, GdiTraits>;

// A memory device context from CreateCompatibleDC.
struct DcTraits {
  static HDC Empty() { return nullptr; }
  static bool Valid(HDC dc) { return dc != nullptr; }
  static void Close(HDC dc) { DeleteDC(dc); }
};
using UniqueDc = WinOwned<HDC, DcTraits>;

// A COM interface pointer, released when it goes.
template <typename I>
struct ComTraits {
  static I* Empty() { return nullptr; }
  static bool Valid(I* p) { return p != nullptr; }
  static void Close(I* p) { p->Release(); }
};
template <typename I>
using UniqueCom = WinOwned<I*, ComTraits<I>>;
