// Private-profile (INI) files read and written as Wine's profile functions do it. Wine keeps no
// layout: a write loads the file (names and values trimmed, blank lines dropped), changes one key
// and, when something changed, saves every section and key afresh ("[name]" and "key=value" lines,
// CR LF). Texts are 8-bit in code page 1250; a file that starts with a UTF-8 byte order mark is kept
// in UTF-8.
#pragma once

#include <cstddef>
#include <string>

// GetPrivateProfileStringA on a file's text: the first section of that name (case ignored), its
// first key of that name, one pair of enclosing quotes stripped, cut to size - 1 characters; `def`
// (trailing blanks removed) when the key is missing or has no "=".
std::string WineProfileGet(const std::string& text, const char* section, const char* key, const char* def,
                           size_t size);

// WritePrivateProfileStringA on a file's text (null value: the key is deleted). Leading blanks of
// the value are dropped. True when the file is to be written; `text` then holds its new content.
bool WineProfileWrite(std::string* text, const char* section, const char* key, const char* value);

// The same on a file (a Linux path). A missing file reads as empty; a write that changes nothing
// leaves the file as it is. False when the file could not be read or written.
bool WineProfileGetFile(const std::string& path, const char* section, const char* key, const char* def, size_t size,
                        std::string* out);
bool WineProfileWriteFile(const std::string& path, const char* section, const char* key, const char* value);
