// Windows paths on the Linux file system as Wine shows them to the program: drive letters mapped to
// folders, names in code page 1250, no regard to case, directory searches in Wine's order.
#pragma once

#include <string>

#include "core/gzcformat.h"

// ---- Code page 1250 -----------------------------------------------------------------------------
// The program's texts and paths are 8-bit in code page 1250; Linux names and terminals use UTF-8.
std::string Cp1250ToUtf8(const std::string& text);
// False when a character has no code page 1250 byte (out then holds '?' in its place) or the text
// is not UTF-8.
bool Utf8ToCp1250(const std::string& text, std::string* out);

// ---- Drives -------------------------------------------------------------------------------------
// Where each drive letter lies. Z: is the Linux root unless set otherwise, as in a Wine prefix.
struct DriveMap {
  std::string root[26];  // Linux folder of A: .. Z:, empty = no such drive
  bool given[26] = {};   // set by Set, which a prefix does not override
  DriveMap();
  // "X=/path": sets one drive. False when the text is not of that form.
  bool Set(const std::string& assignment);
  // Takes every drive of a Wine prefix (its dosdevices links) that is not set yet.
  void FromPrefix(const std::string& prefix);
};

// The Linux path of a Windows path (code page 1250; with `utf8`, UTF-8). "X:\..." lies on drive X; a path without a
// drive is a Linux path, relative to the current folder or, beginning with a separator, to the
// root. Both separators count; "." and "..", and trailing dots and blanks of the last name, go as
// Windows reads a path; a name that does not exist as written is looked for without regard to case. False: no such drive, UNC path,
// or a text that is no path.
bool WinToUnix(const DriveMap& drives, const std::string& path, std::string* unixPath, bool utf8 = false);

// The Windows form of a Linux path: code page 1250, "\" separators, made absolute against the
// current folder. False when it has a character without a code page 1250 byte or a "\".
bool UnixToWin(const std::string& path, std::string* winPath);

// Names compared as Wine sorts a folder's entries: upper-cased UTF-16 units, then as they are.
bool WineNameLess(const std::string& utf8a, const std::string& utf8b);

// The archive module's file layer over Windows paths (code page 1250) mapped through `drives`,
// which must outlive it. Directory searches return names in code page 1250 in Wine's order, follow
// links as Wine does, and refuse a folder whose search pattern would pass the system's 260 bytes.
// With `utf8`, as the program's Unicode walk: paths and names in UTF-8, names as the file system
// holds them (also when they are no UTF-8), no limit on the search pattern.
GzcFileOps WinPathOps(const DriveMap* drives, bool utf8 = false);
// Whether two such paths name one file or one folder (device and inode, links followed, as Wine
// tells them apart); `ctx` is WinPathOps' (the drives). False when either is not there.
bool WinPathsSame(void* ctx, const char* a, const char* b);
bool WinPathsSameUtf8(void* ctx, const char* a, const char* b);  // the same on UTF-8 paths
