// Private-profile (INI) files written as Wine's profile functions write them, for the program's
// writes under Wine (reading follows the same rules as core/profile, which reads them). Wine
// keeps no layout: a write loads the file (names and values trimmed, blank lines dropped), changes
// one key and, when something changed, saves every section and key afresh ("[name]" and
// "key=value" lines, CR LF). Texts are 8-bit in code page 1250; a file that starts with a UTF-8 byte
// order mark is kept in UTF-8.
#pragma once

#include <cstddef>
#include <string>

// WritePrivateProfileStringA on a file's text (null value: the key is deleted). Leading blanks of
// the value are dropped. True when the file is to be written; `text` then holds its new content.
bool WineProfileWrite(std::string* text, const char* section, const char* key, const char* value);

// The same on a file (a Linux path). A missing file reads as empty; a write that changes nothing
// leaves the file as it is. False when the file could not be read or written.
bool WineProfileWriteFile(const std::string& path, const char* section, const char* key, const char* value);
