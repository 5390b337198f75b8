// Registry entries as plain data, one vocabulary for the program's editor, its list files and the
// installer engine: roots, value types, the binary and DWORD forms, the quote rule (no Win32 here).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum RegRoot { REG_ROOT_NONE = 0, REG_ROOT_HKCU, REG_ROOT_HKLM, REG_ROOT_HKCR, REG_ROOT_HKU };

// The four value types of an entry, as stored in its "type" key and listed by the editor.
enum RegType { REG_T_BINARY = 0, REG_T_DWORD = 1, REG_T_EXPAND = 2, REG_T_STRING = 3, REG_T_COUNT };

// Full name of a root ("HKEY_CURRENT_USER"), "" for none.
const char* RegRootName(RegRoot root);
// The system's name of a type ("REG_BINARY" ... "REG_SZ"), "" for none.
const char* RegTypeName(RegType type);

// The root whose name and a backslash begin `key`, compared with exact case, as the editor accepts
// a key ("HKEY_USERS\" alone passes); REG_ROOT_NONE otherwise.
RegRoot RegKeyRoot(const char* key);

// Splits "HKEY_CURRENT_USER\Software\x" into its root and "Software\x". The root name is
// compared without regard to case; the subkey must not be empty, nor hold an empty component
// or a control byte. False otherwise.
bool RegSplitKey(const std::string& full, RegRoot* root, std::string* subkey);

// Binary form: pairs of hex digits (either case), one pair per byte; blanks, commas and hyphens
// may stand between pairs but not inside one ("01 AB ff", "01,ab,FF", "01abff"). An empty text is
// a value of no bytes. False on any other character or an odd digit.
bool RegParseBinary(const std::string& text, std::vector<unsigned char>* out);

// DWORD form: decimal digits only (blanks around them allowed), 0 to 4294967295. No sign, no hex.
bool RegParseDword(const std::string& text, uint32_t* out);

// The bytes the installer writes for a value text of `type`: binary its bytes, DWORD four bytes
// (little-endian), the string types the text with its terminator. False when the text does not
// fit the type (or the type is none of the four). The editor checks what is typed with it too.
bool RegValueData(RegType type, const std::string& text, std::string* data);

// A value with the dynamic path check names a path relative to the installation folder: true when
// the text is one the installer may join to that folder (the archive paths' rule).
bool RegRelativeValue(const std::string& text);

// The "line" rule: reading a value strips one pair of enclosing double quotes, so with line = 1
// one is put back at each end.
std::string RegRestoreQuotes(const std::string& value, bool line);
