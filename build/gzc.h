// The program's side of the GZC archives: packing and unpacking with the working folder's scratch
// files, the progress dialog's hooks and the main window's pump. The Win32 file layer is build/winfs.h.
#pragma once
#include <windows.h>
#include "build/gzcformat.h"
#include "build/winfs.h"

// Packs every file below `folder` into an archive: with `inWork` into the working "bin" folder
// under `name`, otherwise to the full path `name`. 0 when the list file cannot be created.
int Pakowanie(const char* folder, const char* name, bool inWork);
// Pakowanie's packing into the full path `archive`, with its hooks and scratch files, showing a
// file's own bar at most every `minIntervalMs` milliseconds (0: every change).
GzcStatus PackWithReports(const char* folder, const char* archive, unsigned minIntervalMs);
// Packs a folder of the installer (an ANSI path: the program folder or the configuration folder)
// into the working "bin" folder under `name`, through the wide functions with names in UTF-8. A file
// that no installer can carry is refused with a message naming it; false then.
bool PackForInstaller(const char* folder, const char* name);
// Unpacks the archive open in `archive` (positioned at its magic) into `dest`; a damaged archive
// is refused with the unpacking message and leaves nothing of its own behind. True on success.
bool Rozpakowanie(const char* dest, HANDLE archive);
void Error_1();  // the unpacking message
