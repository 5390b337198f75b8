// The program's side of the GZC archives: packing and unpacking with the working folder's scratch
// files, the progress dialog's hooks and the main window's pump. The Win32 file layer is build/winfs.h.
#pragma once
#include <windows.h>
#include <string>
#include "build/gzcformat.h"
#include "build/installerlayout.h"
#include "build/winfs.h"

// Packs every file below `folder` into an archive: with `inWork` into the working "bin" folder
// under `name`, otherwise to the full path `name`. 1 when the archive is whole, 0 otherwise (the
// list file or the archive cannot be written, it would pass 4 GiB, a cancel, or a file cannot be
// read: that one is shown at once with its name). `leaveOut` (may be null) is a file the walk
// leaves out, found by identity; `*leftOut` (if given) says whether it was met. `status`, if given,
// receives the packer's.
int Pakowanie(const char* folder, const char* name, bool inWork, const char* leaveOut = nullptr,
              bool* leftOut = nullptr, GzcStatus* status = nullptr);
// Pakowanie's packing into the full path `archive`, with its hooks and scratch files, showing a
// file's own bar at most every `minIntervalMs` milliseconds (0: every change). `unreadable`, if
// given, receives the path of a file that could not be read (GZC_ERR_SOURCE).
GzcStatus PackWithReports(const char* folder, const char* archive, unsigned minIntervalMs,
                          const char* leaveOut = nullptr, bool* leftOut = nullptr,
                          std::string* unreadable = nullptr);
// Pakowanie into the working "bin" folder for an installer (ANSI paths: the program folder or the
// configuration folder), through the wide functions with names in UTF-8: a file that no installer
// can carry, or that holds 4 GiB or more, stops it too (GZC_ERR_NAME), named in a message.
int PackForInstaller(const char* folder, const char* name, const char* leaveOut = nullptr, bool* leftOut = nullptr,
                     GzcStatus* status = nullptr);
// Unpacks the archive open in `archive` (positioned at its magic) into `dest`; a damaged archive,
// or one whose files hold more than `maxTotal` bytes (0: any; a project's bound unless told), is
// refused with the unpacking message and leaves nothing of its own behind. True on success.
bool Rozpakowanie(const char* dest, HANDLE archive, uint64_t maxTotal = kProjectUnpackedMax);
void Error_1();  // the unpacking message
