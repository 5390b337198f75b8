// The engine's small runtime: the standard library's throw points and allocation without
// exceptions, so that no unwinding machinery is linked into the installer (failures end the process).
#include <windows.h>

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <new>

namespace {
[[noreturn]] void Die() {
  // Out of memory or a broken invariant of the standard library: nothing sensible can go on.
  FatalAppExitA(0, "Out of memory.");
  ExitProcess(4);
}
}  // namespace

namespace std {
void __throw_bad_alloc() { Die(); }
void __throw_bad_array_new_length() { Die(); }
void __throw_length_error(const char*) { Die(); }
void __throw_logic_error(const char*) { Die(); }
void __throw_out_of_range(const char*) { Die(); }
void __throw_out_of_range_fmt(const char*, ...) { Die(); }
void __throw_invalid_argument(const char*) { Die(); }
void __throw_bad_function_call() { Die(); }
}  // namespace std

void* operator new(std::size_t n) {
  void* p = std::malloc(n ? n : 1);
  if (!p) Die();
  return p;
}
void* operator new[](std::size_t n) { return operator new(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
// The forms that hand back null (the library's own catch an exception).
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return std::malloc(n ? n : 1); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return std::malloc(n ? n : 1); }

// zlib's error texts are its only formatted output: the system's msvcrt formatter serves them
// instead of MinGW's own static one (some 27 KiB of floating-point printing).
extern "C" int __mingw_vsnprintf(char* buf, size_t n, const char* format, va_list args) {
  if (n == 0) return _vscprintf(format, args);
  int r = _vsnprintf(buf, n - 1, format, args);
  buf[n - 1] = '\0';
  return r < 0 ? (int)n - 1 : r;
}

