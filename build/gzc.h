// The program's side of the GZC archives: packing and unpacking with the working folder's scratch
// files, the progress dialog's hooks and the main window's pump; byte-level file routines.
#pragma once
#include <windows.h>
#include "build/gzcformat.h"

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

// Files opened exclusively: for writing created or truncated, for reading they must exist.
// INVALID_HANDLE_VALUE on failure.
HANDLE winfopen(const char* path, bool write);
HANDLE winfopen_existing(const char* path);  // an existing file opened for writing
bool winfread(void* byte, HANDLE file);
bool winfwrite(const void* byte, HANDLE file);

// The Win32 implementation of the archive module's file seam.
const GzcFileOps* WinFileOps();
