// Settings dialog (compression level, language), the language list, help and the about dialog.
#pragma once
#include <windows.h>
#include "lang/subdialog.h"

// Fills the settings dialog's language list (control 701): "Polski" and every Lang\*.lng of the
// tool folder, sorted; selects the first item that begins with the stored language name.
void FindLang(HWND wnd);

extern const SubDialog kSettingsDialog, kAboutDialog;

void DialogUstawien();                // opens the settings dialog unless it is open
DWORD WINAPI ThtMain7(LPVOID);
INT_PTR CALLBACK DialogProc8(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);
void InitLang8(HWND wnd);
void InitSettingDlg(HWND wnd);        // the stored level digit into field 315, the kind, then the list
void ZastosujUstawienia(HWND wnd);    // stores the level, the kind and the selected language

// Opens the help file (value "2") through the shell; tells the user (string 2) when it can't.
void Pomoc();

void DialogAbout();                   // opens the about dialog unless it is open
DWORD WINAPI ThtMain6(LPVOID);
INT_PTR CALLBACK DialogProc7(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);
void InitLang7(HWND wnd);
