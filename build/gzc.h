// The program's side of the GZC archives: packing and unpacking with the working folder's scratch
// files, the progress dialog's hooks and the main window's pump. The Win32 file layer is win/winfs.h.
#pragma once
#include <windows.h>
#include "core/gzcformat.h"
#include "win/winfs.h"

// Packs every file below `folder` into an archive: with `inWork` into the working "bin" folder
// under `name`, otherwise to the full path `name`. 0 when the list file cannot be created.
int Pakowanie(const char* folder, const char* name, bool inWork);
// Pakowanie's packing into the full path `archive`, with its hooks and scratch files, showing a
// file's own bar at most every `minIntervalMs` milliseconds (0: every change).
GzcStatus PackWithReports(const char* folder, const char* archive, unsigned minIntervalMs);
// Unpacks the archive open in `archive` (positioned at its magic) into `dest`; a damaged archive
// is refused with the unpacking message and leaves nothing of its own behind. True on success.
bool Rozpakowanie(const char* dest, HANDLE archive);
void Error_1();  // the unpacking message
