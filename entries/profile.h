// Private-profile (INI) files read and written without Win32, with the platform's observable rules.
#pragma once

#include <cstddef>
#include <string>

// The rules, as the platform's GetPrivateProfileString / WritePrivateProfileString /
// GetPrivateProfileInt apply them:
// - A line "[name]" opens a section (the name runs to the last ']' of the line); any other non-blank
//   line is a key line, "name=value" or a bare "name" (a key without a value). Lines before the first
//   section belong to the section named "". Nothing is a comment: ";x=1" is key ";x".
// - Section and key names are trimmed of blanks and compared without regard to ASCII case; the first
//   matching section is the only one searched, and in it the first matching key.
// - Values are trimmed of blanks; a NUL byte ends a name or value. Other bytes (any code page) are
//   passed through untouched. A UTF-8 byte order mark at the start of the file is skipped.
// - Reading strips one pair of enclosing quotes (both "..." and '...', at least two characters), then
//   cuts the result to size - 1. A missing key, a bare key or a missing file gives the default, which
//   gets the same treatment after its trailing blanks are removed.
// - Writing keeps every other byte of the file as it is: a changed key line is rewritten in place, a
//   new key goes after the last line of its section, a new section at the end of the file; new lines
//   end in CR LF. Deleting removes the key's line (or the section's lines); the names given for a
//   deletion are not trimmed; a missing key or file is left alone. A file is written only when its text changes.
// - A line ends at CR LF, LF or a lone CR.

// Reads a value into out (size bytes, always terminated when size > 0). Returns the number of
// characters copied, without the terminator. A null section or key reads as missing.
size_t ProfileGetString(const char* section, const char* key, const char* def, char* out, size_t size,
                        const char* path);

// Reads a value as an integer: blanks, a sign, then decimal digits (or 0x / 0o / 0b and digits of
// that base), up to the first other character, kept in 32 bits. def when the value is missing or
// empty; 0 when it holds no digits.
int ProfileGetInt(const char* section, const char* key, int def, const char* path);

// Sets a value, creating file, section and key as needed. A null value deletes the key, a null key
// deletes the whole section. Returns false when the file could not be read or written, or section is
// null.
bool ProfileWriteString(const char* section, const char* key, const char* value, const char* path);

// ---- The same on a file's text in memory --------------------------------------------------------

// Finds a key. On success *value is its trimmed value as it stands (quotes kept).
bool ProfileTextFind(const std::string& text, const char* section, const char* key, std::string* value);

// Applies a write as ProfileWriteString does (null value deletes the key, null key the section).
// Returns true when the text changed.
bool ProfileTextWrite(std::string* text, const char* section, const char* key, const char* value);

// The reading rule for one pair of enclosing quotes: returns value without them.
std::string ProfileStripQuotes(const std::string& value);

// What to write for `value` so that the reading gives it back as it is: `value` itself, or, when the
// reading would trim a blank at an end or strip a pair of enclosing quotes, `value` in double quotes.
std::string ProfileQuoted(const std::string& value);

// The integer rule of ProfileGetInt on a text already read (no default handling).
int ProfileParseInt(const char* text);
