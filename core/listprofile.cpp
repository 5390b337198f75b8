// The list files' profile access off Windows: the portable private-profile reader.
#ifndef _WIN32
#include "core/listprofile.h"

#include "core/profile.h"

size_t ListProfileGet(const char* section, const char* key, const char* def, char* out, size_t size,
                      const char* file) {
  return ProfileGetString(section, key, def, out, size, file);
}

void ListProfileWrite(const char* section, const char* key, const char* value, const char* file) {
  ProfileWriteString(section, key, value, file);
}

int ListProfileInt(const char* section, const char* key, int def, const char* file) {
  return ProfileGetInt(section, key, def, file);
}
#endif
