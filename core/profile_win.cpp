// The list files' profile access on Windows: the platform's private-profile functions.
#ifdef _WIN32
#include <windows.h>

#include "core/listprofile.h"

size_t ListProfileGet(const char* section, const char* key, const char* def, char* out, size_t size,
                      const char* file) {
  if (!out || size == 0) return 0;
  DWORD n = size > MAXDWORD ? MAXDWORD : static_cast<DWORD>(size);
  return GetPrivateProfileStringA(section, key, def, out, n, file);
}

void ListProfileWrite(const char* section, const char* key, const char* value, const char* file) {
  WritePrivateProfileStringA(section, key, value, file);
}

int ListProfileInt(const char* section, const char* key, int def, const char* file) {
  return static_cast<int>(GetPrivateProfileIntA(section, key, def, file));
}
#endif
