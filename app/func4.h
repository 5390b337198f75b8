// Folder and file pickers shared by the main window, the project commands and the entry editors.
#pragma once
#include <windows.h>

// Picker modes: the identifier of the control that receives the chosen path, or a project mode.
enum PickMode { PICK_PROJECT_SAVE = 0, PICK_PROJECT_OPEN = 1, PICK_SETUP = 302, PICK_LICENCE = 303,
                PICK_INFO = 304, PICK_SHORTCUT = 305, PICK_RUN = 311 };

void PobiezFolderInstalacyjny();          // folder browser for the program folder (field 301)
// File dialog of `mode` owned by `owner`; the chosen path goes to the owner's control `mode` or,
// for the project modes, to the project file path. Returns true when a path was taken.
bool PobierzPlik(HWND owner, int mode);
