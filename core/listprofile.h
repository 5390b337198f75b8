// The list files' profile access: the platform's private-profile functions on Windows, the portable
// reader elsewhere. Arguments in the platform's order; results are never failures that callers check.
#pragma once

#include <cstddef>

// Reads a value into out (size bytes): def when the key or file is missing, one pair of enclosing
// quotes stripped, cut to size - 1. Returns the number of characters copied.
size_t ListProfileGet(const char* section, const char* key, const char* def, char* out, size_t size,
                      const char* file);

// Sets a value (creating file, section and key as needed); a null value deletes the key.
void ListProfileWrite(const char* section, const char* key, const char* value, const char* file);

// Reads a value as an integer, def when missing.
int ListProfileInt(const char* section, const char* key, int def, const char* file);
