// The entry editors: shortcut and run-entry dialogs, each on a thread of its own.
#pragma once
#include <windows.h>
#include "entries/entrystate.h"

void DialogSkrotow();                 // opens the shortcut editor unless it is open
DWORD WINAPI ThtMain2(LPVOID);
INT_PTR CALLBACK DialogProc3(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);
void InitLang3(HWND wnd);
void InitCheckBox(HWND wnd);
void Wypelnia_dialog1(HWND wnd);
void WypelnijSkruty();                // double-click on list 500: edit the selected shortcut
int Zastosuj3(HWND wnd);              // 1 = input refused, the dialog stays; 0 = stored

void DialogUruchom();                 // opens the run-entry editor unless it is open
DWORD WINAPI ThtMain3(LPVOID);
INT_PTR CALLBACK DialogProc4(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);
void InitLang4(HWND wnd);
void Wypelnia_dialog2(HWND wnd);
void WypelnijUruchom();               // double-click on list 501: edit the selected run entry
void Zastosuj4(HWND wnd);

// Reads a dialog's path field with one trailing backslash removed (also in the field) and checks
// it as Apply does: "X:\..." and existing (message 54), inside the program folder (message 40).
// On success `rel` holds the path relative to the program folder.
bool TakeEntryPath(HWND wnd, int field, char* full, char* rel);
// Fills an editor record from the selected item of a main-window list; false when none is selected.
bool FillRecordFromList(int list, EntryEditState* rec);
